// Null and empty forms per type and format, Visual FoxPro null marks and system-field access,
// variable-length fields, raw bytes, memo texts and fields that do not fit their image.
#include <gtest/gtest.h>

#include "engine/base/error_codes.h"
#include "engine/fields/field_codec.h"
#include "tests/engine/fields/field_test_util.h"

namespace ace::fields {
namespace {

using namespace storage;
using testing::Le32;
using testing::OneField;

struct NullCase {
  TableType table;
  uint16_t type;
  uint32_t length;
  std::string null_bytes;  // what SetNull writes over the field (and a length word after it)
};

TEST(NullForms, SetNullWritesTheFormatsBytesAndReadsBackNull) {
  const std::string z4(4, '\0'), z8(8, '\0'), b4(4, ' ');
  const std::vector<NullCase> cases = {
      {TableType::kAdt, kFtLogical, 1, " "},
      {TableType::kAdt, kFtNumeric, 4, z4},
      {TableType::kAdt, kFtString, 4, z4},
      {TableType::kAdt, kFtNChar, 4, z4},
      {TableType::kAdt, kFtRaw, 4, z4},
      {TableType::kAdt, kFtAutoInc, 4, Le32(0xFFFFFFFFu)},
      {TableType::kAdt, kFtModTime, 8, Le32(0) + Le32(0xFFFFFFFFu)},
      {TableType::kAdt, kFtRowVersion, 8, Le32(0) + Le32(0x80000000u)},
      {TableType::kAdt, kFtCurDouble, 8, Le32(32) + Le32(0x80000000u)},
      {TableType::kVfp, kFtLogical, 1, " "},
      {TableType::kVfp, kFtNumeric, 4, b4},
      {TableType::kVfp, kFtDouble, 8, z8},
      {TableType::kVfp, kFtNChar, 4, std::string("\x20\0\x20\0", 4)},
      {TableType::kCdx, kFtLogical, 1, " "},
      {TableType::kCdx, kFtNumeric, 4, b4},
      {TableType::kCdx, kFtString, 4, b4},
      {TableType::kCdx, kFtCompactDate, 3, std::string(3, '\0')},
      {TableType::kNtx, kFtNChar, 4, std::string("\x20\0\x20\0", 4)},
  };
  for (const NullCase& c : cases) {
    OneField f(c.table, c.type, c.length, 0, true);
    f.Put(std::string(c.length, 'x'));
    ASSERT_TRUE(SetNull(f.ctx(), f.img()).ok()) << c.type;
    EXPECT_EQ(f.Bytes(), c.null_bytes) << "table " << int(c.table) << " type " << c.type;
    EXPECT_TRUE(*IsNull(f.ctx(), f.cimg())) << "table " << int(c.table) << " type " << c.type;
    EXPECT_TRUE(*IsEmpty(f.ctx(), f.cimg()));
  }
}

TEST(NullForms, VariableFieldsUseTheirLengthWord) {
  for (uint16_t type : {kFtVarcharFox, kFtVarbinaryFox, kFtNVarchar}) {
    OneField f(TableType::kAdt, type, 6);
    ASSERT_TRUE(SetText(f.ctx(), f.img(), "ab").ok());
    EXPECT_FALSE(*IsNull(f.ctx(), f.cimg()));
    ASSERT_TRUE(SetNull(f.ctx(), f.img()).ok());
    EXPECT_EQ(f.Bytes(2).substr(6), "\xFF\xFF") << type;
    EXPECT_TRUE(*IsNull(f.ctx(), f.cimg()));
    EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "");
  }
  OneField n(TableType::kCdx, kFtNVarchar, 4);
  ASSERT_TRUE(SetNull(n.ctx(), n.img()).ok());
  EXPECT_EQ(n.Bytes(2), std::string("\x20\0\x20\0\xFF\xFF", 6));
  EXPECT_TRUE(*IsNull(n.ctx(), n.cimg()));
}

TEST(NullForms, AdtTellsEmptyFromNull) {
  struct Case {
    uint16_t type;
    uint32_t length;
    std::string empty_bytes;
  };
  const std::vector<Case> cases = {
      {kFtLogical, 1, "F"},
      {kFtNumeric, 5, "  0.0"},
      {kFtString, 3, "   "},
      {kFtInteger, 4, Le32(0)},
      {kFtShortInt, 2, std::string(2, '\0')},
      {kFtDouble, 8, std::string(8, '\0')},
      {kFtMoney, 8, std::string(8, '\0')},
      {kFtNChar, 4, std::string("\x20\0\x20\0", 4)},
  };
  for (const Case& c : cases) {
    OneField f(TableType::kAdt, c.type, c.length, c.type == kFtNumeric ? 1 : 0);
    ASSERT_TRUE(SetNull(f.ctx(), f.img()).ok());
    ASSERT_TRUE(SetEmpty(f.ctx(), f.img()).ok());
    EXPECT_EQ(f.Bytes(), c.empty_bytes) << c.type;
    EXPECT_FALSE(*IsNull(f.ctx(), f.cimg())) << c.type;
    EXPECT_TRUE(*IsEmpty(f.ctx(), f.cimg())) << c.type;
  }
  // An empty text written as blanks reads as the empty text, not null; zero bytes are null.
  OneField s(TableType::kAdt, kFtString, 4);
  ASSERT_TRUE(SetText(s.ctx(), s.img(), "").ok());
  EXPECT_FALSE(*IsNull(s.ctx(), s.cimg()));
  ASSERT_TRUE(SetText(s.ctx(), s.img(), std::string(4, '\0')).ok());
  EXPECT_TRUE(*IsNull(s.ctx(), s.cimg()));
}

TEST(NullForms, DbfEmptyIsItsNull) {
  OneField f(TableType::kNtx, kFtNumeric, 5, 1);
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), 3).ok());
  ASSERT_TRUE(SetEmpty(f.ctx(), f.img()).ok());
  EXPECT_EQ(f.Bytes(), "     ");
  EXPECT_TRUE(*IsNull(f.ctx(), f.cimg()));
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "  ").ok());  // a blank number text is empty
  EXPECT_EQ(f.Bytes(), "     ");
  OneField c(TableType::kCdx, kFtString, 3);
  ASSERT_TRUE(SetText(c.ctx(), c.img(), "").ok());
  EXPECT_TRUE(*IsNull(c.ctx(), c.cimg()));  // DBF character fields of blanks are null
  EXPECT_EQ(*GetText(c.ctx(), c.cimg()), "   ");
}

