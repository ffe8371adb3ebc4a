// TDataSet: states, the window of record buffers, navigation, editing, bookmarks, calculated and
// lookup fields, filters and the data events that reach TDataSource and TDataLink.
//
// The framework decides when a dataset opens, closes, fetches, posts or deletes; a descendant
// fills the hooks (AllocRecordBuffer, GetRecord, InternalOpen, InternalPost, GetFieldData, ...)
// with the work on its cursor. The window: BufferCount buffers (one when no data link is
// attached, else the largest BufferCount of the links) plus one spare buffer at index
// BufferCount; RecordCount() of the window's buffers hold records, ActiveRecord() is the current
// one. Record buffers belong to the dataset and live while it is open.
//
// Errors are EDatabaseError with German texts; "Name: " is put before the text when the dataset
// has a name. A dataset belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/db/DBFields.h"

class TDataSource;
class TDataLink;
class TIndexDefs;

enum TDataSetState {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsCurValue,
  dsBlockRead,
  dsInternalCalc,
  dsOpening
};

enum TDataEvent {
  deFieldChange,
  deRecordChange,
  deDataSetChange,
  deDataSetScroll,
  deLayoutChange,
  deUpdateRecord,
  deUpdateState,
  deCheckBrowseMode,
  dePropertyChange,
  deFieldListChange,
  deFocusControl,
  deParentScroll,
  deConnectChange,
  deReconcileError,
  deDisabledStateChange
};

enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };
enum TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };
enum TResyncModeFlag { rmExact, rmCenter };
using TResyncMode = TSet<TResyncModeFlag>;
enum TLocateOption { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;
enum TFilterOption { foCaseInsensitive, foNoPartialCompare };
using TFilterOptions = TSet<TFilterOption>;
enum TDataAction { daFail, daAbort, daRetry };
// Whether the current record is a change a client dataset has not applied yet (UpdateStatus).
enum TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };

using TRecordBuffer = std::byte*;
using TBookmark = std::vector<uint8_t>;

using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TDataSetErrorEvent =
    std::function<void(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action)>;
using TFilterRecordEvent = std::function<void(TDataSet* DataSet, bool& Accept)>;

// Editing states: dsEdit, dsInsert, dsSetKey.
bool IsEditMode(TDataSetState State);
// States in which fields may be written: dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter,
// dsNewValue, dsInternalCalc.
bool IsWriteMode(TDataSetState State);

class TDataSet : public TComponent {
  VCL_DECLARE_CLASS(TDataSet, TComponent)
 public:
  explicit TDataSet(TComponent* AOwner);
  // Destroys the fields and detaches the data sources. Descendants must call Destroying() and
  // then Close() in their own destructor: the record buffers and the cursor are theirs and need
  // their hooks (Destroying first, so that the close runs no Before/AfterClose handler).
  ~TDataSet() override;

  // ---- opening and closing
  bool Active() const { return FState != dsInactive && FState != dsOpening; }
  // While the component is read from a description the value is kept and applied in Loaded.
  void SetActive(bool Value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return FState; }
  // "Datenmenge ist nicht geöffnet" when closed.
  void CheckActive();
  // "Operation bei geöffneter Datenmenge nicht ausführbar" when open.
  void CheckInactive();
  bool DefaultFields() const { return FDefaultFields; }

  // ---- fields
  TFields* Fields() { return &FFields; }
  TFields* FieldList() { return &FFields; }
  int FieldCount() const { return FFields.Count(); }
  TField* FindField(const std::string& FieldName) const { return FFields.FindField(FieldName); }
  TField* FieldByName(const std::string& FieldName) const;
  TField* FieldByNumber(int FieldNo) const { return FFields.FieldByNumber(FieldNo); }
  // Fields named in "A;B"; raises for an unknown name.
  void GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const;
  void GetFieldNames(TStrings* List) const;
  TFieldDefs* FieldDefs() { return FFieldDefs.get(); }
  TFieldDefs* FieldDefList() { return FFieldDefs.get(); }
  // Values of "A;B" (an array for more than one name) / assignment of them.
  Variant FieldValues(const std::string& FieldNames);
  void SetFieldValues(const std::string& FieldNames, const Variant& Value);
  int CalcFieldsSize() const { return FCalcFieldsSize; }
  int BlobFieldCount() const { return FBlobFieldCount; }
  bool AutoCalcFields() const { return FAutoCalcFields; }
  void SetAutoCalcFields(bool Value) { FAutoCalcFields = Value; }

