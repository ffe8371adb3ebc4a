// Index files and their tags: the container format shared by .ntx (one index), .cdx and .adi
// (compound, named tags), building indexes from a table, and keeping open indexes in step with
// the table's records. The tree algorithms are btree.h's; key encoding and collations are
// engine/expr's; when to maintain which index (order, scopes, filters, deleted records) is the
// cursor's business: it calls UpdateIndexes on every record write.
//
// File layout (our own; numbers little-endian). The file is a sequence of pages of page_size
// bytes; page 0 is the header, every other page is a tree page (btree.h), a directory page or
// a free page.
//   Header (page 0):
//   OFFSET  SIZE  DESCRIPTION
//   0       8     magic "VSKIDXF\x1A"
//   8       1     version (1)
//   9       1     kind: 1 single index (.ntx), 2 compound with short names (.cdx), 3 compound
//                 with long names (.adi)
//   10      1     flags: bit 0 the pages after the header are enciphered with the table's key
//                 (the index of an encrypted table, engine/crypt/table_key.h); others 0
//   11      1     0
//   12      4     page size (512 .. 8192, power of two)
//   16      4     page count (the file holds exactly page count pages)
//   20      4     first free page (0 = none)
//   24      4     table stamp: record count of the table at the last write
//   28      4     table stamp: record length of the table
//   32      4     table stamp: FNV-1a hash of the table's field names, types and lengths
//   36      4     number of tags
//   40      4     first directory page (0 = no tags)
//   44      4     next tag id to give out
//   48      4     FNV-1a hash of bytes 0..47
//   52      4     change counter: incremented by every Flush, so that other users of the file
//                 notice the change and drop what they cached (Refresh)
//   Directory page:
//   0       1     page type 3
//   1       3     0
//   4       4     next directory page (0 = last)
//   8       4     bytes of directory data in this page
//   12      ...   directory data; the data of all directory pages in chain order is, per tag:
//                 u32 tag id, u32 root page, u8 options (1 unique, 2 descending, 4 candidate,
//                 8 custom), u8 key type (expr::ValueType), u16 key length, then four texts
//                 each as u16 length + bytes: name, key expression, FOR condition, collation
//   Free page:
//   0       1     page type 4
//   4       4     next free page (0 = last)
//
// Stamps: an index is written for one state of its table. Open compares the stamp with the
// table and answers kErrStaleIndex when they differ, so the caller rebuilds (Reindex) or refuses
// the index; it is never used silently. Every Flush writes the table's current stamp.
//
// Shared use: every connection has its own IndexFile of a file. A writer takes the file's
// update lock (LockForUpdate), calls Refresh, changes the trees and flushes; a reader calls
// Refresh before it walks. Refresh notices another user's flush by the change counter and a
// rebuild (the file replaced by a rename) by the file's identity.
//
// Threads: an IndexFile belongs to one connection at a time, like its TableFile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/file.h"
#include "engine/base/status.h"
#include "engine/expr/expression.h"
#include "engine/expr/key_encoding.h"
#include "engine/index/btree.h"
#include "engine/index/table_record_source.h"
#include "engine/storage/table_file.h"

namespace ace::index {

enum class IndexKind : uint8_t { kSingle = 1, kCompoundShort = 2, kCompoundLong = 3 };

// The kind of an index file by its extension (.ntx, .cdx, .idx is not ours; .adi), without
// regard to letter case; another extension is kErrInvalidArgument.
Result<IndexKind> IndexKindOfPath(const std::string& path);
// The bytes of pages each open index file keeps cached (16 MiB unless set; at least 64 pages).
// A smaller cache makes tests reach its eviction with small trees.
size_t PageCacheBytes();
void SetPageCacheBytes(size_t bytes);
// Default page sizes: 512 for single indexes, 1024 for compound files.
uint32_t DefaultPageSize(IndexKind kind);
// Longest tag name: 10 for .cdx, 128 for .adi (a single index is named after its file).
uint32_t MaxTagNameLength(IndexKind kind);

struct TagOptions {
  bool unique = false;      // classic unique: only the first record of equal keys is kept
  bool descending = false;  // walks and seeks in reversed key order
  bool candidate = false;   // unique enforced: a second record with an equal key is refused
  bool custom = false;      // starts empty; keys are added by hand (AddKey/DeleteKey)
};

struct TagDefinition {
  std::string name;  // ignored for single indexes (named after the file)
  std::string key_expression;
  std::string for_condition;    // empty: every record
  std::string while_condition;  // creation only: the scan in record order stops at the first
                                // record for which it is false
  std::string collation;        // empty: machine order
  TagOptions options;
};

struct CreateIndexOptions {
  uint32_t page_size = 0;  // 0 = DefaultPageSize of the kind
};

struct TableStamp {
  uint32_t record_count = 0;
  uint32_t record_length = 0;
  uint32_t fields_hash = 0;
  bool operator==(const TableStamp&) const = default;
};
TableStamp StampOf(const storage::TableFile& table);

class IndexFile;

// One index of an index file: its definition, compiled expressions and tree. Keys given to and
// answered by a Tag are in index order form: the expression's encoded key (expr::EncodeKey),
// inverted byte by byte for descending tags, so that the tree's byte order is the walking
// order.
class Tag {
 public:
  const std::string& name() const { return name_; }
  const std::string& key_expression() const { return key_text_; }
  const std::string& for_condition() const { return for_text_; }
  const std::string& collation_name() const { return collation_->name(); }
  const TagOptions& options() const { return options_; }
  const expr::KeySpec& key_spec() const { return spec_; }
  BTree& tree() { return *tree_; }

