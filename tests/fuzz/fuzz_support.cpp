// Shared pieces of the fuzz targets: the private folder and its files (see fuzz_support.h).
#include "tests/fuzz/fuzz_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace fuzz {

namespace {

struct FolderOwner {
  std::string path;
  FolderOwner() {
    char tmpl[] = "/tmp/ace_fuzz_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) abort();
    path = tmpl;
  }
  ~FolderOwner() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

}  // namespace

const std::string& Folder() {
  static FolderOwner owner;
  return owner.path;
}

std::string WriteFile(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = Folder() + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) abort();
  std::fclose(f);
  return path;
}

}  // namespace fuzz
