// The extended datasets' members on filters, optimized filters and scopes: reading the filter
// texts (of any length), the optimization level, setting and clearing filters and scopes.
// Members that change what the dataset shows re-read it afterwards.
#include <string>
#include <vector>

#include "ads/adsfunc.h"

namespace {

const UNSIGNED8* Bytes(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

constexpr std::size_t kScopeBuffer = 4082;

// The option value of an optimized filter: the AOF type, when its set is computed, UTF-16.
UNSIGNED32 AofOptions(const TAdsTableOptions* poOptions) {
  UNSIGNED32 options = ADS_ENCODE_UTF16;
  switch (poOptions->AdsAOFType()) {
    case atDynamic:
      options |= ADS_DYNAMIC_AOF;
      break;
    case atKeySet:
      options |= ADS_KEYSET_AOF;
      break;
    case atFixed:
      options |= ADS_FIXED_AOF;
      break;
  }
  options |= poOptions->AdsAOFResolveImmediate() ? ADS_RESOLVE_IMMEDIATE : ADS_RESOLVE_DYNAMIC;
  return options;
}

}  // namespace

// ---- Reading filters -------------------------------------------------------------------------

std::string TAdsExtendedTable::AdsGetFilter() {
  const ADSHANDLE table = TableHandle();
  UNSIGNED16 length = 0;
  UNSIGNED32 result = Ace.AdsGetFilter(table, nullptr, &length);
  if (result == AE_NO_FILTER) return std::string();
  if (result != AE_INSUFFICIENT_BUFFER) {
    FamilyCheck(result);
    return std::string();
  }
  // The engine answers the text's length; the buffer also holds its terminating zero.
  const UNSIGNED16 capacity = length == UINT16_MAX ? length : static_cast<UNSIGNED16>(length + 1);
  std::vector<UNSIGNED8> text(static_cast<std::size_t>(capacity) + 1, 0);
  length = capacity;
  FamilyCheck(Ace.AdsGetFilter(table, text.data(), &length));
  return ResultText(text.data(), std::min<std::size_t>(length, capacity));
}

std::string TAdsExtendedTable::AdsGetAOF() {
  const ADSHANDLE table = TableHandle();
  UNSIGNED32 length = 0;
  UNSIGNED32 result = Ace.AdsGetAOF100(table, ADS_ENCODE_UTF16, nullptr, &length);
  if (result == AE_NO_FILTER) return std::string();
  if (result != AE_INSUFFICIENT_BUFFER) {
    FamilyCheck(result);
    return std::string();
  }
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  length = static_cast<UNSIGNED32>(text.size());
  FamilyCheck(Ace.AdsGetAOF100(table, ADS_ENCODE_UTF16, text.data(), &length));
  text.resize(std::min<std::size_t>(length, text.size()));
  return Utf16ToUtf8(text.substr(0, text.find(u'\0')));
}

TAdsAOFOptimizeLevel TAdsExtendedDataSet::AdsGetAOFOptLevel(std::string& strFilter) {
  const ADSHANDLE table = TableHandle();
  strFilter.clear();
  UNSIGNED16 level = 0;
  UNSIGNED32 length = 0;
  UNSIGNED32 result = Ace.AdsGetAOFOptLevel100(table, &level, nullptr, &length, ADS_ENCODE_UTF16);
  if (result == AE_NO_FILTER) return olNONE;
  if (result == AE_INSUFFICIENT_BUFFER) {
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    length = static_cast<UNSIGNED32>(text.size());
    FamilyCheck(Ace.AdsGetAOFOptLevel100(table, &level, text.data(), &length, ADS_ENCODE_UTF16));
    text.resize(std::min<std::size_t>(length, text.size()));
    strFilter = Utf16ToUtf8(text.substr(0, text.find(u'\0')));
  } else {
    FamilyCheck(result);
  }
  return AdsOptimizeLevelOf(level);
}

TAdsAOFOptimizeLevel TAdsExtendedTable::AdsEvalAOF(const std::string& strFilter) {
  const std::string filter = Utf8ToAnsi(strFilter);
  UNSIGNED16 level = 0;
  FamilyCheck(Ace.AdsEvalAOF(TableHandle(), Bytes(filter), &level));
  return AdsOptimizeLevelOf(level);
}

bool TAdsExtendedTable::AdsIsRecordInAOF(int32_t ulRecordNum) {
  const UNSIGNED32 record = CheckedUnsigned32(ulRecordNum, "ulRecordNum");
  UNSIGNED16 in = 0;
  FamilyCheck(Ace.AdsIsRecordInAOF(TableHandle(), record, &in));
  return in != 0;
}

// ---- Clearing and refreshing -------------------------------------------------------------------

void TAdsExtendedTable::AdsClearAllScopes() {
  FamilyCheck(Ace.AdsClearAllScopes(TableHandle()));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsClearFilter() {
  FamilyCheck(Ace.AdsClearFilter(TableHandle()));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsClearAOF() {
  FamilyCheck(Ace.AdsClearAOF(TableHandle()));
  AdsExtendResync();
}

void TAdsExtendedDataSet::AdsRefreshAOF() {
  FamilyCheck(Ace.AdsRefreshAOF(TableHandle()));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsCustomizeAOF(int32_t ulNumRecs, const UNSIGNED32* pulRecords,
                                        TAdsAOFCustomizeOptions eOption) {
  const UNSIGNED32 count = CheckedUnsigned32(ulNumRecs, "ulNumRecs");
  FamilyCheck(Ace.AdsCustomizeAOF(TableHandle(), count, pulRecords, AdsAOFCustomizeValue(eOption)));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsClearScope(TAdsScopeOptions eScopeOption) {
  FamilyCheck(Ace.AdsClearScope(IndexHandle(), AdsScopeOptionValue(eScopeOption)));
  AdsExtendResync();
}

// ---- Encryption -------------------------------------------------------------------------------

void TAdsExtendedDataSet::AdsEnableEncryption(const std::string& strPassword) {
  const std::string password = Utf8ToAnsi(strPassword);
  FamilyCheck(Ace.AdsEnableEncryption(TableHandle(), Bytes(password)));
  AdsExtendResync();
}

void TAdsExtendedDataSet::AdsDisableEncryption() {
  FamilyCheck(Ace.AdsDisableEncryption(TableHandle()));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsEncryptTable() {
  FamilyCheck(Ace.AdsEncryptTable(TableHandle()));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsDecryptTable() {
  FamilyCheck(Ace.AdsDecryptTable(TableHandle()));
  AdsExtendResync();
}

// ---- Setting ---------------------------------------------------------------------------------

void TAdsExtendedTable::AdsSetScope(TAdsScopeOptions eScopeOption, const std::string& strScope) {
  CheckBrowseMode();
  const std::string scope = EngineText(strScope, kScopeBuffer, "The scope");
  FamilyCheck(Ace.AdsSetScope(IndexHandle(), AdsScopeOptionValue(eScopeOption), Bytes(scope),
                              static_cast<UNSIGNED16>(scope.size()), ADS_STRINGKEY));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsSetFilter(const std::string& strFilter) {
  CheckBrowseMode();
  if (Filtered()) SetFiltered(false);
  const std::u16string filter = Utf8ToUtf16(strFilter);
  FamilyCheck(Ace.AdsSetFilter100(TableHandle(), filter.c_str(), ADS_ENCODE_UTF16));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsSetAOF(const std::string& strFilter) {
  CheckBrowseMode();
  if (Filtered()) SetFiltered(false);
  const std::u16string filter = Utf8ToUtf16(strFilter);
  FamilyCheck(Ace.AdsSetAOF100(TableHandle(), filter.c_str(), AofOptions(AdsTableOptions())));
  AdsExtendResync();
}
