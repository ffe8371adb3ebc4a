// Statement splitting and parameter markers (see statement_split.h).
#include "engine/sql/statement_split.h"

#include <cctype>

#include "engine/sql/sql_error.h"

namespace ace::sql {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}
bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Walks a text byte by byte, keeping line and column.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  bool done() const { return pos_.offset >= text_.size(); }
  char peek(size_t ahead = 0) const {
    return pos_.offset + ahead < text_.size() ? text_[pos_.offset + ahead] : '\0';
  }
  const TextPosition& pos() const { return pos_; }
  void Next() {
    char c = text_[pos_.offset++];
    if (c == '\n' || (c == '\r' && peek() != '\n')) {
      ++pos_.line;
      pos_.column = 1;
    } else if (c == '\r') {
      // CR of CR LF: the LF ends the line.
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++pos_.column;
    }
  }

 private:
  std::string_view text_;
  TextPosition pos_;
};

}  // namespace

TextPosition PositionIn(const Statement& statement, size_t offset_in_statement) {
  Cursor c(statement.text);
  while (!c.done() && c.pos().offset < offset_in_statement) c.Next();
  TextPosition p = statement.at;
  p.offset += c.pos().offset;
  if (c.pos().line > 1) {
    p.line += c.pos().line - 1;
    p.column = c.pos().column;
  } else {
    p.column += c.pos().column - 1;
  }
  return p;
}

Result<std::vector<Statement>> SplitStatements(std::string_view text) {
  std::vector<Statement> out;
  Cursor c(text);
  while (true) {
    // One statement: from here to the next ";" outside quotes and comments, or the end.
    bool has_content = false;
    TextPosition first{}, last_end{};
    std::vector<Parameter> params;
    auto content = [&](const TextPosition& at) {
      if (!has_content) first = at;
      has_content = true;
    };
    while (!c.done() && c.peek() != ';') {
      const TextPosition at = c.pos();
      char ch = c.peek();
      if (IsBlank(ch)) {
        c.Next();
        continue;
      }
      if (ch == '-' && c.peek(1) == '-') {
        while (!c.done() && c.peek() != '\n' && c.peek() != '\r') c.Next();
        continue;
      }
      if (ch == '/' && c.peek(1) == '*') {
        c.Next();
        c.Next();
        while (!c.done() && !(c.peek() == '*' && c.peek(1) == '/')) c.Next();
        if (c.done()) {
          StatementPlace place{out.size() + 1, 0, at.line, at.column,
                               text.substr(has_content ? first.offset : at.offset)};
          return SqlError(NativeError::kUnterminated,
                          "The comment opened at line " + std::to_string(at.line) + ", column " +
                              std::to_string(at.column) + " is not closed.",
                          DescribePlace(place));
        }
        c.Next();
        c.Next();
        continue;
      }
      content(at);
      if (ch == '\'' || ch == '"' || ch == '[') {
        const char close = ch == '[' ? ']' : ch;
        c.Next();
        while (!c.done() && c.peek() != close) c.Next();
        if (c.done()) {
          StatementPlace place{out.size() + 1, 0, at.line, at.column, text.substr(first.offset)};
          std::string what = ch == '[' ? "bracket" : "quote";
          return SqlError(NativeError::kUnterminated,
                          "The " + what + " " + std::string(1, ch) + " opened at line " +
                              std::to_string(at.line) + ", column " + std::to_string(at.column) +
                              " is not closed.",
                          DescribePlace(place));
        }
        c.Next();  // a doubled quote simply opens the next quoted part
        last_end = c.pos();
        continue;
      }
      if (ch == ':' && c.peek(1) == ':') {  // a "::" cast, no marker
        c.Next();
        c.Next();
        last_end = c.pos();
        continue;
      }
      if (ch == '?') {
        params.push_back(Parameter{"", at});
      } else if (ch == ':' && IsNameChar(c.peek(1)) &&
                 !std::isdigit(static_cast<unsigned char>(c.peek(1)))) {
        c.Next();
        std::string name;
        while (!c.done() && IsNameChar(c.peek())) {
          name += c.peek();
          c.Next();
        }
        params.push_back(Parameter{std::move(name), at});
        last_end = c.pos();
        continue;
      }
      c.Next();
      last_end = c.pos();
    }
    if (has_content) {
      Statement s;
      s.text = std::string(text.substr(first.offset, last_end.offset - first.offset));
      s.at = first;
      s.parameters = std::move(params);
      out.push_back(std::move(s));
    }
    if (c.done()) break;
    c.Next();  // the ";"
  }
  return out;
}

}  // namespace ace::sql
