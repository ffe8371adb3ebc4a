// The index file container (layout in index_file.h): header, tag directory, free pages, the
// page cache the trees work on, creation by sorting keys and bulk loading, and maintenance.
#include "engine/index/index_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <queue>
#include <set>
#include <unordered_map>

#include "engine/base/callbacks.h"
#include "engine/base/error_codes.h"
#include "engine/crypt/table_key.h"
#include "engine/expr/key_segments.h"
#include "engine/index/key_sorter.h"

namespace ace::index {
namespace {

constexpr char kMagic[8] = {'V', 'S', 'K', 'I', 'D', 'X', 'F', '\x1A'};
constexpr uint8_t kVersion = 1;
constexpr uint8_t kDirectoryPage = 3;
constexpr uint8_t kFreePage = 4;
constexpr size_t kHeaderChecked = 48;
constexpr size_t kDirectoryData = 12;
// The page cache of an open index file holds up to PageCacheBytes() of pages; when it is full,
// changed pages are written and clean ones dropped until half of it is free.
size_t page_cache_bytes = size_t{16} << 20;
// Building an index reads the table in blocks of about this many bytes.
constexpr size_t kReadBlockBytes = 64 * 1024;
constexpr uint8_t kFlagEnciphered = 0x01;  // header byte kFlagsAt: pages 1.. are enciphered

struct HeaderOffsets {
  static constexpr size_t kMagicAt = 0, kVersionAt = 8, kKindAt = 9, kFlagsAt = 10,
                          kPageSizeAt = 12,
                          kPageCountAt = 16, kFreeAt = 20, kStampCountAt = 24, kStampLengthAt = 28,
                          kStampHashAt = 32, kTagCountAt = 36, kDirectoryAt = 40, kNextTagAt = 44,
                          kChecksumAt = 48, kChangeAt = 52;
};
// The byte whose OFD lock is the update lock of an index file (beyond any page).
constexpr off_t kUpdateLockAt = off_t{1} << 50;
static_assert(HeaderOffsets::kChecksumAt == kHeaderChecked);
static_assert(HeaderOffsets::kChecksumAt + 4 <= kMinPageSize);
static_assert(HeaderOffsets::kChangeAt == HeaderOffsets::kChecksumAt + 4);
static_assert(HeaderOffsets::kChangeAt + 4 <= kMinPageSize);
static_assert(sizeof(kMagic) == HeaderOffsets::kVersionAt);
static_assert(std::endian::native == std::endian::little, "index files are little-endian");

uint32_t Get32(const std::string& s, size_t at) {
  uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}
void Put32(std::string* s, size_t at, uint32_t v) {
  std::memcpy(s->data() + at, &v, 4);
}

uint32_t Fnv(const void* data, size_t n, uint32_t h = 2166136261u) {
  const auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = expr::LowerChar(c);
  return out;
}

std::string BaseName(const std::string& path) {
  std::string p = NormalizePath(path);
  size_t slash = p.rfind('/');
  std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  for (char& c : name) c = expr::UpperChar(c);
  return name;
}

}  // namespace

size_t PageCacheBytes() {
  return page_cache_bytes;
}

void SetPageCacheBytes(size_t bytes) {
  page_cache_bytes = bytes;
}

// ---- Kinds and stamps ------------------------------------------------------------------------

Result<IndexKind> IndexKindOfPath(const std::string& path) {
  std::string lower = Lower(path);
  auto ends = [&](const char* ext) {
    size_t n = std::strlen(ext);
    return lower.size() > n && lower.compare(lower.size() - n, n, ext) == 0;
  };
  if (ends(".ntx")) return IndexKind::kSingle;
  if (ends(".cdx")) return IndexKind::kCompoundShort;
  if (ends(".adi")) return IndexKind::kCompoundLong;
  return Status(kErrInvalidArgument, path + ": not an index file name (.ntx, .cdx or .adi)");
}

uint32_t DefaultPageSize(IndexKind kind) {
  return kind == IndexKind::kSingle ? 512 : 1024;
}

uint32_t MaxTagNameLength(IndexKind kind) {
  return kind == IndexKind::kCompoundLong ? 128 : 10;
}

TableStamp StampOf(const storage::TableFile& table) {
  TableStamp s;
  s.record_count = table.record_count();
  s.record_length = table.record_length();
  uint32_t h = 2166136261u;
  for (const storage::FieldDesc& f : table.fields()) {
    std::string name = Lower(f.name);
    h = Fnv(name.data(), name.size(), h);
    h = Fnv(&f.type, sizeof f.type, h);
    h = Fnv(&f.length, sizeof f.length, h);
  }
  s.fields_hash = h;
  return s;
}

// ---- Pages of a file -------------------------------------------------------------------------

class FilePageStore : public PageStore {
 public:
  static constexpr size_t kGatherBytes = size_t{1} << 18;

  FilePageStore(File file, uint32_t page_size, uint32_t page_count, uint32_t free_head)
      : file_(std::move(file)),
        page_size_(page_size),
        page_count_(page_count),
        free_head_(free_head) {}

  uint32_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return page_count_; }
  uint32_t free_head() const { return free_head_; }
  std::string name() const override { return file_.path(); }
  File& file() { return file_; }

  Status ReadPage(uint32_t page, std::string* data) override {
    const std::string* cached = nullptr;
    ACE_RETURN_IF_ERROR(ViewPage(page, &cached));
    *data = *cached;
    return Status::Ok();
  }

  // The cached copy of the page, read from the file when it is not cached: valid until the
  // next call that reads or writes a page of this store.
  Status ViewPage(uint32_t page, const std::string** data) override {
    auto it = cache_.find(page);
    if (it != cache_.end()) {
      *data = &it->second;
      return Status::Ok();
    }
    if (page == 0 || page >= page_count_)
      return Status(kErrCorruptFile,
                    file_.path() + ": page " + std::to_string(page) + " outside the file");
    ACE_RETURN_IF_ERROR(MakeRoom());
    std::string fresh(page_size_, '\0');
    ACE_RETURN_IF_ERROR(file_.ReadAt(uint64_t{page} * page_size_, fresh.data(), page_size_));
    if (key_)
      ACE_RETURN_IF_ERROR(key_->DecryptPage(
          page, std::span<std::byte>(reinterpret_cast<std::byte*>(fresh.data()), fresh.size())));
    *data = &(cache_[page] = std::move(fresh));
    return Status::Ok();
  }

