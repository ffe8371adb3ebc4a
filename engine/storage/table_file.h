// The storage contract between the engine's cursors and its table formats.
//
// A TableFile is one open table: its data file and, when it has memo or blob fields, its memo
// file. It knows the format's header, field descriptors, record layout and memo chains, and
// nothing of cursors, positions, filters or indexes (engine/cursor owns those) or of locking
// policy (engine/storage/locks). Each format (ADT, DBF with DBT memos, DBF with FPT memos, Visual
// FoxPro) implements it in a module of its own.
//
// The record image: every format hands out and takes records as one fixed-length byte image of
// record_length() bytes, which is exactly what AdsGetRecord delivers to the components. Each
// field lies at FieldDesc::offset with FieldDesc::length bytes (plus the 16-bit length word that
// follows variable fields on ADT), in the storage forms the components read:
//   - DBF family: the record as stored in the .dbf file, starting with the deletion byte
//     (0x20 live, 0x2A deleted); the Visual FoxPro _NullFlags field is part of the image but not
//     of fields().
//   - ADT: the record as stored in the .adt file (layout documented in that module).
// Memo and blob fields hold, in the image, the format's pointer into the memo file; the
// components overwrite those bytes in their own copy, never in the engine's.
//
// Thread-safety: a TableFile belongs to one connection at a time. Two connections (or two
// processes) that open the same table have a TableFile each; they coordinate through file locks
// and by re-reading the header (RefreshHeader) when they may have been changed by another user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/base/file.h"
#include "engine/base/status.h"

namespace ace::crypt {
class TableKey;
struct KeyParams;
}  // namespace ace::crypt

namespace ace::storage {

// The engine's table types (the numbers of the C API).
enum class TableType : uint16_t { kNtx = 1, kCdx = 2, kAdt = 3, kVfp = 4 };

// Engine field types (the numbers of the C API; 51 and 52 are two further VFP blob types).
enum FieldType : uint16_t {
  kFtLogical = 1,
  kFtNumeric = 2,
  kFtDate = 3,
  kFtString = 4,
  kFtMemo = 5,
  kFtBinary = 6,
  kFtImage = 7,
  kFtVarchar = 8,  // ADT: text kept in the memo file
  kFtCompactDate = 9,
  kFtDouble = 10,
  kFtInteger = 11,
  kFtShortInt = 12,
  kFtTime = 13,
  kFtTimestamp = 14,
  kFtAutoInc = 15,
  kFtRaw = 16,
  kFtCurDouble = 17,
  kFtMoney = 18,
  kFtCiString = 20,
  kFtRowVersion = 21,
  kFtModTime = 22,
  kFtVarcharFox = 23,
  kFtVarbinaryFox = 24,
  kFtNChar = 26,
  kFtNVarchar = 27,
  kFtNMemo = 28,
  kFtFoxBlob = 51,
  kFtFoxGeneral = 52,
};

// True for the types whose value lives in the memo file (5, 6, 7, 8 on ADT, 28, 51, 52).
bool IsMemoType(uint16_t type, TableType table);

// One field of a table, as the format stores it.
struct FieldDesc {
  std::string name;         // as stored: DBF names are upper case, at most 10 bytes; ADT up to 128
  uint16_t type = 0;        // FieldType
  uint32_t length = 0;      // bytes of the field's area in the image (national types: 2 per char)
  uint16_t decimals = 0;    // numeric: decimal places; 0 for other types
  uint32_t offset = 0;      // position in the record image
  bool nullable = false;    // can hold NULL (ADT: always; VFP: has a bit in _NullFlags)
  int16_t null_bit = -1;    // VFP: bit number in _NullFlags of the null mark, else -1
  int16_t varlen_bit = -1;  // VFP varchar/varbinary: bit of the "shorter than the field" mark
  bool binary = false;      // VFP: character field without code-page translation
  uint32_t autoinc_next = 0;  // VFP/ADT autoincrement: next value
  uint8_t autoinc_step = 0;   // VFP autoincrement step
};

// What the caller asks of a new table.
struct FieldSpec {
  std::string name;
  uint16_t type = 0;
  uint32_t length = 0;  // characters for national types, bytes otherwise; 0 = the type's default
  uint16_t decimals = 0;
  bool nullable = true;  // VFP: whether the field gets a null bit
};

struct CreateOptions {
  uint16_t memo_block_size = 0;  // 0 = the format's default
  uint16_t char_type = 1;        // 1 ANSI, 2 OEM
  std::string collation;         // ADT: collation name kept in the header
};

struct OpenOptions {
  bool read_only = false;
};

// Bytes of each write buffer and read-ahead window of a table file in private use
// (TableFile::SetPrivate).
inline constexpr size_t kPrivateBuffer = size_t{2} << 20;

// Memo data types as AdsGetMemoDataType answers them.
enum class MemoKind : uint16_t { kText = 1, kBinary = 2, kImage = 3 };

class TableFile {
 public:
  virtual ~TableFile() = default;

