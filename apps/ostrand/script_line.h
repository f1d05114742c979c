// One line of an `ostrand script`: a JSON array of a member name and its
// arguments, ["GetPrevMonday", {"date": "2001-12-12"}], read into the call
// it asks for.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/value.h"

namespace ostrand::cli {

// A member call read from a line, or the failure of reading one of its
// arguments (a well-formed argument whose payload is wrong, such as a date
// text that is no date): the call then fails without running.
struct ScriptCall {
  std::string member;
  std::vector<Value> args;
  std::optional<std::string> argument_error;  // the first bad argument's message
};

// Whether the line holds nothing but spaces, tabs and a carriage return: a
// script skips such lines.
bool IsBlankScriptLine(std::string_view line);

// Reads a line (arguments as cli::ValueFromJson reads them). Throws
// MalformedArgument (cli_values.h) when it is not valid JSON or not an array
// whose first item is the member name, or when an argument has a shape that
// is no argument; never throws Error.
ScriptCall ReadScriptLine(std::string_view line);

}  // namespace ostrand::cli
