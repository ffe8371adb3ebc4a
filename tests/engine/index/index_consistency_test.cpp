// Indexes that hold exactly the keys of their table's records: ADT appends that reuse deleted
// records' places (through the cursor and through SQL), recall, delete and pack, checked tag by
// tag against the keys the records give and by seeks against a scan; numeric segments of ADT
// keys in numeric order with seeks and scopes that agree; index files whose keys were built
// another way, and rebuilds that fail after the table was rewritten.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/file.h"
#include "engine/index/index_file.h"
#include "engine/index/table_record_source.h"
#include "engine/storage/adt/adt_table_file.h"
#include "engine/storage/table_file.h"
#include "tests/engine/api/api_fixture.h"

namespace {

using ace_api_test::ApiTest;
using ace_api_test::LastErrorText;
using ace_api_test::U;
using TableType = ace::storage::TableType;

class IndexConsistencyTest : public ApiTest {
 protected:
  // Every tag of the file holds exactly one key per record of the table (deleted ones too, as
  // the index keeps them), the key the record gives now, and nothing else. The table must be
  // closed by the caller.
  void ExpectKeysMatchRecords(const std::string& table, TableType type, const std::string& file) {
    ace::storage::OpenOptions options;
    options.read_only = true;
    auto t = ace::storage::OpenTableFile(Path(table), type, options);
    ASSERT_TRUE(t.ok()) << t.status().message();
    auto ix = ace::index::IndexFile::Open(Path(file), t->get(), true);
    ASSERT_TRUE(ix.ok()) << ix.status().message();
    for (size_t i = 0; i < (*ix)->tag_count(); ++i) {
      ace::index::Tag& tag = (*ix)->tag(i);
      std::multimap<uint32_t, std::string> held, expected;
      auto pos = tag.tree().First();
      while (pos.ok() && pos->valid()) {
        auto e = tag.tree().EntryAt(*pos);
        ASSERT_TRUE(e.ok()) << e.status().message();
        held.emplace(e->recno, e->key);
        pos = tag.tree().Next(*pos);
      }
      ASSERT_TRUE(pos.ok()) << pos.status().message();
      ace::index::TableRecordSource source(t->get());
      std::vector<std::byte> image((*t)->record_length());
      for (uint32_t r = 1; r <= (*t)->record_count(); ++r) {
        ASSERT_TRUE((*t)->ReadRecord(r, image.data()).ok());
        source.SetRecord(r, image.data());
        auto key = tag.KeyOf(source);
        ASSERT_TRUE(key.ok()) << key.status().message();
        if (key->has_value()) expected.emplace(r, **key);
      }
      EXPECT_EQ(expected, held) << "tag " << tag.name();
      ace::Status checked = tag.tree().CheckTree();
      EXPECT_TRUE(checked.ok()) << checked.message();
    }
  }

  // Turns on the reuse of deleted records' places of an ADT table (closed).
  void ReuseDeleted(const std::string& table) {
    auto t = ace::storage::adt::AdtTableFile::Open(Path(table), {});
    ASSERT_TRUE(t.ok()) << t.status().message();
    ASSERT_TRUE((*t)->SetReuseDeleted(true).ok());
  }

  ADSHANDLE Index(ADSHANDLE t, const char* tag, const char* expr, UNSIGNED32 options = 0) {
    ADSHANDLE ix = 0;
    EXPECT_EQ(0u, AdsCreateIndex90(t, nullptr, U(tag), U(expr), nullptr, nullptr,
                                   options | ADS_COMPOUND, 0, nullptr, &ix))
        << LastErrorText();
    return ix;
  }

  void Put(ADSHANDLE t, const std::string& name, int nr) {
    ASSERT_ACE(AdsSetField(t, U("Name"), U(name), static_cast<UNSIGNED32>(name.size())));
    ASSERT_ACE(AdsSetLong(t, U("Nr"), nr));
    ASSERT_ACE(AdsWriteRecord(t));
  }
  void Add(ADSHANDLE t, const std::string& name, int nr) {
    ASSERT_ACE(AdsAppendRecord(t));
    Put(t, name, nr);
  }
  UNSIGNED32 RecNo(ADSHANDLE t) {
    UNSIGNED32 n = 0;
    EXPECT_ACE(AdsGetRecordNum(t, ADS_IGNOREFILTERS, &n));
    return n;
  }
  std::string Name(ADSHANDLE t) { return Text(t, "Name"); }