  virtual TableType type() const = 0;
  virtual const std::string& path() const = 0;       // of the data file
  virtual const std::string& memo_path() const = 0;  // empty when the table has no memo file
  virtual const std::vector<FieldDesc>& fields() const = 0;
  virtual uint32_t record_length() const = 0;
  virtual uint16_t memo_block_size() const = 0;  // 0 when there is no memo file

  // The Visual FoxPro _NullFlags field of the record image, which is not one of fields() (its
  // bits are FieldDesc::null_bit and varlen_bit), or nullptr when the table has none.
  virtual const FieldDesc* null_flags_field() const { return nullptr; }

  // The data file (for locks, which live at offsets beyond any data).
  virtual File& data_file() = 0;

  // Number of records (deleted ones included) as the header says now. RefreshHeader re-reads
  // the header, so records appended by another user become visible.
  virtual uint32_t record_count() const = 0;
  virtual Status RefreshHeader() = 0;

  // A blank record image for a new record: every field empty in the format's way, not deleted.
  virtual std::vector<std::byte> BlankRecord() const = 0;

  // Reads record recno (1-based) into image (record_length() bytes).
  // recno past record_count() is kErrInvalidRecordNumber.
  virtual Status ReadRecord(uint32_t recno, std::byte* image) = 0;
  // Reads count consecutive records from first on into images (count * record_length()
  // bytes), for scans that visit every record. The same checks and results as ReadRecord for
  // each; a format may read the whole run at once, this default reads record by record.
  virtual Status ReadRecords(uint32_t first, uint32_t count, std::byte* images) {
    for (uint32_t i = 0; i < count; ++i)
      ACE_RETURN_IF_ERROR(ReadRecord(first + i, images + size_t{i} * record_length()));
    return Status::Ok();
  }
  // Writes an existing record; the deletion mark is part of the image on DBF tables.
  virtual Status WriteRecord(uint32_t recno, const std::byte* image) = 0;
  // Appends a record and answers its number. The caller holds the table's append lock.
  virtual Result<uint32_t> AppendRecord(const std::byte* image) = 0;
  // Appends count records (count * record_length() bytes) as AppendRecord would one by one. On
  // a failure some of them may have been appended: the caller abandons the table (a rewrite's
  // new table) or looks at record_count(). A format may write the run at once in private use.
  virtual Status AppendRecords(const std::byte* images, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
      auto appended = AppendRecord(images + size_t{i} * record_length());
      if (!appended.ok()) return appended.status();
    }
    return Status::Ok();
  }
  // A table that reuses the places of deleted records (ADT) appends into such a place, over a
  // record that the indexes still hold keys of. The two calls below let the caller keep them
  // right: NextAppendRecno answers the number the next append would take now (after a header
  // refresh); AppendReplacing appends like AppendRecord and gives *replaced the image the place
  // held before (left empty for a new place at the end). The caller holds the append lock, so
  // only a change of the deleted records in between (another user's recall) makes the two
  // numbers differ.
  virtual Result<uint32_t> NextAppendRecno() { return record_count() + 1; }
  virtual Result<uint32_t> AppendReplacing(const std::byte* image,
                                           std::vector<std::byte>* replaced) {
    replaced->clear();
    return AppendRecord(image);
  }

