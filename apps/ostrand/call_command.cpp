// `ostrand call [OPTIONS] MEMBER [ARG]...`: one member on a fresh instance,
// inside a page: OnStartPage, DebugMode (--debug), Init (--db), the member,
// OnEndPage. Prints the result's text, or with --json one JSON object.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli_page.h"
#include "cli_values.h"
#include "commands.h"
#include "core/error.h"

namespace ostrand::cli {
namespace {

// The report of a call that failed before any page existed (bad options or
// arguments): nothing was written and the session is empty.
nlohmann::ordered_json EarlyFailure(const std::string& message) {
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  json["kind"] = nullptr;
  json["value"] = nullptr;
  json["response"] = "";
  json["session"] = nlohmann::ordered_json::object();
  json["error"] = message;
  return json;
}

// Runs the page around the member; the outcome reports the member call, or
// the first lifecycle step that failed.
CallOutcome RunPage(PageRunner& page, const std::string& member, const std::vector<Value>& args) {
  CallOutcome outcome = page.Invoke("OnStartPage", {});
  if (outcome.ok() && page.options().db) outcome = page.Invoke("Init", {});
  if (outcome.ok()) {
    outcome = page.Invoke(member, args);
  } else {
    // The member never ran, so it wrote nothing.
    outcome.response.clear();
  }
  // The page always ends, so that the connection is closed and strURL
  // reaches the session even after a failure; the first error is reported.
  const CallOutcome end = page.Invoke("OnEndPage", {});
  if (outcome.ok() && !end.ok()) {
    outcome.result = Value();
    outcome.error = end.error;
  }
  return outcome;
}

int RunCall(const PageOptionWords& words, const std::vector<std::string>& rest) {
  std::vector<Value> args;
  std::unique_ptr<PageRunner> page;
  try {
    if (rest.empty()) throw Error("no member given: ostrand call [OPTIONS] MEMBER [ARG]...");
    // Options stop at MEMBER, so a word with a dash here is a misspelt option.
    if (rest.front().starts_with('-')) throw Error("unknown option '" + rest.front() + "'");
    args.reserve(rest.size() - 1);
    for (std::size_t i = 1; i < rest.size(); ++i) args.push_back(ParseArg(rest[i]));
    page = std::make_unique<PageRunner>(ReadPageOptions(words));
  } catch (const std::exception& e) {
    if (words.json) std::cout << JsonLine(EarlyFailure(e.what())) << '\n' << std::flush;
    PrintError(e.what());
    return 1;
  }
  const CallOutcome outcome = RunPage(*page, rest.front(), args);
  if (words.json) {
    std::cout << JsonLine(page->Report(outcome)) << '\n';
  } else if (outcome.ok()) {
    std::cout << outcome.result.ToText();
  }
  std::cout << std::flush;
  if (!outcome.ok()) {
    PrintError(*outcome.error);
    return 1;
  }
  return 0;
}

}  // namespace

void AddCallCommand(CLI::App& app, int* exit_code) {
  auto words = std::make_shared<PageOptionWords>();
  CLI::App* cmd = app.add_subcommand("call", "Call one member inside a page and print its result");
  cmd->footer(
      "ostrand call [OPTIONS] MEMBER [ARG]...\n"
      "Runs OnStartPage, DebugMode (--debug), Init (--db), the member, OnEndPage, and prints the\n"
      "result's text (--json: one object with kind, value, response, session, error). Options\n"
      "come before MEMBER. ARG: empty, null, num:12.5, int:12, str:TEXT, date:TEXT, bool:true,\n"
      "or a bare word (text). Exit 0 on success, 1 when the call failed.");
  AddPageOptions(*cmd, words.get());
  // Everything from MEMBER on is taken as it stands, so that ARGs such as
  // "-5" or "--x" stay text instead of being read as options.
  cmd->prefix_command();
  cmd->callback([cmd, words, exit_code] {
    try {
      *exit_code = RunCall(*words, cmd->remaining());
    } catch (const std::exception& e) {
      PrintError(e.what());
      *exit_code = 1;
    }
  });
}

}  // namespace ostrand::cli
