// The .adm memo file of ADT tables: memos and blobs as runs of whole blocks, with a free list of
// released runs kept in address order and merged with their neighbours, so that rewritten memos
// reuse space and the file shrinks when its last run is released. Which record slot points at
// which run is the table's business (adt_table_file.cpp); this module only stores runs.
//
// File header (block 0; the block size is at least 64, so the header fits)
//   OFFSET  SIZE  DESCRIPTION
//   0       8     magic "VADM\r\n\x1A\0"
//   8       1     format version (1); any other value is refused
//   9       1     reserved, 0
//   10      2     block size in bytes (64 .. 32768)
//   12      4     reserved, 0
//   16      8     table id of the .adt file this memo file belongs to
//   24      4     block count: the file holds exactly block count * block size bytes   } under
//   28      4     first free run (block number, 0 = none), free runs in address order  } the lock
//   32      32    reserved, 0
//
// Run header (the first 16 bytes of every run; a run is one memo or one free stretch)
//   OFFSET  SIZE  DESCRIPTION
//   0       1     state: 'M' memo, 'F' free
//   1       1     memo kind: 1 text, 2 binary, 3 image (0 when free)
//   2       1     flags: bit 0 the data is enciphered (memo runs only); others 0
//   3       1     reserved, 0
//   4       4     memo length in bytes (0 when free); the data follows the run header
//   8       4     run length in blocks (at least 1)
//   12      4     free runs: next free run (0 = end); enciphered memo runs: the nonce of the
//                 cipher (engine/crypt/table_key.h), new on every write; else 0
// Enciphered data takes max(length, 16) bytes after the run header (the cipher's smallest unit;
// a run always has room for it). A memo is written with its run header in one write, so a
// crash leaves it whole in its old or its new form.
//
// A memo never shares a block with another: each run belongs to one memo or is free.
// Thread-safety: one connection at a time per object; several objects (connections, processes)
// on one file serialise their changes with the file's bookkeeping lock.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/base/file.h"
#include "engine/base/status.h"
#include "engine/crypt/table_key.h"
#include "engine/storage/table_file.h"

namespace ace::storage::adt {

inline constexpr char kMemoMagic[8] = {'V', 'A', 'D', 'M', '\r', '\n', '\x1A', '\0'};
inline constexpr uint8_t kMemoVersion = 1;
inline constexpr size_t kMemoHeaderSize = 64;
inline constexpr size_t kMemoOffVersion = 8;
inline constexpr size_t kMemoOffBlockSize = 10;
inline constexpr size_t kMemoOffTableId = 16;
inline constexpr size_t kMemoOffBlockCount = 24;
inline constexpr size_t kMemoOffFreeHead = 28;
inline constexpr size_t kRunHeaderSize = 16;
inline constexpr uint8_t kRunMemo = 'M';
inline constexpr uint8_t kRunFree = 'F';
inline constexpr uint8_t kRunEnciphered = 0x01;
static_assert(kMemoOffFreeHead + 4 + 32 == kMemoHeaderSize);

// What the free list and the file size look like (for checks and tests).
struct MemoSpace {
  uint32_t block_count = 0;
  uint32_t free_runs = 0;
  uint32_t free_blocks = 0;
};

class AdtMemoFile {
 public:
  // Creates a memo file holding only its header (mode kCreateNew or kCreateTruncate).
  static Result<AdtMemoFile> Create(const std::string& path, uint16_t block_size, uint64_t table_id,
                                    OpenMode mode);
  // Opens and checks the header: kErrCorruptFile for a damaged one, kErrUnsupportedVersion
  // for an unknown version.
  static Result<AdtMemoFile> Open(const std::string& path, bool read_only);
  // Reads only the table id of a memo file (to match it with its table): 0 for a missing file
  // or one that is not an ADT memo file; a read that fails is reported as its error.
  static Result<uint64_t> PeekTableId(const std::string& path);

  uint64_t table_id() const { return table_id_; }
  uint16_t block_size() const { return block_size_; }
  const std::string& path() const { return file_.path(); }
  File& file() { return file_; }
  const File& file() const { return file_; }

