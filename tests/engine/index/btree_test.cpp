// B+tree tests on pages in memory: inserts and removals checked by the checker after each step,
// seeks, walking, counting and unique trees.
#include "engine/index/btree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/error_codes.h"

namespace ace::index {
namespace {

using Entry = std::pair<std::string, uint32_t>;

std::string Key4(uint32_t v) {
  std::string k(4, '\0');
  k[0] = static_cast<char>(v >> 24);
  k[1] = static_cast<char>(v >> 16);
  k[2] = static_cast<char>(v >> 8);
  k[3] = static_cast<char>(v);
  return k;
}

std::vector<Entry> WalkForward(BTree& tree) {
  std::vector<Entry> out;
  Result<TreePosition> pos = tree.First();
  while (pos.ok() && pos->valid()) {
    Result<TreeEntry> e = tree.EntryAt(*pos);
    EXPECT_TRUE(e.ok()) << e.status().message();
    out.emplace_back(e->key, e->recno);
    pos = tree.Next(*pos);
  }
  EXPECT_TRUE(pos.ok()) << pos.status().message();
  return out;
}

std::vector<Entry> WalkBackward(BTree& tree) {
  std::vector<Entry> out;
  Result<TreePosition> pos = tree.Last();
  while (pos.ok() && pos->valid()) {
    Result<TreeEntry> e = tree.EntryAt(*pos);
    EXPECT_TRUE(e.ok()) << e.status().message();
    out.emplace_back(e->key, e->recno);
    pos = tree.Prior(*pos);
  }
  EXPECT_TRUE(pos.ok()) << pos.status().message();
  return out;
}

void ExpectValid(BTree& tree) {
  Status s = tree.CheckTree();
  ASSERT_TRUE(s.ok()) << s.message();
}

TEST(IndexBTree, SequentialInsertsAndRemovalsStayValidAtEveryStep) {
  MemoryPageStore store(512);
  BTree tree(&store, 1, 4, 0, false, "T");
  ASSERT_TRUE(tree.Create().ok());
  for (uint32_t i = 1; i <= 600; ++i) {
    ASSERT_TRUE(tree.Insert(Key4(i), i).ok());
    ExpectValid(tree);
  }
  EXPECT_EQ(*tree.KeyCount(), 600u);
  EXPECT_EQ(WalkForward(tree).size(), 600u);
  // Remove from the front, then the back: leaves empty out and the root shrinks.
  for (uint32_t i = 1; i <= 300; ++i) {
    ASSERT_TRUE(tree.Remove(Key4(i), i).ok());
    ExpectValid(tree);
  }
  for (uint32_t i = 600; i > 300; --i) {
    ASSERT_TRUE(tree.Remove(Key4(i), i).ok());
    ExpectValid(tree);
  }
  EXPECT_EQ(*tree.KeyCount(), 0u);
  EXPECT_FALSE(tree.First()->valid());
  EXPECT_FALSE(tree.Last()->valid());
  // Every page but the root leaf went back to the store and is reused.
  uint32_t pages = store.page_count();
  for (uint32_t i = 1; i <= 100; ++i) ASSERT_TRUE(tree.Insert(Key4(i), i).ok());
  EXPECT_EQ(store.page_count(), pages);
  ExpectValid(tree);
}

TEST(IndexBTree, RandomAndDuplicateKeysWalkInSortedOrderBothWays) {
  MemoryPageStore store(512);
  BTree tree(&store, 7, 4, 0, false, "T");
  ASSERT_TRUE(tree.Create().ok());
  std::mt19937 rng(42);
  std::multiset<Entry> model;
  for (uint32_t rec = 1; rec <= 3000; ++rec) {
    std::string key = Key4(rng() % 200);  // many duplicates
    ASSERT_TRUE(tree.Insert(key, rec).ok());
    model.emplace(key, rec);
    if (rec % 50 == 0) ExpectValid(tree);
  }
  // Remove a random half, checking after each step.
  std::vector<Entry> all(model.begin(), model.end());
  std::shuffle(all.begin(), all.end(), rng);
  for (size_t i = 0; i < all.size() / 2; ++i) {
    ASSERT_TRUE(tree.Remove(all[i].first, all[i].second).ok());
    model.erase(model.find(all[i]));
    ExpectValid(tree);
  }
  std::vector<Entry> want(model.begin(), model.end());
  EXPECT_EQ(WalkForward(tree), want);
  std::reverse(want.begin(), want.end());
  EXPECT_EQ(WalkBackward(tree), want);
  EXPECT_EQ(*tree.KeyCount(), model.size());
  // An entry that is not there cannot be removed.
  EXPECT_EQ(tree.Remove(Key4(5000), 1).code(), kErrCorruptFile);
  // An entry that is there already cannot be added again.
  EXPECT_EQ(tree.Insert(model.begin()->first, model.begin()->second).code(), kErrInternal);
}

TEST(IndexBTree, TwoHundredThousandRandomKeysEqualSortedData) {
  MemoryPageStore store(1024);
  BTree tree(&store, 1, 8, 0, false, "T");
  ASSERT_TRUE(tree.Create().ok());
  std::mt19937_64 rng(7);
  std::vector<Entry> data;
  for (uint32_t rec = 1; rec <= 200000; ++rec) {
    uint64_t v = rng();
    std::string key(reinterpret_cast<const char*>(&v), 8);
    data.emplace_back(key, rec);
    ASSERT_TRUE(tree.Insert(key, rec).ok());
  }
  ExpectValid(tree);
  std::sort(data.begin(), data.end());
  EXPECT_EQ(WalkForward(tree), data);
  std::vector<Entry> reversed(data.rbegin(), data.rend());
  EXPECT_EQ(WalkBackward(tree), reversed);
}

TEST(IndexBTree, SeeksAtFirstLastAndPastTheEndWithPrefixes) {
  MemoryPageStore store(512);
  BTree tree(&store, 1, 6, 0, false, "T");
  ASSERT_TRUE(tree.Create().ok());
  // Keys "AA0000" .. "ZZ0099": 26 letters x 100 numbers.
  uint32_t rec = 0;
  for (char c = 'A'; c <= 'Z'; ++c)
    for (int n = 0; n < 100; ++n) {
      char buf[8];
      snprintf(buf, sizeof buf, "%c%c%04d", c, c, n);
      ASSERT_TRUE(tree.Insert(std::string(buf, 6), ++rec).ok());
    }
  ExpectValid(tree);
  auto key_at = [&](Result<TreePosition> pos) {
    EXPECT_TRUE(pos.ok());
    if (!pos->valid()) return std::string("<none>");
    return tree.EntryAt(*pos)->key;
  };
  EXPECT_EQ(key_at(tree.SeekFirstAtLeast("AA0000")), "AA0000");  // the first key, exact
  EXPECT_EQ(key_at(tree.SeekFirstAtLeast("ZZ0099")), "ZZ0099");  // the last key, exact
  EXPECT_EQ(key_at(tree.SeekFirstAtLeast("ZZ01")), "<none>");    // past the end
  EXPECT_EQ(key_at(tree.SeekFirstAtLeast("0")), "AA0000");       // before the first
  EXPECT_EQ(key_at(tree.SeekFirstAtLeast("MM")), "MM0000");      // prefix
  EXPECT_EQ(key_at(tree.SeekFirstAtLeast("MN")), "NN0000");      // nearest
  EXPECT_EQ(key_at(tree.SeekLastAtMost("MM")), "MM0099");        // last with prefix
  EXPECT_EQ(key_at(tree.SeekLastAtMost("MN")), "MM0099");
  EXPECT_EQ(key_at(tree.SeekLastAtMost("A")), "AA0099");
  EXPECT_EQ(key_at(tree.SeekLastAtMost("AA")), "AA0099");
  EXPECT_EQ(key_at(tree.SeekLastAtMost("ZZZ")), "ZZ0099");
  EXPECT_EQ(key_at(tree.SeekLastAtMost("0")), "<none>");
  EXPECT_TRUE(*tree.ContainsKey("QQ0042"));
  EXPECT_FALSE(*tree.ContainsKey("QQ0100"));
  Result<TreePosition> found = tree.Find("BB0001", 102);
  ASSERT_TRUE(found->valid());
  EXPECT_FALSE(tree.Find("BB0001", 103)->valid());
}

TEST(IndexBTree, KeyNumbersAndRelativePositions) {
  MemoryPageStore store(512);
  BTree tree(&store, 1, 4, 0, false, "T");
  ASSERT_TRUE(tree.Create().ok());
  EXPECT_EQ(*tree.RelativePosition(TreePosition{}), 0.0);
  EXPECT_FALSE(tree.GotoRelative(0.5)->valid());
  for (uint32_t i = 1; i <= 1001; ++i) ASSERT_TRUE(tree.Insert(Key4(i * 3), i).ok());
  for (uint32_t n : {1u, 2u, 500u, 1000u, 1001u}) {
    Result<TreePosition> pos = tree.GotoKeyNumber(n);
    ASSERT_TRUE(pos->valid());
    EXPECT_EQ(tree.EntryAt(*pos)->recno, n);
    EXPECT_EQ(*tree.KeyNumber(*pos), n);
  }
  EXPECT_FALSE(tree.GotoKeyNumber(0)->valid());
  EXPECT_FALSE(tree.GotoKeyNumber(1002)->valid());
  EXPECT_EQ(tree.EntryAt(*tree.GotoRelative(0.0))->recno, 1u);
  EXPECT_EQ(tree.EntryAt(*tree.GotoRelative(1.0))->recno, 1001u);
  EXPECT_EQ(tree.EntryAt(*tree.GotoRelative(0.5))->recno, 501u);
  EXPECT_EQ(tree.EntryAt(*tree.GotoRelative(7.0))->recno, 1001u);
  EXPECT_DOUBLE_EQ(*tree.RelativePosition(*tree.GotoKeyNumber(501)), 0.5);
  EXPECT_DOUBLE_EQ(*tree.RelativePosition(*tree.Last()), 1.0);
}

TEST(IndexBTree, UniqueTreeRefusesAnEqualKeyNamingTheIndex) {
  MemoryPageStore store(512);
  BTree tree(&store, 1, 4, 0, true, "KUNDNR");
  ASSERT_TRUE(tree.Create().ok());
  for (uint32_t i = 1; i <= 300; ++i) ASSERT_TRUE(tree.Insert(Key4(i), i).ok());
  Status dup = tree.Insert(Key4(150), 999);
  EXPECT_EQ(dup.code(), kErrDuplicateKey);
  EXPECT_NE(dup.message().find("KUNDNR"), std::string::npos) << dup.message();
  EXPECT_EQ(*tree.KeyCount(), 300u);
  ExpectValid(tree);
  ASSERT_TRUE(tree.Remove(Key4(150), 150).ok());
  EXPECT_TRUE(tree.Insert(Key4(150), 999).ok());
  ExpectValid(tree);
}

TEST(IndexBTree, BulkLoadBuildsTheSameOrderAsInserts) {
  for (uint32_t n : {0u, 1u, 30u, 31u, 5000u}) {
    MemoryPageStore store(512);
    BTree tree(&store, 3, 4, 0, false, "T");
    ASSERT_TRUE(tree.Create().ok());
    ASSERT_TRUE(tree.Insert(Key4(77), 77).ok());  // replaced by the load
    BTree::BulkLoader loader(&tree);
    for (uint32_t i = 1; i <= n; ++i) ASSERT_TRUE(loader.Add(Key4(i / 2), i).ok());
    ASSERT_TRUE(loader.Finish().ok());
    ExpectValid(tree);
    EXPECT_EQ(*tree.KeyCount(), n);
    std::vector<Entry> walked = WalkForward(tree);
    ASSERT_EQ(walked.size(), n);
    for (uint32_t i = 1; i <= n; ++i) EXPECT_EQ(walked[i - 1].second, i);
    // The loaded tree takes further inserts and removals.
    ASSERT_TRUE(tree.Insert(Key4(0), 100000).ok());
    if (n > 0) {
      ASSERT_TRUE(tree.Remove(Key4(n / 2), n).ok());
    }
    ExpectValid(tree);
  }
  MemoryPageStore store(512);
  BTree tree(&store, 3, 4, 0, false, "T");
  BTree::BulkLoader loader(&tree);
  ASSERT_TRUE(loader.Add(Key4(5), 1).ok());
  EXPECT_EQ(loader.Add(Key4(4), 2).code(), kErrInternal);
}

TEST(IndexBTree, CheckerReportsADamagedPage) {
  MemoryPageStore store(512);
  BTree tree(&store, 1, 4, 0, false, "T");
  ASSERT_TRUE(tree.Create().ok());
  for (uint32_t i = 1; i <= 200; ++i) ASSERT_TRUE(tree.Insert(Key4(i), i).ok());
  ExpectValid(tree);
  // Swap two keys inside the first leaf.
  Result<TreePosition> first = tree.First();
  std::string page;
  ASSERT_TRUE(store.ReadPage(first->page, &page).ok());
  std::swap_ranges(page.begin() + 16, page.begin() + 24, page.begin() + 24);
  ASSERT_TRUE(store.WritePage(first->page, page).ok());
  Status s = tree.CheckTree();
  EXPECT_EQ(s.code(), kErrCorruptFile);
  EXPECT_NE(s.message().find("order"), std::string::npos) << s.message();
  // A page of another tree is refused when read.
  BTree other(&store, 2, 4, tree.root_page(), false, "U");
  EXPECT_EQ(other.KeyCount().status().code(), kErrCorruptFile);
  EXPECT_EQ(BTree::CheckKeyFits(200, 512).code(), kErrInvalidArgument);
  EXPECT_EQ(BTree::CheckKeyFits(8, 768).code(), kErrInvalidArgument);
}

}  // namespace
}  // namespace ace::index
