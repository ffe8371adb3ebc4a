// The DBF family: dBase III tables with .dbt memos (NTX), FoxPro tables with .fpt memos (CDX) and
// Visual FoxPro tables with .fpt memos, nullable fields and _NullFlags (VFP).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/storage/table_file.h"

namespace ace::storage {

Result<std::unique_ptr<TableFile>> OpenDbfTable(const std::string& path, TableType type,
                                                const OpenOptions& options);
Result<std::unique_ptr<TableFile>> CreateDbfTable(const std::string& path, TableType type,
                                                  const std::vector<FieldSpec>& fields,
                                                  const CreateOptions& options);

}  // namespace ace::storage