  Status WritePage(uint32_t page, const std::string& data) override {
    if (page == 0 || page >= page_count_ || data.size() != page_size_)
      return Status(kErrInternal, file_.path() + ": bad write of page " + std::to_string(page));
    auto it = cache_.find(page);
    if (it == cache_.end()) {
      ACE_RETURN_IF_ERROR(MakeRoom());
      cache_[page] = data;
    } else {
      it->second = data;
    }
    dirty_.insert(page);
    return Status::Ok();
  }

  Result<uint32_t> AllocatePage() override {
    if (free_head_ != 0) {
      std::string data;
      uint32_t page = free_head_;
      ACE_RETURN_IF_ERROR(ReadPage(page, &data));
      uint32_t next = Get32(data, 4);
      if (static_cast<uint8_t>(data[0]) != kFreePage || next >= page_count_)
        return Status(kErrCorruptFile,
                      file_.path() + ": free page list broken at page " + std::to_string(page));
      free_head_ = next;
      return page;
    }
    if (page_count_ == UINT32_MAX) return Status(kErrDiskFull, file_.path() + ": index full");
    uint32_t page = page_count_++;
    ACE_RETURN_IF_ERROR(WritePage(page, std::string(page_size_, '\0')));
    return page;
  }

  Status FreePage(uint32_t page) override {
    std::string data(page_size_, '\0');
    data[0] = static_cast<char>(kFreePage);
    Put32(&data, 4, free_head_);
    ACE_RETURN_IF_ERROR(WritePage(page, data));
    free_head_ = page;
    return Status::Ok();
  }

  // Writes changed pages to the file (enciphered on the way when the file is); drop also
  // forgets the cached ones. Pages that follow each other in the file go out in one write of up
  // to kGatherBytes, so that a build, whose pages are all new and consecutive, makes one call
  // per run of pages instead of one per page. A failed write leaves every changed page changed
  // and cached.
  Status WriteDirty(bool drop) {
    std::string run;
    uint32_t run_first = 0;
    auto write_run = [&]() -> Status {
      if (run.empty()) return Status::Ok();
      ACE_RETURN_IF_ERROR(file_.WriteAt(uint64_t{run_first} * page_size_, run.data(), run.size()));
      run.clear();
      return Status::Ok();
    };
    for (uint32_t page : dirty_) {  // ascending: dirty_ is ordered
      const bool follows = !run.empty() && page == run_first + run.size() / page_size_;
      if (!follows || run.size() + page_size_ > kGatherBytes) {
        ACE_RETURN_IF_ERROR(write_run());
        run_first = page;
      }
      const size_t at = run.size();
      run.append(cache_.at(page));
      if (key_) {
        ACE_RETURN_IF_ERROR(key_->EncryptPage(
            page, std::span<std::byte>(reinterpret_cast<std::byte*>(run.data() + at), page_size_)));
      }
    }
    ACE_RETURN_IF_ERROR(write_run());
    dirty_.clear();
    if (drop) cache_.clear();
    return Status::Ok();
  }
  // Before a page enters the cache: when it is full, changed pages are written and clean pages
  // dropped until half of it is free.
  Status MakeRoom() {
    const size_t limit = std::max<size_t>(64, page_cache_bytes / page_size_);
    if (cache_.size() < limit) return Status::Ok();
    ACE_RETURN_IF_ERROR(WriteDirty(false));
    for (auto it = cache_.begin(); it != cache_.end() && cache_.size() > limit / 2;)
      it = cache_.erase(it);
    return Status::Ok();
  }
  // Forgets unwritten changes (after a failed operation that is being abandoned).
  void set_page_count(uint32_t n) { page_count_ = n; }
  // Drops every cached page and takes the file's new extent (another user changed it).
  void Reset(uint32_t page_count, uint32_t free_head) {
    cache_.clear();
    dirty_.clear();
    page_count_ = page_count;
    free_head_ = free_head;
  }
  // The same for a file that replaced the one open (a rebuild renamed a new file over it).
  void Reopen(File file, uint32_t page_count, uint32_t free_head) {
    file_ = std::move(file);
    Reset(page_count, free_head);
  }
  // The key the tree pages are enciphered with (the table's), or none: pages are plain.
  void set_key(std::shared_ptr<const crypt::TableKey> key) { key_ = std::move(key); }
  bool enciphered() const { return key_ != nullptr; }

 private:
  File file_;
  uint32_t page_size_;
  uint32_t page_count_;
  uint32_t free_head_;
  std::unordered_map<uint32_t, std::string> cache_;
  std::set<uint32_t> dirty_;
  std::shared_ptr<const crypt::TableKey> key_;
};

// The cipher a header asks for: its pages are enciphered with the table's key, which must be
// there (kErrEncryption otherwise); unknown flags are kErrUnsupportedVersion.
static Status CipherOfHeader(const std::string& path, const std::string& h, storage::TableFile* table,
                      FilePageStore* store) {
  const auto flags = static_cast<uint8_t>(h[HeaderOffsets::kFlagsAt]);
  if ((flags & ~kFlagEnciphered) != 0)
    return Status(kErrUnsupportedVersion, path + ": index uses features this engine does not know");
  if ((flags & kFlagEnciphered) == 0) {
    store->set_key(nullptr);
    return Status::Ok();
  }
  std::shared_ptr<const crypt::TableKey> key = table->key();
  if (key == nullptr)
    return Status(kErrEncryption, path + ": the index is encrypted; enable encryption with the "
                                         "table's password to use it");
  store->set_key(std::move(key));
  return Status::Ok();
}

// ---- Tags ------------------------------------------------------------------------------------

std::string Tag::ToIndexOrder(std::string_view encoded) const {
  std::string out(encoded);
  if (options_.descending)
    for (char& c : out) c = static_cast<char>(~static_cast<unsigned char>(c));
  return out;
}

Result<std::optional<std::string>> Tag::KeyOf(const expr::RecordSource& record) const {
  if (for_) {
    Result<bool> in = for_->EvaluateLogical(record);
    if (!in.ok()) return in.status().WithContext("FOR condition of index " + name_);
    if (!*in) return std::optional<std::string>();
  }
  Result<std::string> key = expr::BuildKey(*key_, spec_, record);
  if (!key.ok()) return key.status().WithContext("key of index " + name_);
  return std::optional<std::string>(ToIndexOrder(*key));
}

Result<std::string> Tag::RawKeyOf(const expr::RecordSource& record) const {
  Result<std::string> key = expr::BuildKey(*key_, spec_, record);
  if (!key.ok()) return key.status().WithContext("key of index " + name_);
  return ToIndexOrder(*key);
}

Result<TreePosition> Tag::SeekNearest(std::string_view key) {
  return tree_->SeekFirstAtLeast(ToIndexOrder(key));
}

