// Evaluation of compiled expressions, their canonical text, and the number formatting that
// STR and VAL share.
#include "engine/expr/expression.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "engine/base/error_codes.h"
#include "engine/expr/contains.h"
#include "engine/expr/lexer.h"

namespace ace::expr {

uint16_t ExpressionTypeCode(ValueType type) {
  switch (type) {
    case ValueType::kLogical:
      return 1;
    case ValueType::kNumeric:
      return 2;
    case ValueType::kDate:
      return 3;
    case ValueType::kTimestamp:
      return 14;
    default:
      return 4;
  }
}

double RoundHalfAway(double value, int decimals) {
  decimals = std::clamp(decimals, -18, 18);
  double p = std::pow(10.0, decimals);
  double scaled = value * p;
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 4503599627370496.0) return value;  // 2^52
  // A relative nudge so that decimal halves stored just below .5 (2.675) round as written.
  scaled += std::copysign(std::fabs(scaled) * 1e-13, scaled);
  return std::round(scaled) / p;
}

std::string FormatNumber(double value, int width, int decimals) {
  if (width <= 0) return std::string();
  decimals = std::clamp(decimals, 0, 18);
  double r = RoundHalfAway(value, decimals);
  if (!std::isfinite(r)) return std::string(static_cast<size_t>(width), '*');
  if (r == 0) r = 0;  // no "-0.00"
  char buf[400];      // the longest double with 18 decimals needs about 330
  int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, r);
  if (n < 0 || n > width) return std::string(static_cast<size_t>(width), '*');
  return std::string(static_cast<size_t>(width - n), ' ') + buf;
}

std::string SortableNumber(const Value& value, int width, int decimals) {
  if (value.is_null) return std::string(static_cast<size_t>(width) + 1, ' ');
  decimals = std::clamp(decimals, 0, 18);
  const double r = RoundHalfAway(value.number, decimals);
  std::string digits;
  if (std::isfinite(r)) {
    char buf[400];
    const int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(r));
    if (n > 0 && n < static_cast<int>(sizeof buf)) {
      for (int i = 0; i < n; ++i)
        if (buf[i] >= '0' && buf[i] <= '9') digits.push_back(buf[i]);
    }
  }
  const size_t first = digits.find_first_not_of('0');
  digits = first == std::string::npos ? std::string() : digits.substr(first);
  const bool negative = r < 0 && !digits.empty();
  // Infinities and values wider than the field are held at the largest magnitude.
  if (!std::isfinite(r) || digits.size() > static_cast<size_t>(width))
    digits.assign(static_cast<size_t>(width), '9');
  digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
  if (negative)
    for (char& c : digits) c = static_cast<char>('9' - (c - '0'));
  return (negative ? "0" : "1") + digits;
}

double ParseLeadingNumber(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  std::string num;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) num += s[i++];
  bool digits = false, point = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      num += c;
      digits = true;
    } else if (c == '.' && !point) {
      num += c;
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return 0;
  return std::strtod(num.c_str(), nullptr);
}

namespace {

constexpr size_t kMaxTextLength = 65535;
constexpr int64_t kFirstJulian = 1721426;  // 0001-01-01
constexpr int64_t kLastJulian = 5373484;   // 9999-12-31

// A number as an integer in [lo, hi], truncated toward zero; NaN is 0.
int64_t ToInt(double d, double lo, double hi) {
  if (std::isnan(d)) return 0;
  return static_cast<int64_t>(std::clamp(d, lo, hi));
}

Status RuntimeError(const Node& n, std::string_view what) {
  return Status(kErrInvalidExpression,
                std::string(what) + " at position " + std::to_string(n.pos + 1));
}

std::string RTrim(std::string_view s) {
  size_t e = s.find_last_not_of(' ');
  return e == std::string_view::npos ? std::string() : std::string(s.substr(0, e + 1));
}
std::string LTrim(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  return b == std::string_view::npos ? std::string() : std::string(s.substr(b));
}

Value NowValue(const EvalOptions& options) {
  if (options.now) return options.now();
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return Value::Timestamp(
      JulianFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday),
      ((tm.tm_hour * 60 + tm.tm_min) * 60 + tm.tm_sec) * 1000 + static_cast<int32_t>(ms));
}

int Sign(double d) {
  return d < 0 ? -1 : d > 0 ? 1 : 0;
}

