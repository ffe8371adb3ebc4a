// bench_upgrade: the four-statement upgrade of Kinder, ours and its peers, one run per call.
//   bench_upgrade ours ADT|CDX FOLDER   TAdsQuery.ExecSQL of the tool's script on FOLDER/Kinder,
//                                       on a connection component to FOLDER (the clock covers
//                                       ExecSQL only); the table is checked afterwards
//   bench_upgrade copy FILE...          the physical floor: every file read once and written
//                                       once beside itself with 8 MiB buffers, flushed to disk
//                                       (fdatasync) and renamed over the original, as the
//                                       engine's rewrite does with the table and memo files
//   bench_upgrade sqlite DBFILE         the same four ALTERs on a native SQLite table
// The caller gives each run a fresh copy of the data; the runs change the files they are given.
// The peak memory printed with the result is this whole process's (getrusage).
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "bench/bench_support.h"

namespace {

using namespace bench;

uint32_t CountRecords(const std::string& folder, UNSIGNED16 type, UNSIGNED16* fields) {
  ADSHANDLE conn = 0, table = 0;
  Check(AdsConnect(U8(folder), &conn), "connect " + folder);
  Check(AdsOpenTable90(conn, U8("Kinder"), nullptr, type, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                       ADS_CHECK_RIGHTS, 0, U8(""), &table),
        "open Kinder");
  UNSIGNED32 count = 0;
  Check(AdsGetRecordCount(table, ADS_IGNOREFILTERS, &count), "count");
  Check(AdsGetNumFields(table, fields), "fields");
  AdsCloseTable(table);
  AdsDisconnect(conn);
  return count;
}

int RunOurs(UNSIGNED16 type, const std::string& folder) {
  UNSIGNED16 fields_before = 0;
  const uint32_t rows = CountRecords(folder, type, &fields_before);
  double seconds = 0;
  {
    TComponent owner(nullptr);
    auto* conn = new TAdsConnection(&owner);
    conn->SetName("AdsConnection1");
    conn->SetConnectPath(folder);
    conn->SetAdsServerTypes(TAdsServerTypes({stADS_LOCAL}));
    conn->SetLoginPrompt(false);
    conn->Connect();
    auto* query = new TAdsQuery(&owner);
    query->SetName("AdsQuery1");
    query->SetAdsConnection(conn);
    query->SetTableType(type == ADS_ADT ? ttAdsADT : ttAdsCDX);
    for (const std::string& line : UpgradeLines(type)) query->SQL()->Add(line);
    try {
      Stopwatch clock;
      query->ExecSQL();
      seconds = clock.Seconds();
    } catch (const Exception& e) {
      Fail("ExecSQL: " + e.Message());
    }
  }
  UNSIGNED16 fields_after = 0;
  if (CountRecords(folder, type, &fields_after) != rows || fields_after != fields_before + 4)
    Fail("the upgrade did not keep the records or did not add the four columns");
  PrintResult(std::string("upgrade_ours_") + (type == ADS_ADT ? "ADT" : "CDX"), seconds, rows);
  return 0;
}

// Reads path once and writes it to path + ".copy" with large buffers, flushes and renames it
// over path. Answers the bytes copied.
uint64_t CopyOver(const std::string& path) {
  constexpr size_t kBuffer = 8u << 20;
  const std::string copy = path + ".copy";
  const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) Fail("open " + path + ": " + std::strerror(errno));
  const int out = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) Fail("create " + copy + ": " + std::strerror(errno));
  std::unique_ptr<char[]> buffer(new char[kBuffer]);
  uint64_t total = 0;
  for (;;) {
    const ssize_t got = ::read(in, buffer.get(), kBuffer);
    if (got < 0) Fail("read " + path + ": " + std::strerror(errno));
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out, buffer.get() + done, static_cast<size_t>(got - done));
      if (put <= 0) Fail("write " + copy + ": " + std::strerror(errno));
      done += put;
    }
    total += static_cast<uint64_t>(got);
  }
  if (::fdatasync(out) != 0) Fail("flush " + copy + ": " + std::strerror(errno));
  ::close(out);
  ::close(in);
  if (::rename(copy.c_str(), path.c_str()) != 0)
    Fail("rename " + copy + ": " + std::strerror(errno));
  return total;
}

int RunCopy(int count, char** files) {
  Stopwatch clock;
  uint64_t bytes = 0;
  for (int i = 0; i < count; ++i) bytes += CopyOver(files[i]);
  PrintResult("upgrade_copy", clock.Seconds(), bytes);
  return 0;
}

int RunSqlite(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
    Fail("sqlite: cannot open " + path);
  const std::vector<std::string> lines = UpgradeLines(ADS_ADT);
  std::string script;
  for (const std::string& line : lines) script += line + "\r\n";
  Stopwatch clock;
  char* error = nullptr;
  if (sqlite3_exec(db, script.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string what = error != nullptr ? error : "?";
    sqlite3_free(error);
    Fail("sqlite: " + what);
  }
  const double seconds = clock.Seconds();
  sqlite3_close(db);
  PrintResult("upgrade_sqlite", seconds, 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "ours" && argc == 4) return RunOurs(TableTypeOf(argv[2]), argv[3]);
  if (mode == "copy" && argc >= 3) return RunCopy(argc - 2, argv + 2);
  if (mode == "sqlite" && argc == 3) return RunSqlite(argv[2]);
  Fail("usage: bench_upgrade ours ADT|CDX FOLDER | copy FILE... | sqlite DBFILE");
}
