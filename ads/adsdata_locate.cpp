// Record searches of the datasets: Locate (a raw-key seek in an index on the searched fields
// when one can be used, else a temporary engine filter of the values), Lookup (the same search,
// the window left alone), LocateLocally (the engine evaluates an expression record by record)
// and the record search behind FindFirst .. FindPrior, which uses the Filter text for one
// search. The filter text, the walks that honour OnFilterRecord and the search expression are
// adsdata_filter.cpp's.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ads/adsdata.h"

namespace {

constexpr UNSIGNED16 kScopeBufferLength = 4082;
constexpr UNSIGNED16 kConditionBufferLength = 10;
constexpr UNSIGNED16 kIndexNameLength = 128;
constexpr UNSIGNED16 kSegmentNameLength = 510;
constexpr UNSIGNED16 kRawKeyLength = 4082;
constexpr UNSIGNED32 kCustomNotKnown = 5017;  // AdsIsIndexCustom on an index that cannot tell
constexpr size_t kMaxKeyPosition = 100;
constexpr UNSIGNED32 kTemporaryFilterOption = ADS_ENCODE_UTF16;
constexpr UNSIGNED32 kTemporaryAofOption = ADS_RESOLVE_DYNAMIC + ADS_ENCODE_UTF16;

bool IsTextType(uint16_t usType) {
  return usType == 4 || usType == 20 || usType == 23;
}

std::vector<std::string> SplitFieldList(const std::string& strList) {
  std::vector<std::string> names;
  if (strList.empty()) return names;
  for (size_t start = 0;;) {
    const size_t at = strList.find(';', start);
    names.push_back(Trim(strList.substr(start, at == std::string::npos ? at : at - start)));
    if (at == std::string::npos) return names;
    start = at + 1;
  }
}

// The key-field match of the searched fields with an index's segment fields: the highest
// position covered when every field is one of the first 100 segments and the positions found
// leave no gap from the first on; 0 when they do not match.
size_t CoveredSegments(const std::vector<TField*>& Fields,
                       const std::vector<std::string>& Segments) {
  const size_t searchable = std::min(Segments.size(), kMaxKeyPosition);
  std::vector<bool> covered(searchable + 1, false);
  size_t highest = 0;
  for (TField* field : Fields) {
    size_t position = 0;
    for (size_t i = 0; i < searchable && position == 0; ++i)
      if (AnsiSameText(Segments[i], field->FieldName())) position = i + 1;
    if (position == 0) return 0;
    covered[position] = true;
    highest = std::max(highest, position);
  }
  for (size_t p = 1; p <= highest; ++p)
    if (!covered[p]) return 0;
  return highest;
}

// The segment field names of an index handle, as the engine gives them.
std::vector<std::string> SegmentFieldsOf(TAdsDataSet* poDataSet, ADSHANDLE hIndex) {
  UNSIGNED8 name[kIndexNameLength + 1] = {};
  UNSIGNED16 nameLength = kIndexNameLength;
  // Only asked for; a name longer than the buffer does not keep the index from being used.
  const UNSIGNED32 named = Ace.AdsGetIndexName(hIndex, name, &nameLength);
  if (named != AE_INSUFFICIENT_BUFFER) AceCheck(poDataSet, named);
  UNSIGNED16 count = 0;
  AceCheck(poDataSet, Ace.AdsGetNumSegments(hIndex, &count));
  std::vector<std::string> segments;
  for (UNSIGNED16 j = 0; j < count; ++j) {
    UNSIGNED8 field[kSegmentNameLength + 1] = {};
    UNSIGNED16 length = kSegmentNameLength;
    AceCheck(poDataSet, Ace.AdsGetSegmentFieldname(hIndex, j, field, &length));
    segments.push_back(AnsiToUtf8(reinterpret_cast<const char*>(field)));
  }
  return segments;
}

// Whether the cursor has an optimized (bAof) or a plain filter now.
bool HasEngineFilter(TAdsDataSet* poDataSet, ADSHANDLE hTable, bool bAof) {
  UNSIGNED16 length = 0;
  const UNSIGNED32 result =
      bAof ? Ace.AdsGetAOF(hTable, nullptr, &length) : Ace.AdsGetFilter(hTable, nullptr, &length);
  if (result == AE_INSUFFICIENT_BUFFER || result == AE_AOF_BUFFER_TOO_SMALL) return true;
  if (result == AE_NO_FILTER) return false;
  AceCheck(poDataSet, result);
  return true;
}

}  // namespace

