// Index orders through the C API on real tables: walking in index order against a sort of the
// same data, seeks at the edges, descending, unique and candidate indexes, FOR conditions,
// scopes, maintenance by every kind of write (checked with the tree checker), pack and zap,
// stale files, a German collation, two connections writing one indexed table, and walks that
// meet pages another user is writing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <random>
#include <string>
#include <vector>

#include "engine/index/index_file.h"
#include "engine/storage/table_file.h"
#include "tests/engine/api/api_fixture.h"

namespace {

using ace_api_test::ApiTest;
using ace_api_test::LastErrorText;
using ace_api_test::U;

class IndexApiTest : public ApiTest {
 protected:
  ADSHANDLE MakeTable(const std::string& name, UNSIGNED16 type = ADS_CDX) {
    return Create(name, type, "NAME,Char,12;NR,Numeric,8,0");
  }
  void Add(ADSHANDLE t, const std::string& name, int nr) {
    ASSERT_ACE(AdsAppendRecord(t));
    ASSERT_ACE(AdsSetField(t, U("NAME"), U(name), static_cast<UNSIGNED32>(name.size())));
    std::string n = std::to_string(nr);
    ASSERT_ACE(AdsSetField(t, U("NR"), U(n), static_cast<UNSIGNED32>(n.size())));
    ASSERT_ACE(AdsWriteRecord(t));
  }
  ADSHANDLE Index(ADSHANDLE t, const char* file, const char* tag, const char* expr,
                  UNSIGNED32 options = 0, const char* cond = nullptr,
                  const char* collation = nullptr) {
    ADSHANDLE ix = 0;
    EXPECT_EQ(0u, AdsCreateIndex90(t, file ? U(file) : nullptr, tag ? U(tag) : nullptr, U(expr),
                                   cond ? U(cond) : nullptr, nullptr, options, 0,
                                   collation ? U(collation) : nullptr, &ix))
        << LastErrorText();
    return ix;
  }
  // Field values of the records in the order of handle h (an index or the table).
  std::vector<std::string> Walk(ADSHANDLE h, ADSHANDLE t, const char* field,
                                bool backwards = false) {
    std::vector<std::string> out;
    EXPECT_EQ(0u, backwards ? AdsGotoBottom(h) : AdsGotoTop(h)) << LastErrorText();
    for (;;) {
      UNSIGNED16 end = 0;
      EXPECT_EQ(0u, backwards ? AdsAtBOF(t, &end) : AdsAtEOF(t, &end));
      if (end) break;
      out.push_back(Text(t, field));
      UNSIGNED32 rc = AdsSkip(h, backwards ? -1 : 1);
      EXPECT_EQ(0u, rc) << LastErrorText();
      if (rc != 0 || out.size() > 1000000) break;
    }
    return out;
  }
  // Runs the tree checker over an index file (the table closed first by the caller).
  void CheckFile(const std::string& table, ace::storage::TableType type, const std::string& file) {
    ace::storage::OpenOptions options;
    options.read_only = true;
    auto t = ace::storage::OpenTableFile(Path(table), type, options);
    ASSERT_TRUE(t.ok()) << t.status().message();
    auto ix = ace::index::IndexFile::Open(Path(file), t->get(), true);
    ASSERT_TRUE(ix.ok()) << ix.status().message();
    ace::Status checked = (*ix)->CheckAll();
    EXPECT_TRUE(checked.ok()) << checked.message();
  }
  UNSIGNED16 Seek(ADSHANDLE ix, const std::string& key, UNSIGNED16 type) {
    UNSIGNED16 found = 99;
    EXPECT_EQ(0u,
              AdsSeek(ix, U(key), static_cast<UNSIGNED16>(key.size()), ADS_STRINGKEY, type, &found))
        << LastErrorText();
    return found;
  }
  bool AtEof(ADSHANDLE t) {
    UNSIGNED16 eof = 0;
    EXPECT_EQ(0u, AdsAtEOF(t, &eof));
    return eof != 0;
  }
};

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST_F(IndexApiTest, WalkInIndexOrderEqualsSortBothWays) {
  ADSHANDLE t = MakeTable("kinder");
  std::mt19937 rng(7);
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) {
    std::string n = "N" + std::to_string(rng() % 100000);
    names.push_back(n);
    Add(t, n, i);
  }
  ADSHANDLE ix = Index(t, nullptr, "BYNAME", "NAME");
  EXPECT_EQ(Sorted(names), Walk(ix, t, "NAME"));
  std::vector<std::string> back = Walk(ix, t, "NAME", true);
  std::reverse(back.begin(), back.end());
  EXPECT_EQ(Sorted(names), back);
  // The table handle still walks in record order.
  EXPECT_EQ(names, Walk(t, t, "NAME"));
}

