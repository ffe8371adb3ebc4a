// Journal files, the journaling wrapper of table files and the undo of journal entries (see
// journal.h and transaction.h).
#include "engine/txn/journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "engine/base/error_codes.h"
#include "engine/cursor/cursor.h"
#include "engine/cursor/table_indexes.h"
#include "engine/index/index_file.h"

namespace ace::txn {
namespace {

void PutU32(std::byte* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
}

uint32_t GetU32(const std::byte* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

// The write lock on byte 0 that marks a journal as owned by a living transaction.
bool LockOwner(int fd) {
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 1;
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

std::string OwnerToken() {
  static std::atomic<uint64_t> serial{0};
  return std::to_string(getpid()) + "-" + std::to_string(++serial);
}

bool IsBlankRange(const std::vector<std::byte>& image, const std::vector<std::byte>& blank,
                  const storage::FieldDesc& f) {
  return std::memcmp(image.data() + f.offset, blank.data() + f.offset, f.length) == 0;
}

// The memo pointers of image that are set: (field offset, pointer bytes).
std::vector<std::pair<uint32_t, std::string>> MemoPointers(const storage::TableFile& raw,
                                                           const std::vector<std::byte>& image,
                                                           const std::vector<std::byte>& blank) {
  std::vector<std::pair<uint32_t, std::string>> out;
  for (const storage::FieldDesc& f : raw.fields()) {
    if (!storage::IsMemoType(f.type, raw.type()) || IsBlankRange(image, blank, f)) continue;
    out.emplace_back(f.offset,
                     std::string(reinterpret_cast<const char*>(image.data() + f.offset), f.length));
  }
  return out;
}

bool HasMemoFields(const storage::TableFile& raw) {
  for (const storage::FieldDesc& f : raw.fields()) {
    if (storage::IsMemoType(f.type, raw.type())) return true;
  }
  return false;
}

// Gives back the memo blocks that current holds and target does not.
Status FreeReplacedMemos(storage::TableFile& raw, const std::vector<std::byte>& current,
                         const std::vector<std::byte>& target) {
  const std::vector<std::byte> blank = raw.BlankRecord();
  for (const storage::FieldDesc& f : raw.fields()) {
    if (!storage::IsMemoType(f.type, raw.type())) continue;
    if (std::memcmp(current.data() + f.offset, target.data() + f.offset, f.length) == 0) continue;
    if (IsBlankRange(current, blank, f)) continue;
    std::vector<std::byte> copy = current;
    ACE_RETURN_IF_ERROR(raw.WriteMemo(copy.data(), f, {}, storage::MemoKind::kText));
  }
  return Status::Ok();
}

}  // namespace

// ---- DiskJournal --------------------------------------------------------------------------------

Result<std::unique_ptr<DiskJournal>> DiskJournal::Create(const std::string& table_path,
                                                         uint32_t record_length) {
  const std::string path = table_path + "." + OwnerToken() + kJournalExtension;
  auto file = File::Open(path, OpenMode::kCreateNew);
  if (!file.ok()) return file.status();
  if (!LockOwner(file.value().fd())) {
    Status s(kErrIo, path + ": cannot lock the transaction journal: " + std::strerror(errno));
    file.value().Close();
    (void)RemoveFile(path);
    return s;
  }
  std::byte header[kJournalHeaderSize] = {};
  std::memcpy(header, kJournalMagic, sizeof kJournalMagic);
  PutU32(header + 8, record_length);
  Status s = file.value().WriteAt(0, header, sizeof header);
  if (s.ok()) s = file.value().Sync();
  if (!s.ok()) {
    file.value().Close();
    (void)RemoveFile(path);
    return s;
  }
  return std::unique_ptr<DiskJournal>(new DiskJournal(std::move(file.value())));
}

DiskJournal::~DiskJournal() = default;

Status DiskJournal::Append(const JournalEntry& entry) {
  std::vector<std::byte> bytes(kEntryHeaderSize + entry.payload.size() + 4);
  bytes[0] = static_cast<std::byte>(entry.kind);
  PutU32(bytes.data() + 4, entry.recno);
  PutU32(bytes.data() + 8, static_cast<uint32_t>(entry.payload.size()));
  if (!entry.payload.empty())
    std::memcpy(bytes.data() + kEntryHeaderSize, entry.payload.data(), entry.payload.size());
  const size_t body = kEntryHeaderSize + entry.payload.size();
  PutU32(bytes.data() + body, cursor::Crc32(bytes.data(), body));
  ACE_RETURN_IF_ERROR(file_.WriteAt(end_, bytes.data(), bytes.size()));
  ACE_RETURN_IF_ERROR(file_.Sync());
  end_ += bytes.size();
  return Status::Ok();
}

Status DiskJournal::Remove() {
  const std::string path = file_.path();
  Status s = RemoveFile(path);
  file_.Close();
  return s;
}

Result<std::vector<JournalEntry>> ReadJournal(const File& file, uint32_t record_length) {
  auto size = file.Size();
  if (!size.ok()) return size.status();
  std::byte header[kJournalHeaderSize];
  if (size.value() < kJournalHeaderSize) {
    // A crash while the journal was being created: no table write followed.
    return std::vector<JournalEntry>{};
  }
  ACE_RETURN_IF_ERROR(file.ReadAt(0, header, sizeof header));
  if (std::memcmp(header, kJournalMagic, sizeof kJournalMagic) != 0)
    return Status(kErrCorruptFile, file.path() + ": not a transaction journal of this engine");
  if (GetU32(header + 8) != record_length) {
    return Status(kErrCorruptFile, file.path() + ": the journal was written for records of " +
                                       std::to_string(GetU32(header + 8)) +
                                       " bytes; the table has " + std::to_string(record_length));
  }
  std::vector<JournalEntry> entries;
  uint64_t at = kJournalHeaderSize;
  while (at + kEntryHeaderSize + 4 <= size.value()) {
    std::byte head[kEntryHeaderSize];
    ACE_RETURN_IF_ERROR(file.ReadAt(at, head, sizeof head));
    const uint32_t n = GetU32(head + 8);
    if (at + kEntryHeaderSize + n + 4 > size.value()) break;  // cut short by a crash
    std::vector<std::byte> bytes(kEntryHeaderSize + n + 4);
    ACE_RETURN_IF_ERROR(file.ReadAt(at, bytes.data(), bytes.size()));
    if (GetU32(bytes.data() + kEntryHeaderSize + n) !=
        cursor::Crc32(bytes.data(), kEntryHeaderSize + n))
      break;
    JournalEntry e;
    const auto kind = static_cast<uint8_t>(head[0]);
    if (kind < 1 || kind > 4 || (kind == 1 && n != record_length) || (kind == 2 && n != 0) ||
        (kind == 4 && n != 4 + record_length)) {
      return Status(kErrCorruptFile,
                    file.path() + ": damaged journal entry at offset " + std::to_string(at));
    }
    e.kind = static_cast<EntryKind>(kind);
    e.recno = GetU32(head + 4);
    e.payload.assign(bytes.begin() + kEntryHeaderSize, bytes.begin() + kEntryHeaderSize + n);
    entries.push_back(std::move(e));
    at += bytes.size();
  }
  return entries;
}

// ---- Undo ---------------------------------------------------------------------------------------

UndoIndexes::UndoIndexes(cursor::SharedTable& table, storage::TableFile& raw) {
  if (table.indexes == nullptr) {
    own_ = std::make_unique<cursor::TableIndexes>(&raw, table.read_only, table.locks->exclusive());
    indexes_ = own_.get();
  } else {
    indexes_ = table.indexes.get();
  }
}

UndoIndexes::~UndoIndexes() {
  for (index::IndexFile* f : opened_) indexes_->Release(f);
}

Status UndoIndexes::Open(const std::set<std::string>& paths) {
  for (const std::string& path : paths) {
    if (!FileExists(path)) continue;
    bool already = false;
    auto file = indexes_->Open(path, &already);
    if (!file.ok()) return file.status();
    // Open counts a user also when the file was open: the count is given back at the end.
    opened_.push_back(file.value());
  }
  return Status::Ok();
}

Status UndoEntry(storage::TableFile& raw, cursor::TableIndexes* indexes, const JournalEntry& e,
                 bool* indexes_out_of_step) {
  if (e.kind == EntryKind::kIndexFile || e.kind == EntryKind::kAppendIntent) return Status::Ok();
  ACE_RETURN_IF_ERROR(raw.RefreshHeader());
  if (e.recno == 0 || e.recno > raw.record_count()) {
    return Status(kErrInvalidRecordNumber, raw.path() + ": the journal names record " +
                                               std::to_string(e.recno) + ", which the table lacks");
  }
  std::vector<std::byte> current(raw.record_length());
  ACE_RETURN_IF_ERROR(raw.ReadRecord(e.recno, current.data()));
  std::vector<std::byte> target;
  if (e.kind == EntryKind::kBeforeImage) {
    target = e.payload;
  } else {
    target = raw.BlankRecord();
    raw.SetDeleted(target.data(), true);
  }
  ACE_RETURN_IF_ERROR(FreeReplacedMemos(raw, current, target));
  // Deleted records keep their keys; a later write of the record removes them again.
  const std::byte* keyed = target.data();
  Status ix;
  if (indexes != nullptr) ix = indexes->BeginWrite(e.recno, current.data(), keyed);
  // The record is restored also when its keys cannot be carried along (a write of the
  // transaction that failed half-way left them out of step): the caller then rebuilds.
  if (!ix.ok() && indexes_out_of_step == nullptr) return ix;
  const bool keyed_write = indexes != nullptr && ix.ok();
  Status s = raw.WriteRecord(e.recno, target.data());
  if (s.ok() && keyed_write) ix = indexes->AfterWrite(e.recno, current.data(), keyed);
  if (keyed_write) indexes->EndWrite();
  if (!s.ok()) return s;
  if (!ix.ok()) {
    if (indexes_out_of_step == nullptr) return ix;
    *indexes_out_of_step = true;
  }
  return Status::Ok();
}

namespace {

// The engine fills these when it appends (counters, versions, times): they are not compared.
bool FilledByAppend(const storage::FieldDesc& f) {
  return f.type == storage::kFtAutoInc || f.type == storage::kFtRowVersion ||
         f.type == storage::kFtModTime || f.autoinc_step != 0;
}

}  // namespace

Result<uint32_t> FindInterruptedAppend(storage::TableFile& raw,
                                       const std::vector<JournalEntry>& entries) {
  const JournalEntry* intent = nullptr;
  for (const JournalEntry& e : entries) {
    if (e.kind == EntryKind::kAppendIntent) intent = &e;
    if (e.kind == EntryKind::kAppended) intent = nullptr;
  }
  if (intent == nullptr) return 0u;
  ACE_RETURN_IF_ERROR(raw.RefreshHeader());
  const uint32_t before = GetU32(intent->payload.data());
  const std::byte* wanted = intent->payload.data() + 4;
  std::vector<uint32_t> candidates;
  if (intent->recno != 0 && intent->recno <= before) candidates.push_back(intent->recno);
  for (uint32_t r = before + 1; r <= raw.record_count(); ++r) candidates.push_back(r);
  std::vector<std::byte> image(raw.record_length());
  for (uint32_t recno : candidates) {
    if (recno == 0 || recno > raw.record_count()) continue;
    ACE_RETURN_IF_ERROR(raw.ReadRecord(recno, image.data()));
    if (raw.IsDeleted(image.data())) continue;
    bool same = true;
    for (const storage::FieldDesc& f : raw.fields()) {
      if (FilledByAppend(f)) continue;
      if (std::memcmp(image.data() + f.offset, wanted + f.offset, f.length) != 0) {
        same = false;
        break;
      }
    }
    if (same) return recno;
  }
  return 0u;  // the append never reached the table
}

// ---- The wrapper --------------------------------------------------------------------------------

// A journal holds before-images as plain records, and a rollback after a crash runs when the
// table is next opened, without its key: encrypted tables stay out of transactions.
Status JournaledTable::RefuseEncrypted() const {
  return Status(kErrEncryption, path() + ": an encrypted table cannot be changed inside a "
                                         "transaction (its before-images would be stored plain)");
}

Status JournaledTable::WriteRecord(uint32_t recno, const std::byte* image) {
  std::shared_ptr<TransactionState> state = state_.lock();
  if (state != nullptr && state->active && inner_->encrypted()) return RefuseEncrypted();
  if (state != nullptr && state->active) ACE_RETURN_IF_ERROR(state->BeforeWrite(*this, recno));
  return inner_->WriteRecord(recno, image);
}

Status JournaledTable::PostRecord(uint32_t recno, const std::byte* image) {
  std::shared_ptr<TransactionState> state = state_.lock();
  if (state != nullptr && state->active) return WriteRecord(recno, image);
  return inner_->PostRecord(recno, image);
}

Status JournaledTable::ReclaimMemos(uint32_t recno, const std::byte* before, bool move_back) {
  std::shared_ptr<TransactionState> state = state_.lock();
  if (state != nullptr && state->active) return Status::Ok();
  return inner_->ReclaimMemos(recno, before, move_back);
}

Result<uint32_t> JournaledTable::AppendRecord(const std::byte* image) {
  std::vector<std::byte> replaced;
  return AppendReplacing(image, &replaced);
}

Result<uint32_t> JournaledTable::AppendReplacing(const std::byte* image,
                                                 std::vector<std::byte>* replaced) {
  std::shared_ptr<TransactionState> state = state_.lock();
  if (state == nullptr || !state->active) return inner_->AppendReplacing(image, replaced);
  if (inner_->encrypted()) return RefuseEncrypted();
  // The journal exists, and names the append, before the table grows.
  ACE_RETURN_IF_ERROR(state->BeforeAppend(*this, image));
  Result<uint32_t> recno = inner_->AppendReplacing(image, replaced);
  if (!recno.ok()) return recno;
  ACE_RETURN_IF_ERROR(state->AfterAppend(*this, recno.value()));
  return recno;
}

Status JournaledTable::WriteMemo(std::byte* image, const storage::FieldDesc& field,
                                 std::span<const uint8_t> data, storage::MemoKind kind) {
  std::shared_ptr<TransactionState> state = state_.lock();
  if (state != nullptr && state->active && inner_->encrypted()) return RefuseEncrypted();
  if (state != nullptr && state->active) {
    // The blocks of the value being replaced may belong to the committed record: the new value
    // goes to blocks of its own, so a rollback finds the old one untouched.
    const std::vector<std::byte> blank = inner_->BlankRecord();
    std::memcpy(image + field.offset, blank.data() + field.offset, field.length);
  }
  return inner_->WriteMemo(image, field, data, kind);
}

Status JournaledTable::Zap() {
  std::shared_ptr<TransactionState> state = state_.lock();
  if (state != nullptr && state->active)
    return Status(kErrTransaction, path() + ": a table cannot be emptied inside a transaction");
  return inner_->Zap();
}

Status JournaledTable::Pack() {
  std::shared_ptr<TransactionState> state = state_.lock();
  if (state != nullptr && state->active)
    return Status(kErrTransaction, path() + ": a table cannot be packed inside a transaction");
  return inner_->Pack();
}

// ---- The transaction's bookkeeping --------------------------------------------------------------

Result<Participant*> TransactionState::ParticipantOf(JournaledTable& file) {
  for (auto& p : participants) {
    if (p->file == &file) return p.get();
  }
  std::shared_ptr<cursor::SharedTable> table = file.shared().lock();
  if (table == nullptr) return Status(kErrInternal, file.path() + ": the table is no longer open");
  auto disk = DiskJournal::Create(file.path(), file.record_length());
  if (!disk.ok()) return disk.status();
  auto p = std::make_unique<Participant>();
  p->table = std::move(table);
  p->file = &file;
  p->disk = std::move(disk.value());
  participants.push_back(std::move(p));
  return participants.back().get();
}

namespace {

// Journals the index files open on the table now that the journal has not seen yet.
Status NoteIndexFiles(Participant& p) {
  if (p.table->indexes == nullptr) return Status::Ok();
  for (index::IndexFile* f : p.table->indexes->files()) {
    if (!p.index_paths.insert(f->path()).second) continue;
    JournalEntry e;
    e.kind = EntryKind::kIndexFile;
    const std::string& path = f->path();
    e.payload.resize(path.size());
    std::memcpy(e.payload.data(), path.data(), path.size());
    ACE_RETURN_IF_ERROR(p.disk->Append(e));
  }
  return Status::Ok();
}

}  // namespace

Status TransactionState::BeforeWrite(JournaledTable& file, uint32_t recno) {
  auto participant = ParticipantOf(file);
  if (!participant.ok()) return participant.status();
  Participant& p = *participant.value();
  cursor::TableLocks& locks = *p.table->locks;
  if (!locks.HoldsRecord(recno)) ACE_RETURN_IF_ERROR(locks.LockRecord(recno));
  if (!locks.exclusive() && !locks.holds_table()) locks.PinRecord(recno);
  ACE_RETURN_IF_ERROR(NoteIndexFiles(p));
  const bool memos = HasMemoFields(file.inner());
  const bool image_needed = imaged.count({&file, recno}) == 0;
  if (!memos && !image_needed) return Status::Ok();
  JournalEntry e;
  e.kind = EntryKind::kBeforeImage;
  e.recno = recno;
  e.payload.resize(file.record_length());
  ACE_RETURN_IF_ERROR(file.inner().ReadRecord(recno, e.payload.data()));
  if (memos) {
    auto& held = held_memos[{&file, recno}];
    for (auto& pointer : MemoPointers(file.inner(), e.payload, file.inner().BlankRecord()))
      held.insert(std::move(pointer));
  }
  if (!image_needed) return Status::Ok();
  ACE_RETURN_IF_ERROR(p.disk->Append(e));
  imaged.insert({&file, recno});
  steps.push_back(UndoStep{&p, std::move(e)});
  return Status::Ok();
}

Status TransactionState::BeforeAppend(JournaledTable& file, const std::byte* image) {
  auto participant = ParticipantOf(file);
  if (!participant.ok()) return participant.status();
  Participant& p = *participant.value();
  ACE_RETURN_IF_ERROR(NoteIndexFiles(p));
  Result<uint32_t> expected = file.inner().NextAppendRecno();
  if (!expected.ok()) return expected.status();
  JournalEntry e;
  e.kind = EntryKind::kAppendIntent;
  e.recno = expected.value();
  const uint32_t before = file.inner().record_count();
  e.payload.resize(4 + file.record_length());
  PutU32(e.payload.data(), before);
  std::memcpy(e.payload.data() + 4, image, file.record_length());
  return p.disk->Append(e);
}

Status TransactionState::AfterAppend(JournaledTable& file, uint32_t recno) {
  auto participant = ParticipantOf(file);
  if (!participant.ok()) return participant.status();
  Participant& p = *participant.value();
  cursor::TableLocks& locks = *p.table->locks;
  if (!locks.exclusive() && !locks.holds_table() && locks.LockRecord(recno).ok())
    locks.PinRecord(recno);
  JournalEntry e;
  e.kind = EntryKind::kAppended;
  e.recno = recno;
  // The record is in the table already: the step is remembered before its journal entry is
  // written, so that a rollback takes the record back also when that write fails.
  // Later writes of the new record need no before-image: undoing the append covers them.
  imaged.insert({&file, recno});
  steps.push_back(UndoStep{&p, e});
  ACE_RETURN_IF_ERROR(NoteIndexFiles(p));
  return p.disk->Append(e);
}

Status TransactionState::UndoTo(size_t position) {
  // One index set per table for the whole undo, so every index seen in the transaction is kept
  // in step.
  std::vector<std::pair<Participant*, std::unique_ptr<UndoIndexes>>> sets;
  std::set<UndoIndexes*> out_of_step;
  Status first;
  while (steps.size() > position) {
    UndoStep& step = steps.back();
    UndoIndexes* ix = nullptr;
    for (auto& [p, set] : sets) {
      if (p == step.participant) ix = set.get();
    }
    if (ix == nullptr) {
      auto set =
          std::make_unique<UndoIndexes>(*step.participant->table, step.participant->file->inner());
      std::set<std::string> paths = step.participant->index_paths;
      const std::string structural = cursor::TableIndexes::StructuralPath(
          step.participant->file->path(), step.participant->file->type());
      if (!structural.empty()) paths.insert(structural);
      Status s = set->Open(paths);
      if (!s.ok() && first.ok()) first = s;
      ix = set.get();
      sets.emplace_back(step.participant, std::move(set));
    }
    storage::TableFile& raw = step.participant->file->inner();
    // The runs the undo gives back leave the commit's list, whether or not the undo succeeds
    // (one given back twice could belong to another record by then).
    auto held = held_memos.find({step.participant->file, step.entry.recno});
    std::vector<std::byte> current(raw.record_length());
    const bool read = held != held_memos.end() && step.entry.kind != EntryKind::kIndexFile &&
                      step.entry.recno >= 1 && step.entry.recno <= raw.record_count() &&
                      raw.ReadRecord(step.entry.recno, current.data()).ok();
    bool damaged = false;
    Status s = UndoEntry(raw, ix->indexes(), step.entry, &damaged);
    if (read) {
      std::vector<std::byte> target =
          step.entry.kind == EntryKind::kBeforeImage ? step.entry.payload : raw.BlankRecord();
      const std::vector<std::byte> blank = raw.BlankRecord();
      const auto kept = MemoPointers(raw, target, blank);
      for (const auto& pointer : MemoPointers(raw, current, blank)) {
        if (std::find(kept.begin(), kept.end(), pointer) == kept.end()) held->second.erase(pointer);
      }
    }
    if (!s.ok() && first.ok()) first = s.WithContext("rollback");
    if (damaged) out_of_step.insert(ix);
    steps.pop_back();
  }
  for (auto& [p, set] : sets) {
    Status s = p->file->inner().Flush();
    // Indexes that the undo could not keep in step are rebuilt from the restored records.
    if (s.ok() && out_of_step.count(set.get()) != 0)
      s = set->indexes()->ReindexAll().WithContext("rollback");
    if (!s.ok() && first.ok()) first = s;
  }
  return first;
}

namespace {

// Gives back the memo runs that the records of file held in the transaction and hold no more.
// Best effort: a run that cannot be given back stays allocated until the table is packed.
void ReleaseHeldMemos(JournaledTable& file,
                      const std::map<std::pair<JournaledTable*, uint32_t>,
                                     std::set<std::pair<uint32_t, std::string>>>& held_memos) {
  storage::TableFile& raw = file.inner();
  std::vector<std::byte> current(raw.record_length());
  bool released = false;
  for (const auto& [key, pointers] : held_memos) {
    if (key.first != &file || pointers.empty()) continue;
    if (raw.RefreshHeader().ok() && key.second > raw.record_count()) continue;
    if (!raw.ReadRecord(key.second, current.data()).ok()) continue;
    for (const auto& [offset, bytes] : pointers) {
      if (std::memcmp(current.data() + offset, bytes.data(), bytes.size()) == 0) continue;
      for (const storage::FieldDesc& f : raw.fields()) {
        if (f.offset != offset || !storage::IsMemoType(f.type, raw.type())) continue;
        std::vector<std::byte> image = current;
        std::memcpy(image.data() + offset, bytes.data(), bytes.size());
        released = raw.WriteMemo(image.data(), f, {}, storage::MemoKind::kText).ok() || released;
      }
    }
  }
  if (released) (void)raw.Flush();
}

}  // namespace

Status TransactionState::Finish(bool keep_journals, bool committed) {
  Status first;
  for (auto& p : participants) {
    Status s = p->file->inner().Flush();
    if (s.ok() && !keep_journals) s = p->disk->Remove();
    if (!s.ok() && first.ok()) first = s;
    // Only with the journal gone may the runs a rollback would need be given back.
    if (s.ok() && committed && !keep_journals) ReleaseHeldMemos(*p->file, held_memos);
    p->table->locks->ReleasePins();
  }
  participants.clear();
  steps.clear();
  savepoints.clear();
  imaged.clear();
  held_memos.clear();
  active = false;
  return first;
}

}  // namespace ace::txn
