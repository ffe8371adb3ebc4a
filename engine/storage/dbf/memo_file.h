// Memo files of the DBF family: the dBase III .dbt file (NTX tables) and the .fpt file (CDX and
// VFP tables). A MemoFile stores and fetches memo contents by block number; it knows nothing of
// records or of how a block number is written into a record (dbf_table.cpp owns that).
//
// Neither format has a free list, and other programs read and write these files, so none is
// added. A memo rewritten with content that fits its old blocks is written in place; otherwise
// it gets fresh blocks at the end, so no block ever belongs to two memos. The blocks at the end
// of the file can be given back (Discard) when nothing points at them; other abandoned blocks
// are reclaimed when the table is packed. Appends and discards of this engine's users are
// serialised by a lock beyond the file's data (as on ADT files).
//
// The run of a memo: the blocks it was given when it was written at the end of the file. The
// formats only tell how long the content is, so a shorter value written into a run would, by
// its length, leave the run's tail to nobody, and the next longer value would need fresh
// blocks. The runs this process gave out in a file are kept in a book shared by the MemoFiles
// of the process on that file; a memo written into one of them keeps the whole run (the tail
// past the content is left as it is, which readers of both formats ignore). Runs written by
// other processes or programs are known by their content's length only. This is sound because
// no writer (this engine or another program) gives out blocks below the file's next-free mark,
// except to the memo that owns them, and because the book is trusted at an open only when the
// file is exactly as this process left it (same size and modification time); a pack or zap
// writes a new file, which gets a book of its own.
//
// Not thread-safe: a MemoFile belongs to the TableFile that opened it (the shared book has a
// lock of its own).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/base/file.h"
#include "engine/base/status.h"

namespace ace::storage::dbf {

enum class MemoFormat { kDbt, kFpt };

// Block types of an .fpt block header.
inline constexpr uint32_t kFptPicture = 0;
inline constexpr uint32_t kFptText = 1;
inline constexpr uint32_t kFptObject = 2;

struct RunBook;

class MemoFile {
 public:
  MemoFile() = default;
  ~MemoFile();
  MemoFile(MemoFile&& other) noexcept;
  MemoFile& operator=(MemoFile&& other) noexcept;

  // Creates a new, empty memo file (refusing to overwrite one unless truncate is set).
  // block_size 0 takes the format's default (512 for .dbt, 64 for .fpt).
  static Result<MemoFile> Create(const std::string& path, MemoFormat format, uint16_t block_size,
                                 bool truncate);
  // Opens an existing memo file and checks its header.
  static Result<MemoFile> Open(const std::string& path, MemoFormat format, bool read_only);

  const std::string& path() const { return file_.path(); }
  uint32_t block_size() const { return block_size_; }
  MemoFormat format() const { return format_; }
  // The first block number that can hold data (the header occupies the ones before it).
  uint32_t first_data_block() const;

  // Content of the memo at block (kErrCorruptFile when the block or its length lies outside
  // the file). *type receives the .fpt block type (kFptText for .dbt memos).
  Result<std::vector<uint8_t>> Read(uint32_t block, uint32_t* type = nullptr) const;
  // Length and .fpt block type of the memo at block without reading its content.
  Result<uint32_t> Length(uint32_t block, uint32_t* type = nullptr) const;

  // Stores data and answers the block it now starts at: old_block (0 = none) when the content
  // fits the blocks the old memo occupied, else a fresh block at the end of the file.
  // A .dbt memo cannot hold the byte 0x1A (its end mark) and is refused with kErrInvalidArgument.
  Result<uint32_t> Write(uint32_t old_block, std::span<const uint8_t> data, uint32_t type);
  // Like Write for a memo that no record points at (the pending value of an edit): when it is
  // the last memo of the file it may also grow or shrink where it lies.
  Result<uint32_t> WritePending(uint32_t block, std::span<const uint8_t> data, uint32_t type);
  // Whether content of length bytes fits the run of the memo at block (Write then writes it
  // there in place).
  bool Fits(uint32_t block, uint64_t length) const;
  // Gives back the run of a memo that nothing points at: the file is cut before it when it is
  // the last one; otherwise its blocks stay unused until the table is packed.
  Status Discard(uint32_t block);
  // Forgets the run at block: nothing points at it any more, and it is left to Pack.
  void Abandon(uint32_t block);

  Status Sync() { return file_.Sync(); }
  // Re-reads the next-free-block number (another user may have added memos).
  Status RefreshHeader();
  // Private use (TableFile::SetPrivate): the next-free-block number is kept in memory and
  // written when it ends; memos are written through the file's buffers without the lock.
  Status SetPrivate(bool on);

 private:
  Status ReadHeader();
  Status WriteNextFree(uint32_t next_free);
  // Blocks that a memo of n content bytes occupies.
  uint64_t BlocksFor(uint64_t n) const;
  // Blocks occupied by the memo stored at block, or 0 when that cannot be told safely. ours:
  // the memo was written by this engine (a .dbt memo then ends with two end marks; another
  // program may have written one).
  uint64_t OccupiedBlocks(uint32_t block, bool ours = false) const;
  // Blocks of the run at block: the run this object gave out there, or what the content
  // occupies when that is more (or the run is not known); 0 when it cannot be told safely.
  uint64_t RunBlocks(uint32_t block, bool ours = false) const;
  Result<uint32_t> Store(uint32_t old_block, std::span<const uint8_t> data, uint32_t type,
                         bool pending);
  Result<uint64_t> FileSize() const;
  // The book of the runs of this file (taken when the file is opened or created).
  void JoinBook();
  void LeaveBook();
  uint64_t KnownRun(uint32_t block) const;  // 0 when not known
  void NoteRun(uint32_t block, uint64_t blocks);
  // Forgets the runs that start at first and later (the file was cut before first).
  void ForgetRunsFrom(uint32_t first);
  // Records that this process wrote the file (its size and time as this process left them).
  void StampBook();

  File file_;
  MemoFormat format_ = MemoFormat::kFpt;
  uint32_t block_size_ = 0;
  uint32_t next_free_ = 0;
  bool read_only_ = false;
  bool private_ = false;
  bool header_dirty_ = false;  // next_free_ is not yet in the file (private use)
  std::shared_ptr<RunBook> book_;
};

}  // namespace ace::storage::dbf
