// Fuzz target of the table and memo file readers: the input is a table file, optionally
// followed by a memo file after the separator "\n--memo--\n"; its first byte chooses the
// format (ADT, CDX, NTX, VFP). Every record and memo is read.
#include <cstring>
#include <string_view>

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using ace::storage::TableType;
  if (size < 1) return 0;
  static const TableType kTypes[] = {TableType::kAdt, TableType::kCdx, TableType::kNtx,
                                     TableType::kVfp};
  const TableType type = kTypes[data[0] % 4];
  std::string_view all(reinterpret_cast<const char*>(data + 1), size - 1);
  constexpr std::string_view kSeparator = "\n--memo--\n";
  size_t cut = all.find(kSeparator);
  std::string_view table = all.substr(0, cut);
  const bool adt = type == TableType::kAdt;
  fuzz::WriteFile(adt ? "t.adm" : type == TableType::kNtx ? "t.dbt" : "t.fpt", nullptr, 0);
  if (cut != std::string_view::npos) {
    std::string_view memo = all.substr(cut + kSeparator.size());
    fuzz::WriteFile(adt                       ? "t.adm"
                    : type == TableType::kNtx ? "t.dbt"
                                              : "t.fpt",
                    reinterpret_cast<const uint8_t*>(memo.data()), memo.size());
  }
  const std::string path = fuzz::WriteFile(
      adt ? "t.adt" : "t.dbf", reinterpret_cast<const uint8_t*>(table.data()), table.size());
  ace::storage::OpenOptions options;
  options.read_only = true;
  auto opened = ace::storage::OpenTableFile(path, type, options);
  if (opened.ok()) fuzz::ReadWholeTable(*opened.value());
  return 0;
}