Result<TreePosition> Tag::SeekExact(std::string_view key) {
  std::string prefix = ToIndexOrder(key);
  Result<TreePosition> pos = tree_->SeekFirstAtLeast(prefix);
  if (!pos.ok() || !pos->valid()) return pos;
  Result<TreeEntry> e = tree_->EntryAt(*pos);
  if (!e.ok()) return e.status();
  if (e->key.compare(0, prefix.size(), prefix) != 0) return TreePosition{};
  return pos;
}

Result<TreePosition> Tag::SeekLast(std::string_view key) {
  return tree_->SeekLastAtMost(ToIndexOrder(key));
}

Result<TreeEntry> Tag::EntryAt(TreePosition pos) {
  Result<TreeEntry> e = tree_->EntryAt(pos);
  if (e.ok()) e->key = FromIndexOrder(e->key);
  return e;
}

Status Tag::AddKey(std::string_view index_order_key, uint32_t recno) {
  if (options_.unique && !options_.candidate) {
    Result<bool> has = tree_->ContainsKey(index_order_key);
    if (!has.ok()) return has.status();
    if (*has) return Status::Ok();  // classic unique: the first record of a key stays
  }
  return tree_->Insert(index_order_key, recno);
}

Status Tag::DeleteKey(std::string_view index_order_key, uint32_t recno) {
  if (options_.unique && !options_.candidate) {
    Result<TreePosition> pos = tree_->Find(index_order_key, recno);
    if (!pos.ok()) return pos.status();
    if (!pos->valid()) return Status::Ok();  // a suppressed duplicate
  }
  return tree_->Remove(index_order_key, recno);
}

// ---- IndexFile -------------------------------------------------------------------------------

IndexFile::~IndexFile() = default;

uint32_t IndexFile::page_size() const {
  return store_->page_size();
}

Tag* IndexFile::FindTag(std::string_view name) {
  std::string want = Lower(name);
  for (auto& t : tags_)
    if (Lower(t->name()) == want) return t.get();
  return nullptr;
}

std::vector<TagDefinition> IndexFile::Definitions() const {
  std::vector<TagDefinition> out;
  for (const auto& t : tags_) {
    TagDefinition d;
    d.name = t->name_;
    d.key_expression = t->key_text_;
    d.for_condition = t->for_text_;
    d.collation = t->collation_->name();
    d.options = t->options_;
    out.push_back(std::move(d));
  }
  return out;
}

// Compiles a definition against the table and adds the tag with its tree (root 0: not built).
Status IndexFile::AddTag(const TagDefinition& def, uint32_t id, uint32_t root) {
  auto tag = std::unique_ptr<Tag>(new Tag());
  tag->id_ = id;
  tag->name_ = kind_ == IndexKind::kSingle ? BaseName(path_) : def.name;
  if (tag->name_.empty()) return Status(kErrInvalidArgument, path_ + ": a tag needs a name");
  if (tag->name_.size() > MaxTagNameLength(kind_))
    return Status(kErrNameTooLong, path_ + ": tag name " + tag->name_ + " is longer than " +
                                       std::to_string(MaxTagNameLength(kind_)) + " characters");
  tag->key_text_ = def.key_expression;
  tag->for_text_ = def.for_condition;
  tag->options_ = def.options;
  if (!def.collation.empty()) {
    Result<const expr::Collation*> c = expr::FindCollation(def.collation);
    if (!c.ok()) return c.status().WithContext(path_ + " tag " + tag->name_);
    tag->collation_ = *c;
  }
  TableRecordSource schema(table_);
  // ADT indexes take keys of several ';'-separated segments.
  Result<expr::Expression> key = kind_ == IndexKind::kCompoundLong
                                     ? expr::CompileKeyExpression(def.key_expression, &schema)
                                     : expr::Expression::Compile(def.key_expression, &schema);
  if (!key.ok()) return key.status().WithContext(path_ + " tag " + tag->name_);
  Result<expr::KeySpec> spec = expr::KeySpecOf(*key, *tag->collation_);
  if (!spec.ok()) return spec.status().WithContext(path_ + " tag " + tag->name_);
  tag->spec_ = *spec;
  tag->key_.emplace(std::move(*key));
  if (!def.for_condition.empty()) {
    Result<expr::Expression> cond = expr::Expression::Compile(def.for_condition, &schema);
    if (!cond.ok()) return cond.status().WithContext(path_ + " tag " + tag->name_ + " FOR");
    if (cond->type() != expr::ValueType::kLogical)
      return Status(kErrInvalidExpression,
                    path_ + " tag " + tag->name_ + ": the FOR condition is not logical");
    tag->for_.emplace(std::move(*cond));
  }
  ACE_RETURN_IF_ERROR(BTree::CheckKeyFits(tag->spec_.length, store_->page_size()));
  tag->tree_ = std::make_unique<BTree>(store_.get(), id, tag->spec_.length, root,
                                       def.options.candidate, path_ + " tag " + tag->name_);
  tags_.push_back(std::move(tag));
  return Status::Ok();
}

Status IndexFile::WriteHeader() {
  std::string h(store_->page_size(), '\0');
  std::memcpy(h.data(), kMagic, sizeof kMagic);
  h[HeaderOffsets::kVersionAt] = static_cast<char>(kVersion);
  h[HeaderOffsets::kKindAt] = static_cast<char>(kind_);
  h[HeaderOffsets::kFlagsAt] = static_cast<char>(store_->enciphered() ? kFlagEnciphered : 0);
  Put32(&h, HeaderOffsets::kPageSizeAt, store_->page_size());
  Put32(&h, HeaderOffsets::kPageCountAt, store_->page_count());
  Put32(&h, HeaderOffsets::kFreeAt, store_->free_head());
  Put32(&h, HeaderOffsets::kStampCountAt, stamp_.record_count);
  Put32(&h, HeaderOffsets::kStampLengthAt, stamp_.record_length);
  Put32(&h, HeaderOffsets::kStampHashAt, stamp_.fields_hash);
  Put32(&h, HeaderOffsets::kTagCountAt, static_cast<uint32_t>(tags_.size()));
  Put32(&h, HeaderOffsets::kDirectoryAt, directory_page_);
  Put32(&h, HeaderOffsets::kNextTagAt, next_tag_id_);
  Put32(&h, HeaderOffsets::kChecksumAt, Fnv(h.data(), kHeaderChecked));
  Put32(&h, HeaderOffsets::kChangeAt, change_count_);
  return store_->file().WriteAt(0, h.data(), h.size());
}

