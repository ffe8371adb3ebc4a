// A cursor over one table file: open options, position (before the first record, on a record,
// after the last), the engine's copy of the current record with its pending changes, and the
// record and table locks of its connection's user. The order is the natural (record number)
// order or, after SetOrder, the walking order of an index tag, with the tag's scopes; deleted
// records are hidden unless ShowDeleted is on, and a filter hides the records it is false for.
// Every record write maintains every index file open on the table (TableIndexes, shared by
// the connection's cursors of the file); the orders, seeks, scopes and the filter are in
// cursor_order.cpp.
//
// Field values are converted elsewhere (engine/fields); the cursor hands out the record image
// and the FieldDesc of a field, and takes changed images back.
//
// Not thread-safe: a cursor belongs to its connection's thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"
#include "engine/cursor/connection.h"
#include "engine/cursor/table_indexes.h"
#include "engine/expr/aof.h"
#include "engine/expr/expression.h"
#include "engine/index/table_record_source.h"

namespace ace::cursor {

// The process-wide show-deleted setting (deleted records are hidden by default).
void SetShowDeleted(bool show);
bool ShowDeleted();

// Counting and numbering options of AdsGetRecordCount / AdsGetRecordNum.
inline constexpr uint16_t kRespectFilters = 1;
inline constexpr uint16_t kIgnoreFilters = 2;
inline constexpr uint16_t kRespectScopes = 3;
inline constexpr uint16_t kFreshCount = 4;

// Records a skip may serve before asking the file again, unless the caller sets another number.
inline constexpr uint16_t kStandardRecordCache = 10;

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

  // The record cache of natural-order skips: after the file was asked whether other users
  // changed the table, up to records - 1 further records are skipped to without asking again,
  // so a shared scan reads the header once per that many records instead of once per record.
  // Records served so are the ones the file held at most that many moves ago. 0 and 1 ask at
  // every move. Every other move, a lock, a refresh and a skip that runs out of records ask.
  void SetRecordCache(uint16_t records) { record_cache_ = records; }

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
  // CRC-32 of the current record's content as it is in the file (option 1: with pending
  // changes): the image with each memo field's pointer replaced by the memo's length and value,
  // so the sum changes exactly when a value (memo values included) or the deletion mark does.
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

  // ---- Index files and orders (cursor_order.cpp). Tags handed out stay valid while the file
  // that holds them is open on this cursor.
  // Opens the structural index once (every move and write calls it first).
  Status OpenIndexes();
  // Opens an index file for this cursor; answers its tags. A file this cursor opened already is
  // kErrIndexAlreadyOpen.
  Result<std::vector<index::Tag*>> OpenIndexFile(const std::string& path);
  // Creates (or adds a tag to) an index file and opens it on this cursor.
  Result<index::Tag*> CreateIndex(const std::string& path, const index::TagDefinition& def,
                                  uint32_t page_size);
  // Closes the file of a tag for this cursor (also the structural one); the order returns to
  // natural when it lived there.
  Status CloseIndexFile(index::IndexFile* file);
  Status CloseAllIndexes();
  // Removes a tag from its file, or the whole file when it is the file's only tag.
  Status DeleteIndex(index::Tag* tag);
  // Rebuilds every index file open on this cursor.
  Status Reindex();
  // The tags of the files open on this cursor, structural index first, in opening order.
  std::vector<index::Tag*> Tags() const;
  index::IndexFile* FileOf(const index::Tag* tag) const;
  // The order of the moves that follow (nullptr: natural order).
  void SetOrder(index::Tag* tag) { order_ = tag; }
  index::Tag* order() const { return order_; }

  // Scopes of a tag (which 1 top, 2 bottom) as encoded keys or key prefixes
  // (expr::EncodeKey / EncodeKeyFromText form, before descending inversion).
  Status SetScope(index::Tag* tag, uint16_t which, std::string encoded);
  // nullptr when the scope is not set.
  const std::string* Scope(const index::Tag* tag, uint16_t which) const;
  // kErrNoScope when it was not set.
  Status ClearScope(index::Tag* tag, uint16_t which);
  void ClearAllScopes();

