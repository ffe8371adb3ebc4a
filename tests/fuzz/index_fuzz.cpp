// Fuzz target of the index file reader: the input is an .adi file of the sample table; it is
// opened read-only (also when its stamp is for another state of the table) and every tag's
// tree is checked. With FUZZ_WRITE_SEED=<file> set, the target first writes a valid index of
// the sample table (two tags) there, which scripts/reliability uses as the seed.
#include <stdlib.h>

#include <filesystem>

#include "engine/index/index_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* seed = std::getenv("FUZZ_WRITE_SEED");
  if (seed == nullptr) return 0;
  ace::index::TagDefinition name;
  name.name = "NAME";
  name.key_expression = "UPPER(NAME)";
  ace::index::TagDefinition nr;
  nr.name = "NR";
  nr.key_expression = "STR(NR, 8, 2) + DTOS(GEBURT)";
  const std::string path = fuzz::Folder() + "/seed.adi";
  auto made = ace::index::IndexFile::Create(path, &fuzz::SampleTable(), {name, nr});
  if (!made.ok()) abort();
  made.value().reset();
  std::filesystem::copy_file(path, seed, std::filesystem::copy_options::overwrite_existing);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ace::storage::TableFile& table = fuzz::SampleTable();
  const std::string path = fuzz::WriteFile("sample_fuzz.adi", data, size);
  auto index = ace::index::IndexFile::Open(path, &table, true, true);
  if (index.ok()) (void)index.value()->CheckAll();
  return 0;
}
