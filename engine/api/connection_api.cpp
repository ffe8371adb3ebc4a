// C API of connections: connect and disconnect, connection facts, the table search and the
// existence test. Turns C arguments into calls of ace::cursor::Connection.
#include <unistd.h>

#include <chrono>
#include <ctime>

#include "engine/api/api_guard.h"
#include "engine/api/api_objects.h"
#include "engine/api/dictionary_api.h"
#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/dict/dictionary.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;

namespace {

std::string OptionalText(const UNSIGNED8* p) {
  return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p));
}

Status Connect(const UNSIGNED8* path, UNSIGNED16 server_types, const UNSIGNED8* user,
               const UNSIGNED8* password, ADSHANDLE* out) {
  ACE_RETURN_IF_ERROR(RequireOut(out, "phConnect"));
  *out = 0;
  auto text = InText(path, "pucServerPath");
  if (!text.ok()) return text.status();
  if (IsDictionaryPath(text.value())) {
    auto opened = OpenDictionaryConnection(text.value(), server_types, OptionalText(user),
                                           OptionalText(password));
    if (!opened.ok()) return opened.status();
    *out =
        HandleTable::Instance().Add(std::make_shared<ConnectionObject>(std::move(opened.value())));
    return Status::Ok();
  }
  auto connection = cursor::Connection::Open(text.value(), server_types, OptionalText(user),
                                             OptionalText(password));
  if (!connection.ok()) return connection.status();
  *out = HandleTable::Instance().Add(
      std::make_shared<ConnectionObject>(std::move(connection.value())));
  return Status::Ok();
}

}  // namespace

extern "C" {

ACE_API UNSIGNED32 AdsConnect60(const UNSIGNED8* pucServerPath, UNSIGNED16 usServerTypes,
                                const UNSIGNED8* pucUserName, const UNSIGNED8* pucPassword,
                                UNSIGNED32 /*ulOptions*/, ADSHANDLE* phConnect) {
  return Guard(
      [&] { return Connect(pucServerPath, usServerTypes, pucUserName, pucPassword, phConnect); });
}

ACE_API UNSIGNED32 AdsConnect(const UNSIGNED8* pucServerName, ADSHANDLE* phConnect) {
  return Guard([&] { return Connect(pucServerName, 0, nullptr, nullptr, phConnect); });
}

ACE_API UNSIGNED32 AdsDisconnect(ADSHANDLE hConnect) {
  return Guard([&]() -> Status {
    auto conn = GetConnection(hConnect);
    if (!conn.ok()) {
      if (conn.status().code() == kErrInvalidHandle) {
        return Status(kErrConnectionClosed, "the connection " + std::to_string(hConnect) +
                                                " is closed or was never open");
      }
      return conn.status();
    }
    // Children are closed in reverse order of opening; the first failure is answered after
    // everything has been released.
    Status first;
    std::vector<uint32_t> children = conn.value()->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      auto table = HandleTable::Instance().Get<TableObject>(*it, {HandleKind::kTable});
      if (table.ok() && !table.value()->cursor().closed()) {
        Status s = table.value()->cursor().Close();
        if (first.ok() && !s.ok()) first = s;
      }
      HandleTable::Instance().Remove(*it);
    }
    conn.value()->children().clear();
    // What the cursors flushed above still belongs to an open transaction, which ends here.
    Status undone = conn.value()->transactions().RollbackIfActive();
    if (first.ok() && !undone.ok()) first = undone;
    HandleTable::Instance().Remove(hConnect);
    return first;
  });
}

ACE_API UNSIGNED32 AdsGetConnectionType(ADSHANDLE hConnect, UNSIGNED16* pusConnectType) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusConnectType, "pusConnectType"));
    auto conn = GetConnection(hConnect);
    if (!conn.ok()) return conn.status();
    *pusConnectType = conn.value()->connection().server_type();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetConnectionPath(ADSHANDLE hConnect, UNSIGNED8* pucConnectionPath,
                                        UNSIGNED16* pusLen) {
  return Guard([&]() -> Status {
    auto conn = GetConnection(hConnect);
    if (!conn.ok()) return conn.status();
    const cursor::Connection& c = conn.value()->connection();
    return CopyOutText(c.dictionary() != nullptr ? c.dictionary()->path() : c.path(),
                       pucConnectionPath, pusLen);
  });
}

ACE_API UNSIGNED32 AdsGetConnectionProperty(ADSHANDLE hConnect, UNSIGNED16 usPropertyID,
                                            void* pvProperty, UNSIGNED32* pulPropertyLen) {
  return Guard([&]() -> Status {
    auto conn = GetConnection(hConnect);
    if (!conn.ok()) return conn.status();
    const cursor::Connection& c = conn.value()->connection();
    switch (usPropertyID) {
      case ADS_CONNECTIONPROP_USERNAME:
        return CopyOutText(c.user(), static_cast<uint8_t*>(pvProperty), pulPropertyLen);
      case ADS_CONNECTIONPROP_PASSWORD:
        return CopyOutText(c.password(), static_cast<uint8_t*>(pvProperty), pulPropertyLen);
      default:
        return Status(kErrInvalidArgument,
                      "unknown connection property " + std::to_string(usPropertyID));
    }
  });
}

