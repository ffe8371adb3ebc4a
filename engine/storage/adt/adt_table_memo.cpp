// Memo values of edited ADT records: pending runs, posting with the reuse of the record's own
// runs, and the discarding of a cancelled edit's runs (the contract is table_file.h's).
//
// Posting a record whose memo changed: the new value sits in a pending run P, the stored record
// points at its old run S. The record is first written pointing at P; S then belongs to nobody,
// so when the value fits S it is copied there (a crash during the copy tears only that unused
// run), both files are flushed and the record is written again pointing at S; then P is
// released. A value that does not fit S stays in P and S is released after the write. At every
// moment the stored record points at a whole memo; a crash between two steps leaks one run at
// worst (it stays allocated until the next pack). Writing the value back into S keeps a memo in
// the place it had, so rewriting memos does not let the file grow. ReclaimMemos is the part
// after the first write, for SQL statements, which take the old runs back only once they end.
#include <cstring>

#include "engine/base/error_codes.h"
#include "engine/storage/adt/adt_format.h"
#include "engine/storage/adt/adt_table_file.h"

namespace ace::storage::adt {

void AdtTableFile::ForgetPending(const std::byte* image) {
  if (pending_.empty()) return;
  for (const auto& f : fields_) {
    if (IsAdtMemoType(f.type)) pending_.erase(Get32(image + f.offset));
  }
}

Status AdtTableFile::WritePendingMemo(std::byte* image, const FieldDesc& field,
                                      std::span<const uint8_t> data, MemoKind kind) {
  ACE_RETURN_IF_ERROR(CheckWritableContent());
  auto f = MemoField(field);
  if (!f.ok()) return f.status();
  std::byte* slot = image + f.value()->offset;
  const uint32_t current = Get32(slot);
  // Only a run of this edit may be rewritten; the stored record's run is left as it is.
  const uint32_t own = current != 0 && pending_.count(current) != 0 ? current : 0;
  auto block = memo_->Write(own, data, kind);
  if (!block.ok()) return block.status().WithContext("field \"" + field.name + "\"");
  if (own != 0 && block.value() != own) pending_.erase(own);
  if (block.value() != 0) pending_.insert(block.value());
  Put32(slot, block.value());
  return Status::Ok();
}

Status AdtTableFile::DiscardPendingMemos(const std::byte* image) {
  if (!memo_ || pending_.empty()) return Status::Ok();
  Status first;
  for (const auto& f : fields_) {
    if (!IsAdtMemoType(f.type)) continue;
    const uint32_t block = Get32(image + f.offset);
    if (block == 0 || pending_.count(block) == 0) continue;
    Status s = memo_->Release(block);
    if (s.ok()) pending_.erase(block);
    if (!s.ok() && first.ok()) first = s;
  }
  return first;
}

Status AdtTableFile::PostRecord(uint32_t recno, const std::byte* image) {
  ACE_RETURN_IF_ERROR(CheckWritableContent());
  if (!memo_) return WriteRecord(recno, image);
  // The stored record is read from the file itself: the caller's lock is what makes it current.
  DropWindows();
  if (recno == 0 || recno > count_) ACE_RETURN_IF_ERROR(RefreshHeader());
  ACE_RETURN_IF_ERROR(CheckRecno(recno));
  std::vector<std::byte> stored(record_length_);
  ACE_RETURN_IF_ERROR(ReadRaw(recno, stored.data(), false));
  std::vector<std::byte> out(image, image + record_length_);
  for (const auto& f : fields_) {
    if (!IsAdtMemoType(f.type)) continue;
    const uint32_t s = Get32(stored.data() + f.offset);
    const uint32_t p = Get32(out.data() + f.offset);
    // A pointer read before another user's write: its run may be reused by now.
    if (s != p && p != 0 && pending_.count(p) == 0) Put32(out.data() + f.offset, s);
  }
  ACE_RETURN_IF_ERROR(WriteRecord(recno, out.data()));
  return ReclaimMemos(recno, stored.data(), true);
}

Status AdtTableFile::ReclaimMemos(uint32_t recno, const std::byte* before, bool move_back) {
  ACE_RETURN_IF_ERROR(CheckWritable());
  if (!memo_) return Status::Ok();
  DropWindows();
  if (recno == 0 || recno > count_) ACE_RETURN_IF_ERROR(RefreshHeader());
  ACE_RETURN_IF_ERROR(CheckRecno(recno));
  std::vector<std::byte> out(record_length_);
  ACE_RETURN_IF_ERROR(ReadRaw(recno, out.data(), false));

  struct Change {
    uint32_t offset;
    uint32_t stored;   // the run the record gave up
    uint32_t pending;  // the run of the new value (0: the field was cleared)
    bool move;         // the new value goes back into the stored run
  };
  std::vector<Change> changes;
  for (const auto& f : fields_) {
    if (!IsAdtMemoType(f.type)) continue;
    const uint32_t s = Get32(before + f.offset);
    const uint32_t p = Get32(out.data() + f.offset);
    if (s == p || s == 0) continue;
    bool move = false;
    if (move_back && p != 0) {
      uint32_t length = 0;
      MemoKind kind{};
      ACE_RETURN_IF_ERROR(memo_->Describe(p, &length, &kind));
      auto fits = memo_->Fits(s, length);
      if (!fits.ok()) return fits.status();
      move = fits.value();
    }
    changes.push_back({f.offset, s, p, move});
  }
  if (changes.empty()) return Status::Ok();

  bool moved = false;
  for (const Change& c : changes) moved = moved || c.move;
  if (moved) {
    // The record's new pointers are on disk before the runs they replaced are overwritten.
    ACE_RETURN_IF_ERROR(data_.Sync());
    ACE_RETURN_IF_ERROR(memo_->Sync());
    for (const Change& c : changes) {
      if (!c.move) continue;
      uint32_t length = 0;
      MemoKind kind{};
      ACE_RETURN_IF_ERROR(memo_->Describe(c.pending, &length, &kind));
      auto content = memo_->Read(c.pending);
      if (!content.ok()) return content.status();
      auto at = memo_->Write(c.stored, content.value(), kind);
      if (!at.ok()) return at.status();
      if (at.value() != c.stored) {
        return Status(kErrInternal, memo_path_ + ": a memo meant for block " +
                                        std::to_string(c.stored) + " went elsewhere");
      }
      Put32(out.data() + c.offset, c.stored);
    }
    ACE_RETURN_IF_ERROR(memo_->Sync());
    ACE_RETURN_IF_ERROR(WriteRecord(recno, out.data()));
  }
  Status first;
  for (const Change& c : changes) {
    Status s = memo_->Release(c.move ? c.pending : c.stored);
    if (!s.ok() && first.ok()) first = s;
  }
  return first;
}

}  // namespace ace::storage::adt
