// BTree: the engine's B+tree over fixed-length entries, the ordered part of every index tag.
// It owns the page layout of tree pages and the algorithms (insert with splits, delete,
// seeks, walking, counting, checking); where pages live (an index file, memory) is the
// PageStore's business, and what the key bytes mean (expressions, collations, descending
// inversion) is the tag's (engine/index/index_file.h).
//
// An entry is the key bytes (key_length of them, compared with memcmp) followed by the record
// number as 4 bytes big-endian, so equal keys order by record number and every entry is
// distinct. Leaves hold entries and are linked both ways; interior pages hold, per child, the
// child's page, the number of entries below it and a separator that is >= every entry below
// that child and < every entry below the next one (separators may stay higher than the
// child's largest entry after deletions; they stay valid bounds).
//
// Deletion is lazy: an entry is removed from its leaf; a page that becomes empty is unlinked
// and freed and its separator removed from the parent, and a root with a single child gives
// way to that child. Pages are not merged or rebalanced, so pages may be sparsely filled after
// many deletions, but counts, order and links stay exact (CheckTree verifies them).
//
// Tree page layout (every page of page_size bytes, numbers little-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       1     page type: 1 leaf, 2 interior
//   1       1     0
//   2       2     number of entries n
//   4       4     leaf: previous leaf page (0 = none); interior: 0
//   8       4     leaf: next leaf page (0 = none); interior: 0
//   12      4     tag id of the tree owning the page (detects pages of another tag)
//   16      ...   n entries; leaf: key_length + 4 bytes (key, record number big-endian);
//                 interior: key_length + 4 bytes separator, 4 bytes child page, 4 bytes count
// Page 0 is never a tree page, so 0 means "none".
//
// Not thread-safe: one BTree belongs to one open index at a time.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"

namespace ace::index {

inline constexpr uint32_t kMinPageSize = 512;
inline constexpr uint32_t kMaxPageSize = 8192;
inline constexpr uint32_t kTreeHeaderSize = 16;
inline constexpr uint8_t kLeafPage = 1;
inline constexpr uint8_t kInteriorPage = 2;

// True for 512, 1024, ..., 8192.
bool IsValidPageSize(uint32_t page_size);

// Pages by number. Reads and writes whole pages; Allocate hands out a page that is not in use
// (its content is undefined until written), Free returns one.
class PageStore {
 public:
  virtual ~PageStore() = default;
  virtual uint32_t page_size() const = 0;
  // Pages in the store; valid tree pages are 1 .. page_count() - 1.
  virtual uint32_t page_count() const = 0;
  virtual Status ReadPage(uint32_t page, std::string* data) = 0;
  // The page's bytes without a copy where the store keeps them: *data stays valid until the
  // next call on the store. By default a copy into a buffer of the store.
  virtual Status ViewPage(uint32_t page, const std::string** data) {
    ACE_RETURN_IF_ERROR(ReadPage(page, &view_));
    *data = &view_;
    return Status::Ok();
  }
  virtual Status WritePage(uint32_t page, const std::string& data) = 0;
  virtual Result<uint32_t> AllocatePage() = 0;
  virtual Status FreePage(uint32_t page) = 0;
  // For messages: the file the pages belong to.
  virtual std::string name() const = 0;

 private:
  std::string view_;
};

// Pages in memory (tests, temporary orders).
class MemoryPageStore : public PageStore {
 public:
  explicit MemoryPageStore(uint32_t page_size) : page_size_(page_size) { pages_.emplace_back(); }
  uint32_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return static_cast<uint32_t>(pages_.size()); }
  Status ReadPage(uint32_t page, std::string* data) override;
  Status ViewPage(uint32_t page, const std::string** data) override;
  Status WritePage(uint32_t page, const std::string& data) override;
  Result<uint32_t> AllocatePage() override;
  Status FreePage(uint32_t page) override;
  std::string name() const override { return "memory"; }