TEST_F(IndexApiTest, TwoHundredThousandRecordsWalkedBothWaysEqualASort) {
  ADSHANDLE t = Create("big", ADS_ADT, "NR,Integer");
  std::mt19937 rng(11);
  std::vector<int> values;
  for (int i = 0; i < 200000; ++i) {
    int v = static_cast<int>(rng() % 1000000) - 500000;
    values.push_back(v);
    ASSERT_ACE(AdsAppendRecord(t));
    ASSERT_ACE(AdsSetLong(t, U("NR"), v));
  }
  ASSERT_ACE(AdsWriteRecord(t));
  ADSHANDLE ix = Index(t, nullptr, "BYNR", "NR");
  std::vector<int> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  std::vector<int> forward, backward;
  ASSERT_ACE(AdsGotoTop(ix));
  for (UNSIGNED16 eof = 0; AdsAtEOF(t, &eof) == 0 && !eof;) {
    SIGNED32 v = 0;
    ASSERT_ACE(AdsGetLong(t, U("NR"), &v));
    forward.push_back(v);
    ASSERT_ACE(AdsSkip(ix, 1));
  }
  ASSERT_ACE(AdsGotoBottom(ix));
  for (UNSIGNED16 bof = 0; AdsAtBOF(t, &bof) == 0 && !bof;) {
    SIGNED32 v = 0;
    ASSERT_ACE(AdsGetLong(t, U("NR"), &v));
    backward.push_back(v);
    ASSERT_ACE(AdsSkip(ix, -1));
  }
  std::reverse(backward.begin(), backward.end());
  EXPECT_EQ(sorted, forward);
  EXPECT_EQ(sorted, backward);
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetKeyCount(ix, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(200000u, count);
}

TEST_F(IndexApiTest, SeeksAtTheFirstLastAndPastTheEndKeys) {
  ADSHANDLE t = MakeTable("kinder");
  for (const char* n : {"Berta", "Anna", "Dora", "Carl", "Anton"}) Add(t, n, 1);
  ADSHANDLE ix = Index(t, nullptr, "BYNAME", "NAME");
  EXPECT_EQ(1, Seek(ix, "Anna", ADS_HARDSEEK));
  EXPECT_EQ("Anna", Text(t, "NAME"));
  EXPECT_EQ(1, Seek(ix, "Dora", ADS_HARDSEEK));
  EXPECT_EQ("Dora", Text(t, "NAME"));
  EXPECT_EQ(0, Seek(ix, "Emil", ADS_HARDSEEK));
  EXPECT_TRUE(AtEof(t));
  EXPECT_EQ(0, Seek(ix, "Emil", ADS_SOFTSEEK));
  EXPECT_TRUE(AtEof(t));
  EXPECT_EQ(0, Seek(ix, "Bz", ADS_SOFTSEEK));
  EXPECT_EQ("Carl", Text(t, "NAME"));
  EXPECT_EQ(0, Seek(ix, "A", ADS_SOFTSEEK) == 1 ? 0 : 1);  // a partial key matches
  EXPECT_EQ("Anna", Text(t, "NAME"));
  EXPECT_EQ(0, Seek(ix, "Aa", ADS_HARDSEEK));
  UNSIGNED16 found = 0;
  ASSERT_ACE(AdsSeekLast(ix, U("An"), 2, ADS_STRINGKEY, &found));
  EXPECT_EQ(1, found);
  EXPECT_EQ("Anton", Text(t, "NAME"));
  // From a seek the walk goes on in index order.
  ASSERT_ACE(AdsSkip(ix, 1));
  EXPECT_EQ("Berta", Text(t, "NAME"));
  ASSERT_ACE(AdsSeekLast(ix, U("Zz"), 2, ADS_STRINGKEY, &found));
  EXPECT_EQ(0, found);
  EXPECT_TRUE(AtEof(t));
}

TEST_F(IndexApiTest, RawKeysFromKeyRecordSeekTheirRecord) {
  ADSHANDLE t = MakeTable("kinder");
  for (int i = 0; i < 20; ++i) Add(t, "K" + std::to_string(100 + i), i);
  ADSHANDLE ix = Index(t, nullptr, "BYNR", "NR");
  ASSERT_ACE(AdsInitRawKey(ix));
  ASSERT_ACE(AdsSetField(ix, U("NR"), U("13"), 2));
  UNSIGNED8 key[64];
  UNSIGNED16 len = sizeof key;
  ASSERT_ACE(AdsBuildRawKey(ix, key, &len));
  UNSIGNED16 klen = 0;
  ASSERT_ACE(AdsGetKeyLength(ix, &klen));
  EXPECT_EQ(klen, len);
  UNSIGNED16 found = 0;
  ASSERT_ACE(AdsSeek(ix, key, len, ADS_RAWKEY, ADS_HARDSEEK, &found));
  EXPECT_EQ(1, found);
  EXPECT_EQ("K113", Text(t, "NAME"));
  // The key record is not the table's record.
  EXPECT_EQ("13", Text(t, "NR"));
  UNSIGNED8 extracted[64];
  UNSIGNED16 elen = sizeof extracted;
  ASSERT_ACE(AdsExtractKey(ix, extracted, &elen));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key), len),
            std::string(reinterpret_cast<char*>(extracted), elen));
  // Stepped keys exclude the key itself from a scope.
  ASSERT_ACE(AdsStepIndexKey(ix, key, len, 1));
  ASSERT_ACE(AdsSetScope(ix, ADS_TOP, key, len, ADS_RAWKEY));
  ASSERT_ACE(AdsGotoTop(ix));
  EXPECT_EQ("14", Text(t, "NR"));
}

