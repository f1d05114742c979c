#include "cli_values.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "core/date.h"
#include "core/error.h"
#include "core/text.h"

namespace ostrand::cli {
namespace {

Value NumberFromText(std::string_view text) {
  double d = 0;
  if (!ParseNumber(text, &d)) throw Error("cannot read '" + std::string(text) + "' as a number");
  return Value::Double(d);
}

// One sign ('+' or '-') at most, then the digits.
Value Int32FromText(std::string_view text) {
  const bool negative = text.starts_with('-');
  const std::string_view digits =
      negative || text.starts_with('+') ? text.substr(1) : text;
  const std::int64_t largest = negative ? -std::int64_t{std::numeric_limits<std::int32_t>::min()}
                                        : std::numeric_limits<std::int32_t>::max();
  const std::optional<std::int64_t> magnitude = ReadWholeNumber(digits, largest);
  if (!magnitude) throw Error("cannot read '" + std::string(text) + "' as a 32-bit integer");
  return Value::Int32(static_cast<std::int32_t>(negative ? -*magnitude : *magnitude));
}

Value DateFromText(std::string_view text) {
  const auto date = DateTime::Parse(text);
  if (!date) throw Error("cannot read '" + std::string(text) + "' as a date");
  return Value::Date(*date);
}

Value BoolFromText(std::string_view text) {
  if (EqualsNoCase(text, "true")) return Value::Bool(true);
  if (EqualsNoCase(text, "false")) return Value::Bool(false);
  throw Error("cannot read '" + std::string(text) + "' as a bool (true or false)");
}

// Compact JSON text for messages; never throws on odd text.
std::string Dump(const nlohmann::json& json) {
  return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// A JSON number as a double; one beyond the double range is an error.
Value FiniteDouble(const nlohmann::json& number) {
  const double d = number.get<double>();
  if (!std::isfinite(d)) throw Error("cannot read " + Dump(number) + " as a number");
  return Value::Double(d);
}

}  // namespace

Value ParseArg(std::string_view word) {
  if (word == "empty") return Value::Empty();
  if (word == "null") return Value::Null();
  const auto colon = word.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view prefix = word.substr(0, colon);
    const std::string_view rest = word.substr(colon + 1);
    if (prefix == "str") return Value::Text(std::string(rest));
    if (prefix == "num") return NumberFromText(rest);
    if (prefix == "int") return Int32FromText(rest);
    if (prefix == "date") return DateFromText(rest);
    if (prefix == "bool") return BoolFromText(rest);
  }
  return Value::Text(std::string(word));
}

Value ValueFromJson(const nlohmann::json& json) {
  if (json.is_string()) return Value::Text(json.get<std::string>());
  if (json.is_number()) return FiniteDouble(json);
  if (json.is_null()) return Value::Null();
  if (json.is_boolean()) return Value::Bool(json.get<bool>());
  if (!json.is_object() || json.size() != 1) {
    // Named by type only: a nested value can be as deep as the line is long.
    throw MalformedArgument(
        std::string("a JSON ") + json.type_name() +
        (json.is_object() ? " with " + std::to_string(json.size()) + " keys" : "") +
        " is no argument: use a string, a number, null, a bool or a one-key "
        "object such as {\"int\": 12}");
  }
  const std::string kind = json.begin().key();
  const nlohmann::json& payload = json.begin().value();
  auto wrong = [&](const char* expected) {
    return MalformedArgument("argument {\"" + kind + "\": ...} needs " + expected + ", not " +
                             payload.type_name());
  };
  if (kind == "empty") {
    if (payload != true) throw wrong("true");
    return Value::Empty();
  }
  if (kind == "str") {
    if (!payload.is_string()) throw wrong("a string");
    return Value::Text(payload.get<std::string>());
  }
  if (kind == "num") {
    if (!payload.is_number()) throw wrong("a number");
    return FiniteDouble(payload);
  }
  if (kind == "int") {
    if (!payload.is_number_integer()) throw wrong("a whole number");
    if (payload.is_number_unsigned()) {
      const auto u = payload.get<std::uint64_t>();
      if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        throw Error("cannot read " + Dump(payload) + " as a 32-bit integer");
      }
      return Value::Int32(static_cast<std::int32_t>(u));
    }
    const auto i = payload.get<std::int64_t>();
    if (i < std::numeric_limits<std::int32_t>::min() ||
        i > std::numeric_limits<std::int32_t>::max()) {
      throw Error("cannot read " + Dump(payload) + " as a 32-bit integer");
    }
    return Value::Int32(static_cast<std::int32_t>(i));
  }
  if (kind == "date") {
    if (!payload.is_string()) throw wrong("a date text");
    return DateFromText(payload.get<std::string>());
  }
  if (kind == "bool") {
    if (!payload.is_boolean()) throw wrong("true or false");
    return Value::Bool(payload.get<bool>());
  }
  throw MalformedArgument("argument {\"" + kind +
                          "\": ...} has an unknown kind (empty, str, num, int, date or bool)");
}

}  // namespace ostrand::cli
