// Dictionary statements and system procedures (see dictionary_sql.h).
#include "engine/sql/dictionary_sql.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/dict/dictionary.h"
#include "engine/sql/sql_error.h"
#include "engine/storage/table_file.h"

namespace ace::sql {
namespace {

std::string Upper(std::string_view s) {
  std::string u(s);
  std::transform(u.begin(), u.end(), u.begin(), [](unsigned char c) { return std::toupper(c); });
  return u;
}

// Parameters are numbered from 1; no statement holds more than this many.
constexpr uint32_t kMaxParamNumber = 65535;

struct Token {
  enum Kind { kWord, kString, kNumber, kParam, kPunct, kEnd } kind = kEnd;
  std::string text;  // word as written, string unquoted, punctuation character
  size_t param = 0;  // kParam: 1-based number (0: none), text: its digits as written
};

// Splits a statement into words, quoted texts ('..' with '' inside; "..", [..] are quoted
// names, given as words), numbers, ?N parameters and punctuation.
Result<std::vector<Token>> Tokens(std::string_view s) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '\'') {
      std::string text;
      ++i;
      for (;;) {
        if (i >= s.size()) return SqlError(NativeError::kUnterminated, "A quote is not closed.");
        if (s[i] == '\'') {
          if (i + 1 < s.size() && s[i + 1] == '\'') {
            text += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        text += s[i++];
      }
      out.push_back({Token::kString, text, 0});
    } else if (c == '"' || c == '[') {
      const char close = c == '"' ? '"' : ']';
      const size_t end = s.find(close, i + 1);
      if (end == std::string_view::npos)
        return SqlError(NativeError::kUnterminated, "A quoted name is not closed.");
      out.push_back({Token::kWord, std::string(s.substr(i + 1, end - i - 1)), 0});
      i = end + 1;
    } else if (c == '?') {
      size_t j = i + 1;
      while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      if (j == i + 1) return SqlError(NativeError::kParamUnknown, "A parameter has no number.");
      // A number of any length may stand there; one beyond what a statement can hold names no
      // parameter: it becomes parameter 0, which Value reports as unknown (by its digits).
      const std::string_view digits = s.substr(i + 1, j - i - 1);
      uint32_t number = 0;
      const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
      if (ec != std::errc() || end != digits.data() + digits.size() || number > kMaxParamNumber)
        number = 0;
      out.push_back({Token::kParam, std::string(digits), static_cast<size_t>(number)});
      i = j;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '-') {
      size_t j = i + 1;
      while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
      out.push_back({Token::kNumber, std::string(s.substr(i, j - i)), 0});
      i = j;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t j = i + 1;
      while (j < s.size() &&
             (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_' || s[j] == '.'))
        ++j;
      out.push_back({Token::kWord, std::string(s.substr(i, j - i)), 0});
      i = j;
    } else {
      out.push_back({Token::kPunct, std::string(1, c), 0});
      ++i;
    }
  }
  out.push_back({});
  return out;
}

class Parser {
 public:
  Parser(std::vector<Token> toks, const ParamSet& params)
      : toks_(std::move(toks)), params_(params) {}

  const Token& Peek() const { return toks_[pos_]; }
  bool AtEnd() const { return Peek().kind == Token::kEnd; }
  bool Keyword(const char* word) {
    if (Peek().kind == Token::kWord && Upper(Peek().text) == word) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool Punct(char c) {
    if (Peek().kind == Token::kPunct && Peek().text[0] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  Status Expect(const char* word) {
    if (Keyword(word)) return Status::Ok();
    return Syntax(std::string("Expected ") + word + ".");
  }
  Status Syntax(const std::string& what) const {
    return SqlError(NativeError::kSyntax, what + (AtEnd() ? " The statement ends early."
                                                          : " Found \"" + Peek().text + "\"."));
  }
  Result<std::string> Name() {
    if (Peek().kind != Token::kWord) return Syntax("Expected a name.");
    return toks_[pos_++].text;
  }
  // A literal or parameter as text; nullopt for NULL.
  Result<std::optional<std::string>> Value() {
    const Token& t = Peek();
    if (t.kind == Token::kString || t.kind == Token::kNumber) {
      ++pos_;
      return std::optional<std::string>(t.text);
    }
    if (t.kind == Token::kWord && Upper(t.text) == "NULL") {
      ++pos_;
      return std::optional<std::string>();
    }
    if (t.kind == Token::kParam) {
      ++pos_;
      if (t.param == 0 || t.param > params_.size())
        return SqlError(NativeError::kParamUnknown,
                        "Parameter " + std::string(t.text.substr(0, 24)) +
                            (t.text.size() > 24 ? "..." : "") + " is unknown.");
      const ParamValue& v = params_.slot(t.param - 1).value;
      switch (v.kind) {
        case ParamValue::Kind::kNull:
          return std::optional<std::string>();
        case ParamValue::Kind::kText:
        case ParamValue::Kind::kBinary:
          return std::optional<std::string>(v.bytes);
        case ParamValue::Kind::kInteger:
        case ParamValue::Kind::kLogical:
          return std::optional<std::string>(std::to_string(v.integer));
        default:
          return SqlError(NativeError::kParamValue,
                          "Parameter " + std::to_string(t.param) + " must be a text or a number.");
      }
    }
    return Syntax("Expected a value.");
  }
  Result<std::string> Text() {
    auto v = Value();
    if (!v.ok()) return v.status();
    return v.value().value_or(std::string());
  }
  // ( value, value, ... ) possibly empty.
  Result<std::vector<std::string>> Arguments() {
    std::vector<std::string> out;
    if (!Punct('(')) return Syntax("Expected \"(\".");
    if (Punct(')')) return out;
    for (;;) {
      auto v = Text();
      if (!v.ok()) return v.status();
      out.push_back(std::move(v.value()));
      if (Punct(')')) return out;
      if (!Punct(',')) return Syntax("Expected \",\" or \")\".");
    }
  }
  Status End() {
    Punct(';');
    if (!AtEnd()) return Syntax("Unexpected text after the statement.");
    return Status::Ok();
  }

 private:
  std::vector<Token> toks_;
  const ParamSet& params_;
  size_t pos_ = 0;
};

// Failures of the dictionary become SQL errors that keep the dictionary's reason.
Status Refused(const Status& s) {
  if (s.ok() || IsSqlError(s)) return s;
  if (s.code() == kErrNotInDictionary) return SqlError(NativeError::kNotInDictionary, s.message());
  return SqlError(NativeError::kSqlEngine, s.message());
}

Result<dict::Dictionary*> Need(cursor::Connection& connection) {
  if (connection.dictionary() == nullptr) {
    return SqlError(NativeError::kUnsupported,
                    "The statement needs a connection to a data dictionary.");
  }
  return connection.dictionary();
}

Result<uint32_t> Rights(Parser& p) {
  uint32_t rights = 0;
  if (p.Keyword("ALL")) return dict::kRightsAll;
  for (;;) {
    if (p.Keyword("SELECT") || p.Keyword("READ")) {
      rights |= dict::kRightRead;
    } else if (p.Keyword("UPDATE")) {
      rights |= dict::kRightUpdate;
    } else if (p.Keyword("INSERT")) {
      rights |= dict::kRightInsert;
    } else if (p.Keyword("DELETE")) {
      rights |= dict::kRightDelete;
    } else {
      return p.Syntax("Expected ALL, SELECT, UPDATE, INSERT or DELETE.");
    }
    if (!p.Punct(',')) return rights;
  }
}

Status WriteApplicationIdResult(const std::string& id, const std::string& path,
                                std::optional<QueryResult>* result) {
  storage::FieldSpec field;
  field.name = "ApplicationID";
  field.type = storage::kFtString;
  field.length = 300;
  auto file = storage::CreateTableFile(path, storage::TableType::kAdt, {field}, {});
  if (!file.ok()) return file.status();
  std::vector<std::byte> image = file.value()->BlankRecord();
  const storage::FieldDesc& f = file.value()->fields()[0];
  std::memset(image.data() + f.offset, ' ', f.length);
  std::memcpy(image.data() + f.offset, id.data(), std::min<size_t>(id.size(), f.length));
  auto appended = file.value()->AppendRecord(image.data());
  Status s = appended.ok() ? file.value()->Flush() : appended.status();
  if (!s.ok()) {
    file.value().reset();
    (void)RemoveFile(path);
    return s;
  }
  QueryResult r;
  r.static_path = path;
  r.rows = 1;
  *result = std::move(r);
  return Status::Ok();
}

Result<uint16_t> TableTypeOf(const std::string& text, const std::string& path) {
  if (text.empty() || text == "0") {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return static_cast<uint16_t>(
        lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dbf") == 0 ? 2 : 3);
  }
  const std::string u = Upper(text);
  if (u == "1" || u == "NTX") return static_cast<uint16_t>(1);
  if (u == "2" || u == "CDX") return static_cast<uint16_t>(2);
  if (u == "3" || u == "ADT") return static_cast<uint16_t>(3);
  if (u == "4" || u == "VFP") return static_cast<uint16_t>(4);
  return SqlError(NativeError::kParamValue, "Unknown table type \"" + text + "\".");
}

std::string Resolve(const cursor::Connection& connection, const std::string& name) {
  std::string p = NormalizePath(name);
  return !p.empty() && p[0] == '/' ? p : JoinPath(connection.path(), p);
}

Status RunProcedure(cursor::Connection& connection, Parser& p, const std::string& result_path,
                    std::optional<QueryResult>* result) {
  auto name = p.Name();
  if (!name.ok()) return name.status();
  auto args = p.Arguments();
  if (!args.ok()) return args.status();
  ACE_RETURN_IF_ERROR(p.End());
  const std::string proc = Upper(name.value());
  std::vector<std::string>& a = args.value();
  auto need = [&](size_t n) -> Status {
    if (a.size() >= n) return Status::Ok();
    return SqlError(NativeError::kSyntax, name.value() + " takes " + std::to_string(n) +
                                              " arguments; " + std::to_string(a.size()) +
                                              " were given.");
  };
  a.resize(std::max<size_t>(a.size(), 6));
  if (proc == "SP_SETAPPLICATIONID") {
    connection.application_id() = a[0];
    return Status::Ok();
  }
  if (proc == "SP_GETAPPLICATIONID")
    return WriteApplicationIdResult(connection.application_id(), result_path, result);
  auto d = Need(connection);
  if (!d.ok()) return d.status();
  dict::Dictionary& dd = *d.value();
  if (proc == "SP_ADDTABLETODATABASE") {
    ACE_RETURN_IF_ERROR(need(2));
    dict::TableEntry e;
    e.name = a[0];
    e.path = Resolve(connection, a[1]);
    auto type = TableTypeOf(a[2], e.path);
    if (!type.ok()) return type.status();
    e.type = type.value();
    if (!FileExists(e.path))
      return SqlError(NativeError::kTableNotFound, e.path + ": the table does not exist.");
    size_t start = 0;
    while (start < a[4].size()) {
      size_t semi = a[4].find(';', start);
      if (semi == std::string::npos) semi = a[4].size();
      if (semi > start)
        e.index_files.push_back(Resolve(connection, a[4].substr(start, semi - start)));
      start = semi + 1;
    }
    return Refused(dd.AddTable(e));
  }
  if (proc == "SP_REMOVETABLEFROMDATABASE") {
    ACE_RETURN_IF_ERROR(need(1));
    return Refused(dd.RemoveTable(a[0]));
  }
  if (proc == "SP_CREATEUSER") {
    ACE_RETURN_IF_ERROR(need(2));
    return Refused(dd.CreateUser(a[0], a[1]));
  }
  if (proc == "SP_CREATEGROUP") {
    ACE_RETURN_IF_ERROR(need(1));
    return Refused(dd.CreateGroup(a[0]));
  }
  if (proc == "SP_ADDUSERTOGROUP") {
    ACE_RETURN_IF_ERROR(need(2));
    return Refused(dd.AddUserToGroup(a[0], a[1]));
  }
  if (proc == "SP_MODIFYTABLEPROPERTY") {
    ACE_RETURN_IF_ERROR(need(3));
    const std::string property = Upper(a[1]);
    if (property == "TABLE_PRIMARY_KEY") return Refused(dd.SetTablePrimaryKey(a[0], a[2]));
    if (property == "TABLE_DEFAULT_INDEX") return Refused(dd.SetTableDefaultIndex(a[0], a[2]));
    return SqlError(NativeError::kUnsupported,
                    "The table property " + a[1] + " cannot be changed here.");
  }
  return SqlError(NativeError::kUnsupported, "There is no procedure " + name.value() + ".");
}

}  // namespace

bool IsDictionaryStatement(std::string_view text) {
  auto toks = Tokens(text);
  if (!toks.ok() || toks.value().size() < 3) return false;
  const auto& t = toks.value();
  if (t[0].kind != Token::kWord || t[1].kind != Token::kWord) return false;
  const std::string a = Upper(t[0].text), b = Upper(t[1].text);
  if (a == "EXECUTE" && b == "PROCEDURE") return true;
  if (a == "CREATE" && (b == "DATABASE" || b == "USER" || b == "GROUP")) return true;
  if (a == "DROP" && b == "USER") return true;
  return a == "GRANT" || a == "REVOKE";
}

Status RunDictionaryStatement(cursor::Connection& connection, std::string_view numbered,
                              const ParamSet& params, const std::string& result_path,
                              std::optional<QueryResult>* result) {
  auto toks = Tokens(numbered);
  if (!toks.ok()) return toks.status();
  Parser p(std::move(toks.value()), params);
  if (p.Keyword("EXECUTE")) {
    ACE_RETURN_IF_ERROR(p.Expect("PROCEDURE"));
    return RunProcedure(connection, p, result_path, result);
  }
  if (p.Keyword("CREATE")) {
    if (p.Keyword("DATABASE")) {
      auto file = p.Peek().kind == Token::kWord ? p.Name() : p.Text();
      if (!file.ok()) return file.status();
      std::string password;
      if (p.Keyword("PASSWORD")) {
        auto pw = p.Text();
        if (!pw.ok()) return pw.status();
        password = pw.value();
      }
      ACE_RETURN_IF_ERROR(p.End());
      std::string path = Resolve(connection, file.value());
      if (path.size() < 4 || Upper(path.substr(path.size() - 4)) != ".ADD") path += ".add";
      auto created = dict::Dictionary::Create(path, password);
      return created.ok() ? Status::Ok() : Refused(created.status());
    }
    auto d = Need(connection);
    if (!d.ok()) return d.status();
    if (p.Keyword("USER")) {
      auto user = p.Name();
      if (!user.ok()) return user.status();
      ACE_RETURN_IF_ERROR(p.Expect("PASSWORD"));
      auto pw = p.Text();
      if (!pw.ok()) return pw.status();
      std::string group;
      if (p.Keyword("IN")) {
        ACE_RETURN_IF_ERROR(p.Expect("GROUP"));
        auto g = p.Name();
        if (!g.ok()) return g.status();
        group = g.value();
      }
      ACE_RETURN_IF_ERROR(p.End());
      ACE_RETURN_IF_ERROR(Refused(d.value()->CreateUser(user.value(), pw.value())));
      if (!group.empty()) return Refused(d.value()->AddUserToGroup(user.value(), group));
      return Status::Ok();
    }
    ACE_RETURN_IF_ERROR(p.Expect("GROUP"));
    auto group = p.Name();
    if (!group.ok()) return group.status();
    ACE_RETURN_IF_ERROR(p.End());
    return Refused(d.value()->CreateGroup(group.value()));
  }
  auto d = Need(connection);
  if (!d.ok()) return d.status();
  if (p.Keyword("DROP")) {
    ACE_RETURN_IF_ERROR(p.Expect("USER"));
    auto user = p.Name();
    if (!user.ok()) return user.status();
    ACE_RETURN_IF_ERROR(p.End());
    return Refused(d.value()->DropUser(user.value()));
  }
  const bool grant = p.Keyword("GRANT");
  if (!grant) ACE_RETURN_IF_ERROR(p.Expect("REVOKE"));
  auto rights = Rights(p);
  if (!rights.ok()) return rights.status();
  ACE_RETURN_IF_ERROR(p.Expect("ON"));
  auto table = p.Name();
  if (!table.ok()) return table.status();
  ACE_RETURN_IF_ERROR(p.Expect(grant ? "TO" : "FROM"));
  auto grantee = p.Name();
  if (!grantee.ok()) return grantee.status();
  ACE_RETURN_IF_ERROR(p.End());
  return Refused(grant ? d.value()->Grant(rights.value(), table.value(), grantee.value())
                       : d.value()->Revoke(rights.value(), table.value(), grantee.value()));
}

}  // namespace ace::sql