  // The index-order key of the record the source shows, or nullopt when the FOR condition
  // excludes it.
  Result<std::optional<std::string>> KeyOf(const expr::RecordSource& record) const;
  // The index-order key of the record whatever the FOR condition says (for finding the place
  // of a record in the walking order).
  Result<std::string> RawKeyOf(const expr::RecordSource& record) const;
  // False once the tag left its file (another user rebuilt the file without it).
  bool present() const { return present_; }
  const std::optional<expr::Expression>& key_expr() const { return key_; }
  // An encoded key (or a prefix of one, e.g. from expr::EncodeKeyFromText) in index order form
  // and back; for ascending tags both are the bytes unchanged.
  std::string ToIndexOrder(std::string_view encoded) const;
  std::string FromIndexOrder(std::string_view stored) const { return ToIndexOrder(stored); }

  // Seeks in walking order with a key or key prefix as EncodeKey/EncodeKeyFromText give it:
  // SeekNearest: the first key >= key (descending: the first <= key in walking order);
  // SeekExact: that key only when its first key.size() bytes equal key, else no position;
  // SeekLast: the last key whose prefix is at most key (the last of the equal ones).
  Result<TreePosition> SeekNearest(std::string_view key);
  Result<TreePosition> SeekExact(std::string_view key);
  Result<TreePosition> SeekLast(std::string_view key);
  // The record number and encoded key (FromIndexOrder applied) at a position.
  Result<TreeEntry> EntryAt(TreePosition pos);

  // Custom tags (and repairs): adds or removes the key of a record by hand. Candidate tags
  // refuse a duplicate with kErrDuplicateKey.
  Status AddKey(std::string_view index_order_key, uint32_t recno);
  Status DeleteKey(std::string_view index_order_key, uint32_t recno);

 private:
  friend class IndexFile;
  friend Status UpdateIndexes(std::span<IndexFile* const>, storage::TableFile&, uint32_t,
                              const std::byte*, const std::byte*);
  Tag() = default;
  uint32_t id_ = 0;
  bool present_ = true;
  std::string name_;
  std::string key_text_;
  std::string for_text_;
  TagOptions options_;
  const expr::Collation* collation_ = &expr::Collation::Machine();
  expr::KeySpec spec_;
  std::optional<expr::Expression> key_;
  std::optional<expr::Expression> for_;
  std::unique_ptr<BTree> tree_;
};

class FilePageStore;

class IndexFile {
 public:
  ~IndexFile();
  IndexFile(const IndexFile&) = delete;
  IndexFile& operator=(const IndexFile&) = delete;

  // Opens an index file of table. A missing file is kErrFileNotFound; bytes that do not check
  // out kErrCorruptFile (naming file and page); another version kErrUnsupportedVersion; an
  // index written for another state of the table kErrStaleIndex; a key or FOR expression that
  // no longer compiles against the table's fields kErrStaleIndex as well.
  // With allow_stale an index written for another state of the table, or with a tag whose
  // keys have another type or length than its expression gives now (not a custom tag), opens
  // all the same and answers stale() true: the caller must Reindex it before any use.
  static Result<std::unique_ptr<IndexFile>> Open(const std::string& path, storage::TableFile* table,
                                                 bool read_only, bool allow_stale = false);

  // Builds the given tags from table's records into a new file beside path and replaces path
  // with it atomically; a failure leaves any previous file as it was. When path is an existing
  // compound file its other tags are carried over (rebuilt from the table; custom tags copied),
  // a tag of the same name is replaced. A single index takes exactly one definition.
  // Candidate tags whose records hold equal keys fail with kErrDuplicateKey naming the tag.
  static Result<std::unique_ptr<IndexFile>> Create(const std::string& path,
                                                   storage::TableFile* table,
                                                   const std::vector<TagDefinition>& tags,
                                                   const CreateIndexOptions& options = {});

