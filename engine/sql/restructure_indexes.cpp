// Index files across ALTER TABLE (see restructure_indexes.h).
#include "engine/sql/restructure_indexes.h"

#include <cctype>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/expr/key_segments.h"
#include "engine/expr/name_rewrite.h"
#include "engine/sql/ddl_executor.h"
#include "engine/sql/ddl_types.h"
#include "engine/sql/sql_error.h"

namespace ace::sql {
namespace {

using storage::FieldSpec;
using storage::TableType;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && Lower(s.substr(s.size() - suffix.size())) == suffix;
}

// The column of a field as a new table would declare it (the inverse of the storage's field
// layout for the types that take a length).
FieldSpec SpecOf(const storage::FieldDesc& f) {
  FieldSpec spec;
  spec.name = f.name;
  spec.type = f.type;
  switch (f.type) {
    case storage::kFtNChar:
    case storage::kFtNVarchar:
      spec.length = f.length / 2;
      break;
    case storage::kFtNumeric:
    case storage::kFtString:
    case storage::kFtCiString:
    case storage::kFtRaw:
    case storage::kFtVarcharFox:
    case storage::kFtVarbinaryFox:
      spec.length = f.length;
      break;
    default:
      break;
  }
  spec.decimals = f.decimals;
  spec.nullable = f.nullable;
  return spec;
}

int FindColumn(const std::vector<FieldSpec>& cols, const std::string& name) {
  for (size_t i = 0; i < cols.size(); ++i)
    if (Lower(cols[i].name) == Lower(name)) return static_cast<int>(i);
  return -1;
}

// The text with a field renamed, segment by segment for a key of ';'-separated segments.
Result<std::string> RenameInKey(const std::string& text, const expr::FieldNameMap& rename) {
  std::vector<std::string> segments = expr::SplitKeySegments(text);
  if (segments.size() == 1) return expr::RewriteFieldNames(text, rename);
  std::string out;
  for (size_t i = 0; i < segments.size(); ++i) {
    Result<std::string> renamed = expr::RewriteFieldNames(segments[i], rename);
    if (!renamed.ok()) return renamed.status();
    out += (i == 0 ? "" : ";") + *renamed;
  }
  return out;
}

// Applies one statement's changes to the simulated columns, renaming fields in the index
// definitions along. False when the statement itself is refused (the restructure says why).
bool Simulate(const AlterStep& step, TableType type, std::vector<FieldSpec>* cols,
              std::vector<IndexFilePlan>* files) {
  for (const ColumnChange& ch : step.changes) {
    if (ch.kind == ChangeKind::kDrop) {
      int at = FindColumn(*cols, ch.column);
      if (at < 0) return false;
      cols->erase(cols->begin() + at);
      continue;
    }
    Result<FieldSpec> spec =
        ch.resolved ? Result<FieldSpec>(*ch.resolved) : ResolveType(ch.type, type);
    if (!spec.ok()) return false;
    if (ch.kind == ChangeKind::kAdd) {
      spec->name = ch.column;
      cols->push_back(*spec);
      continue;
    }
    int at = FindColumn(*cols, ch.column);
    if (at < 0) return false;
    const std::string old_name = (*cols)[static_cast<size_t>(at)].name;
    spec->name = ch.new_name.empty() ? old_name : ch.new_name;
    (*cols)[static_cast<size_t>(at)] = *spec;
    if (ch.new_name.empty() || Lower(ch.new_name) == Lower(old_name)) continue;
    const expr::FieldNameMap rename = [&](std::string_view name) -> std::optional<std::string> {
      if (Lower(std::string(name)) == Lower(old_name)) return ch.new_name;
      return std::nullopt;
    };
    for (IndexFilePlan& file : *files) {
      for (index::TagDefinition& def : file.tags) {
        for (std::string* text : {&def.key_expression, &def.for_condition}) {
          if (text->empty()) continue;
          Result<std::string> renamed = RenameInKey(*text, rename);
          if (renamed.ok()) *text = *renamed;
        }
      }
    }
  }
  return true;
}

// Builds every planned tag on an empty scratch table of the columns; the first failure names
// its index.
Status TryOnColumns(const std::string& path, TableType type, const std::vector<FieldSpec>& cols,
                    const std::vector<IndexFilePlan>& files) {
  const std::string scratch = RestructurePath(path) + "-ixcheck";
  const std::string scratch_table = scratch + storage::TableExtension(type);
  auto remove_scratch = [&] {
    RemoveFile(scratch_table).ok();
    RemoveFile(scratch + storage::MemoExtension(type)).ok();
  };
  remove_scratch();
  auto table = storage::CreateTableFile(scratch_table, type, cols, storage::CreateOptions{});
  if (!table.ok()) {
    remove_scratch();
    return table.status();
  }
  Status result;
  for (const IndexFilePlan& file : files) {
    const std::string ext = file.path.substr(file.path.rfind('.'));
    const std::string scratch_index = scratch + ext;
    for (const index::TagDefinition& def : file.tags) {
      index::CreateIndexOptions options;
      options.page_size = file.page_size;
      RemoveFile(scratch_index).ok();
      auto built = index::IndexFile::Create(scratch_index, table->get(), {def}, options);
      if (built.ok()) built->reset();
      RemoveFile(scratch_index).ok();
      if (!built.ok()) {
        const std::string name = def.name.empty() ? file.path : def.name;
        std::string why = built.status().message();
        for (size_t at = why.find(scratch_index); at != std::string::npos;
             at = why.find(scratch_index))
          why.replace(at, scratch_index.size(), file.path);
        result = SqlError(NativeError::kIndexNotRebuilt,
                          "The index " + name + " (" + def.key_expression +
                              ") could not be built on the changed columns, so the change is "
                              "refused: " +
                              why + ".");
        break;
      }
    }
    if (!result.ok()) break;
  }
  table->reset();
  remove_scratch();
  return result;
}

}  // namespace

