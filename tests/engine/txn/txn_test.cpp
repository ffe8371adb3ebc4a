// Engine transactions through the C API: what rollback restores (records, memos, index keys)
// over several tables and formats, savepoints, locks held to the end, the state functions and
// their refusals, and the roll-back of a transaction whose process died.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/file.h"
#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

class TxnTest : public ApiTest, public ::testing::WithParamInterface<UNSIGNED16> {
 protected:
  // A table of five people with memos and an index on the name, closed again.
  void MakePeople(const std::string& name, UNSIGNED16 type) {
    ADSHANDLE t = Create(name, type, "NAME,Char,20;NOTE,Memo;");
    ADSHANDLE ix = 0;
    ASSERT_ACE(AdsCreateIndex61(t, nullptr, U("BYNAME"), U("NAME"), nullptr, nullptr, 0, 0, &ix));
    const char* names[] = {"Mia", "Ben", "Zoe", "Ali", "Kim"};
    for (const char* n : names) {
      ASSERT_ACE(AdsAppendRecord(t));
      ASSERT_ACE(AdsSetString(t, U("NAME"), U(n), static_cast<UNSIGNED32>(strlen(n))));
      const std::string note = std::string("A fairly long note about ") + n + " that fills blocks";
      ASSERT_ACE(AdsSetString(t, U("NOTE"), U(note), static_cast<UNSIGNED32>(note.size())));
      ASSERT_ACE(AdsWriteRecord(t));
    }
    ASSERT_ACE(AdsCloseTable(t));
  }

  ADSHANDLE OpenT(const std::string& name, UNSIGNED16 type, ADSHANDLE conn = 0) {
    ADSHANDLE t = 0;
    EXPECT_EQ(0u, Open(name, type, &t, 0, conn)) << LastErrorText();
    return t;
  }

  // Every record image in record order, deleted ones included.
  std::vector<std::string> Images(ADSHANDLE t) {
    std::vector<std::string> out;
    UNSIGNED32 count = 0;
    EXPECT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
    for (UNSIGNED32 r = 1; r <= count; ++r) {
      EXPECT_ACE(AdsGotoRecord(t, r));
      std::vector<UNSIGNED8> buf(4096);
      UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
      EXPECT_ACE(AdsGetRecord(t, buf.data(), &len));
      out.emplace_back(reinterpret_cast<char*>(buf.data()), len);
    }
    return out;
  }

  // "name:note" of the visible records in the order of the name index.
  std::vector<std::string> ByName(ADSHANDLE t) {
    ADSHANDLE ix = 0;
    EXPECT_ACE(AdsGetIndexHandle(t, U("BYNAME"), &ix));
    std::vector<std::string> out;
    EXPECT_ACE(AdsGotoTop(ix));
    UNSIGNED16 eof = 0;
    while (AdsAtEOF(t, &eof) == 0 && !eof) {
      out.push_back(Text(t, "NAME") + ":" + Text(t, "NOTE"));
      EXPECT_ACE(AdsSkip(ix, 1));
    }
    return out;
  }

  UNSIGNED32 KeyCount(ADSHANDLE t) {
    ADSHANDLE ix = 0;
    EXPECT_ACE(AdsGetIndexHandle(t, U("BYNAME"), &ix));
    UNSIGNED32 keys = 0;
    EXPECT_ACE(AdsGetKeyCount(ix, ADS_RESPECTFILTERS, &keys));
    return keys;
  }

  void SetName(ADSHANDLE t, UNSIGNED32 recno, const std::string& name, const std::string& note) {
    ASSERT_ACE(AdsGotoRecord(t, recno));
    ASSERT_ACE(AdsSetString(t, U("NAME"), U(name), static_cast<UNSIGNED32>(name.size())));
    ASSERT_ACE(AdsSetString(t, U("NOTE"), U(note), static_cast<UNSIGNED32>(note.size())));
    ASSERT_ACE(AdsWriteRecord(t));
  }

  std::vector<std::string> JournalFiles() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      if (e.path().extension() == ".tjl") out.push_back(e.path().filename().string());
    }
    return out;
  }
};

INSTANTIATE_TEST_SUITE_P(Formats, TxnTest, ::testing::Values(ADS_ADT, ADS_CDX, ADS_VFP));

// ---- Rollback and commit ----------------------------------------------------------------------

