// The options object of the datasets (TAdsTableOptions): its setters and their refusals, the
// collation names of the character types, and its property table. Applying the options is the
// open sequence's (adsdata_open.cpp) and the table's and query's.
#include <string>
#include <vector>

#include "ads/adsdata.h"

namespace {

// The collation name of every character type, by ordinal. Four enumerators spell a
// parenthesis of their name as an underscore.
const char* const kCharTypeNames[kAdsCharTypeCount] = {"ANSI",
                                                       "OEM",
                                                       "CZECH_VFP_CI_AS_1250",
                                                       "GENERAL_VFP_CI_AS_1250",
                                                       "HUNGARY_VFP_CI_AS_1250",
                                                       "MACHINE_VFP_BIN_1250",
                                                       "POLISH_VFP_CI_AS_1250",
                                                       "SLOVAK_VFP_CI_AS_1250",
                                                       "MACHINE_VFP_BIN_1251",
                                                       "RUSSIAN_VFP_CI_AS_1251",
                                                       "DUTCH_VFP_CI_AS_1252",
                                                       "GENERAL_VFP_CI_AS_1252",
                                                       "GERMAN_VFP_CI_AS_1252",
                                                       "ICELAND_VFP_CI_AS_1252",
                                                       "MACHINE_VFP_BIN_1252",
                                                       "NORDAN_VFP_CI_AS_1252",
                                                       "SPANISH_VFP_CI_AS_1252",
                                                       "SWEFIN_VFP_CI_AS_1252",
                                                       "UNIQWT_VFP_CS_AS_1252",
                                                       "GREEK_VFP_CI_AS_1253",
                                                       "MACHINE_VFP_BIN_1253",
                                                       "GENERAL_VFP_CI_AS_1254",
                                                       "MACHINE_VFP_BIN_1254",
                                                       "TURKISH_VFP_CI_AS_1254",
                                                       "DUTCH_VFP_CI_AS_437",
                                                       "GENERAL_VFP_CI_AS_437",
                                                       "GERMAN_VFP_CI_AS_437",
                                                       "ICELAND_VFP_CI_AS_437",
                                                       "MACHINE_VFP_BIN_437",
                                                       "NORDAN_VFP_CI_AS_437",
                                                       "SPANISH_VFP_CI_AS_437",
                                                       "SWEFIN_VFP_CI_AS_437",
                                                       "UNIQWT_VFP_CS_AS_437",
                                                       "GENERAL_VFP_CI_AS_620",
                                                       "MACHINE_VFP_BIN_620",
                                                       "POLISH_VFP_CI_AS_620",
                                                       "GREEK_VFP_CI_AS_737",
                                                       "MACHINE_VFP_BIN_737",
                                                       "DUTCH_VFP_CI_AS_850",
                                                       "GENERAL_VFP_CI_AS_850",
                                                       "ICELAND_VFP_CI_AS_850",
                                                       "MACHINE_VFP_BIN_850",
                                                       "NORDAN_VFP_CI_AS_850",
                                                       "SPANISH_VFP_CI_AS_850",
                                                       "SWEFIN_VFP_CI_AS_850",
                                                       "UNIQWT_VFP_CS_AS_850",
                                                       "CZECH_VFP_CI_AS_852",
                                                       "GENERAL_VFP_CI_AS_852",
                                                       "HUNGARY_VFP_CI_AS_852",
                                                       "MACHINE_VFP_BIN_852",
                                                       "POLISH_VFP_CI_AS_852",
                                                       "SLOVAK_VFP_CI_AS_852",
                                                       "GENERAL_VFP_CI_AS_857",
                                                       "MACHINE_VFP_BIN_857",
                                                       "TURKISH_VFP_CI_AS_857",
                                                       "GENERAL_VFP_CI_AS_861",
                                                       "ICELAND_VFP_CI_AS_861",
                                                       "MACHINE_VFP_BIN_861",
                                                       "GENERAL_VFP_CI_AS_865",
                                                       "MACHINE_VFP_BIN_865",
                                                       "NORDAN_VFP_CI_AS_865",
                                                       "SWEFIN_VFP_CI_AS_865",
                                                       "MACHINE_VFP_BIN_866",
                                                       "RUSSIAN_VFP_CI_AS_866",
                                                       "CZECH_VFP_CI_AS_895",
                                                       "GENERAL_VFP_CI_AS_895",
                                                       "MACHINE_VFP_BIN_895",
                                                       "SLOVAK_VFP_CI_AS_895",
                                                       "DANISH_ADS_CS_AS_1252",
                                                       "DUTCH_ADS_CS_AS_1252",
                                                       "ENGL(AMER)_ADS_CS_AS_1252",
                                                       "ENGL(CAN)_ADS_CS_AS_1252",
                                                       "ENGL(UK)_ADS_CS_AS_1252",
                                                       "FINNISH_ADS_CS_AS_1252",
                                                       "FRENCH_ADS_CS_AS_1252",
                                                       "FRENCH_CAN_ADS_CS_AS_1252",
                                                       "GERMAN_ADS_CS_AS_1252",
                                                       "ICELANDIC_ADS_CS_AS_1252",
                                                       "ITALIAN_ADS_CS_AS_1252",
                                                       "NORWEGIAN_ADS_CS_AS_1252",
                                                       "PORTUGUESE_ADS_CS_AS_1252",
                                                       "SPANISH_ADS_CS_AS_1252",
                                                       "SPAN(MOD)_ADS_CS_AS_1252",
                                                       "SWEDISH_ADS_CS_AS_1252",
                                                       "RUSSIAN_ADS_CS_AS_1251",
                                                       "ASCII_ADS_CS_AS_1252",
                                                       "TURKISH_ADS_CS_AS_1254",
                                                       "POLISH_ADS_CS_AS_1250",
                                                       "BALTIC_ADS_CS_AS_1257",
                                                       "UKRAINIAN_ADS_CS_AS_1251",
                                                       "DUDEN_DE_ADS_CS_AS_1252",
                                                       "USA_ADS_CS_AS_437",
                                                       "DANISH_ADS_CS_AS_865",
                                                       "DUTCH_ADS_CS_AS_850",
                                                       "FINNISH_ADS_CS_AS_865",
                                                       "FRENCH_ADS_CS_AS_863",
                                                       "GERMAN_ADS_CS_AS_850",
                                                       "GREEK437_ADS_CS_AS_437",
                                                       "GREEK851_ADS_CS_AS_851",
                                                       "ICELD850_ADS_CS_AS_850",
                                                       "ICELD861_ADS_CS_AS_861",
                                                       "ITALIAN_ADS_CS_AS_850",
                                                       "NORWEGN_ADS_CS_AS_865",
                                                       "PORTUGUE_ADS_CS_AS_860",
                                                       "SPANISH_ADS_CS_AS_852",
                                                       "SWEDISH_ADS_CS_AS_865",
                                                       "MAZOVIA_ADS_CS_AS_852",
                                                       "PC_LATIN_ADS_CS_AS_852",
                                                       "ISOLATIN_ADS_CS_AS_850",
                                                       "RUSSIAN_ADS_CS_AS_866",
                                                       "NTXCZ852_ADS_CS_AS_852",
                                                       "NTXCZ895_ADS_CS_AS_895",
                                                       "NTXSL852_ADS_CS_AS_852",
                                                       "NTXSL895_ADS_CS_AS_895",
                                                       "NTXHU852_ADS_CS_AS_852",
                                                       "NTXPL852_ADS_CS_AS_852",
                                                       "TURKISH_ADS_CS_AS_857",
                                                       "BOSNIAN_ADS_CS_AS_775"};

}  // namespace