 private:
  uint32_t page_size_;
  std::vector<std::string> pages_;
  std::vector<uint32_t> free_;
};

// A place in a tree: a leaf page and a slot in it. page 0 = no position (before the first or
// after the last entry).
struct TreePosition {
  uint32_t page = 0;
  uint32_t slot = 0;
  bool valid() const { return page != 0; }
};

// One entry as stored.
struct TreeEntry {
  std::string key;  // key_length bytes
  uint32_t recno = 0;
};

class BTree {
 private:
  struct Node {
    uint32_t page = 0;
    bool leaf = true;
    uint32_t prev = 0;
    uint32_t next = 0;
    std::vector<std::string> entries;  // full entries (key + record number) or separators
    std::vector<uint32_t> child;       // interior
    std::vector<uint32_t> count;       // interior
    uint64_t Total() const;
  };

 public:
  // A tree whose root is root_page in store (root_page 0: the tree is created on first use by
  // Create). key_length bytes per key; unique: two entries with equal key bytes are refused.
  // name names the tree in messages ("Kinder.cdx tag NAME").
  BTree(PageStore* store, uint32_t tag_id, uint32_t key_length, uint32_t root_page, bool unique,
        std::string name);

  // Writes an empty root leaf. kErrInvalidArgument when an entry does not fit four times into
  // a page of the store's size.
  Status Create();
  // Capacity check without a store: whether key_length fits pages of page_size.
  static Status CheckKeyFits(uint32_t key_length, uint32_t page_size);

  uint32_t root_page() const { return root_; }
  uint32_t key_length() const { return key_length_; }
  uint32_t tag_id() const { return tag_id_; }
  bool unique() const { return unique_; }
  const std::string& name() const { return name_; }
  PageStore* store() const { return store_; }

  // Adds an entry. A unique tree refuses a key it holds already with kErrDuplicateKey (naming
  // the tree and the record); an entry present already (same key and record) is kErrInternal.
  Status Insert(std::string_view key, uint32_t recno);
  // Removes the entry; an entry that is not there is kErrCorruptFile (the index does not match
  // its table).
  Status Remove(std::string_view key, uint32_t recno);
  // Whether the tree holds an entry with exactly these key bytes (any record); *recno gets
  // the first such record when given.
  Result<bool> ContainsKey(std::string_view key, uint32_t* recno = nullptr);

  // Seeks by key bytes: prefix may be shorter than key_length (a partial key) and compares
  // only its own length. SeekFirstAtLeast: the first entry whose key prefix is >= prefix;
  // SeekLastAtMost: the last entry whose key prefix is <= prefix. No such entry: an invalid
  // position.
  Result<TreePosition> SeekFirstAtLeast(std::string_view prefix);
  Result<TreePosition> SeekLastAtMost(std::string_view prefix);
  // The position of exactly this entry (invalid when it is not there).
  Result<TreePosition> Find(std::string_view key, uint32_t recno);

  Result<TreePosition> First();
  Result<TreePosition> Last();
  // The next/prior entry; from the last/first one an invalid position.
  Result<TreePosition> Next(TreePosition pos);
  Result<TreePosition> Prior(TreePosition pos);
  Result<TreeEntry> EntryAt(TreePosition pos);

  Result<uint32_t> KeyCount();
  // Ordinal of an entry, 1-based.
  Result<uint32_t> KeyNumber(TreePosition pos);
  // The entry with ordinal n (1..count); outside: an invalid position.
  Result<TreePosition> GotoKeyNumber(uint32_t n);
  // Relative position: 0 for the first entry, 1 for the last, evenly in between; an empty tree
  // answers 0. GotoRelative goes to the entry nearest to fraction (clamped to 0..1).
  Result<double> RelativePosition(TreePosition pos);
  Result<TreePosition> GotoRelative(double fraction);

  // Frees every page and leaves an empty root leaf.
  Status Clear();

