// C API of restructuring a closed table from field texts (AdsRestructureTable90): the texts
// are read here, the rewrite itself is the one of ALTER TABLE (engine/sql/restructure.h), so
// both keep the same guarantees: nothing is written before every change was checked, the new
// table is complete on disk before it replaces the old one, and the index files beside the
// table are rebuilt for the new columns.
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "engine/api/api_guard.h"
#include "engine/api/api_objects.h"
#include "engine/api/dictionary_api.h"
#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/cursor/field_spec.h"
#include "engine/cursor/table_locks.h"
#include "engine/include/ace.h"
#include "engine/sql/ddl.h"
#include "engine/sql/restructure.h"
#include "engine/sql/restructure_indexes.h"
#include "engine/sql/sql_error.h"

using namespace ace;
using namespace ace::api;
using ace::storage::TableType;

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool Blank(std::string_view s) {
  return Trim(s).empty();
}

std::vector<std::string_view> Entries(std::string_view text) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t semi = text.find(';', start);
    if (semi == std::string_view::npos) semi = text.size();
    std::string_view entry = Trim(text.substr(start, semi - start));
    if (!entry.empty()) out.push_back(entry);
    start = semi + 1;
  }
  return out;
}

// The changes the three texts ask for, in the order they are applied: deletions, changes,
// additions (so a field may be dropped and added anew under its name).
Result<std::vector<sql::ColumnChange>> ReadChanges(std::string_view add, std::string_view del,
                                                   std::string_view change, TableType type) {
  std::vector<sql::ColumnChange> changes;
  for (std::string_view name : Entries(del)) {
    if (name.find(',') != std::string_view::npos) {
      return Status(kErrInvalidArgument, "delete fields: \"" + std::string(name) +
                                             "\" is not a field name (names are separated by ';')");
    }
    sql::ColumnChange c;
    c.kind = sql::ChangeKind::kDrop;
    c.column = std::string(name);
    changes.push_back(std::move(c));
  }
  for (std::string_view entry : Entries(change)) {
    // "old name, new name, type[, length[, decimals]]"; an empty new name keeps the name.
    const size_t first = entry.find(',');
    const size_t second = first == std::string_view::npos ? first : entry.find(',', first + 1);
    if (second == std::string_view::npos) {
      return Status(kErrInvalidArgument,
                    "change fields: \"" + std::string(entry) +
                        "\" needs the field's name, its new name (may be empty) and its type");
    }
    const std::string old_name(Trim(entry.substr(0, first)));
    const std::string new_name(Trim(entry.substr(first + 1, second - first - 1)));
    if (old_name.empty())
      return Status(kErrInvalidFieldName,
                    "change fields: \"" + std::string(entry) + "\" names no field to change");
    const std::string spec_text =
        (new_name.empty() ? old_name : new_name) + std::string(entry.substr(second));
    auto spec = cursor::ParseFieldSpec(spec_text, type);
    if (!spec.ok()) return spec.status().WithContext("change fields");
    sql::ColumnChange c;
    c.kind = sql::ChangeKind::kAlter;
    c.column = old_name;
    c.new_name = new_name == old_name ? std::string() : new_name;
    c.resolved = spec.value().front();
    changes.push_back(std::move(c));
  }
  if (!Blank(add)) {
    auto specs = cursor::ParseFieldSpec(add, type);
    if (!specs.ok()) return specs.status().WithContext("add fields");
    for (storage::FieldSpec& s : specs.value()) {
      sql::ColumnChange c;
      c.kind = sql::ChangeKind::kAdd;
      c.column = s.name;
      c.resolved = std::move(s);
      changes.push_back(std::move(c));
    }
  }
  if (changes.empty())
    return Status(kErrInvalidArgument, "none of the add, delete and change texts names a field");
  return changes;
}

// The rewrite speaks in SQL errors; this entry point answers with the engine's own codes and
// the cause alone.
Status AsEngineError(const Status& s) {
  if (s.ok() || !sql::IsSqlError(s)) return s;
  uint32_t code = kErrGeneral;
  switch (static_cast<sql::NativeError>(sql::NativeOf(s))) {
    case sql::NativeError::kTableNotFound:
      code = kErrFileNotFound;
      break;
    case sql::NativeError::kTableInUse:
    case sql::NativeError::kLockConflict:
      code = kErrTableInUse;
      break;
    case sql::NativeError::kColumnNotFound:
    case sql::NativeError::kColumnExists:
    case sql::NativeError::kBadColumnName:
    case sql::NativeError::kDuplicateColumn:
    case sql::NativeError::kNoColumnsLeft:
      code = kErrInvalidFieldName;
      break;
    case sql::NativeError::kBadType:
    case sql::NativeError::kTypeNotHeld:
      code = kErrInvalidFieldType;
      break;
    case sql::NativeError::kConversion:
      code = kErrConversion;
      break;
    case sql::NativeError::kValueNotHeld:
      code = kErrValueOutOfRange;
      break;
    case sql::NativeError::kIndexNotRebuilt:
      code = kErrStaleIndex;
      break;
    case sql::NativeError::kIo:
      code = kErrIo;
      break;
    default:
      break;
  }
  return Status(code, sql::CauseOf(s));
}

