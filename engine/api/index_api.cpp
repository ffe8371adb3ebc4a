// C API of index files and index orders: creating, opening, closing and deleting index files,
// the index handles and their properties, keys (raw keys, key extraction, stepping), seeks,
// key counts and positions, scopes and custom keys. Index handles are described in
// index_api.h; the index files themselves are engine/index, their use by a cursor
// engine/cursor/cursor_order.cpp.
#include "engine/api/index_api.h"

#include <cstring>
#include <map>
#include <mutex>

#include "engine/api/api_guard.h"
#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/expr/key_encoding.h"
#include "engine/fields/code_page.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;

namespace ace::api {
namespace {

// One handle per (table handle, tag).
std::mutex g_registry_mutex;
std::map<std::pair<uint32_t, const index::Tag*>, uint32_t> g_registry;

}  // namespace

Result<std::vector<std::byte>*> KeyRecordOf(uint32_t handle, std::shared_ptr<TableObject>* table) {
  auto ix = GetIndex(handle);
  if (!ix.ok()) return ix.status();
  *table = ix.value()->table_ptr();
  std::vector<std::byte>& image = ix.value()->key_record();
  if (image.empty()) image = (*table)->cursor().file().BlankRecord();
  return &image;
}

std::string WideKeyText(const uint8_t* key, uint16_t len) {
  std::u16string text;
  for (uint16_t i = 0; i < len; ++i) {
    char16_t c;
    std::memcpy(&c, key + 2 * static_cast<std::size_t>(i), sizeof c);  // need not be aligned
    if (c == 0) break;
    text.push_back(c);
  }
  return fields::Utf16ToAnsi(text);
}

}  // namespace ace::api

namespace {

// The handle of a tag on a table handle, registered on first use.
uint32_t HandleOf(const std::shared_ptr<TableObject>& table, index::Tag* tag) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  auto key = std::make_pair(table->handle(), static_cast<const index::Tag*>(tag));
  auto it = g_registry.find(key);
  if (it != g_registry.end() && HandleTable::Instance().Find(it->second).ok()) return it->second;
  uint32_t handle = HandleTable::Instance().Add(std::make_shared<IndexObject>(table, tag));
  g_registry[key] = handle;
  return handle;
}

// Forgets the handles of the tags of a file before it closes.
void ForgetFile(const std::shared_ptr<TableObject>& table, index::IndexFile* file) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  for (size_t i = 0; i < file->tag_count(); ++i) {
    auto key = std::make_pair(table->handle(), static_cast<const index::Tag*>(&file->tag(i)));
    auto it = g_registry.find(key);
    if (it == g_registry.end()) continue;
    HandleTable::Instance().Remove(it->second);
    g_registry.erase(it);
  }
}

void ForgetTag(const std::shared_ptr<TableObject>& table, const index::Tag* tag) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  auto it = g_registry.find(std::make_pair(table->handle(), tag));
  if (it == g_registry.end()) return;
  HandleTable::Instance().Remove(it->second);
  g_registry.erase(it);
}

template <typename Fn>
UNSIGNED32 OnIndex(ADSHANDLE h, Fn&& fn) {
  return Guard([&]() -> Status {
    auto ix = GetIndex(h);
    if (!ix.ok()) return ix.status();
    return fn(*ix.value());
  });
}

template <typename Fn>
UNSIGNED32 OnTable(ADSHANDLE h, Fn&& fn) {
  return Guard([&]() -> Status {
    auto table = GetTable(h);
    if (!table.ok()) return table.status();
    return fn(table.value());
  });
}

template <typename T, typename Fn>
UNSIGNED32 IndexAnswer(ADSHANDLE h, T* out, const char* what, Fn&& fn) {
  return OnIndex(h, [&](IndexObject& ix) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(out, what));
    auto value = fn(ix);
    if (!value.ok()) return value.status();
    *out = static_cast<T>(value.value());
    return Status::Ok();
  });
}