  // ---- the window of buffers
  int BufferCount() const { return FBufferCount; }
  int ActiveRecord() const { return FActiveRecord; }
  // Records held in the window (not the dataset's record count, see RecordCount()).
  int WindowRecordCount() const { return FRecordCount; }
  TRecordBuffer ActiveBuffer() const;
  // Buffer i of the window; index BufferCount() is the spare one.
  TRecordBuffer Buffers(int Index) const;
  TRecordBuffer CalcBuffer() const { return FCalcBuffer; }
  // The spare buffer: the one after the last record in use (Buffers(WindowRecordCount())).
  TRecordBuffer TempBuffer() const { return Buffers(FRecordCount); }
  // Recomputes the buffer count from the attached links and adjusts the window.
  void UpdateBufferCount();

  // ---- navigation
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves by Distance records; answers how far it moved (negative backward).
  int MoveBy(int Distance);
  bool Bof() const { return FBOF; }
  bool Eof() const { return FEOF; }
  bool IsEmpty() const { return FActiveRecord >= FRecordCount; }
  // Rebuilds the window around the cursor's current record. rmExact: the record must exist
  // ("Datensatz nicht gefunden"); rmCenter: the record goes to the middle of the window.
  void Resync(TResyncMode Mode);
  // Posts (when modified) or cancels a pending edit or insert, and ends key editing.
  void CheckBrowseMode();
  // Puts the cursor onto the active record.
  void UpdateCursorPos();
  // The cursor no longer matches the window: the next use repositions it.
  void CursorPosChanged() { FCurrentRecord = -1; }
  // Sends deUpdateRecord so that controls write their pending values; outside the write modes
  // raises "Datenmenge nicht im Bearbeitungs- oder Einfügemodus".
  void UpdateRecord();
  void Refresh();

  // ---- records
  int RecordCount() {
    CheckActive();
    return GetRecordCount();
  }
  int RecNo() { return GetRecNo(); }
  void SetRecNo(int Value) { SetRecNoValue(Value); }
  virtual bool IsSequenced() { return true; }
  virtual bool IsUniDirectional() const { return false; }
  int RecordSize() { return GetRecordSize(); }

