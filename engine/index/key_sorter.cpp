// Sorting index entries in runs and merging them (see key_sorter.h).
#include "engine/index/key_sorter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <queue>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"

namespace ace::index {
namespace {

constexpr size_t kReadChunk = 64 * 1024;

// Sorts the entries of a flat buffer in place.
void SortBuffer(std::string* buffer, uint32_t length) {
  size_t n = buffer->size() / length;
  std::vector<uint32_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = static_cast<uint32_t>(i);
  const char* base = buffer->data();
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return std::memcmp(base + size_t{a} * length, base + size_t{b} * length, length) < 0;
  });
  std::string sorted;
  sorted.reserve(buffer->size());
  for (uint32_t i : order) sorted.append(base + size_t{i} * length, length);
  buffer->swap(sorted);
}

// Reads a run file entry by entry through a buffer.
struct RunReader {
  File file;
  uint64_t offset = 0;
  uint64_t size = 0;
  std::string chunk;
  size_t at = 0;
  Status Next(uint32_t length, std::string* entry, bool* done) {
    if (at + length > chunk.size()) {
      if (offset >= size) {
        *done = true;
        return Status::Ok();
      }
      std::string rest = chunk.substr(at);
      size_t n = static_cast<size_t>(std::min<uint64_t>(kReadChunk, size - offset));
      std::string more(n, '\0');
      ACE_RETURN_IF_ERROR(file.ReadAt(offset, more.data(), n));
      offset += n;
      chunk = rest + more;
      at = 0;
      if (chunk.size() < length)
        return Status(kErrCorruptFile, file.path() + ": sort run truncated");
    }
    entry->assign(chunk, at, length);
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

Status KeySorter::Add(std::string_view entry) {
  if (entry.size() != entry_length_)
    return Status(kErrInternal, "sort entry of " + std::to_string(entry.size()) + " bytes");
  buffer_.append(entry);
  if (buffer_.size() + entry_length_ > memory_limit_) return WriteRun();
  return Status::Ok();
}

Status KeySorter::WriteRun() {
  SortBuffer(&buffer_, entry_length_);
  std::string name = run_base_ + "." + std::to_string(runs_.size());
  runs_.push_back(name);
  Result<File> file = File::Open(name, OpenMode::kCreateTruncate);
  if (!file.ok()) return file.status();
  ACE_RETURN_IF_ERROR(file->WriteAt(0, buffer_.data(), buffer_.size()));
  buffer_.clear();
  return Status::Ok();
}

Status KeySorter::Drain(const std::function<Status(std::string_view)>& sink) {
  if (runs_.empty()) {
    SortBuffer(&buffer_, entry_length_);
    for (size_t at = 0; at < buffer_.size(); at += entry_length_)
      ACE_RETURN_IF_ERROR(sink(std::string_view(buffer_).substr(at, entry_length_)));
    return Status::Ok();
  }
  if (!buffer_.empty()) ACE_RETURN_IF_ERROR(WriteRun());
  std::vector<std::unique_ptr<RunReader>> readers;
  using Item = std::pair<std::string, size_t>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
  for (size_t i = 0; i < runs_.size(); ++i) {
    Result<File> file = File::Open(runs_[i], OpenMode::kReadOnly);
    if (!file.ok()) return file.status();
    auto reader = std::make_unique<RunReader>();
    Result<uint64_t> size = file->Size();
    if (!size.ok()) return size.status();
    reader->size = *size;
    reader->file = std::move(*file);
    std::string entry;
    bool done = false;
    ACE_RETURN_IF_ERROR(reader->Next(entry_length_, &entry, &done));
    if (!done) heap.emplace(std::move(entry), i);
    readers.push_back(std::move(reader));
  }
  while (!heap.empty()) {
    Item top = heap.top();
    heap.pop();
    ACE_RETURN_IF_ERROR(sink(top.first));
    bool done = false;
    ACE_RETURN_IF_ERROR(readers[top.second]->Next(entry_length_, &top.first, &done));
    if (!done) heap.push(std::move(top));
  }
  return Status::Ok();
}

}  // namespace ace::index