TEST_F(IndexApiTest, DescendingAndConditionalIndexes) {
  ADSHANDLE t = MakeTable("kinder");
  std::vector<std::string> names = {"Emil", "Anna", "Carl", "Berta", "Dora"};
  for (size_t i = 0; i < names.size(); ++i) Add(t, names[i], static_cast<int>(i));
  ADSHANDLE desc = Index(t, nullptr, "DESC", "NAME", ADS_DESCENDING);
  std::vector<std::string> want = Sorted(names);
  std::reverse(want.begin(), want.end());
  EXPECT_EQ(want, Walk(desc, t, "NAME"));
  EXPECT_EQ(0, Seek(desc, "Bz", ADS_SOFTSEEK));
  EXPECT_EQ("Berta", Text(t, "NAME"));  // the next key in walking order
  ADSHANDLE cond = Index(t, nullptr, "COND", "NAME", 0, "NR >= 2");
  EXPECT_EQ((std::vector<std::string>{"Berta", "Carl", "Dora"}), Walk(cond, t, "NAME"));
  // A record that leaves the condition leaves the index.
  ASSERT_ACE(AdsSeek(desc, U("Carl"), 4, ADS_STRINGKEY, ADS_HARDSEEK, nullptr));
  ASSERT_ACE(AdsSetField(t, U("NR"), U("0"), 1));
  ASSERT_ACE(AdsWriteRecord(t));
  EXPECT_EQ((std::vector<std::string>{"Berta", "Dora"}), Walk(cond, t, "NAME"));
  UNSIGNED16 flag = 0;
  ASSERT_ACE(AdsIsIndexDescending(desc, &flag));
  EXPECT_EQ(1, flag);
  UNSIGNED8 buf[64];
  UNSIGNED16 len = sizeof buf;
  ASSERT_ACE(AdsGetIndexCondition(cond, buf, &len));
  EXPECT_EQ("NR >= 2", std::string(reinterpret_cast<char*>(buf), len));
}

TEST_F(IndexApiTest, UniqueKeepsTheFirstAndCandidateRefusesADuplicate) {
  ADSHANDLE t = Create("kinder", ADS_VFP, "NAME,Char,12;NR,Numeric,8,0");
  Add(t, "Anna", 1);
  Add(t, "Anna", 2);
  Add(t, "Berta", 3);
  ADSHANDLE uniq = Index(t, nullptr, "UNIQ", "NAME", ADS_UNIQUE);
  EXPECT_EQ((std::vector<std::string>{"Anna", "Berta"}), Walk(uniq, t, "NAME"));
  ADSHANDLE cand = 0;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_DUPLICATE_KEY),
            AdsCreateIndex90(t, nullptr, U("CAND"), U("NAME"), nullptr, nullptr, ADS_CANDIDATE, 0,
                             nullptr, &cand));
  cand = Index(t, nullptr, "CAND", "NR", ADS_CANDIDATE);
  ASSERT_ACE(AdsAppendRecord(t));
  ASSERT_ACE(AdsSetField(t, U("NR"), U("2"), 1));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_DUPLICATE_KEY), AdsWriteRecord(t));
  ASSERT_ACE(AdsCancelUpdate(t));
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(3u, count);  // the refused record was not written
  EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), Walk(cand, t, "NR"));
}

