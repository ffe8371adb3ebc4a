// DbfTable: the TableFile of the DBF family (NTX: dBase III .dbf + .dbt; CDX: FoxPro .dbf +
// .fpt; VFP: Visual FoxPro .dbf + .fpt). It owns the open data and memo files, the record count
// and the header date; the header layout is dbf_layout's, the memo blocks memo_file's. Cursors,
// locks and indexes are other modules'.
//
// Records lie at header_length + (recno - 1) * record_length; the file ends with 0x1A after the
// last record. The record count trusted is the smaller of the header's and what the file size
// can hold, so a header that claims more than the file has is never read past the end.
// AppendRecord re-reads the header first (another user may have appended) and, on Visual FoxPro
// tables, gives every autoincrement field the next value of its descriptor, whatever the image
// held; the caller reads the record back to learn it.
#include "engine/storage/dbf/dbf_table.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <set>

#include "engine/base/callbacks.h"
#include "engine/base/error_codes.h"
#include "engine/storage/dbf/dbf_info.h"
#include "engine/storage/dbf/dbf_layout.h"
#include "engine/storage/dbf/memo_file.h"
#include "engine/storage/replace_files.h"

namespace ace::storage {

namespace {

using dbf::Column;
using dbf::Layout;
using dbf::MemoFile;
using dbf::MemoFormat;

constexpr uint64_t kMaxDbfFileSize = 0xFFFFFFFFull;  // counts and offsets of the format are 32-bit
constexpr size_t kRewriteBatch = 64 * 1024;

bool IsMemoColumn(const Column& c) {
  return c.letter == 'M' || c.letter == 'G' || c.letter == 'P' || c.letter == 'W';
}

// The memo file beside a table: same base name, .dbt or .fpt, in the case of the table's
// extension; an existing file in the other case is taken too.
std::string MemoPathFor(const std::string& path, TableType type, bool must_exist) {
  auto slash = path.find_last_of('/');
  auto dot = path.find_last_of('.');
  std::string base = path;
  bool upper = false;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    base = path.substr(0, dot);
    upper = dot + 1 < path.size() && std::isupper(static_cast<unsigned char>(path[dot + 1]));
  }
  std::string lower_ext = type == TableType::kNtx ? ".dbt" : ".fpt";
  std::string upper_ext = type == TableType::kNtx ? ".DBT" : ".FPT";
  std::string first = base + (upper ? upper_ext : lower_ext);
  std::string second = base + (upper ? lower_ext : upper_ext);
  if (must_exist && !FileExists(first) && FileExists(second)) return second;
  return first;
}

class DbfTable final : public TableFile {
 public:
  DbfTable(std::string path, TableType type, Layout layout, File data, bool read_only)
      : path_(std::move(path)),
        type_(type),
        layout_(std::move(layout)),
        data_(std::move(data)),
        read_only_(read_only) {
    if (layout_.null_flags_column >= 0) {
      const Column& c = layout_.columns[static_cast<size_t>(layout_.null_flags_column)];
      null_flags_.emplace();
      null_flags_->name = c.name;
      null_flags_->length = c.length;
      null_flags_->offset = c.offset;
    }
  }

  TableType type() const override { return type_; }
  const std::string& path() const override { return path_; }
  const std::string& memo_path() const override { return memo_path_; }
  const std::vector<FieldDesc>& fields() const override { return layout_.fields; }
  uint32_t record_length() const override { return layout_.record_length; }
  const FieldDesc* null_flags_field() const override {
    return null_flags_ ? &*null_flags_ : nullptr;
  }
  uint16_t memo_block_size() const override {
    return memo_ ? static_cast<uint16_t>(memo_->block_size()) : 0;
  }
  File& data_file() override { return data_; }
  uint32_t record_count() const override { return count_; }

  Status RefreshHeader() override;
  std::vector<std::byte> BlankRecord() const override;
  Status ReadRecord(uint32_t recno, std::byte* image) override;
  Status ReadRecords(uint32_t first, uint32_t count, std::byte* images) override;
  Status AppendRecords(const std::byte* images, uint32_t count) override;
  Status WriteRecord(uint32_t recno, const std::byte* image) override;
  Result<uint32_t> AppendRecord(const std::byte* image) override;
  bool IsDeleted(const std::byte* image) const override {
    return static_cast<uint8_t>(image[0]) == dbf::kDeletedMark;
  }
  void SetDeleted(std::byte* image, bool deleted) const override {
    image[0] = std::byte{deleted ? dbf::kDeletedMark : dbf::kLiveMark};
  }
  Result<std::vector<uint8_t>> ReadMemo(const std::byte* image, const FieldDesc& field) override;
  Status WriteMemo(std::byte* image, const FieldDesc& field, std::span<const uint8_t> data,
                   MemoKind kind) override;
  Result<uint32_t> MemoLength(const std::byte* image, const FieldDesc& field) override;
  Result<MemoKind> MemoType(const std::byte* image, const FieldDesc& field) override;
  Status WritePendingMemo(std::byte* image, const FieldDesc& field, std::span<const uint8_t> data,
                          MemoKind kind) override;
  Status PostRecord(uint32_t recno, const std::byte* image) override;
  Status DiscardPendingMemos(const std::byte* image) override;
  Status ReclaimMemos(uint32_t recno, const std::byte* before, bool move_back) override;
  Status Zap() override { return Rewrite(false); }
  Status Pack() override { return Rewrite(true); }
  Status Flush() override;
  Status SetPrivate(bool on) override;