static void PutText(std::string* out, const std::string& s) {
  uint16_t n = static_cast<uint16_t>(s.size());
  out->append(reinterpret_cast<const char*>(&n), 2);
  out->append(s);
}

Status IndexFile::WriteDirectory() {
  // Free the old chain, then write the directory into fresh pages.
  for (int hops = 0; directory_page_ != 0 && hops < 100000; ++hops) {
    std::string page;
    ACE_RETURN_IF_ERROR(store_->ReadPage(directory_page_, &page));
    uint32_t next = Get32(page, 4);
    ACE_RETURN_IF_ERROR(store_->FreePage(directory_page_));
    directory_page_ = next;
  }
  std::string data;
  for (const auto& t : tags_) {
    uint8_t opts = (t->options_.unique ? 1 : 0) | (t->options_.descending ? 2 : 0) |
                   (t->options_.candidate ? 4 : 0) | (t->options_.custom ? 8 : 0);
    uint32_t root = t->tree_->root_page();
    uint16_t length = static_cast<uint16_t>(t->spec_.length);
    data.append(reinterpret_cast<const char*>(&t->id_), 4);
    data.append(reinterpret_cast<const char*>(&root), 4);
    data.push_back(static_cast<char>(opts));
    data.push_back(static_cast<char>(t->spec_.type));
    data.append(reinterpret_cast<const char*>(&length), 2);
    PutText(&data, t->name_);
    PutText(&data, t->key_text_);
    PutText(&data, t->for_text_);
    PutText(&data, t->collation_->name());
  }
  size_t per_page = store_->page_size() - kDirectoryData;
  std::vector<uint32_t> pages;
  for (size_t at = 0; at < data.size(); at += per_page) {
    Result<uint32_t> p = store_->AllocatePage();
    if (!p.ok()) return p.status();
    pages.push_back(*p);
  }
  for (size_t i = 0; i < pages.size(); ++i) {
    std::string page(store_->page_size(), '\0');
    page[0] = static_cast<char>(kDirectoryPage);
    Put32(&page, 4, i + 1 < pages.size() ? pages[i + 1] : 0);
    size_t n = std::min(per_page, data.size() - i * per_page);
    Put32(&page, 8, static_cast<uint32_t>(n));
    std::memcpy(page.data() + kDirectoryData, data.data() + i * per_page, n);
    ACE_RETURN_IF_ERROR(store_->WritePage(pages[i], page));
  }
  directory_page_ = pages.empty() ? 0 : pages.front();
  return Status::Ok();
}

Status IndexFile::Flush() {
  if (read_only_) return Status::Ok();
  ACE_RETURN_IF_ERROR(WriteDirectory());
  stamp_ = StampOf(*table_);
  ++change_count_;
  Status s = store_->WriteDirty(false);
  if (s.ok()) s = WriteHeader();
  // A flush that did not reach the header leaves the file's change counter as it was; ours must
  // stay equal to it, or Refresh takes the pages written so far for another user's change and
  // drops the changed pages still to be written (the tree would be read back half-written).
  if (!s.ok()) --change_count_;
  return s;
}

Status IndexFile::ReadHeader(const std::string& h) {
  auto corrupt = [&](const std::string& what) {
    return Status(kErrCorruptFile, path_ + ": " + what);
  };
  if (std::memcmp(h.data(), kMagic, sizeof kMagic) != 0) return corrupt("not an index file");
  if (static_cast<uint8_t>(h[HeaderOffsets::kVersionAt]) != kVersion)
    return Status(kErrUnsupportedVersion,
                  path_ + ": index version " +
                      std::to_string(static_cast<uint8_t>(h[HeaderOffsets::kVersionAt])) +
                      " is not supported");
  if (Get32(h, HeaderOffsets::kChecksumAt) != Fnv(h.data(), kHeaderChecked))
    return corrupt("index header checksum does not match");
  auto kind = static_cast<uint8_t>(h[HeaderOffsets::kKindAt]);
  Result<IndexKind> by_name = IndexKindOfPath(path_);
  if (!by_name.ok()) return by_name.status();
  if (kind != static_cast<uint8_t>(*by_name)) return corrupt("index kind does not match its name");
  kind_ = *by_name;
  return Status::Ok();
}

Status IndexFile::ReadDirectory() {
  std::string data;
  std::set<uint32_t> seen;
  for (uint32_t page = directory_page_; page != 0;) {
    if (!seen.insert(page).second) return Status(kErrCorruptFile, path_ + ": directory loops");
    std::string p;
    ACE_RETURN_IF_ERROR(store_->ReadPage(page, &p));
    uint32_t n = Get32(p, 8);
    if (static_cast<uint8_t>(p[0]) != kDirectoryPage || n > p.size() - kDirectoryData)
      return Status(kErrCorruptFile,
                    path_ + ": page " + std::to_string(page) + " is not a directory page");
    data.append(p, kDirectoryData, n);
    page = Get32(p, 4);
  }
  {
    size_t at = 0;
    auto need = [&](size_t n) { return at + n <= data.size(); };
    auto text = [&](std::string* out) {
      if (!need(2)) return false;
      uint16_t n;
      std::memcpy(&n, data.data() + at, 2);
      at += 2;
      if (!need(n)) return false;
      out->assign(data, at, n);
      at += n;
      return true;
    };
    while (at < data.size()) {
      if (!need(12)) return Status(kErrCorruptFile, path_ + ": tag directory truncated");
      uint32_t id = Get32(data, at), root = Get32(data, at + 4);
      uint8_t opts = static_cast<uint8_t>(data[at + 8]);
      uint8_t type = static_cast<uint8_t>(data[at + 9]);
      uint16_t length;
      std::memcpy(&length, data.data() + at + 10, 2);
      at += 12;
      TagDefinition def;
      std::string collation;
      if (!text(&def.name) || !text(&def.key_expression) || !text(&def.for_condition) ||
          !text(&def.collation))
        return Status(kErrCorruptFile, path_ + ": tag directory truncated");
      def.options = {(opts & 1) != 0, (opts & 2) != 0, (opts & 4) != 0, (opts & 8) != 0};
      if (root == 0 || root >= store_->page_count())
        return Status(kErrCorruptFile, path_ + ": tag " + def.name + " has no root page");
      Status added = AddTag(def, id, root);
      if (added.code() == kErrCorruptFile) return added;
      if (!added.ok())
        return Status(kErrStaleIndex, path_ + ": tag " + def.name + " no longer fits its table (" +
                                          added.message() + ")");
      const Tag& t = *tags_.back();
      if (static_cast<uint8_t>(t.spec_.type) != type || t.spec_.length != length) {
        // Keys built another way than the expression builds them now (a numeric segment of an
        // older file): the caller that may rebuild gets the file as stale, unless the tag's
        // keys were added by hand and cannot be built again.
        if (!opening_allows_stale_ || def.options.custom)
          return Status(kErrStaleIndex, path_ + ": tag " + def.name +
                                            " has another key type or length than its expression");
        stale_ = true;
      }
    }
    return Status::Ok();
  }
}

