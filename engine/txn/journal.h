// The pieces of a transaction that touch files: the journal file on disk, the wrapper that
// journals the writes of a table file, and the undo of journal entries (shared by rollback and
// the recovery of crashed transactions). See transaction.h for the contract.
//
// Journal file "<table file>.<owner>.tjl" (all numbers little-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       8     magic "VTXNJRN" and the format version 1
//   8       4     record length of the table
//   12      20    reserved, 0
//   32      ...   entries, each:
//     0       1     kind: 1 before-image of a record, 2 appended record, 3 index file open,
//                   4 append about to happen
//     1       3     reserved, 0
//     4       4     record number (kind 3: 0; kind 4: the number the append is expected to take)
//     8       4     payload length n (kind 1: the record length; 2: 0; 3: path bytes; 4: 4 plus
//                   the record length)
//     12      n     payload (kind 1: the record image; kind 3: the index file's path; kind 4:
//                   the table's record count before the append, then the image appended)
//     12+n    4     CRC-32 of bytes 0 .. 12+n
// An append is journaled twice: kind 4 before the table grows, kind 2 once it has. A journal
// whose last append has no kind 2 was cut between the two: the recovery looks for the record
// among the new ones and takes it back when it finds it.
// Byte 0 of the file carries a write lock (open file description lock) while its transaction
// lives. An entry cut short or with a wrong CRC ends the journal (a crash during its write: the
// table write it protected never happened).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/base/file.h"
#include "engine/base/status.h"
#include "engine/cursor/connection.h"
#include "engine/storage/table_file.h"

namespace ace::txn {

inline constexpr char kJournalMagic[8] = {'V', 'T', 'X', 'N', 'J', 'R', 'N', 1};
inline constexpr size_t kJournalHeaderSize = 32;
inline constexpr size_t kEntryHeaderSize = 12;
inline constexpr const char* kJournalExtension = ".tjl";

enum class EntryKind : uint8_t { kBeforeImage = 1, kAppended = 2, kIndexFile = 3, kAppendIntent = 4 };

struct JournalEntry {
  EntryKind kind = EntryKind::kBeforeImage;
  uint32_t recno = 0;
  std::vector<std::byte> payload;
};

// One journal file, created and locked for a live transaction.
class DiskJournal {
 public:
  static Result<std::unique_ptr<DiskJournal>> Create(const std::string& table_path,
                                                     uint32_t record_length);
  ~DiskJournal();  // closes (the file stays unless Remove was called)
  // Appends an entry and flushes it to disk before answering.
  Status Append(const JournalEntry& entry);
  // Deletes the file (the end of its transaction).
  Status Remove();
  const std::string& path() const { return file_.path(); }

 private:
  DiskJournal(File file) : file_(std::move(file)) {}
  File file_;
  uint64_t end_ = kJournalHeaderSize;
};

// Reads a journal's entries; a damaged header or a record length other than the table's is
// kErrCorruptFile.
Result<std::vector<JournalEntry>> ReadJournal(const File& file, uint32_t record_length);

// A journal whose last append intent (kind 4) has no appended entry after it was cut between
// the two: answers the number of the record that append wrote (one of the records new since
// the intent, or the place it expected, holding the image it named, live), or 0 when the
// append never reached the table.
Result<uint32_t> FindInterruptedAppend(storage::TableFile& raw,
                                       const std::vector<JournalEntry>& entries);

// The index files to keep in step while undoing: those open on the table plus the paths given;
// the files this object opened are released when it goes.
class UndoIndexes {
 public:
  UndoIndexes(cursor::SharedTable& table, storage::TableFile& raw);
  ~UndoIndexes();
  Status Open(const std::set<std::string>& paths);
  cursor::TableIndexes* indexes() { return indexes_; }

