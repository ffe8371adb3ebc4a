// TDataSet: opening and closing, the buffer window, navigation, editing, bookmarks, calculated
// and lookup fields, search and the data events.
#include "ui/db/DataSet.h"

#include <algorithm>
#include <cstring>

namespace {

const char* const kNotEditing = "Datenmenge nicht im Bearbeitungs- oder Einfügemodus";

// Compares a field's value with a key value for Locate and Lookup.
bool ValueMatches(TField* Field, const Variant& Key, TLocateOptions Options) {
  Variant value = Field->AsVariant();
  if (VarIsNullOrEmpty(Key)) return VarIsNull(value);
  if (VarIsNull(value)) return false;
  bool text = Field->DataType() == ftString || Field->DataType() == ftWideString ||
              Field->DataType() == ftFixedChar || Field->DataType() == ftFixedWideChar ||
              Field->DataType() == ftMemo || Field->DataType() == ftWideMemo ||
              Key.VarType() == varString;
  if (text && (Field->DataType() == ftString || Field->DataType() == ftWideString ||
               Field->DataType() == ftFixedChar || Field->DataType() == ftFixedWideChar ||
               Field->DataType() == ftMemo || Field->DataType() == ftWideMemo)) {
    std::string a = Field->AsString();
    std::string b = Key.AsString();
    if (Options.Contains(loPartialKey) && a.size() > b.size()) a = a.substr(0, b.size());
    return Options.Contains(loCaseInsensitive) ? AnsiSameText(a, b) : a == b;
  }
  try {
    switch (Field->DataType()) {
      case ftDate:
      case ftTime:
      case ftDateTime:
        return Field->AsDateTime() == Key.AsDateTime();
      case ftBoolean:
        return Field->AsBoolean() == Key.AsBoolean();
      case ftBCD:
      case ftFMTBcd:
        return BcdCompare(Field->AsBCD(), Key.AsBcd()) == 0;
      default:
        return value == Key;
    }
  } catch (const EVariantError&) {
    return false;
  } catch (const EConvertError&) {
    return false;
  }
}

}  // namespace

bool IsEditMode(TDataSetState State) {
  return State == dsEdit || State == dsInsert || State == dsSetKey;
}

bool IsWriteMode(TDataSetState State) {
  switch (State) {
    case dsEdit:
    case dsInsert:
    case dsSetKey:
    case dsCalcFields:
    case dsFilter:
    case dsNewValue:
    case dsInternalCalc:
      return true;
    default:
      return false;
  }
}

TDataSet::TDataSet(TComponent* AOwner)
    : TComponent(AOwner), FFields(this), FFieldDefs(std::make_unique<TFieldDefs>(this)) {}

TDataSet::~TDataSet() {
  Destroying();
  // The hooks of a descendant are gone by now, so a descendant closes itself (Close()) in its
  // own destructor; here only what the framework holds is released.
  FState = dsInactive;
  FBuffers.clear();
  while (!FDataSources.empty()) FDataSources.back()->SetDataSet(nullptr);
  FFields.Clear();
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void TDataSet::CheckActive() {
  if (!Active()) DatabaseError("Datenmenge ist nicht geöffnet", this);
}

void TDataSet::CheckInactive() {
  if (Active()) {
    if (ComponentState().Contains(csDesigning)) {
      Close();
      return;
    }
    DatabaseError("Operation bei geöffneter Datenmenge nicht ausführbar", this);
  }
}

void TDataSet::SetActive(bool Value) {
  if (ComponentState().Contains(csReading) || ComponentState().Contains(csLoading)) {
    FStreamedActive = Value;
    return;
  }
  if (Value == Active()) return;
  if (Value) {
    DoBeforeOpen();
    FState = dsOpening;
    try {
      OpenCursor();
    } catch (...) {
      FState = dsInactive;
      CloseCursor();
      throw;
    }
    SetState(dsBrowse);
    DoAfterOpen();
    if (!IsEmpty()) DoAfterScroll();
  } else {
    bool destroying = ComponentState().Contains(csDestroying);
    if (!destroying) DoBeforeClose();
    SetState(dsInactive);
    CloseCursor();
    if (!destroying) DoAfterClose();
  }
}

void TDataSet::OpenCursor() {
  DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
  FDefaultFields = FieldCount() == 0;
  FInternalOpenComplete = false;
  InternalOpen();
  FInternalOpenComplete = true;
  UpdateBufferCount();
  FBOF = true;
}

void TDataSet::CloseCursor() {
  FBlockReadSize = 0;
  FInternalOpenComplete = false;
  FreeFieldBuffers();
  ClearBuffers();
  SetBufListSize(0);
  FBufferCount = 0;
  InternalClose();
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (!FStreamedActive) return;
  try {
    SetActive(true);
  } catch (...) {
    if (ComponentState().Contains(csDesigning)) {
      InternalHandleException();
      return;
    }
    throw;
  }
}

void TDataSet::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  for (TField* f : FFields)
    if (f->Owner() == Root) Proc(f);
}

