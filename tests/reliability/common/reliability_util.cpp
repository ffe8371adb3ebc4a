// Shared tools of the reliability suites (see reliability_util.h).
#include "tests/reliability/common/reliability_util.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "engine/storage/adt/adt_format.h"

namespace reliability {

namespace fs = std::filesystem;
using ace::storage::FieldDesc;
using ace::storage::TableFile;

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "ace_reliability_XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) ADD_FAILURE() << "cannot create a temporary folder";
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void CopyFolder(const std::string& from, const std::string& to) {
  std::set<std::string> keep;
  for (const auto& e : fs::directory_iterator(from)) {
    if (!e.is_regular_file()) continue;
    keep.insert(e.path().filename().string());
    fs::copy_file(e.path(), fs::path(to) / e.path().filename(),
                  fs::copy_options::overwrite_existing);
  }
  for (const auto& e : fs::directory_iterator(to)) {
    if (keep.count(e.path().filename().string()) == 0) fs::remove_all(e.path());
  }
}

uint64_t EnvNumber(const char* name, uint64_t fallback) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return fallback;
  char* end = nullptr;
  unsigned long long n = std::strtoull(v, &end, 10);
  return (end != nullptr && *end == '\0') ? n : fallback;
}

std::string LastError() {
  UNSIGNED32 code = 0;
  UNSIGNED8 buf[ADS_MAX_ERROR_LEN];
  UNSIGNED16 len = sizeof buf;
  if (AdsGetLastError(&code, buf, &len) != 0) return "(no error text)";
  return std::to_string(code) + ": " + reinterpret_cast<char*>(buf);
}

std::string TableFileName(const std::string& name, TableType type) {
  return name + ace::storage::TableExtension(type);
}

namespace {

constexpr const char* kKinderFields =
    "ID,Numeric,9,0;NAME,Char,30;GEBURT,Date;BETRAG,Numeric,12,2;AKTIV,Logical;"
    "ZAEHLER,Numeric,9,0;NOTIZ,Memo";

std::string MemoText(uint32_t i) {
  std::string text = "Notiz " + std::to_string(i) + ":";
  for (uint32_t k = 0; k < 20 + i % 40; ++k) text += " Eintrag" + std::to_string((i * 7 + k) % 97);
  return text;
}

struct Connection {
  ADSHANDLE handle = 0;
  explicit Connection(const std::string& dir) {
    if (AdsConnect60(U(dir), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &handle) != 0) handle = 0;
  }
  ~Connection() {
    if (handle != 0) AdsDisconnect(handle);
  }
};

}  // namespace

void CreateKinder(const std::string& dir, TableType type, uint32_t rows) {
  Connection conn(dir);
  ASSERT_NE(0u, conn.handle) << LastError();
  ADSHANDLE table = 0;
  ASSERT_EQ(0u, AdsCreateTable90(conn.handle, U("Kinder"), nullptr, static_cast<UNSIGNED16>(type),
                                 ADS_ANSI, ADS_PROPRIETARY_LOCKING, ADS_IGNORE_RIGHTS, 0,
                                 U(kKinderFields), ADS_EXCLUSIVE, nullptr, &table))
      << LastError();
  for (uint32_t i = 1; i <= rows; ++i) {
    ASSERT_EQ(0u, AdsAppendRecord(table)) << LastError();
    std::string name = "Kind " + std::to_string(i);
    ASSERT_EQ(0u, AdsSetDouble(table, U("ID"), i));
    ASSERT_EQ(0u, AdsSetString(table, U("NAME"), U(name), static_cast<UNSIGNED32>(name.size())));
    ASSERT_EQ(0u, AdsSetJulian(table, U("GEBURT"), 2451545 + static_cast<SIGNED32>(i % 5000)));
    ASSERT_EQ(0u, AdsSetDouble(table, U("BETRAG"), (i % 1000) * 1.25));
    ASSERT_EQ(0u, AdsSetLogical(table, U("AKTIV"), i % 2));
    ASSERT_EQ(0u, AdsSetDouble(table, U("ZAEHLER"), 0));
    if (i % 3 == 0) {
      std::string memo = MemoText(i);
      ASSERT_EQ(0u, AdsSetString(table, U("NOTIZ"), U(memo), static_cast<UNSIGNED32>(memo.size())))
          << LastError();
    }
    ASSERT_EQ(0u, AdsWriteRecord(table)) << LastError();
    if (i % 7 == 0) {
      ASSERT_EQ(0u, AdsDeleteRecord(table)) << LastError();
    }
  }
  ASSERT_EQ(0u, AdsCloseTable(table)) << LastError();
}

std::string UpgradeScript(TableType type) {
  if (!IsDbf(type)) {
    return "ALTER TABLE Kinder ADD COLUMN Alter_Stichtag integer;\r\n"
           "ALTER TABLE Kinder ADD COLUMN Kosten_von date;\r\n"
           "ALTER TABLE Kinder ADD COLUMN Kosten_bis date;\r\n"
           "ALTER TABLE Kinder ADD COLUMN Migrationshintergrund char(5);\r\n";
  }
  return "ALTER TABLE Kinder ADD COLUMN AlterStich numeric(4,0);\r\n"
         "ALTER TABLE Kinder ADD COLUMN KostenVon date;\r\n"
         "ALTER TABLE Kinder ADD COLUMN KostenBis date;\r\n"
         "ALTER TABLE Kinder ADD COLUMN Migration char(5);\r\n";
}