  // Opening: reads the count from the header and opens the memo file when fields need it.
  Status Start(uint32_t header_count, const dbf::Date& date, bool memo_must_exist);
  // Creating: writes the header and the end mark and creates the memo file.
  Status Initialize(const CreateOptions& options);

  const Layout& layout() const { return layout_; }
  // Sets or clears bits of the table flags byte and writes it at once.
  Status SetTableFlag(uint8_t flag, bool on);

 private:
  Status CheckWritable() const;
  Status CheckRecno(uint32_t recno) const;
  uint64_t RecordOffset(uint32_t recno) const {
    return layout_.header_length + uint64_t{recno - 1} * layout_.record_length;
  }
  // The record count the file can hold behind its header.
  Result<uint32_t> Capacity() const;
  Status WriteCountAndDate();
  Status TouchDate();
  // The visible column of a field the caller hands in, which must be a memo field.
  Result<const Column*> MemoColumnOf(const FieldDesc& field) const;
  Result<uint32_t> DecodeBlock(const std::byte* image, const Column& c) const;
  void EncodeBlock(std::byte* image, const Column& c, uint32_t block) const;
  Status AssignAutoinc(std::byte* image);
  Status Rewrite(bool keep_records);
  // Puts the rewritten files in place of the old ones; on failure the old ones are back.
  Status Replace(const std::string& data_tmp, const std::string& memo_tmp);
  Status WriteCopy(bool keep_records, const std::string& data_tmp, const std::string& memo_tmp,
                   uint32_t* kept);
  // The memo blocks of image stop being pending: a record now holds them.
  void ForgetPending(const std::byte* image);