  // Deletion mark of a record image.
  virtual bool IsDeleted(const std::byte* image) const = 0;
  virtual void SetDeleted(std::byte* image, bool deleted) const = 0;

  // Memo content of a memo/blob field of a record image (empty when the field has none).
  virtual Result<std::vector<uint8_t>> ReadMemo(const std::byte* image, const FieldDesc& field) = 0;
  // Stores data as the memo of a field and updates the pointer in the image. An empty span
  // clears the field. The old blocks are reused in place when the new data fits; otherwise the
  // data goes to new blocks, and the old ones are reclaimed as the format allows (ADT keeps a
  // free list; the DBF memo formats have none, so Pack reclaims them).
  virtual Status WriteMemo(std::byte* image, const FieldDesc& field, std::span<const uint8_t> data,
                           MemoKind kind) = 0;
  // ---- Memo values of a record being edited. A stored record's memo blocks are never written
  // while an edit is pending, so a cancelled edit leaves the stored memo whole:
  // WritePendingMemo stores data as the field's new value in blocks of the edit's own
  // ("pending" blocks, rewritten in place by later writes of the same field); PostRecord writes
  // the record and reclaims the blocks it replaced; DiscardPendingMemos gives the pending blocks
  // of a cancelled edit or append back. A record written or appended by any call owns the blocks
  // its image points at from then on (they are no longer pending).
  virtual Status WritePendingMemo(std::byte* image, const FieldDesc& field,
                                  std::span<const uint8_t> data, MemoKind kind) = 0;
  // Writes record recno like WriteRecord. A memo field whose pointer changed to pending blocks
  // (or to none) gives up the stored record's blocks: the new value is moved into them when it
  // fits, else they are released (ADT) or left to Pack (DBF). A changed pointer that is not
  // pending comes from an image read before another user's write; the stored pointer is kept
  // for it, so a record never points at blocks that may have been reused. The caller holds the
  // record's lock and makes sure nothing else needs the stored blocks (no open transaction).
  virtual Status PostRecord(uint32_t recno, const std::byte* image) = 0;
  // Releases the pending blocks the memo fields of image point at.
  virtual Status DiscardPendingMemos(const std::byte* image) = 0;
  // The second half of PostRecord, for writers that keep the old runs until their change is
  // final (an SQL statement, which may still be taken back): before is an earlier image of
  // record recno, written over since by values in pending blocks. Each memo run that before
  // points at and the stored record no longer does is given up: with move_back, a new value
  // that fits the old run is moved into it (crash-safe, as PostRecord does) and its pending
  // blocks are released; the other runs are released (ADT) or left to Pack (DBF). The caller
  // holds the record's lock and makes sure nothing else needs before's runs. On error every
  // memo of the record is still whole; at worst some blocks stay allocated until Pack.
  virtual Status ReclaimMemos(uint32_t recno, const std::byte* before, bool move_back) = 0;

  // Length of the memo without reading it, and its kind.
  virtual Result<uint32_t> MemoLength(const std::byte* image, const FieldDesc& field) = 0;
  virtual Result<MemoKind> MemoType(const std::byte* image, const FieldDesc& field) = 0;

  // Removes every record (zap) or the deleted ones (pack), compacting the memo file; both
  // rewrite the files beside the old ones and replace them atomically. The caller holds the
  // table exclusively.
  virtual Status Zap() = 0;
  virtual Status Pack() = 0;

