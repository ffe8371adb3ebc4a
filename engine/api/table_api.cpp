// C API of tables: open, close, create, delete, restructure-free maintenance (zap, pack, copy,
// convert) and table and field information. Turns C arguments into calls of
// ace::cursor::Connection, Cursor and the record copy of table_copy.h.
#include <algorithm>
#include <cstring>

#include "engine/api/api_guard.h"
#include "engine/api/api_objects.h"
#include "engine/api/dictionary_api.h"
#include "engine/api/index_api.h"
#include "engine/base/callbacks.h"
#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/cursor/field_spec.h"
#include "engine/cursor/table_copy.h"
#include "engine/dict/dictionary.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;
using ace::storage::TableType;

namespace {

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) != suffix[i])
      return false;
  }
  return true;
}

}  // namespace

namespace ace::api {

Result<cursor::OpenTableOptions> MakeTableOptions(std::string_view name, UNSIGNED16 table_type,
                                                  UNSIGNED16 char_type, UNSIGNED16 lock_type,
                                                  UNSIGNED16 rights, UNSIGNED32 options,
                                                  const UNSIGNED8* collation) {
  cursor::OpenTableOptions o;
  if (table_type == ADS_DEFAULT) {
    // Free tables have no dictionary to say their type: the extension decides.
    if (EndsWithNoCase(name, ".adt")) {
      table_type = ADS_ADT;
    } else if (EndsWithNoCase(name, ".dbf")) {
      table_type = ADS_CDX;
    } else {
      return Status(kErrInvalidArgument,
                    std::string(name) + ": a free table needs a table type (1 to 4)");
    }
  }
  if (table_type < ADS_NTX || table_type > ADS_VFP) {
    return Status(kErrInvalidArgument, "unknown table type " + std::to_string(table_type));
  }
  if (char_type != ADS_ANSI && char_type != ADS_OEM) {
    return Status(kErrInvalidArgument, "unknown character type " + std::to_string(char_type));
  }
  if (lock_type != ADS_COMPATIBLE_LOCKING && lock_type != ADS_PROPRIETARY_LOCKING) {
    return Status(kErrInvalidArgument, "unknown lock type " + std::to_string(lock_type));
  }
  if (rights > ADS_IGNORE_RIGHTS)
    return Status(kErrInvalidArgument, "unknown rights checking " + std::to_string(rights));
  o.type = static_cast<TableType>(table_type);
  o.char_type = char_type;
  o.lock = lock_type == ADS_PROPRIETARY_LOCKING ? cursor::LockScheme::kProprietary
                                                : cursor::LockScheme::kCompatible;
  o.check_rights = rights != ADS_IGNORE_RIGHTS;
  o.exclusive = (options & ADS_EXCLUSIVE) != 0;
  o.read_only = (options & ADS_READONLY) != 0;
  if (collation != nullptr) {
    o.collation = std::string(reinterpret_cast<const char*>(collation),
                              strnlen(reinterpret_cast<const char*>(collation), 128));
  }
  return o;
}

}  // namespace ace::api

