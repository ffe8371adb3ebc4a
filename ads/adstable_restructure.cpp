// Restructure of the table component: the checks of the closed table and the engine call that
// changes its fields. Reading the add, delete and change texts, keeping the data and rebuilding
// the indexes are the engine's (AdsRestructureTable90).
#include <string>

#include "ads/adscnnct.h"
#include "ads/adstable.h"

namespace {

const UNSIGNED8* Bytes(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

}  // namespace

void TAdsTable::Restructure(const std::string& strAddFields, const std::string& strDeleteFields,
                            const std::string& strChangeFields) {
  if (Active()) RaiseComponentError(this, "Cannot perform this operation on an open dataset");
  if (mstrTableName.empty()) RaiseComponentError(this, "Missing TableName property");
  if (GetDatabasePath().empty())
    RaiseComponentError(
        this, "One of the DatabaseName property or the AdsConnection property must have a value.");
  const bool dictionary = mpoAdsConnection != nullptr && mpoAdsConnection->IsDictionaryConn();
  const std::string fileName = EngineTableFileName();
  const ADSHANDLE hConnection = ConnectAndGetHandle();
  if (hConnection == 0 || static_cast<int32_t>(hConnection) == -1)
    RaiseComponentError(this, "Internal Error: invalid connection handle.");
  const std::string name = Utf8ToAnsi(fileName);
  const std::string add = Utf8ToAnsi(strAddFields);
  const std::string del = Utf8ToAnsi(strDeleteFields);
  const std::string change = Utf8ToAnsi(strChangeFields);
  const std::string collation = Utf8ToAnsi(GetEffectiveCollation());
  AceCheck(this, Ace.AdsRestructureTable90(
                     hConnection, Bytes(name), nullptr, dictionary ? 0 : musOpenTableType,
                     static_cast<UNSIGNED16>(mpoAdsTableOptions->AdsCharType() + 1),
                     mpoAdsTableOptions->AdsLockType() == Proprietary ? ADS_PROPRIETARY_LOCKING
                                                                      : ADS_COMPATIBLE_LOCKING,
                     mpoAdsTableOptions->AdsRightsCheck() ? ADS_CHECK_RIGHTS : ADS_IGNORE_RIGHTS,
                     Bytes(add), Bytes(del), Bytes(change), Bytes(collation)));
  // The fields and indexes the engine reports have changed.
  FieldDefs()->SetUpdated(false);
  mpoIndexDefs->SetUpdated(false);
}
