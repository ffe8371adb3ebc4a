// Collations: how character values order in index keys (and in comparisons when a cursor asks
// for it). A collation maps each byte of Windows-1252 text to one or two sort weights; keys are
// the weights, padded with the weight of the blank. Three collations exist:
//   - "ANSI" (also the empty name and the MACHINE_* names): machine order, weight = byte.
//   - case-insensitive (names containing "_CI_" other than the German ones): weight = the
//     upper-case letter, accented letters keep their own (upper-case) code.
//   - German (names starting "GERMAN" or "DUDEN_DE"): case and accents are ignored;
//     ä Ä sort as A, ö Ö as O, ü Ü as U (not as AE/OE/UE), ß as SS, æ Æ as AE, œ Œ as OE.
// Collation objects are immutable singletons and may be shared between threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/status.h"

namespace ace::expr {

enum class CollationKind : uint8_t { kMachine, kCaseInsensitive, kGerman };

class Collation {
 public:
  CollationKind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  // Appends the weights of the bytes of text to out.
  void AppendWeights(std::string_view text, std::string* out) const;
  // The weights of text, cut or padded (with the blank's weight) to exactly length bytes.
  std::string KeyBytes(std::string_view text, uint32_t length) const;
  // Three-way comparison of two texts by their weights (the shorter padded with blanks).
  int Compare(std::string_view a, std::string_view b) const;

  static const Collation& Machine();
  static const Collation& CaseInsensitive();
  static const Collation& German();

 private:
  Collation(CollationKind kind, std::string name);
  CollationKind kind_;
  std::string name_;
  uint8_t first_[256];   // first weight of each byte
  uint8_t second_[256];  // second weight (0 = none)
};

// The collation of a name as tables and connections give it, without regard to letter case.
// A name the engine has no collation for is kErrNoCollation.
Result<const Collation*> FindCollation(std::string_view name);

// Windows-1252 letter case.
char UpperChar(char c);
char LowerChar(char c);

}  // namespace ace::expr