namespace {

Result<std::string_view> TableName(const UNSIGNED8* name) {
  auto text = InText(name, "pucName");
  if (!text.ok()) return text;
  if (text.value().size() > cursor::kMaxPathLength) {
    return Status(kErrNameTooLong, "the table name is longer than " +
                                       std::to_string(cursor::kMaxPathLength) + " bytes");
  }
  if (text.value().empty()) return Status(kErrInvalidArgument, "the table name is empty");
  return text;
}

// What a new table becomes in the connection's dictionary: nothing for a free table (no
// dictionary, or ADS_CREATE_FREE_TABLE), else the entry to add once the files exist. The
// checks that can be made before anything is created are made here.
Result<std::optional<dict::TableEntry>> DictionaryEntryFor(const cursor::Connection& connection,
                                                           std::string_view file_name,
                                                           const UNSIGNED8* object_name,
                                                           UNSIGNED32 options, TableType type) {
  dict::Dictionary* d = connection.dictionary();
  const bool free_table = (options & ADS_CREATE_FREE_TABLE) != 0;
  if ((options & ADS_CREATE_DICTIONARY_TABLE) != 0 && (d == nullptr || free_table)) {
    return Status(kErrInvalidArgument,
                  d == nullptr ? "a dictionary table needs a connection to a data dictionary"
                               : "a table cannot be both a free and a dictionary table");
  }
  if (d == nullptr || free_table) return std::optional<dict::TableEntry>();
  dict::TableEntry e;
  if (object_name != nullptr && object_name[0] != 0) {
    e.name = reinterpret_cast<const char*>(object_name);
  } else {
    std::string leaf(file_name);
    const size_t slash = leaf.find_last_of("/\\");
    if (slash != std::string::npos) leaf = leaf.substr(slash + 1);
    const size_t dot = leaf.rfind('.');
    if (dot != std::string::npos && dot > 0) leaf = leaf.substr(0, dot);
    e.name = leaf;
  }
  e.type = static_cast<uint16_t>(type);
  if (!d->is_administrator()) {
    return Status(kErrPermissionDenied,
                  "the user " + d->user() + " may not add tables to the dictionary " + d->path());
  }
  auto existing = d->FindTable(e.name);
  if (!existing.ok()) return existing.status();
  if (existing.value()) {
    return Status(kErrFileExists,
                  e.name + ": the dictionary " + d->path() + " has a table of that name already");
  }
  return std::optional<dict::TableEntry>(std::move(e));
}

// Registers a cursor on a connection and answers its handle (positioned on the first record).
Result<ADSHANDLE> Register(const std::shared_ptr<ConnectionObject>& conn,
                           std::shared_ptr<cursor::SharedTable> table,
                           const cursor::OpenTableOptions& options) {
  auto c = std::make_unique<cursor::Cursor>(std::move(table), options);
  // An encrypted table opens without its password; the handle stands before the first record
  // until AdsEnableEncryption gives it the key.
  Status top = c->GotoTop();
  if (!top.ok() && !(top.code() == kErrEncryption && c->file().encrypted())) return top;
  auto object = std::make_shared<TableObject>(conn, std::move(c));
  ADSHANDLE handle = HandleTable::Instance().Add(object);
  conn->children().push_back(handle);
  return handle;
}

Status CloseHandle(const std::shared_ptr<TableObject>& table) {
  Status s = table->cursor().Close();
  DetachFromConnection(table->owner().handle(), table->handle());
  HandleTable::Instance().Remove(table->handle());
  return s;
}

// Creates a table file with the given fields beside an open table's connection and copies the
// records of from into it.
Status CopyInto(const std::shared_ptr<TableObject>& from, const UNSIGNED8* file, UNSIGNED16 filter,
                TableType type, bool with_records, index::Tag* order = nullptr) {
  auto name = TableName(file);
  if (!name.ok()) return name.status();
  cursor::Connection& conn = from->owner().connection();
  auto path = conn.ResolveTablePath(name.value(), type);
  if (!path.ok()) return path.status();
  if (FileExists(path.value()))
    return Status(kErrFileExists, path.value() + ": the file exists already");
  cursor::OpenTableOptions options = from->cursor().options();
  options.type = type;
  options.exclusive = true;
  options.read_only = false;
  auto table =
      conn.CreateTable(path.value(), options, cursor::SpecsOf(from->cursor().file(), type), 0);
  if (!table.ok()) return table.status();
  cursor::Cursor to(std::move(table.value()), options);
  if (with_records) {
    Status copied = cursor::CopyRecords(from->cursor(), to, filter, order);
    if (!copied.ok()) {
      // A copy that failed or was stopped leaves no half table behind.
      const std::string memo = to.file().memo_path();
      (void)to.Close();
      (void)RemoveFile(path.value());
      if (!memo.empty()) (void)RemoveFile(memo);
      return copied;
    }
  }
  return to.Close();
}

template <typename Fn>
UNSIGNED32 OnTable(ADSHANDLE h, Fn&& fn) {
  return Guard([&]() -> Status {
    auto table = PeekTable(h);
    if (!table.ok()) return table.status();
    return fn(*table.value());
  });
}

template <typename Fn>
UNSIGNED32 OnField(ADSHANDLE h, const UNSIGNED8* field, Fn&& fn) {
  return Guard([&]() -> Status {
    auto table = PeekTable(h);
    if (!table.ok()) return table.status();
    auto index = table.value()->FieldIndex(field);
    if (!index.ok()) return index.status();
    return fn(table.value()->field(index.value()));
  });
}

}  // namespace