TEST(VfpNullFlags, NullMarkSetByNullAndClearedByEveryValue) {
  OneField f(TableType::kVfp, kFtNumeric, 6, 2, true);
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), 4.25).ok());
  EXPECT_FALSE(f.NullBit());
  ASSERT_TRUE(SetNull(f.ctx(), f.img()).ok());
  EXPECT_EQ(f.Bytes(), "      ");
  EXPECT_TRUE(f.NullBit());
  EXPECT_TRUE(*IsNull(f.ctx(), f.cimg()));
  uint32_t flag = 7;
  ASSERT_TRUE(AccessVfpSystemField(f.ctx(), f.img(), kVfpReadNull, &flag).ok());
  EXPECT_EQ(flag, 1u);
  ASSERT_TRUE(SetDouble(f.ctx(), f.img(), 4.25).ok());
  EXPECT_FALSE(f.NullBit());
  EXPECT_FALSE(*IsNull(f.ctx(), f.cimg()));
  ASSERT_TRUE(SetNull(f.ctx(), f.img()).ok());
  ASSERT_TRUE(SetEmpty(f.ctx(), f.img()).ok());  // zero, not null
  EXPECT_EQ(f.Bytes(), "  0.00");
  EXPECT_FALSE(f.NullBit());
  EXPECT_FALSE(*IsNull(f.ctx(), f.cimg()));
  EXPECT_TRUE(*IsEmpty(f.ctx(), f.cimg()));

  // A character field holding a value is null only by its mark.
  OneField c(TableType::kVfp, kFtString, 3, 0, true);
  ASSERT_TRUE(SetText(c.ctx(), c.img(), "abc").ok());
  flag = 0xFFFF;
  ASSERT_TRUE(AccessVfpSystemField(c.ctx(), c.img(), kVfpWriteNull, &flag).ok());
  EXPECT_TRUE(*IsNull(c.ctx(), c.cimg()));
  flag = 0;
  ASSERT_TRUE(AccessVfpSystemField(c.ctx(), c.img(), kVfpWriteNull, &flag).ok());
  EXPECT_FALSE(*IsNull(c.ctx(), c.cimg()));
}

