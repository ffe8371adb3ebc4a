// The on-disk layout of ADT tables: the .adt header, its field descriptors and record header,
// the per-type field rules (lengths, limits, null forms), and the byte helpers the table and memo
// code share. The table logic lives in adt_table_file.cpp, the memo file in adt_memo.h; this file
// only describes bytes and checks them.
//
// .adt data file
//   OFFSET  SIZE  DESCRIPTION
//   0       8     magic "VADT\r\n\x1A\0"
//   8       1     format version (kAdtVersion); any other value is refused
//   9       1     flags: bit 0 reuse deleted records on append, bit 1 encrypted; others must be 0
//   10      2     char type: 1 ANSI, 2 OEM
//   12      2     field count (1 .. kMaxFields)
//   14      2     memo block size (0 when the table has no memo fields)
//   16      4     record length (record header included)
//   20      4     CRC-32 of the header (mutable region and this word as zero) and descriptors
//   24      8     data offset: position of record 1 (= 256 + field count * 160)
//   32      8     table id: random 64-bit number fixed at creation, new on pack and zap
//   40      8     change counter: +1 on every append, write, pack and zap   } mutable region,
//   48      4     record count                                               } rewritten under
//   52      4     head of the deleted-record free list (record number, 0)    } the header lock,
//   56      4     next autoincrement value                                   } not in the CRC
//   60      4     reserved, 0                                                }
//   64      64    collation name, zero padded (at most 63 bytes)
//   128     128   encryption block when flag bit 1 is set (below), else reserved, 0
//   256     160*n field descriptors (below), then the records, record length bytes each
//
// Encryption block (header bytes 128..255, flag bit 1; engine/crypt/table_key.h has the key
// derivation and the ciphers)
//   OFFSET  SIZE  DESCRIPTION
//   128     4     magic "VENC"
//   132     1     encryption version (kEncryptionVersion): AES-256 (XTS, CTR for short records)
//                 under a key derived with PBKDF2-HMAC-SHA256
//   133     3     reserved, 0
//   136     4     PBKDF2 iterations
//   140     16    salt
//   156     32    verifier: SHA-256 of the verifier part of the derived key
//   188     68    reserved, 0
// The header (CRC, flags and this block) is rewritten in one write of its first 256 bytes when
// a table becomes encrypted or stops being so.
//
// Field descriptor (160 bytes)
//   OFFSET  SIZE  DESCRIPTION
//   0       128   name, zero padded (1 to 128 bytes, case kept)
//   128     2     engine field type
//   130     2     decimals (numeric, double, curdouble, money; else 0)
//   132     4     length of the field's value area in bytes (national types: 2 per char)
//   136     4     offset in the record (fields lie one after the other from offset 5)
//   140     20    reserved, 0
//
// Record header (5 bytes, the start of every record image)
//   OFFSET  SIZE  DESCRIPTION
//   0       1     status: 0xA0 live, 0xA1 deleted, 0xA3 deleted and on the free list; plus
//                 0x04 when the record's field data (bytes 5 to the end) is enciphered
//   1       4     next record on the free list (0 = end), meaningful only for status 0xA3
// The record header itself is never enciphered, so the free list works without the key. Images
// handed out are deciphered and carry the status without bit 0x04.
//
// Variable fields (types 23, 24, 27) are followed by a 16-bit length word (bytes; characters for
// 27), 0xFFFF meaning null. All numbers are little-endian.
//
// Field types: value area (bytes), length the caller may give (0 = default), null form
//   TYPE                 AREA        LENGTH GIVEN           NULL WHEN
//   1 logical            1           0/1                    the byte is a blank
//   2 numeric (text)     width       1..32, default 10      all bytes zero
//                                    decimals 0, or up to width - 2
//   3 date (Julian day)  4           0/4                    all bytes zero
//   4 char, 20 cichar    length      1..65530, default 1    all bytes zero
//   5 memo, 6 binary,    4           0/4                    slot 0 (the slot is the first
//   7 image, 8 varchar,                                     block of the memo's run in .adm)
//   28 nmemo
//   9 compact date       3           0/3                    all bytes zero
//   10 double,           8           0/8, decimals 0..20    halves 32 and 0x80000000
//   17 curdouble
//   11 integer           4           0/4                    0x80000000
//   12 short integer     2           0/2                    0x8000
//   13 time, 15 autoinc  4           0/4                    0xFFFFFFFF
//   14 timestamp,        8           0/8                    day word 0 (null written with
//   22 modtime                                              millisecond word 0xFFFFFFFF)
//   16 raw               length      1..65530, default 1    all bytes zero
//   18 money, 21         8           0/8 (money: 4 decimals) halves 0 and 0x80000000
//   rowversion
//   23 varchar, 24       length + 2  1..65530, default 1    length word 0xFFFF or 0
//   varbinary
//   26 nchar             2 * chars   1..32765 characters    all bytes zero
//   27 nvarchar          2*chars + 2 1..32765 characters    length word 0xFFFF or 0
// Types 19, 25, 51, 52 and all others are refused. The whole record (header included) is at
// most 65535 bytes, as the component layer keeps the record length in 16 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "engine/base/file.h"
#include "engine/base/status.h"
#include "engine/crypt/table_key.h"
#include "engine/storage/table_file.h"

