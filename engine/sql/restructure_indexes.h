// The index files of a table that ALTER TABLE rewrites: read before the rewrite, checked
// against the columns each statement leaves, and built anew on the rewritten table.
//
// Before the rewrite, PlanIndexRebuild reads the definitions of every index file beside the
// table (the structural .cdx/.adi and the .ntx of the same name: tags with their key
// expressions, FOR conditions, options, collations and page sizes) and walks the statements in
// order, building the definitions on an empty scratch table of the columns each statement
// leaves: a renamed column is renamed in the expressions too; the first statement that leaves an
// index without its columns (a dropped column, a type the key cannot take) is where the run
// stops, with a 7200 error naming the index. After the rewrite, RebuildIndexes builds each file
// anew beside the table and puts it in place by a rename, so a failure leaves the previous file,
// which no longer matches the table and is rebuilt or refused at the next open, never used.
//
// Index files with custom tags (keys added by hand cannot be rebuilt from the records) and
// single-file .idx indexes are refused before anything is written. WHILE conditions are not kept
// by index files, so the rebuilt tags cover every record their FOR condition admits.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/status.h"
#include "engine/index/index_file.h"
#include "engine/sql/restructure.h"
#include "engine/storage/table_file.h"

namespace ace::sql {

struct IndexFilePlan {
  std::string path;
  uint32_t page_size = 0;
  std::vector<index::TagDefinition> tags;  // as they apply to the rewritten table
};

struct IndexRebuildPlan {
  std::vector<IndexFilePlan> files;
  // The first step (0-based) whose columns an index cannot be built on, and why (a 7200 error).
  std::optional<size_t> breaking_step;
  Status breaking_error;
};

// Reads the index files of the table at path and checks them against steps. A file that
// cannot be read or rebuilt at all is an error for the whole run (nothing was written).
Result<IndexRebuildPlan> PlanIndexRebuild(const std::string& path, storage::TableType type,
                                          const std::vector<AlterStep>& steps);

// Builds every planned file on the table at path (rewritten by the steps the plan kept).
Status RebuildIndexes(const std::string& path, storage::TableType type,
                      const IndexRebuildPlan& plan);

}  // namespace ace::sql
