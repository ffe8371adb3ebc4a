// The cursor's index files, index orders, scopes, seeks, key counts and filter (see cursor.h),
// and the writes that carry every record change into the open indexes.
//
// Walking an order: the current place in a tag is found again from the current record (its key
// and record number form the tree entry), so a move after any write, by this or another
// cursor, starts from where the record is now. Scopes are key prefixes in walking order: an
// entry lies within them when its first bytes are at or after the top scope and at or before
// the bottom scope.
#include <algorithm>
#include <cstring>

#include "engine/base/callbacks.h"
#include "engine/base/error_codes.h"
#include "engine/cursor/cursor.h"
#include "engine/expr/key_encoding.h"

namespace ace::cursor {
namespace {

std::string EntryOf(const std::string& key, uint32_t recno) {
  std::string entry = key;
  for (int shift = 24; shift >= 0; shift -= 8) entry.push_back(static_cast<char>(recno >> shift));
  return entry;
}

}  // namespace

TableIndexes& Cursor::indexes() {
  return TableIndexes::Of(*table_);
}

Status Cursor::OpenIndexes() {
  if (indexes_opened_) return Status::Ok();
  indexes_opened_ = true;
  std::string structural = TableIndexes::StructuralPath(path(), table_->file->type());
  if (structural.empty()) return Status::Ok();
  bool already = false;
  Result<index::IndexFile*> file = indexes().Open(structural, &already);
  if (!file.ok()) {
    indexes_opened_ = false;  // tried again at the next use, the table stays usable for reading
    return file.status();
  }
  my_files_.insert(my_files_.begin(), *file);
  return Status::Ok();
}

Status Cursor::RefreshIndexes() {
  ACE_RETURN_IF_ERROR(OpenIndexes());
  if (table_->indexes == nullptr) return Status::Ok();
  return table_->indexes->Refresh();
}

bool Cursor::OrderUsable() const {
  return order_ != nullptr && order_->present();
}

Result<std::vector<index::Tag*>> Cursor::OpenIndexFile(const std::string& file_path) {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(OpenIndexes());
  const std::string key = CanonicalPath(file_path);
  for (index::IndexFile* f : my_files_)
    if (CanonicalPath(f->path()) == key)
      return Status(kErrIndexAlreadyOpen, file_path + ": the index file is open already");
  Result<index::IndexKind> kind = index::IndexKindOfPath(file_path);
  if (!kind.ok()) return kind.status();
  bool already = false;
  Result<index::IndexFile*> file = indexes().Open(file_path, &already);
  if (!file.ok()) return file.status();
  my_files_.push_back(*file);
  std::vector<index::Tag*> tags;
  for (size_t i = 0; i < (*file)->tag_count(); ++i) tags.push_back(&(*file)->tag(i));
  return tags;
}

Result<index::Tag*> Cursor::CreateIndex(const std::string& file_path,
                                        const index::TagDefinition& def, uint32_t page_size) {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(EnsureWritable());
  ACE_RETURN_IF_ERROR(RefreshIndexes());
  ACE_RETURN_IF_ERROR(RefreshCount());
  bool already = false;
  Result<index::IndexFile*> file = indexes().Create(file_path, def, page_size, &already);
  if (!file.ok()) return file.status();
  if (std::find(my_files_.begin(), my_files_.end(), *file) == my_files_.end()) {
    my_files_.push_back(*file);
  } else {
    indexes().Release(*file);  // this cursor counts once per file
  }
  index::Tag* tag =
      (*file)->kind() == index::IndexKind::kSingle ? &(*file)->tag(0) : (*file)->FindTag(def.name);
  if (tag == nullptr) return Status(kErrInternal, file_path + ": the new tag is missing");
  return tag;
}

Status Cursor::CloseIndexFile(index::IndexFile* file) {
  auto it = std::find(my_files_.begin(), my_files_.end(), file);
  if (it == my_files_.end())
    return Status(kErrInvalidArgument, "the index file is not open on this table");
  ACE_RETURN_IF_ERROR(FlushPending());
  for (size_t i = 0; i < file->tag_count(); ++i) {
    index::Tag* tag = &file->tag(i);
    if (order_ == tag) order_ = nullptr;
    scopes_.erase(tag);
  }
  my_files_.erase(it);
  indexes().Release(file);
  return Status::Ok();
}

Status Cursor::CloseAllIndexes() {
  Status first;
  while (!my_files_.empty()) {
    Status s = CloseIndexFile(my_files_.back());
    if (!s.ok() && first.ok()) first = s;
    if (!s.ok()) {
      indexes().Release(my_files_.back());
      my_files_.pop_back();
    }
  }
  order_ = nullptr;
  scopes_.clear();
  return first;
}

Status Cursor::DeleteIndex(index::Tag* tag) {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(EnsureWritable());
  index::IndexFile* file = FileOf(tag);
  if (file == nullptr) return Status(kErrInvalidArgument, "the index is not open on this table");
  if (order_ == tag) order_ = nullptr;
  scopes_.erase(tag);
  if (file->tag_count() > 1) return file->DeleteTag(tag->name());
  my_files_.erase(std::remove(my_files_.begin(), my_files_.end(), file), my_files_.end());
  return indexes().CloseAndDelete(file);
}

Status Cursor::Reindex() {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(EnsureWritable());
  ACE_RETURN_IF_ERROR(RefreshIndexes());
  ACE_RETURN_IF_ERROR(RefreshCount());
  // Each file is rebuilt beside itself and swapped in; a stop leaves the ones not yet rebuilt.
  Progress progress(my_files_.size());
  for (size_t i = 0; i < my_files_.size(); ++i) {
    progress.Share(i, i + 1);
    ACE_RETURN_IF_ERROR(my_files_[i]->Reindex());
  }
  return Status::Ok();
}

std::vector<index::Tag*> Cursor::Tags() const {
  std::vector<index::Tag*> tags;
  for (index::IndexFile* f : my_files_)
    for (size_t i = 0; i < f->tag_count(); ++i) tags.push_back(&f->tag(i));
  return tags;
}

index::IndexFile* Cursor::FileOf(const index::Tag* tag) const {
  for (index::IndexFile* f : my_files_)
    for (size_t i = 0; i < f->tag_count(); ++i)
      if (&f->tag(i) == tag) return f;
  return nullptr;
}

// ---- Scopes ----------------------------------------------------------------------------------

Status Cursor::SetScope(index::Tag* tag, uint16_t which, std::string encoded) {
  if (which != 1 && which != 2)
    return Status(kErrInvalidArgument,
                  "scope " + std::to_string(which) + ": 1 (top) or 2 (bottom) is expected");
  Scopes& s = scopes_[tag];
  (which == 1 ? s.top : s.bottom) = std::move(encoded);
  return Status::Ok();
}

const std::string* Cursor::Scope(const index::Tag* tag, uint16_t which) const {
  auto it = scopes_.find(tag);
  if (it == scopes_.end()) return nullptr;
  const std::optional<std::string>& s = which == 1 ? it->second.top : it->second.bottom;
  return s ? &*s : nullptr;
}

Status Cursor::ClearScope(index::Tag* tag, uint16_t which) {
  auto it = scopes_.find(tag);
  std::optional<std::string>* s = nullptr;
  if (it != scopes_.end()) s = which == 1 ? &it->second.top : &it->second.bottom;
  if (s == nullptr || !s->has_value())
    return Status(kErrNoScope, "the index " + tag->name() + " has no " +
                                   (which == 1 ? "top" : "bottom") + " scope");
  s->reset();
  if (!it->second.top && !it->second.bottom) scopes_.erase(it);
  return Status::Ok();
}

void Cursor::ClearAllScopes() {
  scopes_.clear();
}

int Cursor::ScopeSide(const index::Tag* tag, std::string_view stored_key) const {
  auto it = scopes_.find(tag);
  if (it == scopes_.end()) return 0;
  // Walking order is the stored bytes' order; for descending tags the walk starts at the top
  // scope's inverted bytes as well.
  if (it->second.top) {
    std::string top = tag->ToIndexOrder(*it->second.top);
    if (stored_key.substr(0, top.size()) < std::string_view(top)) return -1;
  }
  if (it->second.bottom) {
    std::string bottom = tag->ToIndexOrder(*it->second.bottom);
    if (stored_key.substr(0, bottom.size()) > std::string_view(bottom)) return 1;
  }
  return 0;
}

// ---- Walking ---------------------------------------------------------------------------------

Result<Cursor::OrderHit> Cursor::FindInOrder(index::TreePosition pos, int step,
                                             std::vector<std::byte>* image) {
  index::BTree& tree = order_->tree();
  const uint32_t count = table_->file->record_count();
  while (pos.valid()) {
    Result<index::TreeEntry> entry = tree.EntryAt(pos);
    if (!entry.ok()) return entry.status();
    int side = ScopeSide(order_, entry->key);
    if ((step > 0 && side > 0) || (step < 0 && side < 0)) break;
    if (side == 0) {
      if (entry->recno == 0 || entry->recno > count)
        return Status(kErrCorruptFile, order_->tree().name() + ": the index names record " +
                                           std::to_string(entry->recno) + " of " +
                                           std::to_string(count) + "; rebuild the index");
      ACE_RETURN_IF_ERROR(ReadRecord(entry->recno, image));
      Result<bool> visible = Visible(entry->recno, *image);
      if (!visible.ok()) return visible.status();
      if (*visible) return OrderHit{entry->recno, pos};
    }
    Result<index::TreePosition> next = step > 0 ? tree.Next(pos) : tree.Prior(pos);
    if (!next.ok()) return next.status();
    pos = *next;
  }
  return OrderHit{};
}

Result<index::TreePosition> Cursor::OrderStart(int step) {
  index::BTree& tree = order_->tree();
  if (step > 0) {
    const std::string* top = Scope(order_, 1);
    return top ? tree.SeekFirstAtLeast(order_->ToIndexOrder(*top)) : tree.First();
  }
  const std::string* bottom = Scope(order_, 2);
  return bottom ? tree.SeekLastAtMost(order_->ToIndexOrder(*bottom)) : tree.Last();
}

// The first position to look at when moving step from the current record.
Result<index::TreePosition> Cursor::OrderAfterCurrent(int step) {
  index::BTree& tree = order_->tree();
  index::TableRecordSource source(table_->file.get());
  source.SetRecord(recno_, record_.data());
  Result<std::string> key = order_->RawKeyOf(source);
  if (!key.ok()) return key.status();
  Result<index::TreePosition> here = tree.Find(*key, recno_);
  if (!here.ok()) return here.status();
  if (here->valid()) return step > 0 ? tree.Next(*here) : tree.Prior(*here);
  // The record has no entry (its FOR condition excludes it): its neighbours by key.
  std::string entry = EntryOf(*key, recno_);
  return step > 0 ? tree.SeekFirstAtLeast(entry) : tree.SeekLastAtMost(entry);
}

// ---- Walks while other users write -----------------------------------------------------------
//
// A walk reads index pages without a lock (a writer holds the file's update lock only while it
// changes the trees), so it can meet a page another user is writing at that moment and find it
// damaged. That is told apart from real damage by walking once more under the lock for reading,
// which waits for the writer to finish: only a tree that is still damaged then is reported.

namespace {

const Status& StatusOf(const Status& s) {
  return s;
}
template <typename T>
const Status& StatusOf(const Result<T>& r) {
  return r.status();
}

}  // namespace

template <typename Walk>
auto Cursor::WalkingUnderWrites(index::Tag* tag, Walk&& walk) -> decltype(walk()) {
  auto first = walk();
  if (first.ok() || StatusOf(first).code() != kErrCorruptFile || tag == nullptr) return first;
  index::IndexFile* file = FileOf(tag);
  if (file == nullptr || file->holds_update_lock()) return first;  // nobody else writes now
  if (!file->LockForReading().ok()) return first;
  auto again = walk();
  file->UnlockForReading();
  return again;
}

Result<uint32_t> Cursor::FindFirst(int step, std::vector<std::byte>* image) {
  if (!OrderUsable()) return FindFirstOnce(step, image);
  return WalkingUnderWrites(order_, [&] { return FindFirstOnce(step, image); });
}

Status Cursor::SkipInOrder(int32_t count) {
  return WalkingUnderWrites(order_, [&] { return SkipInOrderOnce(count); });
}

Result<bool> Cursor::Seek(index::Tag* tag, std::string_view encoded, bool exact) {
  return WalkingUnderWrites(tag, [&] { return SeekOnce(tag, encoded, exact); });
}

Result<bool> Cursor::SeekLast(index::Tag* tag, std::string_view encoded) {
  return WalkingUnderWrites(tag, [&] { return SeekLastOnce(tag, encoded); });
}

Result<uint32_t> Cursor::KeyCount(index::Tag* tag, uint16_t option) {
  return WalkingUnderWrites(tag, [&] { return KeyCountOnce(tag, option); });
}

Result<uint32_t> Cursor::KeyNumber(index::Tag* tag, uint16_t option) {
  return WalkingUnderWrites(tag, [&] { return KeyNumberOnce(tag, option); });
}

Result<uint32_t> Cursor::FindFirstOnce(int step, std::vector<std::byte>* image) {
  ACE_RETURN_IF_ERROR(RefreshIndexes());
  if (!OrderUsable()) return Find(step > 0 ? 1 : table_->file->record_count(), step, image);
  Result<index::TreePosition> start = OrderStart(step);
  if (!start.ok()) return start.status();
  Result<OrderHit> hit = FindInOrder(*start, step, image);
  if (!hit.ok()) return hit.status();
  return hit->recno;
}

Status Cursor::SkipInOrderOnce(int32_t count) {
  ACE_RETURN_IF_ERROR(RefreshIndexes());
  const int step = count > 0 ? 1 : -1;
  index::TreePosition pos;
  if (recno_ == 0) {
    if ((step > 0 && eof_) || (step < 0 && bof_ && !eof_)) return Status::Ok();
    Result<index::TreePosition> start = OrderStart(step);
    if (!start.ok()) return start.status();
    pos = *start;
  } else {
    Result<index::TreePosition> after = OrderAfterCurrent(step);
    if (!after.ok()) return after.status();
    pos = *after;
  }
  std::vector<std::byte> image;
  OrderHit hit;
  for (int64_t left = std::llabs(static_cast<int64_t>(count)); left > 0; --left) {
    Result<OrderHit> found = FindInOrder(pos, step, &image);
    if (!found.ok()) return found.status();
    if (found->recno == 0) return step > 0 ? GotoEof() : GotoBof();
    hit = *found;
    if (left > 1) {
      Result<index::TreePosition> next =
          step > 0 ? order_->tree().Next(hit.pos) : order_->tree().Prior(hit.pos);
      if (!next.ok()) return next.status();
      pos = *next;
    }
  }
  return Position(hit.recno, std::move(image));
}

// ---- Seeks and key positions -----------------------------------------------------------------

Result<bool> Cursor::SeekOnce(index::Tag* tag, std::string_view encoded, bool exact) {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(RefreshCount());
  ACE_RETURN_IF_ERROR(RefreshIndexes());
  order_ = tag;
  if (!OrderUsable()) return Status(kErrNoSuchIndexTag, "the index is no longer in its file");
  const std::string prefix = tag->ToIndexOrder(encoded);
  Result<index::TreePosition> pos = tag->tree().SeekFirstAtLeast(prefix);
  if (!pos.ok()) return pos.status();
  std::vector<std::byte> image;
  Result<OrderHit> hit = FindInOrder(*pos, 1, &image);
  if (!hit.ok()) return hit.status();
  if (hit->recno == 0) {
    ACE_RETURN_IF_ERROR(GotoEof());
    return false;
  }
  Result<index::TreeEntry> entry = tag->tree().EntryAt(hit->pos);
  if (!entry.ok()) return entry.status();
  const bool match = entry->key.compare(0, prefix.size(), prefix) == 0;
  if (exact && !match) {
    ACE_RETURN_IF_ERROR(GotoEof());
    return false;
  }
  ACE_RETURN_IF_ERROR(Position(hit->recno, std::move(image)));
  return match;
}

Result<bool> Cursor::SeekLastOnce(index::Tag* tag, std::string_view encoded) {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(RefreshCount());
  ACE_RETURN_IF_ERROR(RefreshIndexes());
  order_ = tag;
  if (!OrderUsable()) return Status(kErrNoSuchIndexTag, "the index is no longer in its file");
  const std::string prefix = tag->ToIndexOrder(encoded);
  Result<index::TreePosition> pos = tag->tree().SeekLastAtMost(prefix);
  if (!pos.ok()) return pos.status();
  std::vector<std::byte> image;
  Result<OrderHit> hit = FindInOrder(*pos, -1, &image);
  if (!hit.ok()) return hit.status();
  bool match = false;
  if (hit->recno != 0) {
    Result<index::TreeEntry> entry = tag->tree().EntryAt(hit->pos);
    if (!entry.ok()) return entry.status();
    match = entry->key.compare(0, prefix.size(), prefix) == 0;
  }
  if (!match) {
    ACE_RETURN_IF_ERROR(GotoEof());
    return false;
  }
  ACE_RETURN_IF_ERROR(Position(hit->recno, std::move(image)));
  return true;
}

Result<uint32_t> Cursor::KeyCountOnce(index::Tag* tag, uint16_t option) {
  ACE_RETURN_IF_ERROR(RefreshIndexes());
  if (!tag->present()) return Status(kErrNoSuchIndexTag, "the index is no longer in its file");
  const uint16_t kind = option & 3;
  if (kind == kIgnoreFilters || (scopes_.count(tag) == 0 && kind == kRespectScopes))
    return tag->tree().KeyCount();
  index::Tag* saved = order_;
  order_ = tag;
  uint32_t n = 0;
  Result<index::TreePosition> pos = OrderStart(1);
  std::vector<std::byte> image;
  Status failed;
  while (pos.ok() && pos->valid()) {
    Result<index::TreeEntry> entry = tag->tree().EntryAt(*pos);
    if (!entry.ok()) {
      failed = entry.status();
      break;
    }
    if (ScopeSide(tag, entry->key) > 0) break;
    bool counted = ScopeSide(tag, entry->key) == 0;
    if (counted && kind != kRespectScopes) {
      Status read = ReadRecord(entry->recno, &image);
      Result<bool> visible = read.ok() ? Visible(entry->recno, image) : Result<bool>(read);
      if (!visible.ok()) {
        failed = visible.status();
        break;
      }
      counted = *visible;
    }
    if (counted) ++n;
    pos = tag->tree().Next(*pos);
  }
  order_ = saved;
  if (!failed.ok()) return failed;
  if (!pos.ok()) return pos.status();
  return n;
}

Result<uint32_t> Cursor::KeyNumberOnce(index::Tag* tag, uint16_t option) {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(RefreshIndexes());
  if (recno_ == 0 || appending_) return 0u;
  if (!tag->present()) return Status(kErrNoSuchIndexTag, "the index is no longer in its file");
  index::TableRecordSource source(table_->file.get());
  source.SetRecord(recno_, record_.data());
  Result<std::string> key = tag->RawKeyOf(source);
  if (!key.ok()) return key.status();
  Result<index::TreePosition> here = tag->tree().Find(*key, recno_);
  if (!here.ok()) return here.status();
  if (!here->valid()) return 0u;
  const uint16_t kind = option & 3;
  if (kind == kIgnoreFilters) return tag->tree().KeyNumber(*here);
  // Counted backwards from the current entry to the top scope.
  uint32_t n = 0;
  std::vector<std::byte> image;
  Result<index::TreePosition> pos = *here;
  while (pos.ok() && pos->valid()) {
    Result<index::TreeEntry> entry = tag->tree().EntryAt(*pos);
    if (!entry.ok()) return entry.status();
    int side = ScopeSide(tag, entry->key);
    if (side < 0) break;
    bool counted = side == 0;
    if (counted && kind != kRespectScopes) {
      ACE_RETURN_IF_ERROR(ReadRecord(entry->recno, &image));
      Result<bool> visible = Visible(entry->recno, image);
      if (!visible.ok()) return visible.status();
      counted = *visible;
    }
    if (counted) ++n;
    pos = tag->tree().Prior(*pos);
  }
  if (!pos.ok()) return pos.status();
  return n;
}

Result<std::string> Cursor::CurrentKey(index::Tag* tag) {
  if (!has_record()) return Status(kErrNoCurrentRecord, path() + ": there is no current record");
  index::TableRecordSource source(table_->file.get());
  source.SetRecord(recno(), record_.data());
  Result<std::string> key = tag->RawKeyOf(source);
  if (!key.ok()) return key.status();
  return tag->FromIndexOrder(*key);
}

// ---- Filter ----------------------------------------------------------------------------------

Status Cursor::SetFilter(std::string_view text) {
  index::TableRecordSource schema(table_->file.get());
  Result<expr::Expression> compiled = expr::Expression::Compile(text, &schema);
  if (!compiled.ok()) return compiled.status();
  if (compiled->type() != expr::ValueType::kLogical)
    return Status(kErrInvalidExpression, "the filter " + std::string(text) + " is " +
                                             std::string(expr::ValueTypeName(compiled->type())) +
                                             ", not logical");
  filter_ = std::make_unique<expr::Expression>(std::move(*compiled));
  filter_text_ = std::string(text);
  return Status::Ok();
}

Status Cursor::ClearFilter() {
  if (filter_ == nullptr) return Status(kErrNoFilter, path() + ": no filter is set");
  filter_.reset();
  filter_text_.clear();
  return Status::Ok();
}

expr::EvalOptions Cursor::EvalOptions() const {
  expr::EvalOptions options;
  options.exact = exact_;
  return options;
}

const index::TableRecordSource& Cursor::CurrentSource() {
  if (source_ == nullptr) source_ = std::make_unique<index::TableRecordSource>(table_->file.get());
  source_->SetRecord(has_record() ? (appending_ ? 0 : recno_) : 0,
                     has_record() ? record_.data() : nullptr);
  return *source_;
}

// ---- Writes through the indexes --------------------------------------------------------------

Status Cursor::WriteThrough(uint32_t recno, const std::byte* image) {
  ACE_RETURN_IF_ERROR(OpenIndexes());
  // Posting reclaims the memo blocks the record's new values replace (TableFile::PostRecord).
  if (table_->indexes == nullptr || table_->indexes->empty())
    return table_->file->PostRecord(recno, image);
  TableIndexes& ix = *table_->indexes;
  std::vector<std::byte> before;
  ACE_RETURN_IF_ERROR(ReadRecord(recno, &before));
  ACE_RETURN_IF_ERROR(ix.BeginWrite(recno, before.data(), image));
  Status s = table_->file->PostRecord(recno, image);
  if (s.ok()) s = RefreshCount();
  if (s.ok()) s = ix.AfterWrite(recno, before.data(), image);
  ix.EndWrite();
  return s;
}

Result<uint32_t> Cursor::AppendThrough(const std::byte* image) {
  ACE_RETURN_IF_ERROR(OpenIndexes());
  if (table_->indexes == nullptr || table_->indexes->empty())
    return table_->file->AppendRecord(image);
  TableIndexes& ix = *table_->indexes;
  // A table that reuses deleted records' places appends over a record whose keys the indexes
  // hold: they leave with the append, as the keys of a rewritten record do.
  Result<uint32_t> next = table_->file->NextAppendRecno();
  if (!next.ok()) return next.status();
  // The place's record for the candidate check; one that cannot be read is checked as a new
  // place (the append itself gives the image it overwrites).
  std::vector<std::byte> replaced;
  if (*next <= table_->file->record_count() && !ReadRecord(*next, &replaced).ok()) replaced.clear();
  ACE_RETURN_IF_ERROR(ix.BeginWrite(*next, replaced.empty() ? nullptr : replaced.data(), image));
  Result<uint32_t> appended = table_->file->AppendReplacing(image, &replaced);
  Status s = appended.status();
  if (appended.ok()) {
    // The key is built from the record as stored (autoincrement and row version filled in).
    std::vector<std::byte> stored;
    s = ReadRecord(*appended, &stored);
    if (s.ok())
      s = ix.AfterWrite(*appended, replaced.empty() ? nullptr : replaced.data(), stored.data());
  }
  ix.EndWrite();
  if (!s.ok()) return s;
  return appended;
}

}  // namespace ace::cursor