UNSIGNED32 RunSql(const std::string& dir, TableType type, const std::string& sql) {
  Connection conn(dir);
  if (conn.handle == 0) return 5023;
  ADSHANDLE stmt = 0;
  UNSIGNED32 rc = AdsCreateSQLStatement(conn.handle, &stmt);
  if (rc != 0) return rc;
  rc = AdsStmtSetTableType(stmt, static_cast<UNSIGNED16>(type));
  ADSHANDLE cursor = 0;
  if (rc == 0) rc = AdsExecuteSQLDirect(stmt, U(sql), &cursor);
  if (cursor != 0) AdsCloseTable(cursor);
  // The statement's error is the one to keep; closing must not overwrite it.
  if (rc != 0) {
    UNSIGNED32 code = 0;
    UNSIGNED8 text[ADS_MAX_ERROR_LEN];
    UNSIGNED16 len = sizeof text;
    AdsGetLastError(&code, text, &len);
    AdsCloseSQLStatement(stmt);
    AdsSetLastError(code, text);
    return rc;
  }
  return AdsCloseSQLStatement(stmt);
}

UNSIGNED32 OpenAndClose(const std::string& dir, const std::string& name, TableType type) {
  Connection conn(dir);
  if (conn.handle == 0) return 5023;
  ADSHANDLE table = 0;
  UNSIGNED32 rc =
      AdsOpenTable90(conn.handle, U(name), nullptr, static_cast<UNSIGNED16>(type), ADS_ANSI,
                     ADS_PROPRIETARY_LOCKING, ADS_IGNORE_RIGHTS, ADS_SHARED, nullptr, &table);
  if (rc != 0) return rc;
  return AdsCloseTable(table);
}

UNSIGNED32 PackTable(const std::string& dir, const std::string& name, TableType type) {
  Connection conn(dir);
  if (conn.handle == 0) return 5023;
  ADSHANDLE table = 0;
  UNSIGNED32 rc =
      AdsOpenTable90(conn.handle, U(name), nullptr, static_cast<UNSIGNED16>(type), ADS_ANSI,
                     ADS_PROPRIETARY_LOCKING, ADS_IGNORE_RIGHTS, ADS_EXCLUSIVE, nullptr, &table);
  if (rc != 0) return rc;
  rc = AdsPackTable(table);
  UNSIGNED32 closed = AdsCloseTable(table);
  return rc != 0 ? rc : closed;
}

namespace {

// FNV-1a, 64 bits: a digest of content for equality checks (not for security).
struct Digest {
  uint64_t h = 1469598103934665603ull;
  void Add(const void* data, size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) {
      h ^= p[i];
      h *= 1099511628211ull;
    }
  }
  void Add(uint64_t v) { Add(&v, sizeof v); }
  void Add(const std::string& s) {
    Add(s.size());
    Add(s.data(), s.size());
  }
};

bool IsMemoField(const FieldDesc& f, TableType type) {
  return ace::storage::IsMemoType(f.type, type);
}

// The block number a memo field of an image points at (0 for none): ten ASCII digits in the
// classic DBF formats, a 32-bit little-endian number in Visual FoxPro and ADT tables.
uint64_t MemoBlock(const std::byte* image, const FieldDesc& f) {
  const auto* p = reinterpret_cast<const unsigned char*>(image + f.offset);
  if (f.length == 10) {
    uint64_t n = 0;
    for (int i = 0; i < 10; ++i) {
      if (p[i] >= '0' && p[i] <= '9') n = n * 10 + (p[i] - '0');
    }
    return n;
  }
  if (f.length >= 4) return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint64_t>(p[3]) << 24;
  return 0;
}

ace::Result<std::unique_ptr<TableFile>> OpenForReading(const std::string& path, TableType type) {
  ace::storage::OpenOptions options;
  options.read_only = true;
  return ace::storage::OpenTableFile(path, type, options);
}

}  // namespace