 private:
  cursor::TableIndexes* indexes_ = nullptr;
  std::unique_ptr<cursor::TableIndexes> own_;
  std::vector<index::IndexFile*> opened_;
};

// Undoes one entry on the unwrapped table file: a before-image is written back, an appended
// record becomes a deleted blank one that keeps its (blank) keys like every deleted record (as a
// rebuild of the indexes gives them); memo blocks that the entry's record holds now and the
// restored image does not are given back to the memo file. When the entry's keys cannot be
// carried into indexes (they were out of step with the record), the record is restored all the
// same and *indexes_out_of_step set, so that the caller rebuilds them; without that pointer
// the failure is answered.
Status UndoEntry(storage::TableFile& raw, cursor::TableIndexes* indexes, const JournalEntry& entry,
                 bool* indexes_out_of_step = nullptr);

class JournaledTable;

// A table written in the active transaction.
struct Participant {
  std::shared_ptr<cursor::SharedTable> table;  // keeps the file, its locks and indexes open
  JournaledTable* file = nullptr;
  std::unique_ptr<DiskJournal> disk;
  std::set<std::string> index_paths;  // every index file seen open during a write
};

// One undoable step, in the order of the writes.
struct UndoStep {
  Participant* participant = nullptr;
  JournalEntry entry;
};

// The transaction of one connection, shared by its manager and the wrappers of its tables.
class TransactionState {
 public:
  bool active = false;
  std::vector<std::unique_ptr<Participant>> participants;
  std::vector<UndoStep> steps;
  struct Savepoint {
    std::string name;
    size_t position;
  };
  std::vector<Savepoint> savepoints;
  // Records with a before-image since the latest savepoint.
  std::set<std::pair<const JournaledTable*, uint32_t>> imaged;
  // The memo pointers (field offset, pointer bytes) each record written in the transaction has
  // held before one of its writes: the runs that the commit gives back when the record no
  // longer points at them. Runs an undo gave back already are taken out.
  std::map<std::pair<JournaledTable*, uint32_t>, std::set<std::pair<uint32_t, std::string>>>
      held_memos;

  // Called by a wrapper before it writes record recno: locks and pins the record and journals
  // its before-image (once per savepoint interval).
  Status BeforeWrite(JournaledTable& file, uint32_t recno);
  // Called before a record is appended: journals the append to come (kind 4).
  Status BeforeAppend(JournaledTable& file, const std::byte* image);
  // Called after a record was appended (number recno).
  Status AfterAppend(JournaledTable& file, uint32_t recno);

  Result<Participant*> ParticipantOf(JournaledTable& file);
  // Undoes the steps from the end down to position (in memory and for the tables).
  Status UndoTo(size_t position);
  // Ends the transaction: tables flushed, journals removed (kept on disk with keep_journals, so
  // that the next open rolls back what a failed undo left), pins released, tables let go. A
  // commit then gives back the memo runs its records held and hold no more (once the journal
  // is gone, nothing can bring them back); one that cannot be given back stays allocated until
  // the table is packed.
  Status Finish(bool keep_journals, bool committed = false);
};

// The wrapper of a table file opened by a connection with transactions (see transaction.h).
class JournaledTable : public storage::TableFile {
 public:
  JournaledTable(std::unique_ptr<storage::TableFile> inner, std::weak_ptr<TransactionState> state,
                 std::weak_ptr<cursor::SharedTable> shared)
      : inner_(std::move(inner)), state_(std::move(state)), shared_(std::move(shared)) {}

  storage::TableFile& inner() { return *inner_; }
  std::weak_ptr<cursor::SharedTable> shared() const { return shared_; }

