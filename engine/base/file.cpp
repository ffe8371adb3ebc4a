// POSIX implementation of the engine's file layer, with the fault-injection counters.
#include "engine/base/file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "engine/base/error_codes.h"

namespace ace {

namespace {

struct InjectorState {
  std::array<uint64_t, kIoKinds> count{};
  std::array<uint64_t, kIoKinds> fail_at{};
  std::array<uint32_t, kIoKinds> code{};
  uint64_t changes = 0;
  uint64_t kill_at = 0;
  bool watching = false;
};

// Never destroyed: files are still closed and flushed while the process ends.
InjectorState& Injector() {
  static InjectorState* const s = new InjectorState;
  return *s;
}

Status ErrnoStatus(int err, const std::string& what, const std::string& path) {
  uint32_t code = kErrIo;
  if (err == ENOENT) code = kErrFileNotFound;
  if (err == ENOTDIR) code = kErrPathNotFound;
  if (err == EEXIST) code = kErrFileExists;
  if (err == ENOSPC || err == EDQUOT || err == EFBIG) code = kErrDiskFull;
  if (err == EACCES || err == EPERM || err == EROFS) code = kErrPermissionDenied;
  if (err == ENOMEM) code = kErrOutOfMemory;
  return Status(code, path + ": " + what + " failed: " + std::strerror(err));
}

}  // namespace

void FaultInjector::FailAt(IoKind kind, uint64_t nth, uint32_t code) {
  auto& s = Injector();
  size_t k = static_cast<size_t>(kind);
  s.count[k] = 0;
  s.fail_at[k] = nth;
  s.code[k] = code;
  s.watching = true;
}

void FaultInjector::KillAt(uint64_t nth) {
  auto& s = Injector();
  s.changes = 0;
  s.kill_at = nth;
  s.watching = true;
}

void FaultInjector::Reset() {
  Injector() = InjectorState{};
  Injector().watching = true;
}

uint64_t FaultInjector::Count(IoKind kind) {
  return Injector().count[static_cast<size_t>(kind)];
}

uint64_t FaultInjector::ChangeCount() {
  return Injector().changes;
}

bool FaultInjector::Watching() {
  return Injector().watching;
}

Status FaultInjector::Check(IoKind kind, const std::string& path) {
  auto& s = Injector();
  size_t k = static_cast<size_t>(kind);
  uint64_t n = ++s.count[k];
  if (kind != IoKind::kRead) {
    uint64_t c = ++s.changes;
    if (s.kill_at != 0 && c == s.kill_at) ::kill(::getpid(), SIGKILL);
  }
  if (s.fail_at[k] != 0 && n == s.fail_at[k]) {
    static const char* const names[] = {"read", "write", "flush", "rename", "allocation", "delete"};
    return Status(s.code[k], path + ": " + names[k] + " failed (injected fault)");
  }
  return Status::Ok();
}

namespace {

// Counts a write or truncation that makes the file end past its size as an allocation (only
// while the hook is in use).
Status CheckGrowth(int fd, uint64_t end, const std::string& path) {
  if (!FaultInjector::Watching()) return Status::Ok();
  struct stat st;
  if (::fstat(fd, &st) == 0 && end > static_cast<uint64_t>(st.st_size)) {
    return FaultInjector::Check(IoKind::kAlloc, path);
  }
  return Status::Ok();
}

}  // namespace

File::~File() {
  Close();
}

File::File(File&& other) noexcept
    : fd_(other.fd_),
      path_(std::move(other.path_)),
      buf_(std::move(other.buf_)),
      shared_read_ahead_(other.shared_read_ahead_) {
  other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    buf_ = std::move(other.buf_);
    shared_read_ahead_ = other.shared_read_ahead_;
    other.fd_ = -1;
  }
  return *this;
}

Result<File> File::Open(const std::string& path, OpenMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::kReadOnly:
      flags |= O_RDONLY;
      break;
    case OpenMode::kReadWrite:
      flags |= O_RDWR;
      break;
    case OpenMode::kCreateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
    case OpenMode::kCreateTruncate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
  std::string p = NormalizePath(path);
  if (mode == OpenMode::kCreateNew || mode == OpenMode::kCreateTruncate) {
    ACE_RETURN_IF_ERROR(FaultInjector::Check(IoKind::kAlloc, p));
  }
  int fd = ::open(p.c_str(), flags, 0666);
  if (fd < 0) return ErrnoStatus(errno, "open", p);
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return Status(kErrFileNotFound, p + ": is a directory, not a file");
  }
  File f;
  f.fd_ = fd;
  f.path_ = p;
  return f;
}

Status File::PhysicalRead(uint64_t offset, void* data, size_t n, size_t* got) const {
  ACE_RETURN_IF_ERROR(FaultInjector::Check(IoKind::kRead, path_));
  size_t done = 0;
  auto* p = static_cast<char*>(data);
  while (done < n) {
    ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return ErrnoStatus(errno, "read", path_);
    }
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  *got = done;
  return Status::Ok();
}

