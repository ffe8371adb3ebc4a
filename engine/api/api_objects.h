// The objects behind the handles of connections, tables, index orders and table searches, and
// the helpers every *_api.cpp uses to turn a handle or a field argument into them (GetTable,
// GetIndex, ResolveOrder and the OnTableOf / OnOrderOf entry-point wrappers). The C++ core they
// wrap is engine/cursor (Connection, Cursor); the handle table is engine/base/handle_table.h.
// The registry that gives out index handles is index_api.h's.
//
// Other modules that open objects on a connection (SQL statements, dictionary searches)
// register their handles with AttachToConnection so that AdsDisconnect releases them too.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/api/api_guard.h"
#include "engine/base/handle_table.h"
#include "engine/base/status.h"
#include "engine/cursor/connection.h"
#include "engine/cursor/cursor.h"
#include "engine/fields/field_codec.h"
#include "engine/index/index_file.h"
#include "engine/txn/transaction.h"

namespace ace::api {

class ConnectionObject : public HandleObject {
 public:
  explicit ConnectionObject(std::unique_ptr<cursor::Connection> connection)
      : HandleObject(HandleKind::kConnection),
        connection_(std::move(connection)),
        transactions_(std::make_unique<txn::TransactionManager>(*connection_)) {}
  cursor::Connection& connection() { return *connection_; }
  // The connection's transactions; an active one is rolled back when the connection goes.
  txn::TransactionManager& transactions() { return *transactions_; }
  // Handles opened on this connection, released by AdsDisconnect.
  std::vector<uint32_t>& children() { return children_; }

 private:
  std::unique_ptr<cursor::Connection> connection_;
  std::vector<uint32_t> children_;
  std::unique_ptr<txn::TransactionManager> transactions_;  // destroyed before the connection
};

// A table handle: a cursor and what the C API keeps per handle.
class TableObject : public HandleObject {
 public:
  // kind is kTable for a table handle, kCursor for the result cursor of an SQL statement.
  TableObject(std::shared_ptr<ConnectionObject> owner, std::unique_ptr<cursor::Cursor> cursor,
              HandleKind kind = HandleKind::kTable);
  ~TableObject() override;
  cursor::Cursor& cursor() { return *cursor_; }
  ConnectionObject& owner() { return *owner_; }
  // True for a live SQL result (AdsSqlPeekStatement); see engine/api/sql_api.h.
  virtual bool live_sql_result() const { return false; }

  // The field of a field argument (a name, or ADSFIELD(n)), as an index into fields().
  Result<size_t> FieldIndex(const uint8_t* field_arg) const;
  const storage::FieldDesc& field(size_t index) const { return cursor_->file().fields()[index]; }
  // The conversion context of a field of this table.
  fields::FieldContext Context(size_t index) const;

  // A binary value being stored in chunks by AdsSetBinary.
  struct PendingBinary {
    size_t field = SIZE_MAX;
    uint16_t kind = 0;
    uint32_t total = 0;
    std::vector<uint8_t> data;
    std::vector<bool> filled;
    uint32_t filled_count = 0;
  };
  PendingBinary& pending_binary() { return pending_binary_; }
  // Open-option bits (ADS_UPDATE_ALLOWED, ADS_INSERT_ALLOWED) that the connection's dictionary
  // user has no right to; AdsGetTableOpenOptions leaves them out.
  uint32_t denied_open_options = 0;

 private:
  std::shared_ptr<ConnectionObject> owner_;
  std::unique_ptr<cursor::Cursor> cursor_;
  storage::FieldDesc null_flags_;
  bool has_null_flags_ = false;
  PendingBinary pending_binary_;
};

class TableSearchObject : public HandleObject {
 public:
  TableSearchObject(uint32_t connection, std::vector<std::string> names)
      : HandleObject(HandleKind::kTableSearch), connection_(connection), names_(std::move(names)) {}
  uint32_t connection() const { return connection_; }
  // The next name, or nullptr at the end.
  const std::string* Next() { return next_ < names_.size() ? &names_[next_++] : nullptr; }