// The exclusive open lock of the table for the length of the run: nobody else may have the
// table open while it is rewritten, and nobody can open it meanwhile.
class ExclusiveUse {
 public:
  Status Acquire(ConnectionObject& conn, const std::string& path, cursor::LockScheme scheme) {
    if (conn.connection().IsOpen(path))
      return Status(kErrTableInUse, path + ": a cursor of this connection has the table open");
    auto file = File::Open(path, OpenMode::kReadWrite);
    if (!file.ok()) {
      if (!FileExists(path)) return Status(kErrFileNotFound, path + ": the table does not exist");
      return file.status();
    }
    file_ = std::move(file.value());
    locks_ = std::make_unique<cursor::TableLocks>(file_.fd(), scheme, path);
    Status held = locks_->AcquireOpen(true);
    if (!held.ok()) {
      locks_.reset();
      return Status(kErrTableInUse,
                    path + ": another user has the table open; it cannot be restructured now");
    }
    return Status::Ok();
  }
  ~ExclusiveUse() { locks_.reset(); }  // before the file closes

 private:
  File file_;
  std::unique_ptr<cursor::TableLocks> locks_;
};

Status Restructure(const std::string& path, TableType type, const std::string& table_name,
                   std::vector<sql::ColumnChange> changes) {
  std::vector<sql::AlterStep> steps(1);
  steps[0].changes = std::move(changes);
  auto plan = sql::PlanIndexRebuild(path, type, steps);
  if (!plan.ok()) return AsEngineError(plan.status());
  if (plan->breaking_step) return AsEngineError(plan->breaking_error);
  sql::RestructureRequest request;
  request.path = path;
  request.type = type;
  request.table_name = table_name;
  request.steps = std::move(steps);
  sql::RestructureOutcome done = sql::RestructureTable(request);
  if (!done.error.ok()) return AsEngineError(done.error);
  if (done.rewritten) return AsEngineError(sql::RebuildIndexes(path, type, plan.value()));
  return Status::Ok();
}

}  // namespace

extern "C" {

ACE_API UNSIGNED32 AdsRestructureTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                         const UNSIGNED8* /*pucDBObjName*/, UNSIGNED16 usTableType,
                                         UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                         UNSIGNED16 usCheckRights, const UNSIGNED8* pucAddFields,
                                         const UNSIGNED8* pucDeleteFields,
                                         const UNSIGNED8* pucChangeFields,
                                         const UNSIGNED8* pucCollation) {
  return Guard([&]() -> Status {
    auto conn = GetConnection(hConnect);
    if (!conn.ok()) return conn.status();
    auto name = InText(pucName, "pucName");
    if (!name.ok()) return name.status();
    if (name.value().empty()) return Status(kErrInvalidArgument, "the table name is empty");
    if (name.value().size() > cursor::kMaxPathLength) {
      return Status(kErrNameTooLong, "the table name is longer than " +
                                         std::to_string(cursor::kMaxPathLength) + " bytes");
    }
    const std::string add = pucAddFields ? reinterpret_cast<const char*>(pucAddFields) : "";
    const std::string del = pucDeleteFields ? reinterpret_cast<const char*>(pucDeleteFields) : "";
    const std::string change =
        pucChangeFields ? reinterpret_cast<const char*>(pucChangeFields) : "";
    // A dictionary knows its tables' files and types.
    auto known = FindDictionaryTable(*conn.value(), name.value(), usTableType);
    if (!known.ok()) return known.status();
    if (known->has_value()) {
      if ((known->value().rights & kDictionaryWriteRights) == 0) {
        return Status(kErrPermissionDenied,
                      known->value().name + ": the user may not change the table");
      }
      usTableType = known->value().type;
    }
    auto options = MakeTableOptions(name.value(), usTableType, usCharType, usLockType,
                                    usCheckRights, 0, pucCollation);
    if (!options.ok()) return options.status();
    auto path = known->has_value()
                    ? Result<std::string>(known->value().path)
                    : conn.value()->connection().ResolveTablePath(name.value(), options->type);
    if (!path.ok()) return path.status();
    auto changes = ReadChanges(add, del, change, options->type);
    if (!changes.ok()) return changes.status();
    ExclusiveUse use;
    ACE_RETURN_IF_ERROR(use.Acquire(*conn.value(), path.value(), options->lock));
    const std::string table_name = known->has_value() ? known->value().name : std::string();
    return Restructure(path.value(), options->type, table_name, std::move(changes.value()));
  });
}

}  // extern "C"
