// The index files open on one table file of a connection, shared by every cursor of that
// connection on the file, so that a write through any of them maintains every open index
// (engine/index does the maintenance; this class decides which files take part and keeps
// them in step with other users of the same files).
//
// Files are counted per opening: each Open (or Create) of a cursor adds a user, Release takes
// one away, and the file closes with its last user. The structural index (the table's base
// name with .cdx for CDX and VFP tables, .adi for ADT tables) is opened by every cursor.
//
// A stale file (written for another state of the table) is rebuilt at open when the table is
// writable for this connection, and refused with kErrStaleIndex when it is opened read-only.
//
// A batch groups record writes that stand or fall together (one SQL statement): the files are
// locked for the update once, every write is checked and carried into the trees as it happens,
// and a batch that fails is taken back key by key once the table holds its old records again
// (the files are rebuilt from the table when that is not possible).
//
// Not thread-safe: belongs to the connection's thread, like the SharedTable that holds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/status.h"
#include "engine/index/index_file.h"
#include "engine/storage/table_file.h"

namespace ace::cursor {

struct SharedTable;

class TableIndexes {
 public:
  // The index files of a shared table file, made on first use.
  static TableIndexes& Of(SharedTable& table);

  // table outlives this object; read_only: the table is open read-only (indexes too);
  // exclusive: no other user can change the files (no refresh needed).
  TableIndexes(storage::TableFile* table, bool read_only, bool exclusive)
      : table_(table), read_only_(read_only), exclusive_(exclusive) {}

  // The path of the table's structural index, or "" when its type has none or it is missing.
  static std::string StructuralPath(const std::string& table_path, storage::TableType type);

  // Opens an index file (or counts one more user of the file open already: *already_open is
  // then true). The file's path is compared in canonical form.
  Result<index::IndexFile*> Open(const std::string& path, bool* already_open);
  // Creates or extends an index file with one tag and opens it (one more user). A file open
  // already is rebuilt in place, so its other users keep their tags.
  Result<index::IndexFile*> Create(const std::string& path, const index::TagDefinition& def,
                                   uint32_t page_size, bool* already_open);
  // One user less; the file closes with the last.
  void Release(index::IndexFile* file);
  // Closes a file for every user at once and deletes it (AdsDeleteIndex of a whole file).
  Status CloseAndDelete(index::IndexFile* file);

  std::vector<index::IndexFile*> files() const;
  bool empty() const { return files_.empty(); }
  // The file that holds a tag, or nullptr.
  index::IndexFile* FileOf(const index::Tag* tag) const;

  // Before reading a tree: rebuilds a file left stale by a failed ReindexAll / ZapAll (the use
  // is refused with kErrStaleIndex when that fails again) and, in shared use, takes up other
  // users' changes.
  Status Refresh();
  // Around one record write: Begin locks the files for the update, takes up other users'
  // changes and checks candidate keys (a refused write changes nothing and unlocks); After
  // maintains every tag and flushes; End unlocks (always call it after a successful Begin).
  Status BeginWrite(uint32_t recno, const std::byte* old_image, const std::byte* new_image);
  Status AfterWrite(uint32_t recno, const std::byte* old_image, const std::byte* new_image);
  void EndWrite();
  // ---- Batches. BeginBatch locks every open file for the update and takes up other users'
  // changes (kept until CommitBatch or RollbackBatch; a failed BeginBatch holds nothing).
  // CheckBatchWrite checks candidate keys before the table is written; BatchWrite, called after
  // the table write, carries one record write into every tag and remembers it. Files opened
  // after BeginBatch do not take part; none may be closed before the batch ends.
  Status BeginBatch();
  Status CheckBatchWrite(uint32_t recno, const std::byte* old_image, const std::byte* new_image);
  Status BatchWrite(uint32_t recno, const std::byte* old_image, const std::byte* new_image);
  // Keeps what the batch wrote and unlocks.
  void CommitBatch();
  // Takes every write of the batch back out of the trees, newest first, against the records the
  // table holds now (the caller restored them first; a record that was appended stays in the
  // file, marked deleted, and keeps its key as any deleted record does). When a key cannot be
  // taken back, the files are rebuilt from the table instead. Unlocks in every case.
  Status RollbackBatch();
  bool in_batch() const { return in_batch_; }

  // After the table was packed / zapped. A file that cannot follow is marked stale (in memory
  // and on disk) and the first failure is answered; the others are still brought up to date.
  Status ReindexAll();
  Status ZapAll();

 private:
  struct Entry {
    std::unique_ptr<index::IndexFile> file;
    std::string key;  // canonical path
    int users = 0;
  };
  Entry* Find(const std::string& key);
  Result<std::unique_ptr<index::IndexFile>> OpenFile(const std::string& path);

  Status LockAll();

  storage::TableFile* table_;
  bool read_only_;
  bool exclusive_;
  std::vector<Entry> files_;
  bool locked_ = false;

  struct BatchEntry {
    uint32_t recno = 0;
    std::vector<std::byte> after;  // the record image as the trees hold it now
    bool complete = false;         // false: the trees may hold part of the write
  };
  bool in_batch_ = false;
  std::vector<index::IndexFile*> batch_files_;
  std::vector<BatchEntry> batch_;
};

}  // namespace ace::cursor
