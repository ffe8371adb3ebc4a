// A full disk: on a small size-limited file system (a tmpfs mounted for the test where the
// process may mount one; otherwise a child process whose file-size limit stands in for the
// full disk), an ALTER or a pack that cannot complete fails with the disk-full error, and the
// table stays whole: same content, passes the check, no files left behind. With room again the
// same statement succeeds.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/reliability/common/reliability_util.h"

namespace reliability {
namespace {

namespace fs = std::filesystem;

uint64_t FolderBytes(const std::string& dir) {
  uint64_t n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += e.file_size();
  return n;
}

class DiskFull : public ::testing::TestWithParam<TableType> {
 protected:
  void SetUp() override {
    CreateKinder(source_.path(), GetParam(), 1500);
    ASSERT_FALSE(HasFailure());
    bytes_ = FolderBytes(source_.path());
  }
  void TearDown() override {
    if (mounted_) umount2(small_.path().c_str(), MNT_DETACH);
  }

  // Mounts a tmpfs with room for the table and `spare` bytes more at small_.
  bool MountSmall(uint64_t spare) {
    const std::string options = "size=" + std::to_string(((bytes_ + spare) / 4096 + 1) * 4096);
    mounted_ = mount("tmpfs", small_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    return mounted_;
  }

  std::string Table() const { return TableFileName("Kinder", GetParam()); }

  // Runs op on a copy of the table in a place where only `spare` bytes are free, and checks
  // that it fails cleanly.
  void ExpectCleanFailure(const std::function<UNSIGNED32(const std::string&)>& op, uint64_t spare) {
    const Content before = ReadContent(source_.File(Table()), GetParam());
    const std::vector<std::string> files = FilesIn(source_.path());
    std::string error;
    if (MountSmall(spare)) {
      CopyFolder(source_.path(), small_.path());
      UNSIGNED32 rc = op(small_.path());
      error = LastError();
      EXPECT_NE(0u, rc) << "the operation should not fit in " << spare << " spare bytes";
    } else {
      // No mount allowed: a child whose file-size limit is the table's size plus the spare
      // bytes sees the same "no room" (EFBIG) for every write beyond it.
      CopyFolder(source_.path(), small_.path());
      TempDir out;
      ChildResult r = RunInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit;
        limit.rlim_cur = limit.rlim_max = bytes_ / 2 + spare;
        setrlimit(RLIMIT_FSIZE, &limit);
        UNSIGNED32 rc = op(small_.path());
        FILE* f = std::fopen(out.File("error").c_str(), "w");
        if (f) {
          std::fputs(LastError().c_str(), f);
          std::fclose(f);
        }
        return rc == 0 ? 0 : 1;
      });
      EXPECT_EQ(1, r.exit_code);
      std::ifstream in(out.File("error"));
      std::getline(in, error);
    }
    const bool says_full = error.find("No space left") != std::string::npos ||
                           error.find("File too large") != std::string::npos;
    EXPECT_TRUE(says_full) << error;
    EXPECT_EQ("", CheckTable(small_.File(Table()), GetParam()));
    const Content after = ReadContent(small_.File(Table()), GetParam());
    EXPECT_TRUE(after.ok) << after.error;
    EXPECT_EQ(before.digest, after.digest) << "the failed operation changed the table";
    EXPECT_EQ(files, FilesIn(small_.path())) << "files were left behind";
    std::printf("[reliability] full disk, %s: refused cleanly (%s)\n",
                mounted_ ? "tmpfs" : "file-size limit", error.substr(0, 60).c_str());
    if (mounted_) {
      umount2(small_.path().c_str(), MNT_DETACH);
      mounted_ = false;
    }
    // With room again the same operation succeeds on the table that stayed behind.
    CopyFolder(source_.path(), small_.path());
    EXPECT_EQ(0u, op(small_.path())) << LastError();
    EXPECT_EQ("", CheckTable(small_.File(Table()), GetParam()));
  }

  TempDir source_;
  TempDir small_;
  uint64_t bytes_ = 0;
  bool mounted_ = false;
};

TEST_P(DiskFull, TheUpgradeThatDoesNotFitLeavesTheTableWhole) {
  const std::string script = UpgradeScript(GetParam());
  ExpectCleanFailure([&](const std::string& dir) { return RunSql(dir, GetParam(), script); },
                     bytes_ / 3);
}

TEST_P(DiskFull, APackThatDoesNotFitLeavesTheTableWhole) {
  ExpectCleanFailure([&](const std::string& dir) { return PackTable(dir, "Kinder", GetParam()); },
                     bytes_ / 4);
}

TEST_P(DiskFull, AMemoThatDoesNotFitLeavesTheRecordAsItWas) {
  const std::string sql =
      "UPDATE Kinder SET NOTIZ = '" + std::string(200000, 'z') + "' WHERE ID <= 3";
  ExpectCleanFailure([&](const std::string& dir) { return RunSql(dir, GetParam(), sql); }, 100000);
}

INSTANTIATE_TEST_SUITE_P(Formats, DiskFull,
                         ::testing::Values(TableType::kAdt, TableType::kCdx, TableType::kNtx,
                                           TableType::kVfp),
                         [](const auto& info) {
                           switch (info.param) {
                             case TableType::kAdt:
                               return std::string("ADT");
                             case TableType::kCdx:
                               return std::string("CDX");
                             case TableType::kNtx:
                               return std::string("NTX");
                             default:
                               return std::string("VFP");
                           }
                         });

}  // namespace
}  // namespace reliability
