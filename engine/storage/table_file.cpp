// Dispatch from table types to the format modules, and the facts about types that every format
// shares.
#include "engine/storage/table_file.h"

#include "engine/base/error_codes.h"
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
