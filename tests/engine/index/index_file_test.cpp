// Index files over real tables: building, reopening, stale and damaged files, FOR conditions,
// descending, unique and candidate tags, German collation, compound files, maintenance on
// record writes and a fault during a build.
#include "engine/index/index_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "engine/base/error_codes.h"
#include "engine/fields/field_codec.h"
#include "engine/index/key_sorter.h"

namespace ace::index {
namespace {

namespace fs = std::filesystem;

class IndexFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("ace_index_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Result<std::unique_ptr<storage::TableFile>> t = storage::CreateTableFile(
        Path("kinder.dbf"), storage::TableType::kCdx,
        {{"NAME", storage::kFtString, 12, 0, true}, {"NR", storage::kFtNumeric, 6, 0, true}}, {});
    ASSERT_TRUE(t.ok()) << t.status().message();
    table_ = std::move(*t);
  }
  void TearDown() override {
    FaultInjector::Reset();
    table_.reset();
    fs::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  std::vector<std::byte> Image(const std::string& name, int nr) {
    std::vector<std::byte> image = table_->BlankRecord();
    fields::FieldContext name_ctx{table_->fields()[0], table_->type()};
    fields::FieldContext nr_ctx{table_->fields()[1], table_->type()};
    EXPECT_TRUE(fields::SetText(name_ctx, image, name).ok());
    EXPECT_TRUE(fields::SetText(nr_ctx, image, std::to_string(nr)).ok());
    return image;
  }
  uint32_t Append(const std::string& name, int nr) {
    Result<uint32_t> recno = table_->AppendRecord(Image(name, nr).data());
    EXPECT_TRUE(recno.ok());
    return *recno;
  }

  // Record numbers in walking order.
  static std::vector<uint32_t> Walk(Tag& tag) {
    std::vector<uint32_t> out;
    Result<TreePosition> pos = tag.tree().First();
    while (pos.ok() && pos->valid()) {
      out.push_back(tag.tree().EntryAt(*pos)->recno);
      pos = tag.tree().Next(*pos);
    }
    EXPECT_TRUE(pos.ok()) << pos.status().message();
    return out;
  }

  fs::path dir_;
  std::unique_ptr<storage::TableFile> table_;
};

TagDefinition Def(std::string name, std::string key, TagOptions options = {},
                  std::string for_condition = "", std::string collation = "") {
  TagDefinition d;
  d.name = std::move(name);
  d.key_expression = std::move(key);
  d.for_condition = std::move(for_condition);
  d.collation = std::move(collation);
  d.options = options;
  return d;
}

TEST_F(IndexFileTest, BuildsReopensAndSeeksFromTheFile) {
  std::mt19937 rng(3);
  std::vector<std::pair<int, uint32_t>> data;
  for (int i = 0; i < 3000; ++i) {
    int nr = static_cast<int>(rng() % 100000);
    data.emplace_back(nr, Append("X", nr));
  }
  {
    auto index = IndexFile::Create(Path("kinder.cdx"), table_.get(), {Def("NR", "NR")});
    ASSERT_TRUE(index.ok()) << index.status().message();
  }
  auto index = IndexFile::Open(Path("kinder.cdx"), table_.get(), false);
  ASSERT_TRUE(index.ok()) << index.status().message();
  ASSERT_TRUE((*index)->CheckAll().ok());
  Tag* tag = (*index)->FindTag("nr");
  ASSERT_NE(tag, nullptr);
  std::sort(data.begin(), data.end());
  std::vector<uint32_t> want;
  for (auto& d : data) want.push_back(d.second);
  EXPECT_EQ(Walk(*tag), want);
  EXPECT_EQ(*tag->tree().KeyCount(), 3000u);
  // Seek the key of the median record.
  Result<std::string> key =
      expr::EncodeKeyFromText(std::to_string(data[1500].first), tag->key_spec());
  ASSERT_TRUE(key.ok());
  Result<TreePosition> pos = tag->SeekExact(*key);
  ASSERT_TRUE(pos->valid());
  EXPECT_EQ(tag->EntryAt(*pos)->key, *key);
  EXPECT_EQ((*index)->page_size(), 1024u);
}

TEST_F(IndexFileTest, StaleIndexIsReportedAndReindexRepairsIt) {
  for (int i = 0; i < 50; ++i) Append("A" + std::to_string(i), i);
  ASSERT_TRUE(IndexFile::Create(Path("n.ntx"), table_.get(), {Def("", "NAME")}).ok());
  Append("ZZ", 99);  // written without maintaining the index
  auto stale = IndexFile::Open(Path("n.ntx"), table_.get(), false);
  EXPECT_EQ(stale.status().code(), kErrStaleIndex);
  EXPECT_NE(stale.status().message().find("51"), std::string::npos) << stale.status().message();
  auto rebuilt = IndexFile::Create(Path("n.ntx"), table_.get(), {Def("", "NAME")});
  ASSERT_TRUE(rebuilt.ok()) << rebuilt.status().message();
  EXPECT_EQ(*(*rebuilt)->tag(0).tree().KeyCount(), 51u);
  EXPECT_EQ((*rebuilt)->tag(0).name(), "N");
  EXPECT_EQ((*rebuilt)->page_size(), 512u);
  Append("ZY", 98);
  ASSERT_TRUE((*rebuilt)->Reindex().ok());
  EXPECT_EQ(*(*rebuilt)->tag(0).tree().KeyCount(), 52u);
  EXPECT_TRUE(IndexFile::Open(Path("n.ntx"), table_.get(), true).ok());
}

TEST_F(IndexFileTest, DamagedFilesGiveAClearError) {
  for (int i = 0; i < 400; ++i) Append("N" + std::to_string(i), i);
  ASSERT_TRUE(IndexFile::Create(Path("n.ntx"), table_.get(), {Def("", "NAME")}).ok());
  std::string path = Path("n.ntx");
  auto patch = [&](uint64_t offset, char byte) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(byte);
  };
  auto bytes = fs::file_size(path);
  fs::copy_file(path, Path("good.ntx"));
  patch(0, 'X');  // magic
  EXPECT_EQ(IndexFile::Open(path, table_.get(), false).status().code(), kErrCorruptFile);
  fs::copy_file(Path("good.ntx"), path, fs::copy_options::overwrite_existing);
  patch(20, 7);  // header field changed: checksum
  auto bad = IndexFile::Open(path, table_.get(), false);
  EXPECT_EQ(bad.status().code(), kErrCorruptFile);
  EXPECT_NE(bad.status().message().find("n.ntx"), std::string::npos);
  fs::copy_file(Path("good.ntx"), path, fs::copy_options::overwrite_existing);
  fs::resize_file(path, bytes - 100);  // truncated
  EXPECT_EQ(IndexFile::Open(path, table_.get(), false).status().code(), kErrCorruptFile);
  // A tree page overwritten with garbage: opening works, the checker and walking report it.
  fs::copy_file(Path("good.ntx"), path, fs::copy_options::overwrite_existing);
  for (uint64_t i = 512 + 0; i < 512 + 16; ++i) patch(i, static_cast<char>(0x77));
  auto index = IndexFile::Open(path, table_.get(), false);
  ASSERT_TRUE(index.ok()) << index.status().message();
  Status check = (*index)->CheckAll();
  EXPECT_EQ(check.code(), kErrCorruptFile);
  EXPECT_NE(check.message().find("page 1"), std::string::npos) << check.message();
}