TEST_P(TxnTest, RollbackRestoresRecordsMemosAndIndexesOfSeveralTables) {
  MakePeople("a", GetParam());
  MakePeople("b", GetParam());
  ADSHANDLE a = OpenT("a", GetParam());
  ADSHANDLE b = OpenT("b", GetParam());
  const auto images_a = Images(a), images_b = Images(b);
  const auto order_a = ByName(a), order_b = ByName(b);

  ASSERT_ACE(AdsBeginTransaction(conn_));
  SetName(a, 1, "Aaron", "short");               // a memo that fits in the old blocks
  SetName(a, 1, "Yves", "second change");        // the same record twice
  SetName(b, 3, "Carl", std::string(300, 'x'));  // a memo that needs new blocks
  ASSERT_ACE(AdsGotoRecord(b, 2));
  ASSERT_ACE(AdsDeleteRecord(b));
  ASSERT_ACE(AdsAppendRecord(a));
  ASSERT_ACE(AdsSetString(a, U("NAME"), U("Neu"), 3));
  ASSERT_ACE(AdsSetString(a, U("NOTE"), U("appended"), 8));
  ASSERT_ACE(AdsWriteRecord(a));
  EXPECT_NE(order_a, ByName(a));
  EXPECT_EQ(2u, JournalFiles().size()) << "one journal per table written";
  ASSERT_ACE(AdsRollbackTransaction(conn_));

  EXPECT_TRUE(JournalFiles().empty());
  const auto after_a = Images(a);
  ASSERT_EQ(images_a.size() + 1, after_a.size());  // the appended record stays, deleted
  for (size_t i = 0; i < images_a.size(); ++i)
    EXPECT_EQ(images_a[i], after_a[i]) << "record " << i + 1;
  ASSERT_ACE(AdsGotoRecord(a, static_cast<UNSIGNED32>(after_a.size())));
  UNSIGNED16 deleted = 0;
  ASSERT_ACE(AdsIsRecordDeleted(a, &deleted));
  EXPECT_EQ(1, deleted);
  EXPECT_EQ(images_b, Images(b));
  EXPECT_EQ(order_a, ByName(a));
  EXPECT_EQ(order_b, ByName(b));
  EXPECT_EQ(5u, KeyCount(a));
  // The memos read back as before, also after the tables were closed and opened again.
  ASSERT_ACE(AdsCloseTable(a));
  a = OpenT("a", GetParam());
  EXPECT_EQ(order_a, ByName(a));
}

TEST_P(TxnTest, CommitKeepsTheChangesForOtherConnections) {
  MakePeople("p", GetParam());
  ADSHANDLE t = OpenT("p", GetParam());
  ASSERT_ACE(AdsBeginTransaction(conn_));
  SetName(t, 2, "Bea", "committed note");
  ASSERT_ACE(AdsCommitTransaction(conn_));
  EXPECT_TRUE(JournalFiles().empty());
  ADSHANDLE other = 0;
  ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &other));
  ADSHANDLE o = OpenT("p", GetParam(), other);
  ASSERT_ACE(AdsGotoRecord(o, 2));
  EXPECT_EQ("Bea", Text(o, "NAME"));
  EXPECT_EQ("committed note", Text(o, "NOTE"));
  // A rollback after the commit has nothing to undo.
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_TRANSACTION), AdsRollbackTransaction(conn_));
  AdsDisconnect(other);
}

TEST_P(TxnTest, SavepointRollbackKeepsWhatCameBefore) {
  MakePeople("s", GetParam());
  ADSHANDLE t = OpenT("s", GetParam());
  ASSERT_ACE(AdsBeginTransaction(conn_));
  SetName(t, 1, "First", "before the savepoint");
  ASSERT_ACE(AdsCreateSavepoint(conn_, U("sp1"), 0));
  SetName(t, 1, "Second", "after the savepoint");
  SetName(t, 4, "Other", "also after");
  ASSERT_ACE(AdsRollbackTransaction80(conn_, U("SP1"), 0));  // names ignore case
  UNSIGNED16 in = 0;
  ASSERT_ACE(AdsInTransaction(conn_, &in));
  EXPECT_EQ(1, in);
  ASSERT_ACE(AdsGotoRecord(t, 1));
  EXPECT_EQ("First", Text(t, "NAME"));
  EXPECT_EQ("before the savepoint", Text(t, "NOTE"));
  ASSERT_ACE(AdsGotoRecord(t, 4));
  EXPECT_EQ("Ali", Text(t, "NAME"));
  // The savepoint stays; the record may change again after it and be taken back again.
  SetName(t, 1, "Third", "again");
  ASSERT_ACE(AdsRollbackTransaction80(conn_, U("sp1"), 0));
  ASSERT_ACE(AdsGotoRecord(t, 1));
  EXPECT_EQ("First", Text(t, "NAME"));
  // The whole transaction still goes back to the start.
  ASSERT_ACE(AdsRollbackTransaction80(conn_, nullptr, 0));
  ASSERT_ACE(AdsGotoRecord(t, 1));
  EXPECT_EQ("Mia", Text(t, "NAME"));
  EXPECT_EQ("A fairly long note about Mia that fills blocks", Text(t, "NOTE"));
}