  // Seeking every name of names (and a few that are not there) in ix finds a live record of
  // that name exactly when a scan of the table finds one.
  void ExpectSeeksAgreeWithScan(ADSHANDLE t, ADSHANDLE ix, std::vector<std::string> names) {
    std::map<std::string, int> live;
    ASSERT_ACE(AdsGotoTop(t));
    for (UNSIGNED16 eof = 0; AdsAtEOF(t, &eof) == 0 && !eof;) {
      ++live[Name(t)];
      ASSERT_ACE(AdsSkip(t, 1));
    }
    names.push_back("nobody");
    for (const std::string& n : names) {
      // The whole field's width, so that a name is not found as the start of a longer one.
      const std::string key = n + std::string(n.size() < 10 ? 10 - n.size() : 0, ' ');
      UNSIGNED16 found = 0;
      ASSERT_ACE(AdsSeek(ix, U(key), static_cast<UNSIGNED16>(key.size()), ADS_STRINGKEY,
                         ADS_HARDSEEK, &found));
      EXPECT_EQ(live.count(n) != 0, found == 1) << n;
      if (found == 1) {
        EXPECT_EQ(n, Name(t));
      }
      // Walking the equal keys counts every live record of the name, no other.
      int count = 0;
      while (found == 1) {
        UNSIGNED16 eof = 0;
        ASSERT_ACE(AdsAtEOF(t, &eof));
        if (eof || Name(t) != n) break;
        ++count;
        ASSERT_ACE(AdsSkip(ix, 1));
      }
      EXPECT_EQ(live.count(n) ? live[n] : 0, count) << n;
    }
  }
};

TEST_F(IndexConsistencyTest, AppendsIntoDeletedPlacesTakeTheOldKeysOut) {
  ADSHANDLE t = Create("reuse", ADS_ADT, "Name,Char,10;Nr,Integer");
  for (int i = 0; i < 20; ++i) Add(t, "n" + std::to_string(i), i);
  Index(t, "BYNAME", "Name");
  Index(t, "BYNR", "Nr");
  Index(t, "NAMENR", "Name;Nr");
  ASSERT_ACE(AdsCloseTable(t));
  ReuseDeleted("reuse.adt");
  ASSERT_ACE(Open("reuse", ADS_ADT, &t));
  ADSHANDLE byName = 0;
  ASSERT_ACE(AdsGetIndexHandle(t, U("BYNAME"), &byName));
  // The old key of a reused place pointed the seek at the new record.
  ASSERT_ACE(AdsGotoRecord(t, 5));
  ASSERT_ACE(AdsDeleteRecord(t));
  Add(t, "fresh", 100);
  EXPECT_EQ(5u, RecNo(t));  // the deleted place was taken
  UNSIGNED16 found = 0;
  ASSERT_ACE(AdsSeek(byName, U("n4"), 2, ADS_STRINGKEY, ADS_HARDSEEK, &found));
  EXPECT_EQ(0u, found);
  ASSERT_ACE(AdsShowDeleted(1));  // not even as a deleted record: the record is gone
  ASSERT_ACE(AdsSeek(byName, U("n4"), 2, ADS_STRINGKEY, ADS_HARDSEEK, &found));
  EXPECT_EQ(0u, found);
  ASSERT_ACE(AdsShowDeleted(0));
  ASSERT_ACE(AdsSeek(byName, U("fresh"), 5, ADS_STRINGKEY, ADS_HARDSEEK, &found));
  EXPECT_EQ(1u, found);
  EXPECT_EQ(5u, RecNo(t));

  // Many rounds of deletes, recalls and appends.
  std::mt19937 rng(3);
  std::vector<std::string> names;
  for (int round = 0; round < 300; ++round) {
    UNSIGNED32 count = 0;
    ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
    const UNSIGNED32 r = 1 + rng() % count;
    ASSERT_ACE(AdsGotoRecord(t, r));
    switch (rng() % 4) {
      case 0:
      case 1: {
        ASSERT_ACE(AdsDeleteRecord(t));
        break;
      }
      case 2: {
        ASSERT_ACE(AdsShowDeleted(1));
        ASSERT_ACE(AdsGotoRecord(t, r));
        ASSERT_ACE(AdsRecallRecord(t));
        ASSERT_ACE(AdsShowDeleted(0));
        break;
      }
      default:
        break;
    }
    const std::string name = "r" + std::to_string(rng() % 60);
    names.push_back(name);
    Add(t, name, static_cast<int>(rng() % 1000) - 500);
  }
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_LT(count, 320u);  // places were reused
  ExpectSeeksAgreeWithScan(t, byName, names);
  ASSERT_ACE(AdsCloseTable(t));
  ExpectKeysMatchRecords("reuse.adt", TableType::kAdt, "reuse.adi");

  // Pack and zap leave indexes that match as well.
  ASSERT_ACE(Open("reuse", ADS_ADT, &t, ADS_EXCLUSIVE));
  ASSERT_ACE(AdsPackTable(t));
  ASSERT_ACE(AdsGetIndexHandle(t, U("BYNAME"), &byName));
  ExpectSeeksAgreeWithScan(t, byName, names);
  ASSERT_ACE(AdsCloseTable(t));
  ExpectKeysMatchRecords("reuse.adt", TableType::kAdt, "reuse.adi");
}

TEST_F(IndexConsistencyTest, ACandidateKeyOfTheReplacedRecordIsNoDuplicate) {
  ADSHANDLE t = Create("cand", ADS_ADT, "Name,Char,10;Nr,Integer");
  Add(t, "a", 1);
  Add(t, "b", 2);
  Index(t, "UNR", "Nr", ADS_CANDIDATE);
  ASSERT_ACE(AdsCloseTable(t));
  ReuseDeleted("cand.adt");
  ASSERT_ACE(Open("cand", ADS_ADT, &t));
  ASSERT_ACE(AdsGotoRecord(t, 1));
  ASSERT_ACE(AdsDeleteRecord(t));
  // The new record takes place 1 with the key the deleted record held there.
  Add(t, "c", 1);
  EXPECT_EQ(1u, RecNo(t));
  // A real duplicate is still refused, and leaves nothing behind.
  ASSERT_ACE(AdsAppendRecord(t));
  ASSERT_ACE(AdsSetLong(t, U("Nr"), 2));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_DUPLICATE_KEY), AdsWriteRecord(t));
  ASSERT_ACE(AdsCancelUpdate(t));
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(2u, count);
  ASSERT_ACE(AdsCloseTable(t));
  ExpectKeysMatchRecords("cand.adt", TableType::kAdt, "cand.adi");
}

