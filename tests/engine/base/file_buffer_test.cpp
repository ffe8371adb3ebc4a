// The file layer's buffers: private mode (gathered writes, read-ahead, size from memory) and the
// shared read-ahead window, with the fault hook seeing the physical operations.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"

namespace {

using ace::File;
using ace::FaultInjector;
using ace::IoKind;
using ace::OpenMode;

class FileBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/file_buffer_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    FaultInjector::Reset();
  }
  void TearDown() override {
    FaultInjector::Reset();
    std::filesystem::remove_all(dir_);
  }
  File Create(const std::string& name) {
    auto f = File::Open(dir_ + "/" + name, OpenMode::kCreateTruncate);
    EXPECT_TRUE(f.ok()) << f.status().message();
    return std::move(f.value());
  }
  // What the file holds on disk, read through a second, unbuffered object.
  std::string OnDisk(const std::string& name) {
    auto f = File::Open(dir_ + "/" + name, OpenMode::kReadOnly);
    EXPECT_TRUE(f.ok());
    auto size = f->Size();
    std::string bytes(size.value(), '\0');
    if (!bytes.empty()) {
      EXPECT_TRUE(f->ReadAt(0, bytes.data(), bytes.size()).ok());
    }
    return bytes;
  }
  std::string dir_;
};

TEST_F(FileBufferTest, PrivateWritesAreGatheredAndLandWhereTheyWereMeant) {
  File f = Create("a");
  ASSERT_TRUE(f.WriteAt(0, "HEAD", 4).ok());
  ASSERT_TRUE(f.BeginPrivate(1 << 16, 1 << 16).ok());
  const uint64_t writes_before = FaultInjector::Count(IoKind::kWrite);
  ASSERT_TRUE(f.WriteAt(4, "abc", 3).ok());
  ASSERT_TRUE(f.WriteAt(7, "def", 3).ok());
  ASSERT_TRUE(f.WriteAt(6, "X", 1).ok());       // inside the buffered bytes
  ASSERT_TRUE(f.WriteAt(20, "tail", 4).ok());   // a gap behind the end: zeros
  EXPECT_EQ(FaultInjector::Count(IoKind::kWrite), writes_before);
  EXPECT_EQ(f.Size().value(), 24u);
  EXPECT_EQ(OnDisk("a"), "HEAD");  // nothing written out yet
  ASSERT_TRUE(f.EndPrivate().ok());
  EXPECT_EQ(FaultInjector::Count(IoKind::kWrite), writes_before + 1);
  EXPECT_EQ(OnDisk("a"), std::string("HEADabXdef") + std::string(10, '\0') + "tail");
}

TEST_F(FileBufferTest, PrivateReadsSeeBufferedWritesAndWritesElsewhereKeepOrder) {
  File f = Create("b");
  ASSERT_TRUE(f.WriteAt(0, "0123456789", 10).ok());
  ASSERT_TRUE(f.BeginPrivate(1 << 16, 1 << 16).ok());
  ASSERT_TRUE(f.WriteAt(10, "abcdef", 6).ok());
  char got[4] = {};
  ASSERT_TRUE(f.ReadAt(12, got, 4).ok());
  EXPECT_EQ(std::string(got, 4), "cdef");
  // A write before the buffered bytes (a header) and a later append both reach the file.
  ASSERT_TRUE(f.WriteAt(16, "gh", 2).ok());
  ASSERT_TRUE(f.WriteAt(0, "Z", 1).ok());
  ASSERT_TRUE(f.WriteAt(18, "ij", 2).ok());
  ASSERT_TRUE(f.ReadAt(0, got, 2).ok());
  EXPECT_EQ(std::string(got, 2), "Z1");
  ASSERT_TRUE(f.Sync().ok());  // writes the buffer out first
  EXPECT_EQ(OnDisk("b"), "Z123456789abcdefghij");
  ASSERT_TRUE(f.EndPrivate().ok());
}