TEST_F(IndexFileTest, ForConditionDescendingUniqueAndCandidate) {
  const char* names[] = {"MEIER", "ABEL", "MEIER", "ZANDER", "BRAUN", "ABEL"};
  for (int i = 0; i < 6; ++i) Append(names[i], i * 10);
  TagOptions desc, uniq, cand;
  desc.descending = true;
  uniq.unique = true;
  cand.candidate = true;
  auto index = IndexFile::Create(
      Path("k.cdx"), table_.get(),
      {Def("BIG", "NAME", {}, "NR >= 20"), Def("DOWN", "NAME", desc), Def("ONCE", "NAME", uniq)});
  ASSERT_TRUE(index.ok()) << index.status().message();
  EXPECT_EQ(Walk(*(*index)->FindTag("BIG")), (std::vector<uint32_t>{6, 5, 3, 4}));
  EXPECT_EQ(Walk(*(*index)->FindTag("DOWN")), (std::vector<uint32_t>{4, 1, 3, 5, 2, 6}));
  EXPECT_EQ(Walk(*(*index)->FindTag("ONCE")), (std::vector<uint32_t>{2, 5, 1, 4}));
  // Seeks in a descending tag follow its walking order.
  Tag* down = (*index)->FindTag("DOWN");
  auto key = [&](const char* text) { return *expr::EncodeKeyFromText(text, down->key_spec()); };
  EXPECT_EQ(down->EntryAt(*down->SeekNearest(key("C")))->recno, 5u);  // first <= "C": BRAUN
  EXPECT_EQ(down->EntryAt(*down->SeekExact(key("ME")))->recno, 1u);
  EXPECT_EQ(down->EntryAt(*down->SeekLast(key("MEIER")))->recno, 3u);
  EXPECT_FALSE(down->SeekExact(key("C"))->valid());
  EXPECT_EQ(down->EntryAt(*down->SeekNearest(key("ZZZ")))->recno, 4u);
  EXPECT_FALSE(down->SeekNearest(key("0"))->valid());  // past the end of the reversed order
  // Candidate: equal keys refuse the build, naming the tag, and leave the file as it was.
  auto refused = IndexFile::Create(Path("k.cdx"), table_.get(), {Def("KANDI", "NAME", cand)});
  EXPECT_EQ(refused.status().code(), kErrDuplicateKey);
  EXPECT_NE(refused.status().message().find("KANDI"), std::string::npos);
  auto again = IndexFile::Open(Path("k.cdx"), table_.get(), false);
  ASSERT_TRUE(again.ok());
  EXPECT_EQ((*again)->tag_count(), 3u);
  EXPECT_FALSE(fs::exists(Path("k.cdx.new")));
  // Adding a tag to the compound file keeps the others; an 11-character name is refused.
  auto more = IndexFile::Create(Path("k.cdx"), table_.get(), {Def("NUMMER", "NR", cand)});
  ASSERT_TRUE(more.ok()) << more.status().message();
  EXPECT_EQ((*more)->tag_count(), 4u);
  EXPECT_EQ(Walk(*(*more)->FindTag("BIG")), (std::vector<uint32_t>{6, 5, 3, 4}));
  EXPECT_EQ(
      IndexFile::Create(Path("k.cdx"), table_.get(), {Def("ELEVENCHARS", "NR")}).status().code(),
      kErrNameTooLong);
}