  // Walks the whole tree and verifies page types and owners, entry order, separators,
  // subtree counts, equal leaf depth, both leaf links, no empty non-root page and, for unique
  // trees, distinct keys. Ok, or kErrCorruptFile describing the first fault found.
  Status CheckTree();

  // Builds a tree from entries delivered in strictly increasing order (BulkLoader), replacing
  // the tree's content: call Begin, Add for each entry, Finish. Pages are filled completely.
  class BulkLoader {
   public:
    explicit BulkLoader(BTree* tree);
    Status Add(std::string_view key, uint32_t recno);
    Status Finish();

   private:
    struct Level {
      Node node;  // the interior node being filled
      bool flushed_any = false;
    };
    Status Start();
    // Writes the leaf being filled, linked to next (0: the last leaf).
    Status WriteLeaf(uint32_t next);
    Status PushUp(size_t level, const std::string& sep, uint32_t child, uint64_t count);
    Status FlushInterior(size_t level);
    BTree* tree_;
    bool started_ = false;
    // The leaf being filled, kept as its page bytes: entries are copied into it as they come.
    uint32_t leaf_page_ = 0;
    uint32_t leaf_prev_ = 0;
    uint32_t leaf_count_ = 0;
    std::string leaf_data_;
    std::string entry_;       // the entry being added
    std::string last_entry_;  // the last entry added
    std::vector<Level> levels_;  // levels_[0] holds the leaves' parents
    uint64_t total_ = 0;
  };

 private:
  struct PathStep {
    Node node;
    size_t index = 0;
  };

  uint32_t EntryLength() const { return key_length_ + 4; }
  uint32_t LeafCapacity() const;
  uint32_t InteriorCapacity() const;
  std::string MakeEntry(std::string_view key, uint32_t recno) const;
  Status Fault(uint32_t page, const std::string& what) const;
  struct RawHeader {
    bool leaf = true;
    uint32_t count = 0;
    uint32_t prev = 0;
    uint32_t next = 0;
  };
  // Reads a page and checks its header only (for walking without decoding entries): a copy,
  // or (ViewRaw) the store's bytes, valid until the next call on the store.
  Status ReadRaw(uint32_t page, std::string* data, RawHeader* header);
  Status ViewRaw(uint32_t page, const std::string** view, RawHeader* header);
  Status ReadNode(uint32_t page, Node* node);
  Status DecodeNode(uint32_t page, const std::string& data, const RawHeader& h, Node* node);
  // First entry (0..count) whose first min(target, entry) bytes compare >= (or >) target.
  size_t RawLowerBound(const std::string& data, const RawHeader& h, std::string_view target,
                       bool strictly_greater) const;
  Result<uint32_t> RawChild(uint32_t page, const std::string& data, size_t index) const;
  Status WriteNode(const Node& node);
  Status Descend(std::string_view target, std::vector<PathStep>* path, bool adjust_last_sep);
  Status SplitUp(std::vector<PathStep>* path);
  Status FixLinkPrev(uint32_t page, uint32_t prev);
  Status FixLinkNext(uint32_t page, uint32_t next);
  Result<TreePosition> LowerBound(std::string_view prefix, bool strictly_greater);
  Result<TreePosition> Normalize(TreePosition pos);
  struct CheckState {
    int leaf_depth = -1;
    std::vector<uint32_t> leaves;
    std::vector<std::pair<uint32_t, uint32_t>> links;  // prev, next of each leaf
    std::map<uint32_t, bool> seen;
    std::string previous;  // last entry met so far
  };
  Status CheckNode(uint32_t page, int depth, const std::string* low, const std::string* high,
                   uint64_t* count, CheckState* state);
  Status FreeSubtree(uint32_t page, int depth);

  PageStore* store_;
  uint32_t tag_id_;
  uint32_t key_length_;
  uint32_t root_;
  bool unique_;
  std::string name_;
};

}  // namespace ace::index
