// POSIX implementation of the engine's file layer, with the fault-injection counters.
#include "engine/base/file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

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

File::File(File&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
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

Status File::ReadSomeAt(uint64_t offset, void* data, size_t n, size_t* got) const {
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

Status File::ReadAt(uint64_t offset, void* data, size_t n) const {
  size_t got = 0;
  ACE_RETURN_IF_ERROR(ReadSomeAt(offset, data, n, &got));
  if (got != n) {
    return Status(kErrCorruptFile, path_ + ": file is truncated (wanted " + std::to_string(n) +
                                       " bytes at offset " + std::to_string(offset) + ", got " +
                                       std::to_string(got) + ")");
  }
  return Status::Ok();
}

Status File::WriteAt(uint64_t offset, const void* data, size_t n) {
  ACE_RETURN_IF_ERROR(FaultInjector::Check(IoKind::kWrite, path_));
  ACE_RETURN_IF_ERROR(CheckGrowth(fd_, offset + n, path_));
  size_t done = 0;
  const auto* p = static_cast<const char*>(data);
  while (done < n) {
    ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return ErrnoStatus(errno, "write", path_);
    }
    if (r == 0) return Status(kErrDiskFull, path_ + ": write failed: no space left");
    done += static_cast<size_t>(r);
  }
  return Status::Ok();
}

Status File::Sync() {
  ACE_RETURN_IF_ERROR(FaultInjector::Check(IoKind::kSync, path_));
  if (::fdatasync(fd_) != 0) return ErrnoStatus(errno, "flush", path_);
  return Status::Ok();
}

Status File::Truncate(uint64_t size) {
  ACE_RETURN_IF_ERROR(FaultInjector::Check(IoKind::kWrite, path_));
  ACE_RETURN_IF_ERROR(CheckGrowth(fd_, size, path_));
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return ErrnoStatus(errno, "truncate", path_);
  return Status::Ok();
}

Result<uint64_t> File::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return ErrnoStatus(errno, "stat", path_);
  return static_cast<uint64_t>(st.st_size);
}

void File::Close() {
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