TEST_F(IndexFileTest, GermanCollationOrdersUmlautsWithTheirBaseLetters) {
  const char* names[] = {"Zorn",
                         "\xD6zt\xFCrk",
                         "Otto",
                         "\xC4nne",
                         "Anton",
                         "Ulm",
                         "\xFC"
                         "ber"};
  for (int i = 0; i < 7; ++i) Append(names[i], i);
  auto index = IndexFile::Create(Path("g.adi"), table_.get(),
                                 {Def("NAME", "NAME", {}, "", "GERMAN_VFP_CI_AS_1252")});
  ASSERT_TRUE(index.ok()) << index.status().message();
  // Anne (Ä) sorts with A, Öztürk with O, über with U: Änne Anton Otto Öztürk über Ulm Zorn.
  EXPECT_EQ(Walk((*index)->tag(0)), (std::vector<uint32_t>{4, 5, 3, 2, 7, 6, 1}));
  auto machine = IndexFile::Create(Path("m.adi"), table_.get(), {Def("NAME", "NAME")});
  ASSERT_TRUE(machine.ok());
  EXPECT_EQ(Walk((*machine)->tag(0)), (std::vector<uint32_t>{5, 3, 6, 1, 4, 2, 7}));
}

TEST_F(IndexFileTest, RecordWritesMaintainEveryTag) {
  for (int i = 1; i <= 20; ++i) Append("N" + std::to_string(i), i);
  TagOptions cand;
  cand.candidate = true;
  auto index = IndexFile::Create(Path("k.cdx"), table_.get(),
                                 {Def("NAME", "NAME"), Def("NR", "NR", cand, "NR < 100")});
  ASSERT_TRUE(index.ok());
  IndexFile* files[] = {index->get()};
  // Change record 5's number to 50 and append record 21 with a number beyond the FOR range.
  std::vector<std::byte> old_image = Image("N5", 5), new_image = Image("N5", 50);
  ASSERT_TRUE(table_->WriteRecord(5, new_image.data()).ok());
  ASSERT_TRUE(UpdateIndexes(files, *table_, 5, old_image.data(), new_image.data()).ok());
  uint32_t r21 = Append("AAA", 500);
  ASSERT_TRUE(UpdateIndexes(files, *table_, r21, nullptr, Image("AAA", 500).data()).ok());
  Tag* nr = (*index)->FindTag("NR");
  EXPECT_EQ(*nr->tree().KeyCount(), 20u);
  EXPECT_EQ(Walk(*nr).back(), 5u);
  EXPECT_EQ(Walk(*(*index)->FindTag("NAME")).front(), r21);
  // A duplicate number is refused before any tag changes.
  std::vector<std::byte> dup = Image("CHANGED", 7);
  Status refused = UpdateIndexes(files, *table_, 8, Image("N8", 8).data(), dup.data());
  EXPECT_EQ(refused.code(), kErrDuplicateKey);
  EXPECT_NE(refused.message().find("NR"), std::string::npos);
  EXPECT_EQ(Walk(*(*index)->FindTag("NAME")).size(), 21u);
  auto name_key = *expr::EncodeKeyFromText("N8", (*index)->FindTag("NAME")->key_spec());
  EXPECT_TRUE((*index)->FindTag("NAME")->SeekExact(name_key)->valid());
  ASSERT_TRUE((*index)->CheckAll().ok());
  // The flushed file matches the table and reopens.
  index->reset();
  auto reopened = IndexFile::Open(Path("k.cdx"), table_.get(), false);
  ASSERT_TRUE(reopened.ok()) << reopened.status().message();
  EXPECT_EQ(Walk(*(*reopened)->FindTag("NR")).back(), 5u);
  ASSERT_TRUE((*reopened)->Zap().ok());
  EXPECT_EQ(*(*reopened)->FindTag("NAME")->tree().KeyCount(), 0u);
  EXPECT_TRUE((*reopened)->CheckAll().ok());
}