Content ReadContent(const std::string& path, TableType type) {
  Content out;
  auto opened = OpenForReading(path, type);
  if (!opened.ok()) {
    out.error = opened.status().message();
    return out;
  }
  TableFile& t = *opened.value();
  Digest d;
  d.Add(t.fields().size());
  for (const auto& f : t.fields()) {
    d.Add(f.name);
    d.Add(uint64_t{f.type} << 48 | uint64_t{f.length} << 16 | f.decimals);
  }
  Digest live = d;
  Digest settled = d;
  std::vector<std::byte> blank = t.BlankRecord();
  t.SetDeleted(blank.data(), true);
  std::vector<std::byte> image(t.record_length());
  for (uint32_t r = 1; r <= t.record_count(); ++r) {
    ace::Status st = t.ReadRecord(r, image.data());
    if (!st.ok()) {
      out.error = st.message();
      return out;
    }
    std::vector<std::byte> plain = image;
    std::vector<std::vector<uint8_t>> memos;
    for (const auto& f : t.fields()) {
      if (!IsMemoField(f, type)) continue;
      auto memo = t.ReadMemo(image.data(), f);
      if (!memo.ok()) {
        out.error = "record " + std::to_string(r) + ": " + memo.status().message();
        return out;
      }
      memos.push_back(std::move(memo.value()));
      std::memset(plain.data() + f.offset, 0, f.length);
    }
    const bool deleted = t.IsDeleted(image.data());
    const bool blank_deleted = deleted && image == blank;
    for (Digest* x : {&d, &live, &settled}) {
      if (x == &live && deleted) continue;
      if (x == &settled && blank_deleted) continue;
      x->Add(plain.data(), plain.size());
      for (const auto& m : memos) {
        x->Add(m.size());
        x->Add(m.data(), m.size());
      }
    }
  }
  out.ok = true;
  out.digest = d.h;
  out.live_digest = live.h;
  out.settled_digest = settled.h;
  out.records = t.record_count();
  out.fields = static_cast<uint32_t>(t.fields().size());
  return out;
}

std::string CheckTable(const std::string& path, TableType type) {
  auto opened = OpenForReading(path, type);
  if (!opened.ok()) return "the table does not open: " + opened.status().message();
  TableFile& t = *opened.value();
  auto size = t.data_file().Size();
  if (!size.ok()) return size.status().message();
  if (size.value() < uint64_t{t.record_count()} * t.record_length()) {
    return "the data file of " + std::to_string(size.value()) + " bytes is shorter than its " +
           std::to_string(t.record_count()) + " records";
  }
  std::vector<std::byte> image(t.record_length());
  std::map<uint64_t, uint32_t> owner;  // memo block -> record
  for (uint32_t r = 1; r <= t.record_count(); ++r) {
    const std::string where = "record " + std::to_string(r);
    ace::Status st = t.ReadRecord(r, image.data());
    if (!st.ok()) return where + ": " + st.message();
    auto mark = static_cast<uint8_t>(image[0]);
    if (IsDbf(type) ? (mark != 0x20 && mark != 0x2A)
                    : (mark != ace::storage::adt::kStatusLive &&
                       mark != ace::storage::adt::kStatusDeleted &&
                       mark != ace::storage::adt::kStatusFree)) {
      return where + ": status byte " + std::to_string(mark) + " is not one of the format's";
    }
    for (const auto& f : t.fields()) {
      if (!IsMemoField(f, type)) continue;
      auto memo = t.ReadMemo(image.data(), f);
      if (!memo.ok()) return where + ", field " + f.name + ": " + memo.status().message();
      auto length = t.MemoLength(image.data(), f);
      if (!length.ok()) return where + ", field " + f.name + ": " + length.status().message();
      if (length.value() != memo.value().size()) {
        return where + ", field " + f.name + ": the memo reads " +
               std::to_string(memo.value().size()) + " bytes but claims " +
               std::to_string(length.value());
      }
      uint64_t block = MemoBlock(image.data(), f);
      if (block == 0 || memo.value().empty()) continue;
      auto [it, fresh] = owner.emplace(block, r);
      if (!fresh) {
        return where + ", field " + f.name + ": memo block " + std::to_string(block) +
               " is also used by record " + std::to_string(it->second);
      }
    }
  }
  return "";
}

ChildResult RunInChild(const std::function<int()>& body) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  ChildResult out;
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return out;
  if (WIFSIGNALED(status)) {
    out.killed = WTERMSIG(status) == SIGKILL;
    out.signal = WTERMSIG(status);
  } else if (WIFEXITED(status)) {
    out.exit_code = WEXITSTATUS(status);
  }
  return out;
}

std::vector<ChildResult> RunChildren(int n, const std::function<int(int)>& body) {
  int gate[2];
  std::vector<ChildResult> out(static_cast<size_t>(n));
  if (pipe(gate) != 0) return out;
  std::fflush(nullptr);
  std::vector<pid_t> pids;
  for (int i = 0; i < n; ++i) {
    pid_t pid = fork();
    if (pid == 0) {
      close(gate[1]);
      char c;
      // The start signal is the end of the pipe: every child starts when the parent closes it.
      while (read(gate[0], &c, 1) > 0) {
      }
      close(gate[0]);
      _exit(body(i));
    }
    pids.push_back(pid);
  }
  close(gate[0]);
  close(gate[1]);
  for (size_t i = 0; i < pids.size(); ++i) {
    int status = 0;
    if (pids[i] < 0 || waitpid(pids[i], &status, 0) != pids[i]) continue;
    if (WIFSIGNALED(status)) {
      out[i].killed = WTERMSIG(status) == SIGKILL;
      out[i].signal = WTERMSIG(status);
    } else if (WIFEXITED(status)) {
      out[i].exit_code = WEXITSTATUS(status);
    }
  }
  return out;
}

}  // namespace reliability