TEST_P(TxnTest, DisconnectRollsBackAnOpenTransaction) {
  MakePeople("d", GetParam());
  ADSHANDLE t = OpenT("d", GetParam());
  ASSERT_ACE(AdsBeginTransaction(conn_));
  SetName(t, 5, "Gone", "never committed");
  ASSERT_ACE(AdsDisconnect(conn_));
  conn_ = 0;
  ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_));
  t = OpenT("d", GetParam());
  ASSERT_ACE(AdsGotoRecord(t, 5));
  EXPECT_EQ("Kim", Text(t, "NAME"));
  EXPECT_TRUE(JournalFiles().empty());
}

// ---- Locks ------------------------------------------------------------------------------------

TEST_P(TxnTest, WrittenRecordsStayLockedUntilTheEnd) {
  MakePeople("l", GetParam());
  ADSHANDLE t = OpenT("l", GetParam());
  ADSHANDLE other = 0;
  ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &other));
  ADSHANDLE o = OpenT("l", GetParam(), other);
  ASSERT_ACE(AdsBeginTransaction(conn_));
  SetName(t, 2, "Locked", "x");  // an implicit lock for the write
  ASSERT_ACE(AdsLockRecord(t, 3));
  SetName(t, 3, "Explicit", "y");
  ASSERT_ACE(AdsUnlockRecord(t, 3));  // asked for, but the transaction keeps it
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_LOCK_REFUSED), AdsLockRecord(o, 2));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_LOCK_REFUSED), AdsLockRecord(o, 3));
  EXPECT_ACE(AdsLockRecord(o, 4));  // untouched records are free
  ASSERT_ACE(AdsUnlockRecord(o, 4));
  ASSERT_ACE(AdsCommitTransaction(conn_));
  EXPECT_ACE(AdsLockRecord(o, 2));
  EXPECT_ACE(AdsLockRecord(o, 3));
  AdsDisconnect(other);
}

TEST_P(TxnTest, AWriteToARecordAnotherUserLockedIsRefused) {
  MakePeople("r", GetParam());
  ADSHANDLE t = OpenT("r", GetParam());
  ADSHANDLE other = 0;
  ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &other));
  ADSHANDLE o = OpenT("r", GetParam(), other);
  ASSERT_ACE(AdsLockRecord(o, 1));
  ASSERT_ACE(AdsBeginTransaction(conn_));
  ASSERT_ACE(AdsGotoRecord(t, 1));
  ASSERT_ACE(AdsSetString(t, U("NAME"), U("Nope"), 4));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_LOCK_REFUSED), AdsWriteRecord(t));
  ASSERT_ACE(AdsCancelUpdate(t));
  ASSERT_ACE(AdsRollbackTransaction(conn_));
  ASSERT_ACE(AdsGotoRecord(t, 1));
  EXPECT_EQ("Mia", Text(t, "NAME"));
  AdsDisconnect(other);
}

// ---- State and refusals -----------------------------------------------------------------------