int CompareText(std::string_view a, std::string_view b, const EvalOptions& o, bool exact) {
  if (!exact && b.size() < a.size()) a = a.substr(0, b.size());
  if (o.collation) return o.collation->Compare(a, b);
  size_t n = std::max(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(i < a.size() ? a[i] : ' ');
    auto cb = static_cast<unsigned char>(i < b.size() ? b[i] : ' ');
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return 0;
}

// Three-way comparison of two values of one type (dates and timestamps compare together).
int CompareValues(const Value& a, const Value& b, const EvalOptions& o, bool exact) {
  switch (a.type) {
    case ValueType::kCharacter:
      return CompareText(a.text, b.text, o, exact);
    case ValueType::kNumeric:
      return Sign(a.number - b.number);
    case ValueType::kLogical:
      return static_cast<int>(a.logical) - static_cast<int>(b.logical);
    default: {
      int64_t ka = static_cast<int64_t>(a.julian) * 86400000 +
                   (a.type == ValueType::kTimestamp ? a.millis : 0);
      int64_t kb = static_cast<int64_t>(b.julian) * 86400000 +
                   (b.type == ValueType::kTimestamp ? b.millis : 0);
      return ka < kb ? -1 : ka > kb ? 1 : 0;
    }
  }
}

bool IsEmptyValue(const Value& v) {
  if (v.is_null) return true;
  switch (v.type) {
    case ValueType::kCharacter:
      return v.text.find_first_not_of(" \t\r\n") == std::string::npos;
    case ValueType::kNumeric:
      return v.number == 0;
    case ValueType::kDate:
      return v.julian == 0;
    case ValueType::kLogical:
      return !v.logical;
    case ValueType::kTimestamp:
      return v.julian == 0 && v.millis == 0;
    case ValueType::kNull:
      break;
  }
  return true;
}

Value Num(const Node& n, double d) {
  return Value::Numeric(d, static_cast<int16_t>(n.length), static_cast<int16_t>(n.decimals));
}

Value AddMillis(int32_t julian, int64_t millis) {
  int64_t total = static_cast<int64_t>(julian) * 86400000 + millis;
  int64_t day = total >= 0 ? total / 86400000 : -((-total + 86399999) / 86400000);
  return Value::Timestamp(static_cast<int32_t>(day), static_cast<int32_t>(total - day * 86400000));
}

class Evaluator {
 public:
  Evaluator(const RecordSource* record, const EvalOptions& options) : rec_(record), opt_(options) {}

  Result<Value> Eval(const Node& n) {
    switch (n.kind) {
      case NodeKind::kLiteral:
        return n.literal;
      case NodeKind::kField:
        return Field(n);
      case NodeKind::kUnary:
        return UnaryOp(n);
      case NodeKind::kBinary:
        return BinaryOp(n);
      case NodeKind::kCall:
        return Call(n);
    }
    return RuntimeError(n, "Unknown node");
  }

 private:
  Result<Value> Field(const Node& n) {
    if (!rec_) return RuntimeError(n, "No record to read field " + n.field.name + " from");
    auto v = rec_->FieldValue(n.field);
    if (!v.ok()) return v;
    Value out = std::move(*v);
    if (out.type == ValueType::kNull) {
      out.type = n.type;
      out.is_null = true;
    }
    if (out.type != n.type) {
      return RuntimeError(n, "Field " + n.field.name + " delivered a " +
                                 std::string(ValueTypeName(out.type)) + " value");
    }
    // Fixed-length character fields always have their length, so that concatenated keys keep
    // their layout whatever the source delivers.
    if (out.type == ValueType::kCharacter) {
      if (out.is_null) out.text.clear();
      if (n.length) out.text.resize(n.length, ' ');
    }
    if (out.type == ValueType::kNumeric && out.width == 0) {
      out.width = static_cast<int16_t>(n.length);
      out.decimals = static_cast<int16_t>(n.decimals);
    }
    return out;
  }

  Result<Value> UnaryOp(const Node& n) {
    auto v = Eval(*n.args[0]);
    if (!v.ok()) return v;
    if (n.op == Op::kNot) return Value::Logical(!v->logical);
    return Num(n, n.op == Op::kNeg ? -v->number : v->number);
  }

  Result<Value> BinaryOp(const Node& n) {
    if (n.op == Op::kAnd || n.op == Op::kOr) {
      auto l = Eval(*n.args[0]);
      if (!l.ok()) return l;
      bool lv = l->logical && !l->is_null;
      if (n.op == Op::kAnd && !lv) return Value::Logical(false);
      if (n.op == Op::kOr && lv) return Value::Logical(true);
      auto r = Eval(*n.args[1]);
      if (!r.ok()) return r;
      return Value::Logical(r->logical && !r->is_null);
    }
    auto l = Eval(*n.args[0]);
    if (!l.ok()) return l;
    auto r = Eval(*n.args[1]);
    if (!r.ok()) return r;
    const Value& a = *l;
    const Value& b = *r;
    switch (n.op) {
      case Op::kEq:
        return Value::Logical(CompareValues(a, b, opt_, opt_.exact) == 0);
      case Op::kEqEq:
        return Value::Logical(CompareValues(a, b, opt_, true) == 0);
      case Op::kNe:
        return Value::Logical(CompareValues(a, b, opt_, opt_.exact) != 0);
      case Op::kLt:
        return Value::Logical(CompareValues(a, b, opt_, opt_.exact) < 0);
      case Op::kLe:
        return Value::Logical(CompareValues(a, b, opt_, opt_.exact) <= 0);
      case Op::kGt:
        return Value::Logical(CompareValues(a, b, opt_, opt_.exact) > 0);
      case Op::kGe:
        return Value::Logical(CompareValues(a, b, opt_, opt_.exact) >= 0);
      case Op::kIn:
        return Value::Logical(b.text.find(a.text) != std::string::npos);
      case Op::kAdd:
      case Op::kSub:
        return AddSub(n, a, b);
      default:
        return Arithmetic(n, a.number, b.number);
    }
  }

  Result<Value> AddSub(const Node& n, const Value& a, const Value& b) {
    bool add = n.op == Op::kAdd;
    switch (n.type) {
      case ValueType::kCharacter: {
        if (a.text.size() + b.text.size() > kMaxTextLength) {
          return RuntimeError(n, "Character result longer than 65535");
        }
        if (add) return Value::Character(a.text + b.text);
        std::string head = RTrim(a.text);
        return Value::Character(head + b.text + std::string(a.text.size() - head.size(), ' '));
      }
      case ValueType::kNumeric:
        if (a.type == ValueType::kNumeric)
          return Num(n, add ? a.number + b.number : a.number - b.number);
        if (a.type == ValueType::kDate) return Num(n, a.julian - b.julian);
        return Num(n, (static_cast<int64_t>(a.julian - b.julian) * 86400000 + a.millis - b.millis) /
                          1000.0);
      case ValueType::kDate: {
        const Value& date = a.type == ValueType::kDate ? a : b;
        double days = a.type == ValueType::kDate ? b.number : a.number;
        if (!add) days = -days;
        if (date.julian == 0) return Value::Date(0);
        int64_t julian = date.julian + std::llround(std::clamp(days, -1e7, 1e7));
        if (julian < kFirstJulian || julian > kLastJulian) {
          return RuntimeError(n, "Date out of range");
        }
        return Value::Date(static_cast<int32_t>(julian));
      }
      default: {
        const Value& ts = a.type == ValueType::kTimestamp ? a : b;
        double secs = a.type == ValueType::kTimestamp ? b.number : a.number;
        if (!add) secs = -secs;
        Value out =
            AddMillis(ts.julian, ts.millis + std::llround(std::clamp(secs, -1e12, 1e12) * 1000));
        if (out.julian < 0 || out.julian > kLastJulian)
          return RuntimeError(n, "Timestamp out of range");
        return out;
      }
    }
  }

  Result<Value> Arithmetic(const Node& n, double a, double b) {
    switch (n.op) {
      case Op::kMul:
        return Num(n, a * b);
      case Op::kDiv:
        if (b == 0) return RuntimeError(n, "Division by zero");
        return Num(n, a / b);
      case Op::kMod:
        if (b == 0) return RuntimeError(n, "Division by zero");
        return Num(n, std::fmod(a, b));
      default: {
        double r = std::pow(a, b);
        if (std::isnan(r) || std::isinf(r)) return RuntimeError(n, "Numeric overflow");
        return Num(n, r);
      }
    }
  }

  Result<Value> Call(const Node& n);
  Result<Value> TextCall(const Node& n, const std::vector<Value>& v);
  Result<Value> DateCall(const Node& n, const std::vector<Value>& v);

  const RecordSource* rec_;
  const EvalOptions& opt_;
};

// Function calls: IIF evaluates only the branch it takes; every other function evaluates its
// arguments first. The cases are grouped by kind (here logical and numeric ones, text and date
// functions below), one case per function.
Result<Value> Evaluator::Call(const Node& n) {
  if (n.fn == Fn::kIif) {
    auto c = Eval(*n.args[0]);
    if (!c.ok()) return c;
    auto v = Eval(*n.args[c->logical && !c->is_null ? 1 : 2]);
    if (!v.ok()) return v;
    if (n.type == ValueType::kNumeric) {
      v->width = static_cast<int16_t>(n.length);
      v->decimals = static_cast<int16_t>(n.decimals);
    }
    return v;
  }
  std::vector<Value> v;
  v.reserve(n.args.size());
  for (const auto& a : n.args) {
    auto r = Eval(*a);
    if (!r.ok()) return r;
    v.push_back(std::move(*r));
  }
  switch (n.fn) {
    case Fn::kEmpty:
      return Value::Logical(IsEmptyValue(v[0]));
    case Fn::kIsNull:
      return Value::Logical(v[0].is_null);
    case Fn::kDeleted:
      return Value::Logical(rec_ && rec_->Deleted());
    case Fn::kRecno:
      return Num(n, rec_ ? rec_->RecNo() : 0);
    case Fn::kAbs:
      return Num(n, std::fabs(v[0].number));
    case Fn::kInt:
      return Num(n, std::trunc(v[0].number));
    case Fn::kRound:
      return Num(n, RoundHalfAway(v[0].number, static_cast<int>(ToInt(v[1].number, -18, 18))));
    case Fn::kMod: {
      if (v[1].number == 0) return RuntimeError(n, "Division by zero");
      return Num(n, v[0].number - v[1].number * std::floor(v[0].number / v[1].number));
    }
    case Fn::kMax:
    case Fn::kMin: {
      int c = CompareValues(v[0], v[1], opt_, true);
      Value r = (n.fn == Fn::kMax ? c >= 0 : c <= 0) ? v[0] : v[1];
      if (r.type == ValueType::kNumeric) return Num(n, r.number);
      return r;
    }
    case Fn::kBetween:
      return Value::Logical(CompareValues(v[0], v[1], opt_, true) >= 0 &&
                            CompareValues(v[0], v[2], opt_, true) <= 0);
    case Fn::kContains:
      return Value::Logical(ContainsWords(v[0].text, v[1].text));
    case Fn::kChr:
      return Value::Character(
          std::string(1, static_cast<char>(ToInt(v[0].number, -1e15, 1e15) & 0xFF)));
    case Fn::kAsc:
      return Num(n, v[0].text.empty() ? 0 : static_cast<unsigned char>(v[0].text[0]));
    case Fn::kVal: {
      double d = ParseLeadingNumber(v[0].text);
      std::string t = v[0].text;
      size_t point = t.find('.');
      int16_t dec = 0;
      if (point != std::string::npos) {
        while (point + 1 + dec < t.size() &&
               std::isdigit(static_cast<unsigned char>(t[point + 1 + dec])))
          ++dec;
      }
      return Value::Numeric(d, 10, dec);
    }
    case Fn::kLen:
      return Num(n, static_cast<double>(v[0].text.size()));
    case Fn::kAt:
    case Fn::kRat: {
      const std::string& needle = v[0].text;
      const std::string& hay = v[1].text;
      if (needle.empty() || needle.size() > hay.size()) return Num(n, 0);
      if (n.fn == Fn::kRat) {
        size_t p = hay.rfind(needle);
        return Num(n, p == std::string::npos ? 0 : static_cast<double>(p + 1));
      }
      int64_t occurrence = v.size() == 3 ? ToInt(v[2].number, -1, 1e9) : 1;
      if (occurrence < 1) return Num(n, 0);
      size_t p = std::string::npos;
      size_t from = 0;
      for (int64_t k = 0; k < occurrence; ++k) {
        p = hay.find(needle, from);
        if (p == std::string::npos) return Num(n, 0);
        from = p + 1;
      }
      return Num(n, static_cast<double>(p + 1));
    }
    default:
      break;
  }
  switch (n.fn) {
    case Fn::kDtos:
    case Fn::kDtoc:
    case Fn::kCtod:
    case Fn::kStod:
    case Fn::kDate:
    case Fn::kToday:
    case Fn::kTime:
    case Fn::kYear:
    case Fn::kMonth:
    case Fn::kDay:
    case Fn::kDow:
    case Fn::kCdow:
    case Fn::kCmonth:
    case Fn::kCtot:
    case Fn::kCtots:
    case Fn::kTtoc:
    case Fn::kNow:
      return DateCall(n, v);
    default:
      return TextCall(n, v);
  }
}

Result<Value> Evaluator::TextCall(const Node& n, const std::vector<Value>& v) {
  auto count_arg = [&](size_t i) -> Result<size_t> {
    double d = v[i].number;
    if (d <= 0) return size_t{0};
    if (d > static_cast<double>(kMaxTextLength)) {
      return RuntimeError(n, std::string(FunctionName(n.fn)) + " result longer than 65535");
    }
    return static_cast<size_t>(d);
  };
  const std::string& s = v[0].text;
  switch (n.fn) {
    case Fn::kUpper: {
      std::string out = s;
      for (char& c : out) c = UpperChar(c);
      return Value::Character(out);
    }
    case Fn::kLower: {
      std::string out = s;
      for (char& c : out) c = LowerChar(c);
      return Value::Character(out);
    }
    case Fn::kTrim:
    case Fn::kRtrim:
      return Value::Character(RTrim(s));
    case Fn::kLtrim:
      return Value::Character(LTrim(s));
    case Fn::kAlltrim:
      return Value::Character(LTrim(RTrim(s)));
    case Fn::kSubstr: {
      int64_t start = ToInt(v[1].number, -1e9, 1e9);
      int64_t len = static_cast<int64_t>(s.size());
      if (start < 0) start = std::max<int64_t>(1, len + start + 1);
      if (start == 0) start = 1;
      if (start > len) return Value::Character("");
      int64_t count = len - start + 1;
      if (v.size() == 3) count = std::min(count, ToInt(v[2].number, -1, 1e9));
      if (count <= 0) return Value::Character("");
      return Value::Character(s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count)));
    }
    case Fn::kLeft:
    case Fn::kRight: {
      double d = v[1].number;
      size_t count = d <= 0 ? 0 : static_cast<size_t>(std::min(d, static_cast<double>(s.size())));
      return Value::Character(n.fn == Fn::kLeft ? s.substr(0, count) : s.substr(s.size() - count));
    }
    case Fn::kStr: {
      int width = v.size() > 1 ? static_cast<int>(ToInt(v[1].number, 0, 1e6))
                               : static_cast<int>(DefaultStrWidth(*n.args[0]));
      int dec = v.size() > 2 ? static_cast<int>(ToInt(v[2].number, 0, 18))
                             : (v.size() > 1 ? 0 : n.args[0]->decimals);
      if (width > static_cast<int>(kMaxTextLength)) return RuntimeError(n, "STR width too large");
      if (dec > 0 && dec >= width) dec = std::max(0, width - 2);
      return Value::Character(FormatNumber(v[0].number, width, dec));
    }
    case Fn::kKeyNum:
      return Value::Character(SortableNumber(v[0], static_cast<int>(ToInt(v[1].number, 1, 255)),
                                             static_cast<int>(ToInt(v[2].number, 0, 18))));
    case Fn::kSpace: {
      auto c = count_arg(0);
      if (!c.ok()) return c.status();
      return Value::Character(std::string(*c, ' '));
    }
    case Fn::kReplicate: {
      auto c = count_arg(1);
      if (!c.ok()) return c.status();
      if (s.size() * *c > kMaxTextLength)
        return RuntimeError(n, "REPLICATE result longer than 65535");
      std::string out;
      for (size_t i = 0; i < *c; ++i) out += s;
      return Value::Character(out);
    }
    case Fn::kPadl:
    case Fn::kPadr:
    case Fn::kPadc: {
      auto c = count_arg(1);
      if (!c.ok()) return c.status();
      std::string text;
      if (v[0].type == ValueType::kCharacter)
        text = v[0].text;
      else if (v[0].type == ValueType::kNumeric)
        text = LTrim(FormatNumber(v[0].number, 40, v[0].decimals));
      else if (v[0].type == ValueType::kDate)
        text = FormatDtoc(v[0].julian, opt_.date_format);
      else
        text = FormatTimestamp(v[0].julian, v[0].millis, opt_.date_format);
      char fill = v.size() == 3 && !v[2].text.empty() ? v[2].text[0] : ' ';
      size_t width = *c;
      if (text.size() >= width) return Value::Character(text.substr(0, width));
      size_t pad = width - text.size();
      size_t left = n.fn == Fn::kPadl ? pad : n.fn == Fn::kPadr ? 0 : pad / 2;
      return Value::Character(std::string(left, fill) + text + std::string(pad - left, fill));
    }
    default:
      return RuntimeError(n, "Unknown function");
  }
}