  std::string path_;
  std::string memo_path_;
  TableType type_;
  Layout layout_;
  File data_;
  std::unique_ptr<MemoFile> memo_;
  bool read_only_;
  uint32_t count_ = 0;
  dbf::Date stamped_;
  bool modified_ = false;                // something was written since the table was opened
  bool private_ = false;                 // SetPrivate: count and date live in memory
  bool header_dirty_ = false;            // the count in memory is not yet in the file
  std::optional<FieldDesc> null_flags_;  // the _NullFlags column, when the table has one
  // Memo blocks written for edits that no stored record points at yet.
  std::set<uint32_t> pending_;
  std::vector<std::byte> append_buffer_;  // AppendRecords' run, kept for the next one
};

std::string RecordContext(const std::string& path, uint32_t recno) {
  return path + ", record " + std::to_string(recno);
}

Status DbfTable::CheckWritable() const {
  if (read_only_) return Status(kErrTableReadOnly, path_ + ": table is open read-only");
  return Status::Ok();
}

Status DbfTable::CheckRecno(uint32_t recno) const {
  if (recno == 0 || recno > count_) {
    return Status(kErrInvalidRecordNumber, path_ + ": record " + std::to_string(recno) +
                                               " does not exist (the table has " +
                                               std::to_string(count_) + ")");
  }
  return Status::Ok();
}

Result<uint32_t> DbfTable::Capacity() const {
  auto size = data_.Size();
  if (!size.ok()) return size.status();
  if (*size <= layout_.header_length) return 0u;
  uint64_t n = (*size - layout_.header_length) / layout_.record_length;
  return static_cast<uint32_t>(std::min<uint64_t>(n, 0xFFFFFFFFull));
}

Status DbfTable::Start(uint32_t header_count, const dbf::Date& date, bool memo_must_exist) {
  auto capacity = Capacity();
  if (!capacity.ok()) return capacity.status();
  count_ = std::min(header_count, *capacity);
  stamped_ = date;
  if (!layout_.has_memo_fields) return Status::Ok();
  memo_path_ = MemoPathFor(path_, type_, memo_must_exist);
  auto format = type_ == TableType::kNtx ? MemoFormat::kDbt : MemoFormat::kFpt;
  auto memo = MemoFile::Open(memo_path_, format, read_only_);
  if (!memo.ok()) {
    if (memo.status().code() == kErrFileNotFound) {
      return Status(kErrFileNotFound, path_ + ": its memo file " + memo_path_ + " is missing");
    }
    return memo.status();
  }
  memo_ = std::make_unique<MemoFile>(std::move(memo).value());
  return Status::Ok();
}

Status DbfTable::Initialize(const CreateOptions& options) {
  stamped_ = dbf::Today();
  std::vector<uint8_t> header = dbf::EncodeHeader(layout_, 0, stamped_);
  header.push_back(dbf::kFileEnd);
  ACE_RETURN_IF_ERROR(data_.WriteAt(0, header.data(), header.size()));
  if (layout_.has_memo_fields) {
    memo_path_ = MemoPathFor(path_, type_, false);
    auto format = type_ == TableType::kNtx ? MemoFormat::kDbt : MemoFormat::kFpt;
    auto memo = MemoFile::Create(memo_path_, format, options.memo_block_size, false);
    if (!memo.ok()) return memo.status();
    memo_ = std::make_unique<MemoFile>(std::move(memo).value());
  }
  return Status::Ok();
}

Status DbfTable::RefreshHeader() {
  if (private_) return Status::Ok();  // nobody else writes: the count in memory is the truth
  uint8_t h[dbf::kHeaderSize];
  ACE_RETURN_IF_ERROR(data_.ReadAt(0, h, sizeof h));
  uint16_t header_length =
      static_cast<uint16_t>(h[dbf::kOffHeaderLength] | (h[dbf::kOffHeaderLength + 1] << 8));
  uint32_t record_length = h[dbf::kOffRecordLength] | (uint32_t{h[dbf::kOffRecordLength + 1]} << 8);
  if (h[dbf::kOffVersion] != layout_.version || header_length != layout_.header_length ||
      record_length != layout_.record_length) {
    return Status(kErrCorruptFile,
                  path_ +
                      ": the table header changed underneath (version, header or record "
                      "length); reopen the table");
  }
  auto capacity = Capacity();
  if (!capacity.ok()) return capacity.status();
  count_ = std::min(dbf::GetLe32(h + dbf::kOffCount), *capacity);
  stamped_ = dbf::Date{1900 + h[dbf::kOffDate], h[dbf::kOffDate + 1], h[dbf::kOffDate + 2]};
  if (memo_) ACE_RETURN_IF_ERROR(memo_->RefreshHeader());
  return Status::Ok();
}

std::vector<std::byte> DbfTable::BlankRecord() const {
  std::vector<std::byte> image(layout_.record_length, std::byte{' '});
  if (type_ != TableType::kVfp) return image;
  for (const auto& c : layout_.columns) {
    bool binary_zero = c.letter == 'I' || c.letter == 'B' || c.letter == 'Y' || c.letter == 'T' ||
                       c.letter == '0' || (IsMemoColumn(c) && c.length == 4);
    if (binary_zero) std::fill_n(image.begin() + c.offset, c.length, std::byte{0});
  }
  return image;
}

Status DbfTable::ReadRecord(uint32_t recno, std::byte* image) {
  ACE_RETURN_IF_ERROR(CheckRecno(recno));
  return data_.ReadAt(RecordOffset(recno), image, layout_.record_length)
      .WithContext(RecordContext(path_, recno));
}

// The records lie one after the other: a run is read in one piece.
Status DbfTable::ReadRecords(uint32_t first, uint32_t count, std::byte* images) {
  if (count == 0) return Status::Ok();
  ACE_RETURN_IF_ERROR(CheckRecno(first));
  uint32_t last = count > count_ - first + 1 ? count_ + 1 : first + count - 1;
  ACE_RETURN_IF_ERROR(CheckRecno(last));
  return data_.ReadAt(RecordOffset(first), images, size_t{count} * layout_.record_length)
      .WithContext(RecordContext(path_, first));
}

Status DbfTable::TouchDate() {
  modified_ = true;
  dbf::Date today = dbf::Today();
  if (today.year == stamped_.year && today.month == stamped_.month && today.day == stamped_.day) {
    return Status::Ok();
  }
  uint8_t d[3] = {static_cast<uint8_t>(today.year - 1900), static_cast<uint8_t>(today.month),
                  static_cast<uint8_t>(today.day)};
  ACE_RETURN_IF_ERROR(data_.WriteAt(dbf::kOffDate, d, sizeof d));
  stamped_ = today;
  return Status::Ok();
}

Status DbfTable::WriteCountAndDate() {
  modified_ = true;
  if (private_) {
    header_dirty_ = true;  // written when private use ends
    return Status::Ok();
  }
  stamped_ = dbf::Today();
  uint8_t h[7];
  h[0] = static_cast<uint8_t>(stamped_.year - 1900);
  h[1] = static_cast<uint8_t>(stamped_.month);
  h[2] = static_cast<uint8_t>(stamped_.day);
  dbf::PutLe32(h + 3, count_);
  return data_.WriteAt(dbf::kOffDate, h, sizeof h);
}

Status DbfTable::SetTableFlag(uint8_t flag, bool on) {
  ACE_RETURN_IF_ERROR(CheckWritable());
  uint8_t flags = on ? static_cast<uint8_t>(layout_.table_flags | flag)
                     : static_cast<uint8_t>(layout_.table_flags & ~flag);
  ACE_RETURN_IF_ERROR(data_.WriteAt(dbf::kOffTableFlags, &flags, 1));
  layout_.table_flags = flags;
  return TouchDate();
}

Status DbfTable::WriteRecord(uint32_t recno, const std::byte* image) {
  ACE_RETURN_IF_ERROR(CheckWritable());
  ACE_RETURN_IF_ERROR(CheckRecno(recno));
  ACE_RETURN_IF_ERROR(data_.WriteAt(RecordOffset(recno), image, layout_.record_length)
                          .WithContext(RecordContext(path_, recno)));
  ForgetPending(image);
  return TouchDate();
}

Status DbfTable::AssignAutoinc(std::byte* image) {
  for (size_t i = 0; i < layout_.columns.size(); ++i) {
    Column& c = layout_.columns[i];
    if (c.visible < 0 || layout_.fields[c.visible].type != kFtAutoInc) continue;
    // The next value on disk is the truth: another user may have appended since we read it.
    uint64_t desc = dbf::kHeaderSize + dbf::kDescriptorSize * i;
    uint8_t d[5];
    ACE_RETURN_IF_ERROR(data_.ReadAt(desc + dbf::kDescAutoincNext, d, sizeof d));
    uint32_t value = dbf::GetLe32(d);
    c.autoinc_step = d[4];
    c.autoinc_next = value + c.autoinc_step;
    uint8_t v[4];
    dbf::PutLe32(v, value);
    std::memcpy(image + c.offset, v, sizeof v);
    dbf::PutLe32(d, c.autoinc_next);
    ACE_RETURN_IF_ERROR(data_.WriteAt(desc + dbf::kDescAutoincNext, d, 4));
    layout_.fields[c.visible].autoinc_next = c.autoinc_next;
    layout_.fields[c.visible].autoinc_step = c.autoinc_step;
  }
  return Status::Ok();
}

Result<uint32_t> DbfTable::AppendRecord(const std::byte* image) {
  ACE_RETURN_IF_ERROR(CheckWritable());
  // Records another user appended since the last look must not be overwritten.
  ACE_RETURN_IF_ERROR(RefreshHeader());
  uint64_t end = RecordOffset(count_ + 1) + layout_.record_length + 1;
  if (count_ == 0xFFFFFFFFu || end > kMaxDbfFileSize) {
    return Status(kErrValueOutOfRange,
                  path_ +
                      ": another record would take the table past 4 GiB, which the .dbf "
                      "format cannot address");
  }
  std::vector<std::byte> record(image, image + layout_.record_length);
  record.push_back(std::byte{dbf::kFileEnd});
  ACE_RETURN_IF_ERROR(AssignAutoinc(record.data()));
  uint32_t recno = count_ + 1;
  ACE_RETURN_IF_ERROR(data_.WriteAt(RecordOffset(recno), record.data(), record.size())
                          .WithContext(RecordContext(path_, recno)));
  ForgetPending(image);
  // The record counts only once the header says so; a failed header write leaves it invisible,
  // and the next append writes over it.
  count_ = recno;
  Status counted = WriteCountAndDate();
  if (!counted.ok()) {
    count_ = recno - 1;
    return counted;
  }
  return recno;
}

// In private use, without autoincrement fields or pending memos, a run of records is written at
// once behind the last one (with the end-of-file mark), and counted once.
Status DbfTable::AppendRecords(const std::byte* images, uint32_t count) {
  bool autoinc = false;
  for (const auto& f : layout_.fields) autoinc |= f.type == kFtAutoInc;
  if (!private_ || autoinc || !pending_.empty()) return TableFile::AppendRecords(images, count);
  ACE_RETURN_IF_ERROR(CheckWritable());
  if (count == 0) return Status::Ok();
  const size_t length = layout_.record_length;
  uint64_t end = RecordOffset(count_ + 1) + uint64_t{count} * length + 1;
  if (count > 0xFFFFFFFFu - count_ || end > kMaxDbfFileSize) {
    return Status(kErrValueOutOfRange,
                  path_ +
                      ": another record would take the table past 4 GiB, which the .dbf "
                      "format cannot address");
  }
  std::vector<std::byte>& run = append_buffer_;
  run.assign(images, images + size_t{count} * length);
  run.push_back(std::byte{dbf::kFileEnd});
  ACE_RETURN_IF_ERROR(data_.WriteAt(RecordOffset(count_ + 1), run.data(), run.size())
                          .WithContext(RecordContext(path_, count_ + 1)));
  count_ += count;
  Status counted = WriteCountAndDate();
  if (!counted.ok()) count_ -= count;
  return counted;
}

Result<const Column*> DbfTable::MemoColumnOf(const FieldDesc& field) const {
  for (const auto& c : layout_.columns) {
    if (c.visible >= 0 && c.offset == field.offset && c.name == field.name) {
      if (!IsMemoColumn(c)) {
        return Status(kErrInvalidFieldType, path_ + ": field " + field.name + " is not a memo");
      }
      if (!memo_) return Status(kErrInternal, path_ + ": memo field without memo file");
      return &c;
    }
  }
  return Status(kErrInvalidArgument, path_ + ": field " + field.name + " is not of this table");
}

Result<uint32_t> DbfTable::DecodeBlock(const std::byte* image, const Column& c) const {
  const auto* p = reinterpret_cast<const uint8_t*>(image + c.offset);
  if (c.length == 4) return dbf::GetLe32(p);
  uint64_t value = 0;
  bool digits = false, done = false;
  for (uint32_t i = 0; i < c.length; ++i) {
    uint8_t ch = p[i];
    if (ch == ' ' || ch == 0) {
      if (digits) done = true;
      continue;
    }
    if (ch < '0' || ch > '9' || done) {
      return Status(kErrCorruptFile,
                    path_ + ": memo field " + c.name + " does not hold a block number");
    }
    digits = true;
    value = value * 10 + (ch - '0');
  }
  if (value > 0xFFFFFFFFull) {
    return Status(kErrCorruptFile, path_ + ": memo field " + c.name + " block number too large");
  }
  return static_cast<uint32_t>(value);
}

void DbfTable::EncodeBlock(std::byte* image, const Column& c, uint32_t block) const {
  auto* p = reinterpret_cast<uint8_t*>(image + c.offset);
  if (c.length == 4) {
    dbf::PutLe32(p, block);
    return;
  }
  std::memset(p, ' ', c.length);
  if (block == 0) return;
  std::string digits = std::to_string(block);
  std::memcpy(p + c.length - digits.size(), digits.data(), digits.size());
}

Result<std::vector<uint8_t>> DbfTable::ReadMemo(const std::byte* image, const FieldDesc& field) {
  auto column = MemoColumnOf(field);
  if (!column.ok()) return column.status();
  auto block = DecodeBlock(image, **column);
  if (!block.ok()) return block.status();
  if (*block == 0) return std::vector<uint8_t>{};
  return memo_->Read(*block);
}

Status DbfTable::WriteMemo(std::byte* image, const FieldDesc& field, std::span<const uint8_t> data,
                           MemoKind kind) {
  ACE_RETURN_IF_ERROR(CheckWritable());
  auto column = MemoColumnOf(field);
  if (!column.ok()) return column.status();
  if (data.empty()) {
    EncodeBlock(image, **column, 0);
    return Status::Ok();
  }
  // A pointer that does not decode is not reused: the memo goes to fresh blocks.
  auto old = DecodeBlock(image, **column);
  uint32_t old_block = old.ok() ? *old : 0;
  uint32_t type = kind == MemoKind::kText    ? dbf::kFptText
                  : kind == MemoKind::kImage ? dbf::kFptPicture
                                             : dbf::kFptObject;
  auto block = memo_->Write(old_block, data, type);
  if (!block.ok()) return block.status();
  if (old_block != 0 && *block != old_block) memo_->Abandon(old_block);
  EncodeBlock(image, **column, *block);
  return Status::Ok();
}

// ---- Pending memos and posting. Neither memo format has a free list, so a record reuses its
// own run: the new value of an edit waits in pending blocks (at the end of the file), and
// PostRecord first writes the record pointing at them. The stored run then belongs to nobody;
// a value that fits it is copied there, both files are flushed, the record is written again
// pointing at the old run, and the pending blocks are cut off the end of the file. At every
// moment the record points at a whole memo, so a crash tears no memo: it leaks the pending
// blocks at worst, which the next pack reclaims. A value that does not fit stays where it was
// written (its blocks are the record's run from then on), and the old run waits for pack. The
// run keeps its size when a shorter value goes into it (memo_file.h), so a record whose memo
// is rewritten shorter and longer in turn stays in one run. ReclaimMemos is the part after the
// first write, for SQL statements, which take the old runs back only once they end.

void DbfTable::ForgetPending(const std::byte* image) {
  if (pending_.empty()) return;
  for (const auto& c : layout_.columns) {
    if (c.visible < 0 || !IsMemoColumn(c)) continue;
    auto block = DecodeBlock(image, c);
    if (block.ok()) pending_.erase(*block);
  }
}

Status DbfTable::WritePendingMemo(std::byte* image, const FieldDesc& field,
                                  std::span<const uint8_t> data, MemoKind kind) {
  ACE_RETURN_IF_ERROR(CheckWritable());
  auto column = MemoColumnOf(field);
  if (!column.ok()) return column.status();
  auto current = DecodeBlock(image, **column);
  // Only blocks of this edit may be rewritten; the stored record's are left as they are.
  const uint32_t own = current.ok() && pending_.count(*current) != 0 ? *current : 0;
  if (data.empty()) {
    if (own != 0) {
      ACE_RETURN_IF_ERROR(memo_->Discard(own));
      pending_.erase(own);
    }
    EncodeBlock(image, **column, 0);
    return Status::Ok();
  }
  uint32_t type = kind == MemoKind::kText    ? dbf::kFptText
                  : kind == MemoKind::kImage ? dbf::kFptPicture
                                             : dbf::kFptObject;
  auto block = memo_->WritePending(own, data, type);
  if (!block.ok()) return block.status();
  if (own != 0 && *block != own) {
    pending_.erase(own);
    ACE_RETURN_IF_ERROR(memo_->Discard(own));
  }
  pending_.insert(*block);
  EncodeBlock(image, **column, *block);
  return Status::Ok();
}

Status DbfTable::DiscardPendingMemos(const std::byte* image) {
  if (!memo_ || pending_.empty()) return Status::Ok();
  // The last blocks first, so that each discard can cut the file.
  std::vector<uint32_t> blocks;
  for (const auto& c : layout_.columns) {
    if (c.visible < 0 || !IsMemoColumn(c)) continue;
    auto block = DecodeBlock(image, c);
    if (block.ok() && *block != 0 && pending_.count(*block) != 0) blocks.push_back(*block);
  }
  std::sort(blocks.rbegin(), blocks.rend());
  Status first;
  for (uint32_t b : blocks) {
    Status s = memo_->Discard(b);
    pending_.erase(b);
    if (!s.ok() && first.ok()) first = s;
  }
  return first;
}

Status DbfTable::PostRecord(uint32_t recno, const std::byte* image) {
  ACE_RETURN_IF_ERROR(CheckWritable());
  if (!memo_) return WriteRecord(recno, image);
  if (recno == 0 || recno > count_) ACE_RETURN_IF_ERROR(RefreshHeader());
  ACE_RETURN_IF_ERROR(CheckRecno(recno));
  std::vector<std::byte> stored(layout_.record_length);
  ACE_RETURN_IF_ERROR(ReadRecord(recno, stored.data()));
  std::vector<std::byte> out(image, image + layout_.record_length);
  for (const auto& c : layout_.columns) {
    if (c.visible < 0 || !IsMemoColumn(c)) continue;
    auto s = DecodeBlock(stored.data(), c);
    auto p = DecodeBlock(out.data(), c);
    if (!s.ok() || !p.ok() || *s == *p) continue;
    if (*p != 0 && pending_.count(*p) == 0) {
      // A pointer read before another user's write: keep what is stored.
      std::memcpy(out.data() + c.offset, stored.data() + c.offset, c.length);
    }
  }
  ACE_RETURN_IF_ERROR(WriteRecord(recno, out.data()));
  return ReclaimMemos(recno, stored.data(), true);
}

Status DbfTable::ReclaimMemos(uint32_t recno, const std::byte* before, bool move_back) {
  ACE_RETURN_IF_ERROR(CheckWritable());
  if (!memo_) return Status::Ok();
  if (recno == 0 || recno > count_) ACE_RETURN_IF_ERROR(RefreshHeader());
  ACE_RETURN_IF_ERROR(CheckRecno(recno));
  std::vector<std::byte> out(layout_.record_length);
  ACE_RETURN_IF_ERROR(ReadRecord(recno, out.data()));
  struct Move {
    const Column* column;
    uint32_t stored;
    uint32_t pending;
  };
  std::vector<Move> moves;
  for (const auto& c : layout_.columns) {
    if (c.visible < 0 || !IsMemoColumn(c)) continue;
    auto s = DecodeBlock(before, c);
    auto p = DecodeBlock(out.data(), c);
    if (!s.ok() || !p.ok() || *s == *p || *s == 0) continue;
    if (move_back && *p != 0) {
      auto length = memo_->Length(*p);
      if (!length.ok()) return length.status();
      if (memo_->Fits(*s, *length)) {
        moves.push_back({&c, *s, *p});
        continue;
      }
    }
    memo_->Abandon(*s);  // the run waits for pack
  }
  if (moves.empty()) return Status::Ok();
  // The record's new pointers are on disk before the blocks they replaced are overwritten.
  ACE_RETURN_IF_ERROR(data_.Sync());
  ACE_RETURN_IF_ERROR(memo_->Sync());
  for (const Move& m : moves) {
    uint32_t type = 0;
    auto content = memo_->Read(m.pending, &type);
    if (!content.ok()) return content.status();
    auto at = memo_->Write(m.stored, *content, type);
    if (!at.ok()) return at.status();
    if (*at != m.stored) {
      return Status(kErrInternal, memo_path_ + ": a memo meant for block " +
                                      std::to_string(m.stored) + " went elsewhere");
    }
    EncodeBlock(out.data(), *m.column, m.stored);
  }
  ACE_RETURN_IF_ERROR(memo_->Sync());
  ACE_RETURN_IF_ERROR(WriteRecord(recno, out.data()));
  std::vector<uint32_t> freed;
  for (const Move& m : moves) freed.push_back(m.pending);
  std::sort(freed.rbegin(), freed.rend());
  for (uint32_t b : freed) ACE_RETURN_IF_ERROR(memo_->Discard(b));
  return Status::Ok();
}

Result<uint32_t> DbfTable::MemoLength(const std::byte* image, const FieldDesc& field) {
  auto column = MemoColumnOf(field);
  if (!column.ok()) return column.status();
  auto block = DecodeBlock(image, **column);
  if (!block.ok()) return block.status();
  if (*block == 0) return 0u;
  return memo_->Length(*block);
}

Result<MemoKind> DbfTable::MemoType(const std::byte* image, const FieldDesc& field) {
  auto column = MemoColumnOf(field);
  if (!column.ok()) return column.status();
  MemoKind by_field = field.type == kFtMemo    ? MemoKind::kText
                      : field.type == kFtImage ? MemoKind::kImage
                                               : MemoKind::kBinary;
  auto block = DecodeBlock(image, **column);
  if (!block.ok()) return block.status();
  if (*block == 0 || memo_->format() == MemoFormat::kDbt) return by_field;
  uint32_t type = 0;
  auto length = memo_->Length(*block, &type);
  if (!length.ok()) return length.status();
  if (type == dbf::kFptText) return MemoKind::kText;
  if (type == dbf::kFptPicture) return MemoKind::kImage;
  return MemoKind::kBinary;
}

// Every write keeps the header current on disk (the count at once after an append, the date on
// the first change of a day), so Flush only has to make it durable. Writing the count here could
// even undo the appends of another user that this table has not seen yet.
Status DbfTable::SetPrivate(bool on) {
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
    st = WriteCountAndDate();
  }
  Status ended = data_.EndPrivate();
  if (st.ok()) st = ended;
  if (memo_) {
    Status memo_ended = memo_->SetPrivate(false);
    if (st.ok()) st = memo_ended;
  }
  return st;
}

