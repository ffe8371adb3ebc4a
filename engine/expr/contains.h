// CONTAINS: the word search of the expression language over a text (usually a memo).
#pragma once

#include <string_view>

namespace ace::expr {

// True when text satisfies the search condition. The condition is a list of words, all of
// which must occur (as whole words, letter case ignored), with OR between alternatives and NOT
// before a word that must not occur; AND may be written and is the default. A word ending in *
// matches words that start with it, one starting with * words that end with it; a "quoted
// phrase" must occur as written (letter case ignored). An empty condition matches nothing.
bool ContainsWords(std::string_view text, std::string_view condition);

}  // namespace ace::expr
