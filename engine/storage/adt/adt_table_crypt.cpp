// Encryption of ADT tables: the key, the header's encryption block, enciphering records on
// their way to the file and deciphering them on their way back, and the in-place conversion of
// one record and its memos (contract in table_file.h, bytes in adt_format.h and adt_memo.h,
// ciphers in engine/crypt/table_key.h).
//
// Crash safety of a conversion: a record's memos are rewritten first, each in one write of its
// run (header and data), then the record in one write of its image; every run and every
// record says itself whether it is enciphered. A crash at any moment leaves each of them whole,
// in its old or its new form, and readable with the key.
#include <cstring>

#include "engine/base/error_codes.h"
#include "engine/storage/adt/adt_format.h"
#include "engine/storage/adt/adt_table_file.h"

namespace ace::storage::adt {

namespace {

Status NeedKey(const std::string& path, const std::string& what) {
  return Status(kErrEncryption, path + ": " + what +
                                    " is encrypted; enable encryption with the table's password");
}

}  // namespace

Status AdtTableFile::CheckWritableContent() const {
  ACE_RETURN_IF_ERROR(CheckWritable());
  if (encrypted() && key_ == nullptr) return NeedKey(path_, "the table");
  return Status::Ok();
}

Status AdtTableFile::ParseEncryption(const std::vector<std::byte>& header) {
  if ((std::to_integer<uint8_t>(header[kOffFlags]) & kFlagEncrypted) == 0) {
    key_params_.reset();
    return Status::Ok();
  }
  auto params = DecodeEncryptionBlock(header.data() + kOffEncryption, path_);
  if (!params.ok()) return params.status();
  key_params_ = params.value();
  return Status::Ok();
}

void AdtTableFile::ApplyCipherToMemo() {
  if (memo_) memo_->SetCipher(key_.get(), encrypted());
}

Status AdtTableFile::DecipherImage(uint32_t recno, std::byte* image) const {
  uint8_t status = std::to_integer<uint8_t>(image[0]);
  if ((status & kStatusEncryptedBit) == 0) return Status::Ok();
  if (key_ == nullptr) return NeedKey(path_, "record " + std::to_string(recno));
  ACE_RETURN_IF_ERROR(key_->DecryptRecord(
      recno, std::span<std::byte>(image + kRecordHeaderSize, record_length_ - kRecordHeaderSize)));
  image[0] = std::byte{static_cast<uint8_t>(status & ~kStatusEncryptedBit)};
  return Status::Ok();
}

Status AdtTableFile::EncipherForWrite(uint32_t recno, std::byte* image) const {
  if (!encrypted()) return Status::Ok();
  if (key_ == nullptr) return NeedKey(path_, "the table");
  ACE_RETURN_IF_ERROR(key_->EncryptRecord(
      recno, std::span<std::byte>(image + kRecordHeaderSize, record_length_ - kRecordHeaderSize)));
  image[0] = std::byte{static_cast<uint8_t>(std::to_integer<uint8_t>(image[0]) | kStatusEncryptedBit)};
  return Status::Ok();
}

Status AdtTableFile::SetKey(std::shared_ptr<const crypt::TableKey> key) {
  if (key != nullptr && key_params_ &&
      std::memcmp(key->params().verifier.data(), key_params_->verifier.data(),
                  key_params_->verifier.size()) != 0)
    return Status(kErrEncryption, path_ + ": the key is not the table's");
  key_ = std::move(key);
  ApplyCipherToMemo();
  return Status::Ok();
}

// The first kHeaderSize bytes (fixed part with CRC and flags, the current mutable region and the
// encryption block) in one write, then flushed.
Status AdtTableFile::WriteHeaderBlock() {
  Put32(layout_.data() + kOffCrc, LayoutCrc(layout_));
  std::vector<std::byte> head(layout_.begin(), layout_.begin() + kHeaderSize);
  ACE_RETURN_IF_ERROR(data_.ReadFreshAt(kOffMutable, head.data() + kOffMutable, kMutableSize));
  ACE_RETURN_IF_ERROR(data_.WriteAt(0, head.data(), head.size()));
  return data_.Sync();
}

Status AdtTableFile::SetKeyParams(const crypt::KeyParams* params) {
  ACE_RETURN_IF_ERROR(CheckWritable());
  BookkeepingLock lock;
  ACE_RETURN_IF_ERROR(lock.Acquire(data_, true));
  ACE_RETURN_IF_ERROR(ReadMutable());
  if (params != nullptr) {
    if (key_params_) {
      if (std::memcmp(params->verifier.data(), key_params_->verifier.data(),
                      params->verifier.size()) == 0)
        return Status::Ok();
      return Status(kErrEncryption, path_ + ": the table has a password already");
    }
    layout_[kOffFlags] = std::byte{static_cast<uint8_t>(flags_ | kFlagEncrypted)};
    EncodeEncryptionBlock(*params, layout_.data() + kOffEncryption);
  } else {
    if (!key_params_) return Status::Ok();
    for (uint32_t r = 1; r <= count_; ++r) {
      std::byte status{};
      ACE_RETURN_IF_ERROR(
          data_.ReadAt(RecordOffset(data_offset_, record_length_, r), &status, 1));
      if ((std::to_integer<uint8_t>(status) & kStatusEncryptedBit) != 0)
        return Status(kErrEncryption, path_ + ": record " + std::to_string(r) +
                                          " is still encrypted; the table keeps its password");
    }
    layout_[kOffFlags] = std::byte{static_cast<uint8_t>(flags_ & ~kFlagEncrypted)};
    std::memset(layout_.data() + kOffEncryption, 0, kEncryptionSize);
  }
  Status st = WriteHeaderBlock();
  if (!st.ok()) {
    // What is on disk is unknown: take the header as it is there.
    (void)LoadHeader();
    ApplyCipherToMemo();
    return st;
  }
  flags_ = std::to_integer<uint8_t>(layout_[kOffFlags]);
  if (params != nullptr) {
    key_params_ = *params;
  } else {
    key_params_.reset();
  }
  ApplyCipherToMemo();
  return Status::Ok();
}

Result<bool> AdtTableFile::IsRecordEncrypted(uint32_t recno) {
  if (recno == 0 || recno > count_) ACE_RETURN_IF_ERROR(RefreshHeader());
  ACE_RETURN_IF_ERROR(CheckRecno(recno));
  std::byte status{};
  // Encoding in place moves no change counter: the file itself tells.
  ACE_RETURN_IF_ERROR(
      data_.ReadFreshAt(RecordOffset(data_offset_, record_length_, recno), &status, 1));
  return (std::to_integer<uint8_t>(status) & kStatusEncryptedBit) != 0;
}

Status AdtTableFile::EncodeRecord(uint32_t recno, bool encrypt) {
  ACE_RETURN_IF_ERROR(CheckWritable());
  if (key_ == nullptr) return NeedKey(path_, "the table");
  if (encrypt && !encrypted())
    return Status(kErrEncryption, path_ + ": the table has no password to encrypt with");
  if (recno == 0 || recno > count_) ACE_RETURN_IF_ERROR(RefreshHeader());
  ACE_RETURN_IF_ERROR(CheckRecno(recno));
  const uint64_t at = RecordOffset(data_offset_, record_length_, recno);
  std::vector<std::byte> raw(record_length_);
  ACE_RETURN_IF_ERROR(data_.ReadFreshAt(at, raw.data(), raw.size()));
  const uint8_t status = std::to_integer<uint8_t>(raw[0]);
  if (!ValidStatusByte(status))
    return Status(kErrCorruptFile,
                  path_ + ": record " + std::to_string(recno) + " has an invalid status byte");
  std::vector<std::byte> plain(raw);
  ACE_RETURN_IF_ERROR(DecipherImage(recno, plain.data()));
  if (memo_) {
    for (const auto& f : fields_) {
      if (!IsAdtMemoType(f.type)) continue;
      const uint32_t block = Get32(plain.data() + f.offset);
      if (block == 0) continue;
      ACE_RETURN_IF_ERROR(memo_->Reencode(block, encrypt)
                              .WithContext("record " + std::to_string(recno) + ", field \"" +
                                           f.name + "\""));
    }
  }
  const bool enciphered = (status & kStatusEncryptedBit) != 0;
  if (enciphered == encrypt) return Status::Ok();
  std::vector<std::byte> out(plain);
  if (encrypt) {
    ACE_RETURN_IF_ERROR(EncipherForWrite(recno, out.data()));
  }
  return data_.WriteAt(at, out.data(), out.size());
}

}  // namespace ace::storage::adt
