// `ostrand script [OPTIONS]`: reads one JSON array per line from standard
// input, ["Member", arg, ...], and calls the members in order on one
// instance, printing one JSON report per call. Nothing is called implicitly:
// the script holds its own OnStartPage, Init and OnEndPage lines.
#include <iostream>
#include <memory>
#include <string>

#include "cli_page.h"
#include "cli_values.h"
#include "commands.h"
#include "core/error.h"
#include "script_line.h"

namespace ostrand::cli {
namespace {

constexpr int kExitMalformed = 2;

int RunScript(const PageOptionWords& words) {
  PageRunner page(ReadPageOptions(words));
  bool any_failed = false;
  std::string line;
  for (long number = 1; std::getline(std::cin, line); ++number) {
    if (IsBlankScriptLine(line)) continue;
    ScriptCall call;
    try {
      call = ReadScriptLine(line);
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
