// The index files of one table file of a connection (see table_indexes.h).
#include "engine/cursor/table_indexes.h"

#include <algorithm>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/cursor/connection.h"

namespace ace::cursor {

std::string TableIndexes::StructuralPath(const std::string& table_path, storage::TableType type) {
  const char* lower = nullptr;
  const char* upper = nullptr;
  switch (type) {
    case storage::TableType::kCdx:
    case storage::TableType::kVfp:
      lower = ".cdx", upper = ".CDX";
      break;
    case storage::TableType::kAdt:
      lower = ".adi", upper = ".ADI";
      break;
    default:
      return "";
  }
  std::string base = table_path;
  size_t slash = base.find_last_of('/');
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
  for (const char* ext : {lower, upper})
    if (FileExists(base + ext)) return base + ext;
  return "";
}

TableIndexes::Entry* TableIndexes::Find(const std::string& key) {
  for (Entry& e : files_)
    if (e.key == key) return &e;
  return nullptr;
}

Result<std::unique_ptr<index::IndexFile>> TableIndexes::OpenFile(const std::string& path) {
  Result<std::unique_ptr<index::IndexFile>> file =
      index::IndexFile::Open(path, table_, read_only_, /*allow_stale=*/!read_only_);
  if (!file.ok()) return file.status();
  if ((*file)->stale()) {
    // Written for another state of the table (a program that does not know the index changed
    // the table): rebuilt from the records before anything uses it.
    Status rebuilt = (*file)->Reindex();
    if (!rebuilt.ok())
      return rebuilt.WithContext(path +
                                 ": the index no longer matches its table and could not "
                                 "be rebuilt");
  }
  return file;
}

Result<index::IndexFile*> TableIndexes::Open(const std::string& path, bool* already_open) {
  const std::string key = CanonicalPath(path);
  if (Entry* e = Find(key)) {
    ++e->users;
    *already_open = true;
    return e->file.get();
  }
  *already_open = false;
  Result<std::unique_ptr<index::IndexFile>> file = OpenFile(path);
  if (!file.ok()) return file.status();
  files_.push_back(Entry{std::move(*file), key, 1});
  return files_.back().file.get();
}

Result<index::IndexFile*> TableIndexes::Create(const std::string& path,
                                               const index::TagDefinition& def, uint32_t page_size,
                                               bool* already_open) {
  if (read_only_)
    return Status(kErrTableReadOnly, path +
                                         ": an index cannot be created on a table open "
                                         "read-only");
  const std::string key = CanonicalPath(path);
  Entry* open = Find(key);
  *already_open = open != nullptr;
  index::CreateIndexOptions options;
  options.page_size = page_size;
  if (open != nullptr) {
    // Rebuild the open file with the new tag: its Tag objects stay valid for their users. The
    // pages of an open file keep their size (its users read them so), and the new tag has it.
    options.page_size = open->file->page_size();
    Result<std::unique_ptr<index::IndexFile>> fresh =
        index::IndexFile::Create(path, table_, {def}, options);
    if (!fresh.ok()) return fresh.status();
    ACE_RETURN_IF_ERROR(open->file->Refresh());
    ++open->users;
    return open->file.get();
  }
  Result<std::unique_ptr<index::IndexFile>> fresh =
      index::IndexFile::Create(path, table_, {def}, options);
  if (!fresh.ok()) return fresh.status();
  files_.push_back(Entry{std::move(*fresh), CanonicalPath(path), 1});
  return files_.back().file.get();
}

void TableIndexes::Release(index::IndexFile* file) {
  for (auto it = files_.begin(); it != files_.end(); ++it) {
    if (it->file.get() != file) continue;
    if (--it->users <= 0) files_.erase(it);
    return;
  }
}

Status TableIndexes::CloseAndDelete(index::IndexFile* file) {
  for (auto it = files_.begin(); it != files_.end(); ++it) {
    if (it->file.get() != file) continue;
    std::string path = file->path();
    files_.erase(it);
    return RemoveFile(path);
  }
  return Status(kErrInternal, "the index file is not open on this table");
}

std::vector<index::IndexFile*> TableIndexes::files() const {
  std::vector<index::IndexFile*> out;
  for (const Entry& e : files_) out.push_back(e.file.get());
  return out;
}

index::IndexFile* TableIndexes::FileOf(const index::Tag* tag) const {
  for (const Entry& e : files_)
    for (size_t i = 0; i < e.file->tag_count(); ++i)
      if (&e.file->tag(i) == tag) return e.file.get();
  return nullptr;
}

Status TableIndexes::Refresh() {
  // A file whose rebuild failed after its table was rewritten is never read as it is: it is
  // rebuilt now, or the use is refused.
  for (Entry& e : files_) {
    if (!e.file->stale()) continue;
    Status rebuilt = e.file->Reindex();
    if (!rebuilt.ok())
      return Status(kErrStaleIndex, e.file->path() +
                                        ": the index does not match its table and could not be "
                                        "rebuilt (" +
                                        rebuilt.message() + ")");
  }
  if (exclusive_) return Status::Ok();
  for (Entry& e : files_) ACE_RETURN_IF_ERROR(e.file->Refresh());
  return Status::Ok();
}

TableIndexes& TableIndexes::Of(SharedTable& table) {
  if (table.indexes == nullptr)
    table.indexes =
        std::make_unique<TableIndexes>(table.file.get(), table.read_only, table.locks->exclusive());
  return *table.indexes;
}

Status TableIndexes::LockAll() {
  if (exclusive_) return Status::Ok();
  for (size_t i = 0; i < files_.size(); ++i) {
    Status locked = files_[i].file->LockForUpdate();
    if (!locked.ok()) {
      for (size_t j = 0; j < i; ++j) files_[j].file->UnlockForUpdate();
      return locked;
    }
  }
  locked_ = true;
  return Status::Ok();
}

Status TableIndexes::BeginWrite(uint32_t recno, const std::byte* old_image,
                                const std::byte* new_image) {
  if (files_.empty() || in_batch_) return Status::Ok();
  ACE_RETURN_IF_ERROR(LockAll());
  Status s = Refresh();
  std::vector<index::IndexFile*> all = files();
  if (s.ok()) s = index::CheckCandidates(all, *table_, recno, old_image, new_image);
  if (!s.ok()) EndWrite();
  return s;
}

Status TableIndexes::AfterWrite(uint32_t recno, const std::byte* old_image,
                                const std::byte* new_image) {
  if (in_batch_) return BatchWrite(recno, old_image, new_image);
  if (files_.empty()) return Status::Ok();
  std::vector<index::IndexFile*> all = files();
  return index::UpdateIndexes(all, *table_, recno, old_image, new_image);
}

void TableIndexes::EndWrite() {
  if (!locked_ || in_batch_) return;
  for (Entry& e : files_) e.file->UnlockForUpdate();
  locked_ = false;
}

Status TableIndexes::BeginBatch() {
  if (in_batch_) return Status(kErrInternal, "a batch of index writes is running already");
  ACE_RETURN_IF_ERROR(LockAll());
  Status s = Refresh();
  if (!s.ok()) {
    EndWrite();
    return s;
  }
  in_batch_ = true;
  batch_files_ = files();
  batch_.clear();
  return Status::Ok();
}

Status TableIndexes::CheckBatchWrite(uint32_t recno, const std::byte* old_image,
                                     const std::byte* new_image) {
  if (batch_files_.empty()) return Status::Ok();
  return index::CheckCandidates(batch_files_, *table_, recno, old_image, new_image);
}

Status TableIndexes::BatchWrite(uint32_t recno, const std::byte* old_image,
                                const std::byte* new_image) {
  if (batch_files_.empty()) return Status::Ok();
  BatchEntry entry;
  entry.recno = recno;
  entry.after.assign(new_image, new_image + table_->record_length());
  batch_.push_back(std::move(entry));
  ACE_RETURN_IF_ERROR(index::UpdateIndexes(batch_files_, *table_, recno, old_image, new_image));
  batch_.back().complete = true;
  return Status::Ok();
}

void TableIndexes::CommitBatch() {
  in_batch_ = false;
  batch_files_.clear();
  batch_.clear();
  EndWrite();
}

Status TableIndexes::RollbackBatch() {
  Status result;
  bool rebuild = false;
  std::vector<std::byte> now(table_->record_length());
  for (auto it = batch_.rbegin(); it != batch_.rend() && !rebuild; ++it) {
    Status s = it->complete ? table_->ReadRecord(it->recno, now.data())
                            : Status(kErrInternal, "a write reached the indexes only in part");
    if (s.ok())
      s = index::UpdateIndexes(batch_files_, *table_, it->recno, it->after.data(), now.data());
    rebuild = !s.ok();
  }
  if (rebuild) {
    // The trees no longer tell which keys the batch left: every file is built anew from the
    // records, which hold their old values again.
    for (index::IndexFile* file : batch_files_) {
      Status s = file->Reindex();
      if (!s.ok() && result.ok()) result = s.WithContext(file->path() + ": not rebuilt");
    }
  }
  in_batch_ = false;
  batch_files_.clear();
  batch_.clear();
  EndWrite();
  return result;
}

Status TableIndexes::ReindexAll() {
  // The table was rewritten already: a file that cannot be rebuilt must not be used as it is.
  Status first;
  for (Entry& e : files_) {
    Status s = e.file->Reindex();
    if (s.ok()) continue;
    (void)e.file->MarkStale();
    if (first.ok()) first = s.WithContext(e.file->path() + ": not rebuilt after the table changed");
  }
  return first;
}

Status TableIndexes::ZapAll() {
  Status first;
  for (Entry& e : files_) {
    Status s = e.file->Zap();
    if (s.ok()) continue;
    (void)e.file->MarkStale();
    if (first.ok()) first = s.WithContext(e.file->path() + ": not emptied with the table");
  }
  return first;
}

}  // namespace ace::cursor
