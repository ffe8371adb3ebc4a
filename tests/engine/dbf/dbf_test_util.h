// Helpers of the DBF table tests: a temporary folder per test, field access in record images,
// and raw file patching for the corruption cases.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/error_codes.h"
#include "engine/storage/dbf/dbf_table.h"

namespace dbftest {

using ace::storage::FieldDesc;
using ace::storage::FieldSpec;
using ace::storage::TableFile;
using ace::storage::TableType;

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "dbf_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::unique_ptr<TableFile> Create(const std::string& name, TableType type,
                                    const std::vector<FieldSpec>& fields,
                                    ace::storage::CreateOptions options = {}) {
    auto t = ace::storage::CreateDbfTable(Path(name), type, fields, options);
    EXPECT_TRUE(t.ok()) << t.status().message();
    return t.ok() ? std::move(t).value() : nullptr;
  }
  std::unique_ptr<TableFile> Open(const std::string& name, TableType type, bool read_only = false) {
    auto t = ace::storage::OpenDbfTable(Path(name), type, {read_only});
    EXPECT_TRUE(t.ok()) << t.status().message();
    return t.ok() ? std::move(t).value() : nullptr;
  }

  std::string dir_;
};

inline const FieldDesc& Field(const TableFile& t, const std::string& name) {
  for (const auto& f : t.fields()) {
    if (f.name == name) return f;
  }
  ADD_FAILURE() << "no field " << name;
  static FieldDesc none;
  return none;
}

inline void Put(std::vector<std::byte>& image, const FieldDesc& f, const std::string& text) {
  std::memset(image.data() + f.offset, ' ', f.length);
  std::memcpy(image.data() + f.offset, text.data(), std::min<size_t>(text.size(), f.length));
}
inline void PutRight(std::vector<std::byte>& image, const FieldDesc& f, const std::string& text) {
  std::memset(image.data() + f.offset, ' ', f.length);
  std::memcpy(image.data() + f.offset + f.length - text.size(), text.data(), text.size());
}
template <typename T>
void PutBin(std::vector<std::byte>& image, const FieldDesc& f, T v) {
  std::memcpy(image.data() + f.offset, &v, sizeof v);
}
template <typename T>
T GetBin(const std::vector<std::byte>& image, const FieldDesc& f) {
  T v;
  std::memcpy(&v, image.data() + f.offset, sizeof v);
  return v;
}
inline std::string Get(const std::vector<std::byte>& image, const FieldDesc& f) {
  return std::string(reinterpret_cast<const char*>(image.data()) + f.offset, f.length);
}
inline std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return s.substr(i);
}

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}
inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}
inline void SetLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline std::vector<uint8_t> Bytes(const std::string& s) {
  return {s.begin(), s.end()};
}

}  // namespace dbftest