  const std::string& path() const { return path_; }
  IndexKind kind() const { return kind_; }
  uint32_t page_size() const;
  size_t tag_count() const { return tags_.size(); }
  Tag& tag(size_t i) { return *tags_[i]; }
  // Without regard to letter case; nullptr when there is none.
  Tag* FindTag(std::string_view name);
  // The definitions of all tags (WHILE conditions are not kept).
  std::vector<TagDefinition> Definitions() const;

  // Writes changed pages, the directory and the header with the table's current stamp.
  Status Flush();
  // Rebuilds every tag from the table (custom tags keep their keys) into a new file that
  // replaces this one; on failure this index stays open as it was.
  Status Reindex();
  // Removes one tag of a compound file by rebuilding the file without it (the last tag cannot
  // be removed: the file goes as a whole). kErrNoSuchIndexTag when there is no such tag.
  Status DeleteTag(std::string_view name);
  // Empties every tag (after the table was zapped).
  Status Zap();
  // Checks every tag's tree (BTree::CheckTree).
  Status CheckAll();

  // True when the file was opened with allow_stale for another state of its table, or a
  // rebuild after its table was rewritten failed (MarkStale), and it has not been rebuilt since.
  bool stale() const { return stale_; }
  // After a failed rebuild of a rewritten table: the trees may name records that are no longer
  // there. The object is stale from now on (Reindex before any use) and the file on disk gets a
  // stamp that no table matches, so that it is rebuilt or refused at its next open, never used.
  Status MarkStale();
  bool read_only() const { return read_only_; }
  // Takes up what other users wrote since this object last read the file (see the top of this
  // header); Tag objects stay valid (a tag that left the file answers present() false).
  Status Refresh();
  // The update lock of the file for other connections and processes (an OFD lock on a byte
  // past any page): held while a write changes the trees. Blocks until it is granted; when
  // another user replaced the file meanwhile, the new file is taken up and locked instead.
  Status LockForUpdate();
  void UnlockForUpdate();
  bool holds_update_lock() const { return holds_update_lock_; }
  // A walk that met a page it could not make sense of may have read it while another user was
  // writing it (walks take no lock). LockForReading waits, for at most about 3 s, for that
  // user's write to end and holds a shared lock that keeps the next one from beginning, so that
  // the walk can be made again on the whole tree (after Refresh); UnlockForReading ends it.
  // Not for a file whose update lock this object holds (holds_update_lock).
  Status LockForReading();
  void UnlockForReading();

 private:
  IndexFile() = default;
  bool holds_update_lock_ = false;
  static Result<std::unique_ptr<IndexFile>> Build(const std::string& path,
                                                  storage::TableFile* table,
                                                  const std::vector<TagDefinition>& tags,
                                                  uint32_t page_size, IndexFile* carry_from);
  Status ReadHeader(const std::string& data);
  Status ReadDirectory();
  Status WriteDirectory();
  Status WriteHeader();
  Status AddTag(const TagDefinition& def, uint32_t id, uint32_t root);
  Status FillTag(Tag* tag, const TagDefinition& def, Tag* carry);
  Status Replace(std::unique_ptr<IndexFile> fresh);
  Status AdoptTags(std::vector<std::unique_ptr<Tag>> previous);
  Status Reload(bool reopen);

  std::string path_;
  IndexKind kind_ = IndexKind::kSingle;
  storage::TableFile* table_ = nullptr;
  bool read_only_ = false;
  std::unique_ptr<FilePageStore> store_;
  std::vector<std::unique_ptr<Tag>> tags_;
  uint32_t directory_page_ = 0;
  uint32_t next_tag_id_ = 1;
  uint32_t change_count_ = 0;
  uint64_t file_id_ = 0;  // device and inode of the open file, to notice a replaced file
  bool stale_ = false;
  bool opening_allows_stale_ = false;  // Open with allow_stale is reading the directory
  TableStamp stamp_;
  std::vector<std::unique_ptr<Tag>> retired_;  // tags that left the file, kept for their users
};

// Checks a record write against the candidate tags before the table is written: a new key
// that another record holds already is kErrDuplicateKey naming the tag, and nothing changed.
Status CheckCandidates(std::span<IndexFile* const> files, storage::TableFile& table, uint32_t recno,
                       const std::byte* old_image, const std::byte* new_image);

// Keeps every tag of the open index files in step with one record write: old_image is the
// record before (nullptr for an append), new_image after the write (deletion mark included).
// For each tag the old key leaves and the new one enters as the FOR condition says; custom tags
// are left alone. Candidate tags are checked for duplicates before anything changes, so a
// refused write (kErrDuplicateKey naming the tag) leaves every index as it was. Call it after
// the table write succeeded; it flushes each file with the new table stamp.
Status UpdateIndexes(std::span<IndexFile* const> files, storage::TableFile& table, uint32_t recno,
                     const std::byte* old_image, const std::byte* new_image);

}  // namespace ace::index