Result<IndexRebuildPlan> PlanIndexRebuild(const std::string& path, TableType type,
                                          const std::vector<AlterStep>& steps) {
  IndexRebuildPlan plan;
  std::vector<std::string> found = IndexFilesOf(path);
  if (found.empty()) return plan;
  storage::OpenOptions read_only;
  read_only.read_only = true;
  auto table = storage::OpenTableFile(path, type, read_only);
  if (!table.ok()) return table.status();
  if (table.value()->encrypted())
    return Status(kErrEncryption, path +
                                      ": the table is encrypted; its structure cannot be "
                                      "changed until it is decrypted");
  for (const std::string& file : found) {
    if (EndsWithNoCase(file, ".idx")) {
      return SqlError(NativeError::kIndexNotRebuilt,
                      "The index file " + file +
                          " is of a kind this engine does not read, so it cannot be rebuilt "
                          "after the change; nothing was changed.");
    }
    auto ix = index::IndexFile::Open(file, table->get(), /*read_only=*/true,
                                     /*allow_stale=*/true);
    if (!ix.ok()) {
      return SqlError(NativeError::kIndexNotRebuilt,
                      "The index file " + file + " cannot be read (" + ix.status().message() +
                          "), so it cannot be rebuilt after the change; nothing was changed.");
    }
    IndexFilePlan p;
    p.path = file;
    p.page_size = (*ix)->page_size();
    p.tags = (*ix)->Definitions();
    for (const index::TagDefinition& def : p.tags) {
      if (def.options.custom) {
        return SqlError(NativeError::kIndexNotRebuilt,
                        "The index " + def.name + " of " + file +
                            " holds keys added by hand, which a rebuild cannot restore; "
                            "nothing was changed.");
      }
    }
    plan.files.push_back(std::move(p));
  }
  std::vector<FieldSpec> cols;
  for (const storage::FieldDesc& f : (*table)->fields()) cols.push_back(SpecOf(f));
  table->reset();
  for (size_t i = 0; i < steps.size(); ++i) {
    if (!Simulate(steps[i], type, &cols, &plan.files)) break;
    Status tried = TryOnColumns(path, type, cols, plan.files);
    if (!tried.ok()) {
      plan.breaking_step = i;
      plan.breaking_error = tried;
      break;
    }
  }
  return plan;
}

Status RebuildIndexes(const std::string& path, TableType type, const IndexRebuildPlan& plan) {
  if (plan.files.empty()) return Status::Ok();
  auto table = storage::OpenTableFile(path, type, storage::OpenOptions{});
  if (!table.ok()) return table.status();
  for (const IndexFilePlan& file : plan.files) {
    const std::string ext = file.path.substr(file.path.rfind('.'));
    const std::string fresh = RestructurePath(path) + "-index" + ext;
    RemoveFile(fresh).ok();
    index::CreateIndexOptions options;
    options.page_size = file.page_size;
    auto built = index::IndexFile::Create(fresh, table->get(), file.tags, options);
    Status s = built.status();
    if (built.ok()) built->reset();  // closes the new file before it is renamed
    if (s.ok()) s = RenameFile(fresh, file.path);
    if (!s.ok()) {
      RemoveFile(fresh).ok();
      return SqlError(NativeError::kIndexNotRebuilt,
                      "The table was changed, but its index file " + file.path +
                          " could not be rebuilt (" + s.message() +
                          "); the index is rebuilt or refused when the table is next opened.");
    }
  }
  return Status::Ok();
}

}  // namespace ace::sql
