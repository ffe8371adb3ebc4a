// Shared pieces of the engine's fuzz targets: the sample table and the reading of a whole table
// (see fuzz_support.h).
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/fuzz/fuzz_support.h"

namespace fuzz {

ace::storage::TableFile& SampleTable() {
  static std::unique_ptr<ace::storage::TableFile> table = [] {
    using namespace ace::storage;
    const std::string path = Folder() + "/sample.adt";
    std::vector<FieldSpec> fields(4);
    fields[0] = {"NAME", kFtString, 20, 0, true};
    fields[1] = {"NR", kFtNumeric, 8, 2, true};
    fields[2] = {"GEBURT", kFtDate, 0, 0, true};
    fields[3] = {"NOTIZ", kFtMemo, 0, 0, true};
    auto made = CreateTableFile(path, TableType::kAdt, fields, CreateOptions{});
    if (!made.ok()) abort();
    std::unique_ptr<TableFile> t = std::move(made.value());
    std::vector<std::byte> image = t->BlankRecord();
    const char name[] = "Anna";
    std::memcpy(image.data() + t->fields()[0].offset, name, 4);
    const uint8_t memo[] = "eine Notiz";
    if (!t->WriteMemo(image.data(), t->fields()[3], memo, MemoKind::kText).ok()) abort();
    if (!t->AppendRecord(image.data()).ok()) abort();
    return t;
  }();
  return *table;
}

const std::byte* SampleImage() {
  static std::vector<std::byte> image = [] {
    ace::storage::TableFile& t = SampleTable();
    std::vector<std::byte> img(t.record_length());
    if (!t.ReadRecord(1, img.data()).ok()) abort();
    return img;
  }();
  return image.data();
}

void ReadWholeTable(ace::storage::TableFile& table) {
  std::vector<std::byte> image(table.record_length());
  const uint32_t count = std::min<uint32_t>(table.record_count(), 4096);
  for (uint32_t r = 1; r <= count; ++r) {
    if (!table.ReadRecord(r, image.data()).ok()) continue;
    (void)table.IsDeleted(image.data());
    for (const auto& f : table.fields()) {
      if (!ace::storage::IsMemoType(f.type, table.type())) continue;
      auto length = table.MemoLength(image.data(), f);
      if (length.ok() && length.value() > (64u << 20)) continue;
      (void)table.ReadMemo(image.data(), f);
      (void)table.MemoType(image.data(), f);
    }
  }
}

}  // namespace fuzz