  // ---- bookmarks
  bool BookmarkAvailable();
  TBookmark Bookmark();
  void SetBookmark(const TBookmark& Value) { GotoBookmark(Value); }
  TBookmark GetBookmark() { return Bookmark(); }
  void GotoBookmark(const TBookmark& Value);
  void FreeBookmark(TBookmark& Value) { Value.clear(); }
  int BookmarkSize() const { return FBookmarkSize; }
  virtual bool BookmarkValid(const TBookmark& Value);
  virtual int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2);

  // ---- editing
  void Edit();
  void Insert();
  void Append();
  // Post and Cancel are virtual so that descendants can finish their own editing states.
  virtual void Post();
  virtual void Cancel();
  void Delete();
  // Re-initialises the record being edited (InternalInitRecord), calculated fields anew.
  void ClearFields();
  void AppendRecord(const std::vector<Variant>& Values);
  void InsertRecord(const std::vector<Variant>& Values);
  // Assigns Values to the fields in order (Unassigned elements leave a field alone); starts an
  // edit when not editing.
  void SetFields(const std::vector<Variant>& Values);
  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }
  bool CanModify() { return GetCanModify(); }
  // Copies the active record's data part into Buffer; false without an active record.
  virtual bool GetCurrentRecord(TRecordBuffer Buffer);

  // ---- search
  // Generic implementations scan the records; descendants with indexes override them.
  virtual bool Locate(const std::string& KeyFields, const Variant& KeyValues,
                      TLocateOptions Options);
  virtual Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                         const std::string& ResultFields);
  bool FindFirst() { return FindRecord(true, true); }
  bool FindLast() { return FindRecord(true, false); }
  bool FindNext() { return FindRecord(false, true); }
  bool FindPrior() { return FindRecord(false, false); }
  bool Found() const { return FFound; }

  // ---- filters
  bool Filtered() const { return FFiltered; }
  virtual void SetFiltered(bool Value);
  const std::string& Filter() const { return FFilterText; }
  void SetFilter(const std::string& Value) { SetFilterText(Value); }
  TFilterOptions FilterOptions() const { return FFilterOptions; }
  virtual void SetFilterOptions(TFilterOptions Value);
  const TFilterRecordEvent& OnFilterRecord() const { return FOnFilterRecord; }
  virtual void SetOnFilterRecord(const TFilterRecordEvent& Value);

  // ---- controls
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return FDisableCount != 0; }
  // Sends Event to the dataset's own handling and, unless controls are disabled, to the data
  // sources (and through them the links).
  virtual void DataEvent(TDataEvent Event, intptr_t Info);
  int BlockReadSize() const { return FBlockReadSize; }
  void SetBlockReadSize(int Value);
  // Whether DataSource is (directly or through master links) linked to this dataset.
  bool IsLinkedTo(TDataSource* DataSource);
  virtual TDataSource* GetDataSource() { return nullptr; }

  // ---- hooks that descendants fill (public so that helpers of the components reach them)
  virtual TRecordBuffer AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(TRecordBuffer& Buffer) = 0;
  virtual int GetRecordSize() { return 0; }
  virtual TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) = 0;
  virtual bool IsCursorOpen() = 0;
  // Reads Field's native value from the buffer of the current state; Buffer nullptr = only the
  // null test. Answers whether the field has a value.
  virtual bool GetFieldData(TField* Field, void* Buffer) = 0;
  // Writes Field's native value (nullptr = null) into the buffer of the current state.
  virtual void SetFieldData(TField* Field, const void* Buffer) = 0;
  virtual std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode);
  virtual bool GetCanModify() { return true; }
  // Whether Field belongs to the active index (dsSetKey editing asks it).
  virtual bool GetIsIndexField(TField* Field);
  virtual int GetRecordCount() { return -1; }
  virtual int GetRecNo() { return -1; }
  virtual void SetRecNoValue(int) {}
  // Builds the fields' definitions; InitFieldDefs calls it when FieldDefs are updated.
  virtual void InitFieldDefs() { InternalInitFieldDefs(); }
  // Brings index definitions up to date (TIndexDefs::Update calls it); the base has none.
  virtual void UpdateIndexDefs() {}
  // FieldDefs or IndexDefs (Sender) gained or lost a definition other than by their own
  // Update (which reads them from the dataset); the base does nothing.
  virtual void DefChanged(TObject* Sender) { (void)Sender; }

  // ---- client datasets and providers (ui/db/Provider.h)
  // The update status of the current record; the base keeps no changes: usUnmodified.
  virtual TUpdateStatus UpdateStatus() { return usUnmodified; }
  // With persistent fields: FieldDefs are made anew from the data and internal-calc fields, in
  // field order (name, type, size, required, the precision of BCD fields); without
  // fields the definitions stay as they are (Provider.cpp).
  void InitFieldDefsFromFields();

  // ---- helpers for descendants
  // Creates the default fields from FieldDefs (skipping names that already have a field).
  void CreateFields();
  void DestroyFields();
  // Binds (or unbinds) every field: field numbers and types checked against FieldDefs, the
  // calculated-field offsets and CalcFieldsSize, blob indexes and BlobFieldCount.
  void BindFields(bool Binding);
  // Calculated and lookup fields of Buffer (dsCalcFields), then OnCalcFields.
  void CalculateFields(TRecordBuffer Buffer);
  // CalculateFields when the dataset has calculated or lookup fields.
  void GetCalcFields(TRecordBuffer Buffer);
  TDataSetState SetTempState(TDataSetState Value);
  // The buffer that fields read in dsCalcFields (CalculateFields sets it too); a search that reads
  // a record into a scratch buffer of its own sets it and puts the previous one back.
  void SetCalcBuffer(TRecordBuffer Buffer) { FCalcBuffer = Buffer; }
  void RestoreState(TDataSetState Value);
  void SetBookmarkSize(int Value) { FBookmarkSize = Value; }
  // Reads or writes a calculated field's slot (presence byte, then DataSize bytes) in the
  // calculated-field area that starts at CalcArea.
  bool ReadCalcField(TField* Field, const std::byte* CalcArea, void* Buffer);
  void WriteCalcField(TField* Field, std::byte* CalcArea, const void* Buffer);
  // The field class for a data type (DefaultFieldClass); descendants choose their own.
  virtual TClass GetFieldClass(TFieldType FieldType);
  // Required fields without a value: "Feld '%s' muss einen Wert haben".
  void CheckRequiredFields();

  // ---- events
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
  TDataSetNotifyEvent OnNewRecord, OnCalcFields;
  TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;

  void Loaded() override;
  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  friend class TDataSource;
  friend class TDataLink;
  friend class TField;

  // Open and close hooks.
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual void InternalInitFieldDefs() = 0;
  virtual void InternalHandleException() {}
  // Navigation hooks.
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  virtual void InternalGotoBookmark(const uint8_t* Bookmark) = 0;
  virtual void InternalSetToRecord(TRecordBuffer Buffer) = 0;
  virtual void InternalRefresh() {}
  // Buffer hooks.
  virtual void InternalInitRecord(TRecordBuffer Buffer) = 0;
  // ClearFields in key editing: re-initialises the key being edited; the base re-initialises
  // the active buffer as for a record.
  virtual void InternalClearKeyFields() { InternalInitRecord(ActiveBuffer()); }
  virtual void ClearCalcFields(TRecordBuffer) {}
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) = 0;
  virtual void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) = 0;
  virtual void GetBookmarkData(TRecordBuffer Buffer, uint8_t* Data) = 0;
  virtual void SetBookmarkData(TRecordBuffer Buffer, const uint8_t* Data) = 0;
  // Editing hooks. InternalPost's default checks the required fields.
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  virtual void InternalPost() { CheckRequiredFields(); }
  virtual void InternalCancel() {}
  virtual void InternalDelete() = 0;
  virtual void InternalAddRecord(TRecordBuffer Buffer, bool Append) = 0;
  // Text filter hook: the base only stores the text.
  virtual void SetFilterText(const std::string& Value);
  // Record search behind FindFirst..FindPrior; the generic one tests OnFilterRecord on each
  // record (every record matches without a handler).
  virtual bool FindRecord(bool Restart, bool GoForward);

  void SetState(TDataSetState Value);
  void ClearBuffers();
  void SetCurrentRecord(int Index);
  int CurrentRecord() const { return FCurrentRecord; }
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  void SetBufferCount(int Value);
  // Drops every record buffer and allocates the window anew (after the record layout changed,
  // e.g. with another bookmark length); the window is empty afterwards: the caller refetches
  // (First or Resync).
  void RecreateBuffers();
  void InitRecord(TRecordBuffer Buffer);
  // Releases what blob fields hold for the record being edited (CloseBlob per blob field).
  void FreeFieldBuffers();
  virtual void CloseBlob(TField*) {}
  // The events, fired through these so that descendants can add their own steps.
  virtual void DoBeforeOpen() { Fire(BeforeOpen, this); }
  virtual void DoAfterOpen() { Fire(AfterOpen, this); }
  virtual void DoBeforeClose() { Fire(BeforeClose, this); }
  virtual void DoAfterClose() { Fire(AfterClose, this); }
  virtual void DoBeforeInsert() { Fire(BeforeInsert, this); }
  virtual void DoAfterInsert() { Fire(AfterInsert, this); }
  virtual void DoBeforeEdit() { Fire(BeforeEdit, this); }
  virtual void DoAfterEdit() { Fire(AfterEdit, this); }
  virtual void DoBeforePost() { Fire(BeforePost, this); }
  virtual void DoAfterPost() { Fire(AfterPost, this); }
  virtual void DoBeforeCancel() { Fire(BeforeCancel, this); }
  virtual void DoAfterCancel() { Fire(AfterCancel, this); }
  virtual void DoBeforeDelete() { Fire(BeforeDelete, this); }
  virtual void DoAfterDelete() { Fire(AfterDelete, this); }
  virtual void DoBeforeScroll() { Fire(BeforeScroll, this); }
  virtual void DoAfterScroll() { Fire(AfterScroll, this); }
  virtual void DoBeforeRefresh() { Fire(BeforeRefresh, this); }
  virtual void DoAfterRefresh() { Fire(AfterRefresh, this); }
  virtual void DoOnCalcFields() { Fire(OnCalcFields, this); }
  virtual void DoOnNewRecord() { Fire(OnNewRecord, this); }
  // The answer of Found(): descendants with their own Locate or record search set it.
  void SetFound(bool Value) { FFound = Value; }
  bool InternalOpenComplete() const { return FInternalOpenComplete; }
  void SetBOF(bool Value) { FBOF = Value; }
  void SetEOF(bool Value) { FEOF = Value; }
  // True when Fields (read in the current state, e.g. dsCalcFields over a scratch buffer) equal
  // KeyValues: one value for one field, else an array with one element per field.
  bool RecordMatches(TRecordBuffer Buffer, const std::vector<TField*>& Fields,
                     const Variant& KeyValues, TLocateOptions Options);
  // Scans from the first record with the spare buffer as calculation buffer; on a match leaves
  // the spare buffer holding the record and answers true. The window is not touched.
  bool ScanForRecord(const std::vector<TField*>& Fields, const Variant& KeyValues,
                     TLocateOptions Options);

 private:
  void DoInternalOpen();
  void OpenCursor();
  void CloseCursor();
  void CheckOperation(const std::function<void()>& Operation, const TDataSetErrorEvent& Event);
  void BeginInsertAppend();
  void EndInsertAppend();
  void InternalInsertRecord(const std::vector<Variant>& Values, bool Append);
  void MoveBuffer(int CurIndex, int NewIndex);
  void ActivateBuffers();
  void SetBufListSize(int Value);
  void CalcLookupValue(TField* Field);
  void AddDataSource(TDataSource* DataSource);
  void RemoveDataSource(TDataSource* DataSource);
  static void Fire(const TDataSetNotifyEvent& Event, TDataSet* Self) {
    if (Event) Event(Self);
  }

  TDataSetState FState = dsInactive;
  TFields FFields;
  std::unique_ptr<TFieldDefs> FFieldDefs;
  std::vector<TDataSource*> FDataSources;
  std::vector<TRecordBuffer> FBuffers;
  int FBufferCount = 0;
  int FRecordCount = 0;
  int FActiveRecord = 0;
  int FCurrentRecord = -1;
  TRecordBuffer FCalcBuffer = nullptr;
  int FCalcFieldsSize = 0;
  int FBlobFieldCount = 0;
  int FBookmarkSize = 0;
  int FDisableCount = 0;
  TDataSetState FDisableState = dsInactive;
  TDataEvent FEnableEvent = deDataSetChange;
  int FBlockReadSize = 0;
  bool FBOF = true;
  bool FEOF = true;
  bool FModified = false;
  bool FStreamedActive = false;
  bool FDefaultFields = false;
  bool FInternalOpenComplete = false;
  bool FFiltered = false;
  bool FFound = false;
  bool FAutoCalcFields = true;
  bool FInternalCalcFields = false;
  std::string FFilterText;
  TFilterOptions FFilterOptions;
  TFilterRecordEvent FOnFilterRecord;
};

