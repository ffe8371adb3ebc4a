// AdtTableFile: opening, creating, reading and writing ADT tables, header bookkeeping, the
// deleted-record free list, pack and zap (see adt_table_file.h; bytes in adt_format.h).
#include "engine/storage/adt/adt_table_file.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>

#include "engine/base/callbacks.h"
#include "engine/base/error_codes.h"
#include "engine/storage/adt/adt_format.h"
#include "engine/storage/adt/adt_table.h"
#include "engine/storage/replace_files.h"

namespace ace::storage {

Result<std::unique_ptr<TableFile>> OpenAdtTable(const std::string& path,
                                                const OpenOptions& options) {
  auto t = adt::AdtTableFile::Open(path, options);
  if (!t.ok()) return t.status();
  return std::unique_ptr<TableFile>(std::move(t.value()));
}

Result<std::unique_ptr<TableFile>> CreateAdtTable(const std::string& path,
                                                  const std::vector<FieldSpec>& fields,
                                                  const CreateOptions& options) {
  auto t = adt::AdtTableFile::Create(path, fields, options);
  if (!t.ok()) return t.status();
  return std::unique_ptr<TableFile>(std::move(t.value()));
}

}  // namespace ace::storage

namespace ace::storage::adt {

namespace {

constexpr size_t kCopyChunk = 1 << 20;
constexpr size_t kScanWindow = 64 << 10;

uint64_t NewTableId() {
  std::random_device rd;
  uint64_t id = 0;
  while (id == 0) id = (static_cast<uint64_t>(rd()) << 32) ^ rd();
  return id;
}

// The memo file name: the data file's extension replaced by .adm (.ADM beside an upper-case
// extension), or .adm appended when there is none.
std::string MemoPathFor(const std::string& path) {
  std::string p = NormalizePath(path);
  size_t slash = p.rfind('/');
  size_t dot = p.rfind('.');
  bool has_ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  std::string ext = has_ext ? p.substr(dot + 1) : "";
  bool upper = !ext.empty() &&
               std::all_of(ext.begin(), ext.end(), [](char c) { return !(c >= 'a' && c <= 'z'); });
  return (has_ext ? p.substr(0, dot) : p) + (upper ? ".ADM" : ".adm");
}

std::vector<std::byte> BuildLayout(const std::vector<FieldDesc>& fields, uint32_t record_length,
                                   uint8_t flags, uint16_t char_type, uint16_t memo_block_size,
                                   uint64_t table_id, const std::string& collation,
                                   const crypt::KeyParams* key) {
  std::vector<std::byte> b(kHeaderSize + fields.size() * kDescSize);
  std::memcpy(b.data() + kOffMagic, kAdtMagic, sizeof kAdtMagic);
  b[kOffVersion] = std::byte{kAdtVersion};
  b[kOffFlags] = std::byte{flags};
  Put16(b.data() + kOffCharType, char_type);
  Put16(b.data() + kOffFieldCount, static_cast<uint16_t>(fields.size()));
  Put16(b.data() + kOffMemoBlockSize, memo_block_size);
  Put32(b.data() + kOffRecordLength, record_length);
  Put64(b.data() + kOffDataOffset, b.size());
  Put64(b.data() + kOffTableId, table_id);
  std::memcpy(b.data() + kOffCollation, collation.data(), collation.size());
  if (key != nullptr) {
    b[kOffFlags] = std::byte{static_cast<uint8_t>(flags | kFlagEncrypted)};
    EncodeEncryptionBlock(*key, b.data() + kOffEncryption);
  } else {
    b[kOffFlags] = std::byte{static_cast<uint8_t>(flags & ~kFlagEncrypted)};
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    EncodeDescriptor(fields[i], b.data() + kHeaderSize + i * kDescSize);
  }
  Put32(b.data() + kOffCrc, LayoutCrc(b));
  return b;
}

void EncodeMutable(std::byte* m, uint64_t counter, uint32_t count, uint32_t free_head,
                   uint32_t autoinc_next) {
  std::memset(m, 0, kMutableSize);
  Put64(m + (kOffChangeCounter - kOffMutable), counter);
  Put32(m + (kOffRecordCount - kOffMutable), count);
  Put32(m + (kOffFreeHead - kOffMutable), free_head);
  Put32(m + (kOffAutoincNext - kOffMutable), autoinc_next);
}

bool ValidStatus(uint8_t s) {
  return ValidStatusByte(s);
}

uint8_t PlainStatus(uint8_t s) {
  return static_cast<uint8_t>(s & ~kStatusEncryptedBit);
}

}  // namespace

// ---- opening and creating ----

Result<std::unique_ptr<AdtTableFile>> AdtTableFile::Open(const std::string& path,
                                                         const OpenOptions& options) {
  std::unique_ptr<AdtTableFile> t(new AdtTableFile());
  t->read_only_ = options.read_only;
  auto file = File::Open(path, options.read_only ? OpenMode::kReadOnly : OpenMode::kReadWrite);
  if (!file.ok()) return file.status();
  t->data_ = std::move(file.value());
  t->path_ = t->data_.path();
  ACE_RETURN_IF_ERROR(t->LoadHeader());
  ACE_RETURN_IF_ERROR(t->ResolveMemoFile());
  return t;
}

Result<std::unique_ptr<AdtTableFile>> AdtTableFile::Create(const std::string& path,
                                                           const std::vector<FieldSpec>& requested,
                                                           const CreateOptions& options) {
  if (options.char_type != 1 && options.char_type != 2) {
    return Status(kErrInvalidArgument,
                  "char type " + std::to_string(options.char_type) + " is not 1 (ANSI) or 2 (OEM)");
  }
  if (options.collation.size() > kMaxCollationLength) {
    return Status(kErrInvalidArgument,
                  "collation name \"" + options.collation + "\" is longer than 63 bytes");
  }
  for (char c : options.collation) {
    if (static_cast<uint8_t>(c) < 0x20) {
      return Status(kErrInvalidArgument, "collation name contains a control character");
    }
  }
  std::vector<FieldDesc> fields;
  auto reclen = LayOutFields(requested, &fields);
  if (!reclen.ok()) return reclen.status().WithContext(NormalizePath(path));
  bool has_memo = std::any_of(fields.begin(), fields.end(),
                              [](const FieldDesc& f) { return IsAdtMemoType(f.type); });
  uint16_t block_size = 0;
  if (has_memo) {
    block_size = options.memo_block_size == 0 ? kDefaultMemoBlockSize : options.memo_block_size;
    if (block_size < kMinMemoBlockSize || block_size > kMaxMemoBlockSize || block_size % 8 != 0) {
      return Status(kErrInvalidArgument, "memo block size " + std::to_string(block_size) +
                                             " is invalid (a multiple of 8 from 64 to 32768)");
    }
  }
  std::string memo_path = MemoPathFor(path);
  if (has_memo && FileExists(memo_path)) {
    return Status(kErrFileExists, memo_path + ": file exists");
  }
  uint64_t id = NewTableId();
  auto layout =
      BuildLayout(fields, reclen.value(), 0, options.char_type, block_size, id, options.collation,
                  nullptr);
  std::byte m[kMutableSize];
  EncodeMutable(m, 1, 0, 0, 1);
  std::memcpy(layout.data() + kOffMutable, m, kMutableSize);
  {
    auto file = File::Open(path, OpenMode::kCreateNew);
    if (!file.ok()) return file.status();
    Status st = file->WriteAt(0, layout.data(), layout.size());
    if (st.ok() && has_memo) {
      auto memo = AdtMemoFile::Create(memo_path, block_size, id, OpenMode::kCreateNew);
      st = memo.status();
    }
    if (!st.ok()) {
      RemoveFile(path).ok();
      if (has_memo) RemoveFile(memo_path).ok();
      return st;
    }
  }
  return Open(path, OpenOptions{});
}

Status AdtTableFile::LoadHeader() {
  std::vector<std::byte> h(kHeaderSize);
  size_t got = 0;
  ACE_RETURN_IF_ERROR(data_.ReadSomeAt(0, h.data(), h.size(), &got));
  if (got < sizeof kAdtMagic || std::memcmp(h.data(), kAdtMagic, sizeof kAdtMagic) != 0) {
    return Status(kErrCorruptFile, path_ + ": not a table file of this format");
  }
  if (got < kHeaderSize) {
    return Status(kErrCorruptFile,
                  path_ + ": table header is truncated (" + std::to_string(got) + " of 256 bytes)");
  }
  uint8_t version = std::to_integer<uint8_t>(h[kOffVersion]);
  if (version != kAdtVersion) {
    return Status(kErrUnsupportedVersion, path_ + ": table format version " +
                                              std::to_string(version) +
                                              " cannot be read by this engine");
  }
  uint8_t flags = std::to_integer<uint8_t>(h[kOffFlags]);
  if ((flags & ~kKnownFlags) != 0) {
    return Status(kErrUnsupportedVersion,
                  path_ + ": table uses features this engine does not know");
  }
  uint16_t nfields = Get16(h.data() + kOffFieldCount);
  if (nfields == 0 || nfields > kMaxFields) {
    return Status(kErrCorruptFile, path_ + ": invalid field count " + std::to_string(nfields));
  }
  uint64_t layout_size = kHeaderSize + uint64_t{nfields} * kDescSize;
  if (Get64(h.data() + kOffDataOffset) != layout_size) {
    return Status(kErrCorruptFile, path_ + ": data offset does not follow the field descriptors");
  }
  h.resize(layout_size);
  ACE_RETURN_IF_ERROR(data_.ReadAt(kHeaderSize, h.data() + kHeaderSize, layout_size - kHeaderSize));
  if (Get32(h.data() + kOffCrc) != LayoutCrc(h)) {
    return Status(kErrCorruptFile, path_ + ": table header checksum does not match");
  }
  ACE_RETURN_IF_ERROR(ParseLayout(h));
  ACE_RETURN_IF_ERROR(ParseEncryption(h));
  layout_ = std::move(h);
  BookkeepingLock lock;
  ACE_RETURN_IF_ERROR(lock.Acquire(data_, !read_only_));
  ACE_RETURN_IF_ERROR(ReadMutable());
  // Scans read records in windows (File::SetReadAhead); RefreshHeader tells when they go stale.
  data_.SetReadAhead(kScanWindow);
  return Status::Ok();
}

// Takes char type, collation, field descriptors and memo block size from a header whose
// checksum held, checking them as strictly as the fixed part.
Status AdtTableFile::ParseLayout(const std::vector<std::byte>& h) {
  uint16_t nfields = Get16(h.data() + kOffFieldCount);
  uint16_t char_type = Get16(h.data() + kOffCharType);
  if (char_type != 1 && char_type != 2) {
    return Status(kErrCorruptFile, path_ + ": invalid char type " + std::to_string(char_type));
  }
  std::vector<FieldDesc> fields;
  for (uint16_t i = 0; i < nfields; ++i) {
    fields.push_back(DecodeDescriptor(h.data() + kHeaderSize + size_t{i} * kDescSize));
  }
  auto reclen = CheckStoredFields(fields, path_);
  if (!reclen.ok()) return reclen.status();
  if (reclen.value() != Get32(h.data() + kOffRecordLength)) {
    return Status(kErrCorruptFile, path_ + ": record length does not match the fields");
  }
  bool has_memo = std::any_of(fields.begin(), fields.end(),
                              [](const FieldDesc& f) { return IsAdtMemoType(f.type); });
  uint16_t bs = Get16(h.data() + kOffMemoBlockSize);
  if (has_memo != (bs != 0)) {
    return Status(kErrCorruptFile, path_ + ": memo block size does not match the memo fields");
  }
  const char* coll = reinterpret_cast<const char*>(h.data() + kOffCollation);
  collation_.assign(coll, strnlen(coll, kMaxCollationLength));
  fields_ = std::move(fields);
  SortFieldKinds();
  record_length_ = reclen.value();
  data_offset_ = h.size();
  table_id_ = Get64(h.data() + kOffTableId);
  flags_ = std::to_integer<uint8_t>(h[kOffFlags]);
  char_type_ = char_type;
  memo_block_size_ = bs;
  return Status::Ok();
}

// Finds the memo file. A pack interrupted between its renames leaves the previous memo file as
// "<memo>.old": the file whose table id matches the table is the right one, and it is put back
// in place (only used from where it is when the table is opened read-only).
Status AdtTableFile::ResolveMemoFile() {
  if (memo_block_size_ == 0) return Status::Ok();
  memo_path_ = MemoPathFor(path_);
  if (!FileExists(memo_path_)) {
    std::string other =
        memo_path_.substr(0, memo_path_.size() - 4) + (memo_path_.back() == 'm' ? ".ADM" : ".adm");
    if (FileExists(other)) memo_path_ = other;
  }
  std::string old_path = memo_path_ + ".old";
  std::string use = memo_path_;
  auto current_id = AdtMemoFile::PeekTableId(memo_path_);
  if (!current_id.ok()) return current_id.status();
  if (current_id.value() != table_id_) {
    auto old_id = FileExists(old_path) ? AdtMemoFile::PeekTableId(old_path) : Result<uint64_t>(uint64_t{0});
    if (!old_id.ok()) return old_id.status();
    if (FileExists(old_path) && old_id.value() == table_id_) {
      if (read_only_) {
        use = old_path;
      } else {
        ACE_RETURN_IF_ERROR(RenameFile(old_path, memo_path_));
      }
    } else if (FileExists(memo_path_)) {
      auto probe = AdtMemoFile::Open(memo_path_, true);
      if (!probe.ok()) return probe.status();
      return Status(kErrCorruptFile, memo_path_ + ": memo file belongs to another table");
    } else {
      return Status(kErrFileNotFound, memo_path_ + ": the table's memo file is missing");
    }
  } else if (!read_only_ && FileExists(old_path)) {
    RemoveFile(old_path).ok();
  }
  auto memo = AdtMemoFile::Open(use, read_only_);
  if (!memo.ok()) return memo.status();
  if (memo->block_size() != memo_block_size_) {
    return Status(kErrCorruptFile, use + ": memo block size differs from the table's");
  }
  memo_.emplace(std::move(memo.value()));
  // Memos of a scan lie one after the other as their records do: they are read in windows too,
  // which go whenever the records' window goes (DropWindows).
  memo_->file().SetReadAhead(kScanWindow);
  ApplyCipherToMemo();
  return Status::Ok();
}

// ---- header bookkeeping (callers hold the bookkeeping lock) ----

Status AdtTableFile::ReadMutable() {
  if (private_) return Status::Ok();  // nobody else writes: the header in memory is the truth
  // Whatever changed may have changed records and memos too: the read-ahead windows go.
  DropWindows();
  std::byte m[kMutableSize];
  ACE_RETURN_IF_ERROR(data_.ReadFreshAt(kOffMutable, m, sizeof m));
  change_counter_ = Get64(m + (kOffChangeCounter - kOffMutable));
  uint32_t count = Get32(m + (kOffRecordCount - kOffMutable));
  free_head_ = Get32(m + (kOffFreeHead - kOffMutable));
  autoinc_next_ = Get32(m + (kOffAutoincNext - kOffMutable));
  auto size = data_.Size();
  if (!size.ok()) return size.status();
  // A count beyond what the file holds (a truncated file) is cut to the whole records there.
  uint64_t held = size.value() > data_offset_ ? (size.value() - data_offset_) / record_length_ : 0;
  count_ = static_cast<uint32_t>(std::min<uint64_t>(count, held));
  if (free_head_ > count_) free_head_ = 0;
  for (auto& f : fields_) {
    if (f.type == kFtAutoInc) f.autoinc_next = autoinc_next_;
  }
  return Status::Ok();
}

Status AdtTableFile::WriteMutable() {
  if (!autoinc_fields_.empty()) {
    for (auto& f : fields_) {
      if (f.type == kFtAutoInc) f.autoinc_next = autoinc_next_;
    }
  }
  if (private_) {
    header_dirty_ = true;  // written when private use ends
    return Status::Ok();
  }
  std::byte m[kMutableSize];
  EncodeMutable(m, change_counter_, count_, free_head_, autoinc_next_);
  return data_.WriteAt(kOffMutable, m, sizeof m);
}

Status AdtTableFile::SetPrivate(bool on) {
  if (on == private_) return Status::Ok();
  if (on) {
    ACE_RETURN_IF_ERROR(RefreshHeader());
    ACE_RETURN_IF_ERROR(data_.BeginPrivate(read_only_ ? 0 : kPrivateBuffer, kPrivateBuffer));
    if (memo_) {
      Status st = memo_->SetPrivate(true);
      if (!st.ok()) {
        (void)data_.EndPrivate();
        return st;
      }
    }
    private_ = true;
    header_dirty_ = false;
    return Status::Ok();
  }
  private_ = false;
  Status st;
  if (header_dirty_) {
    header_dirty_ = false;
    st = WriteMutable();
  }
  Status ended = data_.EndPrivate();
  if (st.ok()) st = ended;
  if (memo_) {
    Status memo_ended = memo_->SetPrivate(false);
    if (st.ok()) st = memo_ended;
  }
  return st;
}

// Every change of the table by any user moves the change counter, in the same hold of the
// bookkeeping lock as the change itself. A header whose changing part (counter, count, free
// list, autoincrement) is what this object last saw or set there therefore says that the
// records read since are still what the file holds, and it is not read again under the lock;
// that one read does without the lock, since a torn header can only differ from the known one.
void AdtTableFile::DropWindows() const {
  data_.DropReadAhead();
  if (memo_) memo_->file().DropReadAhead();
}

Status AdtTableFile::RefreshHeader() {
  if (private_) return Status::Ok();
  std::byte now[kMutableSize];
  ACE_RETURN_IF_ERROR(data_.ReadFreshAt(kOffMutable, now, sizeof now));
  std::byte known[kMutableSize];
  EncodeMutable(known, change_counter_, count_, free_head_, autoinc_next_);
  if (std::memcmp(now, known, sizeof now) == 0) return Status::Ok();
  BookkeepingLock lock;
  ACE_RETURN_IF_ERROR(lock.Acquire(data_, !read_only_));
  return ReadMutable();
}

Status AdtTableFile::Flush() {
  if (private_ && header_dirty_) {
    std::byte m[kMutableSize];
    EncodeMutable(m, change_counter_, count_, free_head_, autoinc_next_);
    ACE_RETURN_IF_ERROR(data_.WriteAt(kOffMutable, m, sizeof m));
    header_dirty_ = false;
  }
  ACE_RETURN_IF_ERROR(data_.Sync());
  if (memo_) ACE_RETURN_IF_ERROR(memo_->Sync());
  return Status::Ok();
}

Status AdtTableFile::CheckWritable() const {
  if (read_only_) return Status(kErrTableReadOnly, path_ + ": table is opened read-only");
  return Status::Ok();
}

Status AdtTableFile::CheckRecno(uint32_t recno) const {
  if (recno == 0 || recno > count_) {
    return Status(kErrInvalidRecordNumber, path_ + ": record " + std::to_string(recno) +
                                               " does not exist (the table has " +
                                               std::to_string(count_) + ")");
  }
  return Status::Ok();
}

// ---- records ----

std::vector<std::byte> AdtTableFile::BlankRecord() const {
  std::vector<std::byte> rec(record_length_);
  rec[0] = std::byte{kStatusLive};
  for (const auto& f : fields_) WriteNull(rec.data(), f);
  return rec;
}

bool AdtTableFile::IsDeleted(const std::byte* image) const {
  return (std::to_integer<uint8_t>(image[0]) & kStatusDeletedBit) != 0;
}

void AdtTableFile::SetDeleted(std::byte* image, bool deleted) const {
  uint8_t s = std::to_integer<uint8_t>(image[0]);
  if (deleted) {
    image[0] = std::byte{s == kStatusFree ? kStatusFree : kStatusDeleted};
  } else {
    image[0] = std::byte{kStatusLive};
  }
}

Status AdtTableFile::ReadRaw(uint32_t recno, std::byte* image, bool check_fields) const {
  ACE_RETURN_IF_ERROR(
      data_.ReadAt(RecordOffset(data_offset_, record_length_, recno), image, record_length_));
  return CheckImage(recno, image, check_fields);
}

// The checks of a record image just read, and its deciphering.
Status AdtTableFile::CheckImage(uint32_t recno, std::byte* image, bool check_fields) const {
  if (!ValidStatus(std::to_integer<uint8_t>(image[0]))) {
    return Status(kErrCorruptFile,
                  path_ + ": record " + std::to_string(recno) + " has an invalid status byte");
  }
  ACE_RETURN_IF_ERROR(DecipherImage(recno, image));
  if (const FieldDesc* bad = check_fields ? BadLength(image) : nullptr) {
    return Status(kErrCorruptFile, path_ + ": record " + std::to_string(recno) + ": field \"" +
                                       bad->name + "\" has a length beyond its size");
  }
  return Status::Ok();
}

Status AdtTableFile::ReadRecord(uint32_t recno, std::byte* image) {
  ACE_RETURN_IF_ERROR(CheckRecno(recno));
  return ReadRaw(recno, image);
}

// The records lie one after the other, so a run is read in one piece; each image then gets the
// checks ReadRecord makes.
Status AdtTableFile::ReadRecords(uint32_t first, uint32_t count, std::byte* images) {
  if (count == 0) return Status::Ok();
  ACE_RETURN_IF_ERROR(CheckRecno(first));
  if (count > count_ - first + 1) return CheckRecno(count_ + 1);  // the run goes past the end
  ACE_RETURN_IF_ERROR(data_.ReadAt(RecordOffset(data_offset_, record_length_, first), images,
                                   size_t{count} * record_length_));
  for (uint32_t i = 0; i < count; ++i)
    ACE_RETURN_IF_ERROR(CheckImage(first + i, images + size_t{i} * record_length_, true));
  return Status::Ok();
}

Status AdtTableFile::ReadStatus(uint32_t recno, uint8_t* status, uint32_t* link) const {
  std::byte h[kRecordHeaderSize];
  ACE_RETURN_IF_ERROR(data_.ReadAt(RecordOffset(data_offset_, record_length_, recno), h, sizeof h));
  *status = PlainStatus(std::to_integer<uint8_t>(h[0]));
  *link = Get32(h + 1);
  return Status::Ok();
}

// The enciphered bit of the stored status stays: the record's field data is not rewritten.
Status AdtTableFile::WriteStatus(uint32_t recno, uint8_t status, uint32_t link) {
  std::byte h[kRecordHeaderSize];
  ACE_RETURN_IF_ERROR(data_.ReadAt(RecordOffset(data_offset_, record_length_, recno), h, 1));
  uint8_t stored = std::to_integer<uint8_t>(h[0]);
  h[0] = std::byte{static_cast<uint8_t>(PlainStatus(status) | (stored & kStatusEncryptedBit))};
  Put32(h + 1, link);
  return data_.WriteAt(RecordOffset(data_offset_, record_length_, recno), h, sizeof h);
}

// Removes a record from the free list. A damaged list (a link to a record that is not free, or
// out of range) is cut there: the records behind it are no longer reused, none is reused twice.
Status AdtTableFile::Unlink(uint32_t recno) {
  uint32_t prev = 0;
  uint32_t cur = free_head_;
  for (uint32_t steps = 0; cur != 0; ++steps) {
    uint8_t status = 0;
    uint32_t link = 0;
    ACE_RETURN_IF_ERROR(ReadStatus(cur, &status, &link));
    bool damaged = steps > count_ || status != kStatusFree || link > count_;
    if (damaged || cur == recno) {
      uint32_t after = damaged ? 0 : link;
      if (prev == 0) {
        free_head_ = after;
      } else {
        ACE_RETURN_IF_ERROR(WriteStatus(prev, kStatusFree, after));
      }
      return Status::Ok();
    }
    prev = cur;
    cur = link;
  }
  return Status::Ok();
}

// Pops the head of the free list; 0 when there is none usable.
Result<uint32_t> AdtTableFile::TakeFreeRecord() {
  if (!reuse_deleted() || free_head_ == 0) return 0u;
  uint32_t head = free_head_;
  uint8_t status = 0;
  uint32_t link = 0;
  ACE_RETURN_IF_ERROR(ReadStatus(head, &status, &link));
  if (status != kStatusFree || link > count_) {
    free_head_ = 0;
    return 0u;
  }
  free_head_ = link;
  return head;
}

// Row version and modification time fields of rec get the next change counter and now. The
// counter is re-read under the bookkeeping lock before every change, so values never repeat.
void AdtTableFile::SortFieldKinds() {
  length_word_fields_.clear();
  autoinc_fields_.clear();
  stamped_fields_.clear();
  for (const auto& f : fields_) {
    if (HasLengthWord(f.type)) length_word_fields_.push_back(f);
    if (f.type == kFtAutoInc) autoinc_fields_.push_back(f);
    if (f.type == kFtRowVersion || f.type == kFtModTime) stamped_fields_.push_back(f);
  }
}

const FieldDesc* AdtTableFile::BadLength(const std::byte* image) const {
  return BadLengthWord(image, length_word_fields_);
}

void AdtTableFile::Stamp(std::byte* rec) {
  ++change_counter_;
  uint32_t day = 0, ms = 0;
  bool have_time = false;
  for (const auto& f : stamped_fields_) {
    if (f.type == kFtRowVersion) Put64(rec + f.offset, change_counter_);
    if (f.type == kFtModTime) {
      if (!have_time) NowJulian(&day, &ms);
      have_time = true;
      Put32(rec + f.offset, day);
      Put32(rec + f.offset + 4, ms);
    }
  }
}

// Autoincrement fields: null or 0 keep the stored value (write) or take the next one (append,
// old == nullptr); an explicit value moves the next value past it.
Status AdtTableFile::NoteAutoinc(const std::byte* rec, const std::byte* old, std::byte* out) {
  bool took = false;
  for (const auto& f : autoinc_fields_) {
    uint32_t v = Get32(rec + f.offset);
    if (v == 0xFFFFFFFFu || v == 0) {
      if (old != nullptr) {
        std::memcpy(out + f.offset, old + f.offset, 4);
        continue;
      }
      if (autoinc_next_ == 0 || autoinc_next_ > 0x7FFFFFFFu) {
        return Status(kErrValueOutOfRange,
                      path_ + ": autoincrement field \"" + f.name + "\" has no values left");
      }
      Put32(out + f.offset, autoinc_next_);
      took = true;
    } else if (static_cast<int32_t>(v) > 0 && v >= autoinc_next_) {
      autoinc_next_ = v + 1;
    }
  }
  if (took) ++autoinc_next_;
  return Status::Ok();
}

Status AdtTableFile::WriteRecord(uint32_t recno, const std::byte* image) {
  ACE_RETURN_IF_ERROR(CheckWritableContent());
  if (const FieldDesc* bad = BadLength(image)) {
    return Status(kErrInvalidArgument,
                  path_ + ": field \"" + bad->name + "\": length word exceeds the field's size");
  }
  BookkeepingLock lock;
  ACE_RETURN_IF_ERROR(lock.Acquire(data_, true));
  ACE_RETURN_IF_ERROR(ReadMutable());
  ACE_RETURN_IF_ERROR(CheckRecno(recno));
  // The old record's status must be sound (it tells the free-list state); its field contents
  // need not be, so a damaged record can be overwritten with a good image.
  std::vector<std::byte> old(record_length_);
  ACE_RETURN_IF_ERROR(ReadRaw(recno, old.data(), false));
  std::vector<std::byte> rec(image, image + record_length_);
  uint8_t old_status = std::to_integer<uint8_t>(old[0]);
  bool was_deleted = (old_status & kStatusDeletedBit) != 0;
  bool deleted = IsDeleted(image);
  uint8_t status = kStatusLive;
  uint32_t link = 0;
  if (deleted && was_deleted) {
    status = old_status;
    link = Get32(old.data() + 1);
  } else if (deleted && reuse_deleted()) {
    status = kStatusFree;
    link = free_head_;
    free_head_ = recno;
  } else if (deleted) {
    status = kStatusDeleted;
  } else if (old_status == kStatusFree) {
    ACE_RETURN_IF_ERROR(Unlink(recno));
  }
  rec[0] = std::byte{status};
  Put32(rec.data() + 1, link);
  ACE_RETURN_IF_ERROR(NoteAutoinc(image, old.data(), rec.data()));
  Stamp(rec.data());
  std::vector<std::byte> stored(rec);
  ACE_RETURN_IF_ERROR(EncipherForWrite(recno, stored.data()));
  ACE_RETURN_IF_ERROR(data_.WriteAt(RecordOffset(data_offset_, record_length_, recno),
                                    stored.data(), stored.size()));
  ForgetPending(rec.data());
  return WriteMutable();
}

Result<uint32_t> AdtTableFile::AppendRecord(const std::byte* image) {
  return Append(image, nullptr);
}

Result<uint32_t> AdtTableFile::AppendReplacing(const std::byte* image,
                                               std::vector<std::byte>* replaced) {
  replaced->clear();
  return Append(image, replaced);
}

Result<uint32_t> AdtTableFile::NextAppendRecno() {
  BookkeepingLock lock;
  ACE_RETURN_IF_ERROR(lock.Acquire(data_, !read_only_));
  ACE_RETURN_IF_ERROR(ReadMutable());
  if (reuse_deleted() && free_head_ != 0) {
    uint8_t status = 0;
    uint32_t link = 0;
    ACE_RETURN_IF_ERROR(ReadStatus(free_head_, &status, &link));
    // TakeFreeRecord gives up a damaged head the same way.
    if (status == kStatusFree && link <= count_) return free_head_;
  }
  if (count_ == 0xFFFFFFFFu) return Status(kErrDiskFull, path_ + ": table is full");
  return count_ + 1;
}

Result<uint32_t> AdtTableFile::Append(const std::byte* image, std::vector<std::byte>* replaced) {
  ACE_RETURN_IF_ERROR(CheckWritableContent());
  if (const FieldDesc* bad = BadLength(image)) {
    return Status(kErrInvalidArgument,
                  path_ + ": field \"" + bad->name + "\": length word exceeds the field's size");
  }
  BookkeepingLock lock;
  if (!private_) ACE_RETURN_IF_ERROR(lock.Acquire(data_, true));
  ACE_RETURN_IF_ERROR(ReadMutable());
  // The record as it is written, in a buffer kept for the next append.
  std::vector<std::byte>& rec = append_buffer_;
  rec.assign(image, image + record_length_);
  uint32_t saved_autoinc = autoinc_next_;
  uint32_t saved_head = free_head_;
  ACE_RETURN_IF_ERROR(NoteAutoinc(image, nullptr, rec.data()));
  auto reused = TakeFreeRecord();
  if (!reused.ok()) return reused.status();
  uint32_t recno = reused.value();
  if (recno == 0) {
    if (count_ == 0xFFFFFFFFu) return Status(kErrDiskFull, path_ + ": table is full");
    recno = count_ + 1;
  } else if (replaced != nullptr) {
    // The deleted record as it lies in its place, for the caller's indexes (its field contents
    // are not checked: a damaged one still gets overwritten).
    replaced->resize(record_length_);
    Status read = ReadRaw(recno, replaced->data(), false);
    if (!read.ok()) {
      free_head_ = saved_head;
      autoinc_next_ = saved_autoinc;
      replaced->clear();
      return read;
    }
  }
  uint8_t status = kStatusLive;
  uint32_t link = 0;
  if (IsDeleted(image)) {
    status = reuse_deleted() ? kStatusFree : kStatusDeleted;
    if (reuse_deleted()) {
      link = free_head_;
      free_head_ = recno;
    }
  }
  rec[0] = std::byte{status};
  Put32(rec.data() + 1, link);
  Stamp(rec.data());
  std::vector<std::byte> enciphered;
  const std::byte* stored = rec.data();
  Status st;
  if (encrypted()) {
    enciphered = rec;
    st = EncipherForWrite(recno, enciphered.data());
    stored = enciphered.data();
  }
  if (st.ok())
    st = data_.WriteAt(RecordOffset(data_offset_, record_length_, recno), stored, record_length_);
  if (!st.ok()) {
    autoinc_next_ = saved_autoinc;
    free_head_ = saved_head;
    return st;
  }
  ForgetPending(rec.data());
  uint32_t old_count = count_;
  if (recno > count_) count_ = recno;
  st = WriteMutable();
  if (!st.ok()) {
    count_ = old_count;
    autoinc_next_ = saved_autoinc;
    free_head_ = saved_head;
    return st;
  }
  return recno;
}

// In private use, without encryption, reuse of deleted places or pending memos, every record
// goes to the end: the run is prepared in one buffer and written at once, with the header's
// bookkeeping done once. Otherwise record by record.
Status AdtTableFile::AppendRecords(const std::byte* images, uint32_t count) {
  if (!private_ || encrypted() || reuse_deleted() || !pending_.empty()) {
    return TableFile::AppendRecords(images, count);
  }
  ACE_RETURN_IF_ERROR(CheckWritableContent());
  if (count == 0) return Status::Ok();
  if (count > 0xFFFFFFFFu - count_) return Status(kErrDiskFull, path_ + ": table is full");
  const uint32_t saved_autoinc = autoinc_next_;
  const uint64_t saved_counter = change_counter_;
  std::vector<std::byte>& run = append_buffer_;
  run.assign(images, images + size_t{count} * record_length_);
  for (uint32_t i = 0; i < count; ++i) {
    const std::byte* image = images + size_t{i} * record_length_;
    std::byte* rec = run.data() + size_t{i} * record_length_;
    Status st;
    if (const FieldDesc* bad = BadLength(image)) {
      st = Status(kErrInvalidArgument,
                  path_ + ": field \"" + bad->name + "\": length word exceeds the field's size");
    }
    if (st.ok()) st = NoteAutoinc(image, nullptr, rec);
    if (!st.ok()) {
      autoinc_next_ = saved_autoinc;
      change_counter_ = saved_counter;
      return st;
    }
    rec[0] = std::byte{IsDeleted(image) ? kStatusDeleted : kStatusLive};
    Put32(rec + 1, 0);
    Stamp(rec);
  }
  Status st = data_.WriteAt(RecordOffset(data_offset_, record_length_, count_ + 1), run.data(),
                            run.size());
  if (!st.ok()) {
    autoinc_next_ = saved_autoinc;
    change_counter_ = saved_counter;
    return st;
  }
  count_ += count;
  return WriteMutable();
}

Status AdtTableFile::SetReuseDeleted(bool on) {
  ACE_RETURN_IF_ERROR(CheckWritable());
  BookkeepingLock lock;
  ACE_RETURN_IF_ERROR(lock.Acquire(data_, true));
  ACE_RETURN_IF_ERROR(ReadMutable());
  uint32_t head = 0;
  if (on) {
    // Links every deleted record, in ascending order, so that appends fill the lowest first.
    for (uint32_t r = count_; r >= 1; --r) {
      uint8_t status = 0;
      uint32_t link = 0;
      ACE_RETURN_IF_ERROR(ReadStatus(r, &status, &link));
      if (!ValidStatus(status)) {
        return Status(kErrCorruptFile,
                      path_ + ": record " + std::to_string(r) + " has an invalid status byte");
      }
      if ((status & kStatusDeletedBit) == 0) continue;
      ACE_RETURN_IF_ERROR(WriteStatus(r, kStatusFree, head));
      head = r;
    }
  }
  free_head_ = head;
  uint8_t flags = on ? (flags_ | kFlagReuseDeleted) : (flags_ & ~kFlagReuseDeleted);
  layout_[kOffFlags] = std::byte{flags};
  Put32(layout_.data() + kOffCrc, LayoutCrc(layout_));
  ACE_RETURN_IF_ERROR(data_.WriteAt(0, layout_.data(), kOffMutable));
  flags_ = flags;
  ++change_counter_;
  return WriteMutable();
}

// ---- memos ----

Result<const FieldDesc*> AdtTableFile::MemoField(const FieldDesc& field) const {
  // Callers mostly pass one of this table's own descriptions: known without a search.
  const std::less<const FieldDesc*> before;  // a total order, also for unrelated pointers
  if (!before(&field, fields_.data()) && before(&field, fields_.data() + fields_.size()) &&
      IsAdtMemoType(field.type) && memo_)
    return &field;
  for (const auto& f : fields_) {
    if (f.offset == field.offset && f.type == field.type && IsAdtMemoType(f.type) && memo_) {
      return &f;
    }
  }
  return Status(kErrInvalidArgument,
                path_ + ": field \"" + field.name + "\" is not a memo field of this table");
}

Result<std::vector<uint8_t>> AdtTableFile::ReadMemo(const std::byte* image,
                                                    const FieldDesc& field) {
  auto f = MemoField(field);
  if (!f.ok()) return f.status();
  uint32_t block = Get32(image + f.value()->offset);
  if (block == 0) return std::vector<uint8_t>{};
  auto data = memo_->Read(block);
  if (!data.ok()) return data.status().WithContext("field \"" + field.name + "\"");
  return data;
}

Status AdtTableFile::WriteMemo(std::byte* image, const FieldDesc& field,
                               std::span<const uint8_t> data, MemoKind kind) {
  ACE_RETURN_IF_ERROR(CheckWritableContent());
  auto f = MemoField(field);
  if (!f.ok()) return f.status();
  std::byte* slot = image + f.value()->offset;
  auto block = memo_->Write(Get32(slot), data, kind);
  if (!block.ok()) return block.status().WithContext("field \"" + field.name + "\"");
  Put32(slot, block.value());
  return Status::Ok();
}

Result<uint32_t> AdtTableFile::MemoLength(const std::byte* image, const FieldDesc& field) {
  auto f = MemoField(field);
  if (!f.ok()) return f.status();
  uint32_t block = Get32(image + f.value()->offset);
  if (block == 0) return 0u;
  uint32_t length = 0;
  MemoKind kind{};
  ACE_RETURN_IF_ERROR(memo_->Describe(block, &length, &kind));
  return length;
}

Result<MemoKind> AdtTableFile::MemoType(const std::byte* image, const FieldDesc& field) {
  auto f = MemoField(field);
  if (!f.ok()) return f.status();
  uint32_t block = Get32(image + f.value()->offset);
  if (block == 0) {
    if (field.type == kFtBinary) return MemoKind::kBinary;
    if (field.type == kFtImage) return MemoKind::kImage;
    return MemoKind::kText;
  }
  uint32_t length = 0;
  MemoKind kind{};
  ACE_RETURN_IF_ERROR(memo_->Describe(block, &length, &kind));
  return kind;
}

Result<MemoSpace> AdtTableFile::MemoSpaceInfo() const {
  if (!memo_) return Status(kErrInvalidArgument, path_ + ": table has no memo file");
  return memo_->Space();
}

// ---- pack and zap ----

// Writes the new table (and memo file) beside the old ones as "<file>.new", flushes them and
// swaps them in. Until the final rename the old table is untouched; any failure before it
// removes the new files and leaves the table as it was.
Status AdtTableFile::Rewrite(bool keep_records) {
  ACE_RETURN_IF_ERROR(keep_records ? CheckWritableContent() : CheckWritable());
  BookkeepingLock lock;
  ACE_RETURN_IF_ERROR(lock.Acquire(data_, true));
  ACE_RETURN_IF_ERROR(ReadMutable());
  std::string new_data = path_ + ".new";
  std::string new_memo = memo_ ? memo_path_ + ".new" : "";
  uint64_t id = NewTableId();
  auto cleanup = [&](Status st) {
    RemoveFile(new_data).ok();
    if (!new_memo.empty()) RemoveFile(new_memo).ok();
    return st;
  };
  auto layout = BuildLayout(fields_, record_length_, flags_, char_type_, memo_block_size_, id,
                            collation_, key_params());
  auto out = File::Open(new_data, OpenMode::kCreateTruncate);
  if (!out.ok()) return out.status();
  std::optional<AdtMemoFile> out_memo;
  if (memo_) {
    auto m = AdtMemoFile::Create(new_memo, memo_block_size_, id, OpenMode::kCreateTruncate);
    if (!m.ok()) return cleanup(m.status());
    out_memo.emplace(std::move(m.value()));
    out_memo->SetCipher(key_.get(), encrypted());
  }
  uint32_t written = 0;
  if (keep_records) {
    Status st =
        CopyLiveRecords(out.value(), layout.size(), out_memo ? &*out_memo : nullptr, &written);
    if (!st.ok()) return cleanup(st);
  }
  EncodeMutable(layout.data() + kOffMutable, change_counter_ + 1, written, 0, autoinc_next_);
  Status st = out->WriteAt(0, layout.data(), layout.size());
  if (st.ok()) st = out->Sync();
  if (st.ok() && out_memo) st = out_memo->Sync();
  if (!st.ok()) return cleanup(st);
  out->Close();
  out_memo.reset();
  st = SwapIn(new_data, new_memo);
  if (!st.ok()) return cleanup(st);
  lock.Release();
  pending_.clear();  // block numbers of the old memo file
  // Reopen the replaced files; the header and memo file are checked like at any open.
  auto reopened = File::Open(path_, OpenMode::kReadWrite);
  if (!reopened.ok()) return reopened.status();
  data_ = std::move(reopened.value());
  memo_.reset();
  ACE_RETURN_IF_ERROR(LoadHeader());
  return ResolveMemoFile();
}

// Appends the live records to a new data file from pos on, each memo copied into out_memo
// (runs laid one after the other), and answers how many were written. A record or memo that
// cannot be read stops the copy: pack never drops data silently.
Status AdtTableFile::CopyLiveRecords(File& out, uint64_t pos, AdtMemoFile* out_memo,
                                     uint32_t* written) {
  std::vector<std::byte> chunk;
  std::vector<std::byte> rec(record_length_);
  // A pack reports its progress; a stop before the new files are complete leaves the old ones.
  Progress progress(count_);
  for (uint32_t r = 1; r <= count_; ++r) {
    ACE_RETURN_IF_ERROR(progress.Advance(r - 1));
    ACE_RETURN_IF_ERROR(ReadRaw(r, rec.data()));
    if (IsDeleted(rec.data())) continue;
    for (const auto& f : fields_) {
      uint32_t block = IsAdtMemoType(f.type) ? Get32(rec.data() + f.offset) : 0;
      if (block == 0) continue;
      std::string where = "record " + std::to_string(r) + ", field \"" + f.name + "\"";
      uint32_t length = 0;
      MemoKind kind{};
      ACE_RETURN_IF_ERROR(memo_->Describe(block, &length, &kind).WithContext(where));
      auto data = memo_->Read(block);
      if (!data.ok()) return data.status().WithContext(where);
      auto nb = out_memo->Write(0, data.value(), kind);
      if (!nb.ok()) return nb.status();
      Put32(rec.data() + f.offset, nb.value());
    }
    rec[0] = std::byte{kStatusLive};
    Put32(rec.data() + 1, 0);
    ACE_RETURN_IF_ERROR(EncipherForWrite(*written + 1, rec.data()));
    chunk.insert(chunk.end(), rec.begin(), rec.end());
    ++*written;
    if (chunk.size() >= kCopyChunk) {
      ACE_RETURN_IF_ERROR(out.WriteAt(pos, chunk.data(), chunk.size()));
      pos += chunk.size();
      chunk.clear();
    }
  }
  if (!chunk.empty()) ACE_RETURN_IF_ERROR(out.WriteAt(pos, chunk.data(), chunk.size()));
  return progress.Advance(count_);
}

// Puts the new files in place through the crash-safe swap of replace_files.h. The open memo
// file stays open on the old file throughout, so a failed swap goes on with it as before; an
// open after a crash finds the pair of one generation (and the memo file whose table id
// matches, ResolveMemoFile).
Status AdtTableFile::SwapIn(const std::string& new_data, const std::string& new_memo) {
  return ReplaceTableFiles(path_, new_memo.empty() ? std::string() : memo_path_, new_data,
                           new_memo);
}

}  // namespace ace::storage::adt
