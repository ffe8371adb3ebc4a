// SQL statements of data dictionaries and the system procedures, run by SqlStatement beside its
// DDL and its SQLite session:
//
//   CREATE DATABASE 'file.add' [PASSWORD 'administrator password']
//   CREATE USER name PASSWORD 'password' [IN GROUP group]
//   CREATE GROUP name            DROP USER name
//   GRANT rights ON table TO user_or_group      REVOKE rights ON table FROM user_or_group
//       rights: ALL, or a comma list of SELECT (READ), UPDATE, INSERT, DELETE
//   EXECUTE PROCEDURE name(arguments)  with the procedures
//       sp_AddTableToDatabase(name, path, type, char type, index files, comment)
//       sp_RemoveTableFromDatabase(name)
//       sp_CreateUser(user, password, description)    sp_AddUserToGroup(user, group)
//       sp_CreateGroup(group, description)
//       sp_ModifyTableProperty(table, 'TABLE_PRIMARY_KEY' | 'TABLE_DEFAULT_INDEX', value,
//                              validation, fail table)
//       sp_setapplicationid(id)      sp_getapplicationid()  (a result of one row, column
//                                                           ApplicationID)
// Arguments are literals ('text', numbers, NULL) or parameters. Except CREATE DATABASE (which
// makes a new file, relative names against the connection's folder) and the application id,
// they need a dictionary connection; the dictionary refuses what its user may not do.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/base/status.h"
#include "engine/cursor/connection.h"
#include "engine/sql/params.h"
#include "engine/sql/statement.h"

namespace ace::sql {

// True for a statement this module runs.
bool IsDictionaryStatement(std::string_view text);

// Runs one such statement; numbered is its text with parameters as "?N". A result (of
// sp_getapplicationid) is written as a static table at result_path.
Status RunDictionaryStatement(cursor::Connection& connection, std::string_view numbered,
                              const ParamSet& params, const std::string& result_path,
                              std::optional<QueryResult>* result);

}  // namespace ace::sql
