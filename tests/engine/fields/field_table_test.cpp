// The codec on record images of real tables: values written into a blank record of a new
// Visual FoxPro and dBase table, appended, and read back after the table was opened again.
#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/fields/field_codec.h"
#include "engine/storage/table_file.h"

namespace ace::fields {
namespace {

using namespace storage;
namespace fs = std::filesystem;

class FieldTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("fields_table_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The table's _NullFlags: the last bytes of the record, as many as its bits need.
  static FieldDesc NullFlagsOf(const TableFile& t) {
    int highest = -1;
    for (const FieldDesc& f : t.fields()) {
      highest = std::max<int>(highest, std::max(f.null_bit, f.varlen_bit));
    }
    FieldDesc nf;
    nf.name = "_NullFlags";
    nf.length = highest < 0 ? 0 : static_cast<uint32_t>(highest / 8 + 1);
    nf.offset = t.record_length() - nf.length;
    return nf;
  }

  fs::path dir_;
};

TEST_F(FieldTableTest, VisualFoxProValuesAndNullsSurviveTheFile) {
  const std::string path = (dir_ / "kinder.dbf").string();
  std::vector<FieldSpec> specs = {
      {"BETRAG", kFtNumeric, 8, 2, true},  {"NOTIZ", kFtVarcharFox, 10, 0, true},
      {"NAME", kFtString, 6, 0, false},    {"ZEIT", kFtTimestamp, 8, 0, true},
      {"ANZAHL", kFtInteger, 4, 0, false}, {"PREIS", kFtMoney, 8, 0, true},
  };
  auto created = CreateTableFile(path, TableType::kVfp, specs, CreateOptions{});
  ASSERT_TRUE(created.ok()) << created.status().message();
  std::unique_ptr<TableFile> table = std::move(created.value());
  FieldDesc null_flags = NullFlagsOf(*table);
  auto ctx = [&](const TableFile& t, size_t i) {
    return FieldContext{t.fields()[i], TableType::kVfp, &null_flags, kCharTypeAnsi, nullptr};
  };

  std::vector<std::byte> image = table->BlankRecord();
  Image img(image);
  ASSERT_TRUE(SetDouble(ctx(*table, 0), img, -12.345).ok());
  ASSERT_TRUE(SetText(ctx(*table, 1), img, "abc").ok());
  ASSERT_TRUE(SetText(ctx(*table, 2), img, "M\xFCller").ok());
  ASSERT_TRUE(SetNull(ctx(*table, 3), img).ok());
  ASSERT_TRUE(SetLong(ctx(*table, 4), img, 42).ok());
  ASSERT_TRUE(SetText(ctx(*table, 5), img, "19.99").ok());
  ASSERT_TRUE(table->AppendRecord(image.data()).ok());
  ASSERT_TRUE(table->Flush().ok());
  table.reset();

  auto opened = OpenTableFile(path, TableType::kVfp, OpenOptions{});
  ASSERT_TRUE(opened.ok()) << opened.status().message();
  std::unique_ptr<TableFile> again = std::move(opened.value());
  std::vector<std::byte> read(again->record_length());
  ASSERT_TRUE(again->ReadRecord(1, read.data()).ok());
  ConstImage r(read);
  EXPECT_EQ(*GetText(ctx(*again, 0), r), "  -12.35");
  EXPECT_EQ(*GetText(ctx(*again, 1), r), "abc");
  uint32_t full = 7;
  Image rw(read);
  ASSERT_TRUE(AccessVfpSystemField(ctx(*again, 1), rw, kVfpReadFullLength, &full).ok());
  EXPECT_EQ(full, 0u);
  EXPECT_EQ(*GetText(ctx(*again, 2), r, kTrimRight), "M\xFCller");
  EXPECT_TRUE(*IsNull(ctx(*again, 3), r));
  EXPECT_FALSE(*IsNull(ctx(*again, 0), r));
  EXPECT_EQ(*GetLong(ctx(*again, 4), r), 42);
  EXPECT_EQ(*GetText(ctx(*again, 5), r), "19.9900");
}

TEST_F(FieldTableTest, AdtBlankRecordsAreNullAndValuesSurviveTheFile) {
  const std::string path = (dir_ / "werte.adt").string();
  std::vector<FieldSpec> specs = {
      {"Anzahl", kFtInteger, 4, 0, true}, {"Name", kFtString, 6, 0, true},
      {"Titel", kFtNVarchar, 5, 0, true}, {"Preis", kFtMoney, 8, 0, true},
      {"Tag", kFtDate, 4, 0, true},       {"Zeit", kFtTimestamp, 8, 0, true},
      {"Aktiv", kFtLogical, 1, 0, true},  {"Wert", kFtDouble, 8, 0, true},
      {"Klein", kFtShortInt, 2, 0, true}, {"Uhr", kFtTime, 4, 0, true},
      {"Summe", kFtNumeric, 8, 2, true},
  };
  auto created = CreateTableFile(path, TableType::kAdt, specs, CreateOptions{});
  ASSERT_TRUE(created.ok()) << created.status().message();
  std::unique_ptr<TableFile> table = std::move(created.value());
  auto ctx = [](const TableFile& t, size_t i) {
    return FieldContext{t.fields()[i], TableType::kAdt, nullptr, kCharTypeAnsi, nullptr};
  };
  std::vector<std::byte> image = table->BlankRecord();
  for (size_t i = 0; i < table->fields().size(); ++i) {
    EXPECT_TRUE(*IsNull(ctx(*table, i), ConstImage(image))) << table->fields()[i].name;
  }
  Image img(image);
  ASSERT_TRUE(SetLong(ctx(*table, 0), img, -5).ok());
  ASSERT_TRUE(SetText(ctx(*table, 1), img, "abc").ok());
  ASSERT_TRUE(SetUtf16(ctx(*table, 2), img, u"Grüß").ok());
  ASSERT_TRUE(SetText(ctx(*table, 3), img, "-0.0001").ok());
  ASSERT_TRUE(SetJulian(ctx(*table, 4), img, 2415019).ok());
  ASSERT_TRUE(SetTimestamp(ctx(*table, 5), img, 2451545, 43200000).ok());
  ASSERT_TRUE(SetLogical(ctx(*table, 6), img, false).ok());
  ASSERT_TRUE(SetDouble(ctx(*table, 7), img, 0.25).ok());
  ASSERT_TRUE(SetShort(ctx(*table, 8), img, -1).ok());
  ASSERT_TRUE(SetMilliseconds(ctx(*table, 9), img, 1).ok());
  ASSERT_TRUE(SetDouble(ctx(*table, 10), img, 1234.5).ok());
  auto appended = table->AppendRecord(image.data());
  ASSERT_TRUE(appended.ok()) << appended.status().message();
  ASSERT_TRUE(table->Flush().ok());
  table.reset();

  auto opened = OpenTableFile(path, TableType::kAdt, OpenOptions{});
  ASSERT_TRUE(opened.ok()) << opened.status().message();
  std::unique_ptr<TableFile> again = std::move(opened.value());
  std::vector<std::byte> read(again->record_length());
  ASSERT_TRUE(again->ReadRecord(1, read.data()).ok());
  ConstImage r(read);
  for (size_t i = 0; i < again->fields().size(); ++i) {
    EXPECT_FALSE(*IsNull(ctx(*again, i), r)) << again->fields()[i].name;
  }
  EXPECT_EQ(*GetLong(ctx(*again, 0), r), -5);
  EXPECT_EQ(*GetText(ctx(*again, 1), r), "abc   ");
  EXPECT_EQ(*GetUtf16(ctx(*again, 2), r), u"Grüß");
  EXPECT_EQ(*GetText(ctx(*again, 3), r), "-0.0001");
  EXPECT_EQ(*GetText(ctx(*again, 4), r), "12/30/1899");
  EXPECT_EQ(*GetText(ctx(*again, 5), r), "01/01/2000 12:00:00.000");
  EXPECT_FALSE(*GetLogical(ctx(*again, 6), r));
  EXPECT_EQ(*GetDouble(ctx(*again, 7), r), 0.25);
  EXPECT_EQ(*GetShort(ctx(*again, 8), r), -1);
  EXPECT_EQ(*GetMilliseconds(ctx(*again, 9), r), 1);
  EXPECT_EQ(*GetText(ctx(*again, 10), r), " 1234.50");
}

TEST_F(FieldTableTest, DbaseTableOfTheOemCharacterType) {
  const std::string path = (dir_ / "oem.dbf").string();
  std::vector<FieldSpec> specs = {{"NAME", kFtString, 8, 0, false},
                                  {"GEBURT", kFtDate, 8, 0, false},
                                  {"AKTIV", kFtLogical, 1, 0, false}};
  CreateOptions options;
  options.char_type = kCharTypeOem;
  auto created = CreateTableFile(path, TableType::kNtx, specs, options);
  ASSERT_TRUE(created.ok()) << created.status().message();
  std::unique_ptr<TableFile> table = std::move(created.value());
  auto ctx = [&](size_t i) {
    return FieldContext{table->fields()[i], TableType::kNtx, nullptr, kCharTypeOem, nullptr};
  };
  std::vector<std::byte> image = table->BlankRecord();
  EXPECT_TRUE(*IsNull(ctx(1), ConstImage(image)));  // a blank record has no date
  ASSERT_TRUE(SetText(ctx(0), Image(image), "J\xFCrgen").ok());
  ASSERT_TRUE(SetJulian(ctx(1), Image(image), 2455506).ok());
  ASSERT_TRUE(SetLogical(ctx(2), Image(image), true).ok());
  ASSERT_TRUE(table->AppendRecord(image.data()).ok());
  ASSERT_TRUE(table->Flush().ok());

  std::vector<std::byte> read(table->record_length());
  ASSERT_TRUE(table->ReadRecord(1, read.data()).ok());
  const FieldDesc& name = table->fields()[0];
  EXPECT_EQ(static_cast<uint8_t>(read[name.offset + 1]), 0x81);  // ü in code page 850
  EXPECT_EQ(*GetText(ctx(0), ConstImage(read), kTrimRight), "J\xFCrgen");
  EXPECT_EQ(*GetText(ctx(1), ConstImage(read)), "11/05/2010");
  EXPECT_TRUE(*GetLogical(ctx(2), ConstImage(read)));
}

}  // namespace
}  // namespace ace::fields
