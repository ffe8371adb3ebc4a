// AdtTableFile: one open ADT table (.adt data file and, when it has memo fields, its .adm memo
// file), the TableFile of table type 3. It owns the header bookkeeping (record count, change
// counter, autoincrement, deleted-record free list), the per-write maintenance of row version,
// modification time and autoincrement fields, and pack/zap by atomic replacement. Byte layout:
// adt_format.h; memo runs: adt_memo.h. Record and table locks are the locks module's; the
// header's own consistency between users is kept with the file's bookkeeping lock: byte 2^62
// of the data and memo files (kBookkeepingLockOffset) is reserved for it and must not be part
// of the locks module's record or table lock ranges.
// Pack and zap replace the files, so the data_file() descriptor changes: locks held on the old
// one are gone and must be taken again on the new one.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/crypt/table_key.h"
#include "engine/storage/adt/adt_memo.h"
#include "engine/storage/table_file.h"

namespace ace::storage::adt {

class AdtTableFile : public TableFile {
 public:
  static Result<std::unique_ptr<AdtTableFile>> Open(const std::string& path,
                                                    const OpenOptions& options);
  static Result<std::unique_ptr<AdtTableFile>> Create(const std::string& path,
                                                      const std::vector<FieldSpec>& fields,
                                                      const CreateOptions& options);

  TableType type() const override { return TableType::kAdt; }
  const std::string& path() const override { return path_; }
  const std::string& memo_path() const override { return memo_path_; }
  const std::vector<FieldDesc>& fields() const override { return fields_; }
  uint32_t record_length() const override { return record_length_; }
  uint16_t memo_block_size() const override { return memo_ ? memo_->block_size() : 0; }
  File& data_file() override { return data_; }
  uint32_t record_count() const override { return count_; }
  Status RefreshHeader() override;
  std::vector<std::byte> BlankRecord() const override;
  Status ReadRecord(uint32_t recno, std::byte* image) override;
  Status ReadRecords(uint32_t first, uint32_t count, std::byte* images) override;
  Status AppendRecords(const std::byte* images, uint32_t count) override;
  // Keeps the stored autoincrement value when the image's is null or 0, stamps row version
  // (the table's change counter) and modification time (now), and moves the record on or off
  // the free list when its deletion mark changes. The caller re-reads to see the stamps.
  Status WriteRecord(uint32_t recno, const std::byte* image) override;
  // Gives autoincrement fields that are null or 0 the next value, stamps row version and
  // modification time, and reuses a deleted record's place when the table says so.
  Result<uint32_t> AppendRecord(const std::byte* image) override;
  // The head of the free list when deleted records are reused, else the place after the last.
  Result<uint32_t> NextAppendRecno() override;
  Result<uint32_t> AppendReplacing(const std::byte* image,
                                   std::vector<std::byte>* replaced) override;
  bool IsDeleted(const std::byte* image) const override;
  void SetDeleted(std::byte* image, bool deleted) const override;
  Result<std::vector<uint8_t>> ReadMemo(const std::byte* image, const FieldDesc& field) override;
  Status WriteMemo(std::byte* image, const FieldDesc& field, std::span<const uint8_t> data,
                   MemoKind kind) override;
  Result<uint32_t> MemoLength(const std::byte* image, const FieldDesc& field) override;
  Result<MemoKind> MemoType(const std::byte* image, const FieldDesc& field) override;
  // Pending memos, posting and discarding (adt_table_memo.cpp).
  Status WritePendingMemo(std::byte* image, const FieldDesc& field, std::span<const uint8_t> data,
                          MemoKind kind) override;
  Status PostRecord(uint32_t recno, const std::byte* image) override;
  Status DiscardPendingMemos(const std::byte* image) override;
  Status ReclaimMemos(uint32_t recno, const std::byte* before, bool move_back) override;
  Status Zap() override { return Rewrite(false); }
  Status Pack() override { return Rewrite(true); }
  Status Flush() override;
  Status SetPrivate(bool on) override;

  // Encryption (adt_table_crypt.cpp; the layout is in adt_format.h).
  bool encrypted() const override { return key_params_.has_value(); }
  const crypt::KeyParams* key_params() const override {
    return key_params_ ? &*key_params_ : nullptr;
  }
  Status SetKey(std::shared_ptr<const crypt::TableKey> key) override;
  bool has_key() const override { return key_ != nullptr; }
  std::shared_ptr<const crypt::TableKey> key() const override { return key_; }
  Status SetKeyParams(const crypt::KeyParams* params) override;
  Result<bool> IsRecordEncrypted(uint32_t recno) override;
  Status EncodeRecord(uint32_t recno, bool encrypt) override;