void TDataSet::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove) {
    for (TField* f : FFields)
      if (f->LookupDataSet() == AComponent) f->FLookupDataSet = nullptr;
  }
}

// ---------------------------------------------------------------------------------------------
// Fields

TField* TDataSet::FieldByName(const std::string& FieldName) const {
  TField* f = FFields.FindField(FieldName);
  if (!f) DatabaseError("Feld '" + FieldName + "' nicht gefunden", const_cast<TDataSet*>(this));
  return f;
}

void TDataSet::GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const {
  for (const std::string& n : SplitFieldNames(FieldNames)) List.push_back(FieldByName(n));
}

void TDataSet::GetFieldNames(TStrings* List) const {
  List->Clear();
  for (TField* f : FFields) List->Add(f->FieldName());
}

Variant TDataSet::FieldValues(const std::string& FieldNames) {
  std::vector<TField*> fields;
  GetFieldList(fields, FieldNames);
  if (fields.size() == 1) return fields[0]->AsVariant();
  std::vector<Variant> values;
  for (TField* f : fields) values.push_back(f->AsVariant());
  return VarArrayOf(std::move(values));
}

void TDataSet::SetFieldValues(const std::string& FieldNames, const Variant& Value) {
  std::vector<TField*> fields;
  GetFieldList(fields, FieldNames);
  if (fields.size() == 1 && !VarIsArray(Value)) {
    fields[0]->SetAsVariant(Value);
    return;
  }
  for (size_t i = 0; i < fields.size(); ++i) fields[i]->SetAsVariant(Value[i]);
}

TClass TDataSet::GetFieldClass(TFieldType FieldType) {
  return DefaultFieldClass(FieldType);
}

void TDataSet::CreateFields() {
  // Definitions read at this open are used as they are; only stale ones are read again.
  if (!FFieldDefs->Updated()) FFieldDefs->Update();
  for (int i = 0; i < FFieldDefs->Count(); ++i) {
    TFieldDef* d = FFieldDefs->Items(i);
    if (d->DataType() == ftUnknown || d->Attributes().Contains(faHiddenCol)) continue;
    if (FindField(d->Name())) continue;
    d->CreateField(this);
  }
}

void TDataSet::DestroyFields() {
  FFields.Clear();
}

void TDataSet::BindFields(bool Binding) {
  FCalcFieldsSize = 0;
  FBlobFieldCount = 0;
  FInternalCalcFields = false;
  for (TField* f : FFields) {
    if (!Binding) {
      f->FFieldNo = 0;
      f->FOffset = 0;
      f->Bind(false);
      continue;
    }
    if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) {
      f->FFieldNo = -1;
      f->FOffset = FCalcFieldsSize;
      FCalcFieldsSize += f->DataSize() + 1;
    } else if (f->FieldKind() == fkData || f->FieldKind() == fkInternalCalc) {
      int i = FFieldDefs->IndexOf(f->FieldName());
      if (i < 0) DatabaseError("Feld '" + f->FieldName() + "' nicht gefunden", this);
      TFieldDef* d = FFieldDefs->Items(i);
      TFieldType want = f->DataType(), have = d->DataType();
      bool compatible =
          want == have || (want == ftInteger && have == ftAutoInc) ||
          (want == ftAutoInc && have == ftInteger) || (want == ftString && have == ftFixedChar) ||
          (want == ftFixedChar && have == ftString) || (want == ftBlob && IsBlobType(have)) ||
          (want == ftDateTime && have == ftTimeStamp) ||
          (want == ftWideString && have == ftFixedWideChar);
      if (!compatible)
        DatabaseError("Typ für Feld '" + f->FieldName() +
                          "' stimmt nicht überein: " + FieldTypeNames()[want] + " erwartet, aber " +
                          FieldTypeNames()[have] + " gefunden",
                      this);
      f->FFieldNo = d->FieldNo();
      if (d->InternalCalcField()) FInternalCalcFields = true;
      if (f->IsBlob()) {
        f->FSize = d->Size();
        f->FOffset = FBlobFieldCount++;
      }
    }
    f->Bind(true);
  }
}

