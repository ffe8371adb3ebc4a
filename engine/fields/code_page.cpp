// The code-page tables (upper halves of Windows-1252 and of code page 850) and the conversions
// built on them. The lower halves are ASCII in both.
#include "engine/fields/code_page.h"

#include <array>
#include <cstdint>

namespace ace::fields {
namespace {

constexpr std::array<char16_t, 128> kAnsiHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  //
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,  //
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,  //
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  //
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,  //
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,  //
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,  //
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,  //
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,  //
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,  //
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,  //
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,  //
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,  //
};

constexpr std::array<char16_t, 128> kOemHigh = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  //
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  //
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  //
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,  //
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  //
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  //
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,  //
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,  //
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,  //
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,  //
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,  //
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,  //
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,  //
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,  //
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,  //
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,  //
};

constexpr unsigned char kUnmappable = '?';

// The byte of a code page's upper half for a character, or 0 when the page lacks it.
constexpr unsigned char FindHigh(const std::array<char16_t, 128>& table, char16_t c) {
  for (size_t i = 0; i < table.size(); ++i) {
    if (table[i] == c) return static_cast<unsigned char>(0x80 + i);
  }
  return 0;
}

// Byte-to-byte tables between the two 8-bit pages, computed at compile time.
constexpr std::array<unsigned char, 256> MakeCross(const std::array<char16_t, 128>& from,
                                                   const std::array<char16_t, 128>& to) {
  std::array<unsigned char, 256> out{};
  for (int b = 0; b < 128; ++b) out[b] = static_cast<unsigned char>(b);
  for (int b = 128; b < 256; ++b) {
    unsigned char found = FindHigh(to, from[b - 128]);
    out[b] = found != 0 ? found : kUnmappable;
  }
  return out;
}

constexpr std::array<unsigned char, 256> kAnsiToOem = MakeCross(kAnsiHigh, kOemHigh);
constexpr std::array<unsigned char, 256> kOemToAnsi = MakeCross(kOemHigh, kAnsiHigh);

// The Windows-1252 byte of a character, '?' when it has none.
unsigned char UnicodeToAnsi(char32_t c) {
  if (c < 0x80) return static_cast<unsigned char>(c);
  if (c >= 0xA0 && c <= 0xFF) return static_cast<unsigned char>(c);
  if (c > 0xFFFF) return kUnmappable;
  unsigned char found = FindHigh(kAnsiHigh, static_cast<char16_t>(c));
  return found != 0 ? found : kUnmappable;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string MapBytes(std::string_view in, const std::array<unsigned char, 256>& table) {
  std::string out(in.size(), '\0');
  for (size_t i = 0; i < in.size(); ++i) {
    out[i] = static_cast<char>(table[static_cast<unsigned char>(in[i])]);
  }
  return out;
}

}  // namespace

char16_t AnsiToUnicode(unsigned char byte) {
  return byte < 0x80 ? static_cast<char16_t>(byte) : kAnsiHigh[byte - 0x80];
}

char16_t OemToUnicode(unsigned char byte) {
  return byte < 0x80 ? static_cast<char16_t>(byte) : kOemHigh[byte - 0x80];
}

std::u16string AnsiToUtf16(std::string_view ansi) {
  std::u16string out(ansi.size(), u'\0');
  for (size_t i = 0; i < ansi.size(); ++i)
    out[i] = AnsiToUnicode(static_cast<unsigned char>(ansi[i]));
  return out;
}

std::string Utf16ToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;  // a pair: one character outside the code page
      out.push_back(static_cast<char>(kUnmappable));
      continue;
    }
    out.push_back(static_cast<char>(UnicodeToAnsi(c)));
  }
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char ch : ansi) AppendUtf8(out, AnsiToUnicode(static_cast<unsigned char>(ch)));
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<char>(lead));
      ++i;
      continue;
    }
    int extra = 0;
    char32_t c = 0;
    char32_t min = 0;
    if ((lead & 0xE0) == 0xC0) {
      extra = 1, c = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, c = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, c = lead & 0x07, min = 0x10000;
    } else {
      out.push_back(static_cast<char>(kUnmappable));  // stray continuation or invalid lead
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool good = true;
    for (int k = 0; k < extra; ++k, ++j) {
      if (j >= utf8.size() || (static_cast<unsigned char>(utf8[j]) & 0xC0) != 0x80) {
        good = false;
        break;
      }
      c = (c << 6) | (static_cast<unsigned char>(utf8[j]) & 0x3F);
    }
    if (good && (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) good = false;
    out.push_back(static_cast<char>(good ? UnicodeToAnsi(c) : kUnmappable));
    i = j;
  }
  return out;
}

std::u16string OemToUtf16(std::string_view oem) {
  std::u16string out(oem.size(), u'\0');
  for (size_t i = 0; i < oem.size(); ++i) out[i] = OemToUnicode(static_cast<unsigned char>(oem[i]));
  return out;
}

std::string Utf16ToOem(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
      out.push_back(static_cast<char>(kUnmappable));
      continue;
    }
    unsigned char byte = c < 0x80 ? static_cast<unsigned char>(c) : FindHigh(kOemHigh, c);
    out.push_back(static_cast<char>(byte != 0 || c == 0 ? byte : kUnmappable));
  }
  return out;
}

std::string ToOem(std::string_view ansi) {
  return MapBytes(ansi, kAnsiToOem);
}

std::string FromOem(std::string_view oem) {
  return MapBytes(oem, kOemToAnsi);
}

}  // namespace ace::fields