extern "C" {

ACE_API UNSIGNED32 AdsOpenTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                  const UNSIGNED8* /*pucAlias*/, UNSIGNED16 usTableType,
                                  UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                  UNSIGNED16 usCheckRights, UNSIGNED32 ulOptions,
                                  const UNSIGNED8* pucCollation, ADSHANDLE* phTable) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(phTable, "phTable"));
    *phTable = 0;
    auto conn = GetConnection(hConnect);
    if (!conn.ok()) return conn.status();
    auto name = TableName(pucName);
    if (!name.ok()) return name.status();
    // A dictionary connection opens its tables by name (dictionary_api.cpp).
    auto known = FindDictionaryTable(*conn.value(), name.value(), usTableType);
    if (!known.ok()) return known.status();
    if (known->has_value()) usTableType = known->value().type;
    auto options = MakeTableOptions(name.value(), usTableType, usCharType, usLockType,
                                    usCheckRights, ulOptions, pucCollation);
    if (!options.ok()) return options.status();
    if (known->has_value() && (known->value().rights & kDictionaryWriteRights) == 0)
      options->read_only = true;
    auto path = known->has_value()
                    ? Result<std::string>(known->value().path)
                    : conn.value()->connection().ResolveTablePath(name.value(), options->type);
    if (!path.ok()) return path.status();
    if (!FileExists(path.value()))
      return Status(kErrFileNotFound, path.value() + ": the table does not exist");
    auto table = conn.value()->connection().AcquireTable(path.value(), options.value());
    if (!table.ok()) return table.status();
    auto handle = Register(conn.value(), std::move(table.value()), options.value());
    if (!handle.ok()) return handle.status();
    if (known->has_value()) ApplyDictionaryRights(handle.value(), known->value());
    *phTable = handle.value();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsCreateTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                    const UNSIGNED8* pucDBObjName, UNSIGNED16 usTableType,
                                    UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                    UNSIGNED16 usCheckRights, UNSIGNED16 usMemoSize,
                                    const UNSIGNED8* pucFields, UNSIGNED32 ulOptions,
                                    const UNSIGNED8* pucCollation, ADSHANDLE* phTable) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(phTable, "phTable"));
    *phTable = 0;
    auto conn = GetConnection(hConnect);
    if (!conn.ok()) return conn.status();
    auto name = TableName(pucName);
    if (!name.ok()) return name.status();
    auto spec = InText(pucFields, "pucFields");
    if (!spec.ok()) return spec.status();
    auto options = MakeTableOptions(name.value(), usTableType, usCharType, usLockType,
                                    usCheckRights, ulOptions, pucCollation);
    if (!options.ok()) return options.status();
    auto fields = cursor::ParseFieldSpec(spec.value(), options->type);
    if (!fields.ok()) return fields.status();
    auto entry = DictionaryEntryFor(conn.value()->connection(), name.value(), pucDBObjName,
                                    ulOptions, options->type);
    if (!entry.ok()) return entry.status();
    auto path = conn.value()->connection().ResolveTablePath(name.value(), options->type);
    if (!path.ok()) return path.status();
    if (FileExists(path.value()))
      return Status(kErrFileExists, path.value() + ": the table exists already");
    auto table = conn.value()->connection().CreateTable(path.value(), options.value(),
                                                        fields.value(), usMemoSize);
    if (!table.ok()) return table.status();
    if (entry->has_value()) {
      entry->value().path = path.value();
      Status added = conn.value()->connection().dictionary()->AddTable(entry->value());
      if (!added.ok()) {
        // The dictionary refused the table: the new files go again, nothing is left behind.
        const std::string memo = table.value()->file->memo_path();
        table.value().reset();
        RemoveFile(path.value()).ok();
        if (!memo.empty()) RemoveFile(memo).ok();
        return added;
      }
    }
    auto handle = Register(conn.value(), std::move(table.value()), options.value());
    if (!handle.ok()) return handle.status();
    *phTable = handle.value();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsCloseTable(ADSHANDLE hTable) {
  return Guard([&]() -> Status {
    auto table = GetTable(hTable);
    if (!table.ok()) return table.status();
    return CloseHandle(table.value());
  });
}

