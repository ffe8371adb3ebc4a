// The DDL lexer and recursive-descent parser (see ddl.h).
#include "engine/sql/ddl.h"

#include <cctype>
#include <charconv>

#include "engine/sql/sql_error.h"
#include "engine/sql/dictionary_sql.h"

namespace ace::sql {
namespace {

enum class Tok { kEnd, kWord, kQuotedName, kNumber, kString, kPunct };

struct Token {
  Tok kind = Tok::kEnd;
  std::string text;  // words as written; quoted names without quotes; punctuation its char
  size_t offset = 0;
};

bool IsWordStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsWordChar(char c) {
  return IsWordStart(c) || std::isdigit(static_cast<unsigned char>(c));
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Splits a statement into tokens; comments and blanks are skipped. Unterminated quotes were
// refused by the splitter already, but a statement given directly is checked again here.
class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Result<std::vector<Token>> Run(const Statement& st, size_t index, size_t count) {
    std::vector<Token> out;
    while (true) {
      SkipBlanks();
      Token t;
      t.offset = pos_;
      if (pos_ >= text_.size()) {
        out.push_back(t);
        return out;
      }
      char c = text_[pos_];
      if (IsWordStart(c)) {
        t.kind = Tok::kWord;
        while (pos_ < text_.size() && IsWordChar(text_[pos_])) t.text += text_[pos_++];
      } else if (std::isdigit(static_cast<unsigned char>(c))) {
        t.kind = Tok::kNumber;
        while (pos_ < text_.size() &&
               (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.'))
          t.text += text_[pos_++];
      } else if (c == '"' || c == '[' || c == '\'') {
        const char close = c == '[' ? ']' : c;
        t.kind = c == '\'' ? Tok::kString : Tok::kQuotedName;
        ++pos_;
        bool closed = false;
        while (pos_ < text_.size()) {
          if (text_[pos_] == close) {
            if (pos_ + 1 < text_.size() && text_[pos_ + 1] == close) {
              t.text += close;
              pos_ += 2;
              continue;
            }
            ++pos_;
            closed = true;
            break;
          }
          t.text += text_[pos_++];
        }
        if (!closed) {
          return SqlError(
              NativeError::kUnterminated,
              std::string("The ") + (c == '[' ? "bracket" : "quote") + " " + c + " is not closed.",
              DescribePlace(PlaceOf(st, index, count, t.offset)));
        }
      } else {
        t.kind = Tok::kPunct;
        t.text = std::string(1, c);
        ++pos_;
      }
      out.push_back(std::move(t));
    }
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++pos_;
      } else if (c == '-' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '-') {
        while (pos_ < text_.size() && text_[pos_] != '\n' && text_[pos_] != '\r') ++pos_;
      } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') {
        size_t end = text_.find("*/", pos_ + 2);
        pos_ = end == std::string_view::npos ? text_.size() : end + 2;
      } else {
        return;
      }
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

class Parser {
 public:
  Parser(const Statement& st, size_t index, size_t count, std::vector<Token> tokens)
      : st_(st), index_(index), count_(count), toks_(std::move(tokens)) {}

  Result<DdlStatement> Run() {
    if (Keyword("CREATE")) {
      bool unique = Keyword("UNIQUE");
      if (Keyword("INDEX")) return CreateIndex(unique);
      if (unique) return Expected("INDEX");
      if (Keyword("TABLE")) return CreateTable();
      return Expected("TABLE or INDEX");
    }
    if (Keyword("ALTER")) {
      if (!Keyword("TABLE")) return Expected("TABLE");
      return AlterTable();
    }
    if (Keyword("DROP")) {
      if (Keyword("TABLE")) {
        DropTableStmt d;
        d.table_offset = Peek().offset;
        auto name = Name("a table name");
        if (!name.ok()) return name.status();
        d.table = name.value();
        ACE_RETURN_IF_ERROR(End());
        return DdlStatement(std::move(d));
      }
      if (Keyword("INDEX")) {
        DropIndexStmt d;
        auto table = Name("a table name");
        if (!table.ok()) return table.status();
        if (!Punct('.')) return Expected("\".\" and the index name (DROP INDEX table.index)");
        auto name = Name("an index name");
        if (!name.ok()) return name.status();
        d.table = table.value();
        d.name = name.value();
        ACE_RETURN_IF_ERROR(End());
        return DdlStatement(std::move(d));
      }
      return Expected("TABLE or INDEX");
    }
    return Expected("CREATE, ALTER or DROP");
  }

 private:
  const Token& Peek(size_t ahead = 0) const {
    size_t i = std::min(pos_ + ahead, toks_.size() - 1);
    return toks_[i];
  }
  bool IsKeyword(const Token& t, std::string_view kw) const {
    return t.kind == Tok::kWord && Upper(t.text) == kw;
  }
  bool Keyword(std::string_view kw) {
    if (!IsKeyword(Peek(), kw)) return false;
    ++pos_;
    return true;
  }
  bool Punct(char c) {
    if (Peek().kind != Tok::kPunct || Peek().text[0] != c) return false;
    ++pos_;
    return true;
  }

  Status ErrorAt(NativeError native, const std::string& cause, size_t offset) const {
    return SqlError(native, cause, DescribePlace(PlaceOf(st_, index_, count_, offset)));
  }
  // "Expected X, found Y." at the current token.
  Status Expected(const std::string& what) const {
    const Token& t = Peek();
    if (t.kind == Tok::kEnd) {
      return ErrorAt(NativeError::kUnexpectedEnd,
                     "The statement ends where " + what + " was expected.", t.offset);
    }
    std::string found = t.kind == Tok::kQuotedName ? "\"" + t.text + "\""
                        : t.kind == Tok::kString   ? "'" + t.text + "'"
                                                   : t.text;
    return ErrorAt(NativeError::kSyntax, "Expected " + what + ", found " + found + ".", t.offset);
  }
  Status End() {
    if (Peek().kind == Tok::kEnd) return Status::Ok();
    return Expected("the end of the statement");
  }

  Result<std::string> Name(const std::string& what) {
    const Token& t = Peek();
    if (t.kind == Tok::kWord || (t.kind == Tok::kQuotedName && !t.text.empty())) {
      ++pos_;
      return t.text;
    }
    return Expected(what);
  }

  Result<uint32_t> Number(const std::string& what) {
    const Token& t = Peek();
    uint32_t v = 0;
    if (t.kind == Tok::kNumber) {
      auto [end, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
      if (ec == std::errc() && end == t.text.data() + t.text.size()) {
        ++pos_;
        return v;
      }
      return ErrorAt(NativeError::kSyntax,
                     "\"" + t.text + "\" is not a whole number (" + what + ").", t.offset);
    }
    return Expected(what);
  }

  Result<TypeName> Type() {
    TypeName type;
    type.offset = Peek().offset;
    if (Peek().kind != Tok::kWord) return Expected("a type name");
    type.name = Upper(Peek().text);
    for (char& c : type.name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ++pos_;
    if (Punct('(')) {
      auto n = Number("the length of the type");
      if (!n.ok()) return n.status();
      type.length = n.value();
      if (Punct(',')) {
        auto s = Number("the second number of the type");
        if (!s.ok()) return s.status();
        type.scale = s.value();
      }
      if (!Punct(')')) return Expected("\")\"");
    }
    return type;
  }

  // A literal after DEFAULT: a quoted text, a number (with sign), NULL, TRUE, FALSE or a word.
  Result<std::string> Literal() {
    const Token& t = Peek();
    std::string sign;
    if (t.kind == Tok::kPunct && (t.text == "-" || t.text == "+")) {
      sign = t.text;
      ++pos_;
      if (Peek().kind != Tok::kNumber) return Expected("a number");
    }
    const Token& v = Peek();
    switch (v.kind) {
      case Tok::kString:
        ++pos_;
        return "'" + v.text + "'";
      case Tok::kNumber:
        ++pos_;
        return sign + v.text;
      case Tok::kWord:
        if (IsKeyword(v, "NULL") || IsKeyword(v, "TRUE") || IsKeyword(v, "FALSE")) {
          ++pos_;
          return Upper(v.text);
        }
        break;
      default:
        break;
    }
    return Expected("a literal (a quoted text, a number, NULL, TRUE or FALSE)");
  }

  // NULL, NOT NULL, DEFAULT literal, CONSTRAINT ...: any number of them, in any order.
  Status ColumnOptions(ColumnDef* col) {
    while (true) {
      if (Keyword("NULL")) {
        col->not_null = false;
      } else if (IsKeyword(Peek(), "NOT")) {
        ++pos_;
        if (!Keyword("NULL")) return Expected("NULL");
        col->not_null = true;
      } else if (Keyword("DEFAULT")) {
        auto lit = Literal();
        if (!lit.ok()) return lit.status();
        col->default_value = lit.value();
      } else if (Keyword("CONSTRAINT")) {
        // An optional constraint name, unless the word is the constraint itself.
        if ((Peek().kind == Tok::kWord || Peek().kind == Tok::kQuotedName) &&
            !IsKeyword(Peek(), "NULL") && !IsKeyword(Peek(), "NOT") &&
            !IsKeyword(Peek(), "PRIMARY") && !IsKeyword(Peek(), "UNIQUE")) {
          ++pos_;
        }
        if (Keyword("NULL")) {
          col->not_null = false;
        } else if (Keyword("NOT")) {
          if (!Keyword("NULL")) return Expected("NULL");
          col->not_null = true;
        } else if (Keyword("PRIMARY")) {
          if (!Keyword("KEY")) return Expected("KEY");
          col->primary_key = true;
        } else if (Keyword("UNIQUE")) {
          col->unique = true;
        } else {
          return Expected("NULL, NOT NULL, PRIMARY KEY or UNIQUE");
        }
      } else {
        return Status::Ok();
      }
    }
  }

  Result<DdlStatement> CreateTable() {
    CreateTableStmt c;
    c.table_offset = Peek().offset;
    auto table = Name("a table name");
    if (!table.ok()) return table.status();
    c.table = table.value();
    if (!Punct('(')) return Expected("\"(\" and the column definitions");
    do {
      ColumnDef col;
      col.offset = Peek().offset;
      auto name = Name("a column name");
      if (!name.ok()) return name.status();
      col.name = name.value();
      auto type = Type();
      if (!type.ok()) return type.status();
      col.type = type.value();
      ACE_RETURN_IF_ERROR(ColumnOptions(&col));
      c.columns.push_back(std::move(col));
    } while (Punct(','));
    if (!Punct(')')) return Expected("\",\" or \")\"");
    ACE_RETURN_IF_ERROR(End());
    return DdlStatement(std::move(c));
  }

  Status Position(ColumnChange* ch) {
    if (!Keyword("POSITION")) return Status::Ok();
    size_t at = Peek().offset;
    auto n = Number("the column position");
    if (!n.ok()) return n.status();
    if (n.value() == 0) {
      return ErrorAt(NativeError::kBadPosition, "Column positions start at 1.", at);
    }
    ch->position = n.value();
    return Status::Ok();
  }

  bool StartsOption(const Token& t) const {
    return t.kind != Tok::kWord || IsKeyword(t, "POSITION") || IsKeyword(t, "NULL") ||
           IsKeyword(t, "NOT") || IsKeyword(t, "DEFAULT") || IsKeyword(t, "CONSTRAINT");
  }

  Result<DdlStatement> AlterTable() {
    AlterTableStmt a;
    a.table_offset = Peek().offset;
    auto table = Name("a table name");
    if (!table.ok()) return table.status();
    a.table = table.value();
    do {
      ColumnChange ch;
      ch.offset = Peek().offset;
      if (Keyword("ADD")) {
        ch.kind = ChangeKind::kAdd;
      } else if (Keyword("DROP")) {
        ch.kind = ChangeKind::kDrop;
      } else if (Keyword("ALTER")) {
        ch.kind = ChangeKind::kAlter;
      } else {
        return Expected("ADD, DROP or ALTER");
      }
      // COLUMN is optional; a column called "column" must then be quoted.
      Keyword("COLUMN");
      auto name = Name("a column name");
      if (!name.ok()) return name.status();
      ch.column = name.value();
      if (ch.kind == ChangeKind::kAlter) {
        // "ALTER col new_name type" or "ALTER col type": a quoted word, or a word followed by
        // another word that is no option keyword, is the new name.
        const Token& next = Peek();
        if (next.kind == Tok::kQuotedName ||
            (next.kind == Tok::kWord && Peek(1).kind == Tok::kWord && !StartsOption(Peek(1)))) {
          auto nn = Name("the new column name");
          if (!nn.ok()) return nn.status();
          ch.new_name = nn.value();
        }
      }
      if (ch.kind != ChangeKind::kDrop) {
        auto type = Type();
        if (!type.ok()) return type.status();
        ch.type = type.value();
        ColumnDef opts;
        ACE_RETURN_IF_ERROR(ColumnOptions(&opts));
        if (opts.primary_key || opts.unique) {
          return ErrorAt(NativeError::kIndexUnavailable,
                         "PRIMARY KEY and UNIQUE need an index, which ALTER TABLE does not build.",
                         ch.offset);
        }
        ch.not_null = opts.not_null;
        ch.default_value = opts.default_value;
        ACE_RETURN_IF_ERROR(Position(&ch));
      }
      a.changes.push_back(std::move(ch));
    } while (Punct(','));
    ACE_RETURN_IF_ERROR(End());
    return DdlStatement(std::move(a));
  }

  Result<DdlStatement> CreateIndex(bool unique) {
    CreateIndexStmt c;
    c.unique = unique;
    auto name = Name("an index name");
    if (!name.ok()) return name.status();
    c.name = name.value();
    if (!Keyword("ON")) return Expected("ON");
    auto table = Name("a table name");
    if (!table.ok()) return table.status();
    c.table = table.value();
    if (!Punct('(')) return Expected("\"(\" and the indexed columns");
    do {
      auto col = Name("a column name");
      if (!col.ok()) return col.status();
      c.columns.push_back(col.value());
    } while (Punct(','));
    if (!Punct(')')) return Expected("\",\" or \")\"");
    ACE_RETURN_IF_ERROR(End());
    return DdlStatement(std::move(c));
  }

  const Statement& st_;
  size_t index_;
  size_t count_;
  std::vector<Token> toks_;
  size_t pos_ = 0;
};

}  // namespace

bool IsDdl(std::string_view statement_text) {
  Statement st;
  st.text = std::string(statement_text);
  auto toks = Lexer(statement_text).Run(st, 1, 1);
  if (!toks.ok() || toks->empty() || toks->front().kind != Tok::kWord) return false;
  std::string first = Upper(toks->front().text);
  // CREATE DATABASE, CREATE USER and their kin are dictionary statements (dictionary_sql.h).
  if (IsDictionaryStatement(statement_text)) return false;
  return first == "CREATE" || first == "ALTER" || first == "DROP";
}

Result<DdlStatement> ParseDdl(const Statement& statement, size_t index, size_t count) {
  auto toks = Lexer(statement.text).Run(statement, index, count);
  if (!toks.ok()) return toks.status();
  return Parser(statement, index, count, std::move(toks.value())).Run();
}

StatementPlace PlaceOf(const Statement& statement, size_t index, size_t count,
                       std::optional<size_t> offset) {
  StatementPlace place;
  place.index = index;
  place.count = count;
  place.line = statement.at.line;
  place.text = statement.text;
  if (offset) {
    TextPosition p = PositionIn(statement, *offset);
    place.line = p.line;
    place.column = p.column;
  }
  return place;
}

}  // namespace ace::sql