// Copies bytes (a key) into an out buffer with an in/out length.
Status CopyOutBytes(const std::string& bytes, UNSIGNED8* buf, UNSIGNED16* len) {
  ACE_RETURN_IF_ERROR(RequireOut(len, "pusLength"));
  if (bytes.size() > *len) {
    UNSIGNED16 have = *len;
    *len = static_cast<UNSIGNED16>(bytes.size());
    return Status(kErrInsufficientBuffer, "the buffer holds " + std::to_string(have) +
                                              " bytes; the key has " +
                                              std::to_string(bytes.size()));
  }
  ACE_RETURN_IF_ERROR(RequireOut(buf, "the key buffer"));
  std::memcpy(buf, bytes.data(), bytes.size());
  *len = static_cast<UNSIGNED16>(bytes.size());
  return Status::Ok();
}

std::string Slashes(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string StemPath(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    return path.substr(0, dot);
  return path;
}

bool HasExtension(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

const char* IndexExtension(storage::TableType type) {
  switch (type) {
    case storage::TableType::kNtx:
      return ".ntx";
    case storage::TableType::kAdt:
      return ".adi";
    default:
      return ".cdx";
  }
}

// An index file name of a table: relative names lie beside the table, a name without
// extension gets the table type's index extension.
Result<std::string> IndexPath(TableObject& table, std::string_view name) {
  if (name.empty()) return Status(kErrInvalidArgument, "the index file name is empty");
  if (name.size() > cursor::kMaxPathLength)
    return Status(kErrNameTooLong, "the index file name is longer than " +
                                       std::to_string(cursor::kMaxPathLength) + " bytes");
  std::string path = Slashes(name);
  if (path[0] != '/') path = DirectoryOf(table.cursor().path()) + "/" + path;
  if (!HasExtension(path)) path += IndexExtension(table.cursor().file().type());
  return path;
}

std::string OptionalText(const UNSIGNED8* p) {
  return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p));
}

// A key argument of seeks and scopes as an encoded key (or key prefix) of the tag.
Result<std::string> KeyArgument(index::Tag* tag, const UNSIGNED8* key, UNSIGNED16 len,
                                UNSIGNED16 type) {
  if (key == nullptr) return Status(kErrNullPointer, "the key is missing");
  const auto* text = reinterpret_cast<const char*>(key);
  const expr::KeySpec& spec = tag->key_spec();
  switch (type) {
    case ADS_RAWKEY:
      if (len > spec.length)
        return Status(kErrInvalidArgument, "the raw key has " + std::to_string(len) +
                                               " bytes; the index's keys have " +
                                               std::to_string(spec.length));
      return std::string(text, len);
    case ADS_STRINGKEY:
      return expr::EncodeKeyFromText(std::string_view(text, strnlen(text, len)), spec);
    case ADS_WSTRINGKEY:
      return expr::EncodeKeyFromText(WideKeyText(key, len), spec);
    case ADS_DOUBLEKEY: {
      if (len < sizeof(double)) return Status(kErrInvalidArgument, "a double key has 8 bytes");
      double d;
      std::memcpy(&d, key, sizeof d);
      if (spec.type != expr::ValueType::kNumeric && spec.type != expr::ValueType::kDate)
        return Status(kErrConversion, "a double key needs a numeric or date index");
      return expr::EncodeDoubleKey(d);
    }
    default:
      return Status(kErrInvalidArgument,
                    "key type " + std::to_string(type) +
                        ": ADS_RAWKEY, ADS_STRINGKEY, ADS_WSTRINGKEY or ADS_DOUBLEKEY");
  }
}

Status HandOut(const std::shared_ptr<TableObject>& table, const std::vector<index::Tag*>& tags,
               ADSHANDLE ahIndex[], UNSIGNED16* pusArrayLen) {
  if (pusArrayLen == nullptr) return Status::Ok();  // the caller wants no handles
  const UNSIGNED16 capacity = *pusArrayLen;
  const auto n = static_cast<UNSIGNED16>(tags.size());
  *pusArrayLen = n;
  if (n > capacity) {
    for (UNSIGNED16 i = 0; i < capacity && ahIndex != nullptr; ++i)
      ahIndex[i] = HandleOf(table, tags[i]);
    return Status(kErrInsufficientBuffer, "the array holds " + std::to_string(capacity) +
                                              " handles; there are " + std::to_string(n));
  }
  if (n > 0) ACE_RETURN_IF_ERROR(RequireOut(ahIndex, "ahIndex"));
  for (UNSIGNED16 i = 0; i < n; ++i) ahIndex[i] = HandleOf(table, tags[i]);
  return Status::Ok();
}

