// Table creation from field and index definitions (CreateTable, InternalCreateTable, the index
// creation on the new table and the dictionary's primary key), RenameTable of dictionary tables
// and ADSSetFieldToBinary. The engine reads the field specification text and runs the stored
// procedure; the table's structure changes (Restructure) are the table component's
// (adstable_restructure.cpp).
#include <algorithm>
#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/adsdata.h"

namespace {

constexpr UNSIGNED32 kOptionFreeTable = 4096;          // hexadecimal 1000
constexpr UNSIGNED32 kOptionDictionaryTable = 16384;   // hexadecimal 4000
constexpr UNSIGNED32 kOptionCacheReads = 536870912;    // hexadecimal 20000000
constexpr UNSIGNED32 kOptionCacheWrites = 1073741824;  // hexadecimal 40000000
constexpr UNSIGNED32 kIndexUnique = 1;
constexpr UNSIGNED32 kIndexCompound = 2;
constexpr UNSIGNED32 kIndexDescending = 8;
constexpr UNSIGNED32 kIndexCandidate = 2048;
constexpr UNSIGNED32 kSqlNotInDictionary = 5132;

const UNSIGNED8* Bytes(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

std::vector<std::string> SplitFieldList(const std::string& s) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    const auto at = s.find(';', start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

// Quoted for an SQL text: in single quotes, inner single quotes doubled.
std::string SqlQuoted(const std::string& s) {
  return "'" + StringReplaceAll(s, "'", "''") + "'";
}

[[noreturn]] void RefuseFieldType(IAdsDataSetErrorInfo* poDataSet, TFieldType eType) {
  RaiseComponentError(
      poDataSet, FieldTypeNames()[static_cast<size_t>(eType)] + " is not a supported field type.");
}

// The type part of one field's entry in the specification text (see the table of the field
// specification text); a type the table type cannot take is refused.
std::string TypePart(IAdsDataSetErrorInfo* poDataSet, const TFieldDef* poDef, bool bAdt) {
  const std::string size = std::to_string(poDef->Size());
  const TFieldType type = poDef->DataType();
  switch (type) {
    case ftString:
      return "Char," + size + ";";
    case ftSmallint:
    case ftWord:
      return bAdt ? "ShortInt;" : "Num,6,0;";
    case ftInteger:
      return bAdt ? "Integer;" : "Num,11,0;";
    case ftBoolean:
      return "Logical;";
    case ftFloat:
      return bAdt ? "Double,6;" : "Num,20,4;";
    case ftCurrency:
      if (!bAdt) RefuseFieldType(poDataSet, type);
      return "CurDouble,6;";
    case ftBCD:
      if (!bAdt) RefuseFieldType(poDataSet, type);
      return "Money;";
    case ftDate:
      return "Date;";
    case ftTime:
      if (!bAdt) RefuseFieldType(poDataSet, type);
      return "Time;";
    case ftDateTime:
      if (!bAdt) RefuseFieldType(poDataSet, type);
      return "TimeStamp;";
    case ftBytes:
      return (bAdt ? "Raw," : "Char,") + size + ";";
    case ftVarBytes:
    case ftBlob:
    case ftTypedBinary:
      return "Binary;";
    case ftAutoInc:
      if (!bAdt) RefuseFieldType(poDataSet, type);
      return "AutoInc;";
    case ftMemo:
    case ftFmtMemo:
      return "Memo;";
    case ftGraphic:
      return "Image;";
    case ftWideString:
      return "NChar," + size + ";";
    case ftWideMemo:
      return "NMemo;";
    case ftFMTBcd:
      return "Num," + std::to_string(poDef->Precision() + (poDef->Size() != 0 ? 2 : 1)) + "," +
             size + ";";
    case ftUnknown:
    case ftParadoxOle:
    case ftDBaseOle:
      RefuseFieldType(poDataSet, type);
    default:
      return "";  // the engine judges the entry without a type
  }
}

}  // namespace

std::string TAdsDataSet::EngineTableFileName() {
  if (mpoAdsConnection != nullptr && mpoAdsConnection->IsDictionaryConn()) return mstrTableName;
  return GetDatabasePath() + "\\" + mstrTableName;
}

void TAdsDataSet::SetTableName(const std::string& Value) {
  if (Active()) RaiseComponentError(this, "Cannot perform this operation on an open dataset");
  mstrTableName = Value;
}

// ---- CreateTable ------------------------------------------------------------------------------

namespace {

// Creates one index of an index definition on the new table hTable (engine table type
// usTableType).
void CreateDefinedIndex(TAdsDataSet* poDataSet, ADSHANDLE hTable, const TIndexDef* poDef,
                        UNSIGNED16 usTableType, const std::string& strCollation,
                        UNSIGNED32 ulPageSize) {
  const TIndexOptions options = poDef->Options();
  if (options.Contains(ixExpression) && options.Contains(ixCaseInsensitive))
    RaiseComponentError(nullptr, "ixCaseInsensitive is not supported with ixExpression indexes");
  UNSIGNED32 bits = 0;
  if (options.Contains(ixUnique)) bits |= usTableType == ADS_VFP ? kIndexCandidate : kIndexUnique;
  if (options.Contains(ixDescending)) bits |= kIndexDescending;
  std::string file, tag;
  if (usTableType == ADS_NTX) {
    file = poDef->Name();
  } else {
    tag = poDef->Name();
    bits |= kIndexCompound;
  }
  std::string key;
  if (options.Contains(ixExpression)) {
    key = poDef->Expression();
  } else {
    // Key parts of a field list. Tables other than ADT know no segmented keys: the parts are
    // joined into one character expression, and a date, numeric or logical field of a list of
    // several goes in as its text of fixed width (which sorts as its values do), since the
    // engine cannot add such a value to a text.
    const std::vector<std::string> names = SplitFieldList(poDef->Fields());
    const bool joined = usTableType != ADS_ADT && names.size() > 1;
    for (size_t n = 0; n < names.size(); ++n) {
      const std::string& name = names[n];
      const std::string ansi = Utf8ToAnsi(name);
      UNSIGNED16 type = 0;
      AceCheck(poDataSet, Ace.AdsGetFieldType(hTable, Bytes(ansi), &type));
      std::string part = name;
      if (options.Contains(ixCaseInsensitive) &&
          (type == 4 || type == 23 || type == 26 || type == 27))
        part = "UPPER(" + name + ")";
      if (joined && type == 3) {
        part = "DTOS(" + name + ")";
      } else if (joined && type == 1) {
        part = "IIF(" + name + ",\"T\",\"F\")";
      } else if (joined && type == 2) {
        UNSIGNED32 length = 0;
        UNSIGNED16 decimals = 0;
        AceCheck(poDataSet, Ace.AdsGetFieldLength(hTable, Bytes(ansi), &length));
        AceCheck(poDataSet, Ace.AdsGetFieldDecimals(hTable, Bytes(ansi), &decimals));
        part = "STR(" + name + "," + std::to_string(length) + "," + std::to_string(decimals) + ")";
      }
      key += (n == 0 ? "" : ";") + part;
    }
    if (usTableType != ADS_ADT) std::replace(key.begin(), key.end(), ';', '+');
  }
  const std::string ansiFile = Utf8ToAnsi(file);
  const std::string ansiTag = Utf8ToAnsi(tag);
  const std::string ansiKey = Utf8ToAnsi(key);
  const std::string ansiCollation = Utf8ToAnsi(strCollation);
  ADSHANDLE index = 0;
  AceCheck(poDataSet,
           Ace.AdsCreateIndex90(hTable, Bytes(ansiFile), Bytes(ansiTag), Bytes(ansiKey), nullptr,
                                nullptr, bits, ulPageSize, Bytes(ansiCollation), &index));
}

}  // namespace

void TAdsDataSet::InternalCreateTable(TAdsCreateTableOptions eOptions) {
  CheckInactive();
  UNSIGNED32 options = 0;
  if (eOptions.Contains(ctFreeTable)) options |= kOptionFreeTable;
  if (eOptions.Contains(ctDictionaryTable)) options |= kOptionDictionaryTable;
  if (mpoAdsTableOptions->AdsCachingOption() == tcReads) options |= kOptionCacheReads;
  if (mpoAdsTableOptions->AdsCachingOption() == tcWrites) options |= kOptionCacheWrites;

  const bool dictionary = mpoAdsConnection != nullptr && mpoAdsConnection->IsDictionaryConn();
  // Without a dictionary the name is a path below the database folder; without a database
  // folder it would name a table in the file system's root.
  if (!dictionary && GetDatabasePath().empty())
    RaiseComponentError(
        this, "One of the DatabaseName property or the AdsConnection property must have a value.");
  const std::string fileName = EngineTableFileName();

  InitFieldDefsFromFields();
  const bool adt = musOpenTableType == ADS_ADT;
  std::string fields;
  for (int i = 0; i < FieldDefs()->Count(); ++i) {
    const TFieldDef* def = FieldDefs()->Items(i);
    fields += def->Name() + "," + TypePart(this, def, adt);
  }

  const ADSHANDLE hConnection = ConnectAndGetHandle();
  const std::string collation = GetEffectiveCollation();
  const std::string ansiName = Utf8ToAnsi(fileName);
  const std::string ansiFields = Utf8ToAnsi(fields);
  const std::string ansiCollation = Utf8ToAnsi(collation);
  ADSHANDLE hTable = 0;
  AceCheck(this, Ace.AdsCreateTable90(
                     hConnection, Bytes(ansiName), nullptr, musOpenTableType,
                     static_cast<UNSIGNED16>(mpoAdsTableOptions->AdsCharType() + 1),
                     mpoAdsTableOptions->AdsLockType() == Proprietary ? ADS_PROPRIETARY_LOCKING
                                                                      : ADS_COMPATIBLE_LOCKING,
                     mpoAdsTableOptions->AdsRightsCheck() ? ADS_CHECK_RIGHTS : ADS_IGNORE_RIGHTS, 0,
                     Bytes(ansiFields), options, Bytes(ansiCollation), &hTable));

  bool closed = false;
  try {
    const bool primaryKeys = dictionary && !eOptions.Contains(ctFreeTable) && adt;
    for (int i = 0; i < mpoIndexDefs->Count(); ++i) {
      TIndexDef* def = mpoIndexDefs->Items(i);
      const bool primary = primaryKeys && def->Options().Contains(ixPrimary);
      if (primary) {
        TIndexOptions o = def->Options();
        o.Include(ixUnique);
        def->SetOptions(o);
      }
      CreateDefinedIndex(this, hTable, def, musOpenTableType, collation,
                         mpoAdsTableOptions->AdsIndexPageSize());
      if (!primary) continue;
      const std::string sql = "EXECUTE PROCEDURE sp_ModifyTableProperty( " + SqlQuoted(fileName) +
                              ", " + SqlQuoted("TABLE_PRIMARY_KEY") + ", " +
                              SqlQuoted(def->Name()) + ", " + SqlQuoted("NO_VALIDATE") + ", NULL )";
      try {
        mpoAdsConnection->Execute(sql);
      } catch (const EADSDatabaseError& e) {
        if (e.SQLErrorCode() != kSqlNotInDictionary) throw;
      }
    }
  } catch (...) {
    Ace.AdsCloseTable(hTable);  // the failure in the indexes is the one reported
    closed = true;
    throw;
  }
  if (!closed) AceCheck(this, Ace.AdsCloseTable(hTable));
}

// ---- RenameTable and ADSSetFieldToBinary ------------------------------------------------------

void TAdsDataSet::RenameTable(const std::string& NewTableName) {
  if (mpoAdsConnection == nullptr || !mpoAdsConnection->IsDictionaryConn())
    RaiseComponentError(this,
                        "The method RenameTable in TAdsDataSet is not supported on free tables.");
  CheckInactive();
  const std::string from = Utf8ToAnsi(mstrTableName);
  const std::string to = Utf8ToAnsi(NewTableName);
  AceCheck(this, Ace.AdsDDRenameObject(mpoAdsConnection->Handle(), Bytes(from), Bytes(to),
                                       ADS_DD_TABLE_OBJECT, 0));
  SetTableName(NewTableName);
}

void TAdsDataSet::ADSSetFieldToBinary(const std::string& strFieldName) {
  if (!Active()) RaiseComponentError(this, "Table must be Active.");
  const int i = FieldDefs()->IndexOf(strFieldName);
  if (i < 0) RaiseComponentError(this, "Invalid field name for the given table");
  const TFieldType type = FieldDefs()->Items(i)->DataType();
  if (type != ftBlob && type != ftMemo)
    RaiseComponentError(this, "Invalid field type to begin with to change to binary");
  strBinaryFieldName = strFieldName;
  FieldDefs()->Update();
}