namespace {

Status WriteFully(int fd, const std::string& path, uint64_t offset, const void* data, size_t n) {
  ACE_RETURN_IF_ERROR(FaultInjector::Check(IoKind::kWrite, path));
  ACE_RETURN_IF_ERROR(CheckGrowth(fd, offset + n, path));
  size_t done = 0;
  const auto* p = static_cast<const char*>(data);
  while (done < n) {
    ssize_t r = ::pwrite(fd, p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return ErrnoStatus(errno, "write", path);
    }
    if (r == 0) return Status(kErrDiskFull, path + ": write failed: no space left");
    done += static_cast<size_t>(r);
  }
  return Status::Ok();
}

// A write that lands at most this far behind the end of the file is gathered with the bytes
// before it, the gap filled with zeros (memo runs end inside their last block).
constexpr uint64_t kMaxGap = 64 * 1024;

}  // namespace

Status File::PhysicalWrite(uint64_t offset, const void* data, size_t n) {
  return WriteFully(fd_, path_, offset, data, n);
}

// The buffer is emptied also when its write fails: the error goes to the caller, and the file
// is abandoned by its owner (a private file is never half used).
Status File::WriteOut() const {
  if (buf_ == nullptr || buf_->pending_size == 0) return Status::Ok();
  Status st = WriteFully(fd_, path_, buf_->write_at, buf_->pending.get(), buf_->pending_size);
  buf_->pending_size = 0;
  return st;
}

Status File::Truncated(const std::string& path, uint64_t offset, size_t n, size_t got) {
  return Status(kErrCorruptFile, path + ": file is truncated (wanted " + std::to_string(n) +
                                     " bytes at offset " + std::to_string(offset) + ", got " +
                                     std::to_string(got) + ")");
}

Status File::ReadSomeAt(uint64_t offset, void* data, size_t n, size_t* got) const {
  if (buf_ == nullptr) return PhysicalRead(offset, data, n, got);
  Buffers& b = *buf_;
  if (b.pending_size != 0 && offset < b.write_at + b.pending_size && offset + n > b.write_at) {
    ACE_RETURN_IF_ERROR(WriteOut());
  }
  if (b.read_cap == 0 || n == 0 || n > b.read_cap / 2) return PhysicalRead(offset, data, n, got);
  const uint64_t window_end = b.window_at + b.window_size;
  const bool hit = offset >= b.window_at && offset + n <= window_end;
  if (!hit) {
    const uint64_t near = std::max<uint64_t>(4 * n, b.read_cap / 16);
    const bool backward = b.has_last && offset < b.last_at && offset + n + near >= b.last_at;
    const bool forward = b.has_last && offset >= b.last_at && offset <= b.last_end + near;
    b.has_last = true;
    b.last_at = offset;
    b.last_end = offset + n;
    if (!forward && !backward) return PhysicalRead(offset, data, n, got);
    // A backward scan gets the window that ends with this read.
    uint64_t from = offset;
    if (backward) from = offset + n > b.read_cap ? offset + n - b.read_cap : 0;
    if (b.window == nullptr) b.window.reset(new char[b.read_cap]);
    b.window_size = 0;
    size_t filled = 0;
    ACE_RETURN_IF_ERROR(PhysicalRead(from, b.window.get(), b.read_cap, &filled));
    b.window_size = filled;
    b.window_at = from;
  } else {
    b.last_at = offset;
    b.last_end = offset + n;
  }
  const uint64_t end = b.window_at + b.window_size;
  const size_t have = offset >= end ? 0 : static_cast<size_t>(std::min<uint64_t>(n, end - offset));
  if (have > 0) std::memcpy(data, b.window.get() + (offset - b.window_at), have);
  *got = have;
  return Status::Ok();
}

Status File::ReadAt(uint64_t offset, void* data, size_t n) const {
  size_t got = 0;
  ACE_RETURN_IF_ERROR(ReadSomeAt(offset, data, n, &got));
  if (got != n) return Truncated(path_, offset, n, got);
  return Status::Ok();
}

Status File::ReadFreshAt(uint64_t offset, void* data, size_t n) const {
  if (buf_ != nullptr && buf_->pending_size != 0) ACE_RETURN_IF_ERROR(WriteOut());
  size_t got = 0;
  ACE_RETURN_IF_ERROR(PhysicalRead(offset, data, n, &got));
  if (got != n) return Truncated(path_, offset, n, got);
  return Status::Ok();
}