namespace {

// The numbers of a header that ReadHeader accepted, checked against the file's size.
struct HeaderFields {
  uint32_t page_size = 0, page_count = 0, free_head = 0, directory = 0, next_tag = 0, tag_count = 0,
           change = 0;
  TableStamp stamp;
};

Result<HeaderFields> ParseHeaderFields(const std::string& path, const std::string& h,
                                       uint64_t size) {
  HeaderFields f;
  f.page_size = Get32(h, HeaderOffsets::kPageSizeAt);
  f.page_count = Get32(h, HeaderOffsets::kPageCountAt);
  f.free_head = Get32(h, HeaderOffsets::kFreeAt);
  if (!IsValidPageSize(f.page_size))
    return Status(kErrCorruptFile,
                  path + ": invalid index page size " + std::to_string(f.page_size));
  if (f.page_count == 0 || size != uint64_t{f.page_count} * f.page_size)
    return Status(kErrCorruptFile, path + ": file size does not match the header's " +
                                       std::to_string(f.page_count) + " pages (truncated?)");
  if (f.free_head >= f.page_count) return Status(kErrCorruptFile, path + ": free list outside");
  f.stamp = {Get32(h, HeaderOffsets::kStampCountAt), Get32(h, HeaderOffsets::kStampLengthAt),
             Get32(h, HeaderOffsets::kStampHashAt)};
  f.directory = Get32(h, HeaderOffsets::kDirectoryAt);
  f.next_tag = Get32(h, HeaderOffsets::kNextTagAt);
  f.tag_count = Get32(h, HeaderOffsets::kTagCountAt);
  f.change = Get32(h, HeaderOffsets::kChangeAt);
  if (f.directory >= f.page_count)
    return Status(kErrCorruptFile, path + ": tag directory outside the file");
  return f;
}

uint64_t FileIdOf(const struct stat& st) {
  return (static_cast<uint64_t>(st.st_dev) << 40) ^ static_cast<uint64_t>(st.st_ino);
}

uint64_t FileIdOfFd(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 ? FileIdOf(st) : 0;
}

Result<std::string> ReadHeaderPage(const File& file, uint64_t* size) {
  Result<uint64_t> n = file.Size();
  if (!n.ok()) return n.status();
  if (*n < kMinPageSize) return Status(kErrCorruptFile, file.path() + ": index file truncated");
  std::string h(kMinPageSize, '\0');
  ACE_RETURN_IF_ERROR(file.ReadAt(0, h.data(), h.size()));
  *size = *n;
  return h;
}

// Takes the update lock byte of fd; with wait false answers false at once when another
// holder has it.
Result<bool> TakeUpdateLock(int fd, short type, bool wait, const std::string& path) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = kUpdateLockAt;
  lock.l_len = 1;
  while (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0) {
    if (errno == EINTR) continue;
    if (!wait && (errno == EAGAIN || errno == EACCES)) return false;
    return Status(kErrIo, path + ": the index cannot be locked for an update");
  }
  return true;
}

// Takes the update lock of type, waiting for another holder in steps of 10 ms for at most 3 s.
Status WaitForUpdateLock(const File& file, short type) {
  constexpr int kSteps = 300;
  for (int step = 0; step < kSteps; ++step) {
    Result<bool> taken = TakeUpdateLock(file.fd(), type, false, file.path());
    if (!taken.ok()) return taken.status();
    if (*taken) return Status::Ok();
    ::usleep(10000);
  }
  return Status(kErrLockRefused,
                file.path() + ": the index is being updated by another user; try again later");
}

// The update lock for reading a file at its open. Waits a while for a writer to finish, in
// short steps, but never without end: the holder may be this very process (a transaction keeps
// its indexes locked until it ends).
Status LockForOpen(const File& file, bool read_only) {
  return WaitForUpdateLock(file, read_only ? F_RDLCK : F_WRLCK);
}

}  // namespace

Status IndexFile::LockForReading() {
  return WaitForUpdateLock(store_->file(), F_RDLCK);
}

void IndexFile::UnlockForReading() {
  UnlockForUpdate();
}

Result<std::unique_ptr<IndexFile>> IndexFile::Open(const std::string& path,
                                                   storage::TableFile* table, bool read_only,
                                                   bool allow_stale) {
  if (!FileExists(path)) return Status(kErrFileNotFound, path + ": index file not found");
  Result<File> file = File::Open(path, read_only ? OpenMode::kReadOnly : OpenMode::kReadWrite);
  if (!file.ok()) return file.status();
  // The file is read under its update lock: a writer holds it from before its table write
  // until its pages and header are written, so without it the header, the directory and the
  // trees may be read half-written, and a table that seems to have moved on past the index (or
  // pages not yet counted) may be another user's write in progress. The lock goes with the
  // file when an error ends the open.
  ACE_RETURN_IF_ERROR(LockForOpen(*file, read_only));
  std::unique_ptr<IndexFile> index(new IndexFile());
  index->path_ = path;
  index->table_ = table;
  index->read_only_ = read_only;
  uint64_t size = 0;
  Result<std::string> h = ReadHeaderPage(*file, &size);
  if (!h.ok()) return h.status();
  ACE_RETURN_IF_ERROR(index->ReadHeader(*h));
  // A write cut short (the process killed) may have grown the file by the pages it allocated
  // before it wrote the header that counts them. With allow_stale such a file opens as stale,
  // to be rebuilt from the definitions in its directory.
  bool cut_short = false;
  const uint64_t counted =
      uint64_t{Get32(*h, HeaderOffsets::kPageCountAt)} * Get32(*h, HeaderOffsets::kPageSizeAt);
  if (allow_stale && counted > 0 && size > counted) {
    size = counted;
    cut_short = true;
  }
  Result<HeaderFields> f = ParseHeaderFields(path, *h, size);
  if (!f.ok()) return f.status();
  index->stamp_ = f->stamp;
  index->directory_page_ = f->directory;
  index->next_tag_id_ = f->next_tag;
  index->change_count_ = f->change;
  index->file_id_ = FileIdOfFd(file->fd());
  index->store_ =
      std::make_unique<FilePageStore>(std::move(*file), f->page_size, f->page_count, f->free_head);
  ACE_RETURN_IF_ERROR(CipherOfHeader(path, *h, table, index->store_.get()));
  // The table's header may be older than the index's last flush: it is read anew before the
  // two are found to differ.
  if (!(StampOf(*table) == index->stamp_)) ACE_RETURN_IF_ERROR(table->RefreshHeader());
  const TableStamp now = StampOf(*table);
  if (cut_short || !(now == index->stamp_)) {
    if (!allow_stale)
      return Status(kErrStaleIndex,
                    path + ": index was written for a table of " +
                        std::to_string(index->stamp_.record_count) + " records" +
                        (now.record_count == index->stamp_.record_count
                             ? std::string(" with other fields")
                             : ", the table has " + std::to_string(now.record_count)) +
                        "; rebuild the index");
    // Stale for certain: the lock stays taken until the file is rebuilt (Reindex replaces it)
    // or closed, so that no other user writes keys into the tree being replaced.
    index->stale_ = true;
  }
  index->opening_allows_stale_ = allow_stale;
  Status read = index->ReadDirectory();
  index->opening_allows_stale_ = false;
  ACE_RETURN_IF_ERROR(read);
  if (index->tags_.size() != f->tag_count)
    return Status(kErrCorruptFile, path + ": tag count does not match the directory");
  if (index->kind_ == IndexKind::kSingle && index->tags_.size() != 1)
    return Status(kErrCorruptFile, path + ": a single index file must hold one index");
  if (!index->stale_) index->UnlockForUpdate();
  return index;
}

