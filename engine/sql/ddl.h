// The engine's DDL: a recursive-descent parser of one statement into a small syntax tree.
//
//   CREATE TABLE name ( column type [NULL | NOT NULL] [DEFAULT literal]
//                       [CONSTRAINT [cname] {NULL | NOT NULL | PRIMARY KEY | UNIQUE}] ..., ... )
//   ALTER TABLE name change [, change ...]
//     change:  ADD [COLUMN] column type [NULL | NOT NULL] [DEFAULT literal] [POSITION n]
//              DROP [COLUMN] column
//              ALTER [COLUMN] column [new_name] type [POSITION n]
//   DROP TABLE name
//   CREATE [UNIQUE] INDEX name ON table ( column [, column ...] )
//   DROP INDEX table.name
//
// Keywords match without regard to case. Identifiers are plain (letters, digits, "_", not
// starting with a digit), in double quotes ("" is a quote inside) or in brackets (]] is a
// bracket inside). Types are names with up to two numbers: char(5), numeric(10, 2).
//
// Parsing knows nothing of table types or files: ResolveType (ddl_types.h) judges the types,
// the executor and RestructureTable judge the names against the tables.
// Offsets in the tree are byte offsets inside the statement's text, for error positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/base/status.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/statement_split.h"
#include "engine/storage/table_file.h"

namespace ace::sql {

struct TypeName {
  std::string name;  // lower case
  std::optional<uint32_t> length;
  std::optional<uint32_t> scale;
  size_t offset = 0;
};

struct ColumnDef {
  std::string name;
  TypeName type;
  bool not_null = false;
  bool primary_key = false;
  bool unique = false;
  std::optional<std::string> default_value;  // the literal as written
  size_t offset = 0;
};

enum class ChangeKind { kAdd, kDrop, kAlter };

struct ColumnChange {
  ChangeKind kind = ChangeKind::kAdd;
  std::string column;    // the column added, dropped or altered
  std::string new_name;  // ALTER: the new name, empty when it keeps its name
  TypeName type;         // ADD, ALTER
  bool not_null = false;
  std::optional<std::string> default_value;
  uint32_t position = 0;  // POSITION n (1-based); 0 = at the end (ADD) or where it is (ALTER)
  size_t offset = 0;
  // ADD, ALTER: the field the column becomes, when the caller has resolved it already (the
  // field specification texts of AdsRestructureTable90); type is then not looked at.
  std::optional<storage::FieldSpec> resolved;
};

struct CreateTableStmt {
  std::string table;
  size_t table_offset = 0;
  std::vector<ColumnDef> columns;
};
struct AlterTableStmt {
  std::string table;
  size_t table_offset = 0;
  std::vector<ColumnChange> changes;
};
struct DropTableStmt {
  std::string table;
  size_t table_offset = 0;
};
struct CreateIndexStmt {
  bool unique = false;
  std::string name;
  std::string table;
  std::vector<std::string> columns;
};
struct DropIndexStmt {
  std::string table;
  std::string name;
};

using DdlStatement =
    std::variant<CreateTableStmt, AlterTableStmt, DropTableStmt, CreateIndexStmt, DropIndexStmt>;

// True when the statement starts with CREATE, ALTER or DROP (after blanks and comments).
bool IsDdl(std::string_view statement_text);

// Parses one statement. index and count place it in its text for messages (count 0 = unknown).
// Failures are 7200 errors: kSyntax naming what was expected and what was found, kUnexpectedEnd,
// kBadType for a type without its number or with too many, each with the line and column.
Result<DdlStatement> ParseDdl(const Statement& statement, size_t index = 1, size_t count = 1);

// The place of a byte offset in a statement, for messages (see sql_error.h).
StatementPlace PlaceOf(const Statement& statement, size_t index, size_t count,
                       std::optional<size_t> offset = std::nullopt);

}  // namespace ace::sql
