// The statement handle of the C API and what the other entry points need of it: parameter
// setters (field_api.cpp), AdsGetRecordCount and AdsGetLastAutoinc on a statement. The entry
// points of statements themselves are sql_api.cpp; the statement's work is engine/sql.
//
// A statement belongs to its connection (AdsDisconnect releases it) and owns the static result
// cursors its executions returned: closing the statement closes them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/api/api_objects.h"
#include "engine/base/handle_table.h"
#include "engine/base/status.h"
#include "engine/sql/params.h"
#include "engine/sql/statement.h"

namespace ace::api {

// The result cursor of a query (handle kind ADS_CURSOR): live, over the records of the real
// table that the query selected, or static, over a temporary table of the statement that is
// removed when the cursor closes.
class ResultCursorObject : public TableObject {
 public:
  ResultCursorObject(std::shared_ptr<ConnectionObject> owner, std::unique_ptr<cursor::Cursor> c,
                     bool live, std::vector<std::string> files);
  ~ResultCursorObject() override;
  bool live_sql_result() const override { return live_; }

 private:
  bool live_;
  std::vector<std::string> files_;  // removed after the cursor is closed
};

class StatementObject : public HandleObject {
 public:
  explicit StatementObject(std::shared_ptr<ConnectionObject> owner);
  ~StatementObject() override;  // releases the result cursors it still owns

  sql::SqlStatement& statement() { return statement_; }
  ConnectionObject& owner() { return *owner_; }
  const std::shared_ptr<ConnectionObject>& owner_ptr() const { return owner_; }
  // Handles of result cursors that close with the statement.
  std::vector<uint32_t>& cursors() { return cursors_; }
  // Closes the owned result cursors; the first failure is answered after all are released.
  Status ReleaseCursors();

 private:
  std::shared_ptr<ConnectionObject> owner_;
  sql::SqlStatement statement_;
  std::vector<uint32_t> cursors_;
};

// True when handle names a statement (so a setter or a count goes to the statement).
bool IsStatementHandle(uint32_t handle);
// The statement of a handle; an unknown handle or one of another kind is 5106.
Result<std::shared_ptr<StatementObject>> GetStatement(uint32_t handle);

// Sets the parameter of a field argument (ADSFIELD(n) or a name, with or without ':').
Status SetStatementParam(uint32_t handle, const uint8_t* field_arg, sql::ParamValue value);
// One chunk of a binary parameter (AdsSetBinary): the value is set when all have arrived.
Status SetStatementBinaryChunk(uint32_t handle, const uint8_t* field_arg, uint32_t total,
                               uint32_t offset, const uint8_t* data, uint32_t length);
// Rows affected by the last execution, or 5117.
Result<uint32_t> StatementRowCount(uint32_t handle);
Result<uint32_t> StatementLastAutoinc(uint32_t handle);

}  // namespace ace::api
