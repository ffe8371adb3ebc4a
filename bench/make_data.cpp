// bench_make_data ROWS DIR: makes the benchmark data, the same rows of Kinder three times:
//   DIR/ADT/Kinder.adt (+ .adm)   through the engine's C API
//   DIR/CDX/Kinder.dbf (+ .fpt)   through the engine's C API, with the DBF column names
//   DIR/kinder.sqlite             a native SQLite table with the same values (dates as ISO text,
//                                 empty memos as NULL)
// DIR must not hold them yet (the caller keeps made data and removes it to start again).
#include <sqlite3.h>

#include <filesystem>

#include "bench/bench_support.h"

namespace {

using namespace bench;

void MakeEngineTable(const std::string& folder, UNSIGNED16 type, uint32_t rows) {
  std::filesystem::create_directories(folder);
  ADSHANDLE conn = 0, table = 0;
  Check(AdsConnect(U8(folder), &conn), "connect " + folder);
  Check(AdsCreateTable90(conn, U8("Kinder"), nullptr, type, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                         ADS_CHECK_RIGHTS, 0, U8(KinderFieldSpec(type)), ADS_EXCLUSIVE, U8(""),
                         &table),
        "create Kinder in " + folder);
  KinderGenerator gen;
  for (uint32_t i = 0; i < rows; ++i) {
    const KinderRow r = gen.Next();
    auto text = [&](int field, const std::string& value) {
      Check(AdsSetString(table, ADSFIELD(field), U8(value), static_cast<UNSIGNED32>(value.size())),
            "set field " + std::to_string(field));
    };
    Check(AdsAppendRecord(table), "append");
    Check(AdsSetLong(table, ADSFIELD(1), r.id), "set id");
    text(2, r.vorname);
    text(3, r.nachname);
    text(4, r.geschlecht);
    Check(AdsSetJulian(table, ADSFIELD(5), r.geburt.Julian()), "set birth date");
    text(6, r.gruppe);
    Check(AdsSetJulian(table, ADSFIELD(7), r.aufnahme.Julian()), "set admission date");
    Check(AdsSetLong(table, ADSFIELD(8), r.stunden), "set hours");
    if (!r.bemerkung.empty()) text(9, r.bemerkung);
    Check(AdsWriteRecord(table), "write record " + std::to_string(r.id));
  }
  Check(AdsCloseTable(table), "close");
  Check(AdsDisconnect(conn), "disconnect");
}

void Sql(sqlite3* db, const char* text) {
  char* error = nullptr;
  if (sqlite3_exec(db, text, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string what = error != nullptr ? error : "?";
    sqlite3_free(error);
    Fail(std::string("sqlite: ") + text + ": " + what);
  }
}

void MakeSqliteTable(const std::string& path, uint32_t rows) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Fail("sqlite: cannot open " + path);
  Sql(db,
      "CREATE TABLE Kinder (Kind_ID INTEGER, Vorname CHAR(20), Nachname CHAR(25), "
      "Geschlecht CHAR(1), Geburtsdatum DATE, Gruppe CHAR(15), Aufnahme DATE, "
      "Betreuungsstunden INTEGER, Bemerkung TEXT)");
  Sql(db, "BEGIN");
  sqlite3_stmt* ins = nullptr;
  if (sqlite3_prepare_v2(db, "INSERT INTO Kinder VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)", -1,
                         &ins, nullptr) != SQLITE_OK)
    Fail(std::string("sqlite: ") + sqlite3_errmsg(db));
  KinderGenerator gen;
  for (uint32_t i = 0; i < rows; ++i) {
    const KinderRow r = gen.Next();
    const std::string birth = r.geburt.Iso(), admission = r.aufnahme.Iso();
    sqlite3_bind_int(ins, 1, r.id);
    sqlite3_bind_text(ins, 2, r.vorname.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 3, r.nachname.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 4, r.geschlecht.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 5, birth.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 6, r.gruppe.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 7, admission.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(ins, 8, r.stunden);
    if (r.bemerkung.empty()) {
      sqlite3_bind_null(ins, 9);
    } else {
      sqlite3_bind_text(ins, 9, r.bemerkung.c_str(), -1, SQLITE_STATIC);
    }
    if (sqlite3_step(ins) != SQLITE_DONE) Fail(std::string("sqlite: ") + sqlite3_errmsg(db));
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  Sql(db, "COMMIT");
  sqlite3_close(db);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) Fail("usage: bench_make_data ROWS DIR");
  const long rows = std::strtol(argv[1], nullptr, 10);
  if (rows <= 0 || rows > 100000000) Fail("ROWS must be a positive number of rows");
  const std::string dir = argv[2];
  const std::string sqlite_path = dir + "/kinder.sqlite";
  if (std::filesystem::exists(dir + "/ADT/Kinder.adt") ||
      std::filesystem::exists(dir + "/CDX/Kinder.dbf") || std::filesystem::exists(sqlite_path))
    Fail(dir + " already holds benchmark data");
  Stopwatch clock;
  MakeEngineTable(dir + "/ADT", ADS_ADT, static_cast<uint32_t>(rows));
  MakeEngineTable(dir + "/CDX", ADS_CDX, static_cast<uint32_t>(rows));
  MakeSqliteTable(sqlite_path, static_cast<uint32_t>(rows));
  PrintResult("make_data", clock.Seconds(), static_cast<uint64_t>(rows));
  return 0;
}
