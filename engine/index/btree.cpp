// The B+tree algorithms and the tree page codec (layout in btree.h). Pages are decoded into
// Nodes, changed and encoded again; every byte read is checked before it is used.
#include "engine/index/btree.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "engine/base/error_codes.h"

namespace ace::index {
namespace {

constexpr int kMaxDepth = 64;

uint32_t Get32(const std::string& s, size_t at) {
  uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;  // little-endian hosts only; the build checks this below
}
void Put32(std::string* s, size_t at, uint32_t v) {
  std::memcpy(s->data() + at, &v, 4);
}
uint16_t Get16(const std::string& s, size_t at) {
  uint16_t v;
  std::memcpy(&v, s.data() + at, 2);
  return v;
}
void Put16(std::string* s, size_t at, uint16_t v) {
  std::memcpy(s->data() + at, &v, 2);
}

static_assert(std::endian::native == std::endian::little, "index pages are little-endian");

}  // namespace

bool IsValidPageSize(uint32_t page_size) {
  return page_size >= kMinPageSize && page_size <= kMaxPageSize &&
         (page_size & (page_size - 1)) == 0;
}

// ---- MemoryPageStore -------------------------------------------------------------------------

Status MemoryPageStore::ReadPage(uint32_t page, std::string* data) {
  if (page == 0 || page >= pages_.size() || pages_[page].empty())
    return Status(kErrCorruptFile, "memory page " + std::to_string(page) + " is not in use");
  *data = pages_[page];
  return Status::Ok();
}

Status MemoryPageStore::ViewPage(uint32_t page, const std::string** data) {
  if (page == 0 || page >= pages_.size() || pages_[page].empty())
    return Status(kErrCorruptFile, "memory page " + std::to_string(page) + " is not in use");
  *data = &pages_[page];
  return Status::Ok();
}

Status MemoryPageStore::WritePage(uint32_t page, const std::string& data) {
  if (page == 0 || page >= pages_.size() || data.size() != page_size_)
    return Status(kErrInternal, "memory page " + std::to_string(page) + " cannot be written");
  pages_[page] = data;
  return Status::Ok();
}

Result<uint32_t> MemoryPageStore::AllocatePage() {
  uint32_t page;
  if (!free_.empty()) {
    page = free_.back();
    free_.pop_back();
  } else {
    page = static_cast<uint32_t>(pages_.size());
    pages_.emplace_back();
  }
  pages_[page].assign(page_size_, '\0');
  return page;
}

Status MemoryPageStore::FreePage(uint32_t page) {
  if (page == 0 || page >= pages_.size() || pages_[page].empty())
    return Status(kErrInternal, "memory page " + std::to_string(page) + " freed twice");
  pages_[page].clear();
  free_.push_back(page);
  return Status::Ok();
}

// ---- Nodes -----------------------------------------------------------------------------------

uint64_t BTree::Node::Total() const {
  if (leaf) return entries.size();
  uint64_t total = 0;
  for (uint32_t c : count) total += c;
  return total;
}

BTree::BTree(PageStore* store, uint32_t tag_id, uint32_t key_length, uint32_t root_page,
             bool unique, std::string name)
    : store_(store),
      tag_id_(tag_id),
      key_length_(key_length),
      root_(root_page),
      unique_(unique),
      name_(std::move(name)) {}

Status BTree::CheckKeyFits(uint32_t key_length, uint32_t page_size) {
  if (!IsValidPageSize(page_size))
    return Status(kErrInvalidArgument, "index page size " + std::to_string(page_size) +
                                           " is not a power of two from 512 to 8192");
  if (key_length == 0 || (page_size - kTreeHeaderSize) / (key_length + 12) < 4)
    return Status(kErrInvalidArgument, "a key of " + std::to_string(key_length) +
                                           " bytes does not fit index pages of " +
                                           std::to_string(page_size) + " bytes");
  return Status::Ok();
}

uint32_t BTree::LeafCapacity() const {
  return (store_->page_size() - kTreeHeaderSize) / EntryLength();
}
uint32_t BTree::InteriorCapacity() const {
  return (store_->page_size() - kTreeHeaderSize) / (EntryLength() + 8);
}

std::string BTree::MakeEntry(std::string_view key, uint32_t recno) const {
  std::string e(key);
  e.resize(key_length_, '\0');
  e.push_back(static_cast<char>(recno >> 24));
  e.push_back(static_cast<char>(recno >> 16));
  e.push_back(static_cast<char>(recno >> 8));
  e.push_back(static_cast<char>(recno));
  return e;
}

Status BTree::Fault(uint32_t page, const std::string& what) const {
  return Status(kErrCorruptFile, store_->name() + ": index " + name_ + ", page " +
                                     std::to_string(page) + ": " + what);
}

Status BTree::ViewRaw(uint32_t page, const std::string** view, RawHeader* header) {
  if (page == 0 || page >= store_->page_count()) return Fault(page, "page number outside the file");
  ACE_RETURN_IF_ERROR(store_->ViewPage(page, view));
  const std::string& data = **view;
  if (data.size() != store_->page_size()) return Fault(page, "short page");
  uint8_t type = static_cast<uint8_t>(data[0]);
  if (type != kLeafPage && type != kInteriorPage) return Fault(page, "not a tree page");
  if (Get32(data, 12) != tag_id_) return Fault(page, "page belongs to another index");
  header->leaf = type == kLeafPage;
  header->count = Get16(data, 2);
  if (header->count > (header->leaf ? LeafCapacity() : InteriorCapacity()))
    return Fault(page, "entry count " + std::to_string(header->count) + " beyond the page");
  header->prev = Get32(data, 4);
  header->next = Get32(data, 8);
  if (header->prev >= store_->page_count() || header->next >= store_->page_count())
    return Fault(page, "leaf link outside the file");
  return Status::Ok();
}

Status BTree::ReadRaw(uint32_t page, std::string* data, RawHeader* header) {
  const std::string* view = nullptr;
  ACE_RETURN_IF_ERROR(ViewRaw(page, &view, header));
  *data = *view;
  return Status::Ok();
}

Status BTree::ReadNode(uint32_t page, Node* node) {
  const std::string* data = nullptr;
  RawHeader h;
  ACE_RETURN_IF_ERROR(ViewRaw(page, &data, &h));
  return DecodeNode(page, *data, h, node);
}

Status BTree::DecodeNode(uint32_t page, const std::string& data, const RawHeader& h, Node* node) {
  node->page = page;
  node->leaf = h.leaf;
  node->prev = h.prev;
  node->next = h.next;
  uint32_t n = h.count;
  node->entries.clear();
  node->child.clear();
  node->count.clear();
  size_t at = kTreeHeaderSize;
  for (uint32_t i = 0; i < n; ++i) {
    node->entries.push_back(data.substr(at, EntryLength()));
    at += EntryLength();
    if (!node->leaf) {
      uint32_t child = Get32(data, at);
      if (child == 0 || child >= store_->page_count() || child == page)
        return Fault(page, "child page " + std::to_string(child) + " outside the file");
      node->child.push_back(child);
      node->count.push_back(Get32(data, at + 4));
      at += 8;
    }
  }
  if (!node->leaf && n == 0) return Fault(page, "interior page without children");
  return Status::Ok();
}

size_t BTree::RawLowerBound(const std::string& data, const RawHeader& h, std::string_view target,
                            bool strictly_greater) const {
  size_t stride = h.leaf ? EntryLength() : EntryLength() + 8;
  size_t n = std::min<size_t>(target.size(), EntryLength());
  size_t lo = 0, hi = h.count;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    int c = std::memcmp(data.data() + kTreeHeaderSize + mid * stride, target.data(), n);
    bool ok = strictly_greater ? c > 0 : c >= 0;
    if (ok)
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}

Result<uint32_t> BTree::RawChild(uint32_t page, const std::string& data, size_t index) const {
  uint32_t child = Get32(data, kTreeHeaderSize + index * (EntryLength() + 8) + EntryLength());
  if (child == 0 || child >= store_->page_count() || child == page)
    return Fault(page, "child page " + std::to_string(child) + " outside the file");
  return child;
}

Status BTree::WriteNode(const Node& node) {
  std::string data(store_->page_size(), '\0');
  data[0] = static_cast<char>(node.leaf ? kLeafPage : kInteriorPage);
  Put16(&data, 2, static_cast<uint16_t>(node.entries.size()));
  Put32(&data, 4, node.leaf ? node.prev : 0);
  Put32(&data, 8, node.leaf ? node.next : 0);
  Put32(&data, 12, tag_id_);
  size_t at = kTreeHeaderSize;
  for (size_t i = 0; i < node.entries.size(); ++i) {
    std::memcpy(data.data() + at, node.entries[i].data(), EntryLength());
    at += EntryLength();
    if (!node.leaf) {
      Put32(&data, at, node.child[i]);
      Put32(&data, at + 4, node.count[i]);
      at += 8;
    }
  }
  return store_->WritePage(node.page, data);
}

Status BTree::Create() {
  ACE_RETURN_IF_ERROR(CheckKeyFits(key_length_, store_->page_size()));
  Result<uint32_t> page = store_->AllocatePage();
  if (!page.ok()) return page.status();
  Node root;
  root.page = *page;
  ACE_RETURN_IF_ERROR(WriteNode(root));
  root_ = *page;
  return Status::Ok();
}

// ---- Insert and remove -----------------------------------------------------------------------

Status BTree::Descend(std::string_view target, std::vector<PathStep>* path, bool adjust_last_sep) {
  path->clear();
  uint32_t page = root_;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) return Fault(page, "tree deeper than possible (a cycle)");
    PathStep step;
    ACE_RETURN_IF_ERROR(ReadNode(page, &step.node));
    const auto& es = step.node.entries;
    auto it = std::lower_bound(es.begin(), es.end(), target,
                               [](const std::string& e, std::string_view t) { return e < t; });
    step.index = static_cast<size_t>(it - es.begin());
    bool leaf = step.node.leaf;
    if (!leaf && step.index == es.size()) {
      if (!adjust_last_sep) {
        path->push_back(std::move(step));
        return Status::Ok();
      }
      step.index = es.size() - 1;
      step.node.entries[step.index] = std::string(target);
    }
    page = leaf ? 0 : step.node.child[step.index];
    path->push_back(std::move(step));
    if (leaf) return Status::Ok();
  }
}