TEST_F(IndexConsistencyTest, SqlInsertsIntoDeletedPlacesTakeTheOldKeysOut) {
  ADSHANDLE t = Create("sqlreuse", ADS_ADT, "Name,Char,10;Nr,Integer");
  for (int i = 0; i < 10; ++i) Add(t, "s" + std::to_string(i), i);
  Index(t, "BYNAME", "Name");
  ASSERT_ACE(AdsCloseTable(t));
  ReuseDeleted("sqlreuse.adt");
  ADSHANDLE stmt = 0;
  ASSERT_ACE(AdsCreateSQLStatement(conn_, &stmt));
  ADSHANDLE cursor = 0;
  ASSERT_ACE(AdsExecuteSQLDirect(stmt, U("DELETE FROM sqlreuse WHERE Nr IN (2, 3, 7)"), &cursor));
  ASSERT_ACE(AdsExecuteSQLDirect(
      stmt, U("INSERT INTO sqlreuse (Name, Nr) VALUES ('x1', 21), ('x2', 22), ('x3', 23)"),
      &cursor));
  ASSERT_ACE(AdsCloseSQLStatement(stmt));
  ASSERT_ACE(Open("sqlreuse", ADS_ADT, &t));
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(10u, count);  // the three places were reused
  ADSHANDLE byName = 0;
  ASSERT_ACE(AdsGetIndexHandle(t, U("BYNAME"), &byName));
  ExpectSeeksAgreeWithScan(t, byName, {"s2", "s3", "s7", "x1", "x2", "x3", "s1"});
  ASSERT_ACE(AdsCloseTable(t));
  ExpectKeysMatchRecords("sqlreuse.adt", TableType::kAdt, "sqlreuse.adi");
}

