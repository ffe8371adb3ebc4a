// Index order handles (ADS_INDEX_ORDER): one handle per tag and table handle, registered when
// a tag is first handed out (AdsOpenIndex, AdsCreateIndex90, AdsGetIndexHandle ...) and
// removed when its file is closed or deleted. A handle is valid while its table is open and
// the tag's file is open on it. Each handle has a key record: a blank record image in which
// the field setters called with the index handle put key values, for AdsBuildRawKey.
//
// The other *_api.cpp files use ResolveOrder to accept an index handle where a table handle
// goes (navigation in index order) and IsIndexHandle/KeyRecordOf for the key setters.
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

class IndexObject : public HandleObject {
 public:
  IndexObject(std::shared_ptr<TableObject> table, index::Tag* tag)
      : HandleObject(HandleKind::kIndexOrder), table_(std::move(table)), tag_(tag) {}
  TableObject& table() { return *table_; }
  std::shared_ptr<TableObject> table_ptr() { return table_; }
  index::Tag* tag() { return tag_; }
  std::vector<std::byte>& key_record() { return key_record_; }

 private:
  std::shared_ptr<TableObject> table_;
  index::Tag* tag_;
  std::vector<std::byte> key_record_;  // empty until AdsInitRawKey or the first key setter
};

// An index handle that is still valid (its table open, its tag open on the table).
Result<std::shared_ptr<IndexObject>> GetIndex(uint32_t handle);
bool IsIndexHandle(uint32_t handle);

// A table or index handle as an order: the table, and the tag for an index handle (nullptr
// for a table handle: natural order).
struct OrderTarget {
  std::shared_ptr<TableObject> table;
  index::Tag* tag = nullptr;
};
Result<OrderTarget> ResolveOrder(uint32_t handle);

// The text of an ADS_WSTRINGKEY key argument (usLen characters, or fewer up to a zero
// character) in the engine's 8-bit code page, as an ADS_STRINGKEY key would give it.
std::string WideKeyText(const uint8_t* key, uint16_t len);

// The key record of an index handle, made blank when it is not there yet.
Result<std::vector<std::byte>*> KeyRecordOf(uint32_t handle, std::shared_ptr<TableObject>* table);

}  // namespace ace::api
