#include "core/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/error.h"
#include "core/text.h"

namespace ostrand {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// How a value is named in an error message.
std::string Describe(const Value& v) {
  switch (v.kind()) {
    case Kind::kEmpty:
      return "an empty value";
    case Kind::kNull:
      return "a null value";
    case Kind::kObject:
      return "an object";
    case Kind::kText:
      return "'" + v.text() + "'";
    default:
      return "'" + v.ToText() + "'";
  }
}

}  // namespace

std::string_view KindName(Kind kind) {
  switch (kind) {
    case Kind::kEmpty:
      return "empty";
    case Kind::kNull:
      return "null";
    case Kind::kBool:
      return "bool";
    case Kind::kInt16:
      return "int16";
    case Kind::kInt32:
      return "int32";
    case Kind::kSingle:
      return "single";
    case Kind::kDouble:
      return "double";
    case Kind::kDate:
      return "date";
    case Kind::kText:
      return "text";
    case Kind::kObject:
      return "object";
  }
  return "unknown";
}

Value Value::Null() { return Value(Kind::kNull, std::monostate{}); }
Value Value::Bool(bool b) { return Value(Kind::kBool, b); }
Value Value::Int16(std::int16_t i) { return Value(Kind::kInt16, i); }
Value Value::Int32(std::int32_t i) { return Value(Kind::kInt32, i); }
Value Value::Single(float f) { return Value(Kind::kSingle, f); }
Value Value::Double(double d) { return Value(Kind::kDouble, d); }
Value Value::Date(const DateTime& d) { return Value(Kind::kDate, d); }
Value Value::Text(std::string s) { return Value(Kind::kText, std::move(s)); }
Value Value::Object(std::shared_ptr<HostObject> object) {
  return Value(Kind::kObject, std::move(object));
}

bool Value::is_numeric() const {
  switch (kind_) {
    case Kind::kBool:
    case Kind::kInt16:
    case Kind::kInt32:
    case Kind::kSingle:
    case Kind::kDouble:
      return true;
    default:
      return false;
  }
}

std::string Value::ToText() const {
  switch (kind_) {
    case Kind::kEmpty:
    case Kind::kNull:
      return {};
    case Kind::kBool:
      return std::get<bool>(payload_) ? "True" : "False";
    case Kind::kInt16:
      return std::to_string(std::get<std::int16_t>(payload_));
    case Kind::kInt32:
      return std::to_string(std::get<std::int32_t>(payload_));
    case Kind::kSingle:
      return FormatNumber(static_cast<double>(std::get<float>(payload_)), 7);
    case Kind::kDouble:
      return FormatNumber(std::get<double>(payload_), 15);
    case Kind::kDate:
      return std::get<DateTime>(payload_).ToText();
    case Kind::kText:
      return std::get<std::string>(payload_);
    case Kind::kObject:
      throw Error("an object has no text");
  }
  return {};
}

std::string Value::ToTextStrict(std::string_view what) const {
  if (kind_ == Kind::kNull) throw Error("invalid use of null as " + std::string(what));
  return ToText();
}

double Value::ToNumber() const {
  switch (kind_) {
    case Kind::kEmpty:
      return 0;
    case Kind::kBool:
      return std::get<bool>(payload_) ? -1 : 0;
    case Kind::kInt16:
      return std::get<std::int16_t>(payload_);
    case Kind::kInt32:
      return std::get<std::int32_t>(payload_);
    case Kind::kSingle:
      return std::get<float>(payload_);
    case Kind::kDouble:
      return std::get<double>(payload_);
    case Kind::kDate:
      return std::get<DateTime>(payload_).ToNumber();
    case Kind::kText: {
      double d = 0;
      if (ParseNumber(std::get<std::string>(payload_), &d)) return d;
      break;
    }
    case Kind::kNull:
    case Kind::kObject:
      break;
  }
  throw Error("type mismatch: cannot read " + Describe(*this) + " as a number");
}

bool Value::ReadsAsNumber() const {
  if (kind_ == Kind::kText) {
    double d = 0;
    return ParseNumber(std::get<std::string>(payload_), &d);
  }
  return kind_ != Kind::kNull && kind_ != Kind::kObject;
}

DateTime Value::ToDate() const {
  if (std::optional<DateTime> date = DateIfReadable()) return *date;
  throw Error("cannot read " + Describe(*this) + " as a date");
}

