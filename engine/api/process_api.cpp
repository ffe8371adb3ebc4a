// C API of process services: the caller's value kept with a handle, whether a "server" is
// reachable, the end of a thread's engine state, flushing a table's files and putting a field
// value on the clipboard through the writer the host registered (engine/include/ace_hooks.h).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "engine/api/api_guard.h"
#include "engine/api/api_objects.h"
#include "engine/api/index_api.h"
#include "engine/base/callbacks.h"
#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/base/handle_table.h"
#include "engine/base/last_error.h"
#include "engine/fields/code_page.h"
#include "engine/include/ace.h"
#include "engine/include/ace_hooks.h"

using namespace ace;
using namespace ace::api;

namespace {

std::mutex g_clipboard_mutex;
ADS_CLIPBOARD_WRITER g_clipboard_writer = nullptr;

bool IsDriveLetter(std::string_view s) {
  return s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':' &&
         (s.size() == 2 || s[2] == '\\' || s[2] == '/');
}

// A local path of this machine, or a drive letter (which stands for a local disk): the engine
// serves these itself. Network names ("\\server\share", "//server/share") and anything that is
// not an existing file or directory are not served here.
bool ServedLocally(std::string_view server) {
  if (server.empty()) return false;
  if (server.size() >= 2 && (server[0] == '\\' || server[0] == '/') &&
      (server[1] == '\\' || server[1] == '/'))
    return false;
  if (IsDriveLetter(server)) return true;
  std::string path(server);
  std::replace(path.begin(), path.end(), '\\', '/');
  return DirectoryExists(path) || FileExists(path);
}

// Flushes a file that another object writes: fsync applies to the file, whichever descriptor
// names it.
Status SyncPath(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return Status::Ok();
    return Status(kErrIo, path + ": cannot be opened to flush it: " + std::strerror(errno));
  }
  int rc = ::fsync(fd);
  int err = errno;
  ::close(fd);
  if (rc != 0) return Status(kErrIo, path + ": flushing failed: " + std::strerror(err));
  return Status::Ok();
}