ACE_API UNSIGNED32 AdsIsConnectionAlive(ADSHANDLE hConnect, UNSIGNED16* pbConnectionIsAlive) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pbConnectionIsAlive, "pbConnectionIsAlive"));
    auto conn = GetConnection(hConnect);
    if (!conn.ok()) return conn.status();
    *pbConnectionIsAlive = DirectoryExists(conn.value()->connection().path()) ? 1 : 0;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetServerName(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
  return Guard([&]() -> Status {
    auto conn = GetConnection(hConnect);
    if (!conn.ok()) return conn.status();
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) host[0] = 0;
    return CopyOutText(host, pucName, pusLen);
  });
}

ACE_API UNSIGNED32 AdsGetServerTime(ADSHANDLE hConnect, UNSIGNED8* pucDateBuf,
                                    UNSIGNED16* pusDateBufLen, SIGNED32* plTime,
                                    UNSIGNED8* pucTimeBuf, UNSIGNED16* pusTimeBufLen) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(plTime, "plTime"));
    auto conn = GetConnection(hConnect);
    if (!conn.ok()) return conn.status();
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char date[16];
    char time[16];
    std::strftime(date, sizeof date, "%Y%m%d", &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    ACE_RETURN_IF_ERROR(CopyOutText(date, pucDateBuf, pusDateBufLen));
    ACE_RETURN_IF_ERROR(CopyOutText(time, pucTimeBuf, pusTimeBufLen));
    *plTime = static_cast<SIGNED32>(
        (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * 1000 + millis);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetTableConnection(ADSHANDLE hTable, ADSHANDLE* phConnect) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(phConnect, "phConnect"));
    auto table = GetTable(hTable);
    if (!table.ok()) return table.status();
    *phConnect = table.value()->owner().handle();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsFindFirstTable(ADSHANDLE hConnect, const UNSIGNED8* pucFileMask,
                                     UNSIGNED8* pucFirstFile, UNSIGNED16* pusFileLen,
                                     ADSHANDLE* phFindHandle) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(phFindHandle, "phFindHandle"));
    ACE_RETURN_IF_ERROR(RequireOut(pusFileLen, "pusFileLen"));
    *phFindHandle = 0;
    auto conn = GetConnection(hConnect);
    if (!conn.ok()) return conn.status();
    auto mask = InText(pucFileMask, "pucFileMask");
    if (!mask.ok()) return mask.status();
    auto names = ListTables(conn.value()->connection(), mask.value());
    if (!names.ok()) return names.status();
    if (names.value().empty()) {
      return Status(kErrNoMoreTables, "no table matches \"" + std::string(mask.value()) + "\"");
    }
    auto search = std::make_shared<TableSearchObject>(hConnect, std::move(names.value()));
    ACE_RETURN_IF_ERROR(CopyOutText(*search->Next(), pucFirstFile, pusFileLen));
    *phFindHandle = HandleTable::Instance().Add(search);
    conn.value()->children().push_back(*phFindHandle);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsFindNextTable(ADSHANDLE hConnect, ADSHANDLE hFindHandle,
                                    UNSIGNED8* pucFileName, UNSIGNED16* pusFileLen) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusFileLen, "pusFileLen"));
    auto search =
        HandleTable::Instance().Get<TableSearchObject>(hFindHandle, {HandleKind::kTableSearch});
    if (!search.ok()) return search.status();
    if (search.value()->connection() != hConnect) {
      return Status(kErrInvalidHandle,
                    "the search was not started on connection " + std::to_string(hConnect));
    }
    const std::string* name = search.value()->Next();
    if (name == nullptr) return Status(kErrNoMoreTables, "no more tables");
    Status s = CopyOutText(*name, pucFileName, pusFileLen);
    return s;
  });
}

ACE_API UNSIGNED32 AdsFindClose(ADSHANDLE hConnect, ADSHANDLE hFindHandle) {
  return Guard([&]() -> Status {
    auto search =
        HandleTable::Instance().Get<TableSearchObject>(hFindHandle, {HandleKind::kTableSearch});
    if (!search.ok()) return search.status();
    if (search.value()->connection() != hConnect) {
      return Status(kErrInvalidHandle,
                    "the search was not started on connection " + std::to_string(hConnect));
    }
    DetachFromConnection(hConnect, hFindHandle);
    HandleTable::Instance().Remove(hFindHandle);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsCheckExistence(ADSHANDLE hConnect, const UNSIGNED8* pucFileName,
                                     UNSIGNED16* pusOnDisk) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusOnDisk, "pusOnDisk"));
    auto name = InText(pucFileName, "pucFileName");
    if (!name.ok()) return name.status();
    if (name.value().size() > cursor::kMaxPathLength) {
      return Status(kErrNameTooLong, "the file name is longer than " +
                                         std::to_string(cursor::kMaxPathLength) + " bytes");
    }
    std::string path = NormalizePath(std::string(name.value()));
    if (hConnect != 0) {
      auto conn = GetConnection(hConnect);
      if (!conn.ok()) return conn.status();
      auto resolved = conn.value()->connection().ResolvePath(name.value());
      if (!resolved.ok()) return resolved.status();
      path = resolved.value();
    }
    *pusOnDisk = FileExists(path) || DirectoryExists(path) ? 1 : 0;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsCloseCachedTables(ADSHANDLE hConnect) {
  return Guard([&]() -> Status {
    auto conn = GetConnection(hConnect);
    return conn.ok() ? Status::Ok() : conn.status();
  });
}

}  // extern "C"