namespace ace::storage::adt {

inline constexpr char kAdtMagic[8] = {'V', 'A', 'D', 'T', '\r', '\n', '\x1A', '\0'};
inline constexpr uint8_t kAdtVersion = 1;

inline constexpr size_t kHeaderSize = 256;
inline constexpr size_t kOffMagic = 0;
inline constexpr size_t kOffVersion = 8;
inline constexpr size_t kOffFlags = 9;
inline constexpr size_t kOffCharType = 10;
inline constexpr size_t kOffFieldCount = 12;
inline constexpr size_t kOffMemoBlockSize = 14;
inline constexpr size_t kOffRecordLength = 16;
inline constexpr size_t kOffCrc = 20;
inline constexpr size_t kOffDataOffset = 24;
inline constexpr size_t kOffTableId = 32;
inline constexpr size_t kOffMutable = 40;
inline constexpr size_t kMutableSize = 24;
inline constexpr size_t kOffChangeCounter = 40;
inline constexpr size_t kOffRecordCount = 48;
inline constexpr size_t kOffFreeHead = 52;
inline constexpr size_t kOffAutoincNext = 56;
inline constexpr size_t kOffCollation = 64;
inline constexpr size_t kCollationSize = 64;

inline constexpr uint8_t kFlagReuseDeleted = 0x01;
inline constexpr uint8_t kFlagEncrypted = 0x02;
inline constexpr uint8_t kKnownFlags = kFlagReuseDeleted | kFlagEncrypted;

inline constexpr size_t kDescSize = 160;
inline constexpr size_t kDescOffName = 0;
inline constexpr size_t kMaxNameLength = 128;
inline constexpr size_t kDescOffType = 128;
inline constexpr size_t kDescOffDecimals = 130;
inline constexpr size_t kDescOffLength = 132;
inline constexpr size_t kDescOffOffset = 136;

inline constexpr uint32_t kRecordHeaderSize = 5;
inline constexpr uint8_t kStatusLive = 0xA0;
inline constexpr uint8_t kStatusDeleted = 0xA1;
inline constexpr uint8_t kStatusFree = 0xA3;
inline constexpr uint8_t kStatusDeletedBit = 0x01;
inline constexpr uint8_t kStatusEncryptedBit = 0x04;

inline constexpr size_t kOffEncryption = 128;
inline constexpr size_t kEncryptionSize = 128;
inline constexpr char kEncryptionMagic[4] = {'V', 'E', 'N', 'C'};
inline constexpr uint8_t kEncryptionVersion = 1;
inline constexpr size_t kEncOffVersion = 4;     // within the block
inline constexpr size_t kEncOffIterations = 8;
inline constexpr size_t kEncOffSalt = 12;
inline constexpr size_t kEncOffVerifier = 28;
static_assert(kEncOffVerifier + 32 + 68 == kEncryptionSize);

// A status byte a record may have (live, deleted or free, each plain or enciphered).
inline bool ValidStatusByte(uint8_t s) {
  s = static_cast<uint8_t>(s & ~kStatusEncryptedBit);
  return s == kStatusLive || s == kStatusDeleted || s == kStatusFree;
}
static_assert(kOffEncryption + kEncryptionSize == kHeaderSize);

// Limits. The record length is held in 16 bits by the component layer, so no record is larger.
inline constexpr uint32_t kMaxRecordLength = 65535;
inline constexpr uint32_t kMaxCharLength = 65530;   // types 4, 16, 20, 23, 24 (bytes)
inline constexpr uint32_t kMaxNCharLength = 32765;  // types 26, 27 (characters)
inline constexpr uint32_t kMaxNumericWidth = 32;
inline constexpr uint16_t kMaxDoubleDecimals = 20;
inline constexpr uint16_t kMaxFields = 4096;
inline constexpr uint16_t kDefaultMemoBlockSize = 64;
inline constexpr uint16_t kMinMemoBlockSize = 64;
inline constexpr uint16_t kMaxMemoBlockSize = 32768;
inline constexpr size_t kMaxCollationLength = kCollationSize - 1;

static_assert(kOffVersion == sizeof(kAdtMagic));
static_assert(kOffCrc + 4 == kOffDataOffset && kOffDataOffset + 8 == kOffTableId);
static_assert(kOffTableId + 8 == kOffMutable && kOffChangeCounter == kOffMutable);
static_assert(kOffAutoincNext + 4 + 4 == kOffMutable + kMutableSize);
static_assert(kOffMutable + kMutableSize == kOffCollation);
static_assert(kOffCollation + kCollationSize == 128);
static_assert(kDescOffName + kMaxNameLength == kDescOffType);
static_assert(kDescOffOffset + 4 + 20 == kDescSize);
static_assert(kRecordHeaderSize + kMaxCharLength == kMaxRecordLength);
static_assert(2 * kMaxNCharLength <= kMaxCharLength);

// Little-endian access to byte buffers.
inline uint16_t Get16(const std::byte* p) {
  return static_cast<uint16_t>(std::to_integer<uint16_t>(p[0]) |
                               (std::to_integer<uint16_t>(p[1]) << 8));
}
inline uint32_t Get32(const std::byte* p) {
  return static_cast<uint32_t>(Get16(p)) | (static_cast<uint32_t>(Get16(p + 2)) << 16);
}
inline uint64_t Get64(const std::byte* p) {
  return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}
inline void Put16(std::byte* p, uint16_t v) {
  p[0] = static_cast<std::byte>(v & 0xFF);
  p[1] = static_cast<std::byte>(v >> 8);
}
inline void Put32(std::byte* p, uint32_t v) {
  Put16(p, static_cast<uint16_t>(v & 0xFFFF));
  Put16(p + 2, static_cast<uint16_t>(v >> 16));
}
inline void Put64(std::byte* p, uint64_t v) {
  Put32(p, static_cast<uint32_t>(v & 0xFFFFFFFFu));
  Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

// Position of record recno (1-based) in the data file; 64-bit, so tables beyond 4 GiB work.
inline uint64_t RecordOffset(uint64_t data_offset, uint32_t record_length, uint32_t recno) {
  return data_offset + static_cast<uint64_t>(recno - 1) * record_length;
}

uint32_t Crc32(uint32_t crc, const std::byte* data, size_t n);

// True for the memo-file types of ADT (5, 6, 7, 8, 28).
bool IsAdtMemoType(uint16_t type);
// True for the types followed by a 16-bit length word (23, 24, 27).
bool HasLengthWord(uint16_t type);
// Bytes a field takes in the record: its length, plus 2 for a length word.
uint32_t FieldArea(const FieldDesc& field);

// Turns the caller's field list into descriptors with offsets, refusing names, types, lengths
// and decimals the format cannot hold (kErrInvalidFieldName, kErrNameTooLong,
// kErrInvalidFieldType, kErrInvalidArgument). Answers the record length.
Result<uint32_t> LayOutFields(const std::vector<FieldSpec>& requested, std::vector<FieldDesc>* out);
// Checks descriptors read from a file with the same rules and that offsets follow one another;
// any violation is kErrCorruptFile naming the field. Answers the record length.
Result<uint32_t> CheckStoredFields(const std::vector<FieldDesc>& fields, const std::string& path);

// Case-insensitive comparison of field names in the ANSI code page.
bool SameFieldName(const std::string& a, const std::string& b);

// Writes the null form of a field into a record image.
void WriteNull(std::byte* image, const FieldDesc& field);
// The null test of a field in a record image.
bool IsNull(const std::byte* image, const FieldDesc& field);
// Checks that every length word of an image is 0xFFFF or at most the field's length; answers
// the first field that breaks the rule, or nullptr.
const FieldDesc* BadLengthWord(const std::byte* image, const std::vector<FieldDesc>& fields);

// The header checksum of a layout (header and descriptors), over everything but the CRC word
// and the mutable region.
uint32_t LayoutCrc(const std::vector<std::byte>& layout);

// The encryption block (kEncryptionSize bytes at kOffEncryption): encoding, and decoding with
// its checks (an unknown magic or version is kErrUnsupportedVersion, out-of-range iterations
// kErrCorruptFile).
void EncodeEncryptionBlock(const crypt::KeyParams& key, std::byte* out);
Result<crypt::KeyParams> DecodeEncryptionBlock(const std::byte* in, const std::string& path);

// Encodes one descriptor; decodes one, checking nothing but the name's zero padding.
void EncodeDescriptor(const FieldDesc& field, std::byte* out);
FieldDesc DecodeDescriptor(const std::byte* in);

// Serialises changes of a file's shared bookkeeping (the .adt mutable header region, the .adm
// free list) between connections and processes: an open-file-description lock on one byte far
// beyond any data (kBookkeepingLockOffset), taken for the few reads and writes of an update and
// released by the destructor. Exclusive for read-write files, shared for read-only ones.
inline constexpr uint64_t kBookkeepingLockOffset = uint64_t{1} << 62;
class BookkeepingLock {
 public:
  BookkeepingLock() = default;
  ~BookkeepingLock();
  BookkeepingLock(const BookkeepingLock&) = delete;
  BookkeepingLock& operator=(const BookkeepingLock&) = delete;
  Status Acquire(File& file, bool exclusive);
  void Release();

 private:
  int fd_ = -1;
};

// The local time now as Julian day number and milliseconds since midnight.
void NowJulian(uint32_t* day, uint32_t* ms);

}  // namespace ace::storage::adt
