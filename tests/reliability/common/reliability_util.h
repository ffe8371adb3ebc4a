// Shared tools of the reliability suites: temporary folders, test tables built through the C
// API, a content digest and a consistency check of a table read through the storage layer,
// and running an operation in a child process (that the file layer's hook may kill).
//
// Sizes: the suites run small tables by default so that the test command stays quick; the
// environment variables RELIABILITY_ROWS (rows of the crash and fault tables) and
// RELIABILITY_KILL_POINTS (kill points per operation) widen a run, as scripts/reliability does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/include/ace.h"
#include "engine/storage/table_file.h"

namespace reliability {

using ace::storage::TableType;

inline const UNSIGNED8* U(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

// A fresh folder under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Copies the regular files of one folder into another (which must exist), replacing files of
// the same name and removing the ones the source lacks.
void CopyFolder(const std::string& from, const std::string& to);
std::vector<std::string> FilesIn(const std::string& dir);

// The number of an environment variable, or fallback when it is unset or not a number.
uint64_t EnvNumber(const char* name, uint64_t fallback);

// The code and text of this thread's last engine error, as "code: text".
std::string LastError();

// The file name of a table in a folder ("Kinder.adt", "Kinder.dbf").
std::string TableFileName(const std::string& name, TableType type);

// True for the DBF family, whose field names hold at most 10 characters.
inline bool IsDbf(TableType type) {
  return type != TableType::kAdt;
}

// Creates the test table Kinder in dir with `rows` records through the C API: an integer key,
// a name, a birth date, an amount, a logical and a memo (every third record has a memo of a
// few hundred bytes, every seventh record is deleted). Fails the test on an engine error.
void CreateKinder(const std::string& dir, TableType type, uint32_t rows);

// The upgrade script of the program for a table type: the four ALTER statements of the
// program on ADT tables; the DBF formats get the same four columns with names of at most ten
// characters (their format refuses the longer ones).
std::string UpgradeScript(TableType type);

// Runs a text of SQL statements on a connection to dir with statements for table type
// `type`; answers the engine's result (0 on success).
UNSIGNED32 RunSql(const std::string& dir, TableType type, const std::string& sql);

// Opens dir's table shared (writable) and closes it again; answers the engine's result.
UNSIGNED32 OpenAndClose(const std::string& dir, const std::string& name, TableType type);

// Opens dir's table exclusively and packs it; answers the engine's result.
UNSIGNED32 PackTable(const std::string& dir, const std::string& name, TableType type);

// What a table holds: its fields (name, type, length, decimals) and every record (deleted
// mark and field bytes, memo fields by their content rather than their block numbers), as a
// 64-bit digest. Equal digests mean equal content.
struct Content {
  bool ok = false;
  std::string error;  // why it could not be read
  uint64_t digest = 0;
  uint64_t live_digest = 0;  // the fields and the records that are not deleted, in order
  // The fields and every record except deleted blank ones: a transaction that was rolled back
  // (also by the recovery after a crash) leaves the records it had appended as deleted blank
  // records, which hold nothing.
  uint64_t settled_digest = 0;
  uint32_t records = 0;
  uint32_t fields = 0;
};
Content ReadContent(const std::string& path, TableType type);

// The consistency check: the table and its memo file open; every record reads; DBF deletion
// marks are 0x20 or 0x2A and ADT status bytes one of the format's; every memo of every record
// reads completely, with the length its block says; no two records share a memo block; the
// data file is not shorter than its header says. Answers "" when all holds, else what failed.
std::string CheckTable(const std::string& path, TableType type);

// Runs body in a forked child process (which ends with body's answer as its exit code).
struct ChildResult {
  bool killed = false;  // ended by SIGKILL
  int signal = 0;       // any other signal that ended it
  int exit_code = -1;   // when it exited
};
ChildResult RunInChild(const std::function<int()>& body);

// Forks n children that run body(i) for i = 0..n-1 at the same time (they wait for one start
// signal) and answers their results in order.
std::vector<ChildResult> RunChildren(int n, const std::function<int(int)>& body);

}  // namespace reliability