// ---------------------------------------------------------------------------------------------
// TDataSource and the data links

using TDataChangeEvent = std::function<void(TObject* Sender, TField* Field)>;

class TDataSource : public TComponent {
  VCL_DECLARE_CLASS(TDataSource, TComponent)
 public:
  explicit TDataSource(TComponent* AOwner);
  ~TDataSource() override;

  TDataSet* DataSet() const { return FDataSet; }
  // "Zirkuläre Datenverbindungen sind nicht erlaubt" when Value is linked to this source.
  void SetDataSet(TDataSet* Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool AutoEdit() const { return FAutoEdit; }
  void SetAutoEdit(bool Value) { FAutoEdit = Value; }
  TDataSetState State() const { return FState; }
  // Starts an edit when AutoEdit is set and the dataset is browsing.
  void Edit();
  bool IsLinkedTo(TDataSet* DataSet);
  const std::vector<TDataLink*>& DataLinks() const { return FDataLinks; }

  TNotifyEvent OnStateChange;
  TDataChangeEvent OnDataChange;
  TNotifyEvent OnUpdateData;

  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TDataSet;
  friend class TDataLink;
  void DataEvent(TDataEvent Event, intptr_t Info);
  void NotifyDataLinks(TDataEvent Event, intptr_t Info);
  void UpdateState();
  void SetState(TDataSetState Value);
  void AddDataLink(TDataLink* Link);
  void RemoveDataLink(TDataLink* Link);

  TDataSet* FDataSet = nullptr;
  bool FEnabled = true;
  bool FAutoEdit = true;
  TDataSetState FState = dsInactive;
  std::vector<TDataLink*> FDataLinks;
};

// A link between a data source and something that shows or follows it. Its window is the part
// of the dataset's window it shows: BufferCount records from its first record.
class TDataLink : public TPersistent {
  VCL_DECLARE_CLASS(TDataLink, TPersistent)
 public:
  TDataLink();
  ~TDataLink() override;

