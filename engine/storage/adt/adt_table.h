// The engine's own table format (.adt data file, .adm memo file).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/storage/table_file.h"

namespace ace::storage {

Result<std::unique_ptr<TableFile>> OpenAdtTable(const std::string& path,
                                                const OpenOptions& options);
Result<std::unique_ptr<TableFile>> CreateAdtTable(const std::string& path,
                                                  const std::vector<FieldSpec>& fields,
                                                  const CreateOptions& options);

}  // namespace ace::storage
