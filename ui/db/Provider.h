// The data-provider interface of the framework: how a client-dataset layer reads a dataset,
// hands its changes back and runs statements on the dataset's database.
//
//   IProviderSupport   what a provider asks a dataset (quote character, SQL support,
//                      transactions, reset, one update, statements, key fields, table name,
//                      command text, default order, index definitions, parameters). Its own
//                      answers are those of a dataset that knows none of it; a dataset that
//                      does derives from it and answers for itself.
//   TPacketDataSet     an in-memory dataset of rows in the fields' native forms that records
//                      the changes made to it (the change log) and hands them out as a delta:
//                      a packet of the changed rows, each with its update kind and its
//                      original values.
//   TDataSetProvider   reads a dataset into a packet and applies a delta to the dataset: in a
//                      transaction of the dataset, each row first offered to the dataset
//                      (PSUpdateRecord), else written by generated SQL (SQL-based datasets) or
//                      through the dataset's own editing.
//
// Errors are EDatabaseError with German texts. One thread at a time per object.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/db/DBParams.h"
#include "ui/db/DataSet.h"

enum TUpdateKind { ukModify, ukInsert, ukDelete };
enum TUpdateAction { uaFail, uaAbort, uaSkip, uaRetry, uaApplied };
// Which records a client dataset shows (cached-update datasets filter by them).
enum TUpdateRecordType { rtModified, rtInserted, rtDeleted, rtUnmodified };
using TUpdateRecordTypes = TSet<TUpdateRecordType>;
// A dataset's handler of one update of a delta: UpdateAction starts as uaFail; uaApplied says
// the handler wrote the change itself.
using TUpdateRecordEvent =
    std::function<void(TDataSet* DataSet, TUpdateKind UpdateKind, TUpdateAction& UpdateAction)>;

class IProviderSupport {
 public:
  virtual ~IProviderSupport() = default;

  // The character that quotes identifiers in generated SQL; empty: none.
  virtual std::string PSGetQuoteChar() { return ""; }
  virtual bool PSIsSQLBased() { return false; }
  virtual bool PSIsSQLSupported() { return false; }
  virtual bool PSInTransaction() { return false; }
  virtual void PSStartTransaction() {}
  virtual void PSEndTransaction(bool Commit) { (void)Commit; }
  // Before the provider reads the dataset from its start.
  virtual void PSReset() {}
  // Offers one row of Delta (its current record) to the dataset; True when the dataset applied
  // it, False to let the provider apply it its own way.
  virtual bool PSUpdateRecord(TUpdateKind UpdateKind, TDataSet* Delta) {
    (void)UpdateKind;
    (void)Delta;
    return false;
  }
  // Runs ASQL with AParams (by position; may be nullptr) on the dataset's database and answers
  // the rows affected. With ResultSet the caller asks for the statement's rows: *ResultSet gets
  // a dataset the caller owns. The framework's answer: EDatabaseError (no SQL).
  virtual int32_t PSExecuteStatement(const std::string& ASQL, TParams* AParams,
                                     std::unique_ptr<TDataSet>* ResultSet = nullptr);
  // Runs the dataset's own command; the framework's answer: EDatabaseError.
  virtual void PSExecute();
  // The key fields ("A;B") that identify a row for an update; empty: none known.
  virtual std::string PSGetKeyFields() { return ""; }
  // The table that updates go to; empty: none.
  virtual std::string PSGetTableName() { return ""; }
  virtual std::string PSGetCommandText() { return ""; }
  virtual void PSSetCommandText(const std::string& CommandText) { (void)CommandText; }
  // The order the rows come in, as a definition the caller owns; nullptr: none.
  virtual std::unique_ptr<TIndexDef> PSGetDefaultOrder() { return nullptr; }
  // Copies of the index definitions that have one of IndexTypes (every one when the set is
  // empty); nullptr: the dataset has none.
  virtual std::unique_ptr<TIndexDefs> PSGetIndexDefs(TIndexOptions IndexTypes) {
    (void)IndexTypes;
    return nullptr;
  }
  // The dataset's parameters (owned by the dataset); nullptr: none.
  virtual TParams* PSGetParams() { return nullptr; }
  virtual void PSSetParams(TParams* AParams) { (void)AParams; }
};

