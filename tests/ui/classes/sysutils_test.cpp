// Number and text conversions, Latin-1 aware comparisons, paths, encodings and exceptions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "ui/classes/SysUtils.h"

namespace {

TEST(SysUtilsTest, IntegerConversions) {
  EXPECT_EQ(StrToInt("42"), 42);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt("$FF"), 255);
  EXPECT_EQ(StrToInt("0x10"), 16);
  EXPECT_EQ(StrToInt("  7"), 7);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);  // a 32-bit pattern
  EXPECT_THROW(StrToInt("2147483648"), EConvertError);
  EXPECT_THROW(StrToInt("12a"), EConvertError);
  EXPECT_THROW(StrToInt(""), EConvertError);
  EXPECT_THROW(StrToInt("7 "), EConvertError);
  EXPECT_EQ(StrToIntDef("x", -5), -5);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(IntToStr(-12), "-12");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  try {
    StrToInt("abc");
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' ist kein gültiger Integerwert");
    EXPECT_EQ(e.ClassName(), "EConvertError");
  }
}

TEST(SysUtilsTest, FloatConversionsFollowTheDecimalSeparator) {
  EXPECT_EQ(FloatToStr(1.5), "1.5");
  EXPECT_EQ(FloatToStr(100), "100");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_DOUBLE_EQ(StrToFloat("2.25"), 2.25);
  EXPECT_DOUBLE_EQ(StrToFloat("-1e3"), -1000.0);
  EXPECT_THROW(StrToFloat("1.2.3"), EConvertError);
  EXPECT_THROW(StrToFloat("nan"), EConvertError);
  TFormatSettings saved = FormatSettings;
  FormatSettings.DecimalSeparator = ',';
  EXPECT_EQ(FloatToStr(1.5), "1,5");
  EXPECT_DOUBLE_EQ(StrToFloat("3,5"), 3.5);
  FormatSettings = saved;
}

TEST(SysUtilsTest, TrimCaseAndComparisons) {
  EXPECT_EQ(Trim(" \t x y \r\n"), "x y");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
  EXPECT_EQ(UpperCase("abc\xC3\xA4"), "ABC\xC3\xA4");  // ASCII only
  EXPECT_EQ(AnsiUpperCase("stra\xC3\x9F"
                          "e \xC3\xA4\xC3\xB6\xC3\xBC"),
            "STRA\xC3\x9F"
            "E \xC3\x84\xC3\x96\xC3\x9C");
  EXPECT_EQ(AnsiLowerCase("\xC3\x84RGER"), "\xC3\xA4rger");
  EXPECT_TRUE(SameText("Kinder", "KINDER"));
  EXPECT_FALSE(SameText("\xC3\xA4", "\xC3\x84"));  // SameText is ASCII only
  EXPECT_TRUE(AnsiSameText("\xC3\xA4rger", "\xC3\x84RGER"));
  EXPECT_LT(AnsiCompareText("\xC3\xA4pfel", "birne"), 0);
  EXPECT_GT(AnsiCompareText("zebra", "\xC3\x84pfel"), 0);
  EXPECT_LT(CompareText("a", "B"), 0);
  EXPECT_LT(AnsiCompareStr("a", "A"), 0);
  EXPECT_NE(AnsiCompareStr("a", "A"), 0);
  EXPECT_EQ(QuotedStr("It's"), "'It''s'");
  EXPECT_TRUE(IsValidIdent("_Form1"));
  EXPECT_FALSE(IsValidIdent("1Form"));
  EXPECT_FALSE(IsValidIdent("a.b"));
  EXPECT_TRUE(IsValidIdent("a.b", true));
  EXPECT_FALSE(IsValidIdent("a.", true));
  EXPECT_EQ(Format("%s=%d", "x", 5), "x=5");
}