  TDataSource* DataSource() const { return FDataSource; }
  void SetDataSource(TDataSource* Value);
  TDataSet* DataSet() const;
  bool Active() const { return FActive; }
  bool Editing() const { return FEditing; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  int BufferCount() const { return FBufferCount; }
  void SetBufferCount(int Value);
  // The dataset's active record relative to the link's first record; setting it makes the
  // dataset's active record follow (controls use it to read the rows they show).
  int ActiveRecord() const;
  void SetActiveRecord(int Value);
  // Records of the link's window that hold data.
  int RecordCount() const;
  bool Edit();
  // Sends the link's pending value (UpdateData) outside of the notifications it caused.
  void UpdateRecord();
  int FirstRecord() const { return FFirstRecord; }

 protected:
  friend class TDataSource;
  friend class TDataSet;
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int Distance);
  virtual void EditingChanged() {}
  virtual void FocusControl(TField** Field) { (void)Field; }
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField* Field) { (void)Field; }
  virtual void UpdateData() {}
  virtual void DisabledStateChanged(bool Disabled) { (void)Disabled; }
  void DataEvent(TDataEvent Event, intptr_t Info);

 private:
  void UpdateState();
  void SetActive(bool Value);
  void SetEditing(bool Value);
  void UpdateRange();