TEST(VfpNullFlags, FieldsWithoutAMarkAndOtherTables) {
  OneField f(TableType::kVfp, kFtInteger, 4);  // not nullable
  ASSERT_TRUE(SetNull(f.ctx(), f.img()).ok());
  EXPECT_EQ(f.Bytes(), Le32(0));
  EXPECT_FALSE(f.NullBit());
  EXPECT_FALSE(*IsNull(f.ctx(), f.cimg()));
  uint32_t flag = 1;
  EXPECT_EQ(AccessVfpSystemField(f.ctx(), f.img(), kVfpWriteNull, &flag).code(),
            kErrInvalidArgument);
  ASSERT_TRUE(AccessVfpSystemField(f.ctx(), f.img(), kVfpReadNull, &flag).ok());
  EXPECT_EQ(flag, 0u);
  ASSERT_TRUE(AccessVfpSystemField(f.ctx(), f.img(), kVfpReadFullLength, &flag).ok());
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(AccessVfpSystemField(f.ctx(), f.img(), 9, &flag).code(), kErrInvalidArgument);
  EXPECT_EQ(AccessVfpSystemField(f.ctx(), f.img(), kVfpReadNull, nullptr).code(), kErrNullPointer);
  OneField adt(TableType::kAdt, kFtInteger, 4);
  EXPECT_EQ(AccessVfpSystemField(adt.ctx(), adt.img(), kVfpReadNull, &flag).code(),
            kErrNotSupported);
}

TEST(VarcharField, VfpShorterValuesKeepTheirLengthInTheLastByte) {
  OneField f(TableType::kVfp, kFtVarcharFox, 10, 0, true);
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "abc ").ok());
  EXPECT_EQ(f.Bytes(), std::string("abc      \x04", 10));
  EXPECT_TRUE(f.LengthBit());
  uint32_t full = 9;
  ASSERT_TRUE(AccessVfpSystemField(f.ctx(), f.img(), kVfpReadFullLength, &full).ok());
  EXPECT_EQ(full, 0u);
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "abc ");
  EXPECT_EQ(*GetRaw(f.ctx(), f.cimg()), (std::vector<uint8_t>{'a', 'b', 'c', ' '}));
  EXPECT_EQ(*DataLength(f.ctx(), f.cimg(), kTrimRight), 3u);

  ASSERT_TRUE(SetText(f.ctx(), f.img(), "0123456789").ok());  // exactly the field
  EXPECT_EQ(f.Bytes(), "0123456789");
  EXPECT_FALSE(f.LengthBit());
  ASSERT_TRUE(AccessVfpSystemField(f.ctx(), f.img(), kVfpReadFullLength, &full).ok());
  EXPECT_EQ(full, 1u);
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "0123456789");
  ASSERT_TRUE(SetText(f.ctx(), f.img(), "0123456789ABC").ok());  // cut to the field
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "0123456789");

  full = 0;  // the components mark a shorter value themselves
  ASSERT_TRUE(AccessVfpSystemField(f.ctx(), f.img(), kVfpWriteFullLength, &full).ok());
  EXPECT_TRUE(f.LengthBit());
  f.image[10] = std::byte{12};  // a stored length beyond the field
  EXPECT_EQ(GetText(f.ctx(), f.cimg()).status().code(), kErrCorruptFile);

  ASSERT_TRUE(SetEmpty(f.ctx(), f.img()).ok());
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()), "");
  EXPECT_FALSE(*IsNull(f.ctx(), f.cimg()));
  EXPECT_TRUE(*IsEmpty(f.ctx(), f.cimg()));
}