TEST_F(IndexApiTest, EveryWriteMaintainsEveryOpenIndexAndTheTreesCheckOut) {
  ADSHANDLE t = MakeTable("kinder");
  std::mt19937 rng(3);
  std::vector<std::string> names;
  ADSHANDLE ix = Index(t, nullptr, "BYNAME", "NAME");
  ADSHANDLE nr = Index(t, "bynr.ntx", nullptr, "NR");
  for (int i = 0; i < 400; ++i) {
    std::string n = "R" + std::to_string(rng() % 50);  // many duplicates
    names.push_back(n);
    Add(t, n, i);
  }
  // Change every third key, delete every seventh record (hidden), recall some again.
  for (UNSIGNED32 r = 1; r <= 400; ++r) {
    ASSERT_ACE(AdsGotoRecord(t, r));
    if (r % 3 == 0) {
      std::string n = "X" + std::to_string(r);
      ASSERT_ACE(AdsSetField(t, U("NAME"), U(n), static_cast<UNSIGNED32>(n.size())));
      ASSERT_ACE(AdsWriteRecord(t));
      names[r - 1] = n;
    }
    if (r % 7 == 0) {
      ASSERT_ACE(AdsDeleteRecord(t));
    }
    if (r % 14 == 0) {
      ASSERT_ACE(AdsRecallRecord(t));
    }
  }
  std::vector<std::string> visible;
  for (UNSIGNED32 r = 1; r <= 400; ++r)
    if (r % 7 != 0 || r % 14 == 0) visible.push_back(names[r - 1]);
  EXPECT_EQ(Sorted(visible), Walk(ix, t, "NAME"));
  EXPECT_EQ(visible.size(), Walk(nr, t, "NR").size());
  ASSERT_ACE(AdsCloseTable(t));
  CheckFile("kinder.dbf", ace::storage::TableType::kCdx, "kinder.cdx");
  CheckFile("kinder.dbf", ace::storage::TableType::kCdx, "bynr.ntx");
}

TEST_F(IndexApiTest, StructuralIndexOpensWithTheTableAndOthersByName) {
  ADSHANDLE t = MakeTable("kinder");
  Add(t, "Dora", 1);
  Add(t, "Anna", 2);
  Index(t, nullptr, "BYNAME", "NAME");
  Index(t, "bynr.ntx", nullptr, "NR");
  ASSERT_ACE(AdsCloseTable(t));
  ASSERT_ACE(Open("kinder", ADS_CDX, &t));
  UNSIGNED16 n = 0;
  ASSERT_ACE(AdsGetNumIndexes(t, &n));
  EXPECT_EQ(1, n);
  ADSHANDLE handles[4];
  UNSIGNED16 len = 4;
  ASSERT_ACE(AdsOpenIndex(t, U("bynr.ntx"), handles, &len));
  EXPECT_EQ(1, len);
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INDEX_ALREADY_OPEN),
            AdsOpenIndex(t, U("bynr.ntx"), handles, &len));
  ADSHANDLE byname = 0;
  ASSERT_ACE(AdsGetIndexHandle(t, U("byname"), &byname));
  Add(t, "Carl", 0);  // maintained in both files
  EXPECT_EQ((std::vector<std::string>{"Anna", "Carl", "Dora"}), Walk(byname, t, "NAME"));
  EXPECT_EQ((std::vector<std::string>{"0", "1", "2"}), Walk(handles[0], t, "NR"));
  UNSIGNED32 page = 0;
  ASSERT_ACE(AdsGetIndexPageSize(handles[0], &page));
  EXPECT_EQ(512u, page);
  UNSIGNED8 name[64];
  UNSIGNED16 nlen = sizeof name;
  ASSERT_ACE(AdsGetIndexFilename(byname, ADS_BASENAMEANDEXT, name, &nlen));
  EXPECT_EQ("kinder.cdx", std::string(reinterpret_cast<char*>(name), nlen));
  // Closing the file that holds the order: the handle goes, the table walks in record order.
  ASSERT_ACE(AdsCloseIndex(handles[0]));
  UNSIGNED16 k = 0;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_HANDLE), AdsGetKeyLength(handles[0], &k));
  ADSHANDLE missing = 0;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_NO_SUCH_INDEX_TAG),
            AdsGetIndexHandle(t, U("NOPE"), &missing));
  // Without a name: the order the cursor is in (0 in record order).
  ADSHANDLE current = 99;
  ASSERT_ACE(AdsGotoTop(t));
  ASSERT_ACE(AdsGetIndexHandle(t, nullptr, &current));
  EXPECT_EQ(0u, current);
  ASSERT_ACE(AdsGotoTop(byname));
  ASSERT_ACE(AdsGetIndexHandle(t, U(""), &current));
  EXPECT_EQ(byname, current);
}