Status File::WriteAt(uint64_t offset, const void* data, size_t n) {
  if (buf_ == nullptr) return PhysicalWrite(offset, data, n);
  Buffers& b = *buf_;
  b.window_size = 0;
  if (b.write_cap == 0) {
    Status st = PhysicalWrite(offset, data, n);
    if (st.ok() && b.is_private) b.size = std::max(b.size, offset + n);
    return st;
  }
  const uint64_t pending_end = b.write_at + b.pending_size;
  // Gathered: the write starts inside the buffered bytes or right after them, or (when the
  // buffer ends the file) a little past them, and it fits.
  const bool behind_end = pending_end >= b.size && offset - pending_end <= kMaxGap;
  const bool joins = b.pending_size != 0 && offset >= b.write_at &&
                     (offset <= pending_end || behind_end) &&
                     offset + n - b.write_at <= b.write_cap;
  if (joins) {
    const size_t at = static_cast<size_t>(offset - b.write_at);
    if (at > b.pending_size) std::memset(b.pending.get() + b.pending_size, 0, at - b.pending_size);
    std::memcpy(b.pending.get() + at, data, n);
    b.pending_size = std::max(b.pending_size, at + n);
  } else {
    ACE_RETURN_IF_ERROR(WriteOut());
    if (n >= b.write_cap) {
      ACE_RETURN_IF_ERROR(PhysicalWrite(offset, data, n));
    } else {
      b.write_at = offset;
      std::memcpy(b.pending.get(), data, n);
      b.pending_size = n;
    }
  }
  b.size = std::max(b.size, offset + n);
  return Status::Ok();
}

Status File::BeginPrivate(size_t write_buffer, size_t read_ahead) {
  ACE_RETURN_IF_ERROR(EndPrivate());
  struct stat st;
  if (::fstat(fd_, &st) != 0) return ErrnoStatus(errno, "stat", path_);
  if (buf_ == nullptr) buf_ = std::make_unique<Buffers>();
  buf_->is_private = true;
  buf_->size = static_cast<uint64_t>(st.st_size);
  buf_->write_cap = write_buffer;
  buf_->pending.reset(write_buffer != 0 ? new char[write_buffer] : nullptr);
  buf_->pending_size = 0;
  buf_->read_cap = read_ahead;
  buf_->window.reset();
  buf_->window_size = 0;
  return Status::Ok();
}

Status File::EndPrivate() {
  if (buf_ == nullptr || !buf_->is_private) return Status::Ok();
  Status st = WriteOut();
  buf_.reset();
  SetReadAhead(shared_read_ahead_);  // the shared window the owner asked for comes back
  return st;
}

void File::SetReadAhead(size_t bytes) {
  shared_read_ahead_ = bytes;
  if (buf_ == nullptr) {
    if (bytes == 0) return;
    buf_ = std::make_unique<Buffers>();
  }
  if (buf_->read_cap != bytes) buf_->window.reset();
  buf_->read_cap = bytes;
  buf_->window_size = 0;
}

void File::DropReadAhead() const {
  if (buf_ != nullptr) buf_->window_size = 0;
}

Status File::Sync() {
  ACE_RETURN_IF_ERROR(WriteOut());
  ACE_RETURN_IF_ERROR(FaultInjector::Check(IoKind::kSync, path_));
  if (::fdatasync(fd_) != 0) return ErrnoStatus(errno, "flush", path_);
  return Status::Ok();
}

Status File::Truncate(uint64_t size) {
  if (buf_ != nullptr) {
    ACE_RETURN_IF_ERROR(WriteOut());
    buf_->window_size = 0;
  }
  ACE_RETURN_IF_ERROR(FaultInjector::Check(IoKind::kWrite, path_));
  ACE_RETURN_IF_ERROR(CheckGrowth(fd_, size, path_));
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return ErrnoStatus(errno, "truncate", path_);
  if (buf_ != nullptr) buf_->size = size;
  return Status::Ok();
}

Result<uint64_t> File::Size() const {
  if (buf_ != nullptr && buf_->is_private) return buf_->size;
  struct stat st;
  if (::fstat(fd_, &st) != 0) return ErrnoStatus(errno, "stat", path_);
  return static_cast<uint64_t>(st.st_size);
}

void File::Close() {
  if (fd_ >= 0) (void)WriteOut();
  buf_.reset();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Status RenameFile(const std::string& from, const std::string& to) {
  std::string f = NormalizePath(from), t = NormalizePath(to);
  ACE_RETURN_IF_ERROR(FaultInjector::Check(IoKind::kRename, f));
  if (::rename(f.c_str(), t.c_str()) != 0) return ErrnoStatus(errno, "rename to " + t, f);
  return Status::Ok();
}

Status RemoveFile(const std::string& path) {
  std::string p = NormalizePath(path);
  ACE_RETURN_IF_ERROR(FaultInjector::Check(IoKind::kRemove, p));
  if (::unlink(p.c_str()) != 0 && errno != ENOENT) return ErrnoStatus(errno, "delete", p);
  return Status::Ok();
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(NormalizePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(NormalizePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Status SyncDirectory(const std::string& dir) {
  std::string d = NormalizePath(dir.empty() ? "." : dir);
  ACE_RETURN_IF_ERROR(FaultInjector::Check(IoKind::kSync, d));
  int fd = ::open(d.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return ErrnoStatus(errno, "open directory", d);
  int rc = ::fsync(fd);
  int err = errno;
  ::close(fd);
  if (rc != 0) return ErrnoStatus(err, "flush directory", d);
  return Status::Ok();
}

std::string NormalizePath(const std::string& path) {
  std::string p = path;
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  return p;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  std::string d = NormalizePath(dir);
  std::string n = NormalizePath(name);
  if (d.empty() || (!n.empty() && n[0] == '/')) return n;
  if (d.back() != '/') d += '/';
  return d + n;
}

}  // namespace ace
