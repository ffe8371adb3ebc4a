// Transactions of one connection (AdsBeginTransaction ... AdsRollbackTransaction).
//
// Every table file a connection opens is wrapped (JournaledTable, journal.cpp) so that, while
// a transaction is active, each record write, append and memo write first records what it is
// about to change:
//   - the first write of a record after the transaction's start (or after the latest
//     savepoint) puts the record's before-image into the journal;
//   - appended records are journaled by number;
//   - memo and blob writes never overwrite the blocks of a committed value: they always go to
//     new blocks, so a before-image's memo pointers stay valid until the transaction ends.
// The record is locked for the transaction (a record another user holds refuses the write with
// 5035) and its lock is held to the end, whatever unlocks the cursors ask for.
//
// Commit flushes every table and drops the journal; then the memo runs that its records held
// during the transaction and hold no more are given back (ADT; the DBF memo formats have no
// free list). Rollback undoes the journal from its end:
// before-images are written back, appended records become deleted blank records, memo blocks
// the transaction wrote are given back, and every index file that was open on the table during
// the transaction is maintained as if the undo were ordinary writes. A savepoint is a journal
// position; rolling back to it undoes the entries after it and keeps the transaction going.
//
// The journal is also on disk, one file per table and connection beside the table
// ("<table file>.<owner>.tjl"), written and flushed before the table write it protects, and
// held by a file lock while its transaction lives. A journal found without a living owner when
// a table is opened was left by a crash: it is rolled back (and the table's structural index
// rebuilt) before the table is used. Zap, pack, ALTER TABLE and DROP TABLE cannot be undone and
// are refused while a transaction is active (cursor::Connection::RefuseInTransaction, which
// this manager feeds), before anything is changed.
//
// Not thread-safe: belongs to its connection's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/base/status.h"
#include "engine/cursor/connection.h"

namespace ace::txn {

class TransactionState;

class TransactionManager {
 public:
  // Installs the journaling of every table the connection opens from now on; connection must
  // outlive this object. An active transaction is rolled back when this object goes.
  explicit TransactionManager(cursor::Connection& connection);
  ~TransactionManager();
  TransactionManager(const TransactionManager&) = delete;
  TransactionManager& operator=(const TransactionManager&) = delete;

  // kErrTransaction when a transaction is active already (transactions do not nest).
  Status Begin();
  // kErrTransaction without an active transaction. A failed flush is answered after the
  // transaction has ended all the same (its changes are in the files).
  Status Commit();
  Status Rollback();
  // Savepoints: names compare without regard to case; a name used again moves the savepoint.
  // Rolling back to a savepoint keeps it and every one before it. Unknown names and calls
  // outside a transaction are kErrTransaction.
  Status CreateSavepoint(std::string_view name);
  Status RollbackTo(std::string_view name);
  // Rolls back a transaction that is active (the end of a connection); success without one.
  Status RollbackIfActive() { return active() ? Rollback() : Status::Ok(); }

  bool active() const;
  // Nesting level of the connection's transaction: 1 while one is active, else 0.
  uint32_t count() const { return active() ? 1 : 0; }

 private:
  std::shared_ptr<TransactionState> state_;
};

// Rolls back journals of the table file at path that have no living owner (used when a table
// is opened; also callable for tests and tools). Answers the number of journals rolled back.
Result<int> RecoverTable(const std::shared_ptr<cursor::SharedTable>& table);

}  // namespace ace::txn
