// The extended datasets' process-wide members: they use no handle of the dataset (file
// existence, the engine's version and error texts, error display, the engine's state of the
// calling thread and the callbacks the engine calls during long operations).
#include <string>

#include "ads/adsfunc.h"

namespace {

const UNSIGNED8* Bytes(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

constexpr std::size_t kVersionBuffer = 255;
constexpr std::size_t kErrorBuffer = ADS_MAX_ERROR_LEN;

}  // namespace

bool TAdsExtendedDataSet::AdsCheckExistence(const std::string& strFilename) {
  const std::string file = FileNameText(strFilename);
  UNSIGNED16 exists = 0;
  FamilyCheck(Ace.AdsCheckExistence(0, Bytes(file), &exists));
  return exists != 0;
}

std::string TAdsExtendedDataSet::AdsGetVersion(UNSIGNED32& ulMajor, UNSIGNED32& ulMinor,
                                               char& ucLetter) {
  UNSIGNED8 letter = 0;
  UNSIGNED8 description[kVersionBuffer + 1] = {};
  UNSIGNED16 length = kVersionBuffer;
  FamilyCheck(Ace.AdsGetVersion(&ulMajor, &ulMinor, &letter, description, &length));
  ucLetter = static_cast<char>(letter);
  return ResultText(description, kVersionBuffer);
}

std::string TAdsExtendedTable::AdsGetErrorString(int32_t ulErrorCode) {
  const UNSIGNED32 code = CheckedUnsigned32(ulErrorCode, "ulErrorCode");
  UNSIGNED8 text[kErrorBuffer + 1] = {};
  UNSIGNED16 length = kErrorBuffer;
  FamilyCheck(Ace.AdsGetErrorString(code, text, &length));
  return ResultText(text, kErrorBuffer);
}

int32_t TAdsExtendedTable::AdsGetLastError(std::string& strError) {
  UNSIGNED32 code = 0;
  UNSIGNED8 text[kErrorBuffer + 1] = {};
  UNSIGNED16 length = kErrorBuffer;
  FamilyCheck(Ace.AdsGetLastError(&code, text, &length));
  strError = ResultText(text, kErrorBuffer);
  return CheckedSigned32(code, "AdsGetLastError");
}

void TAdsExtendedTable::AdsShowError(const std::string& strCaption) {
  const std::string caption = EngineText(strCaption, kErrorBuffer, "The caption");
  FamilyCheck(Ace.AdsShowError(Bytes(caption)));
}

bool TAdsExtendedDataSet::AdsIsServerLoaded(const std::string& strServer) {
  const std::string server = EngineText(strServer, 260, "The server name");
  UNSIGNED16 loaded = 0;
  Ace.AdsIsServerLoaded(Bytes(server), &loaded);  // a failure leaves "not loaded"
  return loaded != 0;
}

void TAdsExtendedDataSet::AdsThreadExit() {
  FamilyCheck(Ace.AdsThreadExit());
}

void TAdsExtendedDataSet::AdsRegisterProgressCallBack(TAdsProgressCallback Value) {
  FamilyCheck(Ace.AdsRegisterProgressCallback(Value));
}

void TAdsExtendedDataSet::AdsClearProgressCallback() {
  FamilyCheck(Ace.AdsClearProgressCallback());
}

void TAdsExtendedDataSet::AdsRegisterSQLAbortFunc(TAdsSQLAbortFunc Value) {
  FamilyCheck(Ace.AdsRegisterSQLAbortFunc(Value));
}

void TAdsExtendedDataSet::AdsClearSQLAbortFunc() {
  FamilyCheck(Ace.AdsClearSQLAbortFunc());
}

void TAdsExtendedDataSet::AdsRegisterCallbackFunction(TAdsCallbackFunction Value,
                                                      int32_t ulCallbackID) {
  const UNSIGNED32 id = CheckedUnsigned32(ulCallbackID, "ulCallbackID");
  FamilyCheck(Ace.AdsRegisterCallbackFunction(Value, id));
}

void TAdsExtendedDataSet::AdsClearCallbackFunction() {
  FamilyCheck(Ace.AdsClearCallbackFunction());
}