index::TagOptions OptionsOf(UNSIGNED32 options) {
  index::TagOptions o;
  o.unique = (options & ADS_UNIQUE) != 0;
  o.descending = (options & ADS_DESCENDING) != 0;
  o.custom = (options & ADS_CUSTOM) != 0;
  o.candidate = (options & ADS_CANDIDATE) != 0;
  if (o.candidate) o.unique = true;
  return o;
}

// Moves a key one step in walking order: the smallest key after it (+1) or the largest
// before it (-1) of the same length.
Status StepKey(index::Tag* tag, std::string* key, int direction) {
  std::string stored = tag->ToIndexOrder(*key);
  if (direction > 0) {
    size_t i = stored.size();
    while (i > 0 && static_cast<unsigned char>(stored[i - 1]) == 0xFF) stored[--i] = '\0';
    if (i == 0) return Status(kErrValueOutOfRange, "the key is the last possible one");
    stored[i - 1] = static_cast<char>(static_cast<unsigned char>(stored[i - 1]) + 1);
  } else {
    size_t i = stored.size();
    while (i > 0 && static_cast<unsigned char>(stored[i - 1]) == 0x00)
      stored[--i] = static_cast<char>(0xFF);
    if (i == 0) return Status(kErrValueOutOfRange, "the key is the first possible one");
    stored[i - 1] = static_cast<char>(static_cast<unsigned char>(stored[i - 1]) - 1);
  }
  *key = tag->FromIndexOrder(stored);
  return Status::Ok();
}

Result<std::string> KeyOfImage(index::Tag* tag, TableObject& table, const std::byte* image) {
  index::TableRecordSource source(&table.cursor().file());
  source.SetRecord(0, image);
  Result<std::string> stored = tag->RawKeyOf(source);
  if (!stored.ok()) return stored.status();
  return tag->FromIndexOrder(*stored);
}

}  // namespace