Result<Value> Evaluator::DateCall(const Node& n, const std::vector<Value>& v) {
  static const char* kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                "Thursday", "Friday", "Saturday"};
  static const char* kMonths[] = {"January",   "February", "March",    "April",
                                  "May",       "June",     "July",     "August",
                                  "September", "October",  "November", "December"};
  int32_t julian = v.empty() ? 0 : v[0].julian;
  int y = 0, m = 0, d = 0;
  if (julian > 0) CivilFromJulian(julian, &y, &m, &d);
  switch (n.fn) {
    case Fn::kDtos:
      return Value::Character(FormatDtos(julian));
    case Fn::kDtoc:
      return Value::Character(FormatDtoc(julian, opt_.date_format));
    case Fn::kCtod:
      return Value::Date(ParseDateText(v[0].text, opt_.date_format).value_or(0));
    case Fn::kStod:
      return Value::Date(ParseDtos(RTrim(v[0].text)).value_or(0));
    case Fn::kDate:
    case Fn::kToday:
      return Value::Date(NowValue(opt_).julian);
    case Fn::kTime:
      return Value::Character(FormatTime(NowValue(opt_).millis / 1000 * 1000));
    case Fn::kNow:
      return NowValue(opt_);
    case Fn::kYear:
      return Num(n, y);
    case Fn::kMonth:
      return Num(n, m);
    case Fn::kDay:
      return Num(n, d);
    case Fn::kDow:
      return Num(n, julian > 0 ? WeekdayOfJulian(julian) + 1 : 0);
    case Fn::kCdow:
      return Value::Character(julian > 0 ? kDays[WeekdayOfJulian(julian)] : "");
    case Fn::kCmonth:
      return Value::Character(julian > 0 ? kMonths[m - 1] : "");
    case Fn::kCtot:
    case Fn::kCtots: {
      if (auto ts = ParseTimestampText(v[0].text, opt_.date_format)) return *ts;
      if (auto t = ParseTimeText(v[0].text)) return Value::Timestamp(0, *t);
      return Value::Timestamp(0, 0);
    }
    case Fn::kTtoc: {
      bool compact = v.size() == 2 && v[1].number == 1;
      int32_t millis = v[0].type == ValueType::kTimestamp ? v[0].millis : 0;
      if (julian == 0 && millis == 0) return Value::Character(std::string(compact ? 14 : 19, ' '));
      if (compact) {
        int s = millis / 1000;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s%02d%02d%02d", FormatDtos(julian).c_str(), s / 3600,
                      s / 60 % 60, s % 60);
        return Value::Character(buf);
      }
      return Value::Character(FormatDtoc(julian, opt_.date_format) + " " +
                              FormatTime(millis / 1000 * 1000));
    }
    default:
      return RuntimeError(n, "Unknown function");
  }
}