Result<bool> BTree::ContainsKey(std::string_view key, uint32_t* recno) {
  Result<TreePosition> pos = LowerBound(key, false);
  if (!pos.ok()) return pos.status();
  if (!pos->valid()) return false;
  Result<TreeEntry> e = EntryAt(*pos);
  if (!e.ok()) return e.status();
  if (e->key != key) return false;
  if (recno) *recno = e->recno;
  return true;
}

Status BTree::Insert(std::string_view key, uint32_t recno) {
  if (key.size() != key_length_)
    return Status(kErrInvalidArgument, "key of " + std::to_string(key.size()) +
                                           " bytes for index " + name_ + " of " +
                                           std::to_string(key_length_));
  if (unique_) {
    uint32_t other = 0;
    Result<bool> has = ContainsKey(key, &other);
    if (!has.ok()) return has.status();
    if (*has)
      return Status(kErrDuplicateKey, store_->name() + ": duplicate key in unique index " + name_ +
                                          " (record " + std::to_string(recno) +
                                          ", the key of record " + std::to_string(other) + ")");
  }
  std::string entry = MakeEntry(key, recno);
  // Interior pages are changed in place (separator raised, count + 1); only the leaf is decoded
  // unless it overflows.
  struct RawStep {
    uint32_t page;
    std::string data;
    RawHeader header;
    size_t index;
  };
  std::vector<RawStep> raw;
  uint32_t page = root_;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) return Fault(page, "tree deeper than possible (a cycle)");
    RawStep step{page, {}, {}, 0};
    ACE_RETURN_IF_ERROR(ReadRaw(page, &step.data, &step.header));
    if (step.header.leaf) break;
    if (step.header.count == 0) return Fault(page, "interior page without children");
    size_t idx = RawLowerBound(step.data, step.header, entry, false);
    size_t at =
        kTreeHeaderSize + std::min<size_t>(idx, step.header.count - 1) * (EntryLength() + 8);
    if (idx == step.header.count) {
      idx = step.header.count - 1;
      std::memcpy(step.data.data() + at, entry.data(), EntryLength());
    }
    Put32(&step.data, at + EntryLength() + 4, Get32(step.data, at + EntryLength() + 4) + 1);
    Result<uint32_t> child = RawChild(page, step.data, idx);
    if (!child.ok()) return child.status();
    step.index = idx;
    raw.push_back(std::move(step));
    page = *child;
  }
  PathStep leaf_step;
  Node& leaf = leaf_step.node;
  ACE_RETURN_IF_ERROR(ReadNode(page, &leaf));
  auto it = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), entry);
  if (it != leaf.entries.end() && *it == entry)
    return Status(kErrInternal, "record " + std::to_string(recno) + " is in index " + name_ +
                                    " already with this key");
  leaf.entries.insert(it, entry);
  if (leaf.entries.size() <= LeafCapacity()) {
    ACE_RETURN_IF_ERROR(WriteNode(leaf));
    for (const RawStep& step : raw) ACE_RETURN_IF_ERROR(store_->WritePage(step.page, step.data));
    return Status::Ok();
  }
  std::vector<PathStep> path;
  for (const RawStep& step : raw) {
    PathStep ps;
    ACE_RETURN_IF_ERROR(DecodeNode(step.page, step.data, step.header, &ps.node));
    ps.index = step.index;
    path.push_back(std::move(ps));
  }
  path.push_back(std::move(leaf_step));
  return SplitUp(&path);
}

