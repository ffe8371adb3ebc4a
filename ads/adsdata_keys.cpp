// Keys, ranges and scopes of the datasets: key editing in the six key buffers, key searches,
// ranges (which also make a detail follow its master), scopes and GotoCurrent. Ranges and
// scopes both become the engine's top and bottom scope of the current index.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/adsdata.h"

namespace {

constexpr int kLookupKey = 0;
constexpr int kRangeStart = 1;
constexpr int kRangeEnd = 2;
constexpr int kAppliedStart = 3;
constexpr int kAppliedEnd = 4;
constexpr int kSavedKey = 5;
constexpr UNSIGNED16 kKeyAreaLength = 4084;
constexpr UNSIGNED16 kExactKeyLength = 4082;
constexpr UNSIGNED16 kNearestKeyLength = 4083;
constexpr UNSIGNED16 kSegmentNameLength = 128;
constexpr std::size_t kMaxScopeLength = 4083;
constexpr UNSIGNED16 kNoKeyValue = 0xFFFF;

const UNSIGNED8* Bytes(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

// The key length entry of field number n (from 1); the table need not be aligned.
uint16_t KeyLengthOf(PAdsKeyBuffer Buffer, uint16_t usRecordSize, uint16_t n) {
  uint16_t value = 0;
  std::memcpy(&value, Buffer->RecordImage() + usRecordSize + 2u * (n - 1u), sizeof value);
  return value;
}

}  // namespace

// ---- Key buffers ----------------------------------------------------------------------------

void TAdsDataSet::InitKeyBuffer(PAdsKeyBuffer Buffer) {
  Buffer->Modified = false;
  Buffer->Exclusive = false;
  Buffer->FieldCount = 0;
  const uint32_t fields = (Buffer->BufferSize - sizeof(TAdsKeyBuffer) - musRecordSize) / 2;
  std::memset(Buffer->RecordImage() + musRecordSize, 0xFF, 2u * fields);
  UNSIGNED32 length = musRecordSize;
  AceCheck(this,
           Ace.AdsGetNullRecord(static_cast<ADSHANDLE>(mlHandle),
                                reinterpret_cast<UNSIGNED8*>(Buffer->RecordImage()), &length));
}

void TAdsDataSet::InternalClearKeyFields() {
  if (mpstKeyBuffer == nullptr) return;
  // The values go; what the key editing set about the key itself stays.
  const bool modified = mpstKeyBuffer->Modified;
  const bool exclusive = mpstKeyBuffer->Exclusive;
  const int32_t count = mpstKeyBuffer->FieldCount;
  InitKeyBuffer(mpstKeyBuffer);
  mpstKeyBuffer->Modified = modified;
  mpstKeyBuffer->Exclusive = exclusive;
  mpstKeyBuffer->FieldCount = count;
}

void TAdsDataSet::BeginKeyEdit(int Position, bool Clear) {
  if (mlActiveHandle == mlHandle) RaiseComponentError(this, "Index is not set.");
  CheckBrowseMode();
  mpstKeyBuffer = mapKeyBuffers[Position];
  std::memcpy(static_cast<void*>(mapKeyBuffers[kSavedKey]), mpstKeyBuffer,
              mpstKeyBuffer->BufferSize);
  if (Clear) {
    InitKeyBuffer(mpstKeyBuffer);
    mpstKeyBuffer->FieldCount = 0;
  }
  SetState(dsSetKey);
  mpstKeyBuffer->Modified = true;
  SetModified(true);
  DataEvent(deDataSetChange, 0);
}

void TAdsDataSet::SetKey() {
  BeginKeyEdit(kLookupKey, true);
}
void TAdsDataSet::EditKey() {
  BeginKeyEdit(kLookupKey, false);
}
void TAdsDataSet::SetRangeStart() {
  BeginKeyEdit(kRangeStart, true);
}
void TAdsDataSet::SetRangeEnd() {
  BeginKeyEdit(kRangeEnd, true);
}
void TAdsDataSet::EditRangeStart() {
  BeginKeyEdit(kRangeStart, false);
}
void TAdsDataSet::EditRangeEnd() {
  BeginKeyEdit(kRangeEnd, false);
}

bool TAdsDataSet::KeyExclusive() {
  if (State() != dsSetKey) DatabaseError("Dataset not in edit mode");
  return mpstKeyBuffer->Exclusive;
}

void TAdsDataSet::SetKeyExclusive(bool Value) {
  if (State() != dsSetKey) DatabaseError("Dataset not in edit mode");
  mpstKeyBuffer->Exclusive = Value;
}

int16_t TAdsDataSet::KeyFieldCount() {
  if (State() != dsSetKey) DatabaseError("Dataset not in edit mode");
  return static_cast<int16_t>(mpstKeyBuffer->FieldCount);
}

void TAdsDataSet::SetKeyFieldCount(int16_t Value) {
  if (State() != dsSetKey) DatabaseError("Dataset not in edit mode");
  mpstKeyBuffer->FieldCount = Value;
}

void TAdsDataSet::AssignKeyValues(int Position, const std::vector<Variant>& Values) {
  if (!mpoIndexDefs->Updated()) mpoIndexDefs->Update();
  const std::string list = CurrentIndexFieldList();
  if (list.empty())
    RaiseComponentError(
        this, "An index must be active to perform this operation. Set the IndexName property.");
  std::vector<std::string> names;
  for (std::string::size_type start = 0;;) {
    const auto at = list.find(';', start);
    names.push_back(list.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  if (Values.empty() || names.size() < Values.size())
    RaiseComponentError(this, "Too many values given for current index");
  PAdsKeyBuffer buffer = mapKeyBuffers[Position];
  const TDataSetState saved = SetTempState(dsSetKey);
  Finally restore([&] { RestoreState(saved); });
  InitKeyBuffer(buffer);
  mpstKeyBuffer = buffer;
  for (std::size_t i = Values.size(); i-- > 0;) FieldByName(names[i])->AssignValue(Values[i]);
  buffer->FieldCount = static_cast<int32_t>(Values.size());
  buffer->Modified = Modified();
}

UNSIGNED16 TAdsDataSet::BuildSearchKey(int Position, bool Partial, UNSIGNED8* Key,
                                       UNSIGNED16 StartLength) {
  const ADSHANDLE index = static_cast<ADSHANDLE>(mlActiveHandle);
  PAdsKeyBuffer buffer = mapKeyBuffers[Position];
  std::byte* image = buffer->RecordImage();
  AceCheck(this, Ace.AdsInitRawKey(index));
  // The engine builds the whole key, with blanks where no value was set. A key whose trailing
  // segments are left out (or whose last text segment is partial) is cut after the part that
  // was given, so that it is the partial key that seeks and scopes compare over its length.
  // The width of a segment in the key is known for text segments only (the field's bytes);
  // after any other segment the key keeps its full length.
  UNSIGNED16 prefix = 0;
  bool prefixKnown = true;
  bool leftOut = false;
  bool cuttable = true;
  for (UNSIGNED16 i = 0;; ++i) {
    UNSIGNED8 name[kSegmentNameLength + 1] = {};
    UNSIGNED16 nameLength = kSegmentNameLength + 1;
    if (Ace.AdsGetSegmentFieldname(index, i, name, &nameLength) != AE_SUCCESS) break;
    name[kSegmentNameLength] = 0;
    const std::string fieldName = AnsiToUtf8(reinterpret_cast<const char*>(name));
    const int at = FACEFieldDefs->IndexOf(fieldName);
    if (at < 0) continue;  // a constant part of the key: nothing to give
    const TACEFieldDef& d = *FACEFieldDefs->Items(at);
    const uint16_t given = KeyLengthOf(buffer, musRecordSize, d.FieldNumber());
    if (given == kNoKeyValue) {
      if (mpoAdsTableOptions->AdsAutoKeyFieldCount() || buffer->FieldCount != 0) {
        leftOut = true;
        continue;
      }
      AceCheck(this, Ace.AdsSetEmpty(index, name));
      if (leftOut) cuttable = false;
      prefixKnown =
          prefixKnown && (d.FieldType() == 4 || d.FieldType() == 20 || d.FieldType() == 23);
      prefix = static_cast<UNSIGNED16>(prefix + d.Length());
      continue;
    }
    if (leftOut) cuttable = false;
    const uint16_t type = d.FieldType();
    const bool text = type == 4 || type == 20 || type == 23;
    UNSIGNED32 length = d.Length();
    if (Partial && text) {
      length = std::min<UNSIGNED32>(given, d.Length());
      if (length < d.Length()) leftOut = true;  // what follows is not given either
    }
    if (!text) prefixKnown = false;
    prefix = static_cast<UNSIGNED16>(prefix + length);
    UNSIGNED8* value = reinterpret_cast<UNSIGNED8*>(image + d.Offset());
    if (text) {
      AceCheck(this, Ace.AdsSetField(index, name, value, length));
    } else if (type == 26 || type == 27) {
      AceCheck(this,
               Ace.AdsSetFieldW(index, name, reinterpret_cast<WCHAR*>(value), (length + 1) / 2));
    } else {
      AceCheck(this, Ace.AdsSetFieldRaw(index, name, value, length));
    }
  }
  UNSIGNED16 length = StartLength;
  AceCheck(this, Ace.AdsBuildRawKey(index, Key, &length));
  if (leftOut && cuttable && prefixKnown && prefix > 0 && prefix < length) length = prefix;
  return length;
}

// ---- Key searches ---------------------------------------------------------------------------

// The exact seek that only stops on a record OnFilterRecord accepts is the filters'
// (SeekAccepted, adsdata_filter.cpp).

bool TAdsDataSet::GotoKey() {
  CheckBrowseMode();
  DoBeforeScroll();
  const int32_t recNo = IsEmpty() ? 0 : GetRecInfoRecNo(ActiveBuffer());
  const bool atEnd = Eof();
  const bool atStart = Bof();
  CursorPosChanged();
  UNSIGNED8 key[kKeyAreaLength] = {};
  const UNSIGNED16 length = BuildSearchKey(kLookupKey, false, key, kExactKeyLength);
  bool found = false;
  if (OnFilterRecord() && Filtered()) {
    found = SeekAccepted(key, length);
  } else {
    UNSIGNED16 flag = 0;
    AceCheck(this, Ace.AdsSeek(static_cast<ADSHANDLE>(mlActiveHandle), key, length, ADS_RAWKEY,
                               ADS_HARDSEEK, &flag));
    found = flag == 1;
  }
  if (found) {
    Resync(TResyncMode{rmExact, rmCenter});
    DoAfterScroll();
  } else if (atEnd) {
    Last();
  } else if (atStart || recNo == 0) {
    First();
  } else {
    const UNSIGNED32 result =
        Ace.AdsGotoRecord(static_cast<ADSHANDLE>(mlHandle), static_cast<UNSIGNED32>(recNo));
    if (result == AE_INVALID_RECORD_NUMBER) {
      Last();
    } else {
      AceCheck(this, result);
    }
  }
  SetFound(found);
  return found;
}

void TAdsDataSet::GotoNearest() {
  CheckBrowseMode();
  DoBeforeScroll();
  CursorPosChanged();
  UNSIGNED8 key[kKeyAreaLength] = {};
  const UNSIGNED16 length = BuildSearchKey(kLookupKey, true, key, kNearestKeyLength);
  UNSIGNED16 found = 0;
  AceCheck(this, Ace.AdsSeek(static_cast<ADSHANDLE>(mlActiveHandle), key, length, ADS_RAWKEY,
                             ADS_SOFTSEEK, &found));
  SetFound(found == 1);
  if (State() != dsBrowse) SetState(dsBrowse);
  Resync(TResyncMode{rmCenter});
  DoAfterScroll();
}

bool TAdsDataSet::FindKey(const std::vector<Variant>& KeyValues) {
  CheckBrowseMode();
  AssignKeyValues(kLookupKey, KeyValues);
  return GotoKey();
}

void TAdsDataSet::FindNearest(const std::vector<Variant>& KeyValues) {
  CheckBrowseMode();
  AssignKeyValues(kLookupKey, KeyValues);
  GotoNearest();
}

// ---- Ranges ---------------------------------------------------------------------------------

void TAdsDataSet::SetRange(const std::vector<Variant>& StartValues,
                           const std::vector<Variant>& EndValues) {
  CheckBrowseMode();
  AssignKeyValues(kRangeStart, StartValues);
  AssignKeyValues(kRangeEnd, EndValues);
  ApplyRange();
}

void TAdsDataSet::ApplyRange() {
  CheckBrowseMode();
  if (ApplyEngineRange()) First();
}

void TAdsDataSet::CancelRange() {
  CheckBrowseMode();
  UpdateCursorPos();
  if (ClearEngineRange()) Resync({});
}

bool TAdsDataSet::ApplyEngineRange() {
  if (mbScoped)
    RaiseComponentError(this, "Cannot set range on table when there is an active scope.");
  const std::size_t compared = sizeof(TAdsKeyBuffer) + musRecordSize;
  if (std::memcmp(mapKeyBuffers[kRangeStart], mapKeyBuffers[kAppliedStart], compared) == 0 &&
      std::memcmp(mapKeyBuffers[kRangeEnd], mapKeyBuffers[kAppliedEnd], compared) == 0)
    return false;
  const ADSHANDLE index = static_cast<ADSHANDLE>(mlActiveHandle);
  UNSIGNED16 keyLength = 0;
  AceCheck(this, Ace.AdsGetKeyLength(index, &keyLength));
  auto applyBound = [&](int prepared, int applied, UNSIGNED16 scope, SIGNED16 direction) {
    PAdsKeyBuffer buffer = mapKeyBuffers[prepared];
    if (!buffer->Modified) return;
    UNSIGNED8 key[kKeyAreaLength] = {};
    const UNSIGNED16 length = BuildSearchKey(prepared, false, key, kNearestKeyLength);
    if (buffer->Exclusive && musOpenTableType == ADS_ADT) {
      AceCheck(this, Ace.AdsGetKeyLength(index, &keyLength));
      AceCheck(this, Ace.AdsStepIndexKey(index, key, length, direction));
    }
    AceCheck(this, Ace.AdsSetScope(index, scope, key, length, ADS_RAWKEY));
    std::memcpy(static_cast<void*>(mapKeyBuffers[applied]), buffer, buffer->BufferSize);
  };
  applyBound(kRangeStart, kAppliedStart, ADS_TOP, 1);
  applyBound(kRangeEnd, kAppliedEnd, ADS_BOTTOM, -1);
  if (State() != dsBrowse && State() != dsInactive) SetState(dsBrowse);
  return true;
}

bool TAdsDataSet::ClearEngineRange() {
  if (mbScoped) return true;
  if (mapKeyBuffers[kAppliedStart] == nullptr) return false;
  if (!mapKeyBuffers[kAppliedStart]->Modified && !mapKeyBuffers[kAppliedEnd]->Modified)
    return false;
  const ADSHANDLE table = static_cast<ADSHANDLE>(mlHandle);
  AceCheck(this, Ace.AdsClearAllScopes(table));
  UNSIGNED16 eof = 0;
  UNSIGNED16 bof = 0;
  AceCheck(this, Ace.AdsAtEOF(table, &eof));
  AceCheck(this, Ace.AdsAtBOF(table, &bof));
  if (eof != 0 && bof != 0) AceCheck(this, Ace.AdsGotoTop(static_cast<ADSHANDLE>(mlActiveHandle)));
  InitKeyBuffer(mapKeyBuffers[kAppliedStart]);
  InitKeyBuffer(mapKeyBuffers[kAppliedEnd]);
  return true;
}

// ---- Scopes ---------------------------------------------------------------------------------

void TAdsDataSet::SetScopeBegin(const std::string& Value) {
  if (Utf8ToAnsi(Value).size() > kMaxScopeLength)
    RaiseComponentError(this, "Scope text length exceeded " + std::to_string(kMaxScopeLength - 1));
  mstrScopeStart = Value;
}

void TAdsDataSet::SetScopeEnd(const std::string& Value) {
  if (Utf8ToAnsi(Value).size() > kMaxScopeLength)
    RaiseComponentError(this, "Scope text length exceeded " + std::to_string(kMaxScopeLength - 1));
  mstrScopeEnd = Value;
}

void TAdsDataSet::SetScoped(bool Value) {
  if (Value == mbScoped) return;
  if (Active()) {
    const int32_t recNo = IsEmpty() ? 0 : GetRecInfoRecNo(ActiveBuffer());
    if (Value) {
      ApplyEngineScope();
      UNSIGNED16 visible = 0;
      const UNSIGNED32 result =
          Ace.AdsIsRecordVisible(static_cast<ADSHANDLE>(mlActiveHandle), &visible);
      if (result == AE_NO_CURRENT_RECORD) {
        visible = 0;
      } else {
        AceCheck(this, result);
      }
      mbScoped = true;
      if (visible == 1) {
        Resync({});
      } else {
        First();
      }
      return;
    }
    ClearEngineScope();
    mbScoped = false;
    if (Eof() && Bof()) {
      First();
    } else {
      const UNSIGNED32 result =
          Ace.AdsGotoRecord(static_cast<ADSHANDLE>(mlHandle), static_cast<UNSIGNED32>(recNo));
      if (result == AE_INVALID_RECORD_NUMBER) Next();
      Resync({});
    }
    return;
  }
  mbScoped = Value;
}

void TAdsDataSet::ApplyEngineScope() {
  if (mlActiveHandle == mlHandle)
    RaiseComponentError(this, "Cannot activate scope when there is no active index.");
  const ADSHANDLE index = static_cast<ADSHANDLE>(mlActiveHandle);
  for (UNSIGNED16 scope : {UNSIGNED16{ADS_TOP}, UNSIGNED16{ADS_BOTTOM}}) {
    UNSIGNED8 bound[kKeyAreaLength] = {};
    UNSIGNED16 length = kExactKeyLength;
    if (Ace.AdsGetScope(index, scope, bound, &length) == AE_SUCCESS)
      RaiseComponentError(this, "Cannot activate scope when there is an active range.");
  }
  auto setBound = [&](const std::string& text, UNSIGNED16 scope) {
    if (text.empty()) return;
    const std::string ansi = Utf8ToAnsi(text);
    AceCheck(this, Ace.AdsSetScope(index, scope, Bytes(ansi), static_cast<UNSIGNED16>(ansi.size()),
                                   ADS_STRINGKEY));
  };
  setBound(mstrScopeStart, ADS_TOP);
  setBound(mstrScopeEnd, ADS_BOTTOM);
}

void TAdsDataSet::ClearEngineScope() {
  if (mlActiveHandle == mlHandle) return;
  const ADSHANDLE index = static_cast<ADSHANDLE>(mlActiveHandle);
  for (UNSIGNED16 scope : {UNSIGNED16{ADS_TOP}, UNSIGNED16{ADS_BOTTOM}}) {
    const UNSIGNED32 result = Ace.AdsClearScope(index, scope);
    if (result != AE_NO_SCOPE) AceCheck(this, result);
  }
}

// ---- Following a master ---------------------------------------------------------------------

void TAdsDataSet::SetMasterSource(TDataSource* Value) {
  if (Value != nullptr && IsLinkedTo(Value)) RaiseComponentError(this, "Circular Data Link");
  mpoMasterLink->SetDataSource(Value);
  if (Value == nullptr) SetMasterFields("");
}

void TAdsDataSet::SetMasterFields(const std::string& Value) {
  mstrMasterField = Value;
  mpoMasterLink->SetFieldNames(Value);
}

void TAdsDataSet::MasterChanged() {
  CheckBrowseMode();
  // Without an index there is nothing to put the master's values in; the detail shows its
  // records unrestricted until an index is chosen (which applies the range then).
  if (mlActiveHandle == mlHandle) return;
  const std::vector<TField*>& masters = mpoMasterLink->Fields();
  PAdsKeyBuffer start = mapKeyBuffers[kRangeStart];
  {
    const TDataSetState saved = SetTempState(dsSetKey);
    Finally restore([&] { RestoreState(saved); });
    InitKeyBuffer(start);
    mpstKeyBuffer = start;
    start->Modified = true;
    for (std::size_t i = 0; i < masters.size(); ++i) {
      TField* detail = FieldByName(ActiveIndexSegmentName(static_cast<uint16_t>(i)));
      detail->AssignValue(masters[i]->AsVariant());
    }
    start->FieldCount = static_cast<int32_t>(masters.size());
  }
  std::memcpy(static_cast<void*>(mapKeyBuffers[kRangeEnd]), start, start->BufferSize);
  ApplyRange();
}

void TAdsDataSet::MasterDisabled() {
  if (Active()) CancelRange();
}

void TAdsDataSet::DoAfterOpen() {
  TDataSet::DoAfterOpen();
  TDataSource* source = mpoMasterLink->DataSource();
  if (source != nullptr && source->DataSet() != nullptr && source->DataSet()->Active() &&
      !mpoMasterLink->Fields().empty())
    MasterChanged();
}

// ---- GotoCurrent ----------------------------------------------------------------------------

namespace {

std::string DatabaseIdentity(TAdsDataSet* poDataSet) {
  TAdsConnection* conn = poDataSet->AdsConnection();
  if (conn == nullptr) return poDataSet->DatabaseName();
  const std::string path = conn->GetConnectionPath();
  return path.empty() ? conn->AliasName() : path;
}

}  // namespace

void TAdsDataSet::GotoCurrent(TAdsDataSet* poTable) {
  CheckBrowseMode();
  poTable->CheckBrowseMode();
  if (!SameText(DatabaseIdentity(this), DatabaseIdentity(poTable)) ||
      !SameText(mstrTableName, poTable->mstrTableName))
    DatabaseError("Tables are not the same");
  poTable->UpdateCursorPos();
  UNSIGNED32 recNo = 0;
  AceCheck(this, Ace.AdsGetRecordNum(static_cast<ADSHANDLE>(poTable->mlHandle), ADS_IGNOREFILTERS,
                                     &recNo));
  const UNSIGNED32 result = Ace.AdsGotoRecord(static_cast<ADSHANDLE>(mlHandle), recNo);
  if (result == AE_INVALID_RECORD_NUMBER) {
    Last();
    return;
  }
  AceCheck(this, result);
  DoBeforeScroll();
  Resync(TResyncMode{rmExact, rmCenter});
  DoAfterScroll();
}