extern "C" {

// ---- Index files ------------------------------------------------------------------------------

ACE_API UNSIGNED32 AdsCreateIndex90(ADSHANDLE hObj, const UNSIGNED8* pucFileName,
                                    const UNSIGNED8* pucTag, const UNSIGNED8* pucExpr,
                                    const UNSIGNED8* pucCondition, const UNSIGNED8* pucWhile,
                                    UNSIGNED32 ulOptions, UNSIGNED32 ulPageSize,
                                    const UNSIGNED8* pucCollation, ADSHANDLE* phIndex) {
  return OnTable(hObj, [&](const std::shared_ptr<TableObject>& table) -> Status {
    auto expression = InText(pucExpr, "pucExpr");
    if (!expression.ok()) return expression.status();
    if (expression.value().empty())
      return Status(kErrInvalidExpression, "the index expression is empty");
    cursor::Cursor& c = table->cursor();
    std::string file = OptionalText(pucFileName);
    std::string path;
    if (file.empty()) {
      if (c.file().type() == storage::TableType::kNtx)
        return Status(kErrInvalidArgument, "an NTX index needs a file name");
      path = StemPath(c.path()) + IndexExtension(c.file().type());
    } else {
      auto p = IndexPath(*table, file);
      if (!p.ok()) return p.status();
      path = p.value();
    }
    index::TagDefinition def;
    def.name = OptionalText(pucTag);
    def.key_expression = std::string(expression.value());
    def.for_condition = OptionalText(pucCondition);
    def.while_condition = OptionalText(pucWhile);
    def.collation = pucCollation != nullptr && pucCollation[0] != 0 ? OptionalText(pucCollation)
                                                                    : c.options().collation;
    def.options = OptionsOf(ulOptions);
    auto kind = index::IndexKindOfPath(path);
    if (!kind.ok()) return kind.status();
    if (*kind != index::IndexKind::kSingle && def.name.empty())
      return Status(kErrInvalidArgument, path + ": an index in a compound file needs a tag name");
    auto tag = c.CreateIndex(path, def, ulPageSize);
    if (!tag.ok()) return tag.status();
    if (phIndex != nullptr) *phIndex = HandleOf(table, tag.value());
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsCreateIndex61(ADSHANDLE hObj, const UNSIGNED8* pucFileName,
                                    const UNSIGNED8* pucTag, const UNSIGNED8* pucExpr,
                                    const UNSIGNED8* pucCondition, const UNSIGNED8* pucWhile,
                                    UNSIGNED32 ulOptions, UNSIGNED32 ulPageSize,
                                    ADSHANDLE* phIndex) {
  return AdsCreateIndex90(hObj, pucFileName, pucTag, pucExpr, pucCondition, pucWhile, ulOptions,
                          ulPageSize, nullptr, phIndex);
}

ACE_API UNSIGNED32 AdsOpenIndex(ADSHANDLE hTable, const UNSIGNED8* pucName, ADSHANDLE ahIndex[],
                                UNSIGNED16* pusArrayLen) {
  return OnTable(hTable, [&](const std::shared_ptr<TableObject>& table) -> Status {
    auto name = InText(pucName, "pucName");
    if (!name.ok()) return name.status();
    auto path = IndexPath(*table, name.value());
    if (!path.ok()) return path.status();
    auto tags = table->cursor().OpenIndexFile(path.value());
    if (!tags.ok()) return tags.status();
    return HandOut(table, tags.value(), ahIndex, pusArrayLen);
  });
}

ACE_API UNSIGNED32 AdsCloseIndex(ADSHANDLE hIndex) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    std::shared_ptr<TableObject> table = ix.table_ptr();
    index::IndexFile* file = table->cursor().FileOf(ix.tag());
    ForgetFile(table, file);
    return table->cursor().CloseIndexFile(file);
  });
}

ACE_API UNSIGNED32 AdsCloseAllIndexes(ADSHANDLE hTable) {
  return OnTable(hTable, [&](const std::shared_ptr<TableObject>& table) -> Status {
    for (index::Tag* tag : table->cursor().Tags()) ForgetTag(table, tag);
    return table->cursor().CloseAllIndexes();
  });
}

ACE_API UNSIGNED32 AdsDeleteIndex(ADSHANDLE hIndex) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    std::shared_ptr<TableObject> table = ix.table_ptr();
    cursor::Cursor& c = table->cursor();
    if (!c.exclusive())
      return Status(kErrExclusiveRequired, c.path() +
                                               ": deleting an index needs the table "
                                               "open exclusively");
    index::IndexFile* file = c.FileOf(ix.tag());
    if (file->tag_count() == 1) {
      ForgetFile(table, file);
    } else {
      ForgetTag(table, ix.tag());
    }
    return c.DeleteIndex(ix.tag());
  });
}

ACE_API UNSIGNED32 AdsReindex61(ADSHANDLE hObj, UNSIGNED32 ulPageSize) {
  (void)ulPageSize;  // files keep their page size
  return OnTableOf(hObj, [](cursor::Cursor& c) { return c.Reindex(); });
}

ACE_API UNSIGNED32 AdsReindex(ADSHANDLE hObj) {
  return AdsReindex61(hObj, 0);
}

// ---- Index handles ----------------------------------------------------------------------------