TEST_F(IndexConsistencyTest, DbfWritesDeletesRecallsAndPacksKeepKeysExact) {
  for (UNSIGNED16 type : {ADS_CDX, ADS_NTX}) {
    const bool ntx = type == ADS_NTX;
    const std::string name = ntx ? "dn" : "dc";
    ADSHANDLE t = Create(name, type, "NAME,Char,10;NR,Numeric,6,0");
    ADSHANDLE ix = 0;
    ASSERT_ACE(AdsCreateIndex90(t, ntx ? U("dnname") : nullptr, ntx ? nullptr : U("BYNAME"),
                                U("NAME"), nullptr, nullptr, ntx ? 0 : ADS_COMPOUND, 0, nullptr,
                                &ix));
    std::mt19937 rng(5);
    std::vector<std::string> names;
    for (int round = 0; round < 150; ++round) {
      const std::string n = "d" + std::to_string(rng() % 40);
      names.push_back(n);
      ASSERT_ACE(AdsAppendRecord(t));
      ASSERT_ACE(AdsSetField(t, U("NAME"), U(n), static_cast<UNSIGNED32>(n.size())));
      ASSERT_ACE(AdsWriteRecord(t));
      UNSIGNED32 count = 0;
      ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
      ASSERT_ACE(AdsShowDeleted(1));
      ASSERT_ACE(AdsGotoRecord(t, 1 + rng() % count));
      ASSERT_ACE(rng() % 3 == 0 ? AdsRecallRecord(t) : AdsDeleteRecord(t));
      ASSERT_ACE(AdsShowDeleted(0));
    }
    ExpectSeeksAgreeWithScan(t, ix, names);
    ASSERT_ACE(AdsCloseTable(t));
    const std::string file = ntx ? "dnname.ntx" : name + ".cdx";
    ExpectKeysMatchRecords(name + ".dbf", static_cast<TableType>(type), file);
    ASSERT_ACE(Open(name, type, &t, ADS_EXCLUSIVE));
    if (ntx) {
      ADSHANDLE opened[4];
      UNSIGNED16 n = 4;
      ASSERT_ACE(AdsOpenIndex(t, U("dnname.ntx"), opened, &n));
    }
    ASSERT_ACE(AdsPackTable(t));
    ASSERT_ACE(AdsCloseTable(t));
    ExpectKeysMatchRecords(name + ".dbf", static_cast<TableType>(type), file);
  }
}

// ---- Numeric segments ---------------------------------------------------------------------------

class NumericSegmentTest : public IndexConsistencyTest {
 protected:
  void AddRow(ADSHANDLE t, const std::string& name, int nr, const std::string& amount) {
    ASSERT_ACE(AdsAppendRecord(t));
    ASSERT_ACE(AdsSetField(t, U("Name"), U(name), static_cast<UNSIGNED32>(name.size())));
    ASSERT_ACE(AdsSetLong(t, U("Nr"), nr));
    ASSERT_ACE(AdsSetField(t, U("Betrag"), U(amount), static_cast<UNSIGNED32>(amount.size())));
    ASSERT_ACE(AdsWriteRecord(t));
  }
  std::vector<int> WalkNr(ADSHANDLE ix, ADSHANDLE t) {
    std::vector<int> out;
    EXPECT_ACE(AdsGotoTop(ix));
    for (UNSIGNED16 eof = 0; AdsAtEOF(t, &eof) == 0 && !eof;) {
      SIGNED32 v = 0;
      EXPECT_ACE(AdsGetLong(t, U("Nr"), &v));
      out.push_back(v);
      if (out.size() > 1000 || AdsSkip(ix, 1) != 0) break;
    }
    return out;
  }
  // The raw key of Name and Nr set in the index's key record.
  std::string RawKey(ADSHANDLE ix, const std::string& name, int nr) {
    EXPECT_ACE(AdsInitRawKey(ix));
    EXPECT_ACE(AdsSetField(ix, U("Name"), U(name), static_cast<UNSIGNED32>(name.size())));
    SIGNED32 v = nr;
    EXPECT_ACE(AdsSetFieldRaw(ix, U("Nr"), reinterpret_cast<UNSIGNED8*>(&v), 4));
    UNSIGNED8 key[256];
    UNSIGNED16 length = sizeof key;
    EXPECT_ACE(AdsBuildRawKey(ix, key, &length));
    return std::string(reinterpret_cast<char*>(key), length);
  }
};

