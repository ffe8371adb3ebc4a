// Dispatch from table types to the format modules, and the facts about types that every format
// shares.
#include "engine/storage/table_file.h"

#include <memory>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/storage/adt/adt_format.h"
#include "engine/storage/adt/adt_memo.h"
#include "engine/storage/adt/adt_table.h"
#include "engine/storage/dbf/dbf_table.h"
#include "engine/storage/replace_files.h"

namespace ace::storage {

namespace {

Status NoEncryption(const TableFile& t) {
  return Status(kErrNotSupported,
                t.path() + ": tables of this type cannot be encrypted (only ADT tables can: the "
                           "DBF header has no room for the key's salt and verifier, and other "
                           "programs that read DBF files would take cipher bytes for data)");
}

}  // namespace

Status TableFile::SetKey(std::shared_ptr<const crypt::TableKey>) {
  return NoEncryption(*this);
}
Status TableFile::SetKeyParams(const crypt::KeyParams*) {
  return NoEncryption(*this);
}
Result<bool> TableFile::IsRecordEncrypted(uint32_t) {
  return false;
}
Status TableFile::EncodeRecord(uint32_t, bool) {
  return NoEncryption(*this);
}

bool IsMemoType(uint16_t type, TableType table) {
  switch (type) {
    case kFtMemo:
    case kFtBinary:
    case kFtImage:
    case kFtNMemo:
    case kFtFoxBlob:
    case kFtFoxGeneral:
      return true;
    case kFtVarchar:
      return table == TableType::kAdt;
    default:
      return false;
  }
}

Status CloneMemoFile(TableType type, const std::string& from, const std::string& to) {
  uint64_t table_id = 0;
  if (type == TableType::kAdt) {
    auto id = adt::AdtMemoFile::PeekTableId(to);
    if (!id.ok()) return id.status();
    if (id.value() == 0) return Status(kErrCorruptFile, to + ": not a memo file of a new table");
    table_id = id.value();
  }
  auto source = File::Open(from, OpenMode::kReadOnly);
  if (!source.ok()) return source.status();
  auto target = File::Open(to, OpenMode::kReadWrite);
  if (!target.ok()) return target.status();
  constexpr size_t kChunk = 4 << 20;
  std::unique_ptr<char[]> chunk(new char[kChunk]);
  uint64_t at = 0;
  for (;;) {
    size_t got = 0;
    ACE_RETURN_IF_ERROR(source->ReadSomeAt(at, chunk.get(), kChunk, &got));
    if (got == 0) break;
    ACE_RETURN_IF_ERROR(target->WriteAt(at, chunk.get(), got));
    at += got;
  }
  auto size = target->Size();
  if (!size.ok()) return size.status();
  if (size.value() > at) ACE_RETURN_IF_ERROR(target->Truncate(at));
  if (type == TableType::kAdt) {
    if (at < adt::kMemoHeaderSize) return Status(kErrCorruptFile, from + ": memo file is truncated");
    std::byte id[8];
    adt::Put64(id, table_id);
    ACE_RETURN_IF_ERROR(target->WriteAt(adt::kMemoOffTableId, id, sizeof id));
  }
  return Status::Ok();
}

Result<std::unique_ptr<TableFile>> OpenTableFile(const std::string& path, TableType type,
                                                 const OpenOptions& options) {
  // A rewrite that a crash interrupted is finished or undone first, so that the data file is
  // never read with a memo file of another generation. A read-only user that may not change
  // the folder reads what is there.
  Status recovered = RecoverTableFiles(path);
  if (!recovered.ok() && !(options.read_only && recovered.code() == kErrPermissionDenied)) {
    return recovered;
  }
  switch (type) {
    case TableType::kAdt:
      return OpenAdtTable(path, options);
    case TableType::kNtx:
    case TableType::kCdx:
    case TableType::kVfp:
      return OpenDbfTable(path, type, options);
  }
  return Status(kErrInvalidArgument, "unknown table type " + std::to_string(static_cast<int>(type)));
}

Result<std::unique_ptr<TableFile>> CreateTableFile(const std::string& path, TableType type,
                                                   const std::vector<FieldSpec>& fields,
                                                   const CreateOptions& options) {
  switch (type) {
    case TableType::kAdt:
      return CreateAdtTable(path, fields, options);
    case TableType::kNtx:
    case TableType::kCdx:
    case TableType::kVfp:
      return CreateDbfTable(path, type, fields, options);
  }
  return Status(kErrInvalidArgument, "unknown table type " + std::to_string(static_cast<int>(type)));
}

const char* TableExtension(TableType type) { return type == TableType::kAdt ? ".adt" : ".dbf"; }

const char* MemoExtension(TableType type) {
  switch (type) {
    case TableType::kAdt: return ".adm";
    case TableType::kNtx: return ".dbt";
    case TableType::kCdx:
    case TableType::kVfp: return ".fpt";
  }
  return "";
}

}  // namespace ace::storage
