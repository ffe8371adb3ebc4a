// Field-name rewriting and the short names of long field names.
#include "engine/expr/name_rewrite.h"

#include <set>

#include "engine/expr/collation.h"
#include "engine/expr/lexer.h"

namespace ace::expr {

namespace {

constexpr size_t kShortNameLength = 10;

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperChar(c);
  return out;
}

}  // namespace

Result<std::string> RewriteFieldNames(std::string_view text, const FieldNameMap& map) {
  auto tokens = Tokenize(text);
  if (!tokens.ok()) return tokens.status();
  std::string out;
  size_t copied = 0;
  const auto& toks = *tokens;
  for (size_t i = 0; i + 1 < toks.size(); ++i) {
    const Token& t = toks[i];
    if (t.kind != TokenKind::kName) continue;
    if (t.alias.empty() && toks[i + 1].kind == TokenKind::kLParen) continue;  // a function
    auto replacement = map(t.text);
    if (!replacement) continue;
    out.append(text.substr(copied, t.name_pos - copied));
    out += *replacement;
    copied = t.name_pos + t.text.size();
  }
  out.append(text.substr(copied));
  return out;
}

std::vector<std::string> MakeShortNames(const std::vector<std::string>& long_names) {
  std::set<std::string> taken;
  for (const auto& n : long_names) {
    if (n.size() <= kShortNameLength) taken.insert(Upper(n));
  }
  std::vector<std::string> out;
  out.reserve(long_names.size());
  for (const auto& n : long_names) {
    if (n.size() <= kShortNameLength) {
      out.push_back(n);
      continue;
    }
    std::string cut = n.substr(0, kShortNameLength);
    for (int k = 1; taken.count(Upper(cut)) != 0; ++k) {
      std::string tail = "~" + std::to_string(k);
      cut = n.substr(0, kShortNameLength - tail.size()) + tail;
    }
    taken.insert(Upper(cut));
    out.push_back(cut);
  }
  return out;
}

}  // namespace ace::expr
