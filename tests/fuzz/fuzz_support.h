// Shared pieces of the fuzz targets: a private folder for the files a target writes, and a
// small ADT table (NAME char, NR numeric, GEBURT date, NOTIZ memo, one record) that index and
// expression inputs run against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/storage/table_file.h"

namespace fuzz {

// A folder that lives as long as the process (removed at its end).
const std::string& Folder();

// Writes bytes to a file of the folder (replacing it) and answers its path.
std::string WriteFile(const std::string& name, const uint8_t* data, size_t size);

// ---- For the engine's targets (fuzz_engine_support.cpp) ----

// The sample table, made once; its first record is loaded in Image().
ace::storage::TableFile& SampleTable();
const std::byte* SampleImage();

// Reads every record and every memo of a table as the engine's readers do; answers nothing,
// the readers must only never crash, hang or read out of bounds.
void ReadWholeTable(ace::storage::TableFile& table);

}  // namespace fuzz