TEST_F(IndexApiTest, ScopesBoundTheWalkAndTheCounts) {
  ADSHANDLE t = MakeTable("kinder");
  for (const char* n : {"Anna", "Berta", "Bernd", "Carl", "Dora", "Britta"}) Add(t, n, 1);
  ADSHANDLE ix = Index(t, nullptr, "BYNAME", "NAME");
  ASSERT_ACE(AdsSetScope(ix, ADS_TOP, U("B"), 1, ADS_STRINGKEY));
  ASSERT_ACE(AdsSetScope(ix, ADS_BOTTOM, U("B"), 1, ADS_STRINGKEY));
  EXPECT_EQ((std::vector<std::string>{"Bernd", "Berta", "Britta"}), Walk(ix, t, "NAME"));
  std::vector<std::string> back = Walk(ix, t, "NAME", true);
  EXPECT_EQ((std::vector<std::string>{"Britta", "Berta", "Bernd"}), back);
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetKeyCount(ix, ADS_RESPECTSCOPES, &count));
  EXPECT_EQ(3u, count);
  ASSERT_ACE(AdsGetRecordCount(ix, ADS_RESPECTSCOPES, &count));
  EXPECT_EQ(3u, count);
  ASSERT_ACE(AdsGetKeyCount(ix, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(6u, count);
  EXPECT_EQ(0, Seek(ix, "Carl", ADS_HARDSEEK));  // outside the scope
  UNSIGNED8 buf[16];
  UNSIGNED16 len = sizeof buf;
  ASSERT_ACE(AdsGetScope(ix, ADS_TOP, buf, &len));
  EXPECT_EQ("B", std::string(reinterpret_cast<char*>(buf), len));
  ASSERT_ACE(AdsClearScope(ix, ADS_TOP));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_NO_SCOPE), AdsClearScope(ix, ADS_TOP));
  EXPECT_EQ((std::vector<std::string>{"Anna", "Bernd", "Berta", "Britta"}), Walk(ix, t, "NAME"));
  ASSERT_ACE(AdsClearAllScopes(t));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_NO_SCOPE), AdsGetScope(ix, ADS_BOTTOM, buf, &len));
  EXPECT_EQ(6u, Walk(ix, t, "NAME").size());
}

TEST_F(IndexApiTest, PackAndZapThenWalk) {
  ADSHANDLE t = 0;
  ASSERT_ACE(AdsCreateTable90(conn_, U("kinder"), nullptr, ADS_ADT, ADS_ANSI,
                              ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0,
                              U("NAME,Char,12;NR,Numeric,8,0"), ADS_EXCLUSIVE, nullptr, &t));
  std::vector<std::string> kept;
  for (int i = 0; i < 50; ++i) {
    std::string n = "P" + std::to_string((i * 37) % 50);
    Add(t, n, i);
    if (i % 2) kept.push_back(n);
  }
  ADSHANDLE ix = Index(t, nullptr, "BYNAME", "NAME");
  for (UNSIGNED32 r = 1; r <= 50; r += 2) {
    ASSERT_ACE(AdsGotoRecord(t, r));
    ASSERT_ACE(AdsDeleteRecord(t));
  }
  ASSERT_ACE(AdsPackTable(t));
  EXPECT_EQ(Sorted(kept), Walk(ix, t, "NAME"));
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetKeyCount(ix, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(25u, count);
  ASSERT_ACE(AdsZapTable(t));
  EXPECT_TRUE(Walk(ix, t, "NAME").empty());
  Add(t, "Neu", 1);
  EXPECT_EQ((std::vector<std::string>{"Neu"}), Walk(ix, t, "NAME"));
  ASSERT_ACE(AdsCloseTable(t));
  CheckFile("kinder.adt", ace::storage::TableType::kAdt, "kinder.adi");
}

TEST_F(IndexApiTest, StaleIndexIsRebuiltOnAWritableTableAndRefusedReadOnly) {
  ADSHANDLE t = Create("kinder", ADS_NTX, "NAME,Char,12;NR,Numeric,8,0");
  Add(t, "Dora", 1);
  ADSHANDLE ix = Index(t, "byname", nullptr, "NAME");
  ASSERT_ACE(AdsCloseIndex(ix));
  Add(t, "Anna", 2);  // the closed index does not see this record
  ASSERT_ACE(AdsCloseTable(t));
  ASSERT_ACE(Open("kinder", ADS_NTX, &t, ADS_READONLY));
  ADSHANDLE handles[2];
  UNSIGNED16 len = 2;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_STALE_INDEX),
            AdsOpenIndex(t, U("byname.ntx"), handles, &len));
  ASSERT_ACE(AdsCloseTable(t));
  ASSERT_ACE(Open("kinder", ADS_NTX, &t));
  len = 2;
  ASSERT_ACE(AdsOpenIndex(t, U("byname.ntx"), handles, &len));
  EXPECT_EQ((std::vector<std::string>{"Anna", "Dora"}), Walk(handles[0], t, "NAME"));
}