  storage::TableType type() const override { return inner_->type(); }
  const std::string& path() const override { return inner_->path(); }
  const std::string& memo_path() const override { return inner_->memo_path(); }
  const std::vector<storage::FieldDesc>& fields() const override { return inner_->fields(); }
  uint32_t record_length() const override { return inner_->record_length(); }
  uint16_t memo_block_size() const override { return inner_->memo_block_size(); }
  const storage::FieldDesc* null_flags_field() const override { return inner_->null_flags_field(); }
  File& data_file() override { return inner_->data_file(); }
  uint32_t record_count() const override { return inner_->record_count(); }
  Status RefreshHeader() override { return inner_->RefreshHeader(); }
  std::vector<std::byte> BlankRecord() const override { return inner_->BlankRecord(); }
  Status ReadRecord(uint32_t recno, std::byte* image) override {
    return inner_->ReadRecord(recno, image);
  }
  Status ReadRecords(uint32_t first, uint32_t count, std::byte* images) override {
    return inner_->ReadRecords(first, count, images);
  }
  Status WriteRecord(uint32_t recno, const std::byte* image) override;
  Result<uint32_t> AppendRecord(const std::byte* image) override;
  Result<uint32_t> NextAppendRecno() override { return inner_->NextAppendRecno(); }
  Result<uint32_t> AppendReplacing(const std::byte* image,
                                   std::vector<std::byte>* replaced) override;
  bool IsDeleted(const std::byte* image) const override { return inner_->IsDeleted(image); }
  void SetDeleted(std::byte* image, bool deleted) const override {
    inner_->SetDeleted(image, deleted);
  }
  Result<std::vector<uint8_t>> ReadMemo(const std::byte* image,
                                        const storage::FieldDesc& field) override {
    return inner_->ReadMemo(image, field);
  }
  Status WriteMemo(std::byte* image, const storage::FieldDesc& field, std::span<const uint8_t> data,
                   storage::MemoKind kind) override;
  // Pending memo blocks are the edit's own, so they need no journal.
  Status WritePendingMemo(std::byte* image, const storage::FieldDesc& field,
                          std::span<const uint8_t> data, storage::MemoKind kind) override {
    return inner_->WritePendingMemo(image, field, data, kind);
  }
  // Inside a transaction the record is written like any other (the blocks it replaces stay, for
  // a rollback); outside, posting reclaims them.
  Status PostRecord(uint32_t recno, const std::byte* image) override;
  Status DiscardPendingMemos(const std::byte* image) override {
    return inner_->DiscardPendingMemos(image);
  }
  // Inside a transaction the replaced runs stay for a rollback (its commit gives them back).
  Status ReclaimMemos(uint32_t recno, const std::byte* before, bool move_back) override;
  Result<uint32_t> MemoLength(const std::byte* image, const storage::FieldDesc& field) override {
    return inner_->MemoLength(image, field);
  }
  Result<storage::MemoKind> MemoType(const std::byte* image,
                                     const storage::FieldDesc& field) override {
    return inner_->MemoType(image, field);
  }
  Status Zap() override;
  Status Pack() override;
  Status Flush() override { return inner_->Flush(); }
  const storage::TableFile* Unwrapped() const override { return inner_->Unwrapped(); }
  // Encryption changes the form records are stored in, not their contents: no journal.
  bool encrypted() const override { return inner_->encrypted(); }
  const crypt::KeyParams* key_params() const override { return inner_->key_params(); }
  Status SetKey(std::shared_ptr<const crypt::TableKey> key) override {
    return inner_->SetKey(std::move(key));
  }
  bool has_key() const override { return inner_->has_key(); }
  std::shared_ptr<const crypt::TableKey> key() const override { return inner_->key(); }
  Status SetKeyParams(const crypt::KeyParams* params) override {
    return inner_->SetKeyParams(params);
  }
  Result<bool> IsRecordEncrypted(uint32_t recno) override {
    return inner_->IsRecordEncrypted(recno);
  }
  Status EncodeRecord(uint32_t recno, bool encrypt) override {
    return inner_->EncodeRecord(recno, encrypt);
  }

 private:
  Status RefuseEncrypted() const;

  std::unique_ptr<storage::TableFile> inner_;
  std::weak_ptr<TransactionState> state_;
  std::weak_ptr<cursor::SharedTable> shared_;
};

}  // namespace ace::txn
