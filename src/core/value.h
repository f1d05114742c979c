// Value: a dynamically typed host value, the type of every parameter and
// result of a Schedulers member. The rules for turning a value into text,
// a number or a date are the host's rules and are the same everywhere.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/date.h"

namespace ostrand {

// Base of the host objects a value can refer to (the scripting context that
// OnStartPage receives). The value shares ownership of the object.
class HostObject {
 public:
  virtual ~HostObject() = default;
};

enum class Kind { kEmpty, kNull, kBool, kInt16, kInt32, kSingle, kDouble, kDate, kText, kObject };

// "empty", "null", "bool", "int16", ... as the command line reports kinds.
std::string_view KindName(Kind kind);

class Value {
 public:
  // The empty value (no value at all).
  Value() = default;
  static Value Empty() { return Value(); }
  static Value Null();
  static Value Bool(bool b);
  static Value Int16(std::int16_t i);
  static Value Int32(std::int32_t i);
  static Value Single(float f);
  static Value Double(double d);
  static Value Date(const DateTime& d);
  static Value Text(std::string s);
  static Value Object(std::shared_ptr<HostObject> object);

  Kind kind() const { return kind_; }
  bool is_empty() const { return kind_ == Kind::kEmpty; }
  bool is_null() const { return kind_ == Kind::kNull; }
  bool is_text() const { return kind_ == Kind::kText; }
  bool is_date() const { return kind_ == Kind::kDate; }
  bool is_numeric() const;  // bool, integers, single, double

  // Text of the value as concatenation makes it: text unchanged, empty and
  // null as empty text, True/False, numbers in their shortest form, dates as
  // "yyyy-M-d" with " H:mm:ss" when not midnight. Throws Error for an object.
  std::string ToText() const;
  // As ToText, but null is an error: used where a text parameter is needed
  // (a connection string, a new strURL).
  std::string ToTextStrict(std::string_view what) const;

  // Reads the value as a number: numbers as they are, empty as 0, bool as -1
  // or 0, a date as its serial, text when it reads as a decimal number.
  // Throws Error (type mismatch naming the text) for anything else, null
  // included.
  double ToNumber() const;
  // True when ToNumber would succeed.
  bool ReadsAsNumber() const;
  // Reads the value as a date: a date as it is, a number as a day serial,
  // empty as the zero date, text in the forms of DateTime::Parse. Throws
  // Error naming the value for anything else, null included.
  DateTime ToDate() const;
  // The date ToDate gives, or nothing where ToDate throws.
  std::optional<DateTime> DateIfReadable() const;
  // True when ToDate would succeed.
  bool ReadsAsDate() const { return DateIfReadable().has_value(); }

  // Accessors of the held payload; each throws Error when the kind differs.
  const std::string& text() const;
  const DateTime& date() const;
  const std::shared_ptr<HostObject>& object() const;

  // Same kind and same payload (objects: the same object).
  friend bool operator==(const Value& a, const Value& b);

 private:
  using Payload = std::variant<std::monostate, bool, std::int16_t, std::int32_t, float, double,
                               DateTime, std::string, std::shared_ptr<HostObject>>;
  Value(Kind kind, Payload payload) : kind_(kind), payload_(std::move(payload)) {}

  Kind kind_ = Kind::kEmpty;
  Payload payload_;
};

// Shortest decimal text of a number with at most `digits` significant digits
// (15 for doubles, 7 for singles): plain while the decimal exponent lies in
// -5..14, otherwise mantissa, "E", sign and at least two exponent digits.
std::string FormatNumber(double x, int digits);

// Reads decimal text (trimmed of ASCII spaces: optional sign, digits with an
// optional point and fraction, optional exponent). Returns false when the
// text is not such a number.
bool ParseNumber(std::string_view text, double* out);

// The viewer test: both values read as numbers and rounded down are equal.
// A null on either side never holds. Either side that is not null must read
// as a number, also when the other is null: text that does not throws Error
// naming it.
bool SameWholeNumber(const Value& a, const Value& b);

}  // namespace ostrand
