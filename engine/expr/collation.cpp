// The weight tables of the three collations and the lookup by name.
#include "engine/expr/collation.h"

#include <algorithm>

#include "engine/base/error_codes.h"

namespace ace::expr {

char UpperChar(char ch) {
  auto c = static_cast<unsigned char>(ch);
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char>(c - 32);
  if (c == 0x9A || c == 0x9C || c == 0x9E) return static_cast<char>(c - 16);  // š œ ž
  if (c == 0xFF) return static_cast<char>(0x9F);                              // ÿ
  return ch;
}

char LowerChar(char ch) {
  auto c = static_cast<unsigned char>(ch);
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char>(c + 32);
  if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<char>(c + 16);
  if (c == 0x9F) return static_cast<char>(0xFF);
  return ch;
}

namespace {

// The German base letter(s) of an upper-cased Windows-1252 byte.
void GermanWeights(unsigned char u, uint8_t* first, uint8_t* second) {
  *second = 0;
  if (u >= 0xC0 && u <= 0xC5) {
    *first = 'A';
  } else if (u == 0xC6) {
    *first = 'A';
    *second = 'E';
  } else if (u == 0xC7) {
    *first = 'C';
  } else if (u >= 0xC8 && u <= 0xCB) {
    *first = 'E';
  } else if (u >= 0xCC && u <= 0xCF) {
    *first = 'I';
  } else if (u == 0xD0) {
    *first = 'D';
  } else if (u == 0xD1) {
    *first = 'N';
  } else if ((u >= 0xD2 && u <= 0xD6) || u == 0xD8) {
    *first = 'O';
  } else if (u >= 0xD9 && u <= 0xDC) {
    *first = 'U';
  } else if (u == 0xDD || u == 0x9F) {
    *first = 'Y';
  } else if (u == 0xDF) {  // ß has no upper case of its own in Windows-1252
    *first = 'S';
    *second = 'S';
  } else if (u == 0x8A) {
    *first = 'S';
  } else if (u == 0x8E) {
    *first = 'Z';
  } else if (u == 0x8C) {
    *first = 'O';
    *second = 'E';
  } else {
    *first = u;
  }
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

}  // namespace

Collation::Collation(CollationKind kind, std::string name) : kind_(kind), name_(std::move(name)) {
  for (int i = 0; i < 256; ++i) {
    auto c = static_cast<unsigned char>(i);
    second_[i] = 0;
    switch (kind) {
      case CollationKind::kMachine:
        first_[i] = c;
        break;
      case CollationKind::kCaseInsensitive:
        first_[i] = static_cast<uint8_t>(UpperChar(static_cast<char>(c)));
        break;
      case CollationKind::kGerman:
        GermanWeights(static_cast<unsigned char>(UpperChar(static_cast<char>(c))), &first_[i],
                      &second_[i]);
        break;
    }
  }
}

void Collation::AppendWeights(std::string_view text, std::string* out) const {
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    out->push_back(static_cast<char>(first_[c]));
    if (second_[c] != 0) out->push_back(static_cast<char>(second_[c]));
  }
}

std::string Collation::KeyBytes(std::string_view text, uint32_t length) const {
  std::string out;
  out.reserve(length + 2);
  AppendWeights(text, &out);
  out.resize(length, static_cast<char>(first_[static_cast<unsigned char>(' ')]));
  return out;
}

namespace {

// Walks the weights of a text one by one (expansions included), without allocating.
class WeightWalk {
 public:
  WeightWalk(std::string_view text, const uint8_t* first, const uint8_t* second)
      : text_(text), first_(first), second_(second) {}
  bool done() const { return pos_ >= text_.size() && pending_ == 0; }
  // The next weight; the blank's weight once the text is exhausted.
  uint8_t Next(uint8_t blank) {
    if (pending_ != 0) {
      uint8_t w = pending_;
      pending_ = 0;
      return w;
    }
    if (pos_ >= text_.size()) return blank;
    auto c = static_cast<unsigned char>(text_[pos_++]);
    pending_ = second_[c];
    return first_[c];
  }

 private:
  std::string_view text_;
  const uint8_t* first_;
  const uint8_t* second_;
  size_t pos_ = 0;
  uint8_t pending_ = 0;
};

}  // namespace

int Collation::Compare(std::string_view a, std::string_view b) const {
  uint8_t blank = first_[static_cast<unsigned char>(' ')];
  WeightWalk wa(a, first_, second_), wb(b, first_, second_);
  while (!wa.done() || !wb.done()) {
    uint8_t x = wa.Next(blank), y = wb.Next(blank);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

const Collation& Collation::Machine() {
  static const Collation c(CollationKind::kMachine, "ANSI");
  return c;
}
const Collation& Collation::CaseInsensitive() {
  static const Collation c(CollationKind::kCaseInsensitive, "GENERAL_VFP_CI_AS_1252");
  return c;
}
const Collation& Collation::German() {
  static const Collation c(CollationKind::kGerman, "GERMAN_VFP_CI_AS_1252");
  return c;
}

Result<const Collation*> FindCollation(std::string_view name) {
  std::string up = UpperAscii(name);
  if (up.empty() || up == "ANSI" || up == "OEM" || up.rfind("MACHINE", 0) == 0) {
    return &Collation::Machine();
  }
  if (up.rfind("GERMAN", 0) == 0 || up.rfind("DUDEN_DE", 0) == 0) return &Collation::German();
  if (up.find("_CI_") != std::string::npos) return &Collation::CaseInsensitive();
  return Status(kErrNoCollation,
                "No collation information for the collation \"" + std::string(name) + "\"");
}

}  // namespace ace::expr