TEST(SysUtilsTest, PathHelpersAcceptBothSeparators) {
  EXPECT_EQ(IncludeTrailingPathDelimiter("/data"), "/data/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\data\\"), "C:\\data\\");
  EXPECT_EQ(ExtractFilePath("C:\\data\\kinder.adt"), "C:\\data\\");
  EXPECT_EQ(ExtractFileName("/tmp/x/kinder.adt"), "kinder.adt");
  EXPECT_EQ(ExtractFileExt("/tmp/x.y/kinder"), "");
  EXPECT_EQ(ExtractFileExt("kinder.ADT"), ".ADT");
  EXPECT_EQ(ChangeFileExt("/a/b.dbf", ".cdx"), "/a/b.cdx");
  EXPECT_EQ(ChangeFileExt("/a/b", ".cdx"), "/a/b.cdx");
  EXPECT_EQ(ExtractFileDir("/a/b.dbf"), "/a");

  char tmpl[] = "/tmp/classes-test-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string dir = tmpl;
  std::string file = dir + "/f.txt";
  EXPECT_TRUE(DirectoryExists(dir));
  EXPECT_FALSE(FileExists(file));
  FILE* f = fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(dir));
  EXPECT_FALSE(DirectoryExists(file));
  unlink(file.c_str());
  rmdir(dir.c_str());
}

TEST(SysUtilsTest, Windows1252AndUtf16Conversions) {
  std::string utf8 = "l\xC3\xA4uft \xE2\x82\xAC \xE2\x80\x9Ex\xE2\x80\x9C";  // läuft € „x“
  std::string ansi = Utf8ToAnsi(utf8);
  EXPECT_EQ(ansi, "l\xE4uft \x80 \x84x\x93");
  EXPECT_EQ(AnsiToUtf8(ansi), utf8);
  EXPECT_EQ(AnsiToUtf8("plain ASCII text of some length"), "plain ASCII text of some length");
  EXPECT_EQ(AnsiToUtf8(""), "");
  EXPECT_EQ(AnsiToUtf8("Stra\xDF"), "Stra\xC3\x9F");  // the first high byte at the end
  EXPECT_EQ(AnsiToUtf8("\x81"), "\xC2\x81");          // an unassigned byte keeps its code
  // Plain runs are passed eight bytes at a time: a high byte in any place of a word is seen.
  for (size_t at = 0; at < 19; ++at) {
    std::string text(19, 'a');
    text[at] = '\xE4';
    std::string want = std::string(at, 'a') + "\xC3\xA4" + std::string(18 - at, 'a');
    EXPECT_EQ(AnsiToUtf8(text), want) << at;
  }
  EXPECT_EQ(Utf8ToAnsi("\xE4\xB8\xAD"), "?");  // no Windows-1252 form
  std::u16string wide = Utf8ToUtf16("a\xC3\xA4\xF0\x9F\x98\x80");
  EXPECT_EQ(wide, (std::u16string{u'a', 0x00E4, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(wide), "a\xC3\xA4\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16("\xFF"), std::u16string(1, 0xFFFD));
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, 0xD800)), "\xEF\xBF\xBD");
}

TEST(SysUtilsTest, ExceptionKnowsClassMessageAndRaiseSite) {
  try {
    throw ERangeError("Bereichsüberprüfungsfehler");
  } catch (const Exception& e) {
    EXPECT_EQ(e.ClassName(), "ERangeError");
    EXPECT_EQ(e.Message(), "Bereichsüberprüfungsfehler");
    EXPECT_STREQ(e.what(), "Bereichsüberprüfungsfehler");
    EXPECT_NE(e.ExceptAddr(), nullptr);
    // The raise site is in this test program.
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    EXPECT_EQ(e.ModuleName(), ExtractFileName(exe));
  }
  EReadError r("x");
  EXPECT_EQ(r.ClassName(), "EReadError");
  EXPECT_TRUE(dynamic_cast<EFilerError*>(&r) != nullptr);
  EXPECT_TRUE(dynamic_cast<EStreamError*>(&r) != nullptr);
  r.SetMessage("y");
  EXPECT_EQ(r.Message(), "y");
  EXPECT_THROW(Abort(), EAbort);
}

TEST(SysUtilsTest, FinallyRunsUnlessDismissed) {
  int runs = 0;
  {
    Finally f([&] { ++runs; });
  }
  EXPECT_EQ(runs, 1);
  try {
    Finally f([&] { ++runs; });
    throw EAbort("");
  } catch (const EAbort&) {
  }
  EXPECT_EQ(runs, 2);
  {
    Finally f([&] { ++runs; });
    f.Dismiss();
  }
  EXPECT_EQ(runs, 2);
}

}  // namespace
