#include "script_line.h"

#include <nlohmann/json.hpp>

#include "cli_values.h"
#include "core/error.h"

namespace ostrand::cli {

bool IsBlankScriptLine(std::string_view line) {
  return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

ScriptCall ReadScriptLine(std::string_view line) {
  const nlohmann::json json = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) throw MalformedArgument("not valid JSON");
  if (!json.is_array() || json.empty() || !json.front().is_string()) {
    throw MalformedArgument(
        "expected a JSON array of a member name and its arguments, such as "
        "[\"GetPrevMonday\", {\"date\": \"2001-12-12\"}]");
  }
  ScriptCall call;
  call.member = json.front().get<std::string>();
  call.args.reserve(json.size() - 1);
  for (std::size_t i = 1; i < json.size(); ++i) {
    try {
      call.args.push_back(ValueFromJson(json[i]));
    } catch (const MalformedArgument&) {
      throw;  // a broken line, not a failing call
    } catch (const Error& e) {
      if (!call.argument_error) call.argument_error = e.what();
    }
  }
  return call;
}

}  // namespace ostrand::cli
