// Concurrent users: two and four processes edit the same records of one table at once, with
// pessimistic locking (lock, read, change, write, unlock) and with optimistic locking (read and
// remember the checksum; at the write lock, compare and write, as the component layer posts).
// The table is indexed (on the name, which every edit changes, and on the key), so every write
// also changes the index file under the other users. Afterwards no update is lost (the counters
// add up to the edits that succeeded), no record is torn (each record's name and amount were
// written together), every conflict was reported as the lock error 5035 or, optimistically, as
// the changed-record check, and the index holds exactly one key per record. Concurrent appends
// lose nothing and give no record twice; the upgrade script refuses while another process has
// Kinder open.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

#include "tests/reliability/common/index_check.h"
#include "tests/reliability/common/reliability_util.h"

namespace reliability {
namespace {

constexpr uint32_t kRows = 24;

struct Tally {
  uint64_t edits = 0;
  uint64_t conflicts = 0;
  uint64_t changed = 0;  // optimistic: the record had changed since it was read
};

Tally ReadTally(const std::string& file) {
  Tally t;
  std::ifstream in(file);
  in >> t.edits >> t.conflicts >> t.changed;
  return t;
}

class Concurrency : public ::testing::TestWithParam<TableType> {
 protected:
  void SetUp() override {
    CreateKinder(dir_.path(), GetParam(), kRows);
    ASSERT_FALSE(HasFailure());
    ADSHANDLE conn = 0, t = 0;
    ASSERT_EQ(0u, AdsConnect60(U(dir_.path()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn));
    ASSERT_EQ(0u, AdsOpenTable90(conn, U("Kinder"), nullptr, static_cast<UNSIGNED16>(GetParam()),
                                 ADS_ANSI, ADS_PROPRIETARY_LOCKING, ADS_IGNORE_RIGHTS,
                                 ADS_EXCLUSIVE, nullptr, &t));
    for (const auto& [tag, expr] : {std::pair{"KNAME", "UPPER(NAME)"}, std::pair{"KID", "ID"}}) {
      ADSHANDLE ix = 0;
      ASSERT_EQ(0u, AdsCreateIndex61(t, nullptr, U(tag), U(expr), nullptr, nullptr, ADS_COMPOUND,
                                     0, &ix))
          << LastError();
    }
    AdsCloseTable(t);
    AdsDisconnect(conn);
  }

  // The structural index file holds one key per record in each tag, every tree whole.
  void ExpectIndexWhole() {
    const std::string index = GetParam() == TableType::kAdt ? "Kinder.adi" : "Kinder.cdx";
    EXPECT_EQ("", CheckIndexes(dir_.path(), TableFileName("Kinder", GetParam()), GetParam(),
                               {index})
                      .problem);
  }

  static uint32_t Edits() { return static_cast<uint32_t>(EnvNumber("RELIABILITY_EDITS", 1500)); }

  // One user's edits; answers 0, or 1 on an error that is not a lock conflict (its text goes to
  // the tally file's fourth line).
  int EditLoop(int user, bool optimistic) {
    ADSHANDLE conn = 0, t = 0;
    std::ofstream out(dir_.File("tally" + std::to_string(user)));
    auto fail = [&](const char* what) {
      out << "0 0 0\n" << what << ": " << LastError() << "\n";
      return 1;
    };
    if (AdsConnect60(U(dir_.path()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn) != 0)
      return fail("connect");
    if (AdsOpenTable90(conn, U("Kinder"), nullptr, static_cast<UNSIGNED16>(GetParam()), ADS_ANSI,
                       ADS_PROPRIETARY_LOCKING, ADS_IGNORE_RIGHTS, ADS_SHARED, nullptr, &t) != 0)
      return fail("open");
    Tally tally;
    uint32_t attempt = 0;
    while (tally.edits < Edits()) {
      ++attempt;
      const UNSIGNED32 rec = (attempt * 7 + static_cast<uint32_t>(user) * 3) % 5 + 1;  // collide
      if (AdsGotoRecord(t, rec) != 0) return fail("goto");
      UNSIGNED32 saved = 0;
      if (optimistic && AdsGetRecordCRC(t, &saved, 0) != 0) return fail("crc");
      UNSIGNED32 rc = AdsLockRecord(t, 0);
      if (rc == AE_LOCK_REFUSED) {
        ++tally.conflicts;
        continue;
      }
      if (rc != 0) return fail("lock");
      if (optimistic) {
        UNSIGNED32 now = 0;
        if (AdsGetRecordCRC(t, &now, 0) != 0) return fail("crc");
        if (now != saved) {
          ++tally.changed;
          if (AdsUnlockRecord(t, 0) != 0) return fail("unlock");
          continue;
        }
      }
      double counter = 0;
      if (AdsGetDouble(t, U("ZAEHLER"), &counter) != 0) return fail("get");
      const double next = counter + 1;
      const std::string name = "v" + std::to_string(static_cast<long long>(next));
      if (AdsSetDouble(t, U("ZAEHLER"), next) != 0 ||
          AdsSetString(t, U("NAME"), U(name), static_cast<UNSIGNED32>(name.size())) != 0 ||
          AdsSetDouble(t, U("BETRAG"), next) != 0)
        return fail("set");
      if (AdsWriteRecord(t) != 0) return fail("write");
      if (AdsUnlockRecord(t, 0) != 0) return fail("unlock");
      ++tally.edits;
    }
    out << tally.edits << " " << tally.conflicts << " " << tally.changed << "\n";
    out.close();
    AdsCloseTable(t);
    AdsDisconnect(conn);
    return 0;
  }

  void RunUsers(int users, bool optimistic) {
    std::vector<ChildResult> results =
        RunChildren(users, [&](int i) { return EditLoop(i, optimistic); });
    Tally total;
    for (int i = 0; i < users; ++i) {
      const std::string file = dir_.File("tally" + std::to_string(i));
      EXPECT_EQ(0, results[static_cast<size_t>(i)].exit_code) << [&] {
        std::ifstream in(file);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return all;
      }();
      Tally t = ReadTally(file);
      EXPECT_EQ(Edits(), t.edits);
      total.edits += t.edits;
      total.conflicts += t.conflicts;
      total.changed += t.changed;
      std::remove(file.c_str());
    }
    std::printf(
        "[reliability] %d users, %s, %s: %llu edits, %llu lock conflicts, %llu changed "
        "records, 0 lost\n",
        users, optimistic ? "optimistic" : "pessimistic",
        GetParam() == TableType::kAdt ? "ADT" : "CDX", static_cast<unsigned long long>(total.edits),
        static_cast<unsigned long long>(total.conflicts),
        static_cast<unsigned long long>(total.changed));
    // The edits went to records 1 to 5; their counters must add up to every edit made.
    ADSHANDLE conn = 0, t = 0;
    ASSERT_EQ(0u, AdsConnect60(U(dir_.path()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn));
    ASSERT_EQ(0u, AdsOpenTable90(conn, U("Kinder"), nullptr, static_cast<UNSIGNED16>(GetParam()),
                                 ADS_ANSI, ADS_PROPRIETARY_LOCKING, ADS_IGNORE_RIGHTS, ADS_SHARED,
                                 nullptr, &t));
    double sum = 0;
    for (UNSIGNED32 rec = 1; rec <= 5; ++rec) {
      ASSERT_EQ(0u, AdsGotoRecord(t, rec));
      double counter = 0, amount = 0;
      UNSIGNED8 name[64];
      UNSIGNED32 len = sizeof name;
      ASSERT_EQ(0u, AdsGetDouble(t, U("ZAEHLER"), &counter));
      ASSERT_EQ(0u, AdsGetDouble(t, U("BETRAG"), &amount));
      ASSERT_EQ(0u, AdsGetString(t, U("NAME"), name, &len, ADS_TRIM));
      sum += counter;
      if (counter > 0) {
        EXPECT_EQ(counter, amount) << "record " << rec << " is torn";
        EXPECT_EQ("v" + std::to_string(static_cast<long long>(counter)),
                  std::string(reinterpret_cast<char*>(name), len))
            << "record " << rec << " is torn";
      }
    }
    EXPECT_EQ(static_cast<double>(total.edits), sum) << "updates were lost";
    AdsCloseTable(t);
    AdsDisconnect(conn);
    EXPECT_EQ("", CheckTable(dir_.File(TableFileName("Kinder", GetParam())), GetParam()));
    ExpectIndexWhole();
  }

  TempDir dir_;
};

TEST_P(Concurrency, TwoPessimisticUsersLoseNoUpdate) {
  RunUsers(2, false);
}
TEST_P(Concurrency, FourPessimisticUsersLoseNoUpdate) {
  RunUsers(4, false);
}
TEST_P(Concurrency, TwoOptimisticUsersLoseNoUpdate) {
  RunUsers(2, true);
}
TEST_P(Concurrency, FourOptimisticUsersLoseNoUpdate) {
  RunUsers(4, true);
}

TEST_P(Concurrency, ConcurrentAppendsGiveEveryRecordOnce) {
  const uint32_t per_user = static_cast<uint32_t>(EnvNumber("RELIABILITY_APPENDS", 300));
  std::vector<ChildResult> results = RunChildren(4, [&](int user) {
    ADSHANDLE conn = 0, t = 0;
    if (AdsConnect60(U(dir_.path()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn) != 0) return 1;
    if (AdsOpenTable90(conn, U("Kinder"), nullptr, static_cast<UNSIGNED16>(GetParam()), ADS_ANSI,
                       ADS_PROPRIETARY_LOCKING, ADS_IGNORE_RIGHTS, ADS_SHARED, nullptr, &t) != 0)
      return 2;
    for (uint32_t i = 0; i < per_user; ++i) {
      if (AdsAppendRecord(t) != 0) return 3;
      if (AdsSetDouble(t, U("ID"), 100000.0 * (user + 1) + i) != 0) return 4;
      std::string memo = "Anhang " + std::to_string(user) + "/" + std::to_string(i);
      if (i % 4 == 0 &&
          AdsSetString(t, U("NOTIZ"), U(memo), static_cast<UNSIGNED32>(memo.size())) != 0)
        return 5;
      // The append lock is held only while a record is added, and waited for in turn for up to
      // a second; should that run out, the lock error comes back and the record is written again.
      UNSIGNED32 rc = AdsWriteRecord(t);
      for (int retry = 0; rc == AE_LOCK_REFUSED && retry < 100000; ++retry) {
        rc = AdsWriteRecord(t);
      }
      if (rc != 0) return 6;
    }
    AdsCloseTable(t);
    AdsDisconnect(conn);
    return 0;
  });
  for (const auto& r : results) EXPECT_EQ(0, r.exit_code) << r.signal;
  ADSHANDLE conn = 0, t = 0;
  ASSERT_EQ(0u, AdsConnect60(U(dir_.path()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn));
  ASSERT_EQ(
      0u, AdsOpenTable90(conn, U("Kinder"), nullptr, static_cast<UNSIGNED16>(GetParam()), ADS_ANSI,
                         ADS_PROPRIETARY_LOCKING, ADS_IGNORE_RIGHTS, ADS_SHARED, nullptr, &t));
  UNSIGNED32 count = 0;
  ASSERT_EQ(0u, AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(kRows + 4 * per_user, count);
  std::set<long long> ids;
  AdsShowDeleted(1);
  for (UNSIGNED32 rec = kRows + 1; rec <= count; ++rec) {
    ASSERT_EQ(0u, AdsGotoRecord(t, rec));
    double id = 0;
    ASSERT_EQ(0u, AdsGetDouble(t, U("ID"), &id));
    EXPECT_TRUE(ids.insert(std::llround(id)).second) << "record " << rec << " repeats " << id;
  }
  AdsShowDeleted(0);
  EXPECT_EQ(4u * per_user, ids.size());
  AdsCloseTable(t);
  AdsDisconnect(conn);
  EXPECT_EQ("", CheckTable(dir_.File(TableFileName("Kinder", GetParam())), GetParam()));
  ExpectIndexWhole();
}

TEST_P(Concurrency, TheUpgradeRefusesWhileAnotherProcessHasKinderOpen) {
  const Content before = ReadContent(dir_.File(TableFileName("Kinder", GetParam())), GetParam());
  int ready[2], done[2];
  ASSERT_EQ(0, pipe(ready));
  ASSERT_EQ(0, pipe(done));
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    ADSHANDLE conn = 0, t = 0;
    bool ok =
        AdsConnect60(U(dir_.path()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn) == 0 &&
        AdsOpenTable90(conn, U("Kinder"), nullptr, static_cast<UNSIGNED16>(GetParam()), ADS_ANSI,
                       ADS_PROPRIETARY_LOCKING, ADS_IGNORE_RIGHTS, ADS_SHARED, nullptr, &t) == 0;
    char b = ok ? '1' : '0';
    (void)!write(ready[1], &b, 1);
    (void)!read(done[0], &b, 1);
    _exit(0);
  }
  char b = 0;
  ASSERT_EQ(1, read(ready[0], &b, 1));
  ASSERT_EQ('1', b);
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_SQL_ERROR),
            RunSql(dir_.path(), GetParam(), UpgradeScript(GetParam())));
  const std::string error = LastError();
  EXPECT_NE(std::string::npos, error.find("open by another user")) << error;
  const Content during = ReadContent(dir_.File(TableFileName("Kinder", GetParam())), GetParam());
  EXPECT_EQ(before.digest, during.digest);
  (void)!write(done[1], "x", 1);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(0u, RunSql(dir_.path(), GetParam(), UpgradeScript(GetParam()))) << LastError();
  EXPECT_EQ(11u, ReadContent(dir_.File(TableFileName("Kinder", GetParam())), GetParam()).fields);
}

INSTANTIATE_TEST_SUITE_P(Formats, Concurrency, ::testing::Values(TableType::kAdt, TableType::kCdx),
                         [](const auto& info) {
                           return std::string(info.param == TableType::kAdt ? "ADT" : "CDX");
                         });

}  // namespace
}  // namespace reliability