Status IndexFile::Refresh() {
  struct stat st;
  if (::stat(path_.c_str(), &st) != 0)
    return Status(kErrFileNotFound, path_ + ": the index file is gone");
  if (FileIdOf(st) != file_id_) return Reload(true);
  char counter[4];
  ACE_RETURN_IF_ERROR(store_->file().ReadAt(HeaderOffsets::kChangeAt, counter, sizeof counter));
  uint32_t now;
  std::memcpy(&now, counter, sizeof now);
  if (now == change_count_) return Status::Ok();
  return Reload(false);
}

Status IndexFile::Reload(bool reopen) {
  File reopened;
  if (reopen) {
    Result<File> f = File::Open(path_, read_only_ ? OpenMode::kReadOnly : OpenMode::kReadWrite);
    if (!f.ok()) return f.status();
    reopened = std::move(*f);
  }
  const File& file = reopen ? reopened : store_->file();
  uint64_t size = 0;
  Result<std::string> h = ReadHeaderPage(file, &size);
  if (!h.ok()) return h.status();
  ACE_RETURN_IF_ERROR(ReadHeader(*h));
  Result<HeaderFields> f = ParseHeaderFields(path_, *h, size);
  if (!f.ok()) return f.status();
  if (f->page_size != store_->page_size())
    return Status(kErrStaleIndex,
                  path_ + ": another user rebuilt the index with another page size");
  if (reopen) {
    store_->Reopen(std::move(reopened), f->page_count, f->free_head);
  } else {
    store_->Reset(f->page_count, f->free_head);
  }
  ACE_RETURN_IF_ERROR(CipherOfHeader(path_, *h, table_, store_.get()));
  directory_page_ = f->directory;
  next_tag_id_ = f->next_tag;
  change_count_ = f->change;
  stamp_ = f->stamp;
  file_id_ = FileIdOfFd(store_->file().fd());
  std::vector<std::unique_ptr<Tag>> previous = std::move(tags_);
  tags_.clear();
  Status read = ReadDirectory();
  Status adopted = AdoptTags(std::move(previous));
  return read.ok() ? adopted : read;
}

// After the directory was read anew or the file rebuilt: a fresh tag that is the same index as
// one read before (same name and definition) keeps the old object with the fresh tree, so that
// pointers to it stay valid; old tags that are no longer there are retired.
Status IndexFile::AdoptTags(std::vector<std::unique_ptr<Tag>> previous) {
  for (auto& fresh : tags_) {
    for (auto& old : previous) {
      if (old && old->name_ == fresh->name_ && old->key_text_ == fresh->key_text_ &&
          old->for_text_ == fresh->for_text_ && old->spec_.length == fresh->spec_.length &&
          old->options_.descending == fresh->options_.descending) {
        old->tree_ = std::move(fresh->tree_);
        old->id_ = fresh->id_;
        old->options_ = fresh->options_;
        fresh = std::move(old);
        break;
      }
    }
  }
  for (auto& old : previous) {
    if (!old) continue;
    old->present_ = false;
    retired_.push_back(std::move(old));
  }
  return Status::Ok();
}

Status IndexFile::LockForUpdate() {
  for (;;) {
    Result<bool> taken =
        TakeUpdateLock(store_->file().fd(), read_only_ ? F_RDLCK : F_WRLCK, true, path_);
    if (!taken.ok()) return taken.status();
    // The lock belongs to the file this object has open. When another user replaced the file
    // (a rebuild) while this one waited, the lock guards nothing: the new file is taken up and
    // locked instead.
    struct stat st;
    if (::stat(path_.c_str(), &st) != 0 || FileIdOf(st) == file_id_) {
      holds_update_lock_ = true;
      return Status::Ok();
    }
    UnlockForUpdate();
    ACE_RETURN_IF_ERROR(Reload(true));
  }
}

void IndexFile::UnlockForUpdate() {
  holds_update_lock_ = false;
  struct flock lock = {};
  lock.l_type = F_UNLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kUpdateLockAt;
  lock.l_len = 1;
  (void)::fcntl(store_->file().fd(), F_OFD_SETLK, &lock);
}

// ---- Building --------------------------------------------------------------------------------