Status DbfTable::Flush() {
  if (private_ && header_dirty_) {
    private_ = false;
    Status st = WriteCountAndDate();
    private_ = true;
    ACE_RETURN_IF_ERROR(st);
    header_dirty_ = false;
  }
  if (modified_) ACE_RETURN_IF_ERROR(TouchDate());
  ACE_RETURN_IF_ERROR(data_.Sync());
  if (memo_) ACE_RETURN_IF_ERROR(memo_->Sync());
  return Status::Ok();
}

Status DbfTable::WriteCopy(bool keep_records, const std::string& data_tmp,
                           const std::string& memo_tmp, uint32_t* kept) {
  auto out = File::Open(data_tmp, OpenMode::kCreateTruncate);
  if (!out.ok()) return out.status();
  std::unique_ptr<MemoFile> new_memo;
  if (memo_) {
    auto m = MemoFile::Create(memo_tmp, memo_->format(), static_cast<uint16_t>(memo_->block_size()),
                              true);
    if (!m.ok()) return m.status();
    new_memo = std::make_unique<MemoFile>(std::move(m).value());
  }
  *kept = 0;
  uint64_t pos = layout_.header_length;
  std::vector<std::byte> batch;
  std::vector<std::byte> record(layout_.record_length);
  // A pack reports its progress; a stop before the new files are complete leaves the old ones.
  Progress progress(keep_records ? count_ : 0);
  for (uint32_t recno = 1; keep_records && recno <= count_; ++recno) {
    ACE_RETURN_IF_ERROR(progress.Advance(recno - 1));
    ACE_RETURN_IF_ERROR(ReadRecord(recno, record.data()));
    if (IsDeleted(record.data())) continue;
    for (const auto& c : layout_.columns) {
      if (c.visible < 0 || !IsMemoColumn(c)) continue;
      auto block = DecodeBlock(record.data(), c);
      if (!block.ok()) return block.status().WithContext(RecordContext(path_, recno));
      if (*block == 0) continue;
      uint32_t type = 0;
      auto data = memo_->Read(*block, &type);
      if (!data.ok()) return data.status().WithContext(RecordContext(path_, recno));
      auto new_block = new_memo->Write(0, *data, type);
      if (!new_block.ok()) return new_block.status();
      EncodeBlock(record.data(), c, *new_block);
    }
    batch.insert(batch.end(), record.begin(), record.end());
    ++*kept;
    if (batch.size() >= kRewriteBatch) {
      ACE_RETURN_IF_ERROR(out->WriteAt(pos, batch.data(), batch.size()));
      pos += batch.size();
      batch.clear();
    }
  }
  if (keep_records) ACE_RETURN_IF_ERROR(progress.Advance(count_));
  batch.push_back(std::byte{dbf::kFileEnd});
  ACE_RETURN_IF_ERROR(out->WriteAt(pos, batch.data(), batch.size()));
  std::vector<uint8_t> header = dbf::EncodeHeader(layout_, *kept, dbf::Today());
  ACE_RETURN_IF_ERROR(out->WriteAt(0, header.data(), header.size()));
  ACE_RETURN_IF_ERROR(out->Sync());
  if (new_memo) ACE_RETURN_IF_ERROR(new_memo->Sync());
  return Status::Ok();
}

