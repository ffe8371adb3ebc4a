// KeySorter: sorts fixed-length byte entries (index key + record number) for building an index,
// in bounded memory: entries collect in memory up to a limit, each full batch is sorted and
// written as a run file beside the index, and Drain merges the runs. Run files go through
// ace::File and are removed when the sorter ends, whatever happened.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"

namespace ace::index {

class KeySorter {
 public:
  // entry_length bytes per entry; run files are named run_base + ".0", ".1", ...;
  // memory_limit bytes of entries are kept in memory before a run is written.
  KeySorter(uint32_t entry_length, std::string run_base, size_t memory_limit = 32u << 20);
  ~KeySorter();
  KeySorter(const KeySorter&) = delete;
  KeySorter& operator=(const KeySorter&) = delete;

  // Makes room at once for about this many entries (at most a run's worth), so that adding
  // them does not move the buffer as it grows.
  void Reserve(size_t entries);
  Status Add(std::string_view entry);
  // Hands every entry to sink in increasing byte order; stops at the first failure of sink.
  Status Drain(const std::function<Status(std::string_view)>& sink);

 private:
  Status WriteRun();
  uint32_t entry_length_;
  std::string run_base_;
  size_t memory_limit_;
  std::string buffer_;
  std::vector<std::string> runs_;
};

}  // namespace ace::index