ACE_API UNSIGNED32 AdsGetIndexHandle(ADSHANDLE hTable, const UNSIGNED8* pucIndexOrder,
                                     ADSHANDLE* phIndex) {
  return OnTable(hTable, [&](const std::shared_ptr<TableObject>& table) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(phIndex, "phIndex"));
    // Without a name: the cursor's current order, 0 when it is in its natural order.
    if (pucIndexOrder == nullptr || *pucIndexOrder == 0) {
      index::Tag* current = table->cursor().order();
      *phIndex = current != nullptr && current->present() ? HandleOf(table, current) : 0;
      return Status::Ok();
    }
    std::string_view name(reinterpret_cast<const char*>(pucIndexOrder));
    ACE_RETURN_IF_ERROR(table->cursor().OpenIndexes());
    for (index::Tag* tag : table->cursor().Tags()) {
      if (tag->name().size() == name.size() &&
          strncasecmp(tag->name().c_str(), name.data(), name.size()) == 0) {
        *phIndex = HandleOf(table, tag);
        return Status::Ok();
      }
    }
    return Status(kErrNoSuchIndexTag,
                  table->cursor().path() + ": there is no index " + std::string(name));
  });
}

ACE_API UNSIGNED32 AdsGetIndexHandleByOrder(ADSHANDLE hTable, UNSIGNED16 usOrderNum,
                                            ADSHANDLE* phIndex) {
  return OnTable(hTable, [&](const std::shared_ptr<TableObject>& table) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(phIndex, "phIndex"));
    ACE_RETURN_IF_ERROR(table->cursor().OpenIndexes());
    std::vector<index::Tag*> tags = table->cursor().Tags();
    if (usOrderNum == 0 || usOrderNum > tags.size())
      return Status(kErrNoSuchIndexTag, "there is no index number " + std::to_string(usOrderNum) +
                                            " (" + std::to_string(tags.size()) + " are open)");
    *phIndex = HandleOf(table, tags[usOrderNum - 1]);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetAllIndexes(ADSHANDLE hTable, ADSHANDLE ahIndex[],
                                    UNSIGNED16* pusArrayLen) {
  return OnTable(hTable, [&](const std::shared_ptr<TableObject>& table) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusArrayLen, "pusArrayLen"));
    ACE_RETURN_IF_ERROR(table->cursor().OpenIndexes());
    return HandOut(table, table->cursor().Tags(), ahIndex, pusArrayLen);
  });
}

ACE_API UNSIGNED32 AdsGetNumIndexes(ADSHANDLE hTable, UNSIGNED16* pusNum) {
  return OnTable(hTable, [&](const std::shared_ptr<TableObject>& table) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusNum, "pusNum"));
    ACE_RETURN_IF_ERROR(table->cursor().OpenIndexes());
    *pusNum = static_cast<UNSIGNED16>(table->cursor().Tags().size());
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetNumFTSIndexes(ADSHANDLE hTable, UNSIGNED16* pusNum) {
  return OnTable(hTable, [&](const std::shared_ptr<TableObject>&) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusNum, "pusNum"));
    *pusNum = 0;  // the engine keeps no full-text indexes
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetFTSIndexes(ADSHANDLE hTable, ADSHANDLE ahIndex[],
                                    UNSIGNED16* pusArrayLen) {
  return OnTable(hTable, [&](const std::shared_ptr<TableObject>& table) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusArrayLen, "pusArrayLen"));
    return HandOut(table, {}, ahIndex, pusArrayLen);
  });
}

// ---- Index properties -------------------------------------------------------------------------

ACE_API UNSIGNED32 AdsGetIndexName(ADSHANDLE hIndex, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
  return OnIndex(hIndex,
                 [&](IndexObject& ix) { return CopyOutText(ix.tag()->name(), pucName, pusLen); });
}

ACE_API UNSIGNED32 AdsGetIndexFilename(ADSHANDLE hIndex, UNSIGNED16 usOption, UNSIGNED8* pucName,
                                       UNSIGNED16* pusLen) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    const std::string& path = ix.table().cursor().FileOf(ix.tag())->path();
    size_t slash = path.find_last_of('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    switch (usOption) {
      case ADS_BASENAME:
        return CopyOutText(StemPath(base), pucName, pusLen);
      case ADS_BASENAMEANDEXT:
        return CopyOutText(base, pucName, pusLen);
      case ADS_FULLPATHNAME:
        return CopyOutText(path, pucName, pusLen);
      default:
        return Status(kErrInvalidArgument,
                      "file name option " + std::to_string(usOption) + ": 1, 2 or 3 is expected");
    }
  });
}