// The new pair replaces the old one through the crash-safe swap of replace_files.h.
Status DbfTable::Replace(const std::string& data_tmp, const std::string& memo_tmp) {
  Status s = ReplaceTableFiles(path_, memo_ ? memo_path_ : std::string(), data_tmp,
                               memo_ ? memo_tmp : std::string());
  if (!s.ok()) {
    (void)RemoveFile(data_tmp);
    if (memo_) (void)RemoveFile(memo_tmp);
  }
  return s;
}

Status DbfTable::Rewrite(bool keep_records) {
  ACE_RETURN_IF_ERROR(CheckWritable());
  ACE_RETURN_IF_ERROR(RefreshHeader());
  std::string data_tmp = path_ + ".rewrite";
  std::string memo_tmp = memo_ ? memo_path_ + ".rewrite" : std::string();
  uint32_t kept = 0;
  Status written = WriteCopy(keep_records, data_tmp, memo_tmp, &kept);
  if (!written.ok()) {
    (void)RemoveFile(data_tmp);
    if (memo_) (void)RemoveFile(memo_tmp);
    return written;
  }
  ACE_RETURN_IF_ERROR(Replace(data_tmp, memo_tmp));
  auto data = File::Open(path_, OpenMode::kReadWrite);
  if (!data.ok()) return data.status();
  data_ = std::move(data).value();
  if (memo_) {
    auto memo = MemoFile::Open(memo_path_, memo_->format(), false);
    if (!memo.ok()) return memo.status();
    *memo_ = std::move(memo).value();
  }
  count_ = kept;
  stamped_ = dbf::Today();
  pending_.clear();  // block numbers of the old memo file
  return Status::Ok();
}

}  // namespace