TEST_F(IndexApiTest, GermanCollationSortsUmlautsWithTheirVowel) {
  ADSHANDLE t = MakeTable("kinder");
  for (const char* n : {"Zoe", "\xC4rger", "Apfel", "\xD6l", "Otto", "Bauer"}) Add(t, n, 1);
  ADSHANDLE ix = Index(t, nullptr, "BYNAME", "NAME", 0, nullptr, "GERMAN_VFP_CI_AS_1252");
  std::vector<std::string> want = {"Apfel", "\xC4rger", "Bauer", "\xD6l", "Otto", "Zoe"};
  EXPECT_EQ(want, Walk(ix, t, "NAME"));
  EXPECT_EQ(1, Seek(ix, "\xE4RG", ADS_HARDSEEK));  // case and umlaut folded
  EXPECT_EQ("\xC4rger", Text(t, "NAME"));
}

TEST_F(IndexApiTest, TwoConnectionsWritingOneIndexedTable) {
  ADSHANDLE t1 = MakeTable("kinder");
  Index(t1, nullptr, "BYNAME", "NAME");
  ADSHANDLE conn2 = 0;
  ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn2));
  ADSHANDLE t2 = 0;
  ASSERT_ACE(Open("kinder", ADS_CDX, &t2, 0, conn2));
  std::vector<std::string> names;
  for (int i = 0; i < 60; ++i) {
    std::string n = "C" + std::to_string((i * 7919) % 1000);
    names.push_back(n);
    Add(i % 2 ? t1 : t2, n, i);
  }
  // The second connection changes records the first one wrote.
  for (UNSIGNED32 r = 2; r <= 60; r += 10) {
    ASSERT_ACE(AdsGotoRecord(t2, r));
    std::string n = "Z" + std::to_string(r);
    ASSERT_ACE(AdsSetField(t2, U("NAME"), U(n), static_cast<UNSIGNED32>(n.size())));
    ASSERT_ACE(AdsWriteRecord(t2));
    names[r - 1] = n;
  }
  ADSHANDLE ix1 = 0, ix2 = 0;
  ASSERT_ACE(AdsGetIndexHandle(t1, U("BYNAME"), &ix1));
  ASSERT_ACE(AdsGetIndexHandle(t2, U("BYNAME"), &ix2));
  EXPECT_EQ(Sorted(names), Walk(ix1, t1, "NAME"));
  EXPECT_EQ(Sorted(names), Walk(ix2, t2, "NAME"));
  ASSERT_ACE(AdsCloseTable(t2));
  ASSERT_ACE(AdsDisconnect(conn2));
  ASSERT_ACE(AdsCloseTable(t1));
  CheckFile("kinder.dbf", ace::storage::TableType::kCdx, "kinder.cdx");
}

TEST_F(IndexApiTest, DeleteIndexNeedsExclusiveAndRemovesTheTag) {
  ADSHANDLE t = MakeTable("kinder");
  Add(t, "Anna", 1);
  ADSHANDLE a = Index(t, nullptr, "A", "NAME");
  Index(t, nullptr, "B", "NR");
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_EXCLUSIVE_REQUIRED), AdsDeleteIndex(a));
  ASSERT_ACE(AdsCloseTable(t));
  ASSERT_ACE(Open("kinder", ADS_CDX, &t, ADS_EXCLUSIVE));
  ASSERT_ACE(AdsGetIndexHandle(t, U("A"), &a));
  ASSERT_ACE(AdsDeleteIndex(a));
  UNSIGNED16 n = 0;
  ASSERT_ACE(AdsGetNumIndexes(t, &n));
  EXPECT_EQ(1, n);
  ADSHANDLE b = 0;
  ASSERT_ACE(AdsGetIndexHandle(t, U("B"), &b));
  EXPECT_EQ((std::vector<std::string>{"1"}), Walk(b, t, "NR"));
}

}  // namespace