ACE_API UNSIGNED32 AdsGetIndexExpr(ADSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen) {
  return OnIndex(hIndex, [&](IndexObject& ix) {
    return CopyOutText(ix.tag()->key_expression(), pucExpr, pusLen);
  });
}

ACE_API UNSIGNED32 AdsGetIndexCondition(ADSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen) {
  return OnIndex(hIndex, [&](IndexObject& ix) {
    return CopyOutText(ix.tag()->for_condition(), pucExpr, pusLen);
  });
}

ACE_API UNSIGNED32 AdsGetIndexCollation(ADSHANDLE hIndex, UNSIGNED8* pucCollation,
                                        UNSIGNED16* pusLen) {
  return OnIndex(hIndex, [&](IndexObject& ix) {
    return CopyOutText(ix.tag()->collation_name(), pucCollation, pusLen);
  });
}

ACE_API UNSIGNED32 AdsGetIndexFlags(ADSHANDLE hIndex, UNSIGNED32* pulOptions) {
  return IndexAnswer(hIndex, pulOptions, "pulOptions", [](IndexObject& ix) -> Result<uint32_t> {
    const index::TagOptions& o = ix.tag()->options();
    uint32_t bits = 0;
    if (o.unique && !o.candidate) bits |= ADS_UNIQUE;
    if (o.candidate) bits |= ADS_CANDIDATE;
    if (o.descending) bits |= ADS_DESCENDING;
    if (o.custom) bits |= ADS_CUSTOM;
    if (ix.table().cursor().FileOf(ix.tag())->kind() != index::IndexKind::kSingle)
      bits |= ADS_COMPOUND;
    return bits;
  });
}

ACE_API UNSIGNED32 AdsGetIndexPageSize(ADSHANDLE hIndex, UNSIGNED32* pulPageSize) {
  return IndexAnswer(hIndex, pulPageSize, "pulPageSize", [](IndexObject& ix) -> Result<uint32_t> {
    return ix.table().cursor().FileOf(ix.tag())->page_size();
  });
}

ACE_API UNSIGNED32 AdsGetNumSegments(ADSHANDLE hIndex, UNSIGNED16* pusSegments) {
  return IndexAnswer(hIndex, pusSegments, "pusSegments", [](IndexObject& ix) -> Result<size_t> {
    return ix.tag()->key_expr()->KeySegments().size();
  });
}

ACE_API UNSIGNED32 AdsGetSegmentFieldname(ADSHANDLE hIndex, UNSIGNED16 usSegmentNum,
                                          UNSIGNED8* pucFieldname, UNSIGNED16* pusFldnameLen) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    std::vector<expr::Expression::Segment> segments = ix.tag()->key_expr()->KeySegments();
    if (usSegmentNum >= segments.size())
      return Status(kErrInvalidArgument, "the index " + ix.tag()->name() + " has " +
                                             std::to_string(segments.size()) + " segments");
    return CopyOutText(segments[usSegmentNum].field, pucFieldname, pusFldnameLen);
  });
}

#define ACE_INDEX_FLAG(Name, expression)                                                   \
  ACE_API UNSIGNED32 Name(ADSHANDLE hIndex, UNSIGNED16* pbResult) {                        \
    return IndexAnswer(hIndex, pbResult, "pbResult", [](IndexObject& ix) -> Result<bool> { \
      const index::TagOptions& o = ix.tag()->options();                                    \
      (void)o;                                                                             \
      return (expression);                                                                 \
    });                                                                                    \
  }
ACE_INDEX_FLAG(AdsIsIndexUnique, o.unique && !o.candidate)
ACE_INDEX_FLAG(AdsIsIndexDescending, o.descending)
ACE_INDEX_FLAG(AdsIsIndexCandidate, o.candidate)
ACE_INDEX_FLAG(AdsIsIndexPrimaryKey, false)
ACE_INDEX_FLAG(AdsIsIndexCustom, o.custom)
ACE_INDEX_FLAG(AdsIsIndexCompound,
               ix.table().cursor().FileOf(ix.tag())->kind() != index::IndexKind::kSingle)