// The MIME type of an image value by its first bytes.
const char* ImageMimeType(const std::vector<uint8_t>& data) {
  auto starts = [&](std::initializer_list<uint8_t> magic) {
    return data.size() >= magic.size() && std::equal(magic.begin(), magic.end(), data.begin());
  };
  if (starts({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return "image/png";
  if (starts({0xFF, 0xD8, 0xFF})) return "image/jpeg";
  if (starts({'G', 'I', 'F', '8'})) return "image/gif";
  if (starts({'B', 'M'})) return "image/bmp";
  return nullptr;
}

// The clipboard form of a memo, binary or image field of the current record.
Status ClipboardData(TableObject& table, size_t index, std::string* mime, std::string* bytes) {
  const storage::FieldDesc& desc = table.field(index);
  cursor::Cursor& cursor = table.cursor();
  if (!storage::IsMemoType(desc.type, cursor.file().type()))
    return Status(kErrInvalidFieldType, "field " + desc.name +
                                            " is not a memo, binary or image field; only those "
                                            "go to the clipboard");
  if (!cursor.has_record()) return Status(kErrNoCurrentRecord, "there is no current record");
  auto content = cursor.file().ReadMemo(cursor.record().data(), desc);
  if (!content.ok()) return content.status();
  auto kind = cursor.file().MemoType(cursor.record().data(), desc);
  if (!kind.ok()) return kind.status();
  const std::vector<uint8_t>& data = content.value();
  bool text = kind.value() == storage::MemoKind::kText && desc.type != storage::kFtBinary &&
              desc.type != storage::kFtImage;
  if (text) {
    fields::FieldContext ctx = table.Context(index);
    std::u16string utf16 = fields::MemoToUtf16(ctx, data, ADS_NONE);
    // UTF-8 through the 1252 path would lose characters the code page lacks: encode directly.
    std::string utf8;
    for (size_t i = 0; i < utf16.size(); ++i) {
      uint32_t c = utf16[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
          utf16[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        c = '?';
      }
      if (c < 0x80) {
        utf8 += static_cast<char>(c);
      } else if (c < 0x800) {
        utf8 += static_cast<char>(0xC0 | (c >> 6));
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
      } else if (c < 0x10000) {
        utf8 += static_cast<char>(0xE0 | (c >> 12));
        utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
      } else {
        utf8 += static_cast<char>(0xF0 | (c >> 18));
        utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    *mime = "text/plain;charset=utf-8";
    *bytes = std::move(utf8);
    return Status::Ok();
  }
  const char* image = ImageMimeType(data);
  *mime = image != nullptr ? image : "application/octet-stream";
  bytes->assign(data.begin(), data.end());
  return Status::Ok();
}

// The object of a handle that is still usable: a table or cursor handle whose table is open, an
// index handle whose table and tag are (GetIndex), any other registered handle.
Result<std::shared_ptr<HandleObject>> LiveHandle(uint32_t handle) {
  auto found = HandleTable::Instance().Find(handle);
  if (!found.ok()) return found.status();
  switch (found.value()->kind()) {
    case HandleKind::kTable:
    case HandleKind::kCursor:
      if (auto table = GetTable(handle); !table.ok()) return table.status();
      break;
    case HandleKind::kIndexOrder:
      if (auto index = GetIndex(handle); !index.ok()) return index.status();
      break;
    default:
      break;
  }
  return found;
}

}  // namespace

extern "C" {

ACE_API UNSIGNED32 AdsGetHandleLong(ADSHANDLE hObj, UNSIGNED32* pulVal) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pulVal, "pulVal"));
    auto object = LiveHandle(hObj);
    if (!object.ok()) return object.status();
    *pulVal = object.value()->user_long();
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsSetHandleLong(ADSHANDLE hObj, UNSIGNED32 ulVal) {
  return Guard([&]() -> Status {
    auto object = LiveHandle(hObj);
    if (!object.ok()) return object.status();
    object.value()->set_user_long(ulVal);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsIsServerLoaded(const UNSIGNED8* pucServer, UNSIGNED16* pbLoaded) {
  return Guard([&]() -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pbLoaded, "pbLoaded"));
    auto server = InText(pucServer, "pucServer");
    if (!server.ok()) return server.status();
    if (server.value().size() > cursor::kMaxPathLength)
      return Status(kErrNameTooLong, "the server name is longer than " +
                                         std::to_string(cursor::kMaxPathLength) + " bytes");
    *pbLoaded = ServedLocally(server.value()) ? 1 : 0;
    return Status::Ok();
  });
}

// Not through Guard: it would record into the state being freed.
ACE_API UNSIGNED32 AdsThreadExit(void) {
  ClearThreadCallbacks();
  ReleaseThreadLastError();
  HandleTable::ForgetThread();
  return AE_SUCCESS;
}

ACE_API UNSIGNED32 AdsFlushFileBuffers(ADSHANDLE hTable) {
  return Guard([&]() -> Status {
    auto table = GetTable(hTable);
    if (!table.ok()) return table.status();
    cursor::Cursor& cursor = table.value()->cursor();
    if (cursor.dirty() && !cursor.read_only()) ACE_RETURN_IF_ERROR(cursor.WriteRecord());
    if (!cursor.read_only()) ACE_RETURN_IF_ERROR(cursor.file().Flush());
    std::set<std::string> index_paths;
    for (index::Tag* tag : cursor.Tags()) {
      if (index::IndexFile* file = cursor.FileOf(tag)) index_paths.insert(file->path());
    }
    for (const std::string& path : index_paths) ACE_RETURN_IF_ERROR(SyncPath(path));
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsRegisterClipboardWriter(ADS_CLIPBOARD_WRITER pfnWriter) {
  return Guard([&] {
    std::lock_guard<std::mutex> lock(g_clipboard_mutex);
    g_clipboard_writer = pfnWriter;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsImageToClipboard(ADSHANDLE hTable, const UNSIGNED8* pucFldName) {
  return Guard([&]() -> Status {
    auto table = GetTable(hTable);
    if (!table.ok()) return table.status();
    auto index = table.value()->FieldIndex(pucFldName);
    if (!index.ok()) return index.status();
    ADS_CLIPBOARD_WRITER writer;
    {
      std::lock_guard<std::mutex> lock(g_clipboard_mutex);
      writer = g_clipboard_writer;
    }
    if (writer == nullptr)
      return Status(kErrNotSupported,
                    "there is no clipboard: the program has not registered a clipboard writer");
    std::string mime, bytes;
    ACE_RETURN_IF_ERROR(ClipboardData(*table.value(), index.value(), &mime, &bytes));
    UNSIGNED32 rc = writer(mime.c_str(), reinterpret_cast<const UNSIGNED8*>(bytes.data()),
                           static_cast<UNSIGNED32>(bytes.size()));
    if (rc != 0)
      return Status(kErrGeneral, "the clipboard did not take the value (writer answered " +
                                     std::to_string(rc) + ")");
    return Status::Ok();
  });
}

}  // extern "C"