TEST_F(NumericSegmentTest, NumbersSortAsNumbersNegativeOnesIncluded) {
  ADSHANDLE t = Create("num", ADS_ADT, "Name,Char,8;Nr,Integer;Betrag,Numeric,9,2");
  const std::vector<int> values = {9,          10,          -5, -10, 0,    100, -1,
                                   2147483647, -2147483647, 99, 1,   -100, 11};
  for (int v : values) AddRow(t, "same", v, std::to_string(v % 7) + ".5");
  AddRow(t, "aaa", 5, "-3.25");
  AddRow(t, "zzz", -5, "0.75");
  ADSHANDLE ix = Index(t, "NAMENR", "Name;Nr");
  std::vector<int> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  sorted.insert(sorted.begin(), 5);
  sorted.push_back(-5);
  EXPECT_EQ(sorted, WalkNr(ix, t));

  // Decimals in the order of their value; negative amounts first.
  ADSHANDLE byAmount = Index(t, "BETRAG", "Betrag;Name");
  ASSERT_ACE(AdsGotoTop(byAmount));
  std::vector<double> amounts;
  for (UNSIGNED16 eof = 0; AdsAtEOF(t, &eof) == 0 && !eof;) {
    DOUBLE d = 0;
    ASSERT_ACE(AdsGetDouble(t, U("Betrag"), &d));
    amounts.push_back(d);
    ASSERT_ACE(AdsSkip(byAmount, 1));
  }
  EXPECT_TRUE(std::is_sorted(amounts.begin(), amounts.end()));
  EXPECT_EQ(15u, amounts.size());
  EXPECT_EQ(-5.5, amounts.front());  // -5 % 7 gives -5

  // A raw-key seek finds the record of its number, and a scope between two numbers holds just
  // the numbers between them.
  const std::string minusFive = RawKey(ix, "same", -5);
  UNSIGNED16 found = 0;
  ASSERT_ACE(AdsSeek(ix, reinterpret_cast<const UNSIGNED8*>(minusFive.data()),
                     static_cast<UNSIGNED16>(minusFive.size()), ADS_RAWKEY, ADS_HARDSEEK, &found));
  ASSERT_EQ(1u, found);
  SIGNED32 nr = 0;
  ASSERT_ACE(AdsGetLong(t, U("Nr"), &nr));
  EXPECT_EQ(-5, nr);
  const std::string low = RawKey(ix, "same", -10);
  const std::string high = RawKey(ix, "same", 10);
  ASSERT_ACE(AdsSetScope(ix, ADS_TOP, reinterpret_cast<const UNSIGNED8*>(low.data()),
                         static_cast<UNSIGNED16>(low.size()), ADS_RAWKEY));
  ASSERT_ACE(AdsSetScope(ix, ADS_BOTTOM, reinterpret_cast<const UNSIGNED8*>(high.data()),
                         static_cast<UNSIGNED16>(high.size()), ADS_RAWKEY));
  EXPECT_EQ((std::vector<int>{-10, -5, -1, 0, 1, 9, 10}), WalkNr(ix, t));
  ASSERT_ACE(AdsClearAllScopes(t));
  // Soft seek between keys lands on the next larger number.
  const std::string three = RawKey(ix, "same", 3);
  ASSERT_ACE(AdsSeek(ix, reinterpret_cast<const UNSIGNED8*>(three.data()),
                     static_cast<UNSIGNED16>(three.size()), ADS_RAWKEY, ADS_SOFTSEEK, &found));
  ASSERT_ACE(AdsGetLong(t, U("Nr"), &nr));
  EXPECT_EQ(9, nr);
  ASSERT_ACE(AdsCloseTable(t));
  ExpectKeysMatchRecords("num.adt", TableType::kAdt, "num.adi");
}

TEST_F(NumericSegmentTest, AFileWithKeysOfAnotherLengthIsRebuiltOrRefused) {
  ADSHANDLE t = Create("old", ADS_ADT, "Name,Char,8;Nr,Integer;Betrag,Numeric,9,2");
  for (int v : {10, 9, -3}) AddRow(t, "x", v, "1.00");
  Index(t, "NAMENR", "Name;Nr");
  ASSERT_ACE(AdsCloseTable(t));
  // The key length in the tag directory as a file of keys built another way has it.
  {
    auto file = ace::File::Open(Path("old.adi"), ace::OpenMode::kReadWrite);
    ASSERT_TRUE(file.ok());
    std::string header(64, '\0');
    ASSERT_TRUE(file->ReadAt(0, header.data(), header.size()).ok());
    uint32_t pageSize = 0, directory = 0;
    std::memcpy(&pageSize, header.data() + 12, 4);
    std::memcpy(&directory, header.data() + 40, 4);
    const uint64_t at = uint64_t{directory} * pageSize + 12 + 10;  // first tag: key length
    uint16_t length = 0;
    ASSERT_TRUE(file->ReadAt(at, &length, 2).ok());
    --length;
    ASSERT_TRUE(file->WriteAt(at, &length, 2).ok());
  }
  // Read-only, the file is refused; writable, it is rebuilt and sorts right.
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_STALE_INDEX), Open("old", ADS_ADT, &t, ADS_READONLY));
  ASSERT_ACE(Open("old", ADS_ADT, &t));
  ADSHANDLE ix = 0;
  ASSERT_ACE(AdsGetIndexHandle(t, U("NAMENR"), &ix));
  EXPECT_EQ((std::vector<int>{-3, 9, 10}), WalkNr(ix, t));
  ASSERT_ACE(AdsCloseTable(t));
  ExpectKeysMatchRecords("old.adt", TableType::kAdt, "old.adi");
}