Status BTree::FixLinkPrev(uint32_t page, uint32_t prev) {
  if (page == 0) return Status::Ok();
  Node n;
  ACE_RETURN_IF_ERROR(ReadNode(page, &n));
  if (!n.leaf) return Fault(page, "leaf link to an interior page");
  n.prev = prev;
  return WriteNode(n);
}

Status BTree::FixLinkNext(uint32_t page, uint32_t next) {
  if (page == 0) return Status::Ok();
  Node n;
  ACE_RETURN_IF_ERROR(ReadNode(page, &n));
  if (!n.leaf) return Fault(page, "leaf link to an interior page");
  n.next = next;
  return WriteNode(n);
}

// Writes every node of the path bottom-up, splitting those that overflow.
Status BTree::SplitUp(std::vector<PathStep>* path) {
  for (size_t level = path->size(); level-- > 0;) {
    Node& node = (*path)[level].node;
    uint32_t cap = node.leaf ? LeafCapacity() : InteriorCapacity();
    if (node.entries.size() <= cap) {
      ACE_RETURN_IF_ERROR(WriteNode(node));
      continue;
    }
    Result<uint32_t> page = store_->AllocatePage();
    if (!page.ok()) return page.status();
    Node right;
    right.page = *page;
    right.leaf = node.leaf;
    size_t half = node.entries.size() / 2;
    right.entries.assign(node.entries.begin() + static_cast<long>(half), node.entries.end());
    node.entries.resize(half);
    if (!node.leaf) {
      right.child.assign(node.child.begin() + static_cast<long>(half), node.child.end());
      right.count.assign(node.count.begin() + static_cast<long>(half), node.count.end());
      node.child.resize(half);
      node.count.resize(half);
    } else {
      right.next = node.next;
      right.prev = node.page;
      node.next = right.page;
      ACE_RETURN_IF_ERROR(FixLinkPrev(right.next, right.page));
    }
    ACE_RETURN_IF_ERROR(WriteNode(node));
    ACE_RETURN_IF_ERROR(WriteNode(right));
    if (level == 0) {
      Result<uint32_t> root_page = store_->AllocatePage();
      if (!root_page.ok()) return root_page.status();
      Node root;
      root.page = *root_page;
      root.leaf = false;
      root.entries = {node.entries.back(), right.entries.back()};
      root.child = {node.page, right.page};
      root.count = {static_cast<uint32_t>(node.Total()), static_cast<uint32_t>(right.Total())};
      ACE_RETURN_IF_ERROR(WriteNode(root));
      root_ = root.page;
      return Status::Ok();
    }
    Node& parent = (*path)[level - 1].node;
    size_t idx = (*path)[level - 1].index;
    std::string old_sep = parent.entries[idx];
    parent.entries[idx] = node.entries.back();
    parent.count[idx] = static_cast<uint32_t>(node.Total());
    parent.entries.insert(parent.entries.begin() + static_cast<long>(idx) + 1, old_sep);
    parent.child.insert(parent.child.begin() + static_cast<long>(idx) + 1, right.page);
    parent.count.insert(parent.count.begin() + static_cast<long>(idx) + 1,
                        static_cast<uint32_t>(right.Total()));
  }
  return Status::Ok();
}