std::string LiteralText(const Value& v) {
  switch (v.type) {
    case ValueType::kCharacter:
      if (v.text.find('\'') == std::string::npos) return "'" + v.text + "'";
      if (v.text.find('"') == std::string::npos) return "\"" + v.text + "\"";
      return "[" + v.text + "]";
    case ValueType::kNumeric: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*f", std::clamp<int>(v.decimals, 0, 18), v.number);
      return buf;
    }
    case ValueType::kDate:
      if (v.julian == 0) return "{}";
      {
        std::string s = FormatDtos(v.julian);
        return "{^" + s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + "}";
      }
    case ValueType::kLogical:
      return v.logical ? ".T." : ".F.";
    case ValueType::kTimestamp: {
      std::string s = FormatDtos(v.julian);
      return "{^" + s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + " " +
             FormatTime(v.millis) + "}";
    }
    case ValueType::kNull:
      break;
  }
  return "NULL";
}

const char* OpText(Op op) {
  switch (op) {
    case Op::kNeg:
      return "-";
    case Op::kPos:
      return "+";
    case Op::kNot:
      return ".NOT.";
    case Op::kPow:
      return "**";
    case Op::kMul:
      return "*";
    case Op::kDiv:
      return "/";
    case Op::kMod:
      return "%";
    case Op::kAdd:
      return "+";
    case Op::kSub:
      return "-";
    case Op::kEq:
      return "=";
    case Op::kEqEq:
      return "==";
    case Op::kNe:
      return "<>";
    case Op::kLt:
      return "<";
    case Op::kLe:
      return "<=";
    case Op::kGt:
      return ">";
    case Op::kGe:
      return ">=";
    case Op::kIn:
      return "$";
    case Op::kAnd:
      return " .AND. ";
    case Op::kOr:
      return " .OR. ";
    case Op::kNone:
      break;
  }
  return "?";
}