TEST(VarcharField, AdtAndDbfLengths) {
  OneField adt(TableType::kAdt, kFtVarcharFox, 6);
  ASSERT_TRUE(SetText(adt.ctx(), adt.img(), "xy").ok());
  EXPECT_EQ(adt.Bytes(2), std::string("xy    \x02\x00", 8));
  EXPECT_EQ(*GetText(adt.ctx(), adt.cimg()), "xy");
  adt.Put(std::string("xy    \x07\x00", 8));
  EXPECT_EQ(GetText(adt.ctx(), adt.cimg()).status().code(), kErrCorruptFile);

  OneField nv(TableType::kAdt, kFtNVarchar, 6);
  ASSERT_TRUE(SetUtf16(nv.ctx(), nv.img(), u"ß").ok());
  EXPECT_EQ(nv.Bytes(2), std::string("\xDF\0\x20\0\x20\0\x01\0", 8));
  EXPECT_EQ(*GetUtf16(nv.ctx(), nv.cimg()), u"ß");
  EXPECT_EQ(*DataLength(nv.ctx(), nv.cimg()), 2u);

  OneField dbf(TableType::kCdx, kFtVarcharFox, 4);  // the whole field is the value
  ASSERT_TRUE(SetText(dbf.ctx(), dbf.img(), "ab").ok());
  EXPECT_EQ(*GetText(dbf.ctx(), dbf.cimg()), "ab  ");

  OneField bin(TableType::kVfp, kFtVarbinaryFox, 5);
  const std::vector<uint8_t> data = {0, 1, 2};
  ASSERT_TRUE(SetRaw(bin.ctx(), bin.img(), data).ok());
  EXPECT_EQ(*GetRaw(bin.ctx(), bin.cimg()), data);
  EXPECT_EQ(*DataLength(bin.ctx(), bin.cimg()), 3u);
}

TEST(RawWrites, TakeTheStorageFormWithTheTypesLengthRules) {
  OneField i(TableType::kAdt, kFtInteger, 4);
  const std::vector<uint8_t> five = {5, 0, 0, 0};
  ASSERT_TRUE(SetRaw(i.ctx(), i.img(), five).ok());
  EXPECT_EQ(*GetLong(i.ctx(), i.cimg()), 5);
  EXPECT_EQ(SetRaw(i.ctx(), i.img(), std::vector<uint8_t>{1, 2}).code(), kErrInvalidArgument);
  EXPECT_EQ(SetRaw(i.ctx(), i.img(), std::vector<uint8_t>(5, 1)).code(), kErrValueOutOfRange);
  EXPECT_EQ(*GetLong(i.ctx(), i.cimg()), 5);

  OneField n(TableType::kCdx, kFtNumeric, 6, 2);
  const std::string text = "  1.50";
  ASSERT_TRUE(SetRaw(n.ctx(), n.img(), std::vector<uint8_t>(text.begin(), text.end())).ok());
  EXPECT_DOUBLE_EQ(*GetDouble(n.ctx(), n.cimg()), 1.5);

  OneField r(TableType::kAdt, kFtRaw, 4);
  ASSERT_TRUE(SetRaw(r.ctx(), r.img(), std::vector<uint8_t>{0xAB}).ok());
  EXPECT_EQ(r.Bytes(), std::string("\xAB\0\0\0", 4));
  EXPECT_EQ(*GetText(r.ctx(), r.cimg()), std::string("\xAB\0\0\0", 4));

  OneField c(TableType::kNtx, kFtString, 4);
  c.char_type = kCharTypeOem;  // raw bytes are never translated
  ASSERT_TRUE(SetRaw(c.ctx(), c.img(), std::vector<uint8_t>{0xE4}).ok());
  EXPECT_EQ(c.Bytes(), "\xE4   ");
}

