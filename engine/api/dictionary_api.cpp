// C API of data dictionaries: dictionary connections, creating and changing a dictionary
// (tables, users, groups, rights, properties, links), reading its properties, finding its
// objects, and the table search that names the dictionary of each table. Turns C arguments into
// calls of ace::dict::Dictionary (engine/dict).
#include "engine/api/dictionary_api.h"

#include <algorithm>
#include <cstring>

#include "engine/api/api_guard.h"
#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/dict/dictionary.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;

namespace ace::api {
namespace {

std::string Optional(const UNSIGNED8* p) {
  return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p));
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The dictionary of a connection handle; kErrNotSupported on a directory connection.
Result<dict::Dictionary*> DictionaryOf(uint32_t handle) {
  auto conn = GetConnection(handle);
  if (!conn.ok()) return conn.status();
  dict::Dictionary* d = conn.value()->connection().dictionary();
  if (d == nullptr) {
    return Status(kErrNotSupported, conn.value()->connection().path() +
                                        ": the connection is not to a data dictionary");
  }
  return d;
}

template <typename Body>
UNSIGNED32 OnDictionary(ADSHANDLE h, Body&& body) {
  return Guard([&]() -> Status {
    auto d = DictionaryOf(h);
    if (!d.ok()) return d.status();
    return body(*d.value());
  });
}

// A property value out: a number (2 bytes) or a zero-terminated text.
Status CopyOutNumber(uint16_t value, void* out, UNSIGNED16* len) {
  if (len == nullptr) return Status(kErrNullPointer, "the length argument is missing");
  if (*len < sizeof value || out == nullptr) {
    *len = sizeof value;
    return Status(kErrInsufficientBuffer, "the property needs 2 bytes");
  }
  std::memcpy(out, &value, sizeof value);
  *len = sizeof value;
  return Status::Ok();
}

Status CopyOutProperty(const std::string& text, const char* what, void* out, UNSIGNED16* len) {
  if (len == nullptr) return Status(kErrNullPointer, "the length argument is missing");
  if (text.empty()) {
    *len = 0;
    return Status(kErrPropertyNotSet, std::string("the property ") + what + " is not set");
  }
  return CopyOutText(text, static_cast<uint8_t*>(out), len);
}

std::string JoinFiles(const std::vector<std::string>& files) {
  std::string out;
  for (const std::string& f : files) {
    if (!out.empty()) out += ';';
    out += f;
  }
  return out;
}

Result<dict::ObjectKind> KindOf(UNSIGNED16 type) {
  switch (type) {
    case ADS_DD_TABLE_OBJECT:
    case ADS_DD_INDEX_FILE_OBJECT:
    case ADS_DD_USER_OBJECT:
    case ADS_DD_USER_GROUP_OBJECT:
    case ADS_DD_PROCEDURE_OBJECT:
    case ADS_DD_LINK_OBJECT:
      return static_cast<dict::ObjectKind>(type);
    default:
      return Status(kErrInvalidArgument, "unknown dictionary object type " + std::to_string(type));
  }
}

}  // namespace

bool IsDictionaryPath(std::string_view path) {
  if (path.size() < 4) return false;
  std::string ext(path.substr(path.size() - 4));
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return ext == ".add";
}

Result<std::unique_ptr<cursor::Connection>> OpenDictionaryConnection(std::string_view path,
                                                                     uint16_t server_types,
                                                                     std::string user,
                                                                     std::string password) {
  if (server_types != 0 && (server_types & cursor::kServerLocal) == 0) {
    // The connection refuses the server type with its own message.
    return cursor::Connection::Open(path, server_types, user, password);
  }
  const std::string file = NormalizePath(std::string(path));
  auto d = dict::Dictionary::Open(file);
  if (!d.ok()) return d.status();
  ACE_RETURN_IF_ERROR(d.value()->Login(user, password));
  auto connection = cursor::Connection::Open(FolderOf(file), server_types, user, password);
  if (!connection.ok()) return connection.status();
  connection.value()->set_dictionary(std::shared_ptr<dict::Dictionary>(std::move(d.value())));
  return connection;
}

Result<std::vector<std::string>> ListTables(const cursor::Connection& connection,
                                            std::string_view mask) {
  if (connection.dictionary() != nullptr && mask.empty())
    return connection.dictionary()->ObjectNames(dict::ObjectKind::kTable, "");
  return connection.FindTables(mask);
}

