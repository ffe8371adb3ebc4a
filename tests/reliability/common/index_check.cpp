// The consistency check of index files against their table (see index_check.h).
#include "tests/reliability/common/index_check.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <utility>

#include "engine/index/index_file.h"
#include "engine/index/table_record_source.h"

namespace reliability {

namespace {

using Entries = std::vector<std::pair<std::string, uint32_t>>;

uint64_t FileDigest(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  uint64_t h = 1469598103934665603ull;
  for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) {
    h ^= static_cast<unsigned char>(*it);
    h *= 1099511628211ull;
  }
  return h;
}

// The entries a tag must hold: the key of every record its FOR condition admits, deleted
// records included (they keep their keys), in tree order (key bytes, then record number).
ace::Result<Entries> ExpectedEntries(ace::index::Tag& tag, ace::storage::TableFile& table) {
  Entries out;
  ace::index::TableRecordSource source(&table);
  std::vector<std::byte> image(table.record_length());
  for (uint32_t r = 1; r <= table.record_count(); ++r) {
    ACE_RETURN_IF_ERROR(table.ReadRecord(r, image.data()));
    source.SetRecord(r, image.data());
    auto key = tag.KeyOf(source);
    if (!key.ok()) return key.status();
    if (key.value().has_value()) out.emplace_back(std::move(*key.value()), r);
  }
  std::sort(out.begin(), out.end());
  return out;
}

ace::Result<Entries> StoredEntries(ace::index::Tag& tag) {
  Entries out;
  ace::index::BTree& tree = tag.tree();
  auto pos = tree.First();
  while (pos.ok() && pos.value().valid()) {
    auto entry = tree.EntryAt(pos.value());
    if (!entry.ok()) return entry.status();
    out.emplace_back(std::move(entry.value().key), entry.value().recno);
    pos = tree.Next(pos.value());
  }
  if (!pos.ok()) return pos.status();
  return out;
}

// "" when the tag holds exactly the expected entries, else the first difference.
std::string CompareEntries(const std::string& where, const Entries& stored,
                           const Entries& expected) {
  if (stored == expected) return "";
  size_t i = 0;
  while (i < stored.size() && i < expected.size() && stored[i] == expected[i]) ++i;
  std::string what = where + ": holds " + std::to_string(stored.size()) +
                     " keys, the records give " + std::to_string(expected.size());
  if (i < stored.size() && i < expected.size()) {
    what += "; entry " + std::to_string(i + 1) + " is of record " +
            std::to_string(stored[i].second) + " where record " +
            std::to_string(expected[i].second) + " belongs";
  }
  return what;
}

}  // namespace

IndexState CheckIndexes(const std::string& dir, const std::string& table, TableType type,
                        const std::vector<std::string>& index_files) {
  IndexState state;
  ace::storage::OpenOptions options;
  options.read_only = true;
  auto opened = ace::storage::OpenTableFile(dir + "/" + table, type, options);
  if (!opened.ok()) {
    state.problem = "the table does not open: " + opened.status().message();
    return state;
  }
  ace::storage::TableFile& raw = *opened.value();
  for (const std::string& name : index_files) {
    const std::string path = dir + "/" + name;
    state.file_digests.push_back(FileDigest(path));
    auto index = ace::index::IndexFile::Open(path, &raw, /*read_only=*/true);
    if (!index.ok()) {
      state.problem = name + " does not open for the table: " + index.status().message();
      return state;
    }
    ace::Status tree = index.value()->CheckAll();
    if (!tree.ok()) {
      state.problem = name + ": " + tree.message();
      return state;
    }
    uint64_t keys = 0;
    for (size_t t = 0; t < index.value()->tag_count(); ++t) {
      ace::index::Tag& tag = index.value()->tag(t);
      const std::string where = name + " tag " + tag.name();
      auto stored = StoredEntries(tag);
      auto expected = stored.ok() ? ExpectedEntries(tag, raw) : ace::Result<Entries>(Entries{});
      if (!stored.ok() || !expected.ok()) {
        state.problem =
            where + ": " + (!stored.ok() ? stored.status() : expected.status()).message();
        return state;
      }
      state.problem = CompareEntries(where, stored.value(), expected.value());
      if (!state.problem.empty()) return state;
      keys += stored.value().size();
    }
    state.keys.push_back(keys);
  }
  return state;
}

}  // namespace reliability