TEST_F(IndexFileTest, FaultDuringABuildLeavesThePreviousFileInUse) {
  for (int i = 0; i < 2000; ++i) Append("K" + std::to_string(i), i);
  ASSERT_TRUE(IndexFile::Create(Path("k.cdx"), table_.get(), {Def("NAME", "NAME")}).ok());
  bool failed_once = false;
  for (uint64_t nth : {1, 3, 10}) {
    FaultInjector::FailAt(IoKind::kWrite, nth, kErrDiskFull);
    auto r = IndexFile::Create(Path("k.cdx"), table_.get(), {Def("NR", "NR")});
    FaultInjector::Reset();
    if (!r.ok()) {
      failed_once = true;
      EXPECT_EQ(r.status().code(), kErrDiskFull);
    }
    EXPECT_FALSE(fs::exists(Path("k.cdx.new")));
  }
  EXPECT_TRUE(failed_once);
  auto index = IndexFile::Open(Path("k.cdx"), table_.get(), false);
  ASSERT_TRUE(index.ok()) << index.status().message();
  ASSERT_TRUE((*index)->CheckAll().ok());
  EXPECT_EQ(*(*index)->FindTag("NAME")->tree().KeyCount(), 2000u);
}

// Everything the sorter hands out, in the order it does.
std::vector<std::string> Drained(KeySorter& sorter) {
  std::vector<std::string> got;
  Status s = sorter.Drain([&](std::string_view e) {
    got.emplace_back(e);
    return Status::Ok();
  });
  EXPECT_TRUE(s.ok()) << s.message();
  return got;
}

// The entries given, in the order the sorter must hand them out: by their unsigned bytes.
std::vector<std::string> ByteOrder(std::vector<std::string> entries) {
  std::sort(entries.begin(), entries.end());  // std::string compares characters as unsigned
  return entries;
}

TEST_F(IndexFileTest, BuildSortsInRunsWhenKeysExceedMemory) {
  KeySorter sorter(8, Path("runs"), 800);  // 100 entries per run
  std::mt19937_64 rng(11);
  std::vector<std::string> want;
  for (int i = 0; i < 5000; ++i) {
    uint64_t v = rng();
    std::string e(reinterpret_cast<const char*>(&v), 8);
    want.push_back(e);
    ASSERT_TRUE(sorter.Add(e).ok());
  }
  EXPECT_EQ(Drained(sorter), ByteOrder(want));
  EXPECT_TRUE(fs::exists(Path("runs.0")));
}

TEST_F(IndexFileTest, SorterOrdersLongEntriesThatShareTheirFirstBytes) {
  // Entries of 14 bytes whose first eight bytes take only four values: the order is decided by
  // the bytes after them, in memory and across runs.
  for (size_t memory : {size_t{1} << 20, size_t{14 * 64}}) {
    KeySorter sorter(14, Path("long"), memory);
    std::mt19937 rng(5);
    std::vector<std::string> want;
    for (int i = 0; i < 3000; ++i) {
      std::string e(14, '\0');
      std::memset(e.data(), "\x01\x7f\x80\xff"[rng() % 4], 8);
      for (size_t k = 8; k < e.size(); ++k) e[k] = static_cast<char>(rng());
      want.push_back(e);
      ASSERT_TRUE(sorter.Add(e).ok());
    }
    EXPECT_EQ(Drained(sorter), ByteOrder(want)) << "memory " << memory;
  }
}

