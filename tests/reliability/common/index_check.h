// The consistency check of index files against their table, for the crash and fault sweeps of
// operations that write indexes (reindex, transactions on indexed tables): the file opens for
// the table as it is now (its stamp is the table's, so it is not stale), every tag's tree passes
// the tree check, and every tag holds exactly the keys of the table's records (the FOR
// condition respected), in key order, no more and no fewer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/reliability/common/reliability_util.h"

namespace reliability {

struct IndexState {
  std::string problem;  // "" when every file checks out
  // Per file, in the order given: an FNV-1a digest of its bytes (which version of the file is
  // in place) and the number of keys its tags hold together.
  std::vector<uint64_t> file_digests;
  std::vector<uint64_t> keys;
};

// Checks the index files (names inside dir) of the table file `table` (name inside dir).
IndexState CheckIndexes(const std::string& dir, const std::string& table, TableType type,
                        const std::vector<std::string>& index_files);

}  // namespace reliability
