// bench_index and bench_seek: building an index on Kinder, and exact seeks on an index of every
// row's key, ours and SQLite's, one run per call. Both change the files they are given (they add
// an index): the caller gives each run a fresh copy.
//   bench_index ours FOLDER     AdsCreateIndex90 of the tag NACHNAME (Nachname+Vorname, a
//                               character key) in the structural index file of the ADT table
//   bench_index sqlite DBFILE   CREATE INDEX on (Nachname, Vorname)
//   bench_seek ours FOLDER      the tag KIND_ID (one key per row) is made first, untimed; then
//                               the clock covers kSeeks hard AdsSeek calls for seeded ids
//   bench_index addindex FOLDER TAdsTable::AddIndex of the same index (fields Nachname;Vorname)
//                               on the table opened exclusively through the components
//   bench_seek sqlite DBFILE    an index on Kind_ID is made first, untimed; then kSeeks steps of
//                               a prepared SELECT rowid ... WHERE Kind_ID = ?
//   bench_seek findkey FOLDER   the tag KIND_ID is made first, untimed, and becomes the order of
//                               a TAdsTable; then kSeeks FindKey calls for the same ids, each
//                               reading the found row's Kind_ID
// Every sought id exists; a seek that finds nothing ends the run with an error. The rows printed
// for a seek run are the seeks made.
#include <sqlite3.h>

#include <cstring>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "bench/bench_support.h"

namespace {

using namespace bench;

constexpr int kSeeks = 200000;

// The ids to seek: seeded, spread over 1..rows.
std::vector<int32_t> SeekIds(uint32_t rows) {
  std::vector<int32_t> ids(kSeeks);
  uint64_t state = 4242;
  for (int32_t& id : ids) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    id = static_cast<int32_t>((state >> 33) % rows) + 1;
  }
  return ids;
}

struct Opened {
  ADSHANDLE conn = 0, table = 0;
  uint32_t rows = 0;
};

Opened OpenKinder(const std::string& folder) {
  Opened o;
  Check(AdsConnect(U8(folder), &o.conn), "connect " + folder);
  Check(AdsOpenTable90(o.conn, U8("Kinder"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                       ADS_CHECK_RIGHTS, ADS_EXCLUSIVE, U8(""), &o.table),
        "open Kinder");
  Check(AdsGetRecordCount(o.table, ADS_IGNOREFILTERS, &o.rows), "count");
  return o;
}

void Close(const Opened& o) {
  AdsCloseTable(o.table);
  AdsDisconnect(o.conn);
}

int IndexOurs(const std::string& folder) {
  const Opened o = OpenKinder(folder);
  ADSHANDLE index = 0;
  Stopwatch clock;
  Check(AdsCreateIndex90(o.table, nullptr, U8("NACHNAME"), U8("Nachname+Vorname"), nullptr, nullptr,
                         ADS_COMPOUND, 0, nullptr, &index),
        "create index");
  const double seconds = clock.Seconds();
  UNSIGNED32 keys = 0;
  Check(AdsGetKeyCount(index, ADS_IGNOREFILTERS, &keys), "key count");
  if (keys != o.rows) Fail("the index holds " + std::to_string(keys) + " keys, not one per row");
  Close(o);
  PrintResult("index_ours", seconds, keys);
  return 0;
}

sqlite3* OpenSqlite(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
    Fail("sqlite: cannot open " + path);
  return db;
}

void Exec(sqlite3* db, const char* text) {
  char* error = nullptr;
  if (sqlite3_exec(db, text, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string what = error != nullptr ? error : "?";
    sqlite3_free(error);
    Fail(std::string("sqlite: ") + text + ": " + what);
  }
}

int64_t SqliteRows(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "SELECT count(*) FROM Kinder", -1, &stmt, nullptr);
  if (stmt == nullptr || sqlite3_step(stmt) != SQLITE_ROW) Fail("sqlite: cannot count rows");
  const int64_t rows = sqlite3_column_int64(stmt, 0);
  sqlite3_finalize(stmt);
  return rows;
}

int IndexSqlite(const std::string& path) {
  sqlite3* db = OpenSqlite(path);
  const int64_t rows = SqliteRows(db);
  Stopwatch clock;
  Exec(db, "CREATE INDEX Kinder_Nachname ON Kinder (Nachname, Vorname)");
  const double seconds = clock.Seconds();
  sqlite3_close(db);
  PrintResult("index_sqlite", seconds, static_cast<uint64_t>(rows));
  return 0;
}

int SeekOurs(const std::string& folder) {
  const Opened o = OpenKinder(folder);
  ADSHANDLE index = 0;
  Check(AdsCreateIndex90(o.table, nullptr, U8("KIND_ID"), U8("Kind_ID"), nullptr, nullptr,
                         ADS_COMPOUND, 0, nullptr, &index),
        "create index");
  const std::vector<int32_t> ids = SeekIds(o.rows);
  uint64_t sum = 0;
  Stopwatch clock;
  for (int32_t id : ids) {
    const double key = id;
    UNSIGNED8 bytes[sizeof key];
    std::memcpy(bytes, &key, sizeof key);
    UNSIGNED16 found = 0;
    Check(AdsSeek(index, bytes, sizeof bytes, ADS_DOUBLEKEY, ADS_HARDSEEK, &found), "seek");
    if (found == 0) Fail("id " + std::to_string(id) + " not found");
    UNSIGNED32 recno = 0;
    Check(AdsGetRecordNum(o.table, ADS_IGNOREFILTERS, &recno), "record number");
    sum += recno;
  }
  const double seconds = clock.Seconds();
  Close(o);
  std::fprintf(stderr, "checksum %llu\n", static_cast<unsigned long long>(sum));
  PrintResult("seek_ours", seconds, ids.size());
  return 0;
}

int SeekSqlite(const std::string& path) {
  sqlite3* db = OpenSqlite(path);
  Exec(db, "CREATE INDEX Kinder_Kind_ID ON Kinder (Kind_ID)");
  const std::vector<int32_t> ids = SeekIds(static_cast<uint32_t>(SqliteRows(db)));
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT rowid FROM Kinder WHERE Kind_ID = ?1", -1, &stmt, nullptr) !=
      SQLITE_OK)
    Fail(std::string("sqlite: ") + sqlite3_errmsg(db));
  uint64_t sum = 0;
  Stopwatch clock;
  for (int32_t id : ids) {
    sqlite3_bind_int(stmt, 1, id);
    if (sqlite3_step(stmt) != SQLITE_ROW) Fail("id " + std::to_string(id) + " not found");
    sum += static_cast<uint64_t>(sqlite3_column_int64(stmt, 0));
    sqlite3_reset(stmt);
  }
  const double seconds = clock.Seconds();
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  std::fprintf(stderr, "checksum %llu\n", static_cast<unsigned long long>(sum));
  PrintResult("seek_sqlite", seconds, ids.size());
  return 0;
}

