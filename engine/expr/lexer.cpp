// The expression lexer: literal, operator and name rules.
#include "engine/expr/lexer.h"

#include <cctype>
#include <cstdlib>

#include "engine/base/error_codes.h"

namespace ace::expr {

Status ExpressionError(std::string_view what, size_t pos, std::string_view text) {
  return Status(kErrInvalidExpression, std::string(what) + " at position " +
                                           std::to_string(pos + 1) + " in expression '" +
                                           std::string(text) + "'");
}

bool IsNameStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c >= 0xC0;
}
bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || std::isdigit(c);
}

namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

class Lexer {
 public:
  explicit Lexer(std::string_view text) : s_(text) {}

  Result<std::vector<Token>> Run() {
    std::vector<Token> out;
    while (true) {
      while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
      Token t;
      t.pos = i_;
      if (i_ >= s_.size()) {
        out.push_back(t);
        return out;
      }
      Status st = Next(&t, out.empty() ? TokenKind::kEnd : out.back().kind);
      if (!st.ok()) return st;
      t.len = i_ - t.pos;
      out.push_back(std::move(t));
    }
  }

 private:
  static bool EndsOperand(TokenKind k) {
    return k == TokenKind::kName || k == TokenKind::kLiteral || k == TokenKind::kRParen;
  }

  Status Error(std::string_view what, size_t pos) const { return ExpressionError(what, pos, s_); }

  // A dotted word operator or logical constant at i_ (".AND.", ".T."), or none.
  bool DottedWord(size_t at, std::string* word, size_t* end) const {
    if (at >= s_.size() || s_[at] != '.') return false;
    size_t j = at + 1;
    while (j < s_.size() && std::isalpha(static_cast<unsigned char>(s_[j]))) ++j;
    if (j >= s_.size() || s_[j] != '.' || j == at + 1) return false;
    std::string w = Upper(s_.substr(at + 1, j - at - 1));
    if (w != "AND" && w != "OR" && w != "NOT" && w != "T" && w != "F" && w != "Y" && w != "N" &&
        w != "TRUE" && w != "FALSE") {
      return false;
    }
    *word = w;
    *end = j + 1;
    return true;
  }

  Status Next(Token* t, TokenKind prev) {
    unsigned char c = static_cast<unsigned char>(s_[i_]);
    auto one = [&](TokenKind k, size_t n = 1) {
      t->kind = k;
      i_ += n;
      return Status::Ok();
    };
    auto peek = [&](size_t k) -> char { return i_ + k < s_.size() ? s_[i_ + k] : '\0'; };
    switch (c) {
      case '(':
        return one(TokenKind::kLParen);
      case ')':
        return one(TokenKind::kRParen);
      case ',':
        return one(TokenKind::kComma);
      case '+':
        return one(TokenKind::kPlus);
      case '-':
        return one(TokenKind::kMinus);
      case '*':
        return peek(1) == '*' ? one(TokenKind::kPower, 2) : one(TokenKind::kStar);
      case '^':
        return one(TokenKind::kPower);
      case '/':
        return one(TokenKind::kSlash);
      case '%':
        return one(TokenKind::kPercent);
      case '$':
        return one(TokenKind::kDollar);
      case '#':
        return one(TokenKind::kNe);
      case '=':
        return peek(1) == '=' ? one(TokenKind::kEqEq, 2) : one(TokenKind::kEq);
      case '!':
        return peek(1) == '=' ? one(TokenKind::kNe, 2) : one(TokenKind::kNot);
      case '<':
        if (peek(1) == '>') return one(TokenKind::kNe, 2);
        return peek(1) == '=' ? one(TokenKind::kLe, 2) : one(TokenKind::kLt);
      case '>':
        return peek(1) == '=' ? one(TokenKind::kGe, 2) : one(TokenKind::kGt);
      case '\'':
      case '"':
        return String(t, static_cast<char>(c));
      case '[':
        if (EndsOperand(prev)) return Error("Unexpected '['", i_);
        return String(t, ']');
      case '{':
        return DateLiteral(t);
      default:
        break;
    }
    if (c == '.') {
      std::string word;
      size_t end;
      if (DottedWord(i_, &word, &end)) {
        i_ = end;
        if (word == "AND") return one(TokenKind::kAnd, 0);
        if (word == "OR") return one(TokenKind::kOr, 0);
        if (word == "NOT") return one(TokenKind::kNot, 0);
        t->kind = TokenKind::kLiteral;
        t->value = Value::Logical(word == "T" || word == "Y" || word == "TRUE");
        t->text = std::string(s_.substr(t->pos, end - t->pos));
        return Status::Ok();
      }
      if (std::isdigit(static_cast<unsigned char>(peek(1)))) return Number(t);
      return Error("Unexpected '.'", i_);
    }
    if (std::isdigit(c)) return Number(t);
    if (IsNameStart(c)) return Name(t);
    return Error(std::string("Unexpected character '") + static_cast<char>(c) + "'", i_);
  }