ACE_API UNSIGNED32 AdsDeleteTable(ADSHANDLE hTable) {
  return Guard([&]() -> Status {
    auto table = GetTable(hTable);
    if (!table.ok()) return table.status();
    cursor::Cursor& c = table.value()->cursor();
    const std::string data = c.file().path();
    const std::string memo = c.file().memo_path();
    const cursor::LockScheme scheme = c.options().lock;
    ACE_RETURN_IF_ERROR(CloseHandle(table.value()));
    if (table.value()->owner().connection().IsOpen(data)) {
      return Status(kErrTableInUse,
                    data + ": another cursor of this connection has the table open");
    }
    // Deleting needs the table to itself: the exclusive open lock is held while the files go.
    auto file = File::Open(data, OpenMode::kReadWrite);
    if (!file.ok()) return file.status();
    cursor::TableLocks guard(file->fd(), scheme, data);
    ACE_RETURN_IF_ERROR(guard.AcquireOpen(true));
    ACE_RETURN_IF_ERROR(RemoveFile(data));
    if (!memo.empty()) ACE_RETURN_IF_ERROR(RemoveFile(memo));
    return Status::Ok();
  });
}

// Neither can be undone by a transaction: refused inside one before the cursor is touched.
ACE_API UNSIGNED32 AdsZapTable(ADSHANDLE hTable) {
  return OnTable(hTable, [](TableObject& t) -> Status {
    ACE_RETURN_IF_ERROR(
        t.owner().connection().RefuseInTransaction("Emptying the table " + t.cursor().path()));
    return t.cursor().Zap();
  });
}

ACE_API UNSIGNED32 AdsPackTable(ADSHANDLE hTable) {
  return OnTable(hTable, [](TableObject& t) -> Status {
    ACE_RETURN_IF_ERROR(
        t.owner().connection().RefuseInTransaction("Packing the table " + t.cursor().path()));
    return t.cursor().Pack();
  });
}

ACE_API UNSIGNED32 AdsCopyTable(ADSHANDLE hObj, UNSIGNED16 usFilterOption,
                                const UNSIGNED8* pucFile) {
  return Guard([&]() -> Status {
    auto source = ResolveOrder(hObj);  // a table, or an index for its order
    if (!source.ok()) return source.status();
    const std::shared_ptr<TableObject>& table = source.value().table;
    return CopyInto(table, pucFile, usFilterOption, table->cursor().file().type(), true,
                    source.value().tag);
  });
}

ACE_API UNSIGNED32 AdsCopyTableStructure(ADSHANDLE hTable, const UNSIGNED8* pucFile) {
  return Guard([&]() -> Status {
    auto table = GetTable(hTable);
    if (!table.ok()) return table.status();
    return CopyInto(table.value(), pucFile, ADS_IGNOREFILTERS,
                    table.value()->cursor().file().type(), false);
  });
}