TEST_F(FileBufferTest, AFaultInjectedIntoTheBufferedWriteIsReportedWhenItIsWrittenOut) {
  File f = Create("c");
  ASSERT_TRUE(f.BeginPrivate(1 << 16, 0).ok());
  ASSERT_TRUE(f.WriteAt(0, "abcd", 4).ok());
  FaultInjector::FailAt(IoKind::kWrite, 1, ace::kErrDiskFull);
  ace::Status st = f.EndPrivate();
  EXPECT_EQ(st.code(), ace::kErrDiskFull) << st.message();
  EXPECT_NE(st.message().find("injected"), std::string::npos);
  FaultInjector::Reset();
  // Also when a read of the buffered range writes it out.
  ASSERT_TRUE(f.BeginPrivate(1 << 16, 0).ok());
  ASSERT_TRUE(f.WriteAt(0, "efgh", 4).ok());
  FaultInjector::FailAt(IoKind::kWrite, 1, ace::kErrIo);
  char got[2];
  EXPECT_EQ(f.ReadAt(0, got, 2).code(), ace::kErrIo);
  ASSERT_TRUE(f.EndPrivate().ok());
}

TEST_F(FileBufferTest, GrowingWritesOutOfTheBufferCountAsAllocations) {
  File f = Create("d");
  ASSERT_TRUE(f.BeginPrivate(1 << 16, 0).ok());
  ASSERT_TRUE(f.WriteAt(0, "abcd", 4).ok());
  FaultInjector::FailAt(IoKind::kAlloc, 1, ace::kErrDiskFull);
  EXPECT_EQ(f.EndPrivate().code(), ace::kErrDiskFull);
}

TEST_F(FileBufferTest, ReadAheadServesScansAndIsDroppedByWritesAndOnRequest) {
  File f = Create("e");
  std::string data(100000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
  ASSERT_TRUE(f.WriteAt(0, data.data(), data.size()).ok());
  f.SetReadAhead(1 << 14);
  const uint64_t reads_before = FaultInjector::Count(IoKind::kRead);
  char rec[100];
  for (size_t at = 0; at + sizeof rec <= data.size(); at += sizeof rec) {
    ASSERT_TRUE(f.ReadAt(at, rec, sizeof rec).ok());
    ASSERT_EQ(std::memcmp(rec, data.data() + at, sizeof rec), 0) << at;
  }
  const uint64_t forward_reads = FaultInjector::Count(IoKind::kRead) - reads_before;
  EXPECT_LT(forward_reads, 20u);  // about one per 16 KiB window, not one per record
  // Backward, too.
  for (size_t at = data.size() - sizeof rec; at >= sizeof rec; at -= sizeof rec) {
    ASSERT_TRUE(f.ReadAt(at, rec, sizeof rec).ok());
    ASSERT_EQ(std::memcmp(rec, data.data() + at, sizeof rec), 0) << at;
  }
  EXPECT_LT(FaultInjector::Count(IoKind::kRead) - reads_before, 2 * forward_reads + 4);

  // Another object changes the file: the window still answers the old bytes until dropped.
  ASSERT_TRUE(f.ReadAt(0, rec, 4).ok());
  {
    auto other = File::Open(dir_ + "/e", OpenMode::kReadWrite);
    ASSERT_TRUE(other.ok());
    ASSERT_TRUE(other->WriteAt(4, "ZZZZ", 4).ok());
  }
  ASSERT_TRUE(f.ReadAt(4, rec, 4).ok());
  EXPECT_EQ(std::string(rec, 4), data.substr(4, 4));
  char fresh[4];
  ASSERT_TRUE(f.ReadFreshAt(4, fresh, 4).ok());
  EXPECT_EQ(std::string(fresh, 4), "ZZZZ");
  f.DropReadAhead();
  ASSERT_TRUE(f.ReadAt(4, rec, 4).ok());
  EXPECT_EQ(std::string(rec, 4), "ZZZZ");
  // Its own writes are seen at once.
  ASSERT_TRUE(f.WriteAt(8, "YY", 2).ok());
  ASSERT_TRUE(f.ReadAt(8, rec, 2).ok());
  EXPECT_EQ(std::string(rec, 2), "YY");
}

TEST_F(FileBufferTest, ReadAheadKeepsTheEndOfTheFileAndItsErrors) {
  File f = Create("g");
  ASSERT_TRUE(f.WriteAt(0, "0123456789", 10).ok());
  f.SetReadAhead(1 << 12);
  char got[8];
  ASSERT_TRUE(f.ReadAt(0, got, 4).ok());
  size_t n = 0;
  ASSERT_TRUE(f.ReadSomeAt(6, got, 8, &n).ok());
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(f.ReadAt(8, got, 4).code(), ace::kErrCorruptFile);  // truncated
  f.DropReadAhead();
  FaultInjector::FailAt(IoKind::kRead, 1, ace::kErrIo);
  EXPECT_EQ(f.ReadAt(0, got, 4).code(), ace::kErrIo);
}

}  // namespace