bool TDataSet::ReadCalcField(TField* Field, const std::byte* CalcArea, void* Buffer) {
  const std::byte* slot = CalcArea + Field->Offset();
  if (slot[0] == std::byte{0}) return false;
  if (Buffer) std::memcpy(Buffer, slot + 1, static_cast<size_t>(Field->DataSize()));
  return true;
}

void TDataSet::WriteCalcField(TField* Field, std::byte* CalcArea, const void* Buffer) {
  std::byte* slot = CalcArea + Field->Offset();
  slot[0] = Buffer ? std::byte{1} : std::byte{0};
  if (Buffer)
    std::memcpy(slot + 1, Buffer, static_cast<size_t>(Field->DataSize()));
  else
    std::memset(slot + 1, 0, static_cast<size_t>(Field->DataSize()));
}

void TDataSet::CheckRequiredFields() {
  for (TField* f : FFields)
    if (f->Required() && !f->ReadOnly() && f->FieldKind() == fkData && f->IsNull())
      DatabaseError("Feld '" + f->DisplayName() + "' muss einen Wert haben", this);
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField*, TBlobStreamMode) {
  return nullptr;
}

bool TDataSet::GetIsIndexField(TField*) {
  return false;
}

// ---------------------------------------------------------------------------------------------
// Calculated and lookup fields

void TDataSet::CalculateFields(TRecordBuffer Buffer) {
  FCalcBuffer = Buffer;
  if (FState == dsInternalCalc) return;
  TDataSetState saved = SetTempState(dsCalcFields);
  Finally restore([&] { RestoreState(saved); });
  ClearCalcFields(Buffer);
  for (TField* f : FFields)
    if (f->FieldKind() == fkLookup) CalcLookupValue(f);
  DoOnCalcFields();
}

void TDataSet::GetCalcFields(TRecordBuffer Buffer) {
  if (FCalcFieldsSize > 0 || FInternalCalcFields) CalculateFields(Buffer);
}

void TDataSet::CalcLookupValue(TField* Field) {
  TDataSet* lookup = Field->LookupDataSet();
  if (!lookup || !lookup->Active() || Field->KeyFields().empty() ||
      Field->LookupKeyFields().empty() || Field->LookupResultField().empty()) {
    Field->Clear();
    return;
  }
  Variant keys = FieldValues(Field->KeyFields());
  Field->SetAsVariant(lookup->Lookup(Field->LookupKeyFields(), keys, Field->LookupResultField()));
}

TDataSetState TDataSet::SetTempState(TDataSetState Value) {
  TDataSetState old = FState;
  FState = Value;
  return old;
}

void TDataSet::RestoreState(TDataSetState Value) {
  FState = Value;
}

void TDataSet::SetState(TDataSetState Value) {
  if (FState == Value) return;
  FState = Value;
  FModified = false;
  DataEvent(deUpdateState, 0);
}

// ---------------------------------------------------------------------------------------------
// The buffer window

TRecordBuffer TDataSet::ActiveBuffer() const {
  if (FBuffers.empty() || FActiveRecord >= static_cast<int>(FBuffers.size())) return nullptr;
  return FBuffers[static_cast<size_t>(FActiveRecord)];
}

TRecordBuffer TDataSet::Buffers(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(FBuffers.size())) return nullptr;
  return FBuffers[static_cast<size_t>(Index)];
}

void TDataSet::SetBufListSize(int Value) {
  size_t want = Value > 0 ? static_cast<size_t>(Value) : 0;
  while (FBuffers.size() > want) {
    TRecordBuffer b = FBuffers.back();
    FBuffers.pop_back();
    FreeRecordBuffer(b);
  }
  while (FBuffers.size() < want) FBuffers.push_back(AllocRecordBuffer());
}

void TDataSet::UpdateBufferCount() {
  if (!IsCursorOpen()) return;
  int count = 1;
  for (TDataSource* ds : FDataSources)
    for (TDataLink* link : ds->FDataLinks)
      if (link->BufferCount() > count) count = link->BufferCount();
  SetBufferCount(count);
}

void TDataSet::SetBufferCount(int Value) {
  if (Value < 1) Value = 1;
  if (Value == FBufferCount && !FBuffers.empty()) return;
  if (Value < FRecordCount) {
    // Keep the active record inside the smaller window: drop records before it first, then
    // the ones at the end.
    int drop = FRecordCount - Value;
    int front = std::min(drop, std::max(0, FActiveRecord - Value + 1));
    for (int i = 0; i < front; ++i) MoveBuffer(0, static_cast<int>(FBuffers.size()) - 1);
    FActiveRecord -= front;
    if (FCurrentRecord >= 0) {
      FCurrentRecord -= front;
      if (FCurrentRecord < 0 || FCurrentRecord >= Value) FCurrentRecord = -1;
    }
    FRecordCount = Value;
  }
  // Buffers beyond the records are unused: free or add at the end; the last one is the spare.
  SetBufListSize(Value + 1);
  FBufferCount = Value;
  GetNextRecords();
  if (FRecordCount > 0 && FRecordCount < FBufferCount) GetPriorRecords();
}