ACE_API UNSIGNED32 AdsConvertTable(ADSHANDLE hObj, UNSIGNED16 usFilterOption,
                                   const UNSIGNED8* pucFile, UNSIGNED16 usTableType) {
  return Guard([&]() -> Status {
    auto source = ResolveOrder(hObj);  // a table, or an index for its order
    if (!source.ok()) return source.status();
    if (usTableType < ADS_NTX || usTableType > ADS_VFP) {
      return Status(kErrInvalidArgument, "unknown table type " + std::to_string(usTableType));
    }
    return CopyInto(source.value().table, pucFile, usFilterOption,
                    static_cast<TableType>(usTableType), true, source.value().tag);
  });
}

ACE_API UNSIGNED32 AdsCopyTableContents(ADSHANDLE hObjFrom, ADSHANDLE hTableTo,
                                        UNSIGNED16 usFilterOption) {
  return Guard([&]() -> Status {
    auto from = ResolveOrder(hObjFrom);  // a table, or an index for its order
    if (!from.ok()) return from.status();
    auto to = GetTable(hTableTo);
    if (!to.ok()) return to.status();
    if (from.value().table == to.value())
      return Status(kErrInvalidArgument, "a table cannot be copied into itself");
    // Appended records cannot be taken back, so this copy is not stopped by the callbacks.
    ProgressMute not_stoppable;
    return cursor::CopyRecords(from.value().table->cursor(), to.value()->cursor(), usFilterOption,
                               from.value().tag);
  });
}

ACE_API UNSIGNED32 AdsGetTableType(ADSHANDLE hTable, UNSIGNED16* pusType) {
  return OnTable(hTable, [&](TableObject& t) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusType, "pusType"));
    *pusType = static_cast<UNSIGNED16>(t.cursor().file().type());
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetRecordLength(ADSHANDLE hTable, UNSIGNED32* pulLength) {
  return OnTable(hTable, [&](TableObject& t) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulLength, "pulLength"));
    *pulLength = t.cursor().file().record_length();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetTableOpenOptions(ADSHANDLE hTable, UNSIGNED32* pulOptions) {
  return OnTable(hTable, [&](TableObject& t) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulOptions, "pulOptions"));
    UNSIGNED32 bits = 0;
    if (t.cursor().exclusive()) bits |= ADS_EXCLUSIVE;
    if (t.cursor().read_only()) {
      bits |= ADS_READONLY;
    } else {
      bits |= ADS_UPDATE_ALLOWED | ADS_INSERT_ALLOWED;
    }
    bits &= ~t.denied_open_options;  // rights the dictionary does not grant
    *pulOptions = bits;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetNumFields(ADSHANDLE hTable, UNSIGNED16* pusCount) {
  return OnTable(hTable, [&](TableObject& t) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusCount, "pusCount"));
    *pusCount = static_cast<UNSIGNED16>(t.cursor().file().fields().size());
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetFieldType(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                   UNSIGNED16* pusType) {
  return OnField(hTable, pucFldName, [&](const storage::FieldDesc& f) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusType, "pusType"));
    *pusType = f.type;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetFieldLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                     UNSIGNED32* pulLength) {
  return OnField(hTable, pucFldName, [&](const storage::FieldDesc& f) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulLength, "pulLength"));
    *pulLength = f.length;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetFieldDecimals(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                       UNSIGNED16* pusDecimals) {
  return OnField(hTable, pucFldName, [&](const storage::FieldDesc& f) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusDecimals, "pusDecimals"));
    *pusDecimals = f.decimals;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetFieldOffset(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                     UNSIGNED32* pulOffset) {
  return OnField(hTable, pucFldName, [&](const storage::FieldDesc& f) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulOffset, "pulOffset"));
    *pulOffset = f.offset;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsIsNullable(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                 UNSIGNED16* pbNullable) {
  return OnField(hTable, pucFldName, [&](const storage::FieldDesc& f) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pbNullable, "pbNullable"));
    *pbNullable = f.nullable ? 1 : 0;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetFieldName(ADSHANDLE hTable, UNSIGNED16 usFld, UNSIGNED8* pucName,
                                   UNSIGNED16* pusBufLen) {
  return OnTable(hTable, [&](TableObject& t) -> Status {
    if (usFld == 0)
      return Status(kErrColumnNotFound, "column number 0: fields are numbered from 1");
    auto index = t.FieldIndex(ADSFIELD(usFld));
    if (!index.ok()) return index.status();
    return CopyOutText(t.field(index.value()).name, pucName, pusBufLen);
  });
}

