// The data dictionary file (see dictionary.h).
//
// Schema of the *.add file (SQLite; text compared with NOCASE where it names an object):
//   meta(key PRIMARY KEY, value)                 "format" = "vaskoli-dictionary", versions
//   tables(name PRIMARY KEY, path, type, index_files, default_index, primary_key)
//   users(name PRIMARY KEY, salt, hash, iterations)
//   groups(name PRIMARY KEY)
//   members(user, grp, PRIMARY KEY(user, grp))
//   rights(grantee, tbl, rights, PRIMARY KEY(grantee, tbl))
//   links(name PRIMARY KEY, path, user, password, options)
//   procedures(name PRIMARY KEY)
#include "engine/dict/dictionary.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sqlite3.h>

#include <strings.h>

#include <cstring>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"

namespace ace::dict {
namespace {

constexpr uint32_t kIterations = 20000;
constexpr const char* kFormat = "vaskoli-dictionary";

const char* const kSchema = R"(
CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT);
CREATE TABLE tables(name TEXT PRIMARY KEY COLLATE NOCASE, path TEXT NOT NULL,
                    type INTEGER NOT NULL, index_files TEXT NOT NULL DEFAULT '',
                    default_index TEXT NOT NULL DEFAULT '', primary_key TEXT NOT NULL DEFAULT '');
CREATE TABLE users(name TEXT PRIMARY KEY COLLATE NOCASE, salt BLOB, hash BLOB, iterations INTEGER);
CREATE TABLE groups(name TEXT PRIMARY KEY COLLATE NOCASE);
CREATE TABLE members(user TEXT COLLATE NOCASE, grp TEXT COLLATE NOCASE, PRIMARY KEY(user, grp));
CREATE TABLE rights(grantee TEXT COLLATE NOCASE, tbl TEXT COLLATE NOCASE, rights INTEGER,
                    PRIMARY KEY(grantee, tbl));
CREATE TABLE links(name TEXT PRIMARY KEY COLLATE NOCASE, path TEXT, user TEXT, password TEXT,
                   options INTEGER);
CREATE TABLE procedures(name TEXT PRIMARY KEY COLLATE NOCASE);
)";

// One prepared statement with positional text/integer/blob bindings.
class Query {
 public:
  Query(sqlite3* db, const char* sql) : db_(db) {
    rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
  }
  ~Query() { sqlite3_finalize(stmt_); }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;
  Query& Text(int i, std::string_view s) {
    if (rc_ == SQLITE_OK)
      rc_ = sqlite3_bind_text(stmt_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Query& Int(int i, int64_t v) {
    if (rc_ == SQLITE_OK) rc_ = sqlite3_bind_int64(stmt_, i, v);
    return *this;
  }
  Query& Blob(int i, const std::vector<uint8_t>& b) {
    if (rc_ == SQLITE_OK)
      rc_ = sqlite3_bind_blob(stmt_, i, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
    return *this;
  }
  // Steps once: true for a row, false at the end.
  Result<bool> Step() {
    if (rc_ != SQLITE_OK) return Failure();
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    rc_ = rc;
    return Failure();
  }
  Status Run() {
    auto r = Step();
    return r.ok() ? Status::Ok() : r.status();
  }
  std::string ColText(int i) const {
    const unsigned char* t = sqlite3_column_text(stmt_, i);
    return t == nullptr ? std::string()
                        : std::string(reinterpret_cast<const char*>(t),
                                      static_cast<size_t>(sqlite3_column_bytes(stmt_, i)));
  }
  int64_t ColInt(int i) const { return sqlite3_column_int64(stmt_, i); }
  std::vector<uint8_t> ColBlob(int i) const {
    const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, i));
    return p == nullptr ? std::vector<uint8_t>()
                        : std::vector<uint8_t>(p, p + sqlite3_column_bytes(stmt_, i));
  }
  int changes() const { return sqlite3_changes(db_); }

 private:
  Status Failure() const {
    const int code = sqlite3_extended_errcode(db_);
    if ((code & 0xFF) == SQLITE_CONSTRAINT)
      return Status(kErrInvalidArgument, std::string("the name is in use already"));
    return Status(kErrIo, std::string("data dictionary: ") + sqlite3_errmsg(db_));
  }
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_OK;
};

std::string Join(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& p : parts) {
    if (!out.empty()) out += ';';
    out += p;
  }
  return out;
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t semi = text.find(';', start);
    if (semi == std::string::npos) semi = text.size();
    if (semi > start) out.push_back(text.substr(start, semi - start));
    start = semi + 1;
  }
  return out;
}

