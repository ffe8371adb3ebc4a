// The connection module's errors.
#include "ads/adscnnct.h"

namespace {
constexpr UNSIGNED16 kErrorTextLength = 600;
}

AdsError::AdsError(int ulRetCode, bool /*bFlag*/) : Exception("") {
  UNSIGNED32 code = static_cast<UNSIGNED32>(ulRetCode);
  UNSIGNED8 text[kErrorTextLength] = {};
  UNSIGNED16 length = kErrorTextLength;
  if (Ace.AdsGetLastError(&code, text, &length) != 0) {
    Ace.AdsShowError(reinterpret_cast<const UNSIGNED8*>("Ads Exception Error"));
    return;  // the message stays empty; the engine has shown the error itself
  }
  text[kErrorTextLength - 1] = 0;
  SetMessage(AnsiToUtf8(reinterpret_cast<const char*>(text)));
}