Result<std::optional<DictionaryTable>> FindDictionaryTable(ConnectionObject& connection,
                                                           std::string_view name,
                                                           uint16_t table_type) {
  dict::Dictionary* d = connection.connection().dictionary();
  if (d == nullptr) return std::optional<DictionaryTable>();
  auto entry = d->FindTable(name);
  if (!entry.ok()) return entry.status();
  if (!entry.value()) {
    if (table_type != ADS_DEFAULT) return std::optional<DictionaryTable>();
    return Status(kErrNotInDictionary,
                  std::string(name) + ": the table is not in the dictionary " + d->path());
  }
  auto rights = d->RightsOn(entry.value()->name);
  if (!rights.ok()) return rights.status();
  if ((rights.value() & dict::kRightRead) == 0) {
    return Status(kErrPermissionDenied, entry.value()->name + ": the user " + d->user() +
                                            " has no right to read the table");
  }
  DictionaryTable t;
  t.name = entry.value()->name;
  t.path = entry.value()->path;
  t.type = entry.value()->type;
  t.rights = rights.value();
  return std::optional<DictionaryTable>(std::move(t));
}

void ApplyDictionaryRights(uint32_t table_handle, const DictionaryTable& table) {
  auto t = GetTable(table_handle);
  if (!t.ok()) return;
  uint32_t denied = 0;
  if ((table.rights & dict::kRightUpdate) == 0) denied |= ADS_UPDATE_ALLOWED;
  if ((table.rights & dict::kRightInsert) == 0) denied |= ADS_INSERT_ALLOWED;
  t.value()->denied_open_options = denied;
}

}  // namespace ace::api