void CollectFields(const Node& n, std::vector<std::string>* out) {
  if (n.kind == NodeKind::kField &&
      std::find(out->begin(), out->end(), n.field.name) == out->end()) {
    out->push_back(n.field.name);
  }
  for (const auto& a : n.args) CollectFields(*a, out);
}

}  // namespace

std::string CanonicalText(const Node& n) {
  switch (n.kind) {
    case NodeKind::kLiteral:
      return LiteralText(n.literal);
    case NodeKind::kField: {
      std::string s = n.field.name;
      for (char& c : s) c = UpperChar(c);
      return s;
    }
    case NodeKind::kUnary:
      return std::string(OpText(n.op)) + CanonicalText(*n.args[0]);
    case NodeKind::kBinary:
      return "(" + CanonicalText(*n.args[0]) + OpText(n.op) + CanonicalText(*n.args[1]) + ")";
    case NodeKind::kCall: {
      std::string s = std::string(FunctionName(n.fn)) + "(";
      for (size_t i = 0; i < n.args.size(); ++i) {
        if (i) s += ",";
        s += CanonicalText(*n.args[i]);
      }
      return s + ")";
    }
  }
  return std::string();
}

Result<Value> EvaluateNode(const Node& node, const RecordSource* record,
                           const EvalOptions& options) {
  return Evaluator(record, options).Eval(node);
}