  // Writes the header (record count, dates) and flushes data and memo files to disk.
  virtual Status Flush() = 0;

  // ---- Private use, for a table that no other object or process reads or writes meanwhile: a
  // rewrite's new table, built beside the old one and swapped in only when complete, and the old
  // table, which the rewrite holds exclusively. While on, the header lives in memory (appends
  // take no locks and re-read nothing), writes to the data and memo files are gathered in large
  // buffers and reads go through a large read-ahead window. SetPrivate(false) writes the header
  // and every buffered byte out (it does not flush them to disk: Flush does) and reports the
  // first failure; after a failure the table is to be abandoned. The default does nothing.
  virtual Status SetPrivate(bool on) {
    (void)on;
    return Status::Ok();
  }

  // ---- Encryption (ADT; the DBF formats have no room for it and answer kErrNotSupported).
  // A table is encrypted when its header holds key parameters (salt and verifier of its
  // password); each record and each memo says itself whether it is stored enciphered. With a
  // key set, enciphered records and memos are deciphered on reading and everything written to
  // an encrypted table is enciphered; without one, reading an enciphered record or memo, and
  // writing to an encrypted table, are kErrEncryption. Images handed out are always plain.
  virtual bool encrypted() const { return false; }
  virtual const crypt::KeyParams* key_params() const { return nullptr; }
  // The key for key_params() (crypt::TableKey::Derive checked it); nullptr forgets it.
  virtual Status SetKey(std::shared_ptr<const crypt::TableKey> key);
  virtual bool has_key() const { return false; }
  virtual std::shared_ptr<const crypt::TableKey> key() const { return nullptr; }
  // Makes the table encrypted under params (the header is written in one write and flushed),
  // or, with nullptr, no longer encrypted, which needs every record and memo plain already
  // (kErrEncryption otherwise). The caller holds the table exclusively.
  virtual Status SetKeyParams(const crypt::KeyParams* params);
  // Whether record recno is stored enciphered.
  virtual Result<bool> IsRecordEncrypted(uint32_t recno);
  // Rewrites record recno and its memos in place, enciphered (encrypt) or plain, keeping their
  // contents, numbers and stamps; each memo and then the record goes in one write, so a crash
  // leaves every one of them whole in one form or the other. Needs the key.
  virtual Status EncodeRecord(uint32_t recno, bool encrypt);

  // The format's own object when this one wraps another (a connection's transactions journal
  // the writes through a wrapper, engine/txn); helpers that need the concrete format look
  // through it.
  virtual const TableFile* Unwrapped() const { return this; }
};

// Opens a table of the given type; the memo file is found by the format's naming rule.
// A missing file is kErrFileNotFound, a file of another kind or a damaged header
// kErrCorruptFile, an unknown version kErrUnsupportedVersion.
Result<std::unique_ptr<TableFile>> OpenTableFile(const std::string& path, TableType type,
                                                 const OpenOptions& options);

// Creates a new table (refusing to overwrite an existing file) and opens it.
// Field names, types and lengths the format cannot hold are refused, never adjusted.
Result<std::unique_ptr<TableFile>> CreateTableFile(const std::string& path, TableType type,
                                                   const std::vector<FieldSpec>& fields,
                                                   const CreateOptions& options);

// Makes the memo file at to, of a table just created that holds nothing yet, a copy of the memo
// file at from, of a table of the same type and memo block size, so that records carried over
// from that table keep their memo pointers as they are. The copy keeps what ties the file to its
// own table (the ADT memo file's table id). It is not flushed to disk: the table's Flush, once
// reopened on it, does that. On a failure the file at to is to be abandoned.
Status CloneMemoFile(TableType type, const std::string& from, const std::string& to);

// The default file extension of a table type (".adt" or ".dbf") and of its memo file
// (".adm", ".dbt", ".fpt").
const char* TableExtension(TableType type);
const char* MemoExtension(TableType type);

}  // namespace ace::storage
