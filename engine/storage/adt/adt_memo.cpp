// Block runs and the address-ordered free list of the .adm memo file (see adt_memo.h).
#include "engine/storage/adt/adt_memo.h"

#include <algorithm>
#include <cstring>

#include "engine/base/error_codes.h"
#include "engine/storage/adt/adt_format.h"

namespace ace::storage::adt {

Result<AdtMemoFile> AdtMemoFile::Create(const std::string& path, uint16_t block_size,
                                        uint64_t table_id, OpenMode mode) {
  if (block_size < kMinMemoBlockSize || block_size > kMaxMemoBlockSize || block_size % 8 != 0) {
    return Status(kErrInvalidArgument, "memo block size " + std::to_string(block_size) +
                                           " is invalid (a multiple of 8 from 64 to 32768)");
  }
  auto file = File::Open(path, mode);
  if (!file.ok()) return file.status();
  std::vector<std::byte> block(block_size);
  std::memcpy(block.data(), kMemoMagic, sizeof kMemoMagic);
  block[kMemoOffVersion] = std::byte{kMemoVersion};
  Put16(block.data() + kMemoOffBlockSize, block_size);
  Put64(block.data() + kMemoOffTableId, table_id);
  Put32(block.data() + kMemoOffBlockCount, 1);
  ACE_RETURN_IF_ERROR(file->WriteAt(0, block.data(), block.size()));
  AdtMemoFile memo;
  memo.file_ = std::move(file.value());
  memo.block_size_ = block_size;
  memo.table_id_ = table_id;
  return memo;
}

Result<AdtMemoFile> AdtMemoFile::Open(const std::string& path, bool read_only) {
  auto file = File::Open(path, read_only ? OpenMode::kReadOnly : OpenMode::kReadWrite);
  if (!file.ok()) return file.status();
  std::byte h[kMemoHeaderSize];
  size_t got = 0;
  ACE_RETURN_IF_ERROR(file->ReadSomeAt(0, h, sizeof h, &got));
  if (got < sizeof h || std::memcmp(h, kMemoMagic, sizeof kMemoMagic) != 0) {
    return Status(kErrCorruptFile, file->path() + ": not a memo file of this table format");
  }
  if (std::to_integer<uint8_t>(h[kMemoOffVersion]) != kMemoVersion) {
    return Status(kErrUnsupportedVersion,
                  file->path() + ": memo file version " +
                      std::to_string(std::to_integer<int>(h[kMemoOffVersion])) +
                      " cannot be read by this engine");
  }
  uint16_t bs = Get16(h + kMemoOffBlockSize);
  if (bs < kMinMemoBlockSize || bs > kMaxMemoBlockSize || bs % 8 != 0) {
    return Status(kErrCorruptFile,
                  file->path() + ": invalid memo block size " + std::to_string(bs));
  }
  if (Get32(h + kMemoOffBlockCount) == 0) {
    return Status(kErrCorruptFile, file->path() + ": memo header has a block count of 0");
  }
  AdtMemoFile memo;
  memo.file_ = std::move(file.value());
  memo.block_size_ = bs;
  memo.table_id_ = Get64(h + kMemoOffTableId);
  memo.read_only_ = read_only;
  return memo;
}

Result<uint64_t> AdtMemoFile::PeekTableId(const std::string& path) {
  auto memo = Open(path, true);
  if (memo.ok()) return memo->table_id();
  const uint32_t code = memo.status().code();
  // A missing or foreign file has no id of ours; a failing read is reported as what it is.
  if (code == kErrFileNotFound || code == kErrCorruptFile || code == kErrUnsupportedVersion) {
    return uint64_t{0};
  }
  return memo.status();
}

Status AdtMemoFile::Corrupt(uint32_t block, const std::string& what) const {
  return Status(kErrCorruptFile, file_.path() + ": block " + std::to_string(block) + ": " + what);
}

Status AdtMemoFile::ReadHeader(Header* h) const {
  if (private_) {
    *h = header_;
    return Status::Ok();
  }
  std::byte b[kMemoHeaderSize];
  // From the file itself: other users' runs grow the file, a read-ahead window may predate them.
  ACE_RETURN_IF_ERROR(file_.ReadFreshAt(0, b, sizeof b));
  h->block_count = Get32(b + kMemoOffBlockCount);
  h->free_head = Get32(b + kMemoOffFreeHead);
  if (h->block_count == 0) return Corrupt(0, "memo header has a block count of 0");
  return Status::Ok();
}

Status AdtMemoFile::WriteHeader(const Header& h) {
  if (private_) {
    header_ = h;
    header_dirty_ = true;
    return Status::Ok();
  }
  std::byte b[8];
  Put32(b, h.block_count);
  Put32(b + 4, h.free_head);
  return file_.WriteAt(kMemoOffBlockCount, b, sizeof b);
}

Status AdtMemoFile::ReadRun(uint32_t block, uint32_t block_count, Run* run) const {
  if (block == 0 || block >= block_count) {
    return Corrupt(block, "memo pointer past the end of the file (" + std::to_string(block_count) +
                              " blocks)");
  }
  std::byte b[kRunHeaderSize];
  ACE_RETURN_IF_ERROR(file_.ReadAt(BlockOffset(block), b, sizeof b));
  return DecodeRunAt(block, block_count, b, run);
}

Status AdtMemoFile::DecodeRunAt(uint32_t block, uint32_t block_count, const std::byte* b,
                                Run* run) const {
  run->start = block;
  run->state = std::to_integer<uint8_t>(b[0]);
  run->kind = std::to_integer<uint8_t>(b[1]);
  run->flags = std::to_integer<uint8_t>(b[2]);
  run->length = Get32(b + 4);
  run->blocks = Get32(b + 8);
  run->next = Get32(b + 12);
  if (run->state != kRunMemo && run->state != kRunFree) return Corrupt(block, "not a memo run");
  if (run->blocks == 0 || uint64_t{block} + run->blocks > block_count) {
    return Corrupt(block, "run of " + std::to_string(run->blocks) + " blocks passes the end");
  }
  if (run->state == kRunMemo) {
    if (run->kind < 1 || run->kind > 3) return Corrupt(block, "unknown memo kind");
    if ((run->flags & ~kRunEnciphered) != 0) return Corrupt(block, "unknown memo flags");
    if (kRunHeaderSize + uint64_t{run->length} > uint64_t{run->blocks} * block_size_) {
      return Corrupt(block, "memo length " + std::to_string(run->length) + " exceeds its run");
    }
  }
  return Status::Ok();
}

void AdtMemoFile::EncodeRun(const Run& run, std::byte* b) {
  std::memset(b, 0, kRunHeaderSize);
  b[0] = std::byte{run.state};
  b[1] = std::byte{run.kind};
  b[2] = std::byte{run.flags};
  Put32(b + 4, run.length);
  Put32(b + 8, run.blocks);
  Put32(b + 12, run.next);
}

Status AdtMemoFile::WriteRun(const Run& run) {
  std::byte b[kRunHeaderSize];
  EncodeRun(run, b);
  return file_.WriteAt(BlockOffset(run.start), b, sizeof b);
}

Status AdtMemoFile::NeedKey() const {
  return Status(kErrEncryption, file_.path() +
                                    ": the memo is encrypted; enable encryption with the "
                                    "table's password to use it");
}

Status AdtMemoFile::WriteMemoRun(Run run, std::span<const uint8_t> data, bool encipher) {
  size_t stored = encipher ? std::max(data.size(), crypt::kMinXtsUnit) : data.size();
  std::vector<std::byte> buf(kRunHeaderSize + stored);
  std::memcpy(buf.data() + kRunHeaderSize, data.data(), data.size());
  run.flags = 0;
  run.next = 0;
  if (encipher) {
    if (key_ == nullptr) return NeedKey();
    run.flags = kRunEnciphered;
    run.next = crypt::TableKey::NewNonce();
    ACE_RETURN_IF_ERROR(key_->EncryptMemo(
        run.next, std::span<std::byte>(buf.data() + kRunHeaderSize, stored)));
  }
  EncodeRun(run, buf.data());
  return file_.WriteAt(BlockOffset(run.start), buf.data(), buf.size());
}

uint32_t AdtMemoFile::BlocksFor(size_t length) const {
  uint64_t bytes = kRunHeaderSize + static_cast<uint64_t>(length);
  return static_cast<uint32_t>((bytes + block_size_ - 1) / block_size_);
}

// Takes blocks from the free list: from the first run large enough (at == 0) or from the run
// that starts exactly at block at. A larger run is split and its tail stays free in place.
// Answers the first block taken, 0 when no run fits. A damaged free list is cut at the damage
// (the blocks behind it are lost until the next pack), so a bad link never hands out a block
// twice.
Result<uint32_t> AdtMemoFile::TakeFree(Header* h, uint32_t blocks, uint32_t at) {
  uint32_t prev = 0;
  uint32_t cur = h->free_head;
  for (uint32_t steps = 0; cur != 0 && (at == 0 || cur <= at); ++steps) {
    Run run;
    Status st = steps > h->block_count ? Corrupt(cur, "free list loops")
                                       : ReadRun(cur, h->block_count, &run);
    if (st.ok() && run.state != kRunFree) st = Corrupt(cur, "free list points at a memo");
    if (st.ok() && run.next != 0 && run.next <= cur) st = Corrupt(cur, "free list out of order");
    if (!st.ok()) {
      if (st.code() != kErrCorruptFile) return st;
      if (prev == 0) {
        h->free_head = 0;
      } else {
        Run p;
        ACE_RETURN_IF_ERROR(ReadRun(prev, h->block_count, &p));
        p.next = 0;
        ACE_RETURN_IF_ERROR(WriteRun(p));
      }
      break;
    }
    if (run.blocks >= blocks && (at == 0 || cur == at)) {
      uint32_t after = run.next;
      if (run.blocks > blocks) {
        Run rest{cur + blocks, kRunFree, 0, 0, run.blocks - blocks, run.next};
        ACE_RETURN_IF_ERROR(WriteRun(rest));
        after = rest.start;
      }
      if (prev == 0) {
        h->free_head = after;
      } else {
        Run p;
        ACE_RETURN_IF_ERROR(ReadRun(prev, h->block_count, &p));
        p.next = after;
        ACE_RETURN_IF_ERROR(WriteRun(p));
      }
      return cur;
    }
    prev = cur;
    cur = run.next;
  }
  return 0u;
}

// A free run of the given size, else new blocks at the end of the file.
Result<uint32_t> AdtMemoFile::Allocate(Header* h, uint32_t blocks) {
  auto taken = TakeFree(h, blocks, 0);
  if (!taken.ok() || taken.value() != 0) return taken;
  uint64_t end = uint64_t{h->block_count} + blocks;
  if (end > 0xFFFFFFFFull) return Status(kErrDiskFull, file_.path() + ": memo file is full");
  uint32_t start = h->block_count;
  h->block_count = static_cast<uint32_t>(end);
  // A private file grows with the run written there; its size is set when private use ends.
  if (!private_) ACE_RETURN_IF_ERROR(file_.Truncate(BlockOffset(h->block_count)));
  return start;
}

// Inserts a run into the address-ordered free list, merging it with a free neighbour on either
// side; a free run that ends the file is cut off and the file shrinks.
Status AdtMemoFile::FreeRun(Header* h, uint32_t start, uint32_t blocks) {
  uint32_t pprev = 0, prev = 0, cur = h->free_head;
  Run prev_run;
  for (uint32_t steps = 0; cur != 0 && cur < start; ++steps) {
    if (steps > h->block_count) return Corrupt(cur, "free list loops");
    Run run;
    ACE_RETURN_IF_ERROR(ReadRun(cur, h->block_count, &run));
    if (run.state != kRunFree) return Corrupt(cur, "free list points at a memo");
    if (run.next != 0 && run.next <= cur) return Corrupt(cur, "free list out of order");
    pprev = prev;
    prev = cur;
    prev_run = run;
    cur = run.next;
  }
  if (cur == start) return Corrupt(start, "run released twice");
  Run next_run;
  bool has_next = cur != 0;
  if (has_next) ACE_RETURN_IF_ERROR(ReadRun(cur, h->block_count, &next_run));
  if (has_next && next_run.state != kRunFree) return Corrupt(cur, "free list points at a memo");

  Run node{start, kRunFree, 0, 0, blocks, cur};
  uint32_t node_pred = prev;
  if (prev != 0 && uint64_t{prev_run.start} + prev_run.blocks == start) {
    node = prev_run;
    node.blocks += blocks;
    node_pred = pprev;
  }
  if (has_next && uint64_t{node.start} + node.blocks == next_run.start) {
    node.blocks += next_run.blocks;
    node.next = next_run.next;
  }
  // The predecessor of node must point at it (unchanged when node merged into prev).
  auto link_pred = [&](uint32_t target) -> Status {
    if (node_pred == 0) {
      h->free_head = target;
      return Status::Ok();
    }
    Run p;
    ACE_RETURN_IF_ERROR(ReadRun(node_pred, h->block_count, &p));
    p.next = target;
    return WriteRun(p);
  };
  if (uint64_t{node.start} + node.blocks == h->block_count) {
    ACE_RETURN_IF_ERROR(link_pred(0));
    h->block_count = node.start;
    return file_.Truncate(BlockOffset(h->block_count));
  }
  ACE_RETURN_IF_ERROR(WriteRun(node));
  if (node.start != prev || node_pred != pprev) return link_pred(node.start);
  return Status::Ok();
}

// Lets a memo run grow to blocks where it lies: into a free run right behind it, or past the
// end of the file when it is the last run. Answers whether it did.
Result<bool> AdtMemoFile::GrowInPlace(Header* h, const Run& old, uint32_t blocks) {
  uint32_t end = old.start + old.blocks;
  uint32_t more = blocks - old.blocks;
  if (end == h->block_count) {
    if (uint64_t{end} + more > 0xFFFFFFFFull) return false;
    h->block_count = end + more;
    if (!private_) ACE_RETURN_IF_ERROR(file_.Truncate(BlockOffset(h->block_count)));
    return true;
  }
  auto taken = TakeFree(h, more, end);
  if (!taken.ok()) return taken.status();
  return taken.value() == end;
}

// The block count only bounds the run that is read: while the block lies below the count last
// read, the run is read without the header (a run beyond a file that shrank since cannot be
// read whole, and a bad run is checked again against the header as it is now).
Status AdtMemoFile::ReadMemoRun(uint32_t block, Run* run) const {
  if (!private_ && block < known_blocks_) {
    Status st = ReadRun(block, known_blocks_, run);
    if (st.code() != kErrCorruptFile) return st;  // read failures are the caller's to see
  }
  Header h;
  ACE_RETURN_IF_ERROR(ReadHeader(&h));
  known_blocks_ = h.block_count;
  return ReadRun(block, h.block_count, run);
}

Status AdtMemoFile::Describe(uint32_t block, uint32_t* length, MemoKind* kind) const {
  Run run;
  ACE_RETURN_IF_ERROR(ReadMemoRun(block, &run));
  if (run.state != kRunMemo) return Corrupt(block, "memo pointer refers to a free run");
  *length = run.length;
  *kind = static_cast<MemoKind>(run.kind);
  return Status::Ok();
}

Result<std::vector<uint8_t>> AdtMemoFile::Read(uint32_t block) const {
  // A plain memo that fits its first block comes with the run header in one read.
  if (!private_ && block != 0 && block < known_blocks_) {
    // The first block goes to the stack when it is small, as the default blocks are.
    std::byte small[512];
    std::vector<std::byte> large;
    std::byte* first = small;
    if (block_size_ > sizeof small) {
      large.resize(block_size_);
      first = large.data();
    }
    size_t got = 0;
    ACE_RETURN_IF_ERROR(file_.ReadSomeAt(BlockOffset(block), first, block_size_, &got));
    Run head;
    if (got >= kRunHeaderSize && DecodeRunAt(block, known_blocks_, first, &head).ok() &&
        head.state == kRunMemo && (head.flags & kRunEnciphered) == 0 &&
        kRunHeaderSize + size_t{head.length} <= got) {
      const auto* bytes = reinterpret_cast<const uint8_t*>(first + kRunHeaderSize);
      return std::vector<uint8_t>(bytes, bytes + head.length);
    }
  }
  Run run;
  ACE_RETURN_IF_ERROR(ReadMemoRun(block, &run));
  if (run.state != kRunMemo) return Corrupt(block, "memo pointer refers to a free run");
  const uint32_t length = run.length;
  if ((run.flags & kRunEnciphered) == 0) {
    std::vector<uint8_t> data(length);
    if (length > 0) {
      ACE_RETURN_IF_ERROR(file_.ReadAt(BlockOffset(block) + kRunHeaderSize, data.data(), length));
    }
    return data;
  }
  if (key_ == nullptr) return NeedKey();
  std::vector<uint8_t> data(std::max<size_t>(length, crypt::kMinXtsUnit));
  ACE_RETURN_IF_ERROR(file_.ReadAt(BlockOffset(block) + kRunHeaderSize, data.data(), data.size()));
  ACE_RETURN_IF_ERROR(key_->DecryptMemo(
      run.next, std::span<std::byte>(reinterpret_cast<std::byte*>(data.data()), data.size())));
  data.resize(length);
  return data;
}

Result<bool> AdtMemoFile::IsEnciphered(uint32_t block) const {
  if (!private_) file_.DropReadAhead();
  Header h;
  ACE_RETURN_IF_ERROR(ReadHeader(&h));
  Run run;
  ACE_RETURN_IF_ERROR(ReadRun(block, h.block_count, &run));
  if (run.state != kRunMemo) return Corrupt(block, "memo pointer refers to a free run");
  return (run.flags & kRunEnciphered) != 0;
}

Status AdtMemoFile::Reencode(uint32_t block, bool encipher) {
  if (read_only_) return Status(kErrTableReadOnly, file_.path() + ": opened read-only");
  if (key_ == nullptr) return NeedKey();
  BookkeepingLock lock;
  ACE_RETURN_IF_ERROR(lock.Acquire(file_, true));
  file_.DropReadAhead();  // what the lock guards is read from the file itself
  Header h;
  ACE_RETURN_IF_ERROR(ReadHeader(&h));
  Run run;
  ACE_RETURN_IF_ERROR(ReadRun(block, h.block_count, &run));
  if (run.state != kRunMemo) return Corrupt(block, "memo pointer refers to a free run");
  if (((run.flags & kRunEnciphered) != 0) == encipher) return Status::Ok();
  auto data = Read(block);
  if (!data.ok()) return data.status();
  return WriteMemoRun(run, data.value(), encipher);
}

Result<uint32_t> AdtMemoFile::Write(uint32_t old_block, std::span<const uint8_t> data,
                                    MemoKind kind) {
  if (read_only_) return Status(kErrTableReadOnly, file_.path() + ": opened read-only");
  if (encipher_ && key_ == nullptr && !data.empty()) return NeedKey();
  if (data.size() > 0xFFFFFFFFull - kRunHeaderSize - kMaxMemoBlockSize) {
    return Status(kErrValueOutOfRange,
                  file_.path() + ": memo of " + std::to_string(data.size()) + " bytes is too long");
  }
  BookkeepingLock lock;
  if (!private_) {
    ACE_RETURN_IF_ERROR(lock.Acquire(file_, true));
    file_.DropReadAhead();  // the runs and the free list are read from the file itself
  }
  Header h;
  ACE_RETURN_IF_ERROR(ReadHeader(&h));
  Run old;
  bool old_valid =
      old_block != 0 && ReadRun(old_block, h.block_count, &old).ok() && old.state == kRunMemo;
  uint32_t result = 0;
  if (!data.empty()) {
    uint32_t blocks = BlocksFor(data.size());
    bool in_place = old_valid && old.blocks >= blocks;
    if (old_valid && !in_place) {
      auto grown = GrowInPlace(&h, old, blocks);
      if (!grown.ok()) return grown.status();
      in_place = grown.value();
    }
    if (in_place) {
      result = old_block;
    } else {
      auto got = Allocate(&h, blocks);
      if (!got.ok()) return got.status();
      result = got.value();
    }
    Run run{result, kRunMemo, static_cast<uint8_t>(kind), static_cast<uint32_t>(data.size()),
            blocks, 0};
    ACE_RETURN_IF_ERROR(WriteMemoRun(run, data, encipher_));
    if (in_place && old.blocks > blocks) {
      ACE_RETURN_IF_ERROR(FreeRun(&h, old_block + blocks, old.blocks - blocks));
    } else if (!in_place && old_valid) {
      ACE_RETURN_IF_ERROR(FreeRun(&h, old_block, old.blocks));
    }
  } else if (old_valid) {
    ACE_RETURN_IF_ERROR(FreeRun(&h, old_block, old.blocks));
  }
  ACE_RETURN_IF_ERROR(WriteHeader(h));
  return result;
}

Status AdtMemoFile::SetPrivate(bool on) {
  if (on == private_) return Status::Ok();
  if (on) {
    Header h;
    ACE_RETURN_IF_ERROR(ReadHeader(&h));
    ACE_RETURN_IF_ERROR(file_.BeginPrivate(read_only_ ? 0 : kPrivateBuffer, kPrivateBuffer));
    header_ = h;
    header_dirty_ = false;
    private_ = true;
    return Status::Ok();
  }
  private_ = false;
  Status st;
  if (header_dirty_) {
    header_dirty_ = false;
    st = WriteHeader(header_);
    // The file holds exactly its blocks (the last run may end inside its last block).
    if (st.ok()) st = file_.Truncate(BlockOffset(header_.block_count));
  }
  Status ended = file_.EndPrivate();
  return st.ok() ? ended : st;
}

Status AdtMemoFile::Release(uint32_t block) {
  if (block == 0) return Status::Ok();
  auto r = Write(block, {}, MemoKind::kText);
  return r.status();
}

Result<bool> AdtMemoFile::Fits(uint32_t block, size_t length) const {
  if (block == 0) return false;
  if (!private_) file_.DropReadAhead();
  Header h;
  ACE_RETURN_IF_ERROR(ReadHeader(&h));
  Run run;
  if (!ReadRun(block, h.block_count, &run).ok() || run.state != kRunMemo) return false;
  return length <= 0xFFFFFFFFull - kRunHeaderSize && BlocksFor(length) <= run.blocks;
}

Result<MemoSpace> AdtMemoFile::Space() const {
  if (!private_) file_.DropReadAhead();  // the free list as the file holds it now
  Header h;
  ACE_RETURN_IF_ERROR(ReadHeader(&h));
  MemoSpace s;
  s.block_count = h.block_count;
  for (uint32_t cur = h.free_head; cur != 0;) {
    if (s.free_runs > h.block_count) return Corrupt(cur, "free list loops");
    Run run;
    ACE_RETURN_IF_ERROR(ReadRun(cur, h.block_count, &run));
    if (run.state != kRunFree) return Corrupt(cur, "free list points at a memo");
    ++s.free_runs;
    s.free_blocks += run.blocks;
    cur = run.next;
  }
  return s;
}

}  // namespace ace::storage::adt