// A TAdsTable on Kinder in FOLDER, opened exclusively, owned by owner.
TAdsTable* OpenDataset(TComponent* owner, const std::string& folder) {
  auto* conn = new TAdsConnection(owner);
  conn->SetName("AdsConnection1");
  conn->SetConnectPath(folder);
  conn->SetLoginPrompt(false);
  auto* table = new TAdsTable(owner);
  table->SetName("AdsTableKinder");
  table->SetAdsConnection(conn);
  table->SetTableType(ttAdsADT);
  table->SetTableName("Kinder");
  table->SetExclusive(true);
  table->Open();
  return table;
}

int AddIndexDataset(const std::string& folder) {
  TComponent owner(nullptr);
  double seconds = 0;
  try {
    TAdsTable* table = OpenDataset(&owner, folder);
    const int rows = table->RecordCount();
    Stopwatch clock;
    table->AddIndex("NACHNAME", "Nachname;Vorname", TIndexOptions{});
    seconds = clock.Seconds();
    table->SetIndexName("NACHNAME");
    const int keys = table->RecordCount();
    if (keys != rows) Fail("the index gives " + std::to_string(keys) + " rows, not " +
                           std::to_string(rows));
    table->Close();
    PrintResult("index_addindex", seconds, static_cast<uint64_t>(keys));
  } catch (const Exception& e) {
    Fail("AddIndex: " + e.Message());
  }
  return 0;
}

int SeekDataset(const std::string& folder) {
  TComponent owner(nullptr);
  uint64_t sum = 0;
  double seconds = 0;
  size_t seeks = 0;
  try {
    TAdsTable* table = OpenDataset(&owner, folder);
    table->AddIndex("KIND_ID", "Kind_ID", TIndexOptions{});
    table->SetIndexName("KIND_ID");
    const std::vector<int32_t> ids = SeekIds(static_cast<uint32_t>(table->RecordCount()));
    TField* id_field = table->FieldByName("Kind_ID");
    Stopwatch clock;
    for (int32_t id : ids) {
      if (!table->FindKey({Variant(static_cast<int>(id))}))
        Fail("id " + std::to_string(id) + " not found");
      const int32_t got = id_field->AsInteger();
      if (got != id) Fail("FindKey for " + std::to_string(id) + " gave " + std::to_string(got));
      sum += static_cast<uint32_t>(got);
    }
    seconds = clock.Seconds();
    seeks = ids.size();
    table->Close();
  } catch (const Exception& e) {
    Fail("FindKey: " + e.Message());
  }
  std::fprintf(stderr, "checksum %llu\n", static_cast<unsigned long long>(sum));
  PrintResult("seek_findkey", seconds, seeks);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // One source, two programs: bench_seek is built with BENCH_SEEK defined.
#ifdef BENCH_SEEK
  const bool seek = true;
#else
  const bool seek = false;
#endif
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc == 3 && mode == "ours") return seek ? SeekOurs(argv[2]) : IndexOurs(argv[2]);
  if (argc == 3 && mode == "sqlite") return seek ? SeekSqlite(argv[2]) : IndexSqlite(argv[2]);
  if (argc == 3 && mode == "findkey" && seek) return SeekDataset(argv[2]);
  if (argc == 3 && mode == "addindex" && !seek) return AddIndexDataset(argv[2]);
  Fail(seek ? "usage: bench_seek ours FOLDER | findkey FOLDER | sqlite DBFILE"
            : "usage: bench_index ours FOLDER | addindex FOLDER | sqlite DBFILE");
}