Status CheckName(std::string_view name, const char* what) {
  if (name.empty())
    return Status(kErrInvalidArgument, std::string("the ") + what + " name is empty");
  if (name.size() > 200)
    return Status(kErrNameTooLong, std::string("the ") + what + " name is longer than 200 bytes");
  return Status::Ok();
}

Result<sqlite3*> OpenDb(const std::string& path, int flags) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string why = db != nullptr ? sqlite3_errmsg(db) : "cannot open";
    sqlite3_close(db);
    return Status(kErrIo, path + ": the data dictionary cannot be opened: " + why);
  }
  sqlite3_busy_timeout(db, 5000);
  return db;
}

}  // namespace

// ---- Passwords ----------------------------------------------------------------------------------

Result<PasswordHash> HashPassword(std::string_view password) {
  PasswordHash h;
  h.salt.resize(16);
  h.hash.resize(32);
  h.iterations = kIterations;
  if (RAND_bytes(h.salt.data(), static_cast<int>(h.salt.size())) != 1)
    return Status(kErrInternal, "no random bytes for a password salt");
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), h.salt.data(),
                        static_cast<int>(h.salt.size()), static_cast<int>(h.iterations),
                        EVP_sha256(), static_cast<int>(h.hash.size()), h.hash.data()) != 1)
    return Status(kErrInternal, "the password cannot be hashed");
  return h;
}

bool CheckPassword(std::string_view password, const PasswordHash& stored) {
  if (stored.hash.size() != 32 || stored.salt.empty() || stored.iterations == 0) return false;
  std::vector<uint8_t> got(32);
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), stored.salt.data(),
                        static_cast<int>(stored.salt.size()), static_cast<int>(stored.iterations),
                        EVP_sha256(), static_cast<int>(got.size()), got.data()) != 1)
    return false;
  uint8_t diff = 0;
  for (size_t i = 0; i < got.size(); ++i) diff |= static_cast<uint8_t>(got[i] ^ stored.hash[i]);
  return diff == 0;
}

// ---- Opening
// --------------------------------------------------------------------------------------