// Fills a freshly added tag: from the table's records, or (custom) by copying the carried tag.
Status IndexFile::FillTag(Tag* tag, const TagDefinition& def, Tag* carry) {
  BTree::BulkLoader loader(tag->tree_.get());
  uint32_t key_length = tag->spec_.length;
  if (def.options.custom) {
    if (carry && carry->spec_.length == key_length &&
        carry->options_.descending == def.options.descending) {
      Result<TreePosition> pos = carry->tree_->First();
      while (pos.ok() && pos->valid()) {
        Result<TreeEntry> e = carry->tree_->EntryAt(*pos);
        if (!e.ok()) return e.status();
        ACE_RETURN_IF_ERROR(loader.Add(e->key, e->recno));
        pos = carry->tree_->Next(*pos);
      }
      if (!pos.ok()) return pos.status();
    }
    return loader.Finish();
  }
  std::optional<expr::Expression> while_cond;
  TableRecordSource source(table_);
  if (!def.while_condition.empty()) {
    Result<expr::Expression> w = expr::Expression::Compile(def.while_condition, &source);
    if (!w.ok()) return w.status().WithContext(path_ + " tag " + tag->name_ + " WHILE");
    while_cond.emplace(std::move(*w));
  }
  KeySorter sorter(key_length + 4, path_ + ".sort");
  sorter.Reserve(table_->record_count());
  // The records are read in blocks of consecutive ones (a few system calls per block).
  const size_t length = std::max<size_t>(table_->record_length(), 1);
  const auto per_block = static_cast<uint32_t>(std::clamp<size_t>(kReadBlockBytes / length, 1, 4096));
  std::vector<std::byte> block;
  uint32_t block_first = 0, block_count = 0;
  uint32_t count = table_->record_count();
  Progress progress(count);
  for (uint32_t recno = 1; recno <= count; ++recno) {
    ACE_RETURN_IF_ERROR(progress.Advance(recno - 1));
    if (recno - block_first >= block_count || block_count == 0) {
      block_count = 0;
      const uint32_t n = std::min(per_block, count - recno + 1);
      block.resize(size_t{n} * length);
      ACE_RETURN_IF_ERROR(table_->ReadRecords(recno, n, block.data()));
      block_first = recno;
      block_count = n;
    }
    source.SetRecord(recno, block.data() + size_t{recno - block_first} * length);
    if (while_cond) {
      Result<bool> go_on = while_cond->EvaluateLogical(source);
      if (!go_on.ok()) return go_on.status();
      if (!*go_on) break;
    }
    Result<std::optional<std::string>> key = tag->KeyOf(source);
    if (!key.ok()) return key.status().WithContext("record " + std::to_string(recno));
    if (!key->has_value()) continue;
    std::string entry = std::move(**key);
    for (int shift = 24; shift >= 0; shift -= 8) entry.push_back(static_cast<char>(recno >> shift));
    ACE_RETURN_IF_ERROR(sorter.Add(entry));
  }
  std::string previous;
  bool have_previous = false;
  ACE_RETURN_IF_ERROR(sorter.Drain([&](std::string_view entry) -> Status {
    std::string_view key = entry.substr(0, key_length);
    const auto* r = reinterpret_cast<const unsigned char*>(entry.data() + key_length);
    uint32_t recno = (uint32_t{r[0]} << 24) | (uint32_t{r[1]} << 16) | (uint32_t{r[2]} << 8) | r[3];
    if (have_previous && previous == key) {
      if (def.options.candidate)
        return Status(kErrDuplicateKey, path_ + ": duplicate key in candidate index " + tag->name_ +
                                            " (record " + std::to_string(recno) + ")");
      if (def.options.unique) return Status::Ok();
    }
    previous.assign(key);
    have_previous = true;
    return loader.Add(key, recno);
  }));
  return loader.Finish();
}

Result<std::unique_ptr<IndexFile>> IndexFile::Build(const std::string& path,
                                                    storage::TableFile* table,
                                                    const std::vector<TagDefinition>& defs,
                                                    uint32_t page_size, IndexFile* carry_from) {
  Result<IndexKind> kind = IndexKindOfPath(path);
  if (!kind.ok()) return kind.status();
  if (page_size == 0) page_size = DefaultPageSize(*kind);
  if (!IsValidPageSize(page_size))
    return Status(kErrInvalidArgument, path + ": index page size " + std::to_string(page_size) +
                                           " is not a power of two from 512 to 8192");
  if (*kind == IndexKind::kSingle && defs.size() != 1)
    return Status(kErrInvalidArgument, path + ": a single index file holds exactly one index");
  std::string temp = path + ".new";
  Status status;
  std::unique_ptr<IndexFile> index(new IndexFile());
  {
    Result<File> file = File::Open(temp, OpenMode::kCreateTruncate);
    if (!file.ok()) return file.status();
    index->path_ = path;
    index->kind_ = *kind;
    index->table_ = table;
    index->store_ = std::make_unique<FilePageStore>(std::move(*file), page_size, 1, 0);
  }
  // The index of an encrypted table is encrypted too: its keys are field values.
  if (table->encrypted()) {
    std::shared_ptr<const crypt::TableKey> key = table->key();
    if (key == nullptr) {
      index->store_->file().Close();
      (void)RemoveFile(temp);
      return Status(kErrEncryption, path + ": the table is encrypted; enable encryption with "
                                           "its password to build its index");
    }
    index->store_->set_key(std::move(key));
  }
  auto fail = [&](Status s) {
    index->store_->file().Close();
    (void)RemoveFile(temp);
    return s;
  };
  // Building reports its progress (a stop leaves the file that was there before); each tag is
  // an equal part of it.
  Progress progress(defs.size());
  for (const TagDefinition& def : defs) {
    const size_t done = index->tags_.size();
    progress.Share(done, done + 1);
    for (const auto& t : index->tags_)
      if (Lower(t->name_) == Lower(def.name) && *kind != IndexKind::kSingle)
        return fail(Status(kErrInvalidArgument, path + ": tag " + def.name + " given twice"));
    status = index->AddTag(def, index->next_tag_id_++, 0);
    if (!status.ok()) return fail(status);
    Tag* carry = carry_from ? carry_from->FindTag(index->tags_.back()->name_) : nullptr;
    status = index->FillTag(index->tags_.back().get(), def, carry);
    if (status.ok()) status = progress.Advance(done + 1);
    if (!status.ok()) return fail(status);
  }
  status = index->Flush();
  if (status.ok()) status = index->store_->file().Sync();
  if (!status.ok()) return fail(status);
  index->store_->file().Close();
  status = RenameFile(temp, path);
  if (!status.ok()) {
    (void)RemoveFile(temp);
    return status;
  }
  return Open(path, table, false);
}

Result<std::unique_ptr<IndexFile>> IndexFile::Create(const std::string& path,
                                                     storage::TableFile* table,
                                                     const std::vector<TagDefinition>& tags,
                                                     const CreateIndexOptions& options) {
  Result<IndexKind> kind = IndexKindOfPath(path);
  if (!kind.ok()) return kind.status();
  std::vector<TagDefinition> all;
  std::unique_ptr<IndexFile> old;
  if (*kind != IndexKind::kSingle && FileExists(path)) {
    Result<std::unique_ptr<IndexFile>> existing = Open(path, table, true, true);
    if (existing.ok()) {
      old = std::move(*existing);
      for (TagDefinition& d : old->Definitions()) {
        bool replaced = false;
        for (const TagDefinition& n : tags) replaced = replaced || Lower(n.name) == Lower(d.name);
        if (!replaced) all.push_back(std::move(d));
      }
    } else if (existing.status().code() != kErrStaleIndex &&
               existing.status().code() != kErrCorruptFile) {
      return existing.status();
    }
    // A stale file keeps its other tags (they are rebuilt below); a damaged one, or one whose
    // tags no longer compile against the table, is replaced by the new tags alone.
  }
  all.insert(all.end(), tags.begin(), tags.end());
  uint32_t page_size = options.page_size ? options.page_size : old ? old->page_size() : 0;
  return Build(path, table, all, page_size, old.get());
}

