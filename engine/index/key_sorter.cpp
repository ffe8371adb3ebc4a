// Sorting index entries in runs and merging them (see key_sorter.h).
#include "engine/index/key_sorter.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"

namespace ace::index {
namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kWriteChunk = 1024 * 1024;

// Up to eight bytes of an entry from offset at on, as a big-endian number (missing bytes 0).
uint64_t Word(const char* entry, uint32_t length, size_t at) {
  unsigned char bytes[8] = {};
  std::memcpy(bytes, entry + at, std::min<size_t>(8, length - at));
  uint64_t word = 0;
  for (unsigned char b : bytes) word = (word << 8) | b;
  return word;
}

struct SortItem {
  uint64_t word;  // eight bytes of the entry from the depth being sorted
  uint32_t at;    // the entry's place in the buffer
};

// Sorts items by their entries' bytes from depth on, eight bytes at a time: by the words the
// items carry, then each group of equal words again by the next eight bytes. Comparisons stay
// within the item array; an entry's bytes are fetched once per level its group reaches.
void SortItems(SortItem* first, SortItem* last, const char* base, uint32_t length, size_t depth) {
  // Levels at which every item carries the same word order nothing: they are passed in one
  // look each (an index of many equal keys is ordered by its record numbers at the end).
  while (std::all_of(first, last, [&](const SortItem& item) { return item.word == first->word; })) {
    depth += 8;
    if (depth >= length) return;
    for (SortItem* item = first; item != last; ++item)
      item->word = Word(base + size_t{item->at} * length, length, depth);
  }
  std::sort(first, last, [](const SortItem& a, const SortItem& b) { return a.word < b.word; });
  const size_t next = depth + 8;
  if (next >= length) return;
  for (SortItem* group = first; group != last;) {
    SortItem* end = group + 1;
    while (end != last && end->word == group->word) ++end;
    if (end - group > 1) {
      for (SortItem* item = group; item != end; ++item)
        item->word = Word(base + size_t{item->at} * length, length, next);
      SortItems(group, end, base, length, next);
    }
    group = end;
  }
}

// The order of the entries of a flat buffer: their places, sorted by their bytes. The entries
// stay where they are; callers read them in this order.
std::vector<SortItem> SortedOrder(const std::string& buffer, uint32_t length) {
  const size_t n = buffer.size() / length;
  const char* base = buffer.data();
  std::vector<SortItem> items(n);
  for (size_t i = 0; i < n; ++i)
    items[i] = SortItem{Word(base + i * length, length, 0), static_cast<uint32_t>(i)};
  SortItems(items.data(), items.data() + n, base, length, 0);
  return items;
}

// Reads a run file entry by entry through a buffer of whole entries.
struct RunReader {
  File file;
  uint64_t offset = 0;
  uint64_t size = 0;
  std::string chunk;
  size_t at = 0;
  // The current entry (valid until the next call of Advance).
  std::string_view current;
  // Moves to the next entry; *done when the run has no more.
  Status Advance(uint32_t length, bool* done) {
    if (at + length > chunk.size()) {
      if (at != chunk.size()) return Status(kErrCorruptFile, file.path() + ": sort run truncated");
      if (offset >= size) {
        *done = true;
        return Status::Ok();
      }
      size_t n = static_cast<size_t>(std::min<uint64_t>(kReadChunk / length * length, size - offset));
      if (n < length) return Status(kErrCorruptFile, file.path() + ": sort run truncated");
      chunk.resize(n);
      ACE_RETURN_IF_ERROR(file.ReadAt(offset, chunk.data(), n));
      offset += n;
      at = 0;
    }
    current = std::string_view(chunk).substr(at, length);
    at += length;
    *done = false;
    return Status::Ok();
  }
};

}  // namespace

KeySorter::KeySorter(uint32_t entry_length, std::string run_base, size_t memory_limit)
    : entry_length_(entry_length),
      run_base_(std::move(run_base)),
      memory_limit_(std::max<size_t>(memory_limit, entry_length)) {}

KeySorter::~KeySorter() {
  for (const std::string& run : runs_) (void)RemoveFile(run);
}

void KeySorter::Reserve(size_t entries) {
  const size_t bytes = std::min(entries, memory_limit_ / entry_length_ + 1) * entry_length_;
  if (bytes > buffer_.capacity()) buffer_.reserve(bytes);
}

Status KeySorter::Add(std::string_view entry) {
  if (entry.size() != entry_length_)
    return Status(kErrInternal, "sort entry of " + std::to_string(entry.size()) + " bytes");
  buffer_.append(entry);
  if (buffer_.size() + entry_length_ > memory_limit_) return WriteRun();
  return Status::Ok();
}

Status KeySorter::WriteRun() {
  const std::vector<SortItem> order = SortedOrder(buffer_, entry_length_);
  std::string name = run_base_ + "." + std::to_string(runs_.size());
  runs_.push_back(name);
  Result<File> file = File::Open(name, OpenMode::kCreateTruncate);
  if (!file.ok()) return file.status();
  // The entries go out in order through a chunk of whole entries.
  const size_t per_chunk = std::max<size_t>(kWriteChunk / entry_length_, 1);
  std::string chunk;
  chunk.reserve(per_chunk * entry_length_);
  uint64_t offset = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    chunk.append(buffer_, size_t{order[i].at} * entry_length_, entry_length_);
    if (chunk.size() / entry_length_ == per_chunk || i + 1 == order.size()) {
      ACE_RETURN_IF_ERROR(file->WriteAt(offset, chunk.data(), chunk.size()));
      offset += chunk.size();
      chunk.clear();
    }
  }
  buffer_.clear();  // the capacity stays for the next run
  return Status::Ok();
}

Status KeySorter::Drain(const std::function<Status(std::string_view)>& sink) {
  if (runs_.empty()) {
    const std::string_view entries(buffer_);
    for (const SortItem& item : SortedOrder(buffer_, entry_length_))
      ACE_RETURN_IF_ERROR(sink(entries.substr(size_t{item.at} * entry_length_, entry_length_)));
    return Status::Ok();
  }
  if (!buffer_.empty()) ACE_RETURN_IF_ERROR(WriteRun());
  std::string().swap(buffer_);  // the memory goes back before the merge reads the runs
  std::vector<std::unique_ptr<RunReader>> readers;
  // A min-heap of the runs that still have entries, by their current entry.
  std::vector<size_t> heap;
  auto greater = [&](size_t a, size_t b) { return readers[a]->current > readers[b]->current; };
  for (size_t i = 0; i < runs_.size(); ++i) {
    Result<File> file = File::Open(runs_[i], OpenMode::kReadOnly);
    if (!file.ok()) return file.status();
    auto reader = std::make_unique<RunReader>();
    Result<uint64_t> size = file->Size();
    if (!size.ok()) return size.status();
    reader->size = *size;
    reader->file = std::move(*file);
    bool done = false;
    ACE_RETURN_IF_ERROR(reader->Advance(entry_length_, &done));
    readers.push_back(std::move(reader));
    if (!done) heap.push_back(i);
  }
  std::make_heap(heap.begin(), heap.end(), greater);
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), greater);
    const size_t run = heap.back();
    ACE_RETURN_IF_ERROR(sink(readers[run]->current));
    bool done = false;
    ACE_RETURN_IF_ERROR(readers[run]->Advance(entry_length_, &done));
    if (done) {
      heap.pop_back();
    } else {
      std::push_heap(heap.begin(), heap.end(), greater);
    }
  }
  return Status::Ok();
}

}  // namespace ace::index