Status BTree::Remove(std::string_view key, uint32_t recno) {
  std::string entry = MakeEntry(key, recno);
  std::vector<PathStep> path;
  ACE_RETURN_IF_ERROR(Descend(entry, &path, false));
  Node& leaf = path.back().node;
  size_t slot = path.back().index;
  if (!leaf.leaf || slot >= leaf.entries.size() || leaf.entries[slot] != entry)
    return Status(kErrCorruptFile, store_->name() + ": index " + name_ + " has no key of record " +
                                       std::to_string(recno) + " to remove (rebuild the index)");
  leaf.entries.erase(leaf.entries.begin() + static_cast<long>(slot));
  for (size_t i = 0; i + 1 < path.size(); ++i) path[i].node.count[path[i].index] -= 1;

  size_t level = path.size() - 1;
  while (level > 0 && path[level].node.entries.empty()) {
    Node& gone = path[level].node;
    if (gone.leaf) {
      ACE_RETURN_IF_ERROR(FixLinkNext(gone.prev, gone.next));
      ACE_RETURN_IF_ERROR(FixLinkPrev(gone.next, gone.prev));
    }
    ACE_RETURN_IF_ERROR(store_->FreePage(gone.page));
    Node& parent = path[level - 1].node;
    size_t idx = path[level - 1].index;
    parent.entries.erase(parent.entries.begin() + static_cast<long>(idx));
    parent.child.erase(parent.child.begin() + static_cast<long>(idx));
    parent.count.erase(parent.count.begin() + static_cast<long>(idx));
    --level;
  }
  if (level == 0 && path[0].node.entries.empty()) {
    path[0].node = Node{};
    path[0].node.page = root_;
  }
  for (size_t i = level + 1; i-- > 0;) ACE_RETURN_IF_ERROR(WriteNode(path[i].node));

  // A root with a single child gives way to it.
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    Node root;
    ACE_RETURN_IF_ERROR(ReadNode(root_, &root));
    if (root.leaf || root.entries.size() != 1) break;
    ACE_RETURN_IF_ERROR(store_->FreePage(root_));
    root_ = root.child[0];
  }
  return Status::Ok();
}

