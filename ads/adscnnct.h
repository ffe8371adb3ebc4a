// adscnnct: the connection module of the component layer: the connection component, its
// registry, and the two errors of its own checks.
#pragma once

#include <string>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ui/classes/SysUtils.h"

// The engine's last error text, for the connection component's operations that check an engine
// result themselves. The code it is created with is not kept; the flag has no effect.
class AdsError : public Exception {
 public:
  AdsError(int ulRetCode, bool bFlag = false);
  std::string ClassName() const override { return "AdsError"; }
};

// A misuse of the connection component, with a fixed message.
class AdsConnectionError : public Exception {
 public:
  explicit AdsConnectionError(const std::string& acMsg) : Exception(acMsg) {}
  std::string ClassName() const override { return "AdsConnectionError"; }
};
