// A data dictionary: one *.add file, a SQLite database, that names the tables of a database
// (file, type, index files that open with the table, default index, primary key), its users
// with salted PBKDF2-SHA256 password hashes, groups and their members, the rights of users
// and groups on tables, links to other dictionaries, and properties of the database.
//
// Tables are opened by name through it (a name it lacks is kErrNotInDictionary, 5132). Paths
// of tables and index files are kept relative to the dictionary's folder when they lie in it.
// Names of tables, users, groups and links compare without regard to case.
//
// The administrator "Adssys" is created with the dictionary; it holds every right and alone may
// change users, groups, rights, tables and links.
//
// Not thread-safe: a Dictionary belongs to one connection. Several connections (and processes)
// may open the same file; SQLite serialises their changes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"

struct sqlite3;

namespace ace::dict {

inline constexpr const char* kAdministrator = "Adssys";
inline constexpr uint16_t kVersionMajor = 1;
inline constexpr uint16_t kVersionMinor = 0;

// Rights on a table (bits).
inline constexpr uint32_t kRightRead = 1;
inline constexpr uint32_t kRightUpdate = 2;
inline constexpr uint32_t kRightInsert = 4;
inline constexpr uint32_t kRightDelete = 8;
inline constexpr uint32_t kRightsAll = 15;

// Kinds of dictionary objects (AdsDDFindFirstObject).
enum class ObjectKind : uint16_t {
  kTable = 1,
  kIndexFile = 3,
  kUser = 7,
  kGroup = 8,
  kProcedure = 10,
  kLink = 12,
};

struct TableEntry {
  std::string name;
  std::string path;  // absolute
  uint16_t type = 3;
  std::vector<std::string> index_files;  // absolute
  std::string default_index;
  std::string primary_key;
};

struct LinkEntry {
  std::string name;
  std::string path;
  std::string user;
  std::string password;
  uint32_t options = 0;
};

class Dictionary {
 public:
  // Creates a new dictionary file (an existing file is kErrFileExists) with the administrator
  // and its password.
  static Result<std::unique_ptr<Dictionary>> Create(const std::string& path,
                                                    std::string_view admin_password);
  // Opens a dictionary; a file that is not one of ours is kErrCorruptFile, a missing one
  // kErrFileNotFound.
  static Result<std::unique_ptr<Dictionary>> Open(const std::string& path);
  ~Dictionary();
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;

  const std::string& path() const { return path_; }
  const std::string& directory() const { return directory_; }

  // Checks a user's password and makes the user the one this object acts for. A wrong user or
  // password is kErrInvalidPassword (the same answer for both, so names cannot be probed).
  Status Login(std::string_view user, std::string_view password);
  const std::string& user() const { return user_; }
  bool is_administrator() const;

  // ---- Tables
  Result<std::optional<TableEntry>> FindTable(std::string_view name) const;
  Status AddTable(const TableEntry& entry);
  Status RemoveTable(std::string_view name);
  Status SetTableDefaultIndex(std::string_view table, std::string_view index);
  Status SetTablePrimaryKey(std::string_view table, std::string_view index);
  // The rights the logged-in user has on a table (its own and its groups'; all for the
  // administrator).
  Result<uint32_t> RightsOn(std::string_view table) const;

  // ---- Users, groups, rights (administrator only)
  Status CreateUser(std::string_view name, std::string_view password);
  Status DropUser(std::string_view name);
  Status SetPassword(std::string_view name, std::string_view password);
  Status CreateGroup(std::string_view name);
  Status AddUserToGroup(std::string_view user, std::string_view group);
  // Grants (or revokes) rights on a table to a user or a group.
  Status Grant(uint32_t rights, std::string_view table, std::string_view grantee);
  Status Revoke(uint32_t rights, std::string_view table, std::string_view grantee);
  // The groups of a user, "a;b" (empty when it has none); kErrInvalidArgument for no such user.
  Result<std::string> GroupsOf(std::string_view user) const;

  // ---- Links
  Status CreateLink(const LinkEntry& link);
  Status DropLink(std::string_view name);
  Result<std::vector<LinkEntry>> Links() const;

  // ---- Objects
  Result<std::vector<std::string>> ObjectNames(ObjectKind kind, std::string_view parent) const;
  // Renames a table, user, group or link (kind as above).
  Status RenameObject(ObjectKind kind, std::string_view from, std::string_view to);

 private:
  Dictionary(sqlite3* db, std::string path);
  Status Exec(const std::string& sql) const;
  Status RequireAdministrator(const char* what) const;
  std::string Relative(const std::string& absolute) const;
  std::string Absolute(const std::string& stored) const;

  sqlite3* db_;
  std::string path_;
  std::string directory_;
  std::string user_;
};

// Password hashing: PBKDF2-HMAC-SHA256 with a random 16-byte salt.
struct PasswordHash {
  std::vector<uint8_t> salt;
  std::vector<uint8_t> hash;
  uint32_t iterations = 0;
};
Result<PasswordHash> HashPassword(std::string_view password);
bool CheckPassword(std::string_view password, const PasswordHash& stored);

}  // namespace ace::dict