void TDataSet::RecreateBuffers() {
  int count = FBufferCount;
  ClearBuffers();
  SetBufListSize(0);
  if (count > 0) SetBufListSize(count + 1);
}

void TDataSet::MoveBuffer(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  TRecordBuffer b = FBuffers[static_cast<size_t>(CurIndex)];
  FBuffers.erase(FBuffers.begin() + CurIndex);
  FBuffers.insert(FBuffers.begin() + NewIndex, b);
}

void TDataSet::ClearBuffers() {
  FRecordCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
  FBOF = true;
  FEOF = true;
}

void TDataSet::ActivateBuffers() {
  FRecordCount = 1;
  FActiveRecord = 0;
  FCurrentRecord = 0;
  FBOF = false;
  FEOF = false;
}

void TDataSet::SetCurrentRecord(int Index) {
  if (FCurrentRecord == Index) return;
  TRecordBuffer buffer = FBuffers[static_cast<size_t>(Index)];
  switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
      InternalSetToRecord(buffer);
      break;
    case bfBOF:
      InternalFirst();
      break;
    case bfEOF:
      InternalLast();
      break;
  }
  FCurrentRecord = Index;
}

void TDataSet::UpdateCursorPos() {
  if (FRecordCount > 0) SetCurrentRecord(FActiveRecord);
}

bool TDataSet::GetNextRecord() {
  TGetMode mode = gmNext;
  if (FRecordCount > 0) {
    SetCurrentRecord(FRecordCount - 1);
    if (FState == dsInsert && FCurrentRecord == FActiveRecord &&
        GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
      mode = gmCurrent;
  }
  bool ok = GetRecord(FBuffers[static_cast<size_t>(FRecordCount)], mode, true) == grOK;
  if (!ok) {
    CursorPosChanged();
    return false;
  }
  if (FRecordCount == 0) {
    ActivateBuffers();
  } else if (FRecordCount < FBufferCount) {
    ++FRecordCount;
  } else {
    MoveBuffer(0, FRecordCount);
  }
  FCurrentRecord = FRecordCount - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (FRecordCount > 0) SetCurrentRecord(0);
  bool ok = GetRecord(FBuffers[static_cast<size_t>(FRecordCount)], gmPrior, true) == grOK;
  if (!ok) {
    CursorPosChanged();
    return false;
  }
  if (FRecordCount == 0) {
    ActivateBuffers();
  } else {
    MoveBuffer(FRecordCount, 0);
    if (FRecordCount < FBufferCount) {
      ++FRecordCount;
      ++FActiveRecord;
    }
  }
  FCurrentRecord = 0;
  return true;
}

int TDataSet::GetNextRecords() {
  int n = 0;
  while (FRecordCount < FBufferCount && GetNextRecord()) ++n;
  return n;
}

int TDataSet::GetPriorRecords() {
  int n = 0;
  while (FRecordCount < FBufferCount && GetPriorRecord()) ++n;
  return n;
}

// ---------------------------------------------------------------------------------------------
// Navigation

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  Finally done([&] {
    FBOF = true;
    DataEvent(deDataSetChange, 0);
    DoAfterScroll();
  });
  InternalFirst();
  GetNextRecords();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  Finally done([&] {
    FEOF = true;
    DataEvent(deDataSetChange, 0);
    DoAfterScroll();
  });
  InternalLast();
  GetPriorRecords();
}

int TDataSet::MoveBy(int Distance) {
  CheckBrowseMode();
  int result = 0;
  bool blockRead = FState == dsBlockRead;
  if (!blockRead) DoBeforeScroll();
  if ((Distance > 0 && !FEOF) || (Distance < 0 && !FBOF)) {
    FBOF = false;
    FEOF = false;
    int scroll = 0;
    Finally notify([&] {
      if (!blockRead) {
        DataEvent(deDataSetScroll, scroll);
        DoAfterScroll();
      }
    });
    while (Distance > 0) {
      if (FActiveRecord < FRecordCount - 1) {
        ++FActiveRecord;
      } else {
        bool full = FRecordCount >= FBufferCount;
        if (!GetNextRecord()) {
          FEOF = true;
          break;
        }
        if (full)
          --scroll;  // the window moved: every buffer holds the record after its old one
        else
          ++FActiveRecord;
      }
      --Distance;
      ++result;
    }
    while (Distance < 0) {
      if (FActiveRecord > 0) {
        --FActiveRecord;
      } else {
        bool full = FRecordCount >= FBufferCount;
        if (!GetPriorRecord()) {
          FBOF = true;
          break;
        }
        if (full)
          ++scroll;
        else
          --FActiveRecord;  // GetPriorRecord kept the old record active; step onto the new one
      }
      ++Distance;
      --result;
    }
  }
  return result;
}

