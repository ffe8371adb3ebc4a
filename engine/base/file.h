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
#include <memory>
#include <string>
#include <vector>

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
  // Sets the file's size; growing it counts as an allocation.
  Status Truncate(uint64_t size);
  Result<uint64_t> Size() const;
  // Writes out buffered writes (private mode) and closes; a failure of that write is lost, so
  // owners of a private file call EndPrivate first.
  void Close();

  // ---- Buffering. Every physical read, write and truncation still goes through the fault hook
  // below; a buffered write that fails when it is written out reports its error from the call
  // that writes it out (a later write, a read of that range, Truncate, Sync or EndPrivate).
  //
  // Private mode, for a file that no other object or process reads or writes while it is on (a
  // table built beside the old one and swapped in, or an old one read once by the rewrite that
  // holds it exclusively): writes that follow one another are gathered in a buffer of
  // write_buffer bytes (a gap behind the end of the file is filled with the zeros the file
  // would read as there), reads go through a read-ahead window of read_ahead bytes, and Size
  // answers from what this object wrote, without asking the system. 0 turns either part off.
  // Reads of buffered bytes write the buffer out first.
  Status BeginPrivate(size_t write_buffer, size_t read_ahead);
  // Writes the buffer out and leaves private mode.
  Status EndPrivate();
  bool is_private() const { return buf_ != nullptr && buf_->is_private; }
  // Shared read-ahead: reads close to the one before go through a window of bytes read in one
  // piece, for forward and backward scans (other reads read just their bytes). Writes and truncations through this object drop the window; the owner
  // drops it (DropReadAhead) whenever another user may have changed the file.
  void SetReadAhead(size_t bytes);
  void DropReadAhead() const;
  // Reads exactly n bytes at offset from the file itself, never from the read-ahead window
  // (for headers that tell whether the window is still good).
  Status ReadFreshAt(uint64_t offset, void* data, size_t n) const;

 private:
  struct Buffers {
    bool is_private = false;
    size_t write_cap = 0;
    uint64_t write_at = 0;
    std::unique_ptr<char[]> pending;  // write_cap bytes, pending_size of them buffered
    size_t pending_size = 0;          // from write_at on
    uint64_t size = 0;                // the file's size as this object left it (private mode)
    size_t read_cap = 0;
    uint64_t window_at = 0;
    std::unique_ptr<char[]> window;  // read_cap bytes (allocated on first use, not cleared)
    size_t window_size = 0;          // bytes of the file from window_at on
    // Where the last read began and ended: a read far from it reads only its own bytes, so
    // random access (index order, seeks) does not pay for windows it does not use.
    uint64_t last_at = 0, last_end = 0;
    bool has_last = false;
  };
  Status PhysicalRead(uint64_t offset, void* data, size_t n, size_t* got) const;
  Status PhysicalWrite(uint64_t offset, const void* data, size_t n);
  Status WriteOut() const;
  static Status Truncated(const std::string& path, uint64_t offset, size_t n, size_t got);

  int fd_ = -1;
  std::string path_;
  std::unique_ptr<Buffers> buf_;
  size_t shared_read_ahead_ = 0;  // SetReadAhead's size, kept through private use
};

// File-system operations on names, each through the fault hook.
Status RenameFile(const std::string& from, const std::string& to);  // atomic replace
Status RemoveFile(const std::string& path);                         // missing file is ok
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Flushes a directory's entries (after a rename or a create) so they survive a crash.
Status SyncDirectory(const std::string& dir);

// Test hook: counts the file layer's operations of each kind and fails (or ends the process at)
// the n-th one. Kinds: kRead (every read), kWrite (every write and truncation), kSync (every
// flush of a file or a directory), kRename, kAlloc (every creation of a file and every write or
// truncation that makes a file larger) and kRemove (every deletion).
//
// Counting of kAlloc needs the file's size at each write; that is only looked at once Reset,
// FailAt or KillAt has been called (never in a process that does not use the hook).
//
// Not thread-safe; meant for single-threaded fault-injection and crash tests (a crash test
// arms KillAt in a child process and lets the operation run into it).
enum class IoKind { kRead, kWrite, kSync, kRename, kAlloc, kRemove };
inline constexpr size_t kIoKinds = 6;

class FaultInjector {
 public:
  // Fail the nth (1-based) operation of this kind with the given code; 0 turns it off.
  // That kind's counter restarts at 0.
  static void FailAt(IoKind kind, uint64_t nth, uint32_t code);
  // Ends the process with SIGKILL just before the nth (1-based) changing operation (write,
  // flush, rename, allocation or deletion, counted together in ChangeCount); 0 turns it off.
  // The changing-operations counter restarts at 0.
  static void KillAt(uint64_t nth);
  // Turns every fault off and restarts all counters.
  static void Reset();
  static uint64_t Count(IoKind kind);
  // Changing operations since the last Reset or KillAt.
  static uint64_t ChangeCount();
  // Called by the file layer before each operation; returns the injected failure or Ok.
  static Status Check(IoKind kind, const std::string& path);
  // True once the hook was used in this process (the file layer then reports growing writes).
  static bool Watching();
};

// Joins a directory and a name with '/', accepting '\' in either as a separator.
std::string JoinPath(const std::string& dir, const std::string& name);
// Converts '\' to '/'.
std::string NormalizePath(const std::string& path);

}  // namespace ace
