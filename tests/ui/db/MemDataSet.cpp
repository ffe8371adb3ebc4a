// The in-memory test dataset.
#include "tests/ui/db/MemDataSet.h"

#include <cstring>

namespace {

// A blob stream over a buffer's blob slot: reads load the slot; the content is written back
// into the slot when a writing stream goes.
class TMemBlobStream : public TMemoryStream {
 public:
  TMemBlobStream(TMemDataSet* DataSet, TField* Field, TBlobStreamMode Mode)
      : FDataSet(DataSet), FField(Field), FMode(Mode) {
    std::optional<TBytes>* slot = DataSet->BlobSlot(Field);
    if (!slot) DatabaseError("Kein Datensatz für Blob-Feld", DataSet);
    if (Mode != bmRead && !IsWriteMode(DataSet->State()))
      DatabaseError("Datenmenge nicht im Bearbeitungs- oder Einfügemodus", DataSet);
    if (Mode != bmWrite && slot->has_value()) {
      FData = **slot;
    }
  }
  ~TMemBlobStream() override {
    if (FMode == bmRead) return;
    std::optional<TBytes>* slot = FDataSet->BlobSlot(FField);
    if (!slot) return;
    if (FData.empty())
      slot->reset();
    else
      *slot = FData;
    FDataSet->BlobWritten(FField);
  }

 private:
  TMemDataSet* FDataSet;
  TField* FField;
  TBlobStreamMode FMode;
};

}  // namespace

TMemDataSet::TMemDataSet(TComponent* AOwner) : TDataSet(AOwner) {}

int32_t TMemDataSet::RecId(TRecordBuffer Buffer) const {
  int32_t id;
  std::memcpy(&id, Buffer + FInfoOfs, 4);
  return id;
}

void TMemDataSet::SetRecId(TRecordBuffer Buffer, int32_t Id) {
  std::memcpy(Buffer + FInfoOfs, &Id, 4);
}

TMemDataSet::~TMemDataSet() {
  Destroying();
  Close();
}

void TMemDataSet::SetSpecs(std::vector<MemFieldSpec> Specs) {
  CheckInactive();
  FSpecs = std::move(Specs);
  FRows.clear();
  FieldDefs()->SetUpdated(false);
}

int TMemDataSet::NativeSize(const MemFieldSpec& s) const {
  switch (s.Type) {
    case ftString:
    case ftFixedChar:
      return s.Size + 1;
    case ftWideString:
      return (s.Size + 1) * 2;
    case ftSmallint:
    case ftWord:
    case ftBoolean:
      return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime:
      return 4;
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
    case ftLargeint:
      return 8;
    case ftBCD:
    case ftFMTBcd:
      return static_cast<int>(sizeof(TBcd));
    case ftBytes:
      return s.Size;
    case ftVarBytes:
      return s.Size + 2;
    default:
      return 0;  // blobs live beside the buffer
  }
}

void TMemDataSet::InternalInitFieldDefs() {
  ++InitFieldDefsCalls;
  FieldDefs()->Clear();
  for (const MemFieldSpec& s : FSpecs) {
    TFieldDef* d = FieldDefs()->Add(s.Name, s.Type, s.Size, s.Required);
    if (s.Type == ftBCD || s.Type == ftFMTBcd) d->SetPrecision(18);
  }
}

void TMemDataSet::InternalOpen() {
  ++InternalOpenCalls;
  Log.push_back("InternalOpen");
  if (FailOpen) DatabaseError("Öffnen verweigert", this);
  FieldDefs()->SetUpdated(false);
  FieldDefs()->Update();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  FOffsets.clear();
  int ofs = 0;
  for (const MemFieldSpec& s : FSpecs) {
    FOffsets.push_back(ofs);
    ofs += 1 + NativeSize(s);
  }
  FDataSize = ofs;
  FCalcOfs = FDataSize;
  FInfoOfs = FCalcOfs + CalcFieldsSize();
  FBufSize = FInfoOfs + 12;
  SetBookmarkSize(4);
  FPos = -1;
  FCursorOpen = true;
}

void TMemDataSet::InternalClose() {
  ++InternalCloseCalls;
  Log.push_back("InternalClose");
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  FCursorOpen = false;
}

TRecordBuffer TMemDataSet::AllocRecordBuffer() {
  ++BuffersAllocated;
  auto* b = new std::byte[static_cast<size_t>(FBufSize)]();
  FExtras[b].Blobs.assign(FSpecs.size(), std::nullopt);
  return b;
}

void TMemDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  ++BuffersFreed;
  FExtras.erase(Buffer);
  delete[] Buffer;
  Buffer = nullptr;
}