#undef ACE_INDEX_FLAG

ACE_API UNSIGNED32 AdsGetKeyLength(ADSHANDLE hIndex, UNSIGNED16* pusKeyLength) {
  return IndexAnswer(hIndex, pusKeyLength, "pusKeyLength", [](IndexObject& ix) -> Result<uint32_t> {
    return ix.tag()->key_spec().length;
  });
}

ACE_API UNSIGNED32 AdsGetKeyType(ADSHANDLE hIndex, UNSIGNED16* pusKeyType) {
  return IndexAnswer(hIndex, pusKeyType, "pusKeyType", [](IndexObject& ix) -> Result<uint16_t> {
    return expr::ExpressionTypeCode(ix.tag()->key_spec().type);
  });
}

// ---- Key positions and counts ----------------------------------------------------------------

ACE_API UNSIGNED32 AdsGetKeyCount(ADSHANDLE hIndex, UNSIGNED16 usFilterOption,
                                  UNSIGNED32* pulCount) {
  return IndexAnswer(hIndex, pulCount, "pulCount", [&](IndexObject& ix) {
    return ix.table().cursor().KeyCount(ix.tag(), usFilterOption);
  });
}

ACE_API UNSIGNED32 AdsGetKeyNum(ADSHANDLE hIndex, UNSIGNED16 usFilterOption, UNSIGNED32* pulKey) {
  return IndexAnswer(hIndex, pulKey, "pulKey", [&](IndexObject& ix) {
    return ix.table().cursor().KeyNumber(ix.tag(), usFilterOption);
  });
}

// ---- Keys ------------------------------------------------------------------------------------

ACE_API UNSIGNED32 AdsExtractKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusLength) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    auto key = ix.table().cursor().CurrentKey(ix.tag());
    if (!key.ok()) return key.status();
    return CopyOutBytes(key.value(), pucKey, pusLength);
  });
}

ACE_API UNSIGNED32 AdsInitRawKey(ADSHANDLE hIndex) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    ix.key_record() = ix.table().cursor().file().BlankRecord();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsBuildRawKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    if (ix.key_record().empty()) ix.key_record() = ix.table().cursor().file().BlankRecord();
    auto key = KeyOfImage(ix.tag(), ix.table(), ix.key_record().data());
    if (!key.ok()) return key.status();
    return CopyOutBytes(key.value(), pucKey, pusKeyLen);
  });
}

ACE_API UNSIGNED32 AdsBuildKeyFromRecord(ADSHANDLE hIndex, const UNSIGNED8* pucRecBuffer,
                                         UNSIGNED32 ulRecordLen, UNSIGNED8* pucKey,
                                         UNSIGNED16* pusKeyLen) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pucRecBuffer, "pucRecBuffer"));
    const uint32_t length = ix.table().cursor().file().record_length();
    if (ulRecordLen < length)
      return Status(kErrInvalidArgument, "the record buffer has " + std::to_string(ulRecordLen) +
                                             " bytes; records have " + std::to_string(length));
    auto key = KeyOfImage(ix.tag(), ix.table(), reinterpret_cast<const std::byte*>(pucRecBuffer));
    if (!key.ok()) return key.status();
    return CopyOutBytes(key.value(), pucKey, pusKeyLen);
  });
}

ACE_API UNSIGNED32 AdsStepIndexKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16 usLen,
                                   SIGNED16 sDirection) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pucKey, "pucKey"));
    if (sDirection != 1 && sDirection != -1)
      return Status(kErrInvalidArgument, "the direction is 1 or -1");
    std::string key(reinterpret_cast<const char*>(pucKey), usLen);
    ACE_RETURN_IF_ERROR(StepKey(ix.tag(), &key, sDirection));
    std::memcpy(pucKey, key.data(), key.size());
    return Status::Ok();
  });
}

// ---- Seeks -----------------------------------------------------------------------------------