  TDataSource* FDataSource = nullptr;
  int FFirstRecord = 0;
  int FBufferCount = 1;
  bool FActive = false;
  bool FEditing = false;
  bool FReadOnly = false;
  bool FUpdating = false;
  bool FDataSourceFixed = false;
};

class TDetailDataLink : public TDataLink {
  VCL_DECLARE_CLASS(TDetailDataLink, TDataLink)
 public:
  virtual TDataSet* DetailDataSet() { return nullptr; }
};

// Link from a detail dataset to its master: Fields are the master's fields named by
// FieldNames; OnMasterChange fires when the master moves or one of those fields changes,
// OnMasterDisable when the link loses its fields.
class TMasterDataLink : public TDetailDataLink {
  VCL_DECLARE_CLASS(TMasterDataLink, TDetailDataLink)
 public:
  explicit TMasterDataLink(TDataSet* DataSet);
  TDataSet* DetailDataSet() override { return FDataSet; }
  const std::string& FieldNames() const { return FFieldNames; }
  void SetFieldNames(const std::string& Value);
  const std::vector<TField*>& Fields() const { return FFields; }
  TNotifyEvent OnMasterChange;
  TNotifyEvent OnMasterDisable;

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void LayoutChanged() override;
  void RecordChanged(TField* Field) override;

 private:
  TDataSet* FDataSet;
  std::string FFieldNames;
  std::vector<TField*> FFields;
};
