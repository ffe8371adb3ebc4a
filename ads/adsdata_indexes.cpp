// Indexes and index files of the datasets: the choice of order (IndexName, IndexFieldNames,
// the dictionary's default index), the index definitions read from the engine, the extra index
// files of IndexFiles, and creating, deleting and listing indexes.
#include <algorithm>
#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/adsdata.h"

namespace {

constexpr UNSIGNED16 kIndexNameLength = 260;
constexpr UNSIGNED16 kSegmentListLength = 510;
constexpr UNSIGNED16 kMaxIndexHandles = 256;
constexpr UNSIGNED16 kDefaultIndexProperty = 213;
constexpr UNSIGNED16 kDefaultIndexLength = 200;
const char* const kDefaultIndexName = "ADS_DEFAULT";

const UNSIGNED8* Bytes(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

std::string Text(const UNSIGNED8* p) {
  return AnsiToUtf8(reinterpret_cast<const char*>(p));
}

// Splits "A;B" into its parts (an empty text gives one empty part).
std::vector<std::string> SplitFields(const std::string& s) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    const auto at = s.find(';', start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

std::string FileNamePart(const std::string& s) {
  const auto at = s.find_last_of("/\\");
  return at == std::string::npos ? s : s.substr(at + 1);
}

// The handles of every index open on hTable (AdsGetNumIndexes, then AdsGetAllIndexes).
std::vector<ADSHANDLE> AllIndexes(TAdsDataSet* poDataSet, ADSHANDLE hTable) {
  UNSIGNED16 count = 0;
  AceCheck(poDataSet, Ace.AdsGetNumIndexes(hTable, &count));
  std::vector<ADSHANDLE> handles(std::max<UNSIGNED16>(count, 1));
  AceCheck(poDataSet, Ace.AdsGetAllIndexes(hTable, handles.data(), &count));
  handles.resize(count);
  return handles;
}

std::string IndexNameOf(TAdsDataSet* poDataSet, ADSHANDLE hIndex) {
  UNSIGNED8 name[kIndexNameLength + 1] = {};
  UNSIGNED16 length = kIndexNameLength;
  AceCheck(poDataSet, Ace.AdsGetIndexName(hIndex, name, &length));
  name[std::min(length, kIndexNameLength)] = 0;
  return Text(name);
}

std::string IndexFileNameOf(TAdsDataSet* poDataSet, ADSHANDLE hIndex) {
  UNSIGNED8 name[kIndexNameLength + 1] = {};
  UNSIGNED16 length = kIndexNameLength;
  AceCheck(poDataSet, Ace.AdsGetIndexFilename(hIndex, ADS_BASENAMEANDEXT, name, &length));
  name[std::min(length, kIndexNameLength)] = 0;
  return Text(name);
}

bool EngineFlag(TAdsDataSet* poDataSet, UNSIGNED32 (*fn)(ADSHANDLE, UNSIGNED16*),
                ADSHANDLE hIndex) {
  UNSIGNED16 flag = 0;
  AceCheck(poDataSet, fn(hIndex, &flag));
  return flag == 1;
}

}  // namespace

// ---- A cursor for work on a closed dataset --------------------------------------------------

namespace {

// The dataset's cursor when it has one, else a temporary cursor of the cursor hook that is
// closed again when the object goes (Close reports that close's failure; the destructor, on
// the way out of a failure, does not).
class TWorkCursor {
 public:
  explicit TWorkCursor(TAdsDataSet* poDataSet, int32_t hOwn, uint16_t& usAceTableType)
      : mpoDataSet(poDataSet) {
    if (hOwn != -1) {
      mh = static_cast<ADSHANDLE>(hOwn);
      return;
    }
    const uint16_t saved = usAceTableType;
    mh = static_cast<ADSHANDLE>(poDataSet->OpenEngineCursor());
    usAceTableType = saved;
    mbTemporary = true;
  }
  ~TWorkCursor() {
    if (mbTemporary) Ace.AdsCloseTable(mh);
  }
  TWorkCursor(const TWorkCursor&) = delete;
  TWorkCursor& operator=(const TWorkCursor&) = delete;
  ADSHANDLE Handle() const { return mh; }
  void Close() {
    if (!mbTemporary) return;
    mbTemporary = false;
    AceCheck(mpoDataSet, Ace.AdsCloseTable(mh));
  }

 private:
  TAdsDataSet* mpoDataSet;
  ADSHANDLE mh = 0;
  bool mbTemporary = false;
};

}  // namespace

// ---- Choosing the order ---------------------------------------------------------------------

void TAdsDataSet::SetIndexName(const std::string& Value) {
  if (Active()) CheckBrowseMode();
  const std::string oldName = mstrIndexName;
  const TAdsIndexTypes oldType = meActiveIndexType;
  mstrIndexName = Value;
  mstrIndexFieldNames.clear();
  meActiveIndexType = Value.empty() ? ndxNone : ndxIndexName;
  if (UpperCase(Value) == kDefaultIndexName) meActiveIndexType = ndxDefault;
  if (mlHandle != -1) {
    try {
      if (mbScoped) {
        SetScoped(false);
      } else {
        ClearEngineRange();
      }
      ActivateIndex();
    } catch (...) {
      mstrIndexName = oldName;
      meActiveIndexType = oldType;
      throw;
    }
  }
  if (Active()) {
    if (mpoMasterLink->Active() && !mpoMasterLink->Fields().empty()) MasterChanged();
    Resync({});
  }
}

void TAdsDataSet::SetIndexFieldNames(const std::string& Value) {
  if (Active()) CheckBrowseMode();
  if (mbScoped) SetScoped(false);
  const std::string trimmed = Trim(Value);
  const std::string oldFields = mstrIndexFieldNames;
  const std::string oldName = mstrIndexName;
  const TAdsIndexTypes oldType = meActiveIndexType;
  mstrIndexFieldNames = trimmed;
  mstrIndexName.clear();
  meActiveIndexType = trimmed.empty() ? ndxNone : ndxIndexField;
  if (mlHandle != -1) {
    try {
      ActivateIndex();
    } catch (...) {
      // The whole previous choice comes back, the index name included: the order on the
      // engine is still that one, and the next open must find it again.
      mstrIndexFieldNames = oldFields;
      mstrIndexName = oldName;
      meActiveIndexType = oldType;
      throw;
    }
    if (Active()) Resync({});
  }
}

void TAdsDataSet::ActivateIndex() {
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  const ADSHANDLE table = static_cast<ADSHANDLE>(mlHandle);
  ADSHANDLE index = 0;
  switch (meActiveIndexType) {
    case ndxNone:
      mlActiveHandle = mlHandle;
      break;
    case ndxIndexName:
      AceCheck(this, Ace.AdsGetIndexHandle(table, Bytes(Utf8ToAnsi(mstrIndexName)), &index));
      mlActiveHandle = static_cast<int32_t>(index);
      break;
    case ndxIndexField: {
      const int32_t found = IndexForFields(mstrIndexFieldNames);
      if (found == -1)
        RaiseComponentError(this, "Not a valid index field name:" + mstrIndexFieldNames);
      mlActiveHandle = found;
      break;
    }
    case ndxDefault:
      AceCheck(this, Ace.AdsGetIndexHandle(table, Bytes(Utf8ToAnsi(mstrDefaultIndex)), &index));
      mlActiveHandle = static_cast<int32_t>(index);
      break;
  }
  try {
    ComputeRecordLayout();
    RecreateBuffers();
  } catch (...) {
    if (Active()) {
      SetState(dsInactive);
      InternalClose();
    }
    throw;
  }
}

int32_t TAdsDataSet::IndexForFields(const std::string& strFields) {
  if (!mpoIndexDefs->Updated()) mpoIndexDefs->Update();
  // The definitions hold upper-cased field lists and field names are the engine's without
  // regard to case, so the names asked for are compared upper-cased too ("Name;Ort" finds
  // the index on NAME;ORT).
  TIndexDef* def = mpoIndexDefs->GetIndexForFields(UpperCase(strFields), false);
  if (def == nullptr) return -1;
  ADSHANDLE index = 0;
  AceCheck(this, Ace.AdsGetIndexHandle(static_cast<ADSHANDLE>(mlHandle),
                                       Bytes(Utf8ToAnsi(def->Name())), &index));
  return static_cast<int32_t>(index);
}

std::string TAdsDataSet::CurrentIndexFieldList() {
  auto fieldsOf = [this](const std::string& name) -> std::string {
    const int at = mpoIndexDefs->IndexOf(name);
    return at >= 0 ? mpoIndexDefs->Items(at)->Fields() : std::string();
  };
  switch (meActiveIndexType) {
    case ndxIndexName:
      return fieldsOf(mstrIndexName);
    case ndxIndexField:
      return mstrIndexFieldNames;
    case ndxDefault:
      return fieldsOf(mstrDefaultIndex);
    case ndxNone:
      break;
  }
  return std::string();
}

// ---- Index definitions ----------------------------------------------------------------------

void TAdsDataSet::UpdateIndexDefs() {
  TWorkCursor cursor(this, mlHandle, musAceTableType);
  mpoIndexDefs->Clear();
  for (ADSHANDLE index : AllIndexes(this, cursor.Handle())) {
    const std::string name = IndexNameOf(this, index);
    UNSIGNED16 segments = 0;
    AceCheck(this, Ace.AdsGetNumSegments(index, &segments));
    std::string fields;
    for (UNSIGNED16 i = 0; i < segments; ++i) {
      UNSIGNED8 segment[kSegmentListLength + 1] = {};
      UNSIGNED16 length = kSegmentListLength;
      AceCheck(this, Ace.AdsGetSegmentFieldname(index, i, segment, &length));
      segment[std::min(length, kSegmentListLength)] = 0;
      if (i > 0) fields += ";";
      fields += Text(segment);
    }
    TIndexOptions options;
    if (EngineFlag(this, Ace.AdsIsIndexDescending, index)) options.Include(ixDescending);
    if (EngineFlag(this, Ace.AdsIsIndexUnique, index)) options.Include(ixUnique);
    if (meTableType == ttAdsVFP && EngineFlag(this, Ace.AdsIsIndexCandidate, index))
      options.Include(ixUnique);
    if (EngineFlag(this, Ace.AdsIsIndexPrimaryKey, index)) options.Include(ixPrimary);
    mpoIndexDefs->Add(name, UpperCase(fields), options);
  }
  cursor.Close();
  mpoIndexDefs->SetUpdated(true);
}

// ---- Index files ----------------------------------------------------------------------------

void TAdsDataSet::OpenIndexFile(const std::string& strIndexName) {
  if (!Active()) RaiseComponentError(this, "Table must be Active.");
  const std::string path = strIndexName.find_first_of("/\\") != std::string::npos
                               ? strIndexName
                               : GetDatabasePath() + "\\" + strIndexName;
  ADSHANDLE handles[kMaxIndexHandles] = {};
  UNSIGNED16 count = kMaxIndexHandles;
  AceCheck(this, Ace.AdsOpenIndex(static_cast<ADSHANDLE>(mlHandle), Bytes(Utf8ToAnsi(path)),
                                  handles, &count));
  mpoIndexDefs->SetUpdated(false);
}

void TAdsDataSet::CloseIndexFile(const std::string& strIndexName) {
  if (!Active()) RaiseComponentError(this, "Table must be Active.");
  const std::string wanted = UpperCase(FileNamePart(strIndexName));
  bool currentInFile = false;
  if (mlActiveHandle != mlHandle)
    currentInFile =
        UpperCase(IndexFileNameOf(this, static_cast<ADSHANDLE>(mlActiveHandle))) == wanted;
  for (ADSHANDLE index : AllIndexes(this, static_cast<ADSHANDLE>(mlHandle))) {
    if (UpperCase(IndexFileNameOf(this, index)) != wanted) continue;
    AceCheck(this, Ace.AdsCloseIndex(index));
    if (currentInFile) SetIndexName("");
    return;
  }
}

int TAdsIndexFiles::Add(const std::string& strValue) {
  if (mpoOwner->Active()) mpoOwner->OpenIndexFile(strValue);
  mpoOwner->IndexDefs()->SetUpdated(false);
  return TStringList::Add(strValue);
}

void TAdsIndexFiles::Insert(int Index, const std::string& S) {
  TStringList::Insert(Index, S);  // a sorted list refuses this
  if (mpoOwner->Active()) mpoOwner->OpenIndexFile(S);
  mpoOwner->IndexDefs()->SetUpdated(false);
}

void TAdsIndexFiles::Delete(int Index) {
  if (mpoOwner->Active()) mpoOwner->CloseIndexFile(Strings(Index));
  mpoOwner->IndexDefs()->SetUpdated(false);
  TStringList::Delete(Index);
}

void TAdsIndexFiles::Clear() {
  if (mpoOwner != nullptr && mpoOwner->Active()) {
    for (int i = 0; i < Count(); ++i) mpoOwner->CloseIndexFile(Strings(i));
  }
  TStringList::Clear();
}

// ---- Creating and deleting indexes ----------------------------------------------------------

void TAdsDataSet::AddIndex(const std::string& strName, const std::string& strFields,
                           TIndexOptions poOptions) {
  if (meTableType == ttAdsNTX || meTableType == ttAdsDefault) {
    AddIndexEx(strName, strName, strFields, poOptions);
  } else {
    AddIndexEx("", strName, strFields, poOptions);
  }
}

void TAdsDataSet::AddIndexEx(const std::string& strFileName, const std::string& strIndexName,
                             const std::string& strFields, TIndexOptions poOptions) {
  const bool compound =
      meTableType == ttAdsCDX || meTableType == ttAdsADT || meTableType == ttAdsVFP;
  UNSIGNED32 bits = 0;
  if (poOptions.Contains(ixUnique)) bits |= meTableType == ttAdsVFP ? ADS_CANDIDATE : ADS_UNIQUE;
  if (poOptions.Contains(ixDescending)) bits |= ADS_DESCENDING;
  if (compound) bits |= ADS_COMPOUND;

  TWorkCursor cursor(this, Active() ? mlHandle : -1, musAceTableType);
  std::string expression = strFields;
  if (poOptions.Contains(ixCaseInsensitive)) {
    if (poOptions.Contains(ixExpression))
      RaiseComponentError(this, "ixCaseInsensitive is not supported with ixExpression indexes");
    std::string rewritten;
    bool first = true;
    for (const std::string& name : SplitFields(strFields)) {
      UNSIGNED16 type = 0;
      Ace.AdsGetFieldType(cursor.Handle(), Bytes(Utf8ToAnsi(name)), &type);
      if (!first) rewritten += ";";
      first = false;
      rewritten +=
          (type == 4 || type == 23 || type == 26 || type == 27) ? "UPPER(" + name + ")" : name;
    }
    expression = rewritten;
  }
  if (meTableType != ttAdsADT) {
    // These table types know no segmented keys: the parts are joined into one character
    // expression with "+". A date, numeric or logical field cannot be added to a text, so
    // such a field of a list of several fields goes in as its text of fixed width (the order
    // of those texts is the order of the values).
    const std::vector<std::string> parts = SplitFields(expression);
    if (parts.size() > 1 && !poOptions.Contains(ixExpression)) {
      std::string joined;
      for (const std::string& part : parts) {
        const std::string ansi = Utf8ToAnsi(part);
        UNSIGNED16 type = 0;
        std::string term = part;
        if (Ace.AdsGetFieldType(cursor.Handle(), Bytes(ansi), &type) == AE_SUCCESS) {
          if (type == 3) {
            term = "DTOS(" + part + ")";
          } else if (type == 1) {
            term = "IIF(" + part + ",\"T\",\"F\")";
          } else if (type == 2) {
            UNSIGNED32 length = 0;
            UNSIGNED16 decimals = 0;
            AceCheck(this, Ace.AdsGetFieldLength(cursor.Handle(), Bytes(ansi), &length));
            AceCheck(this, Ace.AdsGetFieldDecimals(cursor.Handle(), Bytes(ansi), &decimals));
            term =
                "STR(" + part + "," + std::to_string(length) + "," + std::to_string(decimals) + ")";
          }
        }
        joined += (joined.empty() ? "" : "+") + term;
      }
      expression = joined;
    }
    std::replace(expression.begin(), expression.end(), ';', '+');
  }

  const std::string collation = Utf8ToAnsi(GetEffectiveCollation());
  const std::string expr = Utf8ToAnsi(expression);
  const std::string file = Utf8ToAnsi(compound ? strFileName : strIndexName);
  const std::string tag = Utf8ToAnsi(strIndexName);
  ADSHANDLE index = 0;
  AceCheck(this, Ace.AdsCreateIndex90(cursor.Handle(), file.empty() ? nullptr : Bytes(file),
                                      compound ? Bytes(tag) : nullptr, Bytes(expr), nullptr,
                                      nullptr, bits, mpoAdsTableOptions->AdsIndexPageSize(),
                                      Bytes(collation), &index));
  cursor.Close();
  mpoIndexDefs->SetUpdated(false);
}

void TAdsDataSet::DeleteIndex(const std::string& strName) {
  if (!Active() || !mbExclusive) RaiseComponentError(this, "Table must be Active and Exclusive.");
  ADSHANDLE index = 0;
  AceCheck(this, Ace.AdsGetIndexHandle(static_cast<ADSHANDLE>(mlHandle), Bytes(Utf8ToAnsi(strName)),
                                       &index));
  if (static_cast<int32_t>(index) == mlActiveHandle)
    RaiseComponentError(this, "Cannot delete the active index!");
  AceCheck(this, Ace.AdsDeleteIndex(index));
  mpoIndexDefs->SetUpdated(false);
}

// ---- Lists, sizes and the default index -----------------------------------------------------

void TAdsDataSet::GetIndexNames(TStrings* poList) {
  TWorkCursor cursor(this, Active() ? mlHandle : -1, musAceTableType);
  const std::vector<ADSHANDLE> indexes = AllIndexes(this, cursor.Handle());
  poList->Clear();
  for (ADSHANDLE index : indexes) poList->Add(IndexNameOf(this, index));
  cursor.Close();
  if (mpoAdsConnection != nullptr && mpoAdsConnection->IsDictionaryConn() &&
      !mstrDefaultIndex.empty())
    poList->Add(kDefaultIndexName);
}

void TAdsDataSet::GetFTSIndexNames(TStrings* poList) {
  TWorkCursor cursor(this, Active() ? mlHandle : -1, musAceTableType);
  UNSIGNED16 count = 0;
  AceCheck(this, Ace.AdsGetNumFTSIndexes(cursor.Handle(), &count));
  std::vector<ADSHANDLE> handles(std::max<UNSIGNED16>(count, 1));
  AceCheck(this, Ace.AdsGetFTSIndexes(cursor.Handle(), handles.data(), &count));
  for (UNSIGNED16 i = 0; i < count && i < handles.size(); ++i)
    poList->Add(IndexNameOf(this, handles[i]));
  cursor.Close();
}

void TAdsDataSet::UpdateDefaultIndex() {
  const TClass query = GetClass("TAdsQuery");
  if (query != nullptr && ClassType()->InheritsFrom(query)) return;
  if (mpoAdsConnection == nullptr || !mpoAdsConnection->IsDictionaryConn()) return;
  UNSIGNED8 buffer[kDefaultIndexLength + 1] = {};
  UNSIGNED16 length = kDefaultIndexLength;
  const UNSIGNED32 result =
      Ace.AdsDDGetTableProperty(mpoAdsConnection->Handle(), Bytes(Utf8ToAnsi(mstrTableName)),
                                kDefaultIndexProperty, buffer, &length);
  if (result == AE_PROPERTY_NOT_SET) {
    // The table has no default index (any more): one learned for an earlier table name must
    // not stay behind and be listed or chosen for this one.
    mstrDefaultIndex.clear();
    if (mstrIndexName == kDefaultIndexName) SetIndexName("");
    return;
  }
  if (result != AE_SUCCESS) return;
  buffer[std::min(length, kDefaultIndexLength)] = 0;
  mstrDefaultIndex = Text(buffer);
  if (mstrIndexName == kDefaultIndexName ||
      (mstrIndexName.empty() && !ComponentState().Contains(csLoading))) {
    meActiveIndexType = ndxDefault;
    mstrIndexName = kDefaultIndexName;
  }
}

uint16_t TAdsDataSet::KeySize() {
  if (mlActiveHandle == -1 || mlActiveHandle == mlHandle) return 0;
  UNSIGNED16 length = 0;
  AceCheck(this, Ace.AdsGetKeyLength(static_cast<ADSHANDLE>(mlActiveHandle), &length));
  return length;
}

uint16_t TAdsDataSet::IndexFieldCount() {
  if (mlActiveHandle == -1 || mlActiveHandle == mlHandle) return 0;
  UNSIGNED16 count = 0;
  AceCheck(this, Ace.AdsGetNumSegments(static_cast<ADSHANDLE>(mlActiveHandle), &count));
  return count;
}