ACE_API UNSIGNED32 AdsSeek(ADSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                           UNSIGNED16 usDataType, UNSIGNED16 usSeekType, UNSIGNED16* pbFound) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    if (usSeekType != ADS_SOFTSEEK && usSeekType != ADS_HARDSEEK)
      return Status(kErrInvalidArgument,
                    "seek type " + std::to_string(usSeekType) + ": ADS_SOFTSEEK or ADS_HARDSEEK");
    auto key = KeyArgument(ix.tag(), pucKey, usKeyLen, usDataType);
    if (!key.ok()) return key.status();
    auto found = ix.table().cursor().Seek(ix.tag(), key.value(), usSeekType == ADS_HARDSEEK);
    if (!found.ok()) return found.status();
    if (pbFound != nullptr) *pbFound = found.value() ? 1 : 0;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsSeekLast(ADSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                               UNSIGNED16 usDataType, UNSIGNED16* pbFound) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    auto key = KeyArgument(ix.tag(), pucKey, usKeyLen, usDataType);
    if (!key.ok()) return key.status();
    auto found = ix.table().cursor().SeekLast(ix.tag(), key.value());
    if (!found.ok()) return found.status();
    if (pbFound != nullptr) *pbFound = found.value() ? 1 : 0;
    return Status::Ok();
  });
}

// ---- Scopes ----------------------------------------------------------------------------------

ACE_API UNSIGNED32 AdsSetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption,
                               const UNSIGNED8* pucScope, UNSIGNED16 usScopeLen,
                               UNSIGNED16 usDataType) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    auto key = KeyArgument(ix.tag(), pucScope, usScopeLen, usDataType);
    if (!key.ok()) return key.status();
    return ix.table().cursor().SetScope(ix.tag(), usScopeOption, std::move(key.value()));
  });
}

ACE_API UNSIGNED32 AdsGetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, UNSIGNED8* pucScope,
                               UNSIGNED16* pusBufLen) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    const std::string* scope = ix.table().cursor().Scope(ix.tag(), usScopeOption);
    if (scope == nullptr)
      return Status(kErrNoScope, "the index " + ix.tag()->name() + " has no such scope");
    return CopyOutBytes(*scope, pucScope, pusBufLen);
  });
}

ACE_API UNSIGNED32 AdsClearScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption) {
  return OnIndex(hIndex, [&](IndexObject& ix) {
    return ix.table().cursor().ClearScope(ix.tag(), usScopeOption);
  });
}

ACE_API UNSIGNED32 AdsClearAllScopes(ADSHANDLE hTable) {
  return OnTableOf(hTable, [](cursor::Cursor& c) {
    c.ClearAllScopes();
    return Status::Ok();
  });
}

// ---- Custom keys -----------------------------------------------------------------------------

ACE_API UNSIGNED32 AdsAddCustomKey(ADSHANDLE hIndex) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    if (!ix.tag()->options().custom)
      return Status(kErrInvalidArgument, "the index " + ix.tag()->name() + " is not custom");
    cursor::Cursor& c = ix.table().cursor();
    auto key = c.CurrentKey(ix.tag());
    if (!key.ok()) return key.status();
    if (c.recno() == 0) return Status(kErrNoCurrentRecord, "the new record is not written yet");
    index::IndexFile* file = c.FileOf(ix.tag());
    ACE_RETURN_IF_ERROR(ix.tag()->AddKey(ix.tag()->ToIndexOrder(key.value()), c.recno()));
    return file->Flush();
  });
}

ACE_API UNSIGNED32 AdsDeleteCustomKey(ADSHANDLE hIndex) {
  return OnIndex(hIndex, [&](IndexObject& ix) -> Status {
    if (!ix.tag()->options().custom)
      return Status(kErrInvalidArgument, "the index " + ix.tag()->name() + " is not custom");
    cursor::Cursor& c = ix.table().cursor();
    auto key = c.CurrentKey(ix.tag());
    if (!key.ok()) return key.status();
    index::IndexFile* file = c.FileOf(ix.tag());
    ACE_RETURN_IF_ERROR(ix.tag()->DeleteKey(ix.tag()->ToIndexOrder(key.value()), c.recno()));
    return file->Flush();
  });
}

}  // extern "C"
