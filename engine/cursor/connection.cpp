// Connections on a directory of free tables (see connection.h).
#include "engine/cursor/connection.h"

#include <dirent.h>
#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"

namespace ace::cursor {
namespace {

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) !=
        std::tolower(static_cast<unsigned char>(suffix[i])))
      return false;
  }
  return true;
}

// Cursors of one connection share a table file when they open it the same way.
std::string TableKey(const std::string& path, const OpenTableOptions& options) {
  return CanonicalPath(path) + (options.read_only ? "#r" : "#w") +
         (options.lock == LockScheme::kProprietary ? "p" : "c");
}

std::string StripTrailingSlashes(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

}  // namespace

std::string CanonicalPath(const std::string& path) {
  char buf[PATH_MAX];
  if (realpath(path.c_str(), buf) != nullptr) return buf;
  if (!path.empty() && path[0] == '/') return path;
  if (getcwd(buf, sizeof buf) != nullptr) return std::string(buf) + "/" + path;
  return path;
}

Result<std::unique_ptr<Connection>> Connection::Open(std::string_view path, uint16_t server_types,
                                                     std::string user, std::string password) {
  if (server_types != 0 && (server_types & kServerLocal) == 0) {
    return Status(
        kErrServerTypeUnavailable,
        "only local connections are available: this engine has no remote or internet server "
        "(server types " +
            std::to_string(server_types) + ")");
  }
  if (path.empty()) return Status(kErrInvalidArgument, "the connection path is empty");
  if (path.size() > kMaxPathLength) {
    return Status(kErrNameTooLong, "the connection path is longer than " +
                                       std::to_string(kMaxPathLength) + " bytes");
  }
  std::string normalized = StripTrailingSlashes(NormalizePath(std::string(path)));
  if (EndsWithNoCase(normalized, ".add")) {
    return Status(kErrNotSupported, normalized +
                                        ": connections to a data dictionary are not available yet; "
                                        "connect to the directory of the tables instead");
  }
  if (!DirectoryExists(normalized)) {
    return Status(kErrPathNotFound, normalized + ": the directory does not exist");
  }
  return std::unique_ptr<Connection>(
      new Connection(normalized, std::move(user), std::move(password)));
}

Result<std::string> Connection::ResolvePath(std::string_view name) const {
  if (name.empty()) return Status(kErrInvalidArgument, "the file name is empty");
  if (name.size() > kMaxPathLength) {
    return Status(kErrNameTooLong, "the file name \"" + std::string(name.substr(0, 40)) +
                                       "...\" is longer than " + std::to_string(kMaxPathLength) +
                                       " bytes");
  }
  std::string n = NormalizePath(std::string(name));
  if (n[0] == '/') return n;
  // A connection on a relative path: callers build table names as that same path, a separator
  // and the name ("data\Kinder" on the connection "data"). Such a name already is relative to
  // the current directory, like the connection path itself; joining it again would double it.
  if (path_[0] != '/' && n.size() > path_.size() && n.compare(0, path_.size(), path_) == 0 &&
      n[path_.size()] == '/') {
    return n;
  }
  return JoinPath(path_, n);
}

Result<std::string> Connection::ResolveTablePath(std::string_view name,
                                                 storage::TableType type) const {
  Result<std::string> path = ResolvePath(name);
  if (!path.ok()) return path;
  std::string p = path.value();
  size_t slash = p.rfind('/');
  std::string base = slash == std::string::npos ? p : p.substr(slash + 1);
  if (base.find('.') == std::string::npos) p += storage::TableExtension(type);
  return p;
}

Result<std::shared_ptr<SharedTable>> Connection::Share(std::unique_ptr<storage::TableFile> file,
                                                       const std::string& key,
                                                       const OpenTableOptions& options) {
  auto table = std::make_shared<SharedTable>();
  table->path = file->path();
  table->read_only = options.read_only;
  size_t slash = table->path.rfind('/');
  std::string name = slash == std::string::npos ? table->path : table->path.substr(slash + 1);
  table->locks = std::make_unique<TableLocks>(file->data_file().fd(), options.lock, name);
  table->file = std::move(file);
  ACE_RETURN_IF_ERROR(table->locks->AcquireOpen(options.exclusive));
  if (open_hook_) ACE_RETURN_IF_ERROR(open_hook_(table));
  tables_[key] = table;
  return table;
}

Result<std::shared_ptr<SharedTable>> Connection::AcquireTable(const std::string& path,
                                                              const OpenTableOptions& options) {
  const std::string key = TableKey(path, options);
  auto it = tables_.find(key);
  if (it != tables_.end()) {
    if (std::shared_ptr<SharedTable> open = it->second.lock()) {
      // The same user may open a table again; an exclusive request makes the open lock
      // exclusive, which only succeeds when no other user has the table open.
      if (options.exclusive && !open->locks->exclusive())
        ACE_RETURN_IF_ERROR(open->locks->AcquireOpen(true));
      return open;
    }
    tables_.erase(it);
  }
  storage::OpenOptions open_options;
  open_options.read_only = options.read_only;
  auto file = storage::OpenTableFile(path, options.type, open_options);
  if (!file.ok()) return file.status();
  return Share(std::move(file.value()), key, options);
}

Result<std::shared_ptr<SharedTable>> Connection::CreateTable(
    const std::string& path, const OpenTableOptions& options,
    const std::vector<storage::FieldSpec>& fields, uint16_t memo_block_size) {
  storage::CreateOptions create;
  create.memo_block_size = memo_block_size;
  create.char_type = options.char_type;
  create.collation = options.collation;
  auto file = storage::CreateTableFile(path, options.type, fields, create);
  if (!file.ok()) return file.status();
  // The key an AcquireTable of the same file with the same options looks for, so that the new
  // table is shared with the cursors and statements that open it next.
  return Share(std::move(file.value()), TableKey(path, options), options);
}

Status Connection::RefuseInTransaction(std::string_view operation) const {
  if (!in_transaction()) return Status::Ok();
  return Status(kErrTransaction, std::string(operation) +
                                     " cannot run inside a transaction: the transaction could not "
                                     "undo it; commit or roll back the transaction first");
}

bool Connection::IsOpen(const std::string& path) const {
  const std::string canonical = CanonicalPath(path);
  for (const char* suffix : {"#rp", "#wp", "#rc", "#wc"}) {
    auto it = tables_.find(canonical + suffix);
    if (it != tables_.end() && !it->second.expired()) return true;
  }
  return false;
}

Result<std::vector<std::string>> Connection::FindTables(std::string_view mask) const {
  Result<std::string> full = ResolvePath(mask.empty() ? std::string_view("*") : mask);
  if (!full.ok()) return full.status();
  std::string dir = full.value();
  std::string pattern = "*";
  size_t slash = dir.rfind('/');
  if (slash != std::string::npos) {
    pattern = dir.substr(slash + 1);
    dir = slash == 0 ? "/" : dir.substr(0, slash);
  }
  if (DirectoryExists(full.value())) {
    dir = full.value();
    pattern = "*";
  }
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return Status(kErrPathNotFound, dir + ": the directory cannot be read");
  std::vector<std::string> names;
  while (dirent* entry = readdir(d)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) != 0) continue;
    if (DirectoryExists(JoinPath(dir, name))) continue;
    names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace ace::cursor