TEST_F(ApiTest, TransactionStateAndRefusals) {
  UNSIGNED16 in = 9;
  UNSIGNED32 count = 9;
  ASSERT_ACE(AdsInTransaction(conn_, &in));
  ASSERT_ACE(AdsGetTransactionCount(conn_, &count));
  EXPECT_EQ(0, in);
  EXPECT_EQ(0u, count);
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_TRANSACTION), AdsCommitTransaction(conn_));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_TRANSACTION), AdsRollbackTransaction(conn_));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_TRANSACTION), AdsCreateSavepoint(conn_, U("x"), 0));
  ASSERT_ACE(AdsBeginTransaction(conn_));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_TRANSACTION), AdsBeginTransaction(conn_));
  ASSERT_ACE(AdsInTransaction(conn_, &in));
  ASSERT_ACE(AdsGetTransactionCount(conn_, &count));
  EXPECT_EQ(1, in);
  EXPECT_EQ(1u, count);
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_TRANSACTION),
            AdsRollbackTransaction80(conn_, U("unknown"), 0));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_ARGUMENT), AdsCreateSavepoint(conn_, U("x"), 7));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_NULL_POINTER), AdsInTransaction(conn_, nullptr));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_HANDLE), AdsBeginTransaction(conn_ + 9999));

  // Emptying and packing cannot be undone: refused, the table unchanged.
  ADSHANDLE t = Create("z", ADS_ADT, "N,Integer;");
  AppendText(t, "N", "1");
  ASSERT_ACE(AdsCommitTransaction(conn_));
  ASSERT_ACE(AdsCloseTable(t));
  ASSERT_ACE(Open("z", ADS_ADT, &t, ADS_EXCLUSIVE));
  ASSERT_ACE(AdsBeginTransaction(conn_));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_TRANSACTION), AdsZapTable(t));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_TRANSACTION), AdsPackTable(t));
  ASSERT_ACE(AdsRollbackTransaction(conn_));
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(1u, count);
}

// ---- Crashes ----------------------------------------------------------------------------------

// A process that dies inside a transaction, at any of its file operations, leaves the table as
// it was before the transaction once it is opened again.
TEST_P(TxnTest, ProcessKilledInsideATransactionLeavesTheTableAsBefore) {
  MakePeople("c", GetParam());
  std::vector<std::string> images, order;
  {
    ADSHANDLE t = OpenT("c", GetParam());
    images = Images(t);
    order = ByName(t);
    ASSERT_ACE(AdsCloseTable(t));
  }
  const std::string dir = dir_;
  const UNSIGNED16 type = GetParam();
  auto transaction = [dir, type](uint64_t kill_at) {
    ADSHANDLE c = 0, t = 0;
    if (AdsConnect60(U(dir), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &c) != 0) return 2;
    if (AdsOpenTable90(c, U("c"), nullptr, type, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                       ADS_CHECK_RIGHTS, 0, nullptr, &t) != 0)
      return 3;
    if (AdsBeginTransaction(c) != 0) return 4;
    ace::FaultInjector::KillAt(kill_at);
    for (UNSIGNED32 r : {2u, 4u, 1u}) {
      AdsGotoRecord(t, r);
      AdsSetString(t, U("NAME"), U("Crash"), 5);
      AdsSetString(t, U("NOTE"), U("lost"), 4);
      if (AdsWriteRecord(t) != 0) return 5;
    }
    AdsAppendRecord(t);
    AdsSetString(t, U("NAME"), U("Extra"), 5);
    if (AdsWriteRecord(t) != 0) return 6;
    ace::FaultInjector::Reset();
    _exit(0);  // dies without commit or rollback
  };
  // Kill points spread over the transaction; 0 lets it reach its end without commit.
  for (uint64_t kill_at : {0u, 1u, 2u, 3u, 5u, 8u, 13u, 21u}) {
    const int rc = InChild([&] { return transaction(kill_at); });
    EXPECT_TRUE(rc == 0 || rc == 100) << "child answered " << rc << " at " << kill_at;
    ADSHANDLE t = OpenT("c", GetParam());
    ASSERT_NE(0u, t);
    const auto now = Images(t);
    ASSERT_GE(now.size(), images.size());
    for (size_t i = 0; i < images.size(); ++i)
      EXPECT_EQ(images[i], now[i]) << "record " << i + 1 << ", kill at " << kill_at;
    EXPECT_EQ(order, ByName(t)) << "kill at " << kill_at;
    EXPECT_TRUE(JournalFiles().empty()) << "kill at " << kill_at;
    ASSERT_ACE(AdsCloseTable(t));
  }
}