// ---- Rebuilds after a rewrite -------------------------------------------------------------------

TEST_F(IndexConsistencyTest, AnIndexNotRebuiltAfterAPackIsNeverUsedAsItIs) {
  // Finds the rename of a pack that replaces the index (after the table's own): failing it
  // leaves a packed table with its index not rebuilt.
  bool exercised = false;
  for (uint64_t nth = 1; nth <= 6 && !exercised; ++nth) {
    const std::string name = "pk" + std::to_string(nth);
    ADSHANDLE t = Create(name, ADS_ADT, "Name,Char,10;Nr,Integer");
    for (int i = 0; i < 12; ++i) Add(t, "p" + std::to_string(i), i);
    Index(t, "BYNAME", "Name");
    ASSERT_ACE(AdsCloseTable(t));
    ASSERT_ACE(Open(name, ADS_ADT, &t, ADS_EXCLUSIVE));
    for (UNSIGNED32 r : {2u, 3u, 4u}) {
      ASSERT_ACE(AdsGotoRecord(t, r));
      ASSERT_ACE(AdsDeleteRecord(t));
    }
    ace::FaultInjector::FailAt(ace::IoKind::kRename, nth, 5001);
    const UNSIGNED32 packed = AdsPackTable(t);
    ace::FaultInjector::Reset();
    UNSIGNED32 count = 0;
    ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
    if (packed == 0 || count != 9) {
      AdsCloseTable(t);
      continue;  // the fault hit before the table was replaced, or nothing at all
    }
    exercised = true;
    // Used now, the index is rebuilt first: the seek finds the record that is there.
    ADSHANDLE byName = 0;
    ASSERT_ACE(AdsGetIndexHandle(t, U("BYNAME"), &byName));
    ExpectSeeksAgreeWithScan(t, byName, {"p1", "p2", "p5", "p11"});
    // Appends that bring the count back to what the old index was written for are kept in a
    // rebuilt index too.
    for (int i = 0; i < 3; ++i) Add(t, "q" + std::to_string(i), 50 + i);
    ExpectSeeksAgreeWithScan(t, byName, {"p1", "p3", "q0", "q2"});
    ASSERT_ACE(AdsCloseTable(t));
    ExpectKeysMatchRecords(name + ".adt", TableType::kAdt, name + ".adi");
  }
  EXPECT_TRUE(exercised);
}

TEST_F(IndexConsistencyTest, AStaleIndexLeftByAFailedRebuildIsRebuiltAtTheNextOpen) {
  ADSHANDLE t = Create("left", ADS_ADT, "Name,Char,10;Nr,Integer");
  for (int i = 0; i < 6; ++i) Add(t, "l" + std::to_string(i), i);
  Index(t, "BYNAME", "Name");
  ASSERT_ACE(AdsCloseTable(t));
  {
    ace::storage::OpenOptions options;
    auto file = ace::storage::OpenTableFile(Path("left.adt"), TableType::kAdt, options);
    ASSERT_TRUE(file.ok());
    auto ix = ace::index::IndexFile::Open(Path("left.adi"), file->get(), false);
    ASSERT_TRUE(ix.ok()) << ix.status().message();
    ASSERT_TRUE((*ix)->MarkStale().ok());
    EXPECT_TRUE((*ix)->stale());
  }
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_STALE_INDEX), Open("left", ADS_ADT, &t, ADS_READONLY));
  ASSERT_ACE(Open("left", ADS_ADT, &t));
  ADSHANDLE byName = 0;
  ASSERT_ACE(AdsGetIndexHandle(t, U("BYNAME"), &byName));
  ExpectSeeksAgreeWithScan(t, byName, {"l0", "l5"});
  ASSERT_ACE(AdsCloseTable(t));
  ExpectKeysMatchRecords("left.adt", TableType::kAdt, "left.adi");
}

}  // namespace
