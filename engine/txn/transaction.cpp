// The transaction manager of a connection and the recovery of crashed transactions (see
// transaction.h).
#include "engine/txn/transaction.h"

#include <dirent.h>
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/base/error_codes.h"
#include "engine/index/index_file.h"
#include "engine/txn/journal.h"

namespace ace::txn {
namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool TryLockOwner(int fd) {
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_len = 1;
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// The journals beside a table file: "<file name>.<owner>.tjl".
std::vector<std::string> JournalsOf(const std::string& table_path) {
  std::vector<std::string> found;
  const size_t slash = table_path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : table_path.substr(0, slash);
  const std::string prefix =
      (slash == std::string::npos ? table_path : table_path.substr(slash + 1)) + ".";
  DIR* d = opendir(dir.empty() ? "/" : dir.c_str());
  if (d == nullptr) return found;
  const std::string ext = kJournalExtension;
  while (dirent* entry = readdir(d)) {
    const std::string name = entry->d_name;
    if (name.size() > prefix.size() + ext.size() && name.compare(0, prefix.size(), prefix) == 0 &&
        name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
      found.push_back(JoinPath(dir, name));
  }
  closedir(d);
  std::sort(found.begin(), found.end());
  return found;
}

// Rebuilds an index file after a crash's undo; a missing or unreadable one is left to the
// next open, which rebuilds stale files or refuses them.
Status RebuildIndex(const std::string& path, storage::TableFile& raw) {
  if (!FileExists(path)) return Status::Ok();
  auto file = index::IndexFile::Open(path, &raw, /*read_only=*/false, /*allow_stale=*/true);
  if (!file.ok()) return Status::Ok();
  ACE_RETURN_IF_ERROR(file.value()->Reindex());
  return file.value()->Flush();
}

Status RecoverJournal(const std::string& path, cursor::SharedTable& table, storage::TableFile& raw,
                      bool* recovered) {
  *recovered = false;
  auto file = File::Open(path, OpenMode::kReadWrite);
  if (!file.ok()) {
    // Removed meanwhile by its owner's end.
    if (file.status().code() == kErrFileNotFound) return Status::Ok();
    return file.status();
  }
  if (!TryLockOwner(file.value().fd())) return Status::Ok();  // its transaction is alive
  if (table.read_only) {
    return Status(kErrTransaction,
                  raw.path() + ": a transaction that did not end left the journal " + path +
                      "; open the table once for writing so that it is rolled back");
  }
  auto entries = ReadJournal(file.value(), raw.record_length());
  if (!entries.ok()) return entries.status();
  // An append the crash cut off from its journal entry is taken back first (it came last).
  auto interrupted = FindInterruptedAppend(raw, entries.value());
  if (!interrupted.ok()) return interrupted.status().WithContext("rolling back " + path);
  if (interrupted.value() != 0) {
    JournalEntry appended;
    appended.kind = EntryKind::kAppended;
    appended.recno = interrupted.value();
    entries.value().push_back(std::move(appended));
  }
  std::set<std::string> indexes;
  for (auto it = entries.value().rbegin(); it != entries.value().rend(); ++it) {
    if (it->kind == EntryKind::kIndexFile) {
      indexes.insert(
          std::string(reinterpret_cast<const char*>(it->payload.data()), it->payload.size()));
      continue;
    }
    ACE_RETURN_IF_ERROR(UndoEntry(raw, nullptr, *it).WithContext("rolling back " + path));
  }
  ACE_RETURN_IF_ERROR(raw.Flush());
  const std::string structural = cursor::TableIndexes::StructuralPath(raw.path(), raw.type());
  if (!structural.empty()) indexes.insert(structural);
  for (const std::string& ix : indexes) ACE_RETURN_IF_ERROR(RebuildIndex(ix, raw));
  ACE_RETURN_IF_ERROR(RemoveFile(path));
  *recovered = true;
  return Status::Ok();
}

Result<int> Recover(cursor::SharedTable& table, storage::TableFile& raw) {
  int count = 0;
  for (const std::string& path : JournalsOf(raw.path())) {
    bool recovered = false;
    ACE_RETURN_IF_ERROR(RecoverJournal(path, table, raw, &recovered));
    if (recovered) ++count;
  }
  return count;
}

}  // namespace

Result<int> RecoverTable(const std::shared_ptr<cursor::SharedTable>& table) {
  auto* wrapped = dynamic_cast<JournaledTable*>(table->file.get());
  return Recover(*table, wrapped != nullptr ? wrapped->inner() : *table->file);
}

TransactionManager::TransactionManager(cursor::Connection& connection)
    : state_(std::make_shared<TransactionState>()) {
  std::weak_ptr<TransactionState> weak = state_;
  connection.set_table_open_hook([weak](const std::shared_ptr<cursor::SharedTable>& table) {
    auto recovered = Recover(*table, *table->file);
    if (!recovered.ok()) return recovered.status();
    table->file = std::make_unique<JournaledTable>(std::move(table->file), weak, table);
    return Status::Ok();
  });
  connection.set_transaction_probe([weak] {
    std::shared_ptr<TransactionState> state = weak.lock();
    return state != nullptr && state->active;
  });
}

TransactionManager::~TransactionManager() {
  if (state_->active) {
    Status s = state_->UndoTo(0);
    (void)state_->Finish(!s.ok());
  }
}

bool TransactionManager::active() const {
  return state_->active;
}

Status TransactionManager::Begin() {
  if (state_->active)
    return Status(kErrTransaction, "a transaction is active already on this connection");
  state_->active = true;
  return Status::Ok();
}

Status TransactionManager::Commit() {
  if (!state_->active) return Status(kErrTransaction, "there is no active transaction to commit");
  return state_->Finish(false, /*committed=*/true);
}

Status TransactionManager::Rollback() {
  if (!state_->active)
    return Status(kErrTransaction, "there is no active transaction to roll back");
  Status s = state_->UndoTo(0);
  Status f = state_->Finish(!s.ok());
  return s.ok() ? f : s;
}

Status TransactionManager::CreateSavepoint(std::string_view name) {
  if (!state_->active) return Status(kErrTransaction, "a savepoint needs an active transaction");
  if (name.empty()) return Status(kErrInvalidArgument, "the savepoint name is empty");
  auto& points = state_->savepoints;
  points.erase(std::remove_if(points.begin(), points.end(),
                              [&](const auto& p) { return SameNoCase(p.name, name); }),
               points.end());
  points.push_back({std::string(name), state_->steps.size()});
  state_->imaged.clear();
  return Status::Ok();
}

Status TransactionManager::RollbackTo(std::string_view name) {
  if (!state_->active)
    return Status(kErrTransaction, "there is no active transaction to roll back");
  auto& points = state_->savepoints;
  auto it = std::find_if(points.begin(), points.end(),
                         [&](const auto& p) { return SameNoCase(p.name, name); });
  if (it == points.end())
    return Status(kErrTransaction, "there is no savepoint named \"" + std::string(name) + "\"");
  const size_t position = it->position;
  points.erase(it + 1, points.end());
  Status s = state_->UndoTo(position);
  // Records written again after this point need fresh before-images.
  state_->imaged.clear();
  return s;
}

}  // namespace ace::txn
