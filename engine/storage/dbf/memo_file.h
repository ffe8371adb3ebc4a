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
// Not thread-safe: a MemoFile belongs to the TableFile that opened it.
#pragma once

#include <cstdint>
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

class MemoFile {
 public:
  MemoFile() = default;
  MemoFile(MemoFile&&) = default;
  MemoFile& operator=(MemoFile&&) = default;

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
  // Whether content of length bytes fits the blocks of the memo at block (Write then writes it
  // there in place).
  bool Fits(uint32_t block, uint64_t length) const;
  // Gives back the blocks of a memo that nothing points at: the file is cut before it when it
  // is the last one; otherwise its blocks stay unused until the table is packed.
  Status Discard(uint32_t block);

  Status Sync() { return file_.Sync(); }
  // Re-reads the next-free-block number (another user may have added memos).
  Status RefreshHeader();

 private:
  Status ReadHeader();
  Status WriteNextFree(uint32_t next_free);
  // Blocks that a memo of n content bytes occupies.
  uint64_t BlocksFor(uint64_t n) const;
  // Blocks occupied by the memo stored at block, or 0 when that cannot be told safely. ours:
  // the memo was written by this engine (a .dbt memo then ends with two end marks; another
  // program may have written one).
  uint64_t OccupiedBlocks(uint32_t block, bool ours = false) const;
  Result<uint32_t> Store(uint32_t old_block, std::span<const uint8_t> data, uint32_t type,
                         bool pending);
  Result<uint64_t> FileSize() const;

  File file_;
  MemoFormat format_ = MemoFormat::kFpt;
  uint32_t block_size_ = 0;
  uint32_t next_free_ = 0;
  bool read_only_ = false;
};

}  // namespace ace::storage::dbf
