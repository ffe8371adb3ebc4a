// A cursor over one table file: open options, position (before the first record, on a record,
// after the last), the engine's copy of the current record with its pending changes, and the
// record and table locks of its connection's user. The order is the natural (record number)
// order; deleted records are hidden unless ShowDeleted is on. Filters, scopes and index orders
// plug in through IsVisible and the Step/First/Last primitives.
//
// Field values are converted elsewhere (engine/fields); the cursor hands out the record image
// and the FieldDesc of a field, and takes changed images back.
//
// Not thread-safe: a cursor belongs to its connection's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/base/status.h"
#include "engine/cursor/connection.h"

namespace ace::cursor {

// The process-wide show-deleted setting (deleted records are hidden by default).
void SetShowDeleted(bool show);
bool ShowDeleted();

// Counting and numbering options of AdsGetRecordCount / AdsGetRecordNum.
inline constexpr uint16_t kRespectFilters = 1;
inline constexpr uint16_t kIgnoreFilters = 2;
inline constexpr uint16_t kRespectScopes = 3;
inline constexpr uint16_t kFreshCount = 4;

class Cursor {
 public:
  Cursor(std::shared_ptr<SharedTable> table, const OpenTableOptions& options);
  ~Cursor();  // best effort: pending changes are written, failures are lost (Close reports them)
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;

  // Writes pending changes and releases the table; the cursor is unusable afterwards.
  Status Close();
  bool closed() const { return table_ == nullptr; }

  storage::TableFile& file() { return *table_->file; }
  const storage::TableFile& file() const { return *table_->file; }
  TableLocks& locks() { return *table_->locks; }
  const OpenTableOptions& options() const { return options_; }
  const std::string& path() const { return table_->path; }
  bool read_only() const { return options_.read_only; }
  bool exclusive() const { return table_->locks->exclusive(); }

  // ---- Navigation. Each move first writes pending changes (and fails, not moving, when that
  // fails).
  Status GotoTop();
  Status GotoBottom();
  Status GotoBof();
  Status GotoEof();
  Status Skip(int32_t count);
  // Positions on record recno whether or not it is visible; recno 0 or past the end goes to
  // EOF and answers kErrInvalidRecordNumber.
  Status GotoRecord(uint32_t recno);
  // Re-reads the current record from the file, dropping pending changes.
  Status Refresh();

  bool at_bof() const { return bof_; }
  bool at_eof() const { return eof_; }
  // True when the cursor stands on a record (or on a new record being appended).
  bool has_record() const { return appending_ || recno_ != 0; }
  bool appending() const { return appending_; }
  // The current record number, 0 when there is none (BOF, EOF, a new record not yet written).
  uint32_t recno() const { return appending_ ? 0 : recno_; }
  Result<bool> CurrentVisible() const;

  Result<uint32_t> RecordCount(uint16_t option);
  // The current record's number (kIgnoreFilters) or its position among the visible records.
  Result<uint32_t> RecordNumber(uint16_t option);
  Result<double> RelativePosition();
  Status SetRelativePosition(double position);

  // ---- The current record. record() is the engine's copy, with pending changes; Edit hands
  // it out for a change (kErrNoCurrentRecord without a record, kErrTableReadOnly on a read-only
  // open) and marks it changed.
  const std::vector<std::byte>& record() const { return record_; }
  Result<std::byte*> Edit();
  bool dirty() const { return dirty_; }

  Status BeginAppend();
  Status WriteRecord();
  Status CancelUpdate();
  Status DeleteRecord();
  Status RecallRecord();
  Result<bool> IsDeleted() const;
  // CRC-32 of the current record image as it is in the file (option 1: with pending changes).
  Result<uint32_t> RecordCrc(uint32_t option) const;
  // The record image of the last record this cursor appended, as the file holds it.
  const std::vector<std::byte>& last_appended() const { return last_appended_; }

  // ---- Locks (recno 0 = the current record).
  Status LockRecord(uint32_t recno);
  Status UnlockRecord(uint32_t recno);
  Status LockTable();
  Status UnlockTable();

  // ---- Whole-table operations (the caller made sure the table is open exclusively).
  Status Zap();
  Status Pack();

  // Restricts the cursor to a set of records (sorted record numbers; the rows of a live SQL
  // result): other records are invisible, also to counts that ignore filters. nullptr lifts it.
  void RestrictTo(std::shared_ptr<const std::vector<uint32_t>> records);

  // Records are read through this, so a cache or a filter can plug in.
  Status ReadRecord(uint32_t recno, std::vector<std::byte>* image) const;

 private:
  bool Visible(uint32_t recno, const std::vector<std::byte>& image) const;
  // Finds the next visible record from recno in direction step (+1/-1); 0 when there is none.
  Result<uint32_t> Find(uint32_t recno, int step, std::vector<std::byte>* image) const;
  Status Position(uint32_t recno, std::vector<std::byte> image);
  Status FlushPending();
  Status RefreshCount();
  Status EnsureWritable() const;

  std::shared_ptr<SharedTable> table_;
  OpenTableOptions options_;
  uint32_t recno_ = 0;
  bool bof_ = true;
  bool eof_ = true;
  bool appending_ = false;
  bool dirty_ = false;
  std::vector<std::byte> record_;
  std::vector<std::byte> last_appended_;
  std::shared_ptr<const std::vector<uint32_t>> restriction_;
};

// CRC-32 (the common polynomial 0xEDB88320) of a byte range.
uint32_t Crc32(const std::byte* data, size_t n);

}  // namespace ace::cursor
