// The crash harness: runs an operation on a copy of a prepared folder in a child process that
// the file layer ends with SIGKILL just before its n-th changing operation (write, flush,
// rename, file creation or growth, deletion), for many n, and checks after every kill that the
// table opens, passes the consistency check and holds exactly the content of before or of
// after the operation. When it holds the content of before, the operation is run again and
// must then complete with the content of after, leaving no stray files behind.
//
// Widening: a new operation is a function of the folder that answers the engine's result;
// CrashSweep needs nothing else. SweepOptions add what some operations need: a recovery step
// (the open that rolls back a transaction a crash left), index files to check, operations that
// leave the content as it was (rollback, reindex) and a kill window that starts inside the
// operation (the rollback of a transaction, after the writes it takes back).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/reliability/common/reliability_util.h"

namespace reliability {

using Operation = std::function<UNSIGNED32(const std::string& dir)>;

struct SweepOptions {
  // Run on the folder after every kill, before the checks: what the next user of the table does
  // first (opening it, which rolls back the journal of a transaction the kill ended). Its
  // failure is a loss. Null: the table is checked as the kill left it.
  Operation recover;
  // Index files (names in the folder) that must open for the table, pass the tree check and
  // hold exactly the keys of its records after every kill (and after every complete run).
  std::vector<std::string> indexes;
  // The index files are part of what must be "before or after": each must be byte for byte
  // its version of before or of after (a reindex replaces whole files).
  bool index_bytes_are_content = false;
  // False for operations whose complete run leaves the table's content as it was (a rollback,
  // a reindex); the digests compared then leave out deleted blank records (what a rolled-back
  // append leaves, see Content::settled_digest).
  bool changes_content = true;
  // Transactions: records appended by a transaction that a crash took back remain as deleted
  // blank records; the comparisons use Content::settled_digest.
  bool settled = false;
  // The kill points count from the operation's call of BeginKillWindow() on (changes before
  // it are the operation's preparation and are never killed).
  bool windowed = false;
};

// Called by a windowed operation where its kill window starts (see SweepOptions::windowed).
void BeginKillWindow();

struct CrashFigures {
  uint64_t changes = 0;               // changing file operations of one complete run
  uint64_t points = 0;                // kill points tried
  uint64_t killed = 0;                // runs that the kill really ended
  uint64_t as_before = 0;             // tables found with the content of before
  uint64_t as_after = 0;              // tables found with the content of after
  uint64_t lost = 0;                  // tables that failed a check (must stay 0)
  std::vector<std::string> failures;  // what failed, one line per kill point
};

// The kill points for an operation of `changes` changing operations: all of them when they
// are at most `budget`, else `budget` points spread evenly with the last twelve (renames,
// flushes and clean-up of a rewrite) always among them.
std::vector<uint64_t> KillPoints(uint64_t changes, uint64_t budget);

// Runs the sweep: `prepared` is a folder with the table `table` (file name with extension) of
// type `type` in its state before the operation. Nothing in `prepared` is changed.
CrashFigures CrashSweep(const std::string& prepared, const std::string& table, TableType type,
                        const Operation& operation, uint64_t budget,
                        const SweepOptions& options = {});

// The fault sweep: for every kind of file operation (read, write, flush, rename, allocation,
// deletion) the operation is run with the n-th operation of that kind failing, for every n (or,
// for kinds with more than `budget` operations, a spread of them), on a copy of `prepared`.
// A run that fails must answer an error whose text names the injected fault and leave the
// table as it was (same content, passes the check, no stray files) or, when the fault came
// after the moment of change (reading the new files back), whole in its new form; a run that
// answers success must leave the content of after.
struct FaultFigures {
  uint64_t injected = 0;  // runs with a fault injected
  uint64_t reported = 0;  // of them, runs that answered an error
  uint64_t late = 0;      // of those, errors after the change was made (the table is new)
  uint64_t absorbed = 0;  // of them, runs that succeeded all the same (a fault after the change)
  uint64_t lost = 0;      // runs that left a damaged or half-changed table (must stay 0)
  std::vector<std::string> failures;
};
FaultFigures FaultSweep(const std::string& prepared, const std::string& table, TableType type,
                        const Operation& operation, uint64_t budget,
                        const SweepOptions& options = {});
void RecordFaultFigures(const std::string& label, const FaultFigures& figures);

// Adds a sweep's figures to the process-wide totals that the suite prints at its end
// (and that scripts/reliability collects for docs/reliability.md).
void RecordFigures(const std::string& label, const CrashFigures& figures);

}  // namespace reliability
