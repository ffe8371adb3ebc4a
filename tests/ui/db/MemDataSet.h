// An in-memory dataset for the framework's tests: a TDataSet over a vector of rows that fills
// the hooks the way the data-access components do (record buffers with a data area, a
// calculated-field area, record information and a bookmark; fetch with OnFilterRecord; post,
// delete and blob streams). It counts the hook calls the tests look at and logs events.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/db/DB.h"

struct MemFieldSpec {
  std::string Name;
  TFieldType Type;
  int Size = 0;
  bool Required = false;
};

class TMemDataSet : public TDataSet {
  VCL_DECLARE_CLASS(TMemDataSet, TDataSet)
 public:
  using Row = std::vector<std::optional<TBytes>>;  // native value per definition, nullopt = null

  explicit TMemDataSet(TComponent* AOwner);
  ~TMemDataSet() override;

  void SetSpecs(std::vector<MemFieldSpec> Specs);
  // Adds a row from values (converted through a scratch edit of the values' field types).
  void AddRow(const std::vector<Variant>& Values);
  int RowCount() const { return static_cast<int>(FRows.size()); }
  // Value of column Col of stored row RowIndex, as its native bytes (nullopt = null).
  const std::optional<TBytes>& Cell(int RowIndex, int Col) const {
    return FRows[RowIndex].Data[Col];
  }
  int32_t CellInt(int RowIndex, int Col) const;
  std::string CellString(int RowIndex, int Col) const;

  // Counters and the event log (names of events in the order they fired).
  int GetRecordCalls = 0;
  int InternalOpenCalls = 0;
  int InternalCloseCalls = 0;
  int InitFieldDefsCalls = 0;
  int BuffersAllocated = 0;
  int BuffersFreed = 0;
  std::vector<std::string> Log;
  // Hooks the tests may make fail.
  bool FailNextPost = false;
  bool FailOpen = false;
  bool ReadOnlyData = false;
  std::string IndexFieldName;  // the field GetIsIndexField answers true for

  void LogEvents();  // assigns every Before/After/On event to append its name to Log

  // Hooks
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  int GetRecordSize() override { return FDataSize; }
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  bool IsCursorOpen() override { return FCursorOpen; }
  bool GetFieldData(TField* Field, void* Buffer) override;
  void SetFieldData(TField* Field, const void* Buffer) override;
  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
  bool GetCanModify() override { return !ReadOnlyData; }
  bool GetIsIndexField(TField* Field) override;
  int GetRecordCount() override;
  int GetRecNo() override;
  void SetRecNoValue(int Value) override;
  bool BookmarkValid(const TBookmark& Value) override;
  int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) override;

  // Blob content of the buffer of the current state (used by the blob stream).
  std::optional<TBytes>* BlobSlot(TField* Field);
  void BlobWritten(TField* Field);

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitFieldDefs() override;
  void InternalFirst() override { FPos = -1; }
  void InternalLast() override { FPos = static_cast<int>(FRows.size()); }
  void InternalGotoBookmark(const uint8_t* Bookmark) override;
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  void InternalInitRecord(TRecordBuffer Buffer) override;
  void ClearCalcFields(TRecordBuffer Buffer) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
  void GetBookmarkData(TRecordBuffer Buffer, uint8_t* Data) override;
  void SetBookmarkData(TRecordBuffer Buffer, const uint8_t* Data) override;
  void InternalPost() override;
  void InternalDelete() override;
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override;
  void InternalEdit() override { Log.push_back("InternalEdit"); }
  void InternalCancel() override { Log.push_back("InternalCancel"); }

 private:
  struct StoredRow {
    int32_t Id;
    Row Data;
  };
  struct BufferExtra {
    std::vector<std::optional<TBytes>> Blobs;
  };
  int NativeSize(const MemFieldSpec& s) const;
  TRecordBuffer StateBuffer();
  bool Accepts(TRecordBuffer Buffer);
  void ReadRow(int Index, TRecordBuffer Buffer);
  Row RowFromBuffer(TRecordBuffer Buffer);
  int IndexOfId(int32_t Id) const;
  // Record information: the row id at FInfoOfs, the bookmark flag at +5, the bookmark (the row
  // id again) at +8. Buffers are byte blocks, so these are copied, not dereferenced.
  int32_t RecId(TRecordBuffer Buffer) const;
  void SetRecId(TRecordBuffer Buffer, int32_t Id);
  void InsertFromBuffer(TRecordBuffer Buffer, int At);

  std::vector<MemFieldSpec> FSpecs;
  std::vector<StoredRow> FRows;
  std::vector<int> FOffsets;  // per definition: offset of its null byte in the data area
  int FDataSize = 0;
  int FCalcOfs = 0;
  int FInfoOfs = 0;
  int FBufSize = 0;
  int FPos = -1;
  int32_t FNextId = 1;
  bool FCursorOpen = false;
  TRecordBuffer FFilterBuffer = nullptr;
  std::map<TRecordBuffer, BufferExtra> FExtras;
};

// A data link that records what it hears.
class TTestDataLink : public TDataLink {
 public:
  std::vector<std::string> Events;
  std::vector<int> Scrolls;
  int ActiveChanges = 0;
  int EditingChanges = 0;

 protected:
  void ActiveChanged() override {
    ++ActiveChanges;
    Events.push_back(Active() ? "active" : "inactive");
  }
  void DataSetChanged() override { Events.push_back("changed"); }
  void DataSetScrolled(int Distance) override {
    Scrolls.push_back(Distance);
    Events.push_back("scrolled " + std::to_string(Distance));
  }
  void RecordChanged(TField* Field) override {
    Events.push_back(std::string("record ") + (Field ? Field->FieldName() : "-"));
  }
  void EditingChanged() override {
    ++EditingChanges;
    Events.push_back(Editing() ? "editing" : "not editing");
  }
  void LayoutChanged() override { Events.push_back("layout"); }
  void UpdateData() override { Events.push_back("update"); }
  void FocusControl(TField** Field) override {
    Events.push_back("focus " + (Field && *Field ? (*Field)->FieldName() : std::string("-")));
  }
};
