// What the other entry points need of dictionary connections: opening a table by its
// dictionary name, and the rights of the connection's user on it (dictionary_api.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/api/api_objects.h"
#include "engine/base/status.h"

namespace ace::api {

struct DictionaryTable {
  std::string name;
  std::string path;
  uint16_t type = 3;
  uint32_t rights = 0;  // dict::kRight... bits of the connection's user
};

// Rights that let a user change a table at all; without any of them it opens read-only.
inline constexpr uint32_t kDictionaryWriteRights = 2 | 4 | 8;

// The dictionary's table of that name. Nothing (a free table) on a directory connection, and
// on a dictionary connection for a name it lacks when a table type is given; with table type
// 0 such a name is kErrNotInDictionary (5132), so that a caller may retry it as a free table.
// A table the user may not read is kErrPermissionDenied.
Result<std::optional<DictionaryTable>> FindDictionaryTable(ConnectionObject& connection,
                                                           std::string_view name,
                                                           uint16_t table_type);
// True for a path that names a data dictionary (ends in ".add", any case).
bool IsDictionaryPath(std::string_view path);
// Opens a dictionary, logs the user in and answers a connection on its folder that holds it.
Result<std::unique_ptr<cursor::Connection>> OpenDictionaryConnection(std::string_view path,
                                                                     uint16_t server_types,
                                                                     std::string user,
                                                                     std::string password);
// The names AdsFindFirstTable lists: the dictionary's tables for an empty mask on a dictionary
// connection, else the matching files.
Result<std::vector<std::string>> ListTables(const cursor::Connection& connection,
                                            std::string_view mask);

// Marks the open options a table handle's user has no right to.
void ApplyDictionaryRights(uint32_t table_handle, const DictionaryTable& table);

}  // namespace ace::api