  // Length and kind of the memo starting at block; a block that holds no memo, or one past the
  // end of the file, is kErrCorruptFile.
  Status Describe(uint32_t block, uint32_t* length, MemoKind* kind) const;
  // Deciphers an enciphered memo with the key set (kErrEncryption without one).
  Result<std::vector<uint8_t>> Read(uint32_t block) const;
  // Stores data as a memo that replaces the one at old_block (0 = none) and answers its block
  // (0 for empty data). The old run is rewritten in place when the data fits (its surplus
  // blocks released) or when it can grow where it lies (a free run behind it, or the end of
  // the file), else released after the new run is written elsewhere. An old block that does not
  // hold a memo is left untouched.
  Result<uint32_t> Write(uint32_t old_block, std::span<const uint8_t> data, MemoKind kind);
  // Releases the memo at block (nothing for 0 or a block that holds no memo).
  Status Release(uint32_t block);
  // Whether a memo of length bytes fits the run of the memo at block (so that Write puts it
  // there in place); false for a block that holds no memo.
  Result<bool> Fits(uint32_t block, size_t length) const;
  Result<MemoSpace> Space() const;
  Status Sync() { return file_.Sync(); }
  // Private use (TableFile::SetPrivate): the header is kept in memory and written, with the
  // file's final size, when it ends; runs are written through the file's buffers without the
  // bookkeeping lock.
  Status SetPrivate(bool on);

  // The table's key (may be null; it must outlive its use here) and whether memos written from
  // now on are enciphered (then a key is needed: Write answers kErrEncryption without one).
  void SetCipher(const crypt::TableKey* key, bool encipher) {
    key_ = key;
    encipher_ = encipher;
  }
  // Whether the memo at block is stored enciphered.
  Result<bool> IsEnciphered(uint32_t block) const;
  // Rewrites the memo at block in place, enciphered or plain, in one write of its run header and
  // data (nothing when it is in that form already). Needs the key.
  Status Reencode(uint32_t block, bool encipher);

 private:
  struct Header {
    uint32_t block_count = 0;
    uint32_t free_head = 0;
  };
  struct Run {
    uint32_t start = 0;
    uint8_t state = 0;
    uint8_t kind = 0;
    uint32_t length = 0;
    uint32_t blocks = 0;
    uint32_t next = 0;  // next free run, or the nonce of an enciphered memo
    uint8_t flags = 0;
  };

  Status ReadHeader(Header* h) const;
  Status WriteHeader(const Header& h);
  Status ReadRun(uint32_t block, uint32_t block_count, Run* run) const;
  // Decodes and checks the run header b read at block.
  Status DecodeRunAt(uint32_t block, uint32_t block_count, const std::byte* b, Run* run) const;
  // ReadRun for the readers of a memo (Describe, Read), bounded by the block count last read.
  Status ReadMemoRun(uint32_t block, Run* run) const;
  Status WriteRun(const Run& run);
  static void EncodeRun(const Run& run, std::byte* out);
  // Writes a memo run: header and data (enciphered when encipher) in one write.
  Status WriteMemoRun(Run run, std::span<const uint8_t> data, bool encipher);
  Status NeedKey() const;
  Result<uint32_t> TakeFree(Header* h, uint32_t blocks, uint32_t at);
  Result<uint32_t> Allocate(Header* h, uint32_t blocks);
  Result<bool> GrowInPlace(Header* h, const Run& old, uint32_t blocks);
  Status FreeRun(Header* h, uint32_t start, uint32_t blocks);
  uint32_t BlocksFor(size_t length) const;
  uint64_t BlockOffset(uint32_t block) const { return static_cast<uint64_t>(block) * block_size_; }
  Status Corrupt(uint32_t block, const std::string& what) const;

  File file_;
  bool private_ = false;
  bool header_dirty_ = false;
  Header header_;  // while private_
  mutable uint32_t known_blocks_ = 0;  // the block count the header had when last read
  uint16_t block_size_ = 0;
  uint64_t table_id_ = 0;
  bool read_only_ = false;
  const crypt::TableKey* key_ = nullptr;
  bool encipher_ = false;
};

}  // namespace ace::storage::adt