void TMemDataSet::ReadRow(int Index, TRecordBuffer Buffer) {
  const StoredRow& r = FRows[static_cast<size_t>(Index)];
  std::memset(Buffer, 0, static_cast<size_t>(FDataSize));
  for (size_t i = 0; i < FSpecs.size(); ++i) {
    int n = NativeSize(FSpecs[i]);
    if (n == 0) {
      FExtras[Buffer].Blobs[i] = r.Data[i];
      Buffer[FOffsets[i]] = std::byte{static_cast<unsigned char>(r.Data[i] ? 1 : 0)};
      continue;
    }
    if (!r.Data[i]) continue;
    Buffer[FOffsets[i]] = std::byte{1};
    std::memcpy(Buffer + FOffsets[i] + 1, r.Data[i]->data(),
                std::min<size_t>(r.Data[i]->size(), static_cast<size_t>(n)));
  }
  SetRecId(Buffer, r.Id);
  std::memcpy(Buffer + FInfoOfs + 8, &r.Id, 4);
  Buffer[FInfoOfs + 5] = std::byte{0};  // bfCurrent
}

TMemDataSet::Row TMemDataSet::RowFromBuffer(TRecordBuffer Buffer) {
  Row row(FSpecs.size());
  for (size_t i = 0; i < FSpecs.size(); ++i) {
    int n = NativeSize(FSpecs[i]);
    if (n == 0) {
      row[i] = FExtras[Buffer].Blobs[i];
      continue;
    }
    if (Buffer[FOffsets[i]] == std::byte{0}) continue;
    const auto* p = reinterpret_cast<const uint8_t*>(Buffer + FOffsets[i] + 1);
    row[i] = TBytes(p, p + n);
  }
  return row;
}

bool TMemDataSet::Accepts(TRecordBuffer Buffer) {
  if (!Filtered() || !OnFilterRecord()) return true;
  TDataSetState saved = SetTempState(dsFilter);
  TRecordBuffer savedBuffer = FFilterBuffer;
  FFilterBuffer = Buffer;
  Finally restore([&] {
    FFilterBuffer = savedBuffer;
    RestoreState(saved);
  });
  bool accept = true;
  OnFilterRecord()(this, accept);
  return accept;
}

TGetResult TMemDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool) {
  ++GetRecordCalls;
  if (!FCursorOpen || State() == dsInsert) return grError;
  int n = static_cast<int>(FRows.size());
  if (GetMode == gmNext)
    FPos = std::min(FPos + 1, n);
  else if (GetMode == gmPrior)
    FPos = std::max(FPos - 1, -1);
  for (;;) {
    if (FPos >= n) return grEOF;
    if (FPos < 0) return grBOF;
    ReadRow(FPos, Buffer);
    if (Accepts(Buffer)) break;
    if (GetMode == gmCurrent) return grError;
    FPos += GetMode == gmNext ? 1 : -1;
  }
  GetCalcFields(Buffer);
  return grOK;
}

TRecordBuffer TMemDataSet::StateBuffer() {
  switch (State()) {
    case dsBrowse:
    case dsBlockRead:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue:
      return ActiveBuffer();
    case dsCalcFields:
      return CalcBuffer();
    case dsFilter:
      return FFilterBuffer;
    default:
      return nullptr;
  }
}

bool TMemDataSet::GetFieldData(TField* Field, void* Buffer) {
  TRecordBuffer rec = StateBuffer();
  if (!rec) return false;
  if (Field->FieldNo() <= 0) {
    if (State() != dsBrowse && State() != dsEdit && State() != dsInsert &&
        State() != dsCalcFields && State() != dsFilter && State() != dsBlockRead)
      return false;
    return ReadCalcField(Field, rec + FCalcOfs, Buffer);
  }
  size_t i = static_cast<size_t>(Field->FieldNo() - 1);
  if (NativeSize(FSpecs[i]) == 0) return FExtras[rec].Blobs[i].has_value();
  if (rec[FOffsets[i]] == std::byte{0}) return false;
  if (Buffer)
    std::memcpy(Buffer, rec + FOffsets[i] + 1, static_cast<size_t>(NativeSize(FSpecs[i])));
  return true;
}