Dictionary::Dictionary(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {
  const size_t slash = path_.rfind('/');
  directory_ = slash == std::string::npos ? "." : (slash == 0 ? "/" : path_.substr(0, slash));
}

Dictionary::~Dictionary() {
  sqlite3_close(db_);
}

Result<std::unique_ptr<Dictionary>> Dictionary::Create(const std::string& path,
                                                       std::string_view admin_password) {
  if (FileExists(path)) return Status(kErrFileExists, path + ": the file exists already");
  auto db = OpenDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  if (!db.ok()) return db.status();
  std::unique_ptr<Dictionary> d(new Dictionary(db.value(), path));
  Status s = d->Exec(std::string("BEGIN;") + kSchema);
  auto hash = HashPassword(admin_password);
  if (s.ok() && !hash.ok()) s = hash.status();
  if (s.ok()) {
    s = Query(d->db_, "INSERT INTO meta VALUES('format', ?1), ('major', ?2), ('minor', ?3)")
            .Text(1, kFormat)
            .Int(2, kVersionMajor)
            .Int(3, kVersionMinor)
            .Run();
  }
  if (s.ok()) {
    s = Query(d->db_, "INSERT INTO users VALUES(?1, ?2, ?3, ?4)")
            .Text(1, kAdministrator)
            .Blob(2, hash->salt)
            .Blob(3, hash->hash)
            .Int(4, hash->iterations)
            .Run();
  }
  if (s.ok()) s = d->Exec("COMMIT;");
  if (!s.ok()) {
    d.reset();
    (void)RemoveFile(path);
    return s.WithContext(path);
  }
  d->user_ = kAdministrator;
  return d;
}

Result<std::unique_ptr<Dictionary>> Dictionary::Open(const std::string& path) {
  if (!FileExists(path))
    return Status(kErrFileNotFound, path + ": the data dictionary does not exist");
  auto db = OpenDb(path, SQLITE_OPEN_READWRITE);
  if (!db.ok()) return db.status();
  std::unique_ptr<Dictionary> d(new Dictionary(db.value(), path));
  Query q(d->db_, "SELECT value FROM meta WHERE key = 'format'");
  auto row = q.Step();
  if (!row.ok() || !row.value() || q.ColText(0) != kFormat)
    return Status(kErrCorruptFile, path + ": not a data dictionary of this engine");
  return d;
}

Status Dictionary::Exec(const std::string& sql) const {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return Status::Ok();
  std::string why = error != nullptr ? error : "failed";
  sqlite3_free(error);
  (void)sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
  return Status(kErrIo, "data dictionary: " + why);
}

Status Dictionary::Login(std::string_view user, std::string_view password) {
  Query q(db_, "SELECT name, salt, hash, iterations FROM users WHERE name = ?1");
  q.Text(1, user);
  auto row = q.Step();
  if (!row.ok()) return row.status();
  PasswordHash stored;
  std::string name;
  if (row.value()) {
    name = q.ColText(0);
    stored.salt = q.ColBlob(1);
    stored.hash = q.ColBlob(2);
    stored.iterations = static_cast<uint32_t>(q.ColInt(3));
  }
  if (!row.value() || !CheckPassword(password, stored)) {
    return Status(kErrInvalidPassword,
                  path_ + ": the user name or the password is not valid for this dictionary");
  }
  user_ = name;
  return Status::Ok();
}

bool Dictionary::is_administrator() const {
  return user_.size() == std::strlen(kAdministrator) &&
         strncasecmp(user_.c_str(), kAdministrator, user_.size()) == 0;
}

Status Dictionary::RequireAdministrator(const char* what) const {
  if (is_administrator()) return Status::Ok();
  return Status(kErrPermissionDenied,
                std::string("only the dictionary's administrator may ") + what);
}

std::string Dictionary::Relative(const std::string& absolute) const {
  const std::string prefix = directory_ + "/";
  if (absolute.compare(0, prefix.size(), prefix) == 0) return absolute.substr(prefix.size());
  return absolute;
}

std::string Dictionary::Absolute(const std::string& stored) const {
  if (!stored.empty() && stored[0] == '/') return stored;
  return JoinPath(directory_, stored);
}

// ---- Tables
// ---------------------------------------------------------------------------------------

Result<std::optional<TableEntry>> Dictionary::FindTable(std::string_view name) const {
  Query q(db_,
          "SELECT name, path, type, index_files, default_index, primary_key FROM tables "
          "WHERE name = ?1");
  q.Text(1, name);
  auto row = q.Step();
  if (!row.ok()) return row.status();
  if (!row.value()) return std::optional<TableEntry>();
  TableEntry e;
  e.name = q.ColText(0);
  e.path = Absolute(q.ColText(1));
  e.type = static_cast<uint16_t>(q.ColInt(2));
  for (const std::string& f : Split(q.ColText(3))) e.index_files.push_back(Absolute(f));
  e.default_index = q.ColText(4);
  e.primary_key = q.ColText(5);
  return std::optional<TableEntry>(std::move(e));
}

Status Dictionary::AddTable(const TableEntry& entry) {
  ACE_RETURN_IF_ERROR(RequireAdministrator("add tables"));
  ACE_RETURN_IF_ERROR(CheckName(entry.name, "table"));
  if (entry.type < 1 || entry.type > 4)
    return Status(kErrInvalidArgument, "unknown table type " + std::to_string(entry.type));
  std::vector<std::string> files;
  for (const std::string& f : entry.index_files) files.push_back(Relative(f));
  Status s = Query(db_,
                   "INSERT INTO tables(name, path, type, index_files, default_index, primary_key) "
                   "VALUES(?1, ?2, ?3, ?4, ?5, ?6)")
                 .Text(1, entry.name)
                 .Text(2, Relative(entry.path))
                 .Int(3, entry.type)
                 .Text(4, Join(files))
                 .Text(5, entry.default_index)
                 .Text(6, entry.primary_key)
                 .Run();
  if (s.code() == kErrInvalidArgument)
    return Status(kErrInvalidArgument, "the dictionary has a table " + entry.name + " already");
  return s;
}

Status Dictionary::RemoveTable(std::string_view name) {
  ACE_RETURN_IF_ERROR(RequireAdministrator("remove tables"));
  Query q(db_, "DELETE FROM tables WHERE name = ?1");
  ACE_RETURN_IF_ERROR(q.Text(1, name).Run());
  if (q.changes() == 0)
    return Status(kErrNotInDictionary, std::string(name) + ": the table is not in the dictionary");
  return Query(db_, "DELETE FROM rights WHERE tbl = ?1").Text(1, name).Run();
}

namespace {

Status SetTableColumn(sqlite3* db, const char* sql, std::string_view table,
                      std::string_view value) {
  Query q(db, sql);
  ACE_RETURN_IF_ERROR(q.Text(1, value).Text(2, table).Run());
  if (q.changes() == 0)
    return Status(kErrNotInDictionary, std::string(table) + ": the table is not in the dictionary");
  return Status::Ok();
}

}  // namespace

Status Dictionary::SetTableDefaultIndex(std::string_view table, std::string_view index) {
  ACE_RETURN_IF_ERROR(RequireAdministrator("change table properties"));
  return SetTableColumn(db_, "UPDATE tables SET default_index = ?1 WHERE name = ?2", table, index);
}

Status Dictionary::SetTablePrimaryKey(std::string_view table, std::string_view index) {
  ACE_RETURN_IF_ERROR(RequireAdministrator("change table properties"));
  return SetTableColumn(db_, "UPDATE tables SET primary_key = ?1 WHERE name = ?2", table, index);
}

Result<uint32_t> Dictionary::RightsOn(std::string_view table) const {
  if (is_administrator()) return kRightsAll;
  Query q(db_,
          "SELECT rights FROM rights WHERE tbl = ?1 AND (grantee = ?2 OR grantee IN "
          "(SELECT grp FROM members WHERE user = ?2))");
  q.Text(1, table).Text(2, user_);
  uint32_t rights = 0;
  for (;;) {
    auto row = q.Step();
    if (!row.ok()) return row.status();
    if (!row.value()) break;
    rights |= static_cast<uint32_t>(q.ColInt(0));
  }
  return rights;
}

// ---- Users, groups, rights
// --------------------------------------------------------------------------

Status Dictionary::CreateUser(std::string_view name, std::string_view password) {
  ACE_RETURN_IF_ERROR(RequireAdministrator("create users"));
  ACE_RETURN_IF_ERROR(CheckName(name, "user"));
  auto hash = HashPassword(password);
  if (!hash.ok()) return hash.status();
  Status s = Query(db_, "INSERT INTO users VALUES(?1, ?2, ?3, ?4)")
                 .Text(1, name)
                 .Blob(2, hash->salt)
                 .Blob(3, hash->hash)
                 .Int(4, hash->iterations)
                 .Run();
  if (s.code() == kErrInvalidArgument)
    return Status(kErrInvalidArgument,
                  "the dictionary has a user " + std::string(name) + " already");
  return s;
}

Status Dictionary::DropUser(std::string_view name) {
  ACE_RETURN_IF_ERROR(RequireAdministrator("drop users"));
  if (strncasecmp(std::string(name).c_str(), kAdministrator, std::strlen(kAdministrator) + 1) == 0)
    return Status(kErrPermissionDenied, "the administrator cannot be dropped");
  Query q(db_, "DELETE FROM users WHERE name = ?1");
  ACE_RETURN_IF_ERROR(q.Text(1, name).Run());
  if (q.changes() == 0)
    return Status(kErrInvalidArgument, "the dictionary has no user " + std::string(name));
  ACE_RETURN_IF_ERROR(Query(db_, "DELETE FROM members WHERE user = ?1").Text(1, name).Run());
  return Query(db_, "DELETE FROM rights WHERE grantee = ?1").Text(1, name).Run();
}

Status Dictionary::SetPassword(std::string_view name, std::string_view password) {
  const bool own = name.size() == user_.size() &&
                   strncasecmp(std::string(name).c_str(), user_.c_str(), user_.size()) == 0;
  if (!own) ACE_RETURN_IF_ERROR(RequireAdministrator("change other users' passwords"));
  auto hash = HashPassword(password);
  if (!hash.ok()) return hash.status();
  Query q(db_, "UPDATE users SET salt = ?1, hash = ?2, iterations = ?3 WHERE name = ?4");
  ACE_RETURN_IF_ERROR(
      q.Blob(1, hash->salt).Blob(2, hash->hash).Int(3, hash->iterations).Text(4, name).Run());
  if (q.changes() == 0)
    return Status(kErrInvalidArgument, "the dictionary has no user " + std::string(name));
  return Status::Ok();
}

Status Dictionary::CreateGroup(std::string_view name) {
  ACE_RETURN_IF_ERROR(RequireAdministrator("create groups"));
  ACE_RETURN_IF_ERROR(CheckName(name, "group"));
  Status s = Query(db_, "INSERT INTO groups VALUES(?1)").Text(1, name).Run();
  if (s.code() == kErrInvalidArgument)
    return Status(kErrInvalidArgument,
                  "the dictionary has a group " + std::string(name) + " already");
  return s;
}

namespace {

Result<bool> Exists(sqlite3* db, const char* sql, std::string_view name) {
  Query q(db, sql);
  q.Text(1, name);
  return q.Step();
}

}  // namespace

Status Dictionary::AddUserToGroup(std::string_view user, std::string_view group) {
  ACE_RETURN_IF_ERROR(RequireAdministrator("change group membership"));
  auto u = Exists(db_, "SELECT 1 FROM users WHERE name = ?1", user);
  if (!u.ok()) return u.status();
  if (!u.value())
    return Status(kErrInvalidArgument, "the dictionary has no user " + std::string(user));
  auto g = Exists(db_, "SELECT 1 FROM groups WHERE name = ?1", group);
  if (!g.ok()) return g.status();
  if (!g.value())
    return Status(kErrInvalidArgument, "the dictionary has no group " + std::string(group));
  return Query(db_, "INSERT OR IGNORE INTO members VALUES(?1, ?2)")
      .Text(1, user)
      .Text(2, group)
      .Run();
}

Status Dictionary::Grant(uint32_t rights, std::string_view table, std::string_view grantee) {
  ACE_RETURN_IF_ERROR(RequireAdministrator("grant rights"));
  auto t = FindTable(table);
  if (!t.ok()) return t.status();
  if (!t.value())
    return Status(kErrNotInDictionary, std::string(table) + ": the table is not in the dictionary");
  auto u =
      Exists(db_, "SELECT 1 FROM users WHERE name = ?1 UNION SELECT 1 FROM groups WHERE name = ?1",
             grantee);
  if (!u.ok()) return u.status();
  if (!u.value())
    return Status(kErrInvalidArgument,
                  "the dictionary has no user or group " + std::string(grantee));
  return Query(db_,
               "INSERT INTO rights VALUES(?1, ?2, ?3) ON CONFLICT(grantee, tbl) "
               "DO UPDATE SET rights = rights | ?3")
      .Text(1, grantee)
      .Text(2, t.value()->name)
      .Int(3, rights & kRightsAll)
      .Run();
}

Status Dictionary::Revoke(uint32_t rights, std::string_view table, std::string_view grantee) {
  ACE_RETURN_IF_ERROR(RequireAdministrator("revoke rights"));
  return Query(db_, "UPDATE rights SET rights = rights & ~?1 WHERE grantee = ?2 AND tbl = ?3")
      .Int(1, rights & kRightsAll)
      .Text(2, grantee)
      .Text(3, table)
      .Run();
}

Result<std::string> Dictionary::GroupsOf(std::string_view user) const {
  auto u = Exists(db_, "SELECT 1 FROM users WHERE name = ?1", user);
  if (!u.ok()) return u.status();
  if (!u.value())
    return Status(kErrInvalidArgument, "the dictionary has no user " + std::string(user));
  Query q(db_, "SELECT grp FROM members WHERE user = ?1 ORDER BY grp");
  q.Text(1, user);
  std::vector<std::string> groups;
  for (;;) {
    auto row = q.Step();
    if (!row.ok()) return row.status();
    if (!row.value()) break;
    groups.push_back(q.ColText(0));
  }
  return Join(groups);
}

// ---- Links
// ------------------------------------------------------------------------------------------

Status Dictionary::CreateLink(const LinkEntry& link) {
  ACE_RETURN_IF_ERROR(RequireAdministrator("create links"));
  ACE_RETURN_IF_ERROR(CheckName(link.name, "link"));
  if (link.path.empty())
    return Status(kErrInvalidArgument, "the linked dictionary's path is empty");
  Status s = Query(db_, "INSERT INTO links VALUES(?1, ?2, ?3, ?4, ?5)")
                 .Text(1, link.name)
                 .Text(2, link.path)
                 .Text(3, link.user)
                 .Text(4, link.password)
                 .Int(5, link.options)
                 .Run();
  if (s.code() == kErrInvalidArgument)
    return Status(kErrInvalidArgument, "the dictionary has a link " + link.name + " already");
  return s;
}

Status Dictionary::DropLink(std::string_view name) {
  ACE_RETURN_IF_ERROR(RequireAdministrator("drop links"));
  Query q(db_, "DELETE FROM links WHERE name = ?1");
  ACE_RETURN_IF_ERROR(q.Text(1, name).Run());
  if (q.changes() == 0)
    return Status(kErrInvalidArgument, "the dictionary has no link " + std::string(name));
  return Status::Ok();
}

Result<std::vector<LinkEntry>> Dictionary::Links() const {
  Query q(db_, "SELECT name, path, user, password, options FROM links ORDER BY name");
  std::vector<LinkEntry> out;
  for (;;) {
    auto row = q.Step();
    if (!row.ok()) return row.status();
    if (!row.value()) break;
    out.push_back({q.ColText(0), q.ColText(1), q.ColText(2), q.ColText(3),
                   static_cast<uint32_t>(q.ColInt(4))});
  }
  return out;
}

// ---- Objects
// ----------------------------------------------------------------------------------------

Result<std::vector<std::string>> Dictionary::ObjectNames(ObjectKind kind,
                                                         std::string_view parent) const {
  std::vector<std::string> out;
  if (kind == ObjectKind::kIndexFile) {
    auto t = FindTable(parent);
    if (!t.ok()) return t.status();
    if (!t.value())
      return Status(kErrNotInDictionary,
                    std::string(parent) + ": the table is not in the dictionary");
    for (const std::string& f : t.value()->index_files) {
      const size_t slash = f.rfind('/');
      out.push_back(slash == std::string::npos ? f : f.substr(slash + 1));
    }
    return out;
  }
  const char* sql = nullptr;
  switch (kind) {
    case ObjectKind::kTable:
      sql = "SELECT name FROM tables ORDER BY name";
      break;
    case ObjectKind::kUser:
      sql = "SELECT name FROM users ORDER BY name";
      break;
    case ObjectKind::kGroup:
      sql = "SELECT name FROM groups ORDER BY name";
      break;
    case ObjectKind::kProcedure:
      sql = "SELECT name FROM procedures ORDER BY name";
      break;
    case ObjectKind::kLink:
      sql = "SELECT name FROM links ORDER BY name";
      break;
    default:
      return Status(kErrInvalidArgument,
                    "unknown dictionary object type " + std::to_string(static_cast<int>(kind)));
  }
  Query q(db_, sql);
  for (;;) {
    auto row = q.Step();
    if (!row.ok()) return row.status();
    if (!row.value()) break;
    out.push_back(q.ColText(0));
  }
  return out;
}

Status Dictionary::RenameObject(ObjectKind kind, std::string_view from, std::string_view to) {
  ACE_RETURN_IF_ERROR(RequireAdministrator("rename objects"));
  ACE_RETURN_IF_ERROR(CheckName(to, "new"));
  const char* sql = nullptr;
  switch (kind) {
    case ObjectKind::kTable:
      sql = "UPDATE tables SET name = ?1 WHERE name = ?2";
      break;
    case ObjectKind::kGroup:
      sql = "UPDATE groups SET name = ?1 WHERE name = ?2";
      break;
    case ObjectKind::kLink:
      sql = "UPDATE links SET name = ?1 WHERE name = ?2";
      break;
    default:
      return Status(kErrNotSupported, "objects of type " + std::to_string(static_cast<int>(kind)) +
                                          " cannot be renamed");
  }
  ACE_RETURN_IF_ERROR(Exec("BEGIN;"));
  Query q(db_, sql);
  Status s = q.Text(1, to).Text(2, from).Run();
  if (s.ok() && q.changes() == 0)
    s = Status(kErrNotInDictionary, std::string(from) + ": the dictionary has no such object");
  if (s.ok() && kind == ObjectKind::kTable)
    s = Query(db_, "UPDATE rights SET tbl = ?1 WHERE tbl = ?2").Text(1, to).Text(2, from).Run();
  if (s.ok() && kind == ObjectKind::kGroup) {
    s = Query(db_, "UPDATE members SET grp = ?1 WHERE grp = ?2").Text(1, to).Text(2, from).Run();
    if (s.ok())
      s = Query(db_, "UPDATE rights SET grantee = ?1 WHERE grantee = ?2")
              .Text(1, to)
              .Text(2, from)
              .Run();
  }
  if (!s.ok()) {
    (void)Exec("ROLLBACK;");
    if (s.code() == kErrInvalidArgument)
      return Status(kErrInvalidArgument, std::string(to) + ": the name is in use already");
    return s;
  }
  return Exec("COMMIT;");
}

}  // namespace ace::dict
