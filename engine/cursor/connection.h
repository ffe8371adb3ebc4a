// A connection of the engine to a directory of free tables: its path, user, the table files
// its cursors have open (one TableFile per file and connection, shared by the cursors, so the
// locks of one connection never conflict with each other) and the table search of
// AdsFindFirstTable. Cursors, handles and the C API live elsewhere (cursor.h, engine/api).
//
// Not thread-safe: a connection and what is opened on it belong to one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"
#include "engine/cursor/table_indexes.h"
#include "engine/cursor/table_locks.h"
#include "engine/storage/table_file.h"

namespace ace::dict {
class Dictionary;
}

namespace ace::cursor {

// Server type bits of a connect call.
inline constexpr uint16_t kServerLocal = 1;
inline constexpr uint16_t kServerRemote = 2;
inline constexpr uint16_t kServerInternet = 4;

// The longest path or table name the engine takes (bytes, without the zero).
inline constexpr size_t kMaxPathLength = 260;

struct OpenTableOptions {
  storage::TableType type = storage::TableType::kAdt;
  uint16_t char_type = 1;  // 1 ANSI, 2 OEM
  LockScheme lock = LockScheme::kProprietary;
  bool check_rights = true;
  bool exclusive = false;
  bool read_only = false;
  // The cursor is the static result of a query (a copy of its rows): it cannot be changed or
  // locked, and says so with kErrStaticCursor.
  bool static_view = false;
  std::string collation;
};

// One table file open within a connection. The locks and the index files are destroyed
// before the file.
struct SharedTable {
  std::unique_ptr<storage::TableFile> file;
  std::unique_ptr<TableLocks> locks;
  std::string path;
  bool read_only = false;
  std::unique_ptr<TableIndexes> indexes;  // created by the first cursor that needs it
};

class Connection {
 public:
  // Opens a connection on a directory. server_types 0 lets the engine choose (local); a request
  // without the local bit is kErrServerTypeUnavailable; a data dictionary (.add) is refused
  // with kErrNotSupported; a directory that does not exist is kErrPathNotFound.
  static Result<std::unique_ptr<Connection>> Open(std::string_view path, uint16_t server_types,
                                                  std::string user, std::string password);

  const std::string& path() const {
    return path_;
  }  // as given, '\' turned into '/', no trailing '/'
  uint16_t server_type() const { return kServerLocal; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }

  // The file of a table name: relative names are taken from the connection's directory, a name
  // without extension gets the table type's extension. Names past kMaxPathLength are
  // kErrNameTooLong.
  Result<std::string> ResolveTablePath(std::string_view name, storage::TableType type) const;
  // Any file name, relative to the connection's directory.
  Result<std::string> ResolvePath(std::string_view name) const;

  // Opens (or shares) the table file for a new cursor and takes its open lock. Exclusive opens
  // that another user (another connection or process) prevents answer kErrTableInUse.
  Result<std::shared_ptr<SharedTable>> AcquireTable(const std::string& path,
                                                    const OpenTableOptions& options);
  // Creates a new table file and opens it as AcquireTable does.
  Result<std::shared_ptr<SharedTable>> CreateTable(const std::string& path,
                                                   const OpenTableOptions& options,
                                                   const std::vector<storage::FieldSpec>& fields,
                                                   uint16_t memo_block_size);
  // Called for every table file the connection opens or creates, once its open lock is taken;
  // a failure refuses the open. The connection's transactions (engine/txn) use it to journal
  // the writes to the file and to roll back what a crashed transaction left in it.
  using TableOpenHook = std::function<Status(const std::shared_ptr<SharedTable>& table)>;
  void set_table_open_hook(TableOpenHook hook) { open_hook_ = std::move(hook); }
  // Tells whether a transaction of this connection is active (installed by engine/txn).
  void set_transaction_probe(std::function<bool()> probe) { transaction_probe_ = std::move(probe); }
  bool in_transaction() const { return transaction_probe_ && transaction_probe_(); }
  // kErrTransaction naming the operation when a transaction is active: changes that the
  // journal cannot undo (ALTER TABLE, DROP TABLE, restructuring, pack, zap) are refused inside
  // one, before anything is changed.
  Status RefuseInTransaction(std::string_view operation) const;

  // The data dictionary of a dictionary connection (engine/dict), else nullptr. The path() of
  // such a connection is the dictionary's folder.
  void set_dictionary(std::shared_ptr<dict::Dictionary> dictionary) {
    dictionary_ = std::move(dictionary);
  }
  dict::Dictionary* dictionary() const { return dictionary_.get(); }
  // The application id set through sp_setapplicationid.
  std::string& application_id() { return application_id_; }
  // The SQL timeout (seconds) new statements of the connection start with.
  uint32_t sql_timeout() const { return sql_timeout_; }
  void set_sql_timeout(uint32_t seconds) { sql_timeout_ = seconds; }

  // True while a cursor of this connection has the file open.
  bool IsOpen(const std::string& path) const;

  // The file names (without directory) in the mask's directory that match its pattern ("*.adt",
  // "dir/K*.dbf"), sorted; letter case is ignored.
  Result<std::vector<std::string>> FindTables(std::string_view mask) const;

 private:
  Connection(std::string path, std::string user, std::string password)
      : path_(std::move(path)), user_(std::move(user)), password_(std::move(password)) {}
  Result<std::shared_ptr<SharedTable>> Share(std::unique_ptr<storage::TableFile> file,
                                             const std::string& key,
                                             const OpenTableOptions& options);

  std::string path_;
  std::string user_;
  std::string password_;
  std::map<std::string, std::weak_ptr<SharedTable>> tables_;
  TableOpenHook open_hook_;
  std::function<bool()> transaction_probe_;
  std::shared_ptr<dict::Dictionary> dictionary_;
  std::string application_id_;
  uint32_t sql_timeout_ = 0;
};

// Canonical form of a file path (absolute, symbolic links resolved when the file exists), the
// key under which connections share table files.
std::string CanonicalPath(const std::string& path);

}  // namespace ace::cursor