// ---- ADT keys of several segments ---------------------------------------------------------------

class SegmentKeyTest : public IndexApiTest {
 protected:
  void AddPerson(ADSHANDLE t, const std::string& name, const std::string& ort, int nr) {
    ASSERT_ACE(AdsAppendRecord(t));
    ASSERT_ACE(AdsSetField(t, U("Name"), U(name), static_cast<UNSIGNED32>(name.size())));
    ASSERT_ACE(AdsSetField(t, U("Ort"), U(ort), static_cast<UNSIGNED32>(ort.size())));
    ASSERT_ACE(AdsSetLong(t, U("Nr"), nr));
    ASSERT_ACE(AdsWriteRecord(t));
  }
};

TEST_F(SegmentKeyTest, SemicolonSegmentsOfAnAdtKeySortByEachSegmentInTurn) {
  ADSHANDLE t = Create("leute", ADS_ADT, "Name,Char,10;Ort,Char,10;Nr,Integer,4");
  AddPerson(t, "meier", "Zell", 3);
  AddPerson(t, "Abel", "Bonn", 1);
  AddPerson(t, "Meier", "Aach", 2);
  AddPerson(t, "MEIER", "Berg", 4);
  ADSHANDLE ix = Index(t, nullptr, "NAMEORT", "UPPER(Name);Ort");
  ASSERT_NE(0u, ix);
  std::vector<std::string> orte = Walk(ix, t, "Ort");
  EXPECT_EQ((std::vector<std::string>{"Bonn", "Aach", "Berg", "Zell"}), orte);
  // The expression is answered as given, with its two segments.
  UNSIGNED8 buf[100];
  UNSIGNED16 len = sizeof buf;
  ASSERT_ACE(AdsGetIndexExpr(ix, buf, &len));
  EXPECT_EQ("UPPER(Name);Ort", std::string(reinterpret_cast<char*>(buf), len));
  UNSIGNED16 segments = 0;
  ASSERT_ACE(AdsGetNumSegments(ix, &segments));
  EXPECT_EQ(2u, segments);
  // A seek on the first segment finds the first of its records.
  EXPECT_EQ(1u, Seek(ix, "MEIER", ADS_SOFTSEEK));
  EXPECT_EQ("Aach", Text(t, "Ort"));
  // A write moves the record in the order of the second segment.
  ASSERT_ACE(AdsSetField(t, U("Ort"), U("Zoo"), 3));
  ASSERT_ACE(AdsWriteRecord(t));
  EXPECT_EQ((std::vector<std::string>{"Bonn", "Berg", "Zell", "Zoo"}), Walk(ix, t, "Ort"));
  ASSERT_ACE(AdsCloseTable(t));
  // Reopened, the structural file compiles the segments again.
  ASSERT_ACE(Open("leute", ADS_ADT, &t));
  ASSERT_ACE(AdsGetIndexHandle(t, U("NAMEORT"), &ix));
  EXPECT_EQ((std::vector<std::string>{"Bonn", "Berg", "Zell", "Zoo"}), Walk(ix, t, "Ort"));
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_F(SegmentKeyTest, NumericAndDateSegmentsAndRefusals) {
  ADSHANDLE t = Create("leute", ADS_ADT, "Name,Char,10;Ort,Char,10;Nr,Integer,4");
  AddPerson(t, "b", "x", 20);
  AddPerson(t, "a", "x", 100);
  AddPerson(t, "c", "x", 3);
  ADSHANDLE ix = Index(t, nullptr, "ORTNR", "Ort;Nr");
  EXPECT_EQ((std::vector<std::string>{"c", "b", "a"}), Walk(ix, t, "Name"));
  // An empty segment and a segment that does not compile are refused, naming the segment.
  ADSHANDLE bad = 0;
  EXPECT_EQ(
      static_cast<UNSIGNED32>(AE_INVALID_EXPRESSION),
      AdsCreateIndex90(t, nullptr, U("BAD1"), U("Ort;"), nullptr, nullptr, 0, 0, nullptr, &bad));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_EXPRESSION),
            AdsCreateIndex90(t, nullptr, U("BAD2"), U("Ort;Nope"), nullptr, nullptr, 0, 0, nullptr,
                             &bad));
  EXPECT_NE(std::string::npos, LastErrorText().find("segment 2"));
  // A ';' inside a literal is no separator.
  ADSHANDLE lit = Index(t, nullptr, "LIT", "Ort + ';'");
  EXPECT_NE(0u, lit);
  UNSIGNED16 segments = 0;
  ASSERT_ACE(AdsGetNumSegments(lit, &segments));
  EXPECT_EQ(2u, segments);
  ASSERT_ACE(AdsCloseTable(t));
  // Other table types know no segments.
  ADSHANDLE cdx = MakeTable("kinder");
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_EXPRESSION),
            AdsCreateIndex90(cdx, nullptr, U("SEG"), U("NAME;NR"), nullptr, nullptr, 0, 0, nullptr,
                             &bad));
  ASSERT_ACE(AdsCloseTable(cdx));
}

