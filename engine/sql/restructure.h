// Table restructuring: the column additions, drops and alterations of one or more consecutive
// ALTER TABLE statements of one table, applied in ONE rewrite of the table.
//
// The statements still succeed or fail one by one, in order: all of them are validated first
// against the table as the earlier ones leave it; when statement k is refused, statements
// 1..k-1 are applied (in one rewrite) and k's error is reported; the later ones are not looked
// at. Nothing is written when statement 1 is refused.
//
// The rewrite never touches the old files until the new table is complete on disk:
//   1. a new table is created beside the old one as "<name>.~restructure<ext>" (with its memo
//      file "<name>.~restructure<memo ext>"); these names are reserved for this purpose and a
//      leftover of an earlier interrupted run is removed first;
//   2. every record is copied in order, deleted ones with their mark: unchanged columns as
//      bytes, altered columns converted through their text form (engine/fields), new columns
//      NULL in the format's way (ADT and VFP null forms, DBF blanks) or their DEFAULT value,
//      memo contents rewritten into the new memo file; one record at a time, so the memory
//      used does not grow with the table;
//   3. the new files are flushed to disk (TableFile::Flush syncs data and memo file);
//   4. the old memo file is renamed to "<memo>.old", the new memo file into its place, the new
//      table file over the old one (the moment of change), "<memo>.old" is removed and the
//      directory synced. A failure of a rename puts the old names back.
// Any failure before step 4 removes the new files and leaves the old table as it was.
//
// The caller holds the table's locks; in_use tells whether another user has the table open,
// which refuses the whole batch (kTableInUse) before anything is read. Not thread-safe for one
// table; distinct tables may be restructured on distinct threads.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/status.h"
#include "engine/sql/ddl.h"
#include "engine/storage/table_file.h"

namespace ace::sql {

// The changes of one ALTER TABLE statement and where the statement stands, for messages.
struct AlterStep {
  std::vector<ColumnChange> changes;
  const Statement* statement = nullptr;  // must outlive the call; nullptr: errors name no place
  size_t index = 1;                      // of the statement in its text
  size_t count = 1;
};

struct RestructureRequest {
  std::string path;  // the table's data file
  storage::TableType type = storage::TableType::kAdt;
  std::string table_name;  // for messages; empty = the file name without its extension
  std::vector<AlterStep> steps;
  // True when another user holds the table open; empty = nobody does.
  std::function<bool(const std::string& path)> in_use;
};

struct RestructureOutcome {
  size_t applied = 0;      // steps that took effect (a prefix of the request's steps)
  bool rewritten = false;  // a new table replaced the old one
  Status error;            // the error of step applied + 1, or Ok when all took effect
};

RestructureOutcome RestructureTable(const RestructureRequest& request);

// The file names a rewrite of path uses for its new table, e.g. "Kinder.~restructure.adt".
std::string RestructurePath(const std::string& path);

}  // namespace ace::sql