Result<std::unique_ptr<TableFile>> OpenDbfTable(const std::string& path, TableType type,
                                                const OpenOptions& options) {
  if (type != TableType::kNtx && type != TableType::kCdx && type != TableType::kVfp) {
    return Status(kErrInvalidArgument, path + ": not a DBF table type");
  }
  auto file = File::Open(path, options.read_only ? OpenMode::kReadOnly : OpenMode::kReadWrite);
  if (!file.ok()) return file.status();
  auto size = file->Size();
  if (!size.ok()) return size.status();
  uint8_t first[dbf::kHeaderSize];
  if (*size < dbf::kHeaderSize) {
    return Status(kErrCorruptFile, path + ": file of " + std::to_string(*size) +
                                       " bytes is too short for a table header");
  }
  ACE_RETURN_IF_ERROR(file->ReadAt(0, first, sizeof first));
  auto header_length = dbf::HeaderLengthOf(first, *size, path);
  if (!header_length.ok()) {
    // A version byte of another kind says more than the lengths that follow it.
    std::vector<uint8_t> probe(first, first + sizeof first);
    auto probed = dbf::DecodeLayout(type, probe, path);
    if (!probed.ok() && probed.status().code() == kErrUnsupportedVersion) return probed.status();
    return header_length.status();
  }
  std::vector<uint8_t> header(*header_length);
  ACE_RETURN_IF_ERROR(file->ReadAt(0, header.data(), header.size()));
  auto layout = dbf::DecodeLayout(type, header, path);
  if (!layout.ok()) return layout.status();
  uint32_t count = dbf::GetLe32(first + dbf::kOffCount);
  dbf::Date date{1900 + first[dbf::kOffDate], first[dbf::kOffDate + 1], first[dbf::kOffDate + 2]};
  auto table = std::make_unique<DbfTable>(path, type, std::move(layout).value(),
                                          std::move(file).value(), options.read_only);
  ACE_RETURN_IF_ERROR(table->Start(count, date, true));
  return std::unique_ptr<TableFile>(std::move(table));
}

