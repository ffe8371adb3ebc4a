// Entry points for errors, the engine's version and handle types.
#include <cstdio>
#include <mutex>

#include "ace.h"
#include "engine/api/api_guard.h"
#include "engine/base/handle_table.h"

namespace {

constexpr uint32_t kVersionMajor = 1;
constexpr uint32_t kVersionMinor = 0;
constexpr char kVersionLetter = ' ';
constexpr const char* kVersionDescription = "Vaskoli client engine, local tables and SQL";

std::mutex g_display_mutex;
ADS_ERROR_DISPLAY g_display = nullptr;

}  // namespace

using ace::api::CopyOutText;
using ace::api::Guard;

extern "C" {

// Reading the last error must not replace it, so a failure here (a short buffer) is answered
// without being recorded.
UNSIGNED32 AdsGetLastError(UNSIGNED32* pulErrCode, UNSIGNED8* pucBuf, UNSIGNED16* pusBufLen) {
  try {
    const ace::LastError& last = ace::CurrentLastError();
    if (pulErrCode != nullptr) *pulErrCode = last.code;
    if (pusBufLen == nullptr) return pucBuf == nullptr ? 0 : ace::kErrNullPointer;
    ace::Status s = CopyOutText(last.text, pucBuf, pusBufLen);
    return s.code();
  } catch (...) {
    return ace::kErrInternal;
  }
}

UNSIGNED32 AdsSetLastError(UNSIGNED32 ulErrCode, const UNSIGNED8* pucDetails) {
  try {
    std::string text = pucDetails ? reinterpret_cast<const char*>(pucDetails) : "";
    if (ulErrCode == 0) {
      ace::ClearLastError();
      return 0;
    }
    if (text.empty()) text = ace::ComposeErrorText(ace::Status(ulErrCode, ""));
    ace::RecordErrorVerbatim(ulErrCode, std::move(text));
    return ulErrCode;
  } catch (...) {
    return ace::kErrInternal;
  }
}

UNSIGNED32 AdsGetErrorString(UNSIGNED32 ulErrCode, UNSIGNED8* pucBuf, UNSIGNED16* pusBufLen) {
  return Guard([&] { return CopyOutText(ace::ErrorText(ulErrCode), pucBuf, pusBufLen); });
}

UNSIGNED32 AdsShowError(const UNSIGNED8* pucTitle) {
  return Guard([&] {
    const ace::LastError& last = ace::CurrentLastError();
    std::string title = pucTitle ? reinterpret_cast<const char*>(pucTitle) : "";
    ADS_ERROR_DISPLAY display;
    {
      std::lock_guard<std::mutex> lock(g_display_mutex);
      display = g_display;
    }
    if (display != nullptr) {
      display(title.c_str(), last.text.c_str());
    } else {
      std::fprintf(stderr, "%s%s%s\n", title.c_str(), title.empty() ? "" : ": ", last.text.c_str());
    }
    return ace::Status::Ok();
  });
}

UNSIGNED32 AdsRegisterErrorDisplay(ADS_ERROR_DISPLAY pfnDisplay) {
  std::lock_guard<std::mutex> lock(g_display_mutex);
  g_display = pfnDisplay;
  return 0;
}

UNSIGNED32 AdsGetVersion(UNSIGNED32* pulMajor, UNSIGNED32* pulMinor, UNSIGNED8* pucLetter,
                         UNSIGNED8* pucDesc, UNSIGNED16* pusDescLen) {
  return Guard([&] {
    if (pulMajor) *pulMajor = kVersionMajor;
    if (pulMinor) *pulMinor = kVersionMinor;
    if (pucLetter) *pucLetter = static_cast<UNSIGNED8>(kVersionLetter);
    if (pusDescLen != nullptr && (*pusDescLen > 0 || pucDesc != nullptr)) {
      return CopyOutText(kVersionDescription, pucDesc, pusDescLen);
    }
    return ace::Status::Ok();
  });
}

UNSIGNED32 AdsGetHandleType(ADSHANDLE hObj, UNSIGNED16* pusType) {
  return Guard([&]() -> ace::Status {
    ACE_RETURN_IF_ERROR(ace::api::RequireOut(pusType, "pusType"));
    auto object = ace::HandleTable::Instance().Find(hObj);
    if (!object.ok()) return object.status();
    *pusType = static_cast<UNSIGNED16>(object.value()->kind());
    return ace::Status::Ok();
  });
}

}  // extern "C"