std::optional<DateTime> Value::DateIfReadable() const {
  switch (kind_) {
    case Kind::kEmpty:
      return DateTime();
    case Kind::kDate:
      return std::get<DateTime>(payload_);
    case Kind::kText:
      return DateTime::Parse(std::get<std::string>(payload_));
    case Kind::kNull:
    case Kind::kObject:
      return std::nullopt;
    case Kind::kBool:
    case Kind::kInt16:
    case Kind::kInt32:
    case Kind::kSingle:
    case Kind::kDouble:
      return DateTime::TryFromNumber(ToNumber());  // numbers always read as numbers
  }
  return std::nullopt;
}

const std::string& Value::text() const {
  if (kind_ != Kind::kText) throw Error("value is not text");
  return std::get<std::string>(payload_);
}

const DateTime& Value::date() const {
  if (kind_ != Kind::kDate) throw Error("value is not a date");
  return std::get<DateTime>(payload_);
}

const std::shared_ptr<HostObject>& Value::object() const {
  if (kind_ != Kind::kObject) throw Error("value is not an object");
  return std::get<std::shared_ptr<HostObject>>(payload_);
}

bool operator==(const Value& a, const Value& b) {
  return a.kind_ == b.kind_ && a.payload_ == b.payload_;
}

std::string FormatNumber(double x, int digits) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x < 0 ? "-Infinity" : "Infinity";
  if (x == 0) return "0";  // negative zero too

  // Round to `digits` significant digits, as d.ddddde±XX.
  char buf[64];
  const std::to_chars_result written =
      std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, digits - 1);
  std::string_view s(buf, static_cast<std::size_t>(written.ptr - buf));
  std::string out;
  if (s.front() == '-') {
    out.push_back('-');
    s.remove_prefix(1);
  }
  const std::size_t e = s.find('e');
  std::string mantissa;
  for (char c : s.substr(0, e)) {
    if (c != '.') mantissa.push_back(c);
  }
  const int exponent = std::atoi(std::string(s.substr(e + 1)).c_str());
  while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();

  if (exponent >= -5 && exponent <= 14) {
    if (exponent >= 0) {
      const std::size_t int_len = static_cast<std::size_t>(exponent) + 1;
      if (mantissa.size() <= int_len) {
        out += mantissa;
        out.append(int_len - mantissa.size(), '0');
      } else {
        out += mantissa.substr(0, int_len);
        out.push_back('.');
        out += mantissa.substr(int_len);
      }
    } else {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += mantissa;
    }
    return out;
  }
  out.push_back(mantissa[0]);
  if (mantissa.size() > 1) {
    out.push_back('.');
    out += mantissa.substr(1);
  }
  char exp_buf[16];
  std::snprintf(exp_buf, sizeof exp_buf, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  out += exp_buf;
  return out;
}

bool ParseNumber(std::string_view text, double* out) {
  text = TrimBlanks(text);
  std::size_t i = 0;
  std::string normal;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') normal.push_back('-');
    ++i;
  }
  std::size_t int_digits = 0, frac_digits = 0;
  std::string mantissa;
  while (i < text.size() && IsDigit(text[i])) {
    mantissa.push_back(text[i++]);
    ++int_digits;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa.push_back('.');
    while (i < text.size() && IsDigit(text[i])) {
      mantissa.push_back(text[i++]);
      ++frac_digits;
    }
  }
  if (int_digits + frac_digits == 0) return false;
  if (int_digits == 0) normal.push_back('0');
  normal += mantissa;
  if (frac_digits == 0 && !mantissa.empty() && mantissa.back() == '.') normal.push_back('0');
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    normal.push_back('e');
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal.push_back(text[i++]);
    std::size_t exp_digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
      normal.push_back(text[i++]);
      ++exp_digits;
    }
    if (exp_digits == 0) return false;
  }
  if (i != text.size()) return false;
  double d = 0;
  const auto [ptr, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), d);
  if (ec != std::errc() || ptr != normal.data() + normal.size() || !std::isfinite(d)) return false;
  *out = d;
  return true;
}

bool SameWholeNumber(const Value& a, const Value& b) {
  // Each side that is not null is read before the null test, so that text
  // that is no number fails whichever side is null.
  const double x = a.is_null() ? 0 : std::floor(a.ToNumber());
  const double y = b.is_null() ? 0 : std::floor(b.ToNumber());
  return !a.is_null() && !b.is_null() && x == y;
}

}  // namespace ostrand