  // The header stamp: a random id fixed at creation (new after pack and zap) and a counter
  // that grows with every change, so an index can tell whether it still matches the table.
  uint64_t table_id() const { return table_id_; }
  uint64_t change_counter() const { return change_counter_; }
  uint16_t char_type() const { return char_type_; }
  const std::string& collation() const { return collation_; }
  uint32_t next_autoinc() const { return autoinc_next_; }
  bool reuse_deleted() const { return (flags_ & 0x01) != 0; }
  // Turns deleted-record reuse on (linking every deleted record into the free list) or off
  // (record numbers then stay stable: appends always go to the end). Off for a new table.
  Status SetReuseDeleted(bool on);
  // The memo file's space (block count, free runs); kErrInvalidArgument without memo file.
  Result<MemoSpace> MemoSpaceInfo() const;

 private:
  AdtTableFile() = default;
  Status LoadHeader();
  Status ParseLayout(const std::vector<std::byte>& header);
  Status ResolveMemoFile();
  Status ReadMutable();
  Status WriteMutable();
  Status CheckWritable() const;
  Status CheckRecno(uint32_t recno) const;
  Status ReadRaw(uint32_t recno, std::byte* image, bool check_fields = true) const;
  Status CheckImage(uint32_t recno, std::byte* image, bool check_fields) const;
  // Field lists by what the record code does with them per record (set with fields_).
  void SortFieldKinds();
  // The field whose length word is beyond its size, or nullptr.
  const FieldDesc* BadLength(const std::byte* image) const;
  // Forgets the read-ahead windows of the data and memo files (another user may have written).
  void DropWindows() const;
  Status ReadStatus(uint32_t recno, uint8_t* status, uint32_t* link) const;
  Status WriteStatus(uint32_t recno, uint8_t status, uint32_t link);
  Status Unlink(uint32_t recno);
  Result<uint32_t> TakeFreeRecord();
  Result<uint32_t> Append(const std::byte* image, std::vector<std::byte>* replaced);
  void Stamp(std::byte* rec);
  Status NoteAutoinc(const std::byte* rec, const std::byte* old, std::byte* out);
  Result<const FieldDesc*> MemoField(const FieldDesc& field) const;
  Status Rewrite(bool keep_records);
  Status CopyLiveRecords(File& out, uint64_t pos, AdtMemoFile* out_memo, uint32_t* written);
  Status SwapIn(const std::string& new_data, const std::string& new_memo);
  // The memo runs of image stop being pending: a record now holds them.
  void ForgetPending(const std::byte* image);
  // Encryption helpers (adt_table_crypt.cpp).
  Status CheckWritableContent() const;  // writable, and the key is there when encrypted
  Status ParseEncryption(const std::vector<std::byte>& header);
  void ApplyCipherToMemo();
  // Deciphers a raw record image in place when it is enciphered (kErrEncryption without the
  // key) and clears the bit.
  Status DecipherImage(uint32_t recno, std::byte* image) const;
  // Enciphers a plain record image for writing at recno when the table is encrypted.
  Status EncipherForWrite(uint32_t recno, std::byte* image) const;
  Status WriteHeaderBlock();

  std::string path_;
  std::string memo_path_;
  File data_;
  std::optional<AdtMemoFile> memo_;
  std::vector<FieldDesc> length_word_fields_;  // copies of those of fields_ with a length word
  std::vector<FieldDesc> autoinc_fields_;
  std::vector<FieldDesc> stamped_fields_;       // row version and modification time fields
  std::vector<std::byte> append_buffer_;
  bool read_only_ = false;
  std::vector<FieldDesc> fields_;
  std::vector<std::byte> layout_;  // header and descriptors as on disk (mutable region stale)
  uint32_t record_length_ = 0;
  uint64_t data_offset_ = 0;
  uint64_t table_id_ = 0;
  uint64_t change_counter_ = 0;
  uint32_t count_ = 0;
  uint32_t free_head_ = 0;
  uint32_t autoinc_next_ = 1;
  uint8_t flags_ = 0;
  uint16_t char_type_ = 1;
  uint16_t memo_block_size_ = 0;
  std::string collation_;
  // Memo runs written for edits of this object that no stored record points at yet.
  std::set<uint32_t> pending_;
  // Private use (SetPrivate): the header in memory is the truth; header_dirty_ when it differs
  // from the file's.
  bool private_ = false;
  bool header_dirty_ = false;
  std::optional<crypt::KeyParams> key_params_;  // the table is encrypted
  std::shared_ptr<const crypt::TableKey> key_;
};

}  // namespace ace::storage::adt
