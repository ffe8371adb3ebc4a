// bench_select: a SELECT with WHERE and ORDER BY over Kinder, one run per call.
//   bench_select ours FOLDER     through the engine's SQL (AdsExecuteSQLDirect on a statement of
//                                a connection to FOLDER), then every row of the result cursor
//                                read (AdsGetRecord, AdsSkip)
//   bench_select sqlite DBFILE   the same text on the native SQLite table, every row stepped
//                                and every column read
// The clock covers execution and reading the result; both print the rows of the result, which
// must be the same.
#include <sqlite3.h>

#include "bench/bench_support.h"

namespace {

using namespace bench;

constexpr const char* kQuery =
    "SELECT Kind_ID, Vorname, Nachname, Geburtsdatum, Betreuungsstunden FROM Kinder "
    "WHERE Betreuungsstunden >= 40 AND Gruppe = 'Igel' ORDER BY Nachname, Geburtsdatum, Kind_ID";

int RunOurs(const std::string& folder) {
  ADSHANDLE conn = 0, stmt = 0, cursor = 0;
  Check(AdsConnect(U8(folder), &conn), "connect " + folder);
  Check(AdsCreateSQLStatement(conn, &stmt), "statement");
  Check(AdsStmtSetTableType(stmt, ADS_ADT), "table type");
  uint64_t rows = 0, sum = 0;
  Stopwatch clock;
  Check(AdsExecuteSQLDirect(stmt, U8(kQuery), &cursor), "execute");
  if (cursor == 0) Fail("the SELECT gave no cursor");
  UNSIGNED32 length = 0;
  Check(AdsGetRecordLength(cursor, &length), "record length");
  std::vector<UNSIGNED8> image(length);
  Check(AdsGotoTop(cursor), "top");
  for (;;) {
    UNSIGNED16 eof = 0;
    Check(AdsAtEOF(cursor, &eof), "eof");
    if (eof != 0) break;
    UNSIGNED32 len = length;
    Check(AdsGetRecord(cursor, image.data(), &len), "get record");
    sum += image[len - 1];
    ++rows;
    Check(AdsSkip(cursor, 1), "skip");
  }
  const double seconds = clock.Seconds();
  AdsCloseTable(cursor);
  AdsCloseSQLStatement(stmt);
  AdsDisconnect(conn);
  std::fprintf(stderr, "checksum %llu\n", static_cast<unsigned long long>(sum));
  PrintResult("select_ours", seconds, rows);
  return 0;
}

int RunSqlite(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    Fail("sqlite: cannot open " + path);
  uint64_t rows = 0, sum = 0;
  Stopwatch clock;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, kQuery, -1, &stmt, nullptr) != SQLITE_OK)
    Fail(std::string("sqlite: ") + sqlite3_errmsg(db));
  const int columns = sqlite3_column_count(stmt);
  int rc = 0;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    for (int c = 0; c < columns; ++c) {
      if (sqlite3_column_type(stmt, c) == SQLITE_INTEGER) {
        sum += static_cast<uint64_t>(sqlite3_column_int64(stmt, c));
      } else {
        sum += static_cast<uint64_t>(sqlite3_column_bytes(stmt, c));
      }
    }
    ++rows;
  }
  if (rc != SQLITE_DONE) Fail(std::string("sqlite: ") + sqlite3_errmsg(db));
  sqlite3_finalize(stmt);
  const double seconds = clock.Seconds();
  sqlite3_close(db);
  std::fprintf(stderr, "checksum %llu\n", static_cast<unsigned long long>(sum));
  PrintResult("select_sqlite", seconds, rows);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc == 3 && mode == "ours") return RunOurs(argv[2]);
  if (argc == 3 && mode == "sqlite") return RunSqlite(argv[2]);
  Fail("usage: bench_select ours FOLDER | sqlite DBFILE");
}
