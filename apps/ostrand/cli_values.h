// Host values as the command line writes them: the ARG words of `ostrand
// call` and `--session KEY=ARG`, and the JSON arguments of `ostrand script`.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "core/error.h"
#include "core/value.h"

namespace ostrand::cli {

// Reads one ARG word: "empty", "null", "num:12.5" (double), "int:12"
// (int32), "str:TEXT", "date:TEXT" (any date text a value reads as a date),
// "bool:true" / "bool:false"; any other word is text, as a query string
// would give it (use "str:null" for the text "null"). Throws Error naming the
// word when a typed word's text does not read as its kind.
Value ParseArg(std::string_view word);

// The shape of a script line or of one of its arguments is wrong (not an
// array, no member name, an argument that is neither a bare JSON value nor a
// one-key object of a known kind). An Error of its own kind, apart from the
// plain Error a well-formed argument with a bad payload raises, so that the
// script can tell a broken line from a failing call: catch it first.
class MalformedArgument : public Error {
 public:
  explicit MalformedArgument(const std::string& message) : Error(message) {}
};

// Reads one JSON argument of a script line: a string is text, a number a
// double, null is null, true/false a bool; {"empty": true}, {"str": "..."},
// {"num": 12.5}, {"int": 12}, {"date": "..."}, {"bool": true} give that kind.
// Throws MalformedArgument for any other shape, Error when the payload does
// not read as its kind (a date text that is no date, an int beyond 32 bits).
Value ValueFromJson(const nlohmann::json& json);

}  // namespace ostrand::cli