// ---- SQL text analysis for provider answers ---------------------------------------------------

// The table of a SELECT's FROM clause (the first one, quotes and brackets removed), or empty
// when the text is no simple SELECT of one table (joins, sub-selects, a list of tables).
std::string GetTableNameFromSQL(const std::string& SQL);
// A definition of the order a SELECT's ORDER BY clause asks for: its fields ("A;B", the
// DataSet's field names), DescFields for the DESC ones, ixDescending when all are, and
// ixCaseInsensitive never. nullptr when there is no ORDER BY, or a part of it is no field of
// DataSet (an expression, a column number, an unknown name).
std::unique_ptr<TIndexDef> GetIndexForOrderBy(const std::string& SQL, TDataSet* DataSet);

// ---- The packet dataset ---------------------------------------------------------------------

// An in-memory dataset: FieldDefs say its fields (set them before the first open); rows hold
// the fields' native values and blob contents. Edits, inserts and deletes are recorded in the
// change log until MergeChangeLog; Delta() hands out the logged changes. In a delta, every row
// carries its update kind (UpdateStatus) and the values it had before the change (OldValue).
class TPacketDataSet : public TDataSet {
  VCL_DECLARE_CLASS(TPacketDataSet, TDataSet)
 public:
  explicit TPacketDataSet(TComponent* AOwner = nullptr);
  ~TPacketDataSet() override;

  // Rows visible to navigation (not the deleted ones).
  int RowCount() const { return static_cast<int>(FRows.size()); }
  // Rows in the change log: modified, inserted and deleted ones.
  int ChangeCount() const;
  // Forgets the change log: the current values become the original ones, deleted rows go.
  void MergeChangeLog();
  // A new, open packet of the logged changes (deletions first, then the other rows in their
  // order), with the same field definitions. The caller owns it.
  std::unique_ptr<TPacketDataSet> Delta();

  // The current record's original value of Field (its value when it has no original) and its
  // new value (Unassigned when the change left it as it was).
  Variant OldValue(TField* Field);
  Variant NewValue(TField* Field);
  bool FieldChanged(TField* Field);
  TUpdateStatus UpdateStatus() override;

  // ---- framework hooks
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  int GetRecordSize() override { return FDataSize; }
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  bool IsCursorOpen() override { return FOpen; }
  bool GetFieldData(TField* Field, void* Buffer) override;
  void SetFieldData(TField* Field, const void* Buffer) override;
  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
  int GetRecordCount() override { return RowCount(); }
  int GetRecNo() override;
  bool BookmarkValid(const TBookmark& Value) override;

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitFieldDefs() override {}
  void InternalFirst() override { FCursor = -1; }
  void InternalLast() override { FCursor = RowCount(); }
  void InternalGotoBookmark(const uint8_t* Bookmark) override;
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  void InternalInitRecord(TRecordBuffer Buffer) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
  void GetBookmarkData(TRecordBuffer Buffer, uint8_t* Data) override;
  void SetBookmarkData(TRecordBuffer Buffer, const uint8_t* Data) override;
  void InternalEdit() override;
  void InternalInsert() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override;