Result<Value> Expression::Evaluate(const RecordSource& record, const EvalOptions& options) const {
  auto v = Evaluator(&record, options).Eval(*root_);
  if (!v.ok())
    return Status(v.status().code(), v.status().message() + " in expression '" + text_ + "'");
  return v;
}

Result<bool> Expression::EvaluateLogical(const RecordSource& record,
                                         const EvalOptions& options) const {
  if (root_->type != ValueType::kLogical) {
    return Status(kErrInvalidExpression, "Expression '" + text_ + "' is " +
                                             std::string(ValueTypeName(root_->type)) +
                                             ", not logical");
  }
  auto v = Evaluate(record, options);
  if (!v.ok()) return v.status();
  return v->logical && !v->is_null;
}

std::vector<Expression::Segment> Expression::KeySegments() const {
  std::vector<const Node*> parts;
  std::vector<const Node*> stack = {root_.get()};
  while (!stack.empty()) {
    const Node* n = stack.back();
    stack.pop_back();
    if (n->kind == NodeKind::kBinary && n->op == Op::kAdd && n->type == ValueType::kCharacter) {
      stack.push_back(n->args[1].get());  // left first: it is popped first
      stack.push_back(n->args[0].get());
    } else {
      parts.push_back(n);
    }
  }
  std::vector<Segment> out;
  for (const Node* p : parts) {
    std::vector<std::string> fields;
    CollectFields(*p, &fields);
    out.push_back(
        Segment{fields.empty() ? std::string() : fields.front(), CanonicalText(*p), p->length});
  }
  return out;
}

std::string Expression::Canonical() const {
  return CanonicalText(*root_);
}

std::vector<std::string> Expression::FieldNames() const {
  std::vector<std::string> out;
  CollectFields(*root_, &out);
  return out;
}

}  // namespace ace::expr
