// Helpers shared by the ADT table tests: a fresh temporary folder per test and small accessors
// for field values in record images.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/storage/adt/adt_format.h"
#include "engine/storage/adt/adt_table.h"
#include "engine/storage/adt/adt_table_file.h"

namespace adt_test {

using ace::storage::FieldDesc;
using ace::storage::FieldSpec;
using ace::storage::TableFile;
using ace::storage::adt::AdtTableFile;

class AdtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/adt_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    ace::FaultInjector::Reset();
  }
  void TearDown() override {
    ace::FaultInjector::Reset();
    std::filesystem::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::unique_ptr<AdtTableFile> Create(const std::string& name, const std::vector<FieldSpec>& f,
                                       ace::storage::CreateOptions options = {}) {
    auto t = AdtTableFile::Create(Path(name), f, options);
    EXPECT_TRUE(t.ok()) << t.status().message();
    return t.ok() ? std::move(t.value()) : nullptr;
  }
  std::unique_ptr<AdtTableFile> Open(const std::string& name, bool read_only = false) {
    auto t = AdtTableFile::Open(Path(name), ace::storage::OpenOptions{read_only});
    EXPECT_TRUE(t.ok()) << t.status().message();
    return t.ok() ? std::move(t.value()) : nullptr;
  }

  std::string dir_;
};

inline const FieldDesc& Field(const TableFile& t, const std::string& name) {
  for (const auto& f : t.fields()) {
    if (f.name == name) return f;
  }
  ADD_FAILURE() << "no field " << name;
  return t.fields().front();
}

inline uint32_t U32(const std::vector<std::byte>& rec, const FieldDesc& f, uint32_t extra = 0) {
  return ace::storage::adt::Get32(rec.data() + f.offset + extra);
}
inline uint64_t U64(const std::vector<std::byte>& rec, const FieldDesc& f) {
  return ace::storage::adt::Get64(rec.data() + f.offset);
}
inline void SetU32(std::vector<std::byte>& rec, const FieldDesc& f, uint32_t v) {
  ace::storage::adt::Put32(rec.data() + f.offset, v);
}
inline void SetBytes(std::vector<std::byte>& rec, const FieldDesc& f, const std::string& s) {
  std::memcpy(rec.data() + f.offset, s.data(), s.size());
}
inline std::string Bytes(const std::vector<std::byte>& rec, const FieldDesc& f, size_t n) {
  return std::string(reinterpret_cast<const char*>(rec.data() + f.offset), n);
}

}  // namespace adt_test