// ---- Seeks and walking -----------------------------------------------------------------------

Result<TreePosition> BTree::Normalize(TreePosition pos) {
  const std::string* data = nullptr;
  RawHeader h;
  for (int hops = 0; pos.page != 0; ++hops) {
    if (hops > kMaxDepth) return Fault(pos.page, "run of empty leaves (broken links)");
    ACE_RETURN_IF_ERROR(ViewRaw(pos.page, &data, &h));
    if (!h.leaf) return Fault(pos.page, "leaf link to an interior page");
    if (pos.slot < h.count) return pos;
    pos = TreePosition{h.next, 0};
  }
  return TreePosition{};
}

Result<TreePosition> BTree::LowerBound(std::string_view prefix, bool strictly_greater) {
  uint32_t page = root_;
  const std::string* data = nullptr;
  RawHeader h;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) return Fault(page, "tree deeper than possible (a cycle)");
    ACE_RETURN_IF_ERROR(ViewRaw(page, &data, &h));
    size_t idx = RawLowerBound(*data, h, prefix, strictly_greater);
    if (h.leaf) {
      // The common case needs no second look at the page: the slot is inside it.
      if (idx < h.count) return TreePosition{page, static_cast<uint32_t>(idx)};
      return Normalize(TreePosition{page, static_cast<uint32_t>(idx)});
    }
    if (h.count == 0) return Fault(page, "interior page without children");
    if (idx == h.count) idx = h.count - 1;
    Result<uint32_t> child = RawChild(page, *data, idx);
    if (!child.ok()) return child.status();
    page = *child;
  }
}

Result<TreePosition> BTree::SeekFirstAtLeast(std::string_view prefix) {
  return LowerBound(prefix, false);
}

Result<TreePosition> BTree::SeekLastAtMost(std::string_view prefix) {
  Result<TreePosition> after = LowerBound(prefix, true);
  if (!after.ok()) return after;
  if (!after->valid()) return Last();
  return Prior(*after);
}

Result<TreePosition> BTree::Find(std::string_view key, uint32_t recno) {
  std::string entry = MakeEntry(key, recno);
  Result<TreePosition> pos = LowerBound(entry, false);
  if (!pos.ok() || !pos->valid()) return pos;
  Result<TreeEntry> e = EntryAt(*pos);
  if (!e.ok()) return e.status();
  if (e->recno != recno || e->key != entry.substr(0, key_length_)) return TreePosition{};
  return pos;
}

Result<TreePosition> BTree::First() {
  uint32_t page = root_;
  Node node;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) return Fault(page, "tree deeper than possible (a cycle)");
    ACE_RETURN_IF_ERROR(ReadNode(page, &node));
    if (node.leaf) return Normalize(TreePosition{page, 0});
    page = node.child.front();
  }
}

Result<TreePosition> BTree::Last() {
  uint32_t page = root_;
  Node node;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) return Fault(page, "tree deeper than possible (a cycle)");
    ACE_RETURN_IF_ERROR(ReadNode(page, &node));
    if (node.leaf) {
      if (node.entries.empty()) return TreePosition{};
      return TreePosition{page, static_cast<uint32_t>(node.entries.size() - 1)};
    }
    page = node.child.back();
  }
}