Result<std::unique_ptr<TableFile>> CreateDbfTable(const std::string& path, TableType type,
                                                  const std::vector<FieldSpec>& fields,
                                                  const CreateOptions& options) {
  if (type != TableType::kNtx && type != TableType::kCdx && type != TableType::kVfp) {
    return Status(kErrInvalidArgument, path + ": not a DBF table type");
  }
  auto layout = dbf::BuildLayout(type, fields, options, path);
  if (!layout.ok()) return layout.status();
  std::string memo_path = layout->has_memo_fields ? MemoPathFor(path, type, false) : "";
  if (FileExists(path)) return Status(kErrFileExists, path + ": the table exists already");
  if (!memo_path.empty() && FileExists(memo_path)) {
    return Status(kErrFileExists, path + ": a memo file " + memo_path + " exists already");
  }
  auto file = File::Open(path, OpenMode::kCreateNew);
  if (!file.ok()) return file.status();
  auto table = std::make_unique<DbfTable>(path, type, std::move(layout).value(),
                                          std::move(file).value(), false);
  Status s = table->Initialize(options);
  if (!s.ok()) {
    table.reset();
    (void)RemoveFile(path);
    return s;
  }
  return std::unique_ptr<TableFile>(std::move(table));
}

bool IsDbfTable(const TableFile& table) {
  return dynamic_cast<const DbfTable*>(table.Unwrapped()) != nullptr;
}

