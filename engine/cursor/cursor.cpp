// Cursor position, the current record with pending changes, and locks (see cursor.h).
#include "engine/cursor/cursor.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "engine/base/callbacks.h"
#include "engine/base/error_codes.h"

namespace ace::cursor {
namespace {

std::atomic<bool> g_show_deleted{false};

}  // namespace

void SetShowDeleted(bool show) {
  g_show_deleted = show;
}
bool ShowDeleted() {
  return g_show_deleted;
}

uint32_t Crc32(const std::byte* data, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= static_cast<uint8_t>(data[i]);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

Cursor::Cursor(std::shared_ptr<SharedTable> table, const OpenTableOptions& options)
    : table_(std::move(table)), options_(options) {
  record_ = table_->file->BlankRecord();
}

Cursor::~Cursor() {
  if (table_ != nullptr) (void)FlushPending();
}

Status Cursor::Close() {
  if (table_ == nullptr) return Status::Ok();
  Status s = FlushPending();
  (void)CloseAllIndexes();
  table_.reset();
  return s;
}

Status Cursor::ReadRecord(uint32_t recno, std::vector<std::byte>* image) const {
  image->resize(table_->file->record_length());
  return table_->file->ReadRecord(recno, image->data());
}

Result<bool> Cursor::Visible(uint32_t recno, const std::vector<std::byte>& image) const {
  if (restriction_ != nullptr &&
      !std::binary_search(restriction_->begin(), restriction_->end(), recno))
    return false;
  if (!ShowDeleted() && table_->file->IsDeleted(image.data())) return false;
  if (aof_ != nullptr) {
    Result<bool> admitted = AofAdmits(recno, image);
    if (!admitted.ok() || !*admitted) return admitted;
  }
  if (filter_ == nullptr) return true;
  if (probe_ == nullptr) probe_ = std::make_unique<index::TableRecordSource>(table_->file.get());
  probe_->SetRecord(recno, image.data());
  Result<bool> passes = filter_->EvaluateLogical(*probe_, EvalOptions());
  probe_->SetRecord(0, nullptr);
  if (!passes.ok()) return passes.status().WithContext("filter of " + path());
  return *passes;
}

void Cursor::RestrictTo(std::shared_ptr<const std::vector<uint32_t>> records) {
  restriction_ = std::move(records);
}

Result<uint32_t> Cursor::Find(uint32_t recno, int step, std::vector<std::byte>* image) const {
  const uint32_t count = table_->file->record_count();
  while (recno >= 1 && recno <= count) {
    ACE_RETURN_IF_ERROR(ReadRecord(recno, image));
    Result<bool> visible = Visible(recno, *image);
    if (!visible.ok()) return visible.status();
    if (*visible) return recno;
    recno = step > 0 ? recno + 1 : recno - 1;
  }
  return 0u;
}

Status Cursor::Position(uint32_t recno, std::vector<std::byte> image) {
  recno_ = recno;
  // The buffer of the record left behind serves the next move (no allocation per record).
  record_.swap(image);
  spare_ = std::move(image);
  bof_ = eof_ = false;
  dirty_ = false;
  return Status::Ok();
}

Status Cursor::RefreshCount() {
  if (exclusive()) return Status::Ok();
  ACE_RETURN_IF_ERROR(table_->file->RefreshHeader());
  unchecked_moves_ = 0;
  return Status::Ok();
}

bool Cursor::SkipFromCache(int32_t count) {
  if (exclusive() || recno_ == 0 || OrderUsable() || record_cache_ <= 1) return false;
  const uint64_t moves = unchecked_moves_ + static_cast<uint64_t>(std::llabs(int64_t{count}));
  if (moves >= record_cache_) return false;
  unchecked_moves_ = static_cast<uint32_t>(moves);
  return true;
}

Status Cursor::EnsureWritable() const {
  if (options_.static_view) return StaticView();
  if (options_.read_only)
    return Status(kErrTableReadOnly, path() + ": the table is open read-only");
  return Status::Ok();
}

Status Cursor::GotoBof() {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(RefreshCount());
  std::vector<std::byte> image;
  Result<uint32_t> first = FindFirst(1, &image);
  if (!first.ok()) return first.status();
  recno_ = 0;
  record_ = table_->file->BlankRecord();
  bof_ = true;
  eof_ = first.value() == 0;
  return Status::Ok();
}

Status Cursor::GotoEof() {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(RefreshCount());
  std::vector<std::byte> image;
  Result<uint32_t> last = FindFirst(-1, &image);
  if (!last.ok()) return last.status();
  recno_ = 0;
  record_ = table_->file->BlankRecord();
  eof_ = true;
  bof_ = last.value() == 0;
  return Status::Ok();
}

Status Cursor::GotoTop() {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(RefreshCount());
  std::vector<std::byte> image;
  Result<uint32_t> first = FindFirst(1, &image);
  if (!first.ok()) return first.status();
  if (first.value() == 0) return GotoEof();
  return Position(first.value(), std::move(image));
}

Status Cursor::GotoBottom() {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(RefreshCount());
  std::vector<std::byte> image;
  Result<uint32_t> last = FindFirst(-1, &image);
  if (!last.ok()) return last.status();
  if (last.value() == 0) return GotoEof();
  return Position(last.value(), std::move(image));
}

Status Cursor::Skip(int32_t count) {
  ACE_RETURN_IF_ERROR(FlushPending());
  if (count == 0) return Refresh();
  bool cached = SkipFromCache(count);
  if (!cached) ACE_RETURN_IF_ERROR(RefreshCount());
  if (OrderUsable()) return SkipInOrder(count);
  const int step = count > 0 ? 1 : -1;
  uint32_t at = recno_;
  if (at == 0) {
    if ((step > 0 && eof_) || (step < 0 && bof_ && !eof_)) return Status::Ok();  // nothing further
    at = step > 0 ? 0 : table_->file->record_count() + 1;
  }
  std::vector<std::byte> image = std::move(spare_);
  for (int64_t left = std::llabs(static_cast<int64_t>(count)); left > 0; --left) {
    Result<uint32_t> next = Find(step > 0 ? at + 1 : at - 1, step, &image);
    if (next.ok() && next.value() == 0 && cached) {
      // Out of records on a count the file was not asked about: other users may have added
      // records since, so the end is looked for again on a fresh count.
      cached = false;
      ACE_RETURN_IF_ERROR(RefreshCount());
      next = Find(step > 0 ? at + 1 : at - 1, step, &image);
    }
    if (!next.ok()) return next.status();
    if (next.value() == 0) return step > 0 ? GotoEof() : GotoBof();
    at = next.value();
  }
  return Position(at, std::move(image));
}

Status Cursor::GotoRecord(uint32_t recno) {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(RefreshCount());
  if (recno == 0 || recno > table_->file->record_count()) {
    ACE_RETURN_IF_ERROR(GotoEof());
    return Status(kErrInvalidRecordNumber, path() + ": there is no record " +
                                               std::to_string(recno) + " (the table has " +
                                               std::to_string(table_->file->record_count()) + ")");
  }
  std::vector<std::byte> image;
  ACE_RETURN_IF_ERROR(ReadRecord(recno, &image));
  return Position(recno, std::move(image));
}

Status Cursor::Refresh() {
  if (appending_) return Status::Ok();
  // Memo values of the dropped changes give their blocks back (the stored ones were untouched).
  Status discarded = dirty_ ? table_->file->DiscardPendingMemos(record_.data()) : Status::Ok();
  dirty_ = false;
  if (recno_ == 0) return discarded;
  ACE_RETURN_IF_ERROR(RefreshCount());
  std::vector<std::byte> image;
  ACE_RETURN_IF_ERROR(ReadRecord(recno_, &image));
  record_ = std::move(image);
  return discarded;
}

Result<bool> Cursor::CurrentVisible() const {
  if (!has_record()) return false;
  Result<bool> visible = Visible(recno_, record_);
  if (!visible.ok() || !*visible || order_ == nullptr || appending_) return visible;
  auto it = scopes_.find(order_);
  if (it == scopes_.end() || !order_->present()) return visible;
  index::TableRecordSource source(table_->file.get());
  source.SetRecord(recno_, record_.data());
  Result<std::optional<std::string>> key = order_->KeyOf(source);
  if (!key.ok()) return key.status();
  return key->has_value() && ScopeSide(order_, **key) == 0;
}

Result<uint32_t> Cursor::RecordCount(uint16_t option) {
  ACE_RETURN_IF_ERROR(FlushPending());
  if ((option & kFreshCount) != 0 || !exclusive())
    ACE_RETURN_IF_ERROR(table_->file->RefreshHeader());
  const uint32_t count = table_->file->record_count();
  if (OrderUsable() && (option & 3) != kIgnoreFilters) return KeyCount(order_, kRespectFilters);
  if (restriction_ == nullptr && filter_ == nullptr && aof_ == nullptr &&
      ((option & 3) == kIgnoreFilters || ShowDeleted()))
    return count;
  if ((option & 3) == kIgnoreFilters && restriction_ == nullptr) return count;
  uint32_t visible = 0;
  std::vector<std::byte> image;
  for (uint32_t r = 1; r <= count; ++r) {
    ACE_RETURN_IF_ERROR(ReadRecord(r, &image));
    Result<bool> v = Visible(r, image);
    if (!v.ok()) return v.status();
    if (*v) ++visible;
  }
  return visible;
}

Result<uint32_t> Cursor::RecordNumber(uint16_t option) {
  if (recno_ == 0 || appending_) return 0u;
  if ((option & 3) == kIgnoreFilters || (restriction_ == nullptr && filter_ == nullptr &&
                                         aof_ == nullptr && ShowDeleted() && !OrderUsable()))
    return recno_;
  if (OrderUsable()) return KeyNumber(order_, kRespectFilters);
  uint32_t position = 0;
  std::vector<std::byte> image;
  for (uint32_t r = 1; r <= recno_; ++r) {
    ACE_RETURN_IF_ERROR(ReadRecord(r, &image));
    Result<bool> v = Visible(r, image);
    if (!v.ok()) return v.status();
    if (*v) ++position;
  }
  return position;
}

Result<double> Cursor::RelativePosition() {
  if (recno_ == 0 || appending_) return eof_ && !bof_ ? 1.0 : 0.0;
  Result<uint32_t> count = RecordCount(kRespectFilters);
  if (!count.ok()) return count.status();
  Result<uint32_t> at = RecordNumber(kRespectFilters);
  if (!at.ok()) return at.status();
  if (count.value() <= 1 || at.value() == 0) return 0.0;
  return static_cast<double>(at.value() - 1) / static_cast<double>(count.value() - 1);
}

Status Cursor::SetRelativePosition(double position) {
  if (!(position >= 0.0)) position = 0.0;  // also NaN
  if (position > 1.0) position = 1.0;
  Result<uint32_t> count = RecordCount(kRespectFilters);
  if (!count.ok()) return count.status();
  if (count.value() == 0) return GotoEof();
  auto target = static_cast<int32_t>(std::lround(position * (count.value() - 1)));
  ACE_RETURN_IF_ERROR(GotoTop());
  return target > 0 ? Skip(target) : Status::Ok();
}

Result<std::byte*> Cursor::Edit() {
  if (!has_record()) return Status(kErrNoCurrentRecord, path() + ": there is no current record");
  ACE_RETURN_IF_ERROR(EnsureWritable());
  dirty_ = true;
  return record_.data();
}

Status Cursor::FlushPending() {
  if (appending_) {
    ACE_RETURN_IF_ERROR(EnsureWritable());
    ACE_RETURN_IF_ERROR(locks().LockAppend());
    Status s = table_->file->RefreshHeader();
    Result<uint32_t> appended = s.ok() ? AppendThrough(record_.data()) : Result<uint32_t>(s);
    locks().UnlockAppend();
    if (!appended.ok()) return appended.status();
    appending_ = false;
    std::vector<std::byte> image;
    ACE_RETURN_IF_ERROR(ReadRecord(appended.value(), &image));
    last_appended_ = image;
    return Position(appended.value(), std::move(image));
  }
  if (!dirty_ || recno_ == 0) {
    dirty_ = false;
    return Status::Ok();
  }
  ACE_RETURN_IF_ERROR(EnsureWritable());
  // A record written without a lock of this user is locked for the write only.
  const bool implicit = !locks().HoldsRecord(recno_) && !locks().holds_table();
  if (implicit) ACE_RETURN_IF_ERROR(locks().LockRecord(recno_));
  Status s = WriteThrough(recno_, record_.data());
  if (implicit) (void)locks().UnlockRecord(recno_);
  ACE_RETURN_IF_ERROR(s);
  dirty_ = false;
  std::vector<std::byte> image;
  ACE_RETURN_IF_ERROR(ReadRecord(recno_, &image));
  record_ = std::move(image);
  return Status::Ok();
}

Status Cursor::BeginAppend() {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(EnsureWritable());
  record_ = table_->file->BlankRecord();
  recno_ = 0;
  appending_ = true;
  dirty_ = true;
  bof_ = eof_ = false;
  return Status::Ok();
}

Status Cursor::WriteRecord() {
  return FlushPending();
}

Status Cursor::CancelUpdate() {
  if (appending_) {
    Status discarded = table_->file->DiscardPendingMemos(record_.data());
    appending_ = false;
    dirty_ = false;
    ACE_RETURN_IF_ERROR(GotoEof());
    return discarded;
  }
  return Refresh();
}

Status Cursor::DeleteRecord() {
  ACE_RETURN_IF_ERROR(FlushPending());
  Result<std::byte*> image = Edit();
  if (!image.ok()) return image.status();
  table_->file->SetDeleted(image.value(), true);
  return FlushPending();
}

Status Cursor::RecallRecord() {
  ACE_RETURN_IF_ERROR(FlushPending());
  Result<std::byte*> image = Edit();
  if (!image.ok()) return image.status();
  table_->file->SetDeleted(image.value(), false);
  return FlushPending();
}

Result<bool> Cursor::IsDeleted() const {
  if (!has_record()) return Status(kErrNoCurrentRecord, path() + ": there is no current record");
  return table_->file->IsDeleted(record_.data());
}

Result<uint32_t> Cursor::RecordCrc(uint32_t option) const {
  if (!has_record()) return Status(kErrNoCurrentRecord, path() + ": there is no current record");
  std::vector<std::byte> image;
  if (option == 1 || appending_) {
    image = record_;
  } else {
    // The record as the file holds it now: what this table read before may be stale.
    if (!exclusive()) ACE_RETURN_IF_ERROR(table_->file->RefreshHeader());
    ACE_RETURN_IF_ERROR(ReadRecord(recno_, &image));
  }
  // The content, not the storage: a memo field counts with its length and value instead of
  // its block pointer, so a memo changed in its own blocks changes the sum and one that only
  // moved to other blocks does not. A memo that cannot be read counts with its pointer.
  std::vector<std::byte> content = image;
  storage::TableFile& file = *table_->file;
  for (const storage::FieldDesc& f : file.fields()) {
    if (!storage::IsMemoType(f.type, file.type())) continue;
    Result<std::vector<uint8_t>> memo = file.ReadMemo(image.data(), f);
    if (!memo.ok()) continue;
    std::fill_n(content.begin() + f.offset, f.length, std::byte{0});
    const auto length = static_cast<uint32_t>(memo.value().size());
    for (int i = 0; i < 4; ++i) content.push_back(static_cast<std::byte>(length >> (8 * i)));
    const auto* bytes = reinterpret_cast<const std::byte*>(memo.value().data());
    content.insert(content.end(), bytes, bytes + memo.value().size());
  }
  return Crc32(content.data(), content.size());
}

Status Cursor::StaticView() const {
  return Status(kErrStaticCursor,
                path() + ": the cursor is a static copy of a query's rows; it cannot be changed");
}

Status Cursor::LockRecord(uint32_t recno) {
  if (options_.static_view) return StaticView();
  if (recno == 0) {
    if (recno_ == 0)
      return Status(kErrNoCurrentRecord, path() + ": there is no current record to lock");
    recno = recno_;
  }
  ACE_RETURN_IF_ERROR(RefreshCount());
  if (recno > table_->file->record_count()) {
    return Status(kErrInvalidRecordNumber,
                  path() + ": there is no record " + std::to_string(recno));
  }
  ACE_RETURN_IF_ERROR(locks().LockRecord(recno));
  // The locked record is read again so that its copy is the one other users wrote.
  if (recno == recno_ && !dirty_) return Refresh();
  return Status::Ok();
}

Status Cursor::UnlockRecord(uint32_t recno) {
  if (recno == 0) {
    if (recno_ == 0)
      return Status(kErrNoCurrentRecord, path() + ": there is no current record to unlock");
    recno = recno_;
  }
  if (recno == recno_) ACE_RETURN_IF_ERROR(FlushPending());
  return locks().UnlockRecord(recno);
}

Status Cursor::LockTable() {
  if (options_.static_view) return StaticView();
  return locks().LockTable();
}

Status Cursor::UnlockTable() {
  ACE_RETURN_IF_ERROR(FlushPending());
  return locks().UnlockTable();
}

Status Cursor::Zap() {
  ACE_RETURN_IF_ERROR(EnsureWritable());
  if (!exclusive())
    return Status(kErrExclusiveRequired, path() + ": emptying a table needs it open exclusively");
  appending_ = dirty_ = false;
  ACE_RETURN_IF_ERROR(OpenIndexes());
  ACE_RETURN_IF_ERROR(table_->file->Zap());
  ACE_RETURN_IF_ERROR(locks().Rebind(table_->file->data_file().fd()));
  ProgressMute past_the_change;  // the new files are in place: the rest must not stop
  if (table_->indexes) ACE_RETURN_IF_ERROR(table_->indexes->ZapAll());
  InvalidateAof();
  return GotoTop();
}

Status Cursor::Pack() {
  ACE_RETURN_IF_ERROR(EnsureWritable());
  if (!exclusive())
    return Status(kErrExclusiveRequired, path() + ": packing a table needs it open exclusively");
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(OpenIndexes());
  ACE_RETURN_IF_ERROR(table_->file->Pack());  // reports its progress and may be stopped
  ACE_RETURN_IF_ERROR(locks().Rebind(table_->file->data_file().fd()));
  ProgressMute past_the_change;  // the packed files are in place: the rest must not stop
  if (table_->indexes) ACE_RETURN_IF_ERROR(table_->indexes->ReindexAll());
  InvalidateAof();
  return GotoTop();
}

}  // namespace ace::cursor