ACE_API UNSIGNED32 AdsGetFieldNum(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                  UNSIGNED16* pusNum) {
  return OnTable(hTable, [&](TableObject& t) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusNum, "pusNum"));
    auto index = t.FieldIndex(pucFldName);
    if (!index.ok()) return index.status();
    *pusNum = static_cast<UNSIGNED16>(index.value() + 1);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetColumnPermissions(ADSHANDLE hTable, UNSIGNED16 usFld,
                                           UNSIGNED8* pucPermissions) {
  return OnTable(hTable, [&](TableObject& t) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pucPermissions, "pucPermissions"));
    if (usFld == 0)
      return Status(kErrColumnNotFound, "column number 0: fields are numbered from 1");
    auto index = t.FieldIndex(ADSFIELD(usFld));
    if (!index.ok()) return index.status();
    *pucPermissions = t.cursor().read_only() ? 1 : (1 | 2 | 4);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetTableCharType(ADSHANDLE hTable, UNSIGNED16* pusCharType) {
  return OnTable(hTable, [&](TableObject& t) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusCharType, "pusCharType"));
    *pusCharType = t.cursor().options().char_type;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetTableCollation(ADSHANDLE hTable, UNSIGNED8* pucCollation,
                                        UNSIGNED16* pusLen) {
  return OnTable(hTable, [&](TableObject& t) -> Status {
    return CopyOutText(t.cursor().options().collation, pucCollation, pusLen);
  });
}

ACE_API UNSIGNED32 AdsGetTableFilename(ADSHANDLE hTable, UNSIGNED16 usOption, UNSIGNED8* pucName,
                                       UNSIGNED16* pusLen) {
  return OnTable(hTable, [&](TableObject& t) -> Status {
    const std::string& path = t.cursor().file().path();
    size_t slash = path.rfind('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    switch (usOption) {
      case ADS_BASENAME: {
        size_t dot = base.rfind('.');
        return CopyOutText(dot == std::string::npos ? base : base.substr(0, dot), pucName, pusLen);
      }
      case ADS_BASENAMEANDEXT:
        return CopyOutText(base, pucName, pusLen);
      case ADS_FULLPATHNAME:
        return CopyOutText(path, pucName, pusLen);
      default:
        return Status(kErrInvalidArgument, "unknown file name option " + std::to_string(usOption));
    }
  });
}

ACE_API UNSIGNED32 AdsGetTableMemoSize(ADSHANDLE hTable, UNSIGNED16* pusMemoSize) {
  return OnTable(hTable, [&](TableObject& t) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusMemoSize, "pusMemoSize"));
    *pusMemoSize = t.cursor().file().memo_block_size();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsCacheRecords(ADSHANDLE hTable, UNSIGNED16 usNumRecords) {
  return OnTable(hTable, [&](TableObject& t) {
    t.cursor().SetRecordCache(usNumRecords);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsCacheOpenTables(UNSIGNED16 /*usOpen*/) {
  return 0;
}

ACE_API UNSIGNED32 AdsCacheOpenCursors(UNSIGNED16 /*usOpen*/) {
  return 0;
}

ACE_API UNSIGNED32 AdsSqlPeekStatement(ADSHANDLE hCursor, UNSIGNED8* pbLive) {
  return OnTable(hCursor, [&](TableObject& table) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pbLive, "pbLive"));
    *pbLive = table.live_sql_result() ? 1 : 0;  // a table handle is not a live SQL result
    return Status::Ok();
  });
}

}  // extern "C"