namespace {

Result<std::pair<uint32_t, uint32_t>> NullFlagsArea(const TableFile& table, int bit) {
  const auto* dbf_table = dynamic_cast<const DbfTable*>(table.Unwrapped());
  if (!dbf_table || table.type() != TableType::kVfp) {
    return Status(kErrInvalidArgument, table.path() + ": not a Visual FoxPro table");
  }
  const Layout& layout = dbf_table->layout();
  if (layout.null_flags_column < 0) {
    return Status(kErrInvalidArgument, table.path() + ": the table has no _NullFlags field");
  }
  const Column& c = layout.columns[layout.null_flags_column];
  if (bit < 0 || static_cast<uint32_t>(bit) >= c.length * 8) {
    return Status(kErrInvalidArgument,
                  table.path() + ": bit " + std::to_string(bit) + " is outside _NullFlags");
  }
  return std::make_pair(c.offset + static_cast<uint32_t>(bit) / 8, uint32_t{1} << (bit % 8));
}

}  // namespace

Result<bool> GetVfpSystemBit(const TableFile& table, const std::byte* image, int bit) {
  auto area = NullFlagsArea(table, bit);
  if (!area.ok()) return area.status();
  return (static_cast<uint8_t>(image[area->first]) & area->second) != 0;
}

Status SetVfpSystemBit(const TableFile& table, std::byte* image, int bit, bool on) {
  auto area = NullFlagsArea(table, bit);
  if (!area.ok()) return area.status();
  uint8_t byte = static_cast<uint8_t>(image[area->first]);
  byte =
      on ? static_cast<uint8_t>(byte | area->second) : static_cast<uint8_t>(byte & ~area->second);
  image[area->first] = std::byte{byte};
  return Status::Ok();
}

bool HasStructuralIndex(const TableFile& table) {
  const auto* dbf_table = dynamic_cast<const DbfTable*>(table.Unwrapped());
  return dbf_table && (dbf_table->layout().table_flags & dbf::kTableHasIndex) != 0;
}

Status SetStructuralIndexFlag(TableFile& table, bool present) {
  auto* dbf_table = dynamic_cast<DbfTable*>(const_cast<TableFile*>(table.Unwrapped()));
  if (!dbf_table) return Status(kErrInvalidArgument, table.path() + ": not a DBF table");
  return dbf_table->SetTableFlag(dbf::kTableHasIndex, present);
}

uint16_t DbfCharType(const TableFile& table) {
  const auto* dbf_table = dynamic_cast<const DbfTable*>(table.Unwrapped());
  if (!dbf_table) return 1;
  uint8_t mark = dbf_table->layout().code_page;
  // DOS code pages: 437, 850, and the 0x64.. range (852, 866, 865, 861, 895, 620, 737, 857, ...).
  bool oem = mark == 0x01 || mark == 0x02 || (mark >= 0x64 && mark <= 0x6B) || mark == 0x26;
  return oem ? 2 : 1;
}

}  // namespace ace::storage
