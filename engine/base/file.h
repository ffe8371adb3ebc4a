// File: the engine's one way to reach the file system. Every read, write, flush, rename and
// delete of table, memo, index and journal files goes through here, so that failures are
// reported the same way everywhere (a Status with the file name and the system's reason) and so
// that tests can make the n-th operation fail (FaultInjector).
//
// A File owns its descriptor and closes it when destroyed. It is not thread-safe; the engine
// keeps one File per open table file per connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/base/status.h"

namespace ace {

enum class OpenMode {
  kReadOnly,
  kReadWrite,
  kCreateNew,       // create; fails with kErrFileExists when the file exists
  kCreateTruncate,  // create or truncate an existing file
};

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  static Result<File> Open(const std::string& path, OpenMode mode);

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

  // Reads exactly n bytes at offset. Reading past the end is kErrCorruptFile ("truncated"),
  // since every caller reads structures the file claims to hold.
  Status ReadAt(uint64_t offset, void* data, size_t n) const;
  // Reads up to n bytes; *got tells how many (fewer only at the end of the file).
  Status ReadSomeAt(uint64_t offset, void* data, size_t n, size_t* got) const;
  // Writes all n bytes at offset; a full disk is kErrDiskFull.
  Status WriteAt(uint64_t offset, const void* data, size_t n);
  Status Sync();
  Status Truncate(uint64_t size);
  Result<uint64_t> Size() const;
  void Close();

 private:
  int fd_ = -1;
  std::string path_;
};

// File-system operations on names.
Status RenameFile(const std::string& from, const std::string& to);  // atomic replace
Status RemoveFile(const std::string& path);                         // missing file is ok
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Flushes a directory's entries (after a rename or a create) so they survive a crash.
Status SyncDirectory(const std::string& dir);

// Test hook: counts I/O operations of each kind and fails the n-th one with the given code.
// Not thread-safe; meant for single-threaded fault-injection tests.
enum class IoKind { kRead, kWrite, kSync, kRename, kAlloc };
class FaultInjector {
 public:
  // Fail the nth (1-based) operation of this kind; 0 turns it off. Counters restart at 0.
  static void FailAt(IoKind kind, uint64_t nth, uint32_t code);
  static void Reset();
  static uint64_t Count(IoKind kind);
  // Called by File before each operation; returns the injected failure or Ok.
  static Status Check(IoKind kind, const std::string& path);
};

// Joins a directory and a name with '/', accepting '\' in either as a separator.
std::string JoinPath(const std::string& dir, const std::string& name);
// Converts '\' to '/'.
std::string NormalizePath(const std::string& path);

}  // namespace ace