void TDataSet::Resync(TResyncMode Mode) {
  TRecordBuffer spare = FBuffers[static_cast<size_t>(FRecordCount)];
  if (Mode.Contains(rmExact)) {
    CursorPosChanged();
    if (GetRecord(spare, gmCurrent, true) != grOK) DatabaseError("Datensatz nicht gefunden", this);
  } else if (GetRecord(spare, gmCurrent, false) != grOK &&
             GetRecord(spare, gmNext, false) != grOK && GetRecord(spare, gmPrior, false) != grOK) {
    ClearBuffers();
    DataEvent(deDataSetChange, 0);
    return;
  }
  int count = Mode.Contains(rmCenter) ? (FBufferCount - 1) / 2 : FActiveRecord;
  MoveBuffer(FRecordCount, 0);
  ActivateBuffers();
  Finally done([&] { DataEvent(deDataSetChange, 0); });
  while (count > 0 && GetPriorRecord()) --count;
  GetNextRecords();
  GetPriorRecords();
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  switch (FState) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (FModified)
        Post();
      else
        Cancel();
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

void TDataSet::UpdateRecord() {
  if (!IsWriteMode(FState)) DatabaseError(kNotEditing, this);
  DataEvent(deUpdateRecord, 0);
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  DoBeforeRefresh();
  UpdateCursorPos();
  InternalRefresh();
  Resync(TResyncMode{});
  DoAfterRefresh();
}

// ---------------------------------------------------------------------------------------------
// Bookmarks

bool TDataSet::BookmarkAvailable() {
  return Active() && FState != dsInsert && FRecordCount > 0 && FActiveRecord < FRecordCount &&
         GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
}

TBookmark TDataSet::Bookmark() {
  TBookmark b;
  if (!BookmarkAvailable() || FBookmarkSize <= 0) return b;
  b.resize(static_cast<size_t>(FBookmarkSize));
  GetBookmarkData(ActiveBuffer(), b.data());
  return b;
}

void TDataSet::GotoBookmark(const TBookmark& Value) {
  if (Value.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(Value.data());
  Resync(TResyncMode{rmExact, rmCenter});
  DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark&) {
  return false;
}

int TDataSet::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
  if (Bookmark1.empty() && Bookmark2.empty()) return 0;
  if (Bookmark1.empty()) return 1;
  if (Bookmark2.empty()) return -1;
  int c =
      std::memcmp(Bookmark1.data(), Bookmark2.data(), std::min(Bookmark1.size(), Bookmark2.size()));
  if (c == 0 && Bookmark1.size() != Bookmark2.size())
    c = Bookmark1.size() < Bookmark2.size() ? -1 : 1;
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool TDataSet::GetCurrentRecord(TRecordBuffer Buffer) {
  if (FRecordCount == 0 || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
  UpdateCursorPos();
  std::memcpy(Buffer, ActiveBuffer(), static_cast<size_t>(GetRecordSize()));
  return true;
}

// ---------------------------------------------------------------------------------------------
// Editing

void TDataSet::CheckOperation(const std::function<void()>& Operation,
                              const TDataSetErrorEvent& Event) {
  for (;;) {
    try {
      UpdateCursorPos();
      Operation();
      return;
    } catch (EDatabaseError& E) {
      TDataAction action = daFail;
      if (Event) Event(this, E, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
    }
  }
}

void TDataSet::InitRecord(TRecordBuffer Buffer) {
  ClearCalcFields(Buffer);
  SetBookmarkFlag(Buffer, bfInserted);
  InternalInitRecord(Buffer);
}

void TDataSet::Edit() {
  if (FState == dsEdit || FState == dsInsert) return;
  if (FRecordCount == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  if (!CanModify()) DatabaseError("Datenmenge kann nicht verändert werden", this);
  DoBeforeEdit();
  CheckOperation([this] { InternalEdit(); }, OnEditError);
  GetCalcFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  DoAfterEdit();
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  if (!CanModify()) DatabaseError("Datenmenge kann nicht verändert werden", this);
  DoBeforeInsert();
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    UpdateCursorPos();
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(TResyncMode{});
    throw;
  }
  FModified = false;
  DataEvent(deDataSetChange, 0);
  DoAfterInsert();
}

void TDataSet::Insert() {
  BeginInsertAppend();
  TBookmark oldCurrent = Bookmark();
  MoveBuffer(FRecordCount, FActiveRecord);
  TRecordBuffer buffer = ActiveBuffer();
  InitRecord(buffer);
  if (FRecordCount == 0)
    SetBookmarkFlag(buffer, bfBOF);
  else if (!oldCurrent.empty())
    SetBookmarkData(buffer, oldCurrent.data());
  if (FRecordCount < FBufferCount) ++FRecordCount;
  FCurrentRecord = -1;
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  TRecordBuffer buffer = FBuffers[0];
  InitRecord(buffer);
  SetBookmarkFlag(buffer, bfEOF);
  FRecordCount = 1;
  FBOF = false;
  GetPriorRecords();
  InternalLast();
  FCurrentRecord = -1;
  FEOF = true;
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::ClearFields() {
  if (!IsEditMode(FState)) DatabaseError(kNotEditing, this);
  DataEvent(deCheckBrowseMode, 0);
  FreeFieldBuffers();
  if (FState == dsSetKey) {
    InternalClearKeyFields();
  } else {
    InternalInitRecord(ActiveBuffer());
    GetCalcFields(ActiveBuffer());
  }
  DataEvent(deRecordChange, 0);
}

void TDataSet::FreeFieldBuffers() {
  for (TField* f : FFields)
    if (f->IsBlob()) CloseBlob(f);
}

void TDataSet::Post() {
  UpdateRecord();
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforePost();
  CheckOperation([this] { InternalPost(); }, OnPostError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync(TResyncMode{});
  DoAfterPost();
}

void TDataSet::Cancel() {
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeCancel();
  UpdateCursorPos();
  InternalCancel();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync(TResyncMode{});
  DoAfterCancel();
}

void TDataSet::Delete() {
  CheckActive();
  if (FState == dsInsert || FState == dsSetKey) {
    Cancel();
    return;
  }
  if (FRecordCount == 0) DatabaseError("Operation bei leerer Datenmenge nicht ausführbar", this);
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeDelete();
  DoBeforeScroll();
  CheckOperation([this] { InternalDelete(); }, OnDeleteError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync(TResyncMode{});
  DoAfterDelete();
  DoAfterScroll();
}

void TDataSet::SetFields(const std::vector<Variant>& Values) {
  if (FState != dsEdit && FState != dsInsert && FState != dsSetKey) Edit();
  for (size_t i = 0; i < Values.size() && i < static_cast<size_t>(FieldCount()); ++i) {
    if (VarIsEmpty(Values[i])) continue;
    TField* f = FFields.Fields(static_cast<int>(i));
    if (f->ReadOnly() && VarIsNull(Values[i])) continue;
    f->SetAsVariant(Values[i]);
  }
}

void TDataSet::InternalInsertRecord(const std::vector<Variant>& Values, bool Append) {
  BeginInsertAppend();
  if (!Append) UpdateCursorPos();
  DisableControls();
  Finally enable([this] { EnableControls(); });
  MoveBuffer(FRecordCount, FActiveRecord);
  try {
    TRecordBuffer buffer = ActiveBuffer();
    InitRecord(buffer);
    FState = dsInsert;
    Finally back([this] {
      FreeFieldBuffers();
      FState = dsBrowse;
      FModified = false;
    });
    DoOnNewRecord();
    DoAfterInsert();
    SetFields(Values);
    DoBeforePost();
    InternalAddRecord(buffer, Append);
  } catch (...) {
    MoveBuffer(FActiveRecord, FRecordCount);
    throw;
  }
  Resync(TResyncMode{});
  DoAfterPost();
}

void TDataSet::AppendRecord(const std::vector<Variant>& Values) {
  InternalInsertRecord(Values, true);
}

void TDataSet::InsertRecord(const std::vector<Variant>& Values) {
  InternalInsertRecord(Values, false);
}

// ---------------------------------------------------------------------------------------------
// Search

bool TDataSet::RecordMatches(TRecordBuffer, const std::vector<TField*>& Fields,
                             const Variant& KeyValues, TLocateOptions Options) {
  if (Fields.size() == 1 && !VarIsArray(KeyValues))
    return ValueMatches(Fields[0], KeyValues, Options);
  if (!VarIsArray(KeyValues) || KeyValues.ArrayLength() < Fields.size()) return false;
  for (size_t i = 0; i < Fields.size(); ++i)
    if (!ValueMatches(Fields[i], KeyValues[i], Options)) return false;
  return true;
}

bool TDataSet::ScanForRecord(const std::vector<TField*>& Fields, const Variant& KeyValues,
                             TLocateOptions Options) {
  TRecordBuffer spare = FBuffers[static_cast<size_t>(FRecordCount)];
  CursorPosChanged();
  TDataSetState saved = SetTempState(dsCalcFields);
  Finally restore([&] { RestoreState(saved); });
  InternalFirst();
  while (GetRecord(spare, gmNext, true) == grOK) {
    FCalcBuffer = spare;
    FState = dsCalcFields;
    if (RecordMatches(spare, Fields, KeyValues, Options)) return true;
  }
  return false;
}

bool TDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues,
                      TLocateOptions Options) {
  CheckBrowseMode();
  std::vector<TField*> fields;
  GetFieldList(fields, KeyFields);
  DoBeforeScroll();
  bool found = ScanForRecord(fields, KeyValues, Options);
  FFound = found;
  if (!found) {
    CursorPosChanged();
    return false;
  }
  TBookmark b(static_cast<size_t>(FBookmarkSize));
  GetBookmarkData(FBuffers[static_cast<size_t>(FRecordCount)], b.data());
  InternalGotoBookmark(b.data());
  Resync(TResyncMode{rmExact, rmCenter});
  DoAfterScroll();
  return true;
}

Variant TDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                         const std::string& ResultFields) {
  CheckBrowseMode();
  std::vector<TField*> fields;
  GetFieldList(fields, KeyFields);
  Variant result = Null();
  TDataSetState saved = FState;
  Finally reposition([&] {
    RestoreState(saved);
    CursorPosChanged();
  });
  if (ScanForRecord(fields, KeyValues, TLocateOptions{})) {
    FState = dsCalcFields;
    FCalcBuffer = FBuffers[static_cast<size_t>(FRecordCount)];
    result = FieldValues(ResultFields);
  }
  return result;
}

bool TDataSet::FindRecord(bool Restart, bool GoForward) {
  CheckBrowseMode();
  FFound = false;
  TBookmark start = Bookmark();
  DisableControls();
  Finally enable([this] { EnableControls(); });
  auto accepts = [this] {
    if (IsEmpty()) return false;
    bool accept = true;
    if (FOnFilterRecord) FOnFilterRecord(this, accept);
    return accept;
  };
  bool found = false;
  if (Restart) {
    if (GoForward)
      First();
    else
      Last();
  } else if (MoveBy(GoForward ? 1 : -1) == 0) {
    return false;
  }
  while (!IsEmpty()) {
    if (accepts()) {
      found = true;
      break;
    }
    if (MoveBy(GoForward ? 1 : -1) == 0) break;
  }
  if (!found && !start.empty()) GotoBookmark(start);
  FFound = found;
  return found;
}

// ---------------------------------------------------------------------------------------------
// Filters

void TDataSet::SetFiltered(bool Value) {
  if (Value && IsUniDirectional())
    DatabaseError("Operation für unidirektionale Datenmenge nicht zulässig", this);
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  FFiltered = Value;
}

void TDataSet::SetFilterText(const std::string& Value) {
  if (IsUniDirectional())
    DatabaseError("Operation für unidirektionale Datenmenge nicht zulässig", this);
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  FFilterText = Value;
}

void TDataSet::SetFilterOptions(TFilterOptions Value) {
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  FFilterOptions = Value;
}

void TDataSet::SetOnFilterRecord(const TFilterRecordEvent& Value) {
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  FOnFilterRecord = Value;
}

// ---------------------------------------------------------------------------------------------
// Controls and data events

void TDataSet::DisableControls() {
  if (FDisableCount == 0) {
    FDisableState = FState;
    FEnableEvent = deDataSetChange;
  }
  ++FDisableCount;
}

void TDataSet::EnableControls() {
  if (FDisableCount == 0) return;
  if (--FDisableCount > 0) return;
  if (FDisableState != FState) DataEvent(deUpdateState, 0);
  if (FDisableState != dsInactive && FState != dsInactive) DataEvent(FEnableEvent, 0);
}

void TDataSet::DataEvent(TDataEvent Event, intptr_t Info) {
  switch (Event) {
    case deFieldChange: {
      TField* f = reinterpret_cast<TField*>(Info);
      if (f && (f->FieldKind() == fkData || f->FieldKind() == fkInternalCalc)) FModified = true;
      if (f && FState != dsSetKey) {
        if (f->FieldKind() == fkData && FAutoCalcFields &&
            (FCalcFieldsSize > 0 || FInternalCalcFields))
          CalculateFields(ActiveBuffer());
        f->Change();
      }
      break;
    }
    case dePropertyChange:
      FFieldDefs->SetUpdated(false);
      break;
    default:
      break;
  }
  if (FDisableCount == 0) {
    std::vector<TDataSource*> sources = FDataSources;
    for (TDataSource* ds : sources) ds->DataEvent(Event, Info);
  } else if (Event == deLayoutChange) {
    FEnableEvent = deLayoutChange;
  }
}

void TDataSet::SetBlockReadSize(int Value) {
  if (Value > 0) {
    CheckActive();
    SetState(dsBlockRead);
  } else if (FState == dsBlockRead) {
    SetState(dsBrowse);
  }
  FBlockReadSize = Value > 0 ? Value : 0;
}

bool TDataSet::IsLinkedTo(TDataSource* DataSource) {
  TDataSet* ds = DataSource ? DataSource->DataSet() : nullptr;
  int guard = 0;
  while (ds && guard++ < 64) {
    if (ds == this) return true;
    TDataSource* master = ds->GetDataSource();
    ds = master ? master->DataSet() : nullptr;
  }
  return false;
}

void TDataSet::AddDataSource(TDataSource* DataSource) {
  FDataSources.push_back(DataSource);
  UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* DataSource) {
  auto it = std::find(FDataSources.begin(), FDataSources.end(), DataSource);
  if (it != FDataSources.end()) FDataSources.erase(it);
  if (!ComponentState().Contains(csDestroying)) UpdateBufferCount();
}

namespace {
template <TDataSetNotifyEvent TDataSet::*Member>
void SetDataSetEvent(TDataSet& d, const TDataSetNotifyEvent& e) {
  d.*Member = e;
}
template <TDataSetErrorEvent TDataSet::*Member>
void SetDataSetErrorEvent(TDataSet& d, const TDataSetErrorEvent& e) {
  d.*Member = e;
}
void SetFilterRecordEvent(TDataSet& d, const TFilterRecordEvent& e) {
  d.SetOnFilterRecord(e);
}
}  // namespace

#define VCL_DS_EVENT(Name) c.Event(#Name, &TDataSet::Name, &SetDataSetEvent<&TDataSet::Name>)
VCL_REGISTER_CLASS(TDataSet, [](TClassBuilder<TDataSet>& c) {
  c.Prop("Active", &TDataSet::Active, &TDataSet::SetActive, false);
  c.Prop("AutoCalcFields", &TDataSet::AutoCalcFields, &TDataSet::SetAutoCalcFields, true);
  c.Collection("FieldDefs", &TDataSet::FieldDefs).Stored(false);
  c.Prop("Filter", &TDataSet::Filter, &TDataSet::SetFilter);
  c.Prop("Filtered", &TDataSet::Filtered, &TDataSet::SetFiltered, false);
  c.Set("FilterOptions", &TDataSet::FilterOptions, &TDataSet::SetFilterOptions,
        {"foCaseInsensitive", "foNoPartialCompare"});
  VCL_DS_EVENT(BeforeOpen);
  VCL_DS_EVENT(AfterOpen);
  VCL_DS_EVENT(BeforeClose);
  VCL_DS_EVENT(AfterClose);
  VCL_DS_EVENT(BeforeInsert);
  VCL_DS_EVENT(AfterInsert);
  VCL_DS_EVENT(BeforeEdit);
  VCL_DS_EVENT(AfterEdit);
  VCL_DS_EVENT(BeforePost);
  VCL_DS_EVENT(AfterPost);
  VCL_DS_EVENT(BeforeCancel);
  VCL_DS_EVENT(AfterCancel);
  VCL_DS_EVENT(BeforeDelete);
  VCL_DS_EVENT(AfterDelete);
  VCL_DS_EVENT(BeforeScroll);
  VCL_DS_EVENT(AfterScroll);
  VCL_DS_EVENT(BeforeRefresh);
  VCL_DS_EVENT(AfterRefresh);
  VCL_DS_EVENT(OnCalcFields);
  VCL_DS_EVENT(OnNewRecord);
  c.Event("OnDeleteError", &TDataSet::OnDeleteError,
          &SetDataSetErrorEvent<&TDataSet::OnDeleteError>);
  c.Event("OnEditError", &TDataSet::OnEditError, &SetDataSetErrorEvent<&TDataSet::OnEditError>);
  c.Event("OnFilterRecord", &TDataSet::OnFilterRecord, &SetFilterRecordEvent);
  c.Event("OnPostError", &TDataSet::OnPostError, &SetDataSetErrorEvent<&TDataSet::OnPostError>);
})
#undef VCL_DS_EVENT