  Status String(Token* t, char close) {
    size_t start = i_;
    size_t end = s_.find(close, i_ + 1);
    if (end == std::string_view::npos) return Error("Unterminated string", start);
    t->kind = TokenKind::kLiteral;
    t->value = Value::Character(std::string(s_.substr(start + 1, end - start - 1)));
    i_ = end + 1;
    t->text = std::string(s_.substr(start, i_ - start));
    return Status::Ok();
  }

  Status Number(Token* t) {
    size_t start = i_;
    while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    int16_t decimals = 0;
    if (i_ < s_.size() && s_[i_] == '.') {
      std::string word;
      size_t end;
      // "1.AND." is a number followed by an operator, not a decimal point.
      if (!DottedWord(i_, &word, &end)) {
        ++i_;
        size_t frac = i_;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
        decimals = static_cast<int16_t>(i_ - frac);
      }
    }
    if (i_ < s_.size() && IsNameStart(static_cast<unsigned char>(s_[i_]))) {
      return Error("Invalid number", start);
    }
    t->text = std::string(s_.substr(start, i_ - start));
    t->kind = TokenKind::kLiteral;
    t->value = Value::Numeric(std::strtod(t->text.c_str(), nullptr),
                              static_cast<int16_t>(t->text.size()), decimals);
    return Status::Ok();
  }

  Status DateLiteral(Token* t) {
    size_t start = i_;
    size_t end = s_.find('}', i_);
    if (end == std::string_view::npos) return Error("Unterminated date literal", start);
    std::string_view body = s_.substr(start + 1, end - start - 1);
    i_ = end + 1;
    t->kind = TokenKind::kLiteral;
    t->text = std::string(s_.substr(start, i_ - start));
    bool iso = !body.empty() && body.front() == '^';
    if (iso) body.remove_prefix(1);
    while (!body.empty() && body.front() == ' ') body.remove_prefix(1);
    while (!body.empty() && body.back() == ' ') body.remove_suffix(1);
    if (body.empty()) {
      t->value = Value::Date(0);
      return Status::Ok();
    }
    size_t blank = body.find_first_of(" T");
    std::optional<int32_t> julian =
        ParseDateText(blank == std::string_view::npos ? body : body.substr(0, blank));
    // The ISO form must have the year first.
    if (iso && (body.size() < 4 || !std::isdigit(static_cast<unsigned char>(body[3])))) {
      julian.reset();
    }
    if (!julian || *julian == 0) return Error("Invalid date literal", start);
    if (blank == std::string_view::npos) {
      t->value = Value::Date(*julian);
      return Status::Ok();
    }
    auto millis = ParseTimeText(body.substr(blank + 1));
    if (!millis) return Error("Invalid time in date literal", start);
    t->value = Value::Timestamp(*julian, *millis);
    return Status::Ok();
  }

  size_t ReadWord() {
    size_t start = i_;
    while (i_ < s_.size() && IsNameChar(static_cast<unsigned char>(s_[i_]))) ++i_;
    return start;
  }

  Status Name(Token* t) {
    size_t start = ReadWord();
    std::string word(s_.substr(start, i_ - start));
    std::string up = Upper(word);
    if (up == "AND" || up == "OR" || up == "NOT") {
      t->kind = up == "AND" ? TokenKind::kAnd : up == "OR" ? TokenKind::kOr : TokenKind::kNot;
      return Status::Ok();
    }
    t->kind = TokenKind::kName;
    t->name_pos = start;
    t->text = word;
    // alias->field and alias.field: the alias is kept apart and ignored by the compiler.
    size_t j = i_;
    while (j < s_.size() && s_[j] == ' ') ++j;
    size_t after = std::string::npos;
    if (j + 1 < s_.size() && s_[j] == '-' && s_[j + 1] == '>') {
      after = j + 2;
    } else if (i_ < s_.size() && s_[i_] == '.') {
      std::string w;
      size_t e;
      if (!DottedWord(i_, &w, &e) && i_ + 1 < s_.size() &&
          IsNameStart(static_cast<unsigned char>(s_[i_ + 1]))) {
        after = i_ + 1;
      }
    }
    if (after != std::string::npos) {
      while (after < s_.size() && s_[after] == ' ') ++after;
      if (after >= s_.size() || !IsNameStart(static_cast<unsigned char>(s_[after]))) {
        return Error("Expected a field name after the alias", after);
      }
      i_ = after;
      size_t name_start = ReadWord();
      t->alias = word;
      t->text = std::string(s_.substr(name_start, i_ - name_start));
      t->name_pos = name_start;
    }
    return Status::Ok();
  }

  std::string_view s_;
  size_t i_ = 0;
};

}  // namespace

Result<std::vector<Token>> Tokenize(std::string_view text) {
  return Lexer(text).Run();
}

}  // namespace ace::expr