void TMemDataSet::SetFieldData(TField* Field, const void* Buffer) {
  if (!IsWriteMode(State()))
    DatabaseError("Datenmenge nicht im Bearbeitungs- oder Einfügemodus", this);
  TRecordBuffer rec = StateBuffer();
  if (!rec) DatabaseError("Kein aktueller Datensatz", this);
  if (Field->FieldNo() > 0) {
    if (State() == dsCalcFields)
      DatabaseError("Datenmenge nicht im Bearbeitungs- oder Einfügemodus", this);
    if (Field->ReadOnly() && State() != dsSetKey && State() != dsFilter)
      DatabaseError("Feld '" + Field->DisplayName() + "' kann nicht verändert werden", this);
    if (State() == dsEdit || State() == dsInsert) Field->Validate(Buffer);
    size_t i = static_cast<size_t>(Field->FieldNo() - 1);
    int n = NativeSize(FSpecs[i]);
    if (n == 0 && !Buffer) FExtras[rec].Blobs[i].reset();
    rec[FOffsets[i]] = Buffer ? std::byte{1} : std::byte{0};
    if (Buffer)
      std::memcpy(rec + FOffsets[i] + 1, Buffer, static_cast<size_t>(n));
    else
      std::memset(rec + FOffsets[i] + 1, 0, static_cast<size_t>(n));
  } else {
    WriteCalcField(Field, rec + FCalcOfs, Buffer);
  }
  if (State() != dsCalcFields && State() != dsFilter && State() != dsNewValue)
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

std::optional<TBytes>* TMemDataSet::BlobSlot(TField* Field) {
  TRecordBuffer rec = StateBuffer();
  if (!rec || Field->FieldNo() <= 0) return nullptr;
  return &FExtras[rec].Blobs[static_cast<size_t>(Field->FieldNo() - 1)];
}

void TMemDataSet::BlobWritten(TField* Field) {
  if (auto* b = dynamic_cast<TBlobField*>(Field)) b->SetModified(true);
  DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

std::unique_ptr<TStream> TMemDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  return std::make_unique<TMemBlobStream>(this, Field, Mode);
}

bool TMemDataSet::GetIsIndexField(TField* Field) {
  return !IndexFieldName.empty() && AnsiSameText(Field->FieldName(), IndexFieldName);
}

int TMemDataSet::IndexOfId(int32_t Id) const {
  for (size_t i = 0; i < FRows.size(); ++i)
    if (FRows[i].Id == Id) return static_cast<int>(i);
  return -1;
}

void TMemDataSet::InternalGotoBookmark(const uint8_t* Bookmark) {
  int32_t id;
  std::memcpy(&id, Bookmark, 4);
  int i = IndexOfId(id);
  if (i >= 0) FPos = i;
}

void TMemDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
  InternalGotoBookmark(reinterpret_cast<const uint8_t*>(Buffer + FInfoOfs + 8));
}

void TMemDataSet::InternalInitRecord(TRecordBuffer Buffer) {
  std::memset(Buffer, 0, static_cast<size_t>(FDataSize));
  FExtras[Buffer].Blobs.assign(FSpecs.size(), std::nullopt);
  SetRecId(Buffer, -1);
}

void TMemDataSet::ClearCalcFields(TRecordBuffer Buffer) {
  std::memset(Buffer + FCalcOfs, 0, static_cast<size_t>(CalcFieldsSize()));
}

TBookmarkFlag TMemDataSet::GetBookmarkFlag(TRecordBuffer Buffer) {
  return static_cast<TBookmarkFlag>(Buffer[FInfoOfs + 5]);
}

void TMemDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
  Buffer[FInfoOfs + 5] = std::byte{static_cast<unsigned char>(Value)};
}

void TMemDataSet::GetBookmarkData(TRecordBuffer Buffer, uint8_t* Data) {
  std::memcpy(Data, Buffer + FInfoOfs + 8, 4);
}

void TMemDataSet::SetBookmarkData(TRecordBuffer Buffer, const uint8_t* Data) {
  std::memcpy(Buffer + FInfoOfs + 8, Data, 4);
}

void TMemDataSet::InsertFromBuffer(TRecordBuffer Buffer, int At) {
  StoredRow r{FNextId++, RowFromBuffer(Buffer)};
  At = std::clamp(At, 0, static_cast<int>(FRows.size()));
  FRows.insert(FRows.begin() + At, r);
  FPos = At;
}

void TMemDataSet::InternalPost() {
  Log.push_back("InternalPost");
  if (FailNextPost) {
    FailNextPost = false;
    DatabaseError("Schreiben verweigert", this);
  }
  TDataSet::InternalPost();
  TRecordBuffer b = ActiveBuffer();
  if (State() == dsInsert) {
    InsertFromBuffer(b, GetBookmarkFlag(b) == bfEOF ? static_cast<int>(FRows.size()) : FPos);
  } else {
    int i = IndexOfId(RecId(b));
    if (i < 0) DatabaseError("Datensatz nicht gefunden", this);
    FRows[static_cast<size_t>(i)].Data = RowFromBuffer(b);
    FPos = i;
  }
}