// ---- Choosing an index ------------------------------------------------------------------------

bool TAdsDataSet::IndexIsRestricted(ADSHANDLE hIndex) {
  std::vector<UNSIGNED8> scope(kScopeBufferLength + 1, 0);
  UNSIGNED16 length = kScopeBufferLength;
  UNSIGNED32 result = Ace.AdsGetScope(hIndex, ADS_TOP, scope.data(), &length);
  if (result == AE_NO_SCOPE) {
    length = kScopeBufferLength;
    result = Ace.AdsGetScope(hIndex, ADS_BOTTOM, scope.data(), &length);
  }
  if (result != AE_NO_SCOPE) {
    AceCheck(this, result);
    if (length != 0) return true;
  }
  UNSIGNED8 condition[kConditionBufferLength] = {};
  length = kConditionBufferLength;
  result = Ace.AdsGetIndexCondition(hIndex, condition, &length);
  if (result != AE_INSUFFICIENT_BUFFER) AceCheck(this, result);
  if (length != 0) return true;
  if (meTableType != ttAdsADT) {
    UNSIGNED16 unique = 0;
    AceCheck(this, Ace.AdsIsIndexUnique(hIndex, &unique));
    if (unique == 1) return true;
  }
  UNSIGNED16 custom = 0;
  result = Ace.AdsIsIndexCustom(hIndex, &custom);
  if (result != kCustomNotKnown) AceCheck(this, result);
  return custom == 1;
}

int32_t TAdsDataSet::ChooseLocateIndex(const std::vector<TField*>& Fields,
                                       std::vector<std::string>& Segments, size_t& Covered) {
  const bool indexActive = mlActiveHandle != mlHandle;
  auto tryActive = [&]() -> bool {
    if (!mpoIndexDefs->Updated()) mpoIndexDefs->Update();
    Segments = SplitFieldList(CurrentIndexFieldList());
    Covered = CoveredSegments(Fields, Segments);
    return Covered != 0;
  };
  if (indexActive && IndexIsRestricted(static_cast<ADSHANDLE>(mlActiveHandle)))
    return tryActive() ? mlActiveHandle : -1;
  const ADSHANDLE table = static_cast<ADSHANDLE>(mlHandle);
  UNSIGNED16 count = 0;
  AceCheck(this, Ace.AdsGetNumIndexes(table, &count));
  if (indexActive && tryActive()) return mlActiveHandle;
  std::vector<ADSHANDLE> indexes(std::max<UNSIGNED16>(count, 1), 0);
  AceCheck(this, Ace.AdsGetAllIndexes(table, indexes.data(), &count));
  for (UNSIGNED16 i = 0; i < count && i < indexes.size(); ++i) {
    Segments = SegmentFieldsOf(this, indexes[i]);
    Covered = CoveredSegments(Fields, Segments);
    if (Covered != 0 && !IndexIsRestricted(indexes[i])) return static_cast<int32_t>(indexes[i]);
  }
  Segments.clear();
  Covered = 0;
  return -1;
}

// ---- The two ways of searching ----------------------------------------------------------------