TEST(Bounds, FieldsOutsideTheImageOrTooShortForTheirTypeAreRefused) {
  OneField f(TableType::kAdt, kFtString, 10);
  f.field.offset = 60;
  EXPECT_EQ(GetText(f.ctx(), f.cimg()).status().code(), kErrInvalidArgument);
  EXPECT_EQ(SetText(f.ctx(), f.img(), "x").code(), kErrInvalidArgument);
  EXPECT_EQ(IsNull(f.ctx(), f.cimg()).status().code(), kErrInvalidArgument);

  OneField w(TableType::kAdt, kFtNVarchar, 62);  // the length word would pass the end
  EXPECT_EQ(SetUtf16(w.ctx(), w.img(), u"x").code(), kErrInvalidArgument);

  OneField d(TableType::kAdt, kFtDouble, 4);
  EXPECT_EQ(GetDouble(d.ctx(), d.cimg()).status().code(), kErrInvalidArgument);
  EXPECT_EQ(SetNull(d.ctx(), d.img()).code(), kErrInvalidArgument);

  OneField v(TableType::kVfp, kFtNumeric, 4, 0, true);
  v.field.null_bit = 16;  // beyond the two bytes of _NullFlags
  EXPECT_EQ(IsNull(v.ctx(), v.cimg()).status().code(), kErrInvalidArgument);

  OneField no_flags(TableType::kVfp, kFtNumeric, 4, 0, true);
  FieldContext ctx = no_flags.ctx();
  ctx.null_flags = nullptr;  // a nullable field needs the table's _NullFlags
  EXPECT_EQ(SetNull(ctx, no_flags.img()).code(), kErrInvalidArgument);
  EXPECT_EQ(no_flags.Bytes(), "    ");
}

TEST(VarcharField, OemUmlautsInAVfpVarchar) {
  OneField f(TableType::kVfp, kFtVarcharFox, 8);
  f.char_type = kCharTypeOem;
  ASSERT_TRUE(SetUtf16(f.ctx(), f.img(), u"Grüße").ok());
  EXPECT_EQ(f.Bytes(), std::string("Gr\x81\xE1"
                                   "e  \x05",
                                   8));
  EXPECT_EQ(*GetUtf16(f.ctx(), f.cimg()), u"Grüße");
  EXPECT_EQ(*GetText(f.ctx(), f.cimg()),
            "Gr\xFC\xDF"
            "e");
}

TEST(MemoFields, ContentIsConvertedButBytesAreLeftToTheMemoFile) {
  OneField m(TableType::kCdx, kFtMemo, 4);
  m.char_type = kCharTypeOem;
  EXPECT_EQ(SetText(m.ctx(), m.img(), "x").code(), kErrConversion);
  EXPECT_EQ(SetNull(m.ctx(), m.img()).code(), kErrConversion);
  EXPECT_EQ(GetText(m.ctx(), m.cimg()).status().code(), kErrConversion);
  const std::vector<uint8_t> oem = {0x84, 0x94, ' '};
  EXPECT_EQ(MemoToText(m.ctx(), oem, kTrimRight), "\xE4\xF6");
  EXPECT_EQ(TextToMemo(m.ctx(), "\xE4\xF6"), (std::vector<uint8_t>{0x84, 0x94}));
  EXPECT_EQ(Utf16ToMemo(m.ctx(), u"ä\u2554"), (std::vector<uint8_t>{0x84, 0xC9}));
  EXPECT_EQ(MemoToUtf16(m.ctx(), std::vector<uint8_t>{0x84, 0xC9}), u"ä\u2554");
  m.Put(std::string(4, '\0'));
  EXPECT_TRUE(*IsNull(m.ctx(), m.cimg()));
  m.Put(Le32(8));
  EXPECT_FALSE(*IsNull(m.ctx(), m.cimg()));

  OneField dbt(TableType::kNtx, kFtMemo, 10);
  dbt.Put("0000000000");
  EXPECT_TRUE(*IsNull(dbt.ctx(), dbt.cimg()));
  dbt.Put("         1");
  EXPECT_FALSE(*IsNull(dbt.ctx(), dbt.cimg()));

  OneField n(TableType::kAdt, kFtNMemo, 9);
  const std::vector<uint8_t> wide = Utf16ToMemo(n.ctx(), u"äx");
  EXPECT_EQ(wide, (std::vector<uint8_t>{0xE4, 0, 'x', 0}));
  EXPECT_EQ(MemoToUtf16(n.ctx(), wide), u"äx");
  EXPECT_EQ(MemoToText(n.ctx(), wide), "\xE4x");

  OneField blob(TableType::kAdt, kFtBinary, 9);
  blob.char_type = kCharTypeOem;
  EXPECT_EQ(TextToMemo(blob.ctx(), "\xE4"), (std::vector<uint8_t>{0xE4}));
}

}  // namespace
}  // namespace ace::fields
