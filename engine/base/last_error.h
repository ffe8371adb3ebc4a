// The per-thread last error of the C API: the code and text that AdsGetLastError answers.
// A failing entry point records its Status here before returning the code; AdsSetLastError
// records a caller's code and text verbatim.
#pragma once

#include <cstdint>
#include <string>

#include "engine/base/status.h"

namespace ace {

struct LastError {
  uint32_t code = 0;
  std::string text;  // 8-bit, ANSI code page
};

// Records a failure: the text is "Error N: " followed by the table's text for the code and,
// when the status has a message, ": " and that message. SQL errors (7200) carry their own
// complete "SQL error: State = ...; NativeError = ...; ..." message after "Error 7200: ".
void RecordError(const Status& status);
// Records exactly this code and text.
void RecordErrorVerbatim(uint32_t code, std::string text);
const LastError& CurrentLastError();
void ClearLastError();
// Frees the calling thread's record (AdsThreadExit); a later error makes a new one.
void ReleaseThreadLastError();

// The text RecordError would build for a status.
std::string ComposeErrorText(const Status& status);

}  // namespace ace
