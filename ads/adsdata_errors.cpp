// Error reporting of the datasets: EADSDatabaseError with its message composition, the column
// and native SQL error parsing, AceCheck and the per-thread guard against errors raised while
// an error is being built.
#include <string>

#include "ads/adsdata.h"
#include "ui/classes/SysUtils.h"

namespace {

thread_local bool t_building_ads_error = false;

constexpr UNSIGNED16 kErrorTextLength = 600;
constexpr size_t kMaxColumnNameLength = 900;

// The main thread starts with the guard cleared as well (the dataset module's start-up).
struct ClearGuardAtStartUp {
  ClearGuardAtStartUp() { t_building_ads_error = false; }
} clear_guard_at_start_up;

// Converts a decimal text with optional leading blanks; anything else is not a number.
bool ReadDecimal(const std::string& text, UNSIGNED32& value) {
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  std::string digits = text.substr(i);
  int64_t v = 0;
  if (!TryStrToInt64(digits, v) || v < 0 || v > 0xFFFFFFFFLL) return false;
  value = static_cast<UNSIGNED32>(v);
  return true;
}

}  // namespace

bool BuildingAdsError() { return t_building_ads_error; }
void SetBuildingAdsError(bool bValue) { t_building_ads_error = bValue; }

EADSDatabaseError::EADSDatabaseError(IAdsDataSetErrorInfo* oDataSet, UNSIGNED32 ulErrCode,
                                     const std::string& strMsg)
    : EDatabaseError("") {
  if (t_building_ads_error) return;  // an error is being built: this one stays empty
  t_building_ads_error = true;
  ulACEError = ulErrCode;
  try {
    Collect(oDataSet, strMsg);
  } catch (const Exception&) {
    // What could not be collected stays empty; the error itself is still complete.
  }
  SetMessage(strDataSetInstanceName.empty() ? strMsg : strDataSetInstanceName + ": " + strMsg);
  t_building_ads_error = false;
}

EADSDatabaseError::EADSDatabaseError(const EADSDatabaseError& other) = default;

EADSDatabaseError::~EADSDatabaseError() { t_building_ads_error = false; }

void EADSDatabaseError::Collect(IAdsDataSetErrorInfo* oDataSet, const std::string& strMsg) {
  if (oDataSet != nullptr) {
    strDataSetInstanceName = oDataSet->ErrorInstanceName();
    strDataSetInstanceOwner = oDataSet->ErrorInstanceOwner();
    strDatabaseName = oDataSet->ErrorDatabaseName();
    strDatabasePath = oDataSet->ErrorDatabasePath();
    strTableName = oDataSet->ErrorTableName();
    if (ulACEError == AE_COLUMN_NOT_FOUND || ulACEError == AE_COLUMN_VALUE ||
        ulACEError == AE_COLUMN_TYPE) {
      strColumnName.clear();
      static const std::string kMarker = "column \"";
      size_t at = strMsg.find(kMarker);
      if (at != std::string::npos) {
        std::string rest = strMsg.substr(at + kMarker.size(), kMaxColumnNameLength);
        size_t quote = rest.find('"');
        strColumnName = quote == std::string::npos ? rest : rest.substr(0, quote);
      }
    }
  }
  ParseNativeSQLError(strMsg);
}

void EADSDatabaseError::ParseNativeSQLError(const std::string& strMsg) {
  ulSQLErrorCode = 0;
  std::string upper = UpperCase(strMsg);  // same length as strMsg
  static const std::string kSqlMark = "ERROR 7200:";
  static const std::string kNativeMark = "NATIVEERROR = ";
  if (upper.find(kSqlMark) == std::string::npos) return;
  size_t at = upper.find(kNativeMark);
  if (at == std::string::npos) return;
  size_t start = at + kNativeMark.size();
  size_t semi = strMsg.find(';', start);
  std::string number = strMsg.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
  UNSIGNED32 value = 0;
  if (ReadDecimal(number, value)) ulSQLErrorCode = value;
}

void AceCheck(IAdsDataSetErrorInfo* oDataSet, UNSIGNED32 ulResult) {
  if (ulResult == 0) return;
  if (t_building_ads_error) return;
  UNSIGNED32 code = ulResult;
  UNSIGNED8 text[kErrorTextLength] = {};
  UNSIGNED16 length = kErrorTextLength;
  Ace.AdsGetLastError(&code, text, &length);  // its own answer is not looked at
  text[kErrorTextLength - 1] = 0;
  std::string message = AnsiToUtf8(reinterpret_cast<const char*>(text));
  throw EADSDatabaseError(oDataSet, code, message);
}

void RaiseComponentError(IAdsDataSetErrorInfo* oDataSet, const std::string& strMsg) {
  throw EADSDatabaseError(oDataSet, AE_COMPONENT, strMsg);
}
