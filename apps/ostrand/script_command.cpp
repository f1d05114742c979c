// `ostrand script [OPTIONS]`: reads one JSON array per line from standard
// input, ["Member", arg, ...], and calls the members in order on one
// instance, printing one JSON report per call. Nothing is called implicitly:
// the script holds its own OnStartPage, Init and OnEndPage lines.
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli_page.h"
#include "cli_values.h"
#include "commands.h"
#include "core/error.h"

namespace ostrand::cli {
namespace {

constexpr int kExitMalformed = 2;

bool IsBlank(const std::string& line) {
  return line.find_first_not_of(" \t\r") == std::string::npos;
}

// A member call read from a line, or the failure of reading one of its
// arguments (a well-formed argument whose payload is wrong, such as a date
// text that is no date).
struct ScriptCall {
  std::string member;
  std::vector<Value> args;
  std::optional<std::string> argument_error;
};

// Reads a line; throws MalformedArgument when it is not a JSON array of a
// member name and arguments.
ScriptCall ReadLine(const std::string& line) {
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
    } catch (const Error& e) {
      if (!call.argument_error) call.argument_error = e.what();
    }
  }
  return call;
}

int RunScript(const PageOptionWords& words) {
  PageRunner page(ReadPageOptions(words));
  bool any_failed = false;
  std::string line;
  for (long number = 1; std::getline(std::cin, line); ++number) {
    if (IsBlank(line)) continue;
    ScriptCall call;
    try {
      call = ReadLine(line);
    } catch (const MalformedArgument& e) {
      PrintError("line " + std::to_string(number) + ": " + e.what());
      return kExitMalformed;
    }
    CallOutcome outcome;
    if (call.argument_error) {
      outcome.error = *call.argument_error;
    } else {
      outcome = page.Invoke(call.member, call.args);
    }
    std::cout << JsonLine(page.Report(outcome)) << '\n' << std::flush;
    if (!outcome.ok()) {
      any_failed = true;
      PrintError("line " + std::to_string(number) + ": " + call.member + ": " + *outcome.error);
    }
  }
  return any_failed ? 1 : 0;
}

}  // namespace

void AddScriptCommand(CLI::App& app, int* exit_code) {
  auto words = std::make_shared<PageOptionWords>();
  CLI::App* cmd = app.add_subcommand(
      "script", "Call members read as JSON lines from standard input on one instance");
  cmd->footer(
      "Each input line is a JSON array [\"Member\", arg, ...]; each call prints one JSON object\n"
      "(kind, value, response, session, error). Arguments: a string (text), a number (double),\n"
      "null, true/false, {\"empty\": true}, {\"str\": ...}, {\"num\": ...}, {\"int\": 12},\n"
      "{\"date\": \"...\"}, {\"bool\": true}. Nothing runs implicitly: [\"OnStartPage\"] receives\n"
      "the page context (then DebugMode with --debug), [\"Init\"] uses --db. Exit 0 when every\n"
      "call succeeded, 1 when any failed, 2 at a line that is not such an array.");
  AddPageOptions(*cmd, words.get());
  cmd->callback([words, exit_code] {
    try {
      *exit_code = RunScript(*words);
    } catch (const std::exception& e) {
      PrintError(e.what());
      *exit_code = 1;
    }
  });
}

}  // namespace ostrand::cli