bool TAdsDataSet::SeekLocateKey(ADSHANDLE hIndex, const std::vector<TField*>& Fields,
                                const std::vector<std::string>& Segments, size_t Covered,
                                TLocateOptions Options, bool& bSought) {
  bSought = false;
  const std::string& lastCovered = Segments[Covered - 1];
  TRecordBuffer record = mpFilterBuffer;
  // Bytes of the last covered segment's value without its trailing blanks (partial keys).
  UNSIGNED32 partialLength = 0;
  bool partial = false;
  AceCheck(this, Ace.AdsInitRawKey(hIndex));
  for (TField* field : Fields) {
    const TACEFieldDef* d = ACEFieldDefOf(field);
    if (d == nullptr) return false;
    const std::string name = Utf8ToAnsi(d->FieldName());
    const UNSIGNED8* bytes = reinterpret_cast<const UNSIGNED8*>(record + d->Offset());
    UNSIGNED32 length = d->Length();
    const bool text = IsTextType(d->FieldType());
    if (text && Options.Contains(loPartialKey) && AnsiSameText(field->FieldName(), lastCovered)) {
      while (length > 0 && bytes[length - 1] == ' ') --length;
      partial = true;
      partialLength = length;
    }
    const UNSIGNED8* fieldName = reinterpret_cast<const UNSIGNED8*>(name.c_str());
    AceCheck(this, text ? Ace.AdsSetField(hIndex, fieldName, bytes, length)
                        : Ace.AdsSetFieldRaw(hIndex, fieldName, bytes, length));
  }
  UNSIGNED8 key[kRawKeyLength + 2] = {};
  UNSIGNED16 keyLength = kRawKeyLength;
  AceCheck(this, Ace.AdsBuildRawKey(hIndex, key, &keyLength));
  // The engine builds the whole key, with blanks in the segments that were not set and after a
  // partial value: the key is cut after the part that was given. The width of a segment is
  // known for text segments (the field's bytes); another segment before the cut leaves the key
  // unknown, and the search is left to the filter.
  if (Covered < Segments.size() || partial) {
    UNSIGNED32 prefix = 0;
    for (size_t p = 0; p < Covered; ++p) {
      const int at = FACEFieldDefs->IndexOf(Segments[p]);
      if (at < 0 || !IsTextType(FACEFieldDefs->Items(at)->FieldType())) return false;
      const bool last = p + 1 == Covered;
      prefix += last && partial ? partialLength : FACEFieldDefs->Items(at)->Length();
    }
    if (prefix == 0) return false;
    keyLength = static_cast<UNSIGNED16>(std::min<UNSIGNED32>(prefix, keyLength));
  }
  bSought = true;
  UNSIGNED16 found = 0;
  AceCheck(this, Ace.AdsSeek(hIndex, key, keyLength, ADS_RAWKEY, ADS_SOFTSEEK, &found));
  return found == 1;
}

bool TAdsDataSet::FilterLocate(const std::vector<TField*>& Fields, TLocateOptions Options) {
  const ADSHANDLE table = static_cast<ADSHANDLE>(mlHandle);
  std::string expression;
  BuildFilterString(Fields, Options.Contains(loCaseInsensitive), expression);
  const bool hadAof = HasEngineFilter(this, table, true);
  const bool hadFilter = HasEngineFilter(this, table, false);
  UNSIGNED16 exact = 0;
  AceCheck(this, Ace.AdsGetExact22(table, &exact));
  AceCheck(this, Ace.AdsSetExact22(table, Options.Contains(loPartialKey) ? 0 : 1));
  Finally restore([&] {
    (void)Ace.AdsSetExact22(table, exact);
    if (!hadAof)
      (void)Ace.AdsClearAOF(table);
    else if (!hadFilter)
      (void)Ace.AdsClearFilter(table);
  });
  if (hadAof && hadFilter) return LocateLocally(expression);
  const std::u16string wide = Utf8ToUtf16(expression);
  AceCheck(this, hadAof ? Ace.AdsSetFilter100(table, wide.c_str(), kTemporaryFilterOption)
                        : Ace.AdsSetAOF100(table, wide.c_str(), kTemporaryAofOption));
  AceCheck(this, Ace.AdsGotoTop(static_cast<ADSHANDLE>(mlActiveHandle)));
  UNSIGNED16 eof = 0;
  AceCheck(this, Ace.AdsAtEOF(table, &eof));
  bool found = eof == 0;
  if (found && OnFilterRecord() && Filtered()) found = ScanAccepted(true);
  return found;
}

bool TAdsDataSet::LocateRecord(const std::string& KeyFields, const Variant& KeyValues,
                               TLocateOptions Options) {
  CheckBrowseMode();
  const ADSHANDLE table = static_cast<ADSHANDLE>(mlHandle);
  ADSHANDLE position = 0;
  // At an end of the table there is no record to come back to; the window then puts the
  // cursor back on its record before it reads on.
  const UNSIGNED32 remembered = Ace.AdsGetBookmark(table, &position);
  if (remembered != AE_NO_CURRENT_RECORD) AceCheck(this, remembered);
  auto goBack = [&] {
    if (remembered == AE_SUCCESS)
      (void)Ace.AdsGotoBookmark(table, position);
    else
      CursorPosChanged();
  };
  bool found = false;
  try {
    std::vector<TField*> fields;
    GetFieldList(fields, KeyFields);
    const TDataSetState saved = SetTempState(dsFilter);
    mpFilterBuffer = TempBuffer();
    Finally leave([&] {
      RestoreState(saved);
      mpFilterBuffer = nullptr;
    });
    InitRecord(mpFilterBuffer);
    if (fields.size() == 1) {
      fields[0]->SetAsVariant(VarIsArray(KeyValues) ? KeyValues[0] : KeyValues);
    } else {
      for (size_t i = 0; i < fields.size(); ++i) fields[i]->SetAsVariant(KeyValues[i]);
    }
    int32_t index = -1;
    std::vector<std::string> segments;
    size_t covered = 0;
    if (!Options.Contains(loCaseInsensitive) && !(OnFilterRecord() && Filtered()))
      index = ChooseLocateIndex(fields, segments, covered);
    bool sought = false;
    if (index != -1)
      found =
          SeekLocateKey(static_cast<ADSHANDLE>(index), fields, segments, covered, Options, sought);
    if (!sought) found = FilterLocate(fields, Options);
  } catch (...) {
    goBack();
    throw;
  }
  if (!found) goBack();
  return found;
}