 private:
  uint32_t connection_;
  std::vector<std::string> names_;
  size_t next_ = 0;
};

// An index order handle (ADS_INDEX_ORDER): a tag of an index file open on a table handle.
// Each has a key record: a blank record image in which the field setters called with the
// index handle put key values, for AdsBuildRawKey.
class IndexObject : public HandleObject {
 public:
  IndexObject(std::shared_ptr<TableObject> table, index::Tag* tag)
      : HandleObject(HandleKind::kIndexOrder), table_(std::move(table)), tag_(tag) {}
  TableObject& table() { return *table_; }
  std::shared_ptr<TableObject> table_ptr() { return table_; }
  index::Tag* tag() { return tag_; }
  std::vector<std::byte>& key_record() { return key_record_; }

 private:
  std::shared_ptr<TableObject> table_;
  index::Tag* tag_;
  std::vector<std::byte> key_record_;  // empty until AdsInitRawKey or the first key setter
};

Result<std::shared_ptr<ConnectionObject>> GetConnection(uint32_t handle);
// A table handle or an SQL result cursor (both are cursors over a table file).
Result<std::shared_ptr<TableObject>> GetTable(uint32_t handle);
// An index handle that is still valid (its table open, its tag open on the table).
Result<std::shared_ptr<IndexObject>> GetIndex(uint32_t handle);
bool IsIndexHandle(uint32_t handle);

// A table or index handle as an order: the table, and the tag for an index handle (nullptr
// for a table handle: natural order).
struct OrderTarget {
  std::shared_ptr<TableObject> table;
  index::Tag* tag = nullptr;
};
Result<OrderTarget> ResolveOrder(uint32_t handle);

// The same two for the body of an entry point (inside its Guard), without reference counts:
// the objects stay whole until the entry point returns (HandleTable::Peek).
Result<TableObject*> PeekTable(uint32_t handle);
struct OrderRef {
  TableObject* table = nullptr;
  index::Tag* tag = nullptr;
};
Result<OrderRef> PeekOrder(uint32_t handle);

// The body of an entry point that takes a table or an index handle: fn(cursor::Cursor&) runs on
// the cursor of the table, under the boundary rule of api_guard.h. OnTableOf leaves the cursor's
// order as it is; OnOrderOf first sets the handle's order (natural for a table handle).
template <typename Fn>
uint32_t OnTableOf(uint32_t handle, Fn&& fn) {
  return Guard([&]() -> Status {
    auto target = PeekOrder(handle);
    if (!target.ok()) return target.status();
    return fn(target.value().table->cursor());
  });
}

template <typename Fn>
uint32_t OnOrderOf(uint32_t handle, Fn&& fn) {
  return Guard([&]() -> Status {
    auto target = PeekOrder(handle);
    if (!target.ok()) return target.status();
    cursor::Cursor& c = target.value().table->cursor();
    c.SetOrder(target.value().tag);
    return fn(c);
  });
}

// Registers a handle opened on a connection; AdsDisconnect removes it from the handle table.
Status AttachToConnection(uint32_t connection, uint32_t child);
// Forgets a child handle that was closed on its own.
void DetachFromConnection(uint32_t connection, uint32_t child);

// The engine's text of a field argument for messages: the name, or "number N".
std::string FieldArgText(const uint8_t* field_arg);

// The options of an open, create or restructure call, checked: table type (0 lets the name's
// extension decide), character type, lock type, rights checking, ADS_EXCLUSIVE and ADS_READONLY
// of the option bits, and the collation (null: none) (table_api.cpp).
Result<cursor::OpenTableOptions> MakeTableOptions(std::string_view name, uint16_t table_type,
                                                  uint16_t char_type, uint16_t lock_type,
                                                  uint16_t rights, uint32_t options,
                                                  const uint8_t* collation);

}  // namespace ace::api