namespace {

// The enumerator names of the character types as the stored description spells them: the
// collation names with "(" written as "_" and ")" left out ("ENGL(UK)_ADS..." is ENGL_UK_ADS...).
std::vector<std::string> CharTypeEnumeratorNames() {
  std::vector<std::string> names;
  names.reserve(kAdsCharTypeCount);
  for (const char* collation : kCharTypeNames) {
    std::string name;
    for (const char* p = collation; *p; ++p) {
      if (*p == '(') {
        name += '_';
      } else if (*p != ')') {
        name += *p;
      }
    }
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace

const char* AdsCharTypeName(TAdsCharTypes eCharType) {
  const int ordinal = static_cast<int>(eCharType);
  if (ordinal < 0 || ordinal >= kAdsCharTypeCount) return "";
  return kCharTypeNames[ordinal];
}

void TAdsTableOptions::CheckInactive() {
  if (mpoAdsTable != nullptr && mpoAdsTable->Active())
    RaiseComponentError(mpoAdsTable, "Table must not be Active.");
}

void TAdsTableOptions::SetAdsLockType(TAdsLockTypes Value) {
  CheckInactive();
  meAdsLockType = Value;
}

void TAdsTableOptions::SetAdsCharType(TAdsCharTypes Value) {
  CheckInactive();
  if (static_cast<int>(Value) >= kAdsCharTypeCount)
    RaiseComponentError(mpoAdsTable, "Invalid or unknown character type.");
  if (mpoAdsTable != nullptr && Value != ANSI && Value != OEM &&
      (mpoAdsTable->TableType() == ttAdsCDX || mpoAdsTable->TableType() == ttAdsNTX))
    RaiseComponentError(
        mpoAdsTable,
        "ttAdsCDX and ttAdsNTX table types only support an AdsCharType of ANSI or OEM.");
  meAdsCharType = Value;
}

void TAdsTableOptions::SetAdsRightsCheck(bool Value) {
  CheckInactive();
  mbAdsRightsCheck = Value;
}

void TAdsTableOptions::SetAdsCachingOption(TAdsTableCachingOption Value) {
  CheckInactive();
  meAdsCachingOption = Value;
}

void TAdsTableOptions::SetAdsIndexPageSize(TAdsIndexPageSizes Value) {
  if (Value > kMaxIndexPageSize)
    throw ERangeError("Index page size " + std::to_string(Value) +
                      " is outside the range 0 to 8192");
  mulIndexPageSize = Value;
}

void TAdsTableOptions::SetAdsRecordCache(TAdsRecordCacheTypes Value) {
  if (mpoAdsTable != nullptr && mpoAdsTable->Active()) {
    UNSIGNED16 records = Value == rcNone ? 0 : (Value == rcStandard ? 10 : 100);
    AceCheck(mpoAdsTable,
             Ace.AdsCacheRecords(static_cast<ADSHANDLE>(mpoAdsTable->Handle()), records));
  }
  meAdsRecordCache = Value;
}

// On an active filtered dataset the engine filter set with the old setting is cleared and set
// again with the new one (then the dataset goes to its first record); a failure there puts the
// old setting back.
void TAdsTableOptions::SetAdsOptimizedFilters(bool Value) {
  if (Value == mbAdsOptimizedFilters) return;
  TAdsDataSet* ds = mpoAdsTable;
  if (ds == nullptr || !ds->Active() || ds->ComponentState().Contains(csLoading) ||
      !ds->Filtered()) {
    mbAdsOptimizedFilters = Value;
    return;
  }
  const bool old = mbAdsOptimizedFilters;
  try {
    ds->ClearEngineFilter();
    mbAdsOptimizedFilters = Value;
    ds->ApplyEngineFilter();
    ds->First();
  } catch (...) {
    mbAdsOptimizedFilters = old;
    throw;
  }
}

void TAdsTableOptions::Assign(TPersistent* Source) {
  auto* other = dynamic_cast<TAdsTableOptions*>(Source);
  if (other == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  SetAdsLockType(other->meAdsLockType);
  SetAdsCharType(other->meAdsCharType);
  meAdsRespectFilters = other->meAdsRespectFilters;
  meAdsRespectScopes = other->meAdsRespectScopes;
  SetAdsRightsCheck(other->mbAdsRightsCheck);
  SetAdsOptimizedFilters(other->mbAdsOptimizedFilters);
  mbRefreshCount = other->mbRefreshCount;
  mbAOFResolveImmediate = other->mbAOFResolveImmediate;
  mulIndexPageSize = other->mulIndexPageSize;
  SetAdsRecordCache(other->meAdsRecordCache);
  meAdsAOFType = other->meAdsAOFType;
  mbAutoKeyFieldCount = other->mbAutoKeyFieldCount;
  mbCalcFieldsBeforeFilter = other->mbCalcFieldsBeforeFilter;
  meRecordLockingMode = other->meRecordLockingMode;
  mbPreserveSpaces = other->mbPreserveSpaces;
  mbNumericsAsFloats = other->mbNumericsAsFloats;
  mstrCollation = other->mstrCollation;
  SetAdsCachingOption(other->meAdsCachingOption);
}

VCL_REGISTER_CLASS(TAdsTableOptions, [](TClassBuilder<TAdsTableOptions>& c) {
  using T = TAdsTableOptions;
  c.Enum("AdsLockType", &T::AdsLockType, &T::SetAdsLockType, {"Proprietary", "Compatible"},
         Proprietary);
  c.Enum("AdsCharType", &T::AdsCharType, &T::SetAdsCharType, CharTypeEnumeratorNames(), ANSI);
  c.Enum("AdsFilterOptions", &T::AdsFilterOptions, &T::SetAdsFilterOptions,
         {"IGNORE_WHEN_COUNTING", "RESPECT_WHEN_COUNTING"}, IGNORE_WHEN_COUNTING);
  c.Prop("AdsFreshRecordCount", &T::AdsFreshRecordCount, &T::SetAdsFreshRecordCount, false);
  c.Enum("AdsScopeOptions", &T::AdsScopeOptions, &T::SetAdsScopeOptions,
         {"IGNORE_SCOPES_WHEN_COUNTING", "RESPECT_SCOPES_WHEN_COUNTING"},
         IGNORE_SCOPES_WHEN_COUNTING);
  c.Prop("AdsAOFResolveImmediate", &T::AdsAOFResolveImmediate, &T::SetAdsAOFResolveImmediate,
         false);
  c.Prop("AdsRightsCheck", &T::AdsRightsCheck, &T::SetAdsRightsCheck, true);
  c.Prop("AdsOptimizedFilters", &T::AdsOptimizedFilters, &T::SetAdsOptimizedFilters, true);
  c.Prop("AdsIndexPageSize", &T::AdsIndexPageSize, &T::SetAdsIndexPageSize, 0);
  c.Enum("AdsRecordCache", &T::AdsRecordCache, &T::SetAdsRecordCache,
         {"rcNone", "rcStandard", "rcAggressive"}, rcStandard);
  c.Enum("AdsAOFType", &T::AdsAOFType, &T::SetAdsAOFType, {"atDynamic", "atKeySet", "atFixed"},
         atDynamic);
  c.Prop("AdsAutoKeyFieldCount", &T::AdsAutoKeyFieldCount, &T::SetAdsAutoKeyFieldCount, false);
  c.Prop("AdsCalcFieldsBeforeFilter", &T::AdsCalcFieldsBeforeFilter,
         &T::SetAdsCalcFieldsBeforeFilter, false);
  c.Enum("AdsRecordLockingMode", &T::AdsRecordLockingMode, &T::SetAdsRecordLockingMode,
         {"lmPessimistic", "lmOptimistic"}, lmPessimistic);
  c.Prop("AdsPreserveSpaces", &T::AdsPreserveSpaces, &T::SetAdsPreserveSpaces, false);
  c.Prop("AdsNumericsAsFloats", &T::AdsNumericsAsFloats, &T::SetAdsNumericsAsFloats, false);
  c.Prop("AdsCollation", &T::AdsCollation, &T::SetAdsCollation);
  c.Enum("AdsCachingOption", &T::AdsCachingOption, &T::SetAdsCachingOption,
         {"tcNone", "tcReads", "tcWrites"}, tcNone);
})