// ---- Locate, Lookup, LocateLocally --------------------------------------------------------------

bool TAdsDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues,
                         TLocateOptions Options) {
  DoBeforeScroll();
  if (!LocateRecord(KeyFields, KeyValues, Options)) return false;
  Resync(TResyncMode{rmExact, rmCenter});
  DoAfterScroll();
  return true;
}

Variant TAdsDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                            const std::string& ResultFields) {
  Variant result = Null();
  if (VarIsNull(KeyValues)) return result;
  if (LocateRecord(KeyFields, KeyValues, TLocateOptions{})) {
    const TDataSetState saved = SetTempState(dsCalcFields);
    TRecordBuffer previous = CalcBuffer();
    TRecordBuffer scratch = AllocRecordBuffer();
    Finally release([&] {
      SetCalcBuffer(previous);
      FreeRecordBuffer(scratch);
      RestoreState(saved);
    });
    if (GetRecord(scratch, gmCurrent, false) == grOK) {
      SetCalcBuffer(scratch);
      result = FieldValues(ResultFields);
    }
  }
  CursorPosChanged();
  return result;
}

bool TAdsDataSet::LocateLocally(const std::string& strFilter) {
  const ADSHANDLE table = static_cast<ADSHANDLE>(mlHandle);
  const ADSHANDLE order = static_cast<ADSHANDLE>(mlActiveHandle);
  const std::string expression = Utf8ToAnsi(strFilter);
  const UNSIGNED8* text = reinterpret_cast<const UNSIGNED8*>(expression.c_str());
  AceCheck(this, Ace.AdsGotoTop(order));
  UNSIGNED16 eof = 0;
  AceCheck(this, Ace.AdsAtEOF(table, &eof));
  UNSIGNED16 result = 0;
  while (eof == 0) {
    AceCheck(this, Ace.AdsEvalLogicalExpr(order, text, &result));
    if (result == 1) break;
    AceCheck(this, Ace.AdsSkip(order, 1));
    AceCheck(this, Ace.AdsAtEOF(table, &eof));
  }
  return result == 1;
}

// ---- The record search of FindFirst .. FindPrior ----------------------------------------------

bool TAdsDataSet::FindRecord(bool Restart, bool GoForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  SetFound(false);
  UpdateCursorPos();
  CursorPosChanged();
  const ADSHANDLE table = static_cast<ADSHANDLE>(mlHandle);
  const ADSHANDLE order = static_cast<ADSHANDLE>(mlActiveHandle);
  const bool forOneSearch = !Filtered();
  if (forOneSearch) ApplyEngineFilter();
  UNSIGNED16 atEnd = 0;
  {
    Finally clear([&] {
      if (forOneSearch) ClearEngineFilter();
    });
    if (GoForward) {
      AceCheck(this, Restart ? Ace.AdsGotoTop(order) : Ace.AdsSkip(order, 1));
      AceCheck(this, Ace.AdsAtEOF(table, &atEnd));
    } else {
      AceCheck(this, Restart ? Ace.AdsGotoBottom(order) : Ace.AdsSkip(order, -1));
      AceCheck(this, Ace.AdsAtBOF(table, &atEnd));
    }
    if (atEnd == 0 && OnFilterRecord() && !ScanAccepted(GoForward)) atEnd = 1;
  }
  if (atEnd == 0) {
    Resync(TResyncMode{rmExact, rmCenter});
    SetFound(true);
    DoAfterScroll();
  }
  return Found();
}