void TMemDataSet::InternalAddRecord(TRecordBuffer Buffer, bool Append) {
  Log.push_back(Append ? "InternalAddRecord append" : "InternalAddRecord insert");
  CheckRequiredFields();
  InsertFromBuffer(Buffer, Append ? static_cast<int>(FRows.size()) : FPos);
}

void TMemDataSet::InternalDelete() {
  Log.push_back("InternalDelete");
  if (FPos < 0 || FPos >= static_cast<int>(FRows.size()))
    DatabaseError("Kein aktueller Datensatz", this);
  FRows.erase(FRows.begin() + FPos);
}

int TMemDataSet::GetRecordCount() {
  if (!Filtered() || !OnFilterRecord()) return static_cast<int>(FRows.size());
  int count = 0;
  TRecordBuffer scratch = AllocRecordBuffer();
  Finally release([&] { FreeRecordBuffer(scratch); });
  for (size_t i = 0; i < FRows.size(); ++i) {
    ReadRow(static_cast<int>(i), scratch);
    if (Accepts(scratch)) ++count;
  }
  return count;
}

int TMemDataSet::GetRecNo() {
  CheckActive();
  TRecordBuffer b = State() == dsCalcFields ? CalcBuffer() : (IsEmpty() ? nullptr : ActiveBuffer());
  if (!b) return 0;
  int i = IndexOfId(RecId(b));
  return i < 0 ? 0 : i + 1;
}

void TMemDataSet::SetRecNoValue(int Value) {
  CheckBrowseMode();
  if (Value < 1 || Value > static_cast<int>(FRows.size())) return;
  if (BeforeScroll) BeforeScroll(this);
  FPos = Value - 1;
  Resync(TResyncMode{rmCenter});
  if (AfterScroll) AfterScroll(this);
}

bool TMemDataSet::BookmarkValid(const TBookmark& Value) {
  if (!Active() || Value.size() != 4) return false;
  int32_t id;
  std::memcpy(&id, Value.data(), 4);
  return IndexOfId(id) >= 0;
}

int TMemDataSet::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
  if (Bookmark1.empty() || Bookmark2.empty())
    return TDataSet::CompareBookmarks(Bookmark1, Bookmark2);
  int32_t a, b;
  std::memcpy(&a, Bookmark1.data(), 4);
  std::memcpy(&b, Bookmark2.data(), 4);
  int ia = IndexOfId(a), ib = IndexOfId(b);
  return ia < ib ? -1 : (ia > ib ? 1 : 0);
}

void TMemDataSet::AddRow(const std::vector<Variant>& Values) {
  bool wasActive = Active();
  TBookmark keep;
  if (wasActive) {
    CheckBrowseMode();
    keep = Bookmark();
  }
  // Fill a row through a throw-away dataset of the same definitions, so values take the
  // native forms the field classes produce.
  TMemDataSet scratch(nullptr);
  scratch.SetSpecs(FSpecs);
  scratch.Open();
  scratch.AppendRecord(Values);
  FRows.push_back(StoredRow{FNextId++, scratch.FRows.front().Data});
  if (wasActive) {
    if (!keep.empty()) InternalGotoBookmark(keep.data());
    Resync(TResyncMode{});
  }
}

int32_t TMemDataSet::CellInt(int RowIndex, int Col) const {
  const auto& c = Cell(RowIndex, Col);
  int32_t v = 0;
  if (c) std::memcpy(&v, c->data(), std::min<size_t>(4, c->size()));
  return v;
}

std::string TMemDataSet::CellString(int RowIndex, int Col) const {
  const auto& c = Cell(RowIndex, Col);
  if (!c) return std::string();
  return std::string(reinterpret_cast<const char*>(c->data()));
}

void TMemDataSet::LogEvents() {
  auto log = [this](const char* name) { return [this, name](TDataSet*) { Log.push_back(name); }; };
  BeforeOpen = log("BeforeOpen");
  AfterOpen = log("AfterOpen");
  BeforeClose = log("BeforeClose");
  AfterClose = log("AfterClose");
  BeforeInsert = log("BeforeInsert");
  AfterInsert = log("AfterInsert");
  BeforeEdit = log("BeforeEdit");
  AfterEdit = log("AfterEdit");
  BeforePost = log("BeforePost");
  AfterPost = log("AfterPost");
  BeforeCancel = log("BeforeCancel");
  AfterCancel = log("AfterCancel");
  BeforeDelete = log("BeforeDelete");
  AfterDelete = log("AfterDelete");
  BeforeScroll = log("BeforeScroll");
  AfterScroll = log("AfterScroll");
  OnNewRecord = log("OnNewRecord");
}

VCL_REGISTER_CLASS(TMemDataSet, [](TClassBuilder<TMemDataSet>&) {})
