// Crash-safe replacement of a table's files (see replace_files.h).
//
// The journal "<table file>.swap":
//   OFFSET  SIZE  DESCRIPTION
//   0       n     the new data file's path, ended by '\n'
//   n       m     the memo file's path (empty when neither table has one), ended by '\n'
//   n+m     2     '1' when the old table had that memo file, else '0'; then '\n'
#include "engine/storage/replace_files.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"

namespace ace::storage {

namespace {

std::string DirOf(const std::string& path) {
  std::string p = NormalizePath(path);
  size_t slash = p.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : p.substr(0, slash);
}

// A write lock on the journal's first byte while this process replaces the files. Answers
// false when another process holds it (its replacement is in progress).
Result<bool> LockJournal(File& journal) {
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 1;
  if (::fcntl(journal.fd(), F_OFD_SETLK, &lock) == 0) return true;
  if (errno == EAGAIN || errno == EACCES) return false;
  return Status(kErrIo, journal.path() + ": cannot lock: " + std::strerror(errno));
}

Status WriteJournal(File& journal, const std::string& new_data, const std::string& memo_path) {
  const bool had_memo = !memo_path.empty() && FileExists(memo_path);
  const std::string text = new_data + "\n" + memo_path + "\n" + (had_memo ? "1" : "0") + "\n";
  ACE_RETURN_IF_ERROR(journal.WriteAt(0, text.data(), text.size()));
  return journal.Sync();
}

// Steps 2 and 3; on failure the old pair is back in place.
Status SwapPair(const std::string& path, const std::string& memo_path, const std::string& new_data,
                const std::string& new_memo) {
  const std::string parked = memo_path.empty() ? std::string() : memo_path + ".old";
  if (!parked.empty() && FileExists(memo_path)) {
    ACE_RETURN_IF_ERROR(RemoveFile(parked));
    ACE_RETURN_IF_ERROR(RenameFile(memo_path, parked));
  }
  Status st;
  if (!new_memo.empty()) st = RenameFile(new_memo, memo_path);
  if (st.ok()) {
    st = RenameFile(new_data, path);
    if (!st.ok() && !new_memo.empty()) (void)RenameFile(memo_path, new_memo);
  }
  if (!st.ok() && !parked.empty() && FileExists(parked)) (void)RenameFile(parked, memo_path);
  return st;
}

}  // namespace

std::string SwapJournalPath(const std::string& path) {
  return NormalizePath(path) + ".swap";
}

Status ReplaceTableFiles(const std::string& path, const std::string& memo_path,
                         const std::string& new_data, const std::string& new_memo) {
  const std::string journal_path = SwapJournalPath(path);
  const std::string dir = DirOf(path);
  auto journal = File::Open(journal_path, OpenMode::kCreateTruncate);
  if (!journal.ok()) return journal.status();
  auto locked = LockJournal(journal.value());
  Status st = locked.ok() ? Status::Ok() : locked.status();
  if (st.ok() && !locked.value()) {
    st = Status(kErrTableInUse, path + ": the table's files are being replaced by another user");
  }
  if (st.ok()) st = WriteJournal(journal.value(), new_data, memo_path);
  if (st.ok()) st = SyncDirectory(dir);
  if (st.ok()) st = SwapPair(path, memo_path, new_data, new_memo);
  if (!st.ok()) {
    journal->Close();
    (void)RemoveFile(journal_path);
    return st;
  }
  // The change stands from here on; what is left undone the next open finishes.
  if (!memo_path.empty()) {
    if (new_memo.empty()) {
      (void)RemoveFile(memo_path);
    }
    (void)RemoveFile(memo_path + ".old");
  }
  (void)RemoveFile(journal_path);
  journal->Close();
  (void)SyncDirectory(dir);
  return Status::Ok();
}

Status RecoverTableFiles(const std::string& path) {
  const std::string journal_path = SwapJournalPath(path);
  if (!FileExists(journal_path)) return Status::Ok();
  auto journal = File::Open(journal_path, OpenMode::kReadWrite);
  // A journal this user cannot open for writing is left to one who can.
  if (!journal.ok()) return Status::Ok();
  auto locked = LockJournal(journal.value());
  if (!locked.ok()) return locked.status();
  if (!locked.value()) return Status::Ok();  // a replacement in progress
  auto size = journal->Size();
  if (!size.ok()) return size.status();
  std::vector<char> text(static_cast<size_t>(std::min<uint64_t>(size.value(), 8192)));
  if (!text.empty()) ACE_RETURN_IF_ERROR(journal->ReadAt(0, text.data(), text.size()));
  std::string all(text.begin(), text.end());
  size_t first = all.find('\n');
  size_t second = first == std::string::npos ? std::string::npos : all.find('\n', first + 1);
  if (second == std::string::npos || all.size() < second + 3 || all[second + 2] != '\n') {
    // The journal was not complete, so no file had been renamed yet.
    journal->Close();
    return RemoveFile(journal_path);
  }
  const std::string new_data = all.substr(0, first);
  const std::string memo_path = all.substr(first + 1, second - first - 1);
  const bool had_memo = all[second + 1] == '1';
  const std::string parked = memo_path.empty() ? std::string() : memo_path + ".old";
  if (FileExists(new_data)) {
    // The data file was not replaced: the old memo file goes back (over a new one already in
    // its place), a new memo file of a table that had none goes, and so does the new data.
    if (!parked.empty() && FileExists(parked)) {
      ACE_RETURN_IF_ERROR(RenameFile(parked, memo_path));
    } else if (!had_memo && !memo_path.empty()) {
      ACE_RETURN_IF_ERROR(RemoveFile(memo_path));
    }
    ACE_RETURN_IF_ERROR(RemoveFile(new_data));
  } else if (!parked.empty()) {
    ACE_RETURN_IF_ERROR(RemoveFile(parked));
  }
  ACE_RETURN_IF_ERROR(SyncDirectory(DirOf(path)));
  journal->Close();
  return RemoveFile(journal_path);
}

}  // namespace ace::storage
