// Code-page conversions: the compiled tables against the system's iconv, umlauts through ANSI
// and OEM, UTF-8 and UTF-16 round trips and substitutions.
#include "engine/fields/code_page.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace ace::fields {
namespace {

// The UTF-16 character of one byte in a code page according to iconv, or -1 when iconv has none.
int IconvChar(const char* code_page, unsigned char byte) {
  iconv_t cd = iconv_open("UTF-16LE", code_page);
  if (cd == reinterpret_cast<iconv_t>(-1)) return -2;
  char in[1] = {static_cast<char>(byte)};
  char out[8] = {};
  char* pin = in;
  char* pout = out;
  size_t in_left = 1, out_left = sizeof out;
  size_t r = iconv(cd, &pin, &in_left, &pout, &out_left);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1) || sizeof out - out_left != 2) return -1;
  return static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8;
}

TEST(CodePage, TablesAgreeWithIconvForEveryAssignedByte) {
  int compared = 0;
  for (int b = 0; b < 256; ++b) {
    int ansi = IconvChar("CP1252", static_cast<unsigned char>(b));
    ASSERT_NE(ansi, -2) << "iconv lacks CP1252";
    if (ansi >= 0) {
      EXPECT_EQ(AnsiToUnicode(static_cast<unsigned char>(b)), ansi) << "1252 byte " << b;
      ++compared;
    }
    int oem = IconvChar("CP850", static_cast<unsigned char>(b));
    ASSERT_NE(oem, -2) << "iconv lacks CP850";
    ASSERT_GE(oem, 0) << "850 byte " << b;
    EXPECT_EQ(OemToUnicode(static_cast<unsigned char>(b)), oem) << "850 byte " << b;
  }
  EXPECT_GE(compared, 251);
}

TEST(CodePage, GermanUmlautsThroughOemAndBack) {
  const std::string ansi = "\xE4\xF6\xFC\xDF \xC4\xD6\xDC";  // äöüß ÄÖÜ in 1252
  const std::string oem = ToOem(ansi);
  EXPECT_EQ(oem, "\x84\x94\x81\xE1 \x8E\x99\x9A");
  EXPECT_EQ(FromOem(oem), ansi);
  EXPECT_EQ(AnsiToUtf8(ansi), "äöüß ÄÖÜ");
  EXPECT_EQ(Utf8ToAnsi("äöüß ÄÖÜ"), ansi);
  EXPECT_EQ(AnsiToUtf16(ansi), u"äöüß ÄÖÜ");
  EXPECT_EQ(Utf16ToAnsi(u"äöüß ÄÖÜ"), ansi);
}

TEST(CodePage, EveryAnsiByteSurvivesUtf8AndUtf16) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all)), all);
}

TEST(CodePage, CharactersOutsideTheTargetBecomeQuestionMarks) {
  EXPECT_EQ(Utf16ToAnsi(u"a\u20ACb"),
            "a\x80"
            "b");                                  // the euro sign is in 1252
  EXPECT_EQ(Utf16ToAnsi(u"a\u0416b"), "a?b");      // Cyrillic is not
  EXPECT_EQ(Utf16ToAnsi(u"x\U0001F600y"), "x?y");  // a surrogate pair is one character
  EXPECT_EQ(ToOem("\x80"), "?");                   // no euro sign in 850
  EXPECT_EQ(FromOem("\xB0"), "?");                 // a box-drawing character
}

TEST(CodePage, OemAndUtf16DirectlyKeepWhat1252Lacks) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf16ToOem(OemToUtf16(all)), all);
  EXPECT_EQ(Utf16ToOem(u"\u2554\u00E4\u20AC"), "\xC9\x84?");  // box corner, ä, no euro
  EXPECT_EQ(OemToUtf16("\xE1"), u"ß");
}

TEST(CodePage, MalformedUtf8GivesOneQuestionMarkPerSequence) {
  EXPECT_EQ(Utf8ToAnsi("a\xC3"), "a?");          // truncated sequence
  EXPECT_EQ(Utf8ToAnsi("a\x80z"), "a?z");        // stray continuation byte
  EXPECT_EQ(Utf8ToAnsi("\xC0\xAF"), "?");        // overlong form of '/'
  EXPECT_EQ(Utf8ToAnsi("\xED\xA0\x80!"), "?!");  // a surrogate code point
  EXPECT_EQ(Utf8ToAnsi("\xC3"
                       "A"),
            "?A");  // missing continuation keeps the next byte
}

}  // namespace
}  // namespace ace::fields