  // Seeks in tag's order for an encoded key or key prefix. exact: only a record whose key
  // starts with it, else EOF and false; not exact: the first key at or after it (EOF when
  // there is none), answering whether it starts with the sought key. Scopes, the filter and
  // deleted records are honoured. The order becomes tag.
  Result<bool> Seek(index::Tag* tag, std::string_view encoded, bool exact);
  // The last record whose key starts with the sought key; EOF and false when there is none.
  Result<bool> SeekLast(index::Tag* tag, std::string_view encoded);
  // Keys of tag: kIgnoreFilters all of them; kRespectScopes those within the scopes;
  // kRespectFilters those within the scopes whose records are visible.
  Result<uint32_t> KeyCount(index::Tag* tag, uint16_t option);
  // The current record's place among the keys counted as KeyCount counts them (1-based);
  // 0 without a current record or when the record has no key in the tag.
  Result<uint32_t> KeyNumber(index::Tag* tag, uint16_t option);
  // The encoded key of the current record (with pending changes) in tag.
  Result<std::string> CurrentKey(index::Tag* tag);

  // ---- Filter: a logical expression; records for which it is false (or null) are hidden.
  // A text that does not compile against the table's fields or is not logical is
  // kErrInvalidExpression naming the position; the previous filter stays then.
  Status SetFilter(std::string_view text);
  // kErrNoFilter when none is set.
  Status ClearFilter();
  const std::string& filter_text() const { return filter_text_; }
  bool has_filter() const { return filter_ != nullptr; }
  // Exact string comparison (AdsSetExact22) for the filter and evaluations.
  void set_exact(bool exact) { exact_ = exact; }
  bool exact() const { return exact_; }
  expr::EvalOptions EvalOptions() const;
  // The current record (with pending changes) as the expression language sees it.
  const index::TableRecordSource& CurrentSource();

  // ---- Optimized filter (cursor_filter.cpp): a record set computed from the filter, from
  // the open indexes where its terms allow (tags without FOR condition, custom or unique
  // flag, in machine order) and by reading records otherwise. options: kAofDynamic (records
  // are re-tested as they are read), kAofKeyset (the set taken at resolution, each member
  // re-tested), kAofFixed (the set taken at resolution, as it is); plus kAofResolveImmediate
  // (computed now) or kAofResolveDynamic (computed when first needed). It applies together
  // with the plain filter. A bad text is kErrInvalidExpression and the previous one stays.
  Status SetAof(std::string_view text, uint32_t options);
  // kErrNoFilter when none is set.
  Status ClearAof();
  // Computes the set again from the table as it is now (customizations are dropped).
  Status RefreshAof();
  bool has_aof() const { return aof_ != nullptr; }
  const std::string& aof_text() const;
  // The optimization level of the optimized filter (kErrNoFilter without one) or of a text,
  // with the part of the filter the indexes do not answer ("" when all of it).
  Result<expr::OptLevel> AofOptLevel(std::string* unoptimized);
  Result<expr::OptLevel> EvalAofLevel(std::string_view text, std::string* unoptimized);
  // Adds (1), removes (2) or toggles (3) records in the optimized filter's set; they then stay
  // in or out whatever their values. Record numbers outside the table are kErrInvalidRecordNumber.
  Status CustomizeAof(const std::vector<uint32_t>& records, uint16_t option);
  // Whether the record (0: the current one) belongs to the optimized filter's set now.
  Result<bool> IsRecordInAof(uint32_t recno);

  // ---- Locate: the first visible record in the current order for which the logical
  // expression holds, from the top (forward) or the bottom; Continue goes on from the current
  // record in the same direction. Not found: the cursor stands at EOF (forward) or BOF.
  Result<bool> Locate(std::string_view text, bool forward);
  Result<bool> Continue();

  // Whether tag holds a key starting with the encoded key (or prefix) whose record is
  // visible and within the tag's scopes; the cursor does not move.
  Result<bool> LookupKey(index::Tag* tag, std::string_view encoded);

 private:
  Result<bool> Visible(uint32_t recno, const std::vector<std::byte>& image) const;
  // Finds the next visible record from recno in direction step (+1/-1); 0 when there is none.
  Result<uint32_t> Find(uint32_t recno, int step, std::vector<std::byte>* image) const;
  Status Position(uint32_t recno, std::vector<std::byte> image);
  Status FlushPending();
  Status RefreshCount();
  // Whether a natural-order skip of count records may go without RefreshCount (and counts it).
  bool SkipFromCache(int32_t count);
  Status EnsureWritable() const;
  Status StaticView() const;  // the refusal of a change or lock of a static result