Status IndexFile::Replace(std::unique_ptr<IndexFile> fresh) {
  store_ = std::move(fresh->store_);
  std::vector<std::unique_ptr<Tag>> previous = std::move(tags_);
  tags_ = std::move(fresh->tags_);
  ACE_RETURN_IF_ERROR(AdoptTags(std::move(previous)));
  directory_page_ = fresh->directory_page_;
  next_tag_id_ = fresh->next_tag_id_;
  stamp_ = fresh->stamp_;
  change_count_ = fresh->change_count_;
  file_id_ = fresh->file_id_;
  stale_ = false;
  return Status::Ok();
}

Status IndexFile::Reindex() {
  if (read_only_) return Status(kErrTableReadOnly, path_ + ": index opened read-only");
  Result<std::unique_ptr<IndexFile>> fresh =
      Build(path_, table_, Definitions(), store_->page_size(), this);
  if (!fresh.ok()) return fresh.status();
  return Replace(std::move(*fresh));
}

Status IndexFile::MarkStale() {
  stale_ = true;
  if (read_only_) return Status::Ok();
  // A record length of 0 is no table's, so the stamp can never match again.
  stamp_ = TableStamp{0xFFFFFFFFu, 0, 0};
  ++change_count_;
  ACE_RETURN_IF_ERROR(WriteHeader());
  return store_->file().Sync();
}

Status IndexFile::DeleteTag(std::string_view name) {
  if (read_only_) return Status(kErrTableReadOnly, path_ + ": index opened read-only");
  Tag* tag = FindTag(name);
  if (tag == nullptr)
    return Status(kErrNoSuchIndexTag, path_ + ": there is no tag " + std::string(name));
  std::vector<TagDefinition> defs;
  for (TagDefinition& d : Definitions())
    if (Lower(d.name) != Lower(tag->name())) defs.push_back(std::move(d));
  if (defs.empty())
    return Status(kErrInvalidArgument, path_ + ": the last tag of a file goes with the file");
  Result<std::unique_ptr<IndexFile>> fresh = Build(path_, table_, defs, store_->page_size(), this);
  if (!fresh.ok()) return fresh.status();
  return Replace(std::move(*fresh));
}

Status IndexFile::Zap() {
  if (read_only_) return Status(kErrTableReadOnly, path_ + ": index opened read-only");
  for (auto& t : tags_) ACE_RETURN_IF_ERROR(t->tree_->Clear());
  return Flush();
}

Status IndexFile::CheckAll() {
  for (auto& t : tags_) ACE_RETURN_IF_ERROR(t->tree_->CheckTree());
  return Status::Ok();
}

// ---- Maintenance -----------------------------------------------------------------------------

Status UpdateIndexes(std::span<IndexFile* const> files, storage::TableFile& table, uint32_t recno,
                     const std::byte* old_image, const std::byte* new_image) {
  TableRecordSource old_source(&table), new_source(&table);
  old_source.SetRecord(recno, old_image);
  new_source.SetRecord(recno, new_image);
  struct Change {
    Tag* tag;
    std::optional<std::string> old_key, new_key;
  };
  std::vector<Change> changes;
  for (IndexFile* file : files) {
    for (size_t i = 0; i < file->tag_count(); ++i) {
      Tag* tag = &file->tag(i);
      if (tag->options().custom) continue;
      Change c{tag, {}, {}};
      if (old_image) {
        Result<std::optional<std::string>> k = tag->KeyOf(old_source);
        if (!k.ok()) return k.status();
        c.old_key = std::move(*k);
      }
      if (new_image) {
        Result<std::optional<std::string>> k = tag->KeyOf(new_source);
        if (!k.ok()) return k.status();
        c.new_key = std::move(*k);
      }
      if (c.old_key == c.new_key) continue;
      if (tag->options().candidate && c.new_key) {
        uint32_t other = 0;
        Result<bool> has = tag->tree().ContainsKey(*c.new_key, &other);
        if (!has.ok()) return has.status();
        if (*has && other != recno)
          return Status(kErrDuplicateKey, file->path() + ": duplicate key in candidate index " +
                                              tag->name() + " (record " + std::to_string(recno) +
                                              ", the key of record " + std::to_string(other) + ")");
      }
      changes.push_back(std::move(c));
    }
  }
  for (Change& c : changes) {
    if (c.old_key) ACE_RETURN_IF_ERROR(c.tag->DeleteKey(*c.old_key, recno));
    if (c.new_key) ACE_RETURN_IF_ERROR(c.tag->AddKey(*c.new_key, recno));
  }
  for (IndexFile* file : files) ACE_RETURN_IF_ERROR(file->Flush());
  return Status::Ok();
}

Status CheckCandidates(std::span<IndexFile* const> files, storage::TableFile& table, uint32_t recno,
                       const std::byte* old_image, const std::byte* new_image) {
  TableRecordSource old_source(&table), new_source(&table);
  old_source.SetRecord(recno, old_image);
  new_source.SetRecord(recno, new_image);
  for (IndexFile* file : files) {
    for (size_t i = 0; i < file->tag_count(); ++i) {
      Tag* tag = &file->tag(i);
      if (!tag->options().candidate || tag->options().custom || new_image == nullptr) continue;
      Result<std::optional<std::string>> fresh = tag->KeyOf(new_source);
      if (!fresh.ok()) return fresh.status();
      if (!fresh->has_value()) continue;
      if (old_image != nullptr) {
        Result<std::optional<std::string>> before = tag->KeyOf(old_source);
        if (!before.ok()) return before.status();
        if (*before == *fresh) continue;
      }
      uint32_t other = 0;
      Result<bool> has = tag->tree().ContainsKey(**fresh, &other);
      if (!has.ok()) return has.status();
      if (*has && other != recno)
        return Status(kErrDuplicateKey, file->path() + ": duplicate key in candidate index " +
                                            tag->name() + " (the key is the one of record " +
                                            std::to_string(other) + ")");
    }
  }
  return Status::Ok();
}

}  // namespace ace::index