Result<TreePosition> BTree::Next(TreePosition pos) {
  if (!pos.valid()) return TreePosition{};
  return Normalize(TreePosition{pos.page, pos.slot + 1});
}

Result<TreePosition> BTree::Prior(TreePosition pos) {
  if (!pos.valid()) return TreePosition{};
  if (pos.slot > 0) return TreePosition{pos.page, pos.slot - 1};
  const std::string* data = nullptr;
  RawHeader h;
  ACE_RETURN_IF_ERROR(ViewRaw(pos.page, &data, &h));
  uint32_t page = h.prev;
  for (int hops = 0; page != 0; ++hops) {
    if (hops > kMaxDepth) return Fault(page, "run of empty leaves (broken links)");
    ACE_RETURN_IF_ERROR(ViewRaw(page, &data, &h));
    if (!h.leaf) return Fault(page, "leaf link to an interior page");
    if (h.count > 0) return TreePosition{page, h.count - 1};
    page = h.prev;
  }
  return TreePosition{};
}

Result<TreeEntry> BTree::EntryAt(TreePosition pos) {
  const std::string* data = nullptr;
  RawHeader h;
  ACE_RETURN_IF_ERROR(ViewRaw(pos.page, &data, &h));
  if (!h.leaf || pos.slot >= h.count)
    return Fault(pos.page, "no entry " + std::to_string(pos.slot) + " in this page");
  const char* e = data->data() + kTreeHeaderSize + size_t{pos.slot} * EntryLength();
  TreeEntry out;
  out.key.assign(e, key_length_);
  const auto* r = reinterpret_cast<const unsigned char*>(e + key_length_);
  out.recno = (uint32_t{r[0]} << 24) | (uint32_t{r[1]} << 16) | (uint32_t{r[2]} << 8) | r[3];
  return out;
}

// ---- Counting --------------------------------------------------------------------------------

Result<uint32_t> BTree::KeyCount() {
  Node root;
  ACE_RETURN_IF_ERROR(ReadNode(root_, &root));
  return static_cast<uint32_t>(root.Total());
}

Result<uint32_t> BTree::KeyNumber(TreePosition pos) {
  Node node;
  ACE_RETURN_IF_ERROR(ReadNode(pos.page, &node));
  if (!node.leaf || pos.slot >= node.entries.size())
    return Fault(pos.page, "no entry " + std::to_string(pos.slot) + " in this page");
  std::string target = node.entries[pos.slot];
  uint64_t before = 0;
  uint32_t page = root_;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) return Fault(page, "tree deeper than possible (a cycle)");
    ACE_RETURN_IF_ERROR(ReadNode(page, &node));
    auto it = std::lower_bound(node.entries.begin(), node.entries.end(), target);
    size_t idx = static_cast<size_t>(it - node.entries.begin());
    if (node.leaf) {
      if (idx >= node.entries.size() || node.entries[idx] != target)
        return Fault(page, "entry not reachable from the root");
      return static_cast<uint32_t>(before + idx + 1);
    }
    if (idx == node.entries.size()) return Fault(page, "entry beyond the last separator");
    for (size_t i = 0; i < idx; ++i) before += node.count[i];
    page = node.child[idx];
  }
}

Result<TreePosition> BTree::GotoKeyNumber(uint32_t n) {
  Node node;
  uint32_t page = root_;
  uint64_t left = n;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) return Fault(page, "tree deeper than possible (a cycle)");
    ACE_RETURN_IF_ERROR(ReadNode(page, &node));
    if (depth == 0 && (n == 0 || n > node.Total())) return TreePosition{};
    if (node.leaf) {
      if (left == 0 || left > node.entries.size()) return Fault(page, "counts do not add up");
      return TreePosition{page, static_cast<uint32_t>(left - 1)};
    }
    size_t i = 0;
    while (i < node.count.size() && left > node.count[i]) left -= node.count[i++];
    if (i == node.count.size()) return Fault(page, "counts do not add up");
    page = node.child[i];
  }
}

Result<double> BTree::RelativePosition(TreePosition pos) {
  Result<uint32_t> count = KeyCount();
  if (!count.ok()) return count.status();
  if (*count <= 1 || !pos.valid()) return 0.0;
  Result<uint32_t> number = KeyNumber(pos);
  if (!number.ok()) return number.status();
  return static_cast<double>(*number - 1) / static_cast<double>(*count - 1);
}