  std::shared_ptr<SharedTable> table_;
  OpenTableOptions options_;
  uint32_t recno_ = 0;
  bool bof_ = true;
  bool eof_ = true;
  bool appending_ = false;
  bool dirty_ = false;
  std::vector<std::byte> record_;
  std::vector<std::byte> spare_;  // a record buffer for the next move to read into
  std::vector<std::byte> last_appended_;
  std::shared_ptr<const std::vector<uint32_t>> restriction_;
  uint16_t record_cache_ = kStandardRecordCache;
  uint32_t unchecked_moves_ = 0;  // records skipped to since the header was last asked

  // Index orders, scopes and filter (cursor_order.cpp).
  struct OrderHit {
    uint32_t recno = 0;  // 0: none
    index::TreePosition pos;
  };
  TableIndexes& indexes();
  Status RefreshIndexes();
  // Writes one record image through the table and every open index.
  Status WriteThrough(uint32_t recno, const std::byte* image);
  Result<uint32_t> AppendThrough(const std::byte* image);
  int ScopeSide(const index::Tag* tag, std::string_view stored_key) const;
  Result<OrderHit> FindInOrder(index::TreePosition pos, int step, std::vector<std::byte>* image);
  Result<index::TreePosition> OrderStart(int step);
  Result<index::TreePosition> OrderAfterCurrent(int step);
  Result<uint32_t> FindFirst(int step, std::vector<std::byte>* image);
  Result<uint32_t> FindFirstOnce(int step, std::vector<std::byte>* image);
  Status SkipInOrder(int32_t count);
  Status SkipInOrderOnce(int32_t count);
  Result<bool> SeekOnce(index::Tag* tag, std::string_view encoded, bool exact);
  Result<bool> SeekLastOnce(index::Tag* tag, std::string_view encoded);
  Result<uint32_t> KeyCountOnce(index::Tag* tag, uint16_t option);
  Result<uint32_t> KeyNumberOnce(index::Tag* tag, uint16_t option);
  // Runs a walk of tag's tree; when it met a damaged page while another user may have been
  // writing the file, runs it once more under the file's lock for reading, and answers that.
  template <typename Walk>
  auto WalkingUnderWrites(index::Tag* tag, Walk&& walk) -> decltype(walk());
  bool OrderUsable() const;

  bool indexes_opened_ = false;
  std::vector<index::IndexFile*> my_files_;  // one entry per opening by this cursor
  index::Tag* order_ = nullptr;
  struct Scopes {
    std::optional<std::string> top, bottom;  // encoded, as given
  };
  std::map<const index::Tag*, Scopes> scopes_;
  std::unique_ptr<expr::Expression> filter_;
  std::string filter_text_;
  bool exact_ = false;
  std::unique_ptr<index::TableRecordSource> source_;
  mutable std::unique_ptr<index::TableRecordSource> probe_;  // for visibility tests

  // Optimized filter and locate (cursor_filter.cpp).
  struct AofState {
    std::unique_ptr<expr::Expression> expr;
    std::string text;
    uint32_t kind = 0;      // kAofDynamic, kAofKeyset or kAofFixed
    bool resolved = false;  // members is computed
    expr::OptLevel level = expr::OptLevel::kNone;
    std::string unoptimized;
    // Per record (index recno - 1): 0 out, 1 in, 2 added by hand, 3 removed by hand.
    std::vector<uint8_t> members;
  };
  Result<bool> AofAdmits(uint32_t recno, const std::vector<std::byte>& image) const;
  Status ResolveAof() const;
  Result<bool> AofHolds(uint32_t recno, const std::vector<std::byte>& image) const;
  // Index-resolvable tags of this cursor and their key expressions.
  std::vector<index::Tag*> AofTags() const;
  // Record numbers change (pack, zap): the set is computed again when next needed.
  void InvalidateAof();
  Result<bool> LocateFrom(int step);
  std::unique_ptr<AofState> aof_;
  std::unique_ptr<expr::Expression> locate_;
  int locate_step_ = 1;
};

// Options of Cursor::SetAof.
inline constexpr uint32_t kAofResolveImmediate = 1;
inline constexpr uint32_t kAofResolveDynamic = 2;
inline constexpr uint32_t kAofDynamic = 0;
inline constexpr uint32_t kAofKeyset = 4;
inline constexpr uint32_t kAofFixed = 8;

// CRC-32 (the common polynomial 0xEDB88320) of a byte range.
uint32_t Crc32(const std::byte* data, size_t n);

}  // namespace ace::cursor