extern "C" {

ACE_API UNSIGNED32 AdsDDCreate(const UNSIGNED8* pucDictionaryPath, UNSIGNED16 usEncrypt,
                               const UNSIGNED8* /*pucDescription*/,
                               const UNSIGNED8* pucAdminPassword, ADSHANDLE* phDictionary) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(phDictionary, "phDictionary"));
    *phDictionary = 0;
    auto path = InText(pucDictionaryPath, "pucDictionaryPath");
    if (!path.ok()) return path.status();
    if (!IsDictionaryPath(path.value()))
      return Status(kErrInvalidArgument,
                    std::string(path.value()) + ": a dictionary file ends in .add");
    if (usEncrypt != 0) return Status(kErrNotSupported, "encrypted dictionaries are not available");
    const std::string file = NormalizePath(std::string(path.value()));
    if (!DirectoryExists(FolderOf(file)))
      return Status(kErrPathNotFound, FolderOf(file) + ": the folder does not exist");
    auto created = dict::Dictionary::Create(file, Optional(pucAdminPassword));
    if (!created.ok()) return created.status();
    auto connection = cursor::Connection::Open(FolderOf(file), ADS_LOCAL_SERVER,
                                               dict::kAdministrator, Optional(pucAdminPassword));
    if (!connection.ok()) return connection.status();
    connection.value()->set_dictionary(
        std::shared_ptr<dict::Dictionary>(std::move(created.value())));
    *phDictionary = HandleTable::Instance().Add(
        std::make_shared<ConnectionObject>(std::move(connection.value())));
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsDDAddTable(ADSHANDLE hDictionary, const UNSIGNED8* pucTableName,
                                 const UNSIGNED8* pucTablePath, UNSIGNED16 usTableType,
                                 UNSIGNED16 /*usCharType*/, const UNSIGNED8* pucIndexFiles,
                                 const UNSIGNED8* /*pucComments*/) {
  return OnDictionary(hDictionary, [&](dict::Dictionary& d) -> Status {
    auto name = InText(pucTableName, "pucTableName");
    if (!name.ok()) return name.status();
    auto file = InText(pucTablePath, "pucTablePath");
    if (!file.ok()) return file.status();
    dict::TableEntry e;
    e.name = std::string(name.value());
    std::string path = NormalizePath(std::string(file.value()));
    e.path = !path.empty() && path[0] == '/' ? path : JoinPath(d.directory(), path);
    if (usTableType == ADS_DEFAULT) {
      const std::string lower = [&] {
        std::string l = e.path;
        std::transform(l.begin(), l.end(), l.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        return l;
      }();
      usTableType =
          lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dbf") == 0 ? ADS_CDX : ADS_ADT;
    }
    e.type = usTableType;
    if (!FileExists(e.path)) return Status(kErrFileNotFound, e.path + ": the table does not exist");
    for (const std::string& f : [&] {
           std::vector<std::string> parts;
           std::string all = Optional(pucIndexFiles);
           size_t start = 0;
           while (start < all.size()) {
             size_t semi = all.find(';', start);
             if (semi == std::string::npos) semi = all.size();
             if (semi > start) parts.push_back(all.substr(start, semi - start));
             start = semi + 1;
           }
           return parts;
         }()) {
      std::string p = NormalizePath(f);
      e.index_files.push_back(!p.empty() && p[0] == '/' ? p : JoinPath(d.directory(), p));
    }
    return d.AddTable(e);
  });
}

ACE_API UNSIGNED32 AdsDDRemoveTable(ADSHANDLE hDictionary, const UNSIGNED8* pucTableName,
                                    UNSIGNED16 usDeleteFiles) {
  return OnDictionary(hDictionary, [&](dict::Dictionary& d) -> Status {
    auto name = InText(pucTableName, "pucTableName");
    if (!name.ok()) return name.status();
    if (usDeleteFiles != 0)
      return Status(kErrNotSupported, "removing a table from the dictionary keeps its files");
    return d.RemoveTable(name.value());
  });
}

ACE_API UNSIGNED32 AdsDDCreateUser(ADSHANDLE hDictionary, const UNSIGNED8* pucGroupName,
                                   const UNSIGNED8* pucUserName, const UNSIGNED8* pucPassword,
                                   const UNSIGNED8* /*pucDescription*/) {
  return OnDictionary(hDictionary, [&](dict::Dictionary& d) -> Status {
    auto user = InText(pucUserName, "pucUserName");
    if (!user.ok()) return user.status();
    ACE_RETURN_IF_ERROR(d.CreateUser(user.value(), Optional(pucPassword)));
    const std::string group = Optional(pucGroupName);
    if (!group.empty()) return d.AddUserToGroup(user.value(), group);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsDDDeleteUser(ADSHANDLE hDictionary, const UNSIGNED8* pucUserName) {
  return OnDictionary(hDictionary, [&](dict::Dictionary& d) -> Status {
    auto user = InText(pucUserName, "pucUserName");
    if (!user.ok()) return user.status();
    return d.DropUser(user.value());
  });
}

ACE_API UNSIGNED32 AdsDDCreateUserGroup(ADSHANDLE hDictionary, const UNSIGNED8* pucGroupName,
                                        const UNSIGNED8* /*pucDescription*/) {
  return OnDictionary(hDictionary, [&](dict::Dictionary& d) -> Status {
    auto group = InText(pucGroupName, "pucGroupName");
    if (!group.ok()) return group.status();
    return d.CreateGroup(group.value());
  });
}

ACE_API UNSIGNED32 AdsDDAddUserToGroup(ADSHANDLE hDictionary, const UNSIGNED8* pucGroupName,
                                       const UNSIGNED8* pucUserName) {
  return OnDictionary(hDictionary, [&](dict::Dictionary& d) -> Status {
    auto group = InText(pucGroupName, "pucGroupName");
    if (!group.ok()) return group.status();
    auto user = InText(pucUserName, "pucUserName");
    if (!user.ok()) return user.status();
    return d.AddUserToGroup(user.value(), group.value());
  });
}

namespace {

UNSIGNED32 ChangePermission(ADSHANDLE hDictionary, UNSIGNED16 usObjectType,
                            const UNSIGNED8* pucObjectName, const UNSIGNED8* pucGrantee,
                            UNSIGNED32 ulPermissions, bool grant) {
  return OnDictionary(hDictionary, [&](dict::Dictionary& d) -> Status {
    if (usObjectType != ADS_DD_TABLE_OBJECT)
      return Status(kErrNotSupported, "rights are kept for tables only");
    auto table = InText(pucObjectName, "pucObjectName");
    if (!table.ok()) return table.status();
    auto grantee = InText(pucGrantee, "pucGrantee");
    if (!grantee.ok()) return grantee.status();
    if ((ulPermissions & ~static_cast<UNSIGNED32>(ADS_PERMISSION_ALL)) != 0)
      return Status(kErrInvalidArgument, "unknown rights " + std::to_string(ulPermissions));
    return grant ? d.Grant(ulPermissions, table.value(), grantee.value())
                 : d.Revoke(ulPermissions, table.value(), grantee.value());
  });
}

}  // namespace

ACE_API UNSIGNED32 AdsDDGrantPermission(ADSHANDLE hDictionary, UNSIGNED16 usObjectType,
                                        const UNSIGNED8* pucObjectName,
                                        const UNSIGNED8* /*pucParentName*/,
                                        const UNSIGNED8* pucGrantee, UNSIGNED32 ulPermissions) {
  return ChangePermission(hDictionary, usObjectType, pucObjectName, pucGrantee, ulPermissions,
                          true);
}

ACE_API UNSIGNED32 AdsDDRevokePermission(ADSHANDLE hDictionary, UNSIGNED16 usObjectType,
                                         const UNSIGNED8* pucObjectName,
                                         const UNSIGNED8* /*pucParentName*/,
                                         const UNSIGNED8* pucGrantee, UNSIGNED32 ulPermissions) {
  return ChangePermission(hDictionary, usObjectType, pucObjectName, pucGrantee, ulPermissions,
                          false);
}

ACE_API UNSIGNED32 AdsDDSetTableProperty(ADSHANDLE hDictionary, const UNSIGNED8* pucTableName,
                                         UNSIGNED16 usPropertyID, const void* pvProperty,
                                         UNSIGNED16 usPropertyLen, UNSIGNED16 /*usValidateOption*/,
                                         const UNSIGNED8* /*pucFailTable*/) {
  return OnDictionary(hDictionary, [&](dict::Dictionary& d) -> Status {
    auto table = InText(pucTableName, "pucTableName");
    if (!table.ok()) return table.status();
    if (usPropertyLen != 0 && pvProperty == nullptr)
      return Status(kErrNullPointer, "the property value is missing");
    std::string value(static_cast<const char*>(pvProperty), usPropertyLen);
    value.resize(strnlen(value.c_str(), value.size()));
    switch (usPropertyID) {
      case ADS_DD_TABLE_PRIMARY_KEY:
        return d.SetTablePrimaryKey(table.value(), value);
      case ADS_DD_TABLE_DEFAULT_INDEX:
        return d.SetTableDefaultIndex(table.value(), value);
      default:
        return Status(kErrNotSupported,
                      "the table property " + std::to_string(usPropertyID) + " cannot be set");
    }
  });
}

ACE_API UNSIGNED32 AdsDDGetTableProperty(ADSHANDLE hObject, const UNSIGNED8* pucTableName,
                                         UNSIGNED16 usPropertyID, void* pvProperty,
                                         UNSIGNED16* pusPropertyLen) {
  return OnDictionary(hObject, [&](dict::Dictionary& d) -> Status {
    auto table = InText(pucTableName, "pucTableName");
    if (!table.ok()) return table.status();
    auto entry = d.FindTable(table.value());
    if (!entry.ok()) return entry.status();
    if (!entry.value()) {
      return Status(kErrNotInDictionary,
                    std::string(table.value()) + ": the table is not in the dictionary");
    }
    const dict::TableEntry& e = *entry.value();
    switch (usPropertyID) {
      case ADS_DD_TABLE_PATH:
        return CopyOutProperty(e.path, "table path", pvProperty, pusPropertyLen);
      case ADS_DD_TABLE_TYPE:
        return CopyOutNumber(e.type, pvProperty, pusPropertyLen);
      case ADS_DD_TABLE_INDEX_FILES:
        return CopyOutProperty(JoinFiles(e.index_files), "index files", pvProperty, pusPropertyLen);
      case ADS_DD_TABLE_PRIMARY_KEY:
        return CopyOutProperty(e.primary_key, "primary key", pvProperty, pusPropertyLen);
      case ADS_DD_TABLE_DEFAULT_INDEX:
        return CopyOutProperty(e.default_index, "default index", pvProperty, pusPropertyLen);
      default:
        return Status(kErrInvalidArgument,
                      "unknown table property " + std::to_string(usPropertyID));
    }
  });
}

ACE_API UNSIGNED32 AdsDDGetDatabaseProperty(ADSHANDLE hObject, UNSIGNED16 usPropertyID,
                                            void* pvProperty, UNSIGNED16* pusPropertyLen) {
  return OnDictionary(hObject, [&](dict::Dictionary&) -> Status {
    switch (usPropertyID) {
      case ADS_DD_VERSION_MAJOR:
        return CopyOutNumber(dict::kVersionMajor, pvProperty, pusPropertyLen);
      case ADS_DD_VERSION_MINOR:
        return CopyOutNumber(dict::kVersionMinor, pvProperty, pusPropertyLen);
      default:
        return Status(kErrInvalidArgument,
                      "unknown database property " + std::to_string(usPropertyID));
    }
  });
}

ACE_API UNSIGNED32 AdsDDGetUserProperty(ADSHANDLE hObject, const UNSIGNED8* pucUserName,
                                        UNSIGNED16 usPropertyID, void* pvProperty,
                                        UNSIGNED16* pusPropertyLen) {
  return OnDictionary(hObject, [&](dict::Dictionary& d) -> Status {
    auto user = InText(pucUserName, "pucUserName");
    if (!user.ok()) return user.status();
    if (usPropertyID != ADS_DD_USER_GROUP_MEMBERSHIP)
      return Status(kErrInvalidArgument, "unknown user property " + std::to_string(usPropertyID));
    auto groups = d.GroupsOf(user.value());
    if (!groups.ok()) return groups.status();
    return CopyOutProperty(groups.value(), "group membership", pvProperty, pusPropertyLen);
  });
}

ACE_API UNSIGNED32 AdsDDRenameObject(ADSHANDLE hDictionary, const UNSIGNED8* pucObjectName,
                                     const UNSIGNED8* pucNewObjectName, UNSIGNED16 usObjectType,
                                     UNSIGNED32 ulOptions) {
  return OnDictionary(hDictionary, [&](dict::Dictionary& d) -> Status {
    auto from = InText(pucObjectName, "pucObjectName");
    if (!from.ok()) return from.status();
    auto to = InText(pucNewObjectName, "pucNewObjectName");
    if (!to.ok()) return to.status();
    if (ulOptions != 0)
      return Status(kErrInvalidArgument, "unknown rename options " + std::to_string(ulOptions));
    auto kind = KindOf(usObjectType);
    if (!kind.ok()) return kind.status();
    return d.RenameObject(kind.value(), from.value(), to.value());
  });
}

ACE_API UNSIGNED32 AdsDDFindFirstObject(ADSHANDLE hObject, UNSIGNED16 usFindObjectType,
                                        const UNSIGNED8* pucParentName, UNSIGNED8* pucObjectName,
                                        UNSIGNED16* pusObjectNameLen, ADSHANDLE* phFindHandle) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(phFindHandle, "phFindHandle"));
    ACE_RETURN_IF_ERROR(RequireOut(pusObjectNameLen, "pusObjectNameLen"));
    *phFindHandle = 0;
    auto conn = GetConnection(hObject);
    if (!conn.ok()) return conn.status();
    auto kind = KindOf(usFindObjectType);
    if (!kind.ok()) return kind.status();
    dict::Dictionary* d = conn.value()->connection().dictionary();
    std::vector<std::string> names;
    if (d != nullptr) {
      auto found = d->ObjectNames(kind.value(), Optional(pucParentName));
      if (!found.ok()) return found.status();
      names = std::move(found.value());
    }
    if (names.empty()) return Status(kErrNoMoreDictObjects, "the dictionary has no such objects");
    auto search = std::make_shared<TableSearchObject>(hObject, std::move(names));
    ACE_RETURN_IF_ERROR(CopyOutText(*search->Next(), pucObjectName, pusObjectNameLen));
    *phFindHandle = HandleTable::Instance().Add(search);
    conn.value()->children().push_back(*phFindHandle);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsDDFindNextObject(ADSHANDLE hObject, ADSHANDLE hFindHandle,
                                       UNSIGNED8* pucObjectName, UNSIGNED16* pusObjectNameLen) {
  return Guard([&]() -> Status {
    auto search =
        HandleTable::Instance().Get<TableSearchObject>(hFindHandle, {HandleKind::kTableSearch});
    if (!search.ok()) return search.status();
    if (search.value()->connection() != hObject)
      return Status(kErrInvalidHandle, "the search was not started on this connection");
    const std::string* name = search.value()->Next();
    if (name == nullptr) return Status(kErrNoMoreDictObjects, "no more dictionary objects");
    return CopyOutText(*name, pucObjectName, pusObjectNameLen);
  });
}

ACE_API UNSIGNED32 AdsDDFindClose(ADSHANDLE hObject, ADSHANDLE hFindHandle) {
  return AdsFindClose(hObject, hFindHandle);
}

ACE_API UNSIGNED32 AdsDDCreateLink(ADSHANDLE hDBConn, const UNSIGNED8* pucLinkAlias,
                                   const UNSIGNED8* pucLinkedDDPath, const UNSIGNED8* pucUserName,
                                   const UNSIGNED8* pucPassword, UNSIGNED32 ulOptions) {
  return OnDictionary(hDBConn, [&](dict::Dictionary& d) -> Status {
    auto alias = InText(pucLinkAlias, "pucLinkAlias");
    if (!alias.ok()) return alias.status();
    auto path = InText(pucLinkedDDPath, "pucLinkedDDPath");
    if (!path.ok()) return path.status();
    if ((ulOptions & ~7u) != 0)
      return Status(kErrInvalidArgument, "unknown link options " + std::to_string(ulOptions));
    if (!IsDictionaryPath(path.value()))
      return Status(kErrInvalidArgument,
                    std::string(path.value()) + ": a link names a dictionary file (.add)");
    dict::LinkEntry link{std::string(alias.value()), NormalizePath(std::string(path.value())),
                         Optional(pucUserName), Optional(pucPassword), ulOptions};
    return d.CreateLink(link);
  });
}

ACE_API UNSIGNED32 AdsDDDropLink(ADSHANDLE hDBConn, const UNSIGNED8* pucLinkedDD,
                                 UNSIGNED16 /*usDropGlobal*/) {
  return OnDictionary(hDBConn, [&](dict::Dictionary& d) -> Status {
    auto name = InText(pucLinkedDD, "pucLinkedDD");
    if (!name.ok()) return name.status();
    return d.DropLink(name.value());
  });
}

ACE_API UNSIGNED32 AdsGetNumActiveLinks(ADSHANDLE hDBConn, UNSIGNED16* pusNumLinks) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusNumLinks, "pusNumLinks"));
    *pusNumLinks = 0;
    auto conn = GetConnection(hDBConn);
    if (!conn.ok()) return conn.status();
    dict::Dictionary* d = conn.value()->connection().dictionary();
    if (d == nullptr) return Status::Ok();
    auto links = d->Links();
    if (!links.ok()) return links.status();
    *pusNumLinks = static_cast<UNSIGNED16>(std::min<size_t>(links.value().size(), 0xFFFF));
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetActiveLinkInfo(ADSHANDLE hDBConn, UNSIGNED16 usLinkNum,
                                        UNSIGNED8* pucLinkInfo, UNSIGNED16* pusBufferLen) {
  return OnDictionary(hDBConn, [&](dict::Dictionary& d) -> Status {
    auto links = d.Links();
    if (!links.ok()) return links.status();
    if (usLinkNum == 0 || usLinkNum > links.value().size()) {
      return Status(kErrInvalidArgument, "there is no active link " + std::to_string(usLinkNum));
    }
    const dict::LinkEntry& l = links.value()[usLinkNum - 1];
    return CopyOutText(l.name + ";" + l.path + ";" + l.user + ";", pucLinkInfo, pusBufferLen);
  });
}

ACE_API UNSIGNED32 AdsFindFirstTable62(ADSHANDLE hConnect, const UNSIGNED8* pucFileMask,
                                       UNSIGNED8* pucFirstDD, UNSIGNED16* pusDDLen,
                                       UNSIGNED8* pucFirstFile, UNSIGNED16* pusFileLen,
                                       ADSHANDLE* phFindHandle) {
  UNSIGNED32 rc = AdsFindFirstTable(hConnect, pucFileMask, pucFirstFile, pusFileLen, phFindHandle);
  if (rc != 0) return rc;
  return Guard([&] { return CopyOutText("", pucFirstDD, pusDDLen); });
}

ACE_API UNSIGNED32 AdsFindNextTable62(ADSHANDLE hConnect, ADSHANDLE hFindHandle,
                                      UNSIGNED8* pucDDName, UNSIGNED16* pusDDLen,
                                      UNSIGNED8* pucFileName, UNSIGNED16* pusFileLen) {
  UNSIGNED32 rc = AdsFindNextTable(hConnect, hFindHandle, pucFileName, pusFileLen);
  if (rc != 0) return rc;
  return Guard([&] { return CopyOutText("", pucDDName, pusDDLen); });
}

}  // extern "C"