// An append inside a transaction, killed at every one of its file operations (the one
// between the record reaching the table and its journal entry included): the next open finds
// the records of before and no live record more, also through the index.
TEST_P(TxnTest, AppendKilledAtAnyPointIsTakenBack) {
  MakePeople("k", GetParam());
  std::vector<std::string> images, order;
  {
    ADSHANDLE t = OpenT("k", GetParam());
    images = Images(t);
    order = ByName(t);
    ASSERT_ACE(AdsCloseTable(t));
  }
  const std::string dir = dir_;
  const UNSIGNED16 type = GetParam();
  auto append = [dir, type](uint64_t kill_at) {
    ADSHANDLE c = 0, t = 0;
    if (AdsConnect60(U(dir), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &c) != 0) return 2;
    if (AdsOpenTable90(c, U("k"), nullptr, type, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                       ADS_CHECK_RIGHTS, 0, nullptr, &t) != 0)
      return 3;
    if (AdsBeginTransaction(c) != 0) return 4;
    if (AdsAppendRecord(t) != 0) return 5;
    AdsSetString(t, U("NAME"), U("Extra"), 5);
    AdsSetString(t, U("NOTE"), U("appended and lost"), 17);
    ace::FaultInjector::KillAt(kill_at);
    if (AdsWriteRecord(t) != 0) return 6;
    ace::FaultInjector::Reset();
    _exit(0);  // dies without commit or rollback
  };
  int killed = 0;
  for (uint64_t kill_at = 1; kill_at < 60; ++kill_at) {
    const int rc = InChild([&] { return append(kill_at); });
    ASSERT_TRUE(rc == 0 || rc == 100) << "child answered " << rc << " at " << kill_at;
    ADSHANDLE t = OpenT("k", GetParam());
    ASSERT_NE(0u, t);
    const auto now = Images(t);
    ASSERT_GE(now.size(), images.size());
    for (size_t i = 0; i < images.size(); ++i)
      EXPECT_EQ(images[i], now[i]) << "record " << i + 1 << ", kill at " << kill_at;
    for (UNSIGNED32 r = static_cast<UNSIGNED32>(images.size()) + 1; r <= now.size(); ++r) {
      ASSERT_ACE(AdsGotoRecord(t, r));
      UNSIGNED16 deleted = 0;
      ASSERT_ACE(AdsIsRecordDeleted(t, &deleted));
      EXPECT_TRUE(deleted) << "record " << r << " outlived its transaction, kill at " << kill_at;
    }
    EXPECT_EQ(order, ByName(t)) << "kill at " << kill_at;
    EXPECT_TRUE(JournalFiles().empty()) << "kill at " << kill_at;
    ASSERT_ACE(AdsCloseTable(t));
    if (rc == 0) break;  // the write ran to its end before this point
    ++killed;
  }
  EXPECT_GE(killed, 3) << "the append made too few file operations to be killed inside";
}

TEST_F(ApiTest, AJournalOfALiveTransactionIsLeftAlone) {
  ADSHANDLE t = Create("live", ADS_ADT, "N,Integer;");
  AppendText(t, "N", "1");
  ASSERT_ACE(AdsBeginTransaction(conn_));
  ASSERT_ACE(AdsGotoRecord(t, 1));
  ASSERT_ACE(AdsSetLong(t, U("N"), 2));
  ASSERT_ACE(AdsWriteRecord(t));
  // Another connection opening the table sees the journal's owner alive and rolls nothing back.
  ADSHANDLE other = 0, o = 0;
  ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &other));
  ASSERT_ACE(Open("live", ADS_ADT, &o, 0, other));
  ASSERT_ACE(AdsGotoRecord(o, 1));
  EXPECT_EQ("2", Text(o, "N"));
  ASSERT_ACE(AdsCommitTransaction(conn_));
  AdsDisconnect(other);
}

TEST_F(ApiTest, ADamagedJournalRefusesTheOpenAndIsKept) {
  ADSHANDLE t = Create("bad", ADS_ADT, "N,Integer;");
  AppendText(t, "N", "1");
  ASSERT_ACE(AdsCloseTable(t));
  const std::string journal = Path("bad.adt.1-1.tjl");
  {
    FILE* f = fopen(journal.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    const char junk[40] = "this is not a journal of ours at all";
    fwrite(junk, 1, sizeof junk, f);
    fclose(f);
  }
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_CORRUPT_FILE), Open("bad", ADS_ADT, &t));
  EXPECT_TRUE(std::filesystem::exists(journal));
}

}  // namespace
}  // namespace ace_api_test