// ---- Walks that meet another user's write ----------------------------------------------------

// Another user writing the index file holds its update lock while its pages are half-written.
// A walk that meets such a page waits for the write to end and walks again, answering the
// whole tree; damage that is still there without any writer is reported (5015).
TEST_F(IndexApiTest, AWalkThatMeetsAPageBeingWrittenWaitsForTheWriterAndWalksAgain) {
  ADSHANDLE t = Create("walk", ADS_ADT, "NAME,Char,12;NR,Numeric,8,0");
  std::vector<std::string> names;
  for (int i = 0; i < 2000; ++i) {
    names.push_back("N" + std::to_string(100000 + (i * 7919) % 2000));
    Add(t, names.back(), i);
  }
  Index(t, nullptr, "BYNAME", "NAME");
  ASSERT_ACE(AdsCloseTable(t));
  ASSERT_ACE(Open("walk", ADS_ADT, &t));  // its index is opened, none of its trees walked yet
  ADSHANDLE ix = 0;
  ASSERT_ACE(AdsGetIndexHandle(t, U("BYNAME"), &ix));

  // The "writer": the update lock taken, every tree page garbage until it is done.
  const std::string file = Path("walk.adi");
  const int fd = ::open(file.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = off_t{1} << 50;
  lock.l_len = 1;
  ASSERT_EQ(0, ::fcntl(fd, F_OFD_SETLK, &lock));
  std::string original(static_cast<size_t>(::lseek(fd, 0, SEEK_END)), '\0');
  ASSERT_EQ(static_cast<ssize_t>(original.size()), ::pread(fd, original.data(), original.size(), 0));
  uint32_t page_size = 0, directory = 0, counter = 0;
  std::memcpy(&page_size, original.data() + 12, 4);
  std::memcpy(&directory, original.data() + 40, 4);
  std::memcpy(&counter, original.data() + 52, 4);
  ASSERT_GE(page_size, 512u);
  auto spoil = [&] {
    const std::string garbage(page_size, '\xEE');
    for (size_t page = 1; page * page_size < original.size(); ++page) {
      if (page == directory) continue;
      ASSERT_EQ(static_cast<ssize_t>(page_size),
                ::pwrite(fd, garbage.data(), page_size, static_cast<off_t>(page * page_size)));
    }
  };
  auto restore_and_count = [&](uint32_t next) {
    std::string whole = original;
    std::memcpy(whole.data() + 52, &next, 4);
    ASSERT_EQ(static_cast<ssize_t>(whole.size()), ::pwrite(fd, whole.data(), whole.size(), 0));
  };
  spoil();
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    restore_and_count(counter + 1);
    lock.l_type = F_UNLCK;
    (void)::fcntl(fd, F_OFD_SETLK, &lock);
  });
  std::vector<std::string> walked = Walk(ix, t, "NAME");
  writer.join();
  EXPECT_EQ(Sorted(names), walked);

  // Damage with no writer at work stays damage.
  spoil();
  const uint32_t next = counter + 2;
  ASSERT_EQ(4, ::pwrite(fd, &next, 4, 52));  // announced as a change, so the walk reads it
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_CORRUPT_FILE), AdsGotoTop(ix));
  restore_and_count(counter + 3);
  ::close(fd);
  EXPECT_EQ(Sorted(names), Walk(ix, t, "NAME"));
}
