// Replacing a table's data and memo files by rewritten ones so that a crash at any moment
// leaves either the old pair or the new pair, never a mix.
//
// Two files cannot be renamed in one step, so the replacement keeps a small journal beside the
// table, "<table file>.swap", that names the new data file and the memo file. The steps:
//
//   1. the journal is written and flushed (with the directory), and held with a write lock;
//   2. memo -> memo.old, new memo -> memo;
//   3. new data -> data: the moment of change;
//   4. memo.old goes, then the journal; the directory is flushed.
//
// RecoverTableFiles finishes what a crash interrupted: while the journal's new data file still
// exists the change did not happen, and memo.old is put back; once it is gone the change
// happened, and memo.old and the journal are removed. A journal whose lock another process
// holds belongs to a replacement in progress and is left alone.
//
// Errors: a failure before step 3 puts the old pair back and is reported; after step 3 the
// change stands and clean-up failures are not reported (the next open finishes them).
#pragma once

#include <string>

#include "engine/base/status.h"

namespace ace::storage {

// Puts new_data (and new_memo, when memo_path is not empty) in place of path (and memo_path).
// new_memo empty with memo_path not empty means that the new table has no memo file: the old
// one is removed after the change.
Status ReplaceTableFiles(const std::string& path, const std::string& memo_path,
                         const std::string& new_data, const std::string& new_memo);

// Finishes or undoes an interrupted ReplaceTableFiles of the table at path; without a journal
// there is nothing to do. Called before a table is opened.
Status RecoverTableFiles(const std::string& path);

// The journal's name for a table file.
std::string SwapJournalPath(const std::string& path);

}  // namespace ace::storage