Result<TreePosition> BTree::GotoRelative(double fraction) {
  Result<uint32_t> count = KeyCount();
  if (!count.ok()) return count.status();
  if (*count == 0) return TreePosition{};
  if (!(fraction > 0)) fraction = 0;  // also NaN
  if (fraction > 1) fraction = 1;
  auto n = static_cast<uint32_t>(1 + std::llround(fraction * (*count - 1)));
  return GotoKeyNumber(n);
}

// ---- Clearing and checking -------------------------------------------------------------------

Status BTree::FreeSubtree(uint32_t page, int depth) {
  if (depth > kMaxDepth) return Fault(page, "tree deeper than possible (a cycle)");
  Node node;
  ACE_RETURN_IF_ERROR(ReadNode(page, &node));
  if (!node.leaf)
    for (uint32_t child : node.child) ACE_RETURN_IF_ERROR(FreeSubtree(child, depth + 1));
  return store_->FreePage(page);
}

Status BTree::Clear() {
  if (root_ != 0) ACE_RETURN_IF_ERROR(FreeSubtree(root_, 0));
  root_ = 0;
  return Create();
}

Status BTree::CheckNode(uint32_t page, int depth, const std::string* low, const std::string* high,
                        uint64_t* count, CheckState* state) {
  if (depth > kMaxDepth) return Fault(page, "tree deeper than possible (a cycle)");
  if (state->seen.count(page)) return Fault(page, "page reached twice");
  state->seen[page] = true;
  Node node;
  ACE_RETURN_IF_ERROR(ReadNode(page, &node));
  if (depth > 0 && node.entries.empty()) return Fault(page, "empty page below the root");
  for (size_t i = 0; i < node.entries.size(); ++i) {
    const std::string& e = node.entries[i];
    if (i > 0 && !(node.entries[i - 1] < e)) return Fault(page, "entries out of order");
    if (low && !(*low < e)) return Fault(page, "entry not above the separator before it");
    if (high && !(e <= *high)) return Fault(page, "entry above its separator");
  }
  if (node.leaf) {
    if (state->leaf_depth < 0) state->leaf_depth = depth;
    if (state->leaf_depth != depth) return Fault(page, "leaves at different depths");
    for (const std::string& e : node.entries) {
      if (!state->previous.empty()) {
        if (!(state->previous < e)) return Fault(page, "entries out of order across leaves");
        if (unique_ && std::memcmp(state->previous.data(), e.data(), key_length_) == 0)
          return Fault(page, "equal keys in a unique index");
      }
      state->previous = e;
    }
    state->leaves.push_back(page);
    state->links.emplace_back(node.prev, node.next);
    *count = node.entries.size();
    return Status::Ok();
  }
  uint64_t total = 0;
  for (size_t i = 0; i < node.entries.size(); ++i) {
    const std::string* lo = i == 0 ? low : &node.entries[i - 1];
    uint64_t below = 0;
    ACE_RETURN_IF_ERROR(CheckNode(node.child[i], depth + 1, lo, &node.entries[i], &below, state));
    if (below != node.count[i])
      return Fault(page, "count " + std::to_string(node.count[i]) + " of child " +
                             std::to_string(node.child[i]) + " but " + std::to_string(below) +
                             " entries below it");
    total += below;
  }
  *count = total;
  return Status::Ok();
}

Status BTree::CheckTree() {
  CheckState state;
  uint64_t count = 0;
  ACE_RETURN_IF_ERROR(CheckNode(root_, 0, nullptr, nullptr, &count, &state));
  for (size_t i = 0; i < state.leaves.size(); ++i) {
    uint32_t want_prev = i == 0 ? 0 : state.leaves[i - 1];
    uint32_t want_next = i + 1 == state.leaves.size() ? 0 : state.leaves[i + 1];
    if (state.links[i].first != want_prev)
      return Fault(state.leaves[i], "previous-leaf link " + std::to_string(state.links[i].first) +
                                        " should be " + std::to_string(want_prev));
    if (state.links[i].second != want_next)
      return Fault(state.leaves[i], "next-leaf link " + std::to_string(state.links[i].second) +
                                        " should be " + std::to_string(want_next));
  }
  return Status::Ok();
}

// ---- Bulk loading ----------------------------------------------------------------------------

BTree::BulkLoader::BulkLoader(BTree* tree) : tree_(tree) {}

