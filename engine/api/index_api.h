// Index order handles (ADS_INDEX_ORDER): one handle per tag and table handle, registered when
// a tag is first handed out (AdsOpenIndex, AdsCreateIndex90, AdsGetIndexHandle ...) and
// removed when its file is closed or deleted. A handle is valid while its table is open and
// the tag's file is open on it. The handle object and its lookup (IndexObject, GetIndex,
// ResolveOrder) are api_objects.h's, shared by every *_api.cpp; the key setters use
// IsIndexHandle and KeyRecordOf.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/api/api_objects.h"
#include "engine/base/status.h"
#include "engine/index/index_file.h"

namespace ace::api {

// The text of an ADS_WSTRINGKEY key argument (usLen characters, or fewer up to a zero
// character) in the engine's 8-bit code page, as an ADS_STRINGKEY key would give it.
std::string WideKeyText(const uint8_t* key, uint16_t len);

// The key record of an index handle, made blank when it is not there yet.
Result<std::vector<std::byte>*> KeyRecordOf(uint32_t handle, std::shared_ptr<TableObject>* table);

}  // namespace ace::api
