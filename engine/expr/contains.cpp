// The word search behind CONTAINS.
#include "engine/expr/contains.h"

#include <string>
#include <vector>

#include "engine/expr/collation.h"
#include "engine/expr/lexer.h"

namespace ace::expr {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerChar(c);
  return out;
}

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::string cur;
  for (char c : text) {
    if (IsNameChar(static_cast<unsigned char>(c))) {
      cur += LowerChar(c);
    } else if (!cur.empty()) {
      words.push_back(cur);
      cur.clear();
    }
  }
  if (!cur.empty()) words.push_back(cur);
  return words;
}

bool MatchesWord(const std::vector<std::string>& words, const std::string& lowered_text,
                 const std::string& term, bool phrase) {
  if (phrase) return lowered_text.find(term) != std::string::npos;
  bool prefix = term.size() > 1 && term.back() == '*';
  bool suffix = term.size() > 1 && term.front() == '*';
  std::string core = term.substr(suffix ? 1 : 0);
  if (prefix) core.pop_back();
  for (const auto& w : words) {
    if (prefix && suffix) {
      if (w.find(core) != std::string::npos) return true;
    } else if (prefix) {
      if (w.compare(0, core.size(), core) == 0) return true;
    } else if (suffix) {
      if (w.size() >= core.size() && w.compare(w.size() - core.size(), core.size(), core) == 0) {
        return true;
      }
    } else if (w == core) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool ContainsWords(std::string_view text, std::string_view condition) {
  std::vector<std::string> words = Words(text);
  std::string lowered = Lower(text);
  bool any_group = false, group_ok = true, group_has_term = false, negate = false;
  size_t i = 0;
  auto close_group = [&]() {
    if (group_has_term && group_ok) any_group = true;
    group_ok = true;
    group_has_term = false;
  };
  while (i < condition.size()) {
    if (condition[i] == ' ' || condition[i] == '\t' || condition[i] == '(' || condition[i] == ')') {
      ++i;
      continue;
    }
    std::string term;
    bool phrase = false;
    if (condition[i] == '"' || condition[i] == '\'') {
      char q = condition[i];
      size_t end = condition.find(q, i + 1);
      if (end == std::string_view::npos) end = condition.size();
      term = Lower(condition.substr(i + 1, end - i - 1));
      phrase = true;
      i = end + 1;
    } else {
      size_t end = condition.find_first_of(" \t()", i);
      if (end == std::string_view::npos) end = condition.size();
      term = Lower(condition.substr(i, end - i));
      i = end;
      if (term == "or") {
        close_group();
        continue;
      }
      if (term == "and") continue;
      if (term == "not") {
        negate = !negate;
        continue;
      }
    }
    if (term.empty()) continue;
    bool hit = MatchesWord(words, lowered, term, phrase);
    if (negate) hit = !hit;
    negate = false;
    group_has_term = true;
    if (!hit) group_ok = false;
  }
  close_group();
  return any_group;
}

}  // namespace ace::expr