 private:
  friend class TPacketBlobStream;
  struct TRow {
    uint32_t Id = 0;               // stable identity: the bookmark
    std::vector<std::byte> Image;  // the data part of a record buffer
    std::vector<std::optional<TBytes>> Blobs;
    std::vector<std::byte> Original;  // before the change (modified and deleted rows)
    std::vector<std::optional<TBytes>> OriginalBlobs;
    TUpdateStatus Status = usUnmodified;
  };
  struct TSlot {      // where a data field lives in a row's image
    int Offset = -1;  // presence byte, then DataSize bytes; -1 for blob fields
    int Blob = -1;    // index among the blob fields, -1 for the others
  };
  // The record information after the data and calculated-field parts of a buffer.
  struct TInfo {
    uint32_t Id;
    TBookmarkFlag Flag;
  };
  // Copied in and out: the information lies unaligned after the calculated fields.
  TInfo ReadInfo(TRecordBuffer Buffer) const;
  void WriteInfo(TRecordBuffer Buffer, const TInfo& Info) const;
  TRow* RowOf(uint32_t Id);
  int IndexOfId(uint32_t Id) const;
  const TSlot& SlotOf(TField* Field) const;
  // The buffer the current state reads and writes fields in.
  TRecordBuffer StateBuffer() const;
  // A new row from the buffer being inserted, placed where the buffer stands.
  void InsertRow(TRecordBuffer Buffer, bool Append);
  // Copies a row into Dest (a packet with fields of the same names), keeping its status.
  void CopyRowTo(const TRow& Row, TPacketDataSet& Dest) const;

  std::vector<TRow> FRows;
  std::vector<TRow> FDeleted;
  std::vector<TSlot> FSlots;  // by field definition
  std::vector<std::optional<TBytes>> FEditBlobs;
  int FDataSize = 0;
  int FBlobCount = 0;
  int FCursor = -1;  // -1 before the first row, RowCount() after the last
  uint32_t FNextId = 1;
  bool FOpen = false;
};

// ---- The provider ---------------------------------------------------------------------------

// One row of a delta that could not be applied.
struct TUpdateError {
  int Row = 0;  // 0-based, in the delta
  TUpdateKind UpdateKind = ukModify;
  std::string Message;
};

class TDataSetProvider : public TComponent {
  VCL_DECLARE_CLASS(TDataSetProvider, TComponent)
 public:
  explicit TDataSetProvider(TComponent* AOwner = nullptr);
  ~TDataSetProvider() override;

  // The dataset it serves (not owned); it must support the provider interface.
  TDataSet* DataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* Value);
  // Write changes through the dataset's own editing even when it is SQL-based.
  bool ResolveToDataSet() const { return FResolveToDataSet; }
  void SetResolveToDataSet(bool Value) { FResolveToDataSet = Value; }

  // Opens the dataset (when closed), resets it and reads every row from the first into a new
  // packet, which holds no changes. The caller owns the packet.
  std::unique_ptr<TPacketDataSet> GetRecords();
  // Applies the rows of Delta in order inside a transaction of the dataset (one the dataset is
  // already in is left to its owner). A failed row is recorded in Errors and the next row
  // follows; more than MaxErrors failures (-1: no limit) stop the run and roll the transaction
  // back, else it is committed. Answers the number of failures.
  int ApplyUpdates(TPacketDataSet* Delta, int MaxErrors);
  const std::vector<TUpdateError>& Errors() const { return FErrors; }
  // Runs CommandText on the dataset's database (PSExecuteStatement) when it is not empty, else
  // the dataset's own command with Params (PSSetParams, PSExecute); the rows affected (0 for
  // the dataset's own command).
  int32_t Execute(const std::string& CommandText, TParams* Params);

  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  IProviderSupport& Support() const;
  void ApplyRow(TPacketDataSet* Delta, TUpdateKind Kind);
  void ApplyBySQL(TPacketDataSet* Delta, TUpdateKind Kind);
  void ApplyToDataSet(TPacketDataSet* Delta, TUpdateKind Kind);
  // The fields that find a delta row in the table: the key fields, else every field that is
  // not a blob.
  std::vector<TField*> WhereFields(TPacketDataSet* Delta);

  TDataSet* FDataSet = nullptr;
  bool FResolveToDataSet = false;
  std::vector<TUpdateError> FErrors;
};