Status BTree::BulkLoader::Start() {
  started_ = true;
  ACE_RETURN_IF_ERROR(CheckKeyFits(tree_->key_length_, tree_->store_->page_size()));
  if (tree_->root_ != 0) ACE_RETURN_IF_ERROR(tree_->FreeSubtree(tree_->root_, 0));
  tree_->root_ = 0;
  return Status::Ok();
}

Status BTree::BulkLoader::Add(std::string_view key, uint32_t recno) {
  if (!started_) ACE_RETURN_IF_ERROR(Start());
  const uint32_t key_length = tree_->key_length_;
  const uint32_t length = tree_->EntryLength();
  entry_.assign(length, '\0');
  std::memcpy(entry_.data(), key.data(), std::min<size_t>(key.size(), key_length));
  for (int i = 0; i < 4; ++i) entry_[key_length + i] = static_cast<char>(recno >> (24 - 8 * i));
  if (total_ > 0 && !(last_entry_ < entry_))
    return Status(kErrInternal, "bulk load of index " + tree_->name_ + " out of order");
  if (leaf_page_ == 0 || leaf_count_ == tree_->LeafCapacity()) {
    Result<uint32_t> page = tree_->store_->AllocatePage();
    if (!page.ok()) return page.status();
    if (leaf_page_ != 0) {
      ACE_RETURN_IF_ERROR(WriteLeaf(*page));
      ACE_RETURN_IF_ERROR(PushUp(0, last_entry_, leaf_page_, leaf_count_));
    }
    leaf_prev_ = leaf_page_;
    leaf_page_ = *page;
    leaf_count_ = 0;
    leaf_data_.assign(tree_->store_->page_size(), '\0');
  }
  std::memcpy(leaf_data_.data() + kTreeHeaderSize + size_t{leaf_count_} * length, entry_.data(),
              length);
  ++leaf_count_;
  last_entry_.swap(entry_);
  ++total_;
  return Status::Ok();
}

Status BTree::BulkLoader::WriteLeaf(uint32_t next) {
  leaf_data_[0] = static_cast<char>(kLeafPage);
  leaf_data_[1] = 0;
  Put16(&leaf_data_, 2, static_cast<uint16_t>(leaf_count_));
  Put32(&leaf_data_, 4, leaf_prev_);
  Put32(&leaf_data_, 8, next);
  Put32(&leaf_data_, 12, tree_->tag_id_);
  return tree_->store_->WritePage(leaf_page_, leaf_data_);
}

Status BTree::BulkLoader::PushUp(size_t level, const std::string& sep, uint32_t child,
                                 uint64_t count) {
  if (levels_.size() <= level) {
    levels_.emplace_back();
    levels_[level].node.leaf = false;
  }
  if (levels_[level].node.entries.size() == tree_->InteriorCapacity())
    ACE_RETURN_IF_ERROR(FlushInterior(level));
  Node& node = levels_[level].node;
  node.entries.push_back(sep);
  node.child.push_back(child);
  node.count.push_back(static_cast<uint32_t>(count));
  return Status::Ok();
}

Status BTree::BulkLoader::FlushInterior(size_t level) {
  Result<uint32_t> page = tree_->store_->AllocatePage();
  if (!page.ok()) return page.status();
  Node node = std::move(levels_[level].node);
  levels_[level].node = Node{};
  levels_[level].node.leaf = false;
  levels_[level].flushed_any = true;
  node.page = *page;
  ACE_RETURN_IF_ERROR(tree_->WriteNode(node));
  return PushUp(level + 1, node.entries.back(), node.page, node.Total());
}

Status BTree::BulkLoader::Finish() {
  if (!started_) ACE_RETURN_IF_ERROR(Start());
  if (total_ == 0) return tree_->Create();
  ACE_RETURN_IF_ERROR(WriteLeaf(0));
  if (levels_.empty()) {
    tree_->root_ = leaf_page_;
    return Status::Ok();
  }
  ACE_RETURN_IF_ERROR(PushUp(0, last_entry_, leaf_page_, leaf_count_));
  for (size_t level = 0; level < levels_.size(); ++level) {
    if (level + 1 == levels_.size() && !levels_[level].flushed_any) {
      Result<uint32_t> page = tree_->store_->AllocatePage();
      if (!page.ok()) return page.status();
      levels_[level].node.page = *page;
      ACE_RETURN_IF_ERROR(tree_->WriteNode(levels_[level].node));
      tree_->root_ = *page;
      return Status::Ok();
    }
    ACE_RETURN_IF_ERROR(FlushInterior(level));
  }
  return Status(kErrInternal, "bulk load of index " + tree_->name_ + " found no root");
}

}  // namespace ace::index
