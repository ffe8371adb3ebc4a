// Reading and writing .dbt and .fpt memo files (see memo_file.h for the contract).
//
// .dbt (dBase III), blocks of 512 bytes, block 0 is the header:
//   OFFSET SIZE DESCRIPTION
//   0      4    next free block number, little-endian
//   4      12   reserved (zero)
//   16     1    version (0x03)
//   17     495  reserved (zero)
// A memo starts at the beginning of its block and runs to the end mark 0x1A 0x1A.
//
// .fpt, blocks of block-size bytes; the 512-byte header covers the first blocks:
//   OFFSET SIZE DESCRIPTION
//   0      4    next free block number, big-endian
//   4      2    reserved
//   6      2    block size in bytes, big-endian
//   8      504  reserved (zero)
// Every memo starts with a block header:
//   OFFSET SIZE DESCRIPTION
//   0      4    block type, big-endian (0 picture, 1 text, 2 object)
//   4      4    content length in bytes, big-endian
//   8      n    content
#include "engine/storage/dbf/memo_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>

#include "engine/base/error_codes.h"
#include "engine/storage/adt/adt_format.h"

namespace ace::storage::dbf {

namespace {

constexpr uint32_t kHeaderSize = 512;
constexpr uint32_t kDbtBlockSize = 512;
constexpr uint32_t kFptDefaultBlockSize = 64;
constexpr uint32_t kFptMinBlockSize = 16;
constexpr uint32_t kFptBlockHeader = 8;
constexpr uint8_t kDbtEndMark = 0x1A;
constexpr uint64_t kMaxMemoFileSize = 0xFFFFFFFFull;  // block numbers and offsets are 32-bit

static_assert(kHeaderSize % kDbtBlockSize == 0, "the .dbt header is exactly one block");
static_assert(kFptBlockHeader == 4 + 4, "block type and length words");

uint32_t GetBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
uint32_t GetLe32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

Status Corrupt(const std::string& path, const std::string& what) {
  return Status(kErrCorruptFile, path + ": " + what);
}

// What identifies a file and its state as this process left it.
struct FileState {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = -1;
  int64_t modified_ns = -1;
};

bool StateOf(int fd, FileState* state) {
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) return false;
  state->device = st.st_dev;
  state->inode = st.st_ino;
  state->size = st.st_size;
  state->modified_ns = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

}  // namespace

// The runs this process gave out in one memo file, shared by its MemoFiles on that file.
struct RunBook {
  std::mutex mutex;
  std::map<uint32_t, uint64_t> runs;  // first block -> blocks
  int users = 0;
  FileState left;  // size and time after this process's last write
};

namespace {

// The books by device and inode; they live until the process ends (a later open of an
// unchanged file finds its runs again).
std::mutex& BooksMutex() {
  static std::mutex* const mutex = new std::mutex;
  return *mutex;
}
std::map<std::pair<uint64_t, uint64_t>, std::shared_ptr<RunBook>>& Books() {
  static auto* const books = new std::map<std::pair<uint64_t, uint64_t>, std::shared_ptr<RunBook>>;
  return *books;
}

}  // namespace

MemoFile::~MemoFile() {
  LeaveBook();
}

MemoFile::MemoFile(MemoFile&& other) noexcept
    : file_(std::move(other.file_)),
      format_(other.format_),
      block_size_(other.block_size_),
      next_free_(other.next_free_),
      read_only_(other.read_only_),
      book_(std::move(other.book_)) {}

MemoFile& MemoFile::operator=(MemoFile&& other) noexcept {
  if (this == &other) return *this;
  LeaveBook();
  file_ = std::move(other.file_);
  format_ = other.format_;
  block_size_ = other.block_size_;
  next_free_ = other.next_free_;
  read_only_ = other.read_only_;
  book_ = std::move(other.book_);
  return *this;
}

void MemoFile::JoinBook() {
  FileState now;
  if (!StateOf(file_.fd(), &now)) return;  // runs are then known by their length only
  std::shared_ptr<RunBook> book;
  {
    std::lock_guard<std::mutex> lock(BooksMutex());
    auto& slot = Books()[{now.device, now.inode}];
    if (slot == nullptr) slot = std::make_shared<RunBook>();
    book = slot;
  }
  std::lock_guard<std::mutex> lock(book->mutex);
  // Nobody of this process has the file open: its runs hold only if nobody changed it since.
  if (book->users == 0 &&
      (book->left.size != now.size || book->left.modified_ns != now.modified_ns)) {
    book->runs.clear();
  }
  ++book->users;
  book_ = std::move(book);
}

void MemoFile::LeaveBook() {
  if (book_ == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(book_->mutex);
    --book_->users;
  }
  book_.reset();
}

uint64_t MemoFile::KnownRun(uint32_t block) const {
  if (book_ == nullptr) return 0;
  std::lock_guard<std::mutex> lock(book_->mutex);
  auto run = book_->runs.find(block);
  return run == book_->runs.end() ? 0 : run->second;
}

void MemoFile::NoteRun(uint32_t block, uint64_t blocks) {
  // A file in private use is being built: its runs are laid one after the other and never
  // rewritten there, and keeping a note per memo would grow with the table.
  if (book_ == nullptr || private_) return;
  std::lock_guard<std::mutex> lock(book_->mutex);
  book_->runs[block] = blocks;
}

void MemoFile::Abandon(uint32_t block) {
  if (book_ == nullptr) return;
  std::lock_guard<std::mutex> lock(book_->mutex);
  book_->runs.erase(block);
}

void MemoFile::ForgetRunsFrom(uint32_t first) {
  if (book_ == nullptr) return;
  std::lock_guard<std::mutex> lock(book_->mutex);
  book_->runs.erase(book_->runs.lower_bound(first), book_->runs.end());
}

void MemoFile::StampBook() {
  if (private_) return;  // stamped when private use ends
  FileState now;
  if (book_ == nullptr || !StateOf(file_.fd(), &now)) return;
  std::lock_guard<std::mutex> lock(book_->mutex);
  book_->left = now;
}

Result<MemoFile> MemoFile::Create(const std::string& path, MemoFormat format, uint16_t block_size,
                                  bool truncate) {
  uint32_t bs = block_size;
  if (format == MemoFormat::kDbt) {
    if (bs != 0 && bs != kDbtBlockSize) {
      return Status(kErrInvalidArgument,
                    path + ": a .dbt memo file has blocks of 512 bytes, not " + std::to_string(bs));
    }
    bs = kDbtBlockSize;
  } else {
    if (bs == 0) bs = kFptDefaultBlockSize;
    if (bs < kFptMinBlockSize) {
      return Status(kErrInvalidArgument, path + ": memo block size " + std::to_string(bs) +
                                             " is below the smallest of " +
                                             std::to_string(kFptMinBlockSize) + " bytes");
    }
  }
  auto file = File::Open(path, truncate ? OpenMode::kCreateTruncate : OpenMode::kCreateNew);
  if (!file.ok()) return file.status();
  MemoFile memo;
  memo.file_ = std::move(file).value();
  memo.format_ = format;
  memo.block_size_ = bs;
  memo.next_free_ = memo.first_data_block();
  // The header is padded to whole blocks so that the first memo starts on a block boundary.
  std::vector<uint8_t> header(uint64_t{memo.next_free_} * bs, 0);
  if (header.size() < kHeaderSize) header.resize(kHeaderSize, 0);
  if (format == MemoFormat::kDbt) {
    PutLe32(header.data(), memo.next_free_);
    header[16] = 0x03;
  } else {
    PutBe32(header.data(), memo.next_free_);
    header[6] = static_cast<uint8_t>(bs >> 8);
    header[7] = static_cast<uint8_t>(bs);
  }
  ACE_RETURN_IF_ERROR(memo.file_.WriteAt(0, header.data(), header.size()));
  memo.JoinBook();
  memo.ForgetRunsFrom(0);  // a truncated file keeps its inode, not its runs
  memo.StampBook();
  return memo;
}

Result<MemoFile> MemoFile::Open(const std::string& path, MemoFormat format, bool read_only) {
  auto file = File::Open(path, read_only ? OpenMode::kReadOnly : OpenMode::kReadWrite);
  if (!file.ok()) return file.status();
  MemoFile memo;
  memo.file_ = std::move(file).value();
  memo.format_ = format;
  memo.read_only_ = read_only;
  ACE_RETURN_IF_ERROR(memo.ReadHeader());
  memo.JoinBook();
  return memo;
}

uint32_t MemoFile::first_data_block() const {
  return (kHeaderSize + block_size_ - 1) / block_size_;
}

Status MemoFile::ReadHeader() {
  std::array<uint8_t, 8> h{};
  size_t got = 0;
  ACE_RETURN_IF_ERROR(file_.ReadSomeAt(0, h.data(), h.size(), &got));
  if (got < h.size()) return Corrupt(path(), "memo file header is truncated");
  if (format_ == MemoFormat::kDbt) {
    block_size_ = kDbtBlockSize;
    next_free_ = GetLe32(h.data());
  } else {
    block_size_ = (uint32_t{h[6]} << 8) | h[7];
    if (block_size_ == 0) return Corrupt(path(), "memo block size is 0");
    next_free_ = GetBe32(h.data());
  }
  if (next_free_ < first_data_block()) {
    return Corrupt(
        path(), "next free memo block " + std::to_string(next_free_) + " lies inside the header");
  }
  return Status::Ok();
}

Status MemoFile::RefreshHeader() {
  if (private_) return Status::Ok();
  return ReadHeader();
}

Status MemoFile::SetPrivate(bool on) {
  if (on == private_) return Status::Ok();
  if (on) {
    ACE_RETURN_IF_ERROR(ReadHeader());
    ACE_RETURN_IF_ERROR(file_.BeginPrivate(read_only_ ? 0 : kPrivateBuffer, kPrivateBuffer));
    private_ = true;
    header_dirty_ = false;
    return Status::Ok();
  }
  private_ = false;
  Status st;
  if (header_dirty_) {
    header_dirty_ = false;
    st = WriteNextFree(next_free_);
  }
  Status ended = file_.EndPrivate();
  if (st.ok()) st = ended;
  StampBook();
  return st;
}

Status MemoFile::WriteNextFree(uint32_t next_free) {
  if (private_) {
    next_free_ = next_free;
    header_dirty_ = true;
    return Status::Ok();
  }
  uint8_t b[4];
  if (format_ == MemoFormat::kDbt) {
    PutLe32(b, next_free);
  } else {
    PutBe32(b, next_free);
  }
  ACE_RETURN_IF_ERROR(file_.WriteAt(0, b, sizeof b));
  next_free_ = next_free;
  return Status::Ok();
}

Result<uint64_t> MemoFile::FileSize() const {
  return file_.Size();
}

uint64_t MemoFile::BlocksFor(uint64_t n) const {
  uint64_t bytes = format_ == MemoFormat::kDbt ? n + 2 : n + kFptBlockHeader;
  return (bytes + block_size_ - 1) / block_size_;
}

Result<uint32_t> MemoFile::Length(uint32_t block, uint32_t* type) const {
  auto size = FileSize();
  if (!size.ok()) return size.status();
  uint64_t offset = uint64_t{block} * block_size_;
  if (block < first_data_block() || offset >= *size) {
    return Corrupt(path(), "memo block " + std::to_string(block) + " lies outside the file");
  }
  if (format_ == MemoFormat::kDbt) {
    auto data = Read(block, type);
    if (!data.ok()) return data.status();
    return static_cast<uint32_t>(data->size());
  }
  uint8_t h[kFptBlockHeader];
  size_t got = 0;
  ACE_RETURN_IF_ERROR(file_.ReadSomeAt(offset, h, sizeof h, &got));
  if (got < sizeof h) {
    return Corrupt(path(), "memo block " + std::to_string(block) + " header is truncated");
  }
  uint32_t length = GetBe32(h + 4);
  if (offset + kFptBlockHeader + length > *size) {
    return Corrupt(path(), "memo at block " + std::to_string(block) + " claims " +
                               std::to_string(length) + " bytes, past the end of the file");
  }
  if (type) *type = GetBe32(h);
  return length;
}

Result<std::vector<uint8_t>> MemoFile::Read(uint32_t block, uint32_t* type) const {
  auto size = FileSize();
  if (!size.ok()) return size.status();
  uint64_t offset = uint64_t{block} * block_size_;
  if (block < first_data_block() || offset >= *size) {
    return Corrupt(path(), "memo block " + std::to_string(block) + " lies outside the file");
  }
  if (format_ == MemoFormat::kFpt) {
    auto length = Length(block, type);
    if (!length.ok()) return length.status();
    std::vector<uint8_t> data(*length);
    if (!data.empty()) {
      ACE_RETURN_IF_ERROR(file_.ReadAt(offset + kFptBlockHeader, data.data(), data.size()));
    }
    return data;
  }
  // .dbt: the memo runs to its end mark; it must come before the end of the file.
  if (type) *type = kFptText;
  std::vector<uint8_t> data;
  std::vector<uint8_t> chunk(kDbtBlockSize * 8);
  uint64_t pos = offset;
  while (pos < *size) {
    size_t got = 0;
    ACE_RETURN_IF_ERROR(file_.ReadSomeAt(pos, chunk.data(), chunk.size(), &got));
    if (got == 0) break;
    auto end = std::find(chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(got), kDbtEndMark);
    data.insert(data.end(), chunk.begin(), end);
    if (end != chunk.begin() + static_cast<ptrdiff_t>(got)) return data;
    pos += got;
  }
  return Corrupt(path(), "memo at block " + std::to_string(block) +
                             " has no end mark before the end of the file");
}

uint64_t MemoFile::OccupiedBlocks(uint32_t block, bool ours) const {
  auto length = Length(block);
  if (!length.ok()) return 0;
  uint64_t blocks = BlocksFor(*length);
  // A .dbt memo of another program may end with a single end mark: only the blocks that hold
  // content and one mark are surely its own.
  if (format_ == MemoFormat::kDbt && !ours) blocks = (*length + 1 + block_size_ - 1) / block_size_;
  // Blocks past the allocation mark are not known to be this memo's alone.
  if (uint64_t{block} + blocks > next_free_) return 0;
  return blocks;
}

uint64_t MemoFile::RunBlocks(uint32_t block, bool ours) const {
  const uint64_t occupied = OccupiedBlocks(block, ours);
  const uint64_t run = KnownRun(block);
  if (occupied == 0 || run == 0 || uint64_t{block} + run > next_free_) return occupied;
  return std::max(occupied, run);
}

Result<uint32_t> MemoFile::Write(uint32_t old_block, std::span<const uint8_t> data, uint32_t type) {
  return Store(old_block, data, type, false);
}

Result<uint32_t> MemoFile::WritePending(uint32_t block, std::span<const uint8_t> data,
                                        uint32_t type) {
  return Store(block, data, type, true);
}

bool MemoFile::Fits(uint32_t block, uint64_t length) const {
  return block != 0 && BlocksFor(length) <= RunBlocks(block);
}

Status MemoFile::Discard(uint32_t block) {
  if (read_only_) return Status(kErrTableReadOnly, path() + ": memo file is open read-only");
  if (block == 0) return Status::Ok();
  adt::BookkeepingLock lock;
  ACE_RETURN_IF_ERROR(lock.Acquire(file_, true));
  ACE_RETURN_IF_ERROR(ReadHeader());
  const uint64_t blocks = RunBlocks(block, true);
  auto size = FileSize();
  if (!size.ok()) return size.status();
  if (blocks == 0 || block + blocks != next_free_ || *size > uint64_t{next_free_} * block_size_) {
    Abandon(block);
    return Status::Ok();
  }
  ForgetRunsFrom(block);
  ACE_RETURN_IF_ERROR(WriteNextFree(block));
  ACE_RETURN_IF_ERROR(file_.Truncate(uint64_t{block} * block_size_));
  StampBook();
  return Status::Ok();
}

Result<uint32_t> MemoFile::Store(uint32_t old_block, std::span<const uint8_t> data, uint32_t type,
                                 bool pending) {
  if (read_only_) return Status(kErrTableReadOnly, path() + ": memo file is open read-only");
  if (format_ == MemoFormat::kDbt &&
      std::find(data.begin(), data.end(), kDbtEndMark) != data.end()) {
    return Status(kErrInvalidArgument,
                  path() + ": a dBase III memo cannot hold the byte 0x1A (its end mark)");
  }
  adt::BookkeepingLock lock;
  if (!private_) {
    ACE_RETURN_IF_ERROR(lock.Acquire(file_, true));
    // Another user may have added memos since this file was opened.
    ACE_RETURN_IF_ERROR(ReadHeader());
  }
  uint64_t needed = BlocksFor(data.size());
  std::vector<uint8_t> image;
  image.reserve(needed * block_size_);
  if (format_ == MemoFormat::kFpt) {
    image.resize(kFptBlockHeader);
    PutBe32(image.data(), type);
    PutBe32(image.data() + 4, static_cast<uint32_t>(data.size()));
  }
  image.insert(image.end(), data.begin(), data.end());
  if (format_ == MemoFormat::kDbt) {
    image.push_back(kDbtEndMark);
    image.push_back(kDbtEndMark);
  }

  // The memo keeps its whole run, also when the new content needs less of it.
  const uint64_t run = old_block != 0 ? RunBlocks(old_block, pending) : 0;
  if (old_block != 0 && needed <= run) {
    ACE_RETURN_IF_ERROR(
        file_.WriteAt(uint64_t{old_block} * block_size_, image.data(), image.size()));
    NoteRun(old_block, run);
    StampBook();
    return old_block;
  }

  auto size = FileSize();
  if (!size.ok()) return size.status();
  // A pending memo that ends the file grows or shrinks where it lies: nothing points at it.
  const uint64_t own = pending ? run : 0;
  if (own != 0 && old_block + own == next_free_ && *size <= uint64_t{next_free_} * block_size_ &&
      (uint64_t{old_block} + needed) * block_size_ <= kMaxMemoFileSize) {
    image.resize(needed * block_size_, 0);
    ACE_RETURN_IF_ERROR(
        file_.WriteAt(uint64_t{old_block} * block_size_, image.data(), image.size()));
    const uint64_t end = old_block + needed;
    if (end < next_free_) ACE_RETURN_IF_ERROR(file_.Truncate(end * block_size_));
    ACE_RETURN_IF_ERROR(WriteNextFree(static_cast<uint32_t>(end)));
    NoteRun(old_block, needed);
    StampBook();
    return old_block;
  }
  // New blocks go after everything the file holds, even when the header claims less.
  uint64_t block = std::max<uint64_t>(next_free_, (*size + block_size_ - 1) / block_size_);
  uint64_t end = (block + needed) * block_size_;
  if (end > kMaxMemoFileSize || block + needed > 0xFFFFFFFFull) {
    return Status(kErrValueOutOfRange,
                  path() +
                      ": the memo file would pass 4 GiB, which its 32-bit block numbers "
                      "cannot address");
  }
  image.resize(needed * block_size_, 0);  // whole blocks, so the file ends on a block boundary
  ACE_RETURN_IF_ERROR(file_.WriteAt(block * block_size_, image.data(), image.size()));
  ACE_RETURN_IF_ERROR(WriteNextFree(static_cast<uint32_t>(block + needed)));
  NoteRun(static_cast<uint32_t>(block), needed);
  StampBook();
  return static_cast<uint32_t>(block);
}

}  // namespace ace::storage::dbf