TEST_F(IndexFileTest, SorterOrdersEntriesThatDifferOnlyAtTheirEndsOrNotAtAll) {
  // 29-byte entries (not a multiple of eight) of few keys: a key shared by many entries, told
  // apart only by the last bytes, or not at all; and a lone entry among them. In one buffer,
  // with the buffer reserved, and across runs.
  for (size_t memory : {size_t{1} << 20, size_t{29 * 50}}) {
    for (size_t reserve : {size_t{0}, size_t{100000}}) {
      KeySorter sorter(29, Path("same"), memory);
      if (reserve != 0) sorter.Reserve(reserve);
      std::mt19937 rng(17);
      std::vector<std::string> want;
      for (int i = 0; i < 2000; ++i) {
        std::string e(29, "AB"[rng() % 2]);
        if (i % 3 != 0) e[28] = static_cast<char>(rng());  // every third entry a plain duplicate
        if (i % 5 == 0) e[27] = static_cast<char>(rng());
        if (i == 999) e.assign(29, '\0');
        want.push_back(e);
        ASSERT_TRUE(sorter.Add(e).ok());
      }
      EXPECT_EQ(Drained(sorter), ByteOrder(want)) << "memory " << memory << ", reserved " << reserve;
    }
  }
}

TEST_F(IndexFileTest, TreesLargerThanThePageCacheStayWholeThroughWritesAndReopens) {
  // A cache of 64 pages: building, seeking and maintaining the tree evict pages all the time,
  // changed ones among them.
  const size_t saved = PageCacheBytes();
  SetPageCacheBytes(1);
  struct Restore {
    size_t bytes;
    ~Restore() { SetPageCacheBytes(bytes); }
  } restore{saved};
  std::mt19937 rng(23);
  std::vector<int> nr;
  for (int i = 1; i <= 3000; ++i) {
    nr.push_back(static_cast<int>(rng() % 900000));
    Append("N" + std::to_string(i), nr.back());
  }
  CreateIndexOptions small;
  small.page_size = 512;
  auto index = IndexFile::Create(Path("k.cdx"), table_.get(), {Def("NR", "NR")}, small);
  ASSERT_TRUE(index.ok()) << index.status().message();
  Tag* tag = (*index)->FindTag("NR");
  IndexFile* files[] = {index->get()};
  // Every tenth record gets another number, then a few hundred records are appended.
  for (uint32_t recno = 1; recno <= 3000; recno += 10) {
    const int fresh = static_cast<int>(rng() % 900000);
    std::vector<std::byte> before = Image("N" + std::to_string(recno), nr[recno - 1]);
    std::vector<std::byte> after = Image("N" + std::to_string(recno), fresh);
    ASSERT_TRUE(table_->WriteRecord(recno, after.data()).ok());
    ASSERT_TRUE(UpdateIndexes(files, *table_, recno, before.data(), after.data()).ok());
    nr[recno - 1] = fresh;
  }
  for (int i = 0; i < 400; ++i) {
    nr.push_back(static_cast<int>(rng() % 900000));
    const uint32_t recno = Append("M" + std::to_string(i), nr.back());
    ASSERT_TRUE(UpdateIndexes(files, *table_, recno, nullptr,
                              Image("M" + std::to_string(i), nr.back()).data())
                    .ok());
  }
  auto expected = [&] {
    std::vector<std::pair<int, uint32_t>> order;
    for (size_t i = 0; i < nr.size(); ++i) order.emplace_back(nr[i], static_cast<uint32_t>(i + 1));
    std::sort(order.begin(), order.end());
    std::vector<uint32_t> out;
    for (const auto& [value, recno] : order) out.push_back(recno);
    return out;
  };
  ASSERT_TRUE((*index)->CheckAll().ok());
  EXPECT_EQ(Walk(*tag), expected());
  // Exact seeks of every tenth number find a record holding it.
  for (size_t i = 0; i < nr.size(); i += 10) {
    auto key = expr::EncodeKeyFromText(std::to_string(nr[i]), tag->key_spec());
    ASSERT_TRUE(key.ok());
    Result<TreePosition> pos = tag->SeekExact(*key);
    ASSERT_TRUE(pos.ok() && pos->valid()) << nr[i];
    EXPECT_EQ(nr[tag->EntryAt(*pos)->recno - 1], nr[i]);
  }
  index->reset();
  auto reopened = IndexFile::Open(Path("k.cdx"), table_.get(), false);
  ASSERT_TRUE(reopened.ok()) << reopened.status().message();
  ASSERT_TRUE((*reopened)->CheckAll().ok());
  EXPECT_EQ(Walk(*(*reopened)->FindTag("NR")), expected());
}

}  // namespace
}  // namespace ace::index
