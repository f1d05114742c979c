#include "cli_page.h"

#include <exception>
#include <iostream>

#include "cli_values.h"
#include "component/member_table.h"
#include "core/error.h"

namespace ostrand::cli {
namespace {

constexpr double kSecondsPerDay = 86400;

// The text of a value for the report; objects have none and report as "".
std::string ReportText(const Value& value) {
  return value.kind() == Kind::kObject ? std::string() : value.ToText();
}

}  // namespace

void AddPageOptions(CLI::App& cmd, PageOptionWords* words) {
  cmd.add_option("--db", words->db,
                 "Connection string (sqlite:PATH, a path ending in .db, sqlite::memory:, "
                 "postgresql://..., odbc:...); "
                 "`call` runs Init with it, in a script an Init line without argument uses it")
      ->type_name("CONN");
  cmd.add_option("--url", words->url, "Server variable URL of the page, the start of strURL")
      ->type_name("PATH")
      ->capture_default_str();
  cmd.add_option("--session", words->session,
                 "Session item stored before the page runs, KEY=ARG (ARG as for members); "
                 "may be repeated")
      ->type_name("KEY=ARG")
      // One KEY=ARG per --session, so that MEMBER after it stays MEMBER.
      ->allow_extra_args(false);
  cmd.add_option("--clock", words->clock,
                 "Pin the clock to SECONDS since midnight (the links' time stamp)")
      ->type_name("SECONDS");
  cmd.add_flag("--debug", words->debug, "Call DebugMode right after OnStartPage");
  cmd.add_flag("--json", words->json,
               "Report as one JSON object: kind, value, response, session, error");
}

PageOptions ReadPageOptions(const PageOptionWords& words) {
  PageOptions options;
  options.db = words.db;
  options.url = words.url;
  options.debug = words.debug;
  options.json = words.json;
  for (const std::string& item : words.session) {
    const auto equals = item.find('=');
    if (equals == std::string::npos || equals == 0) {
      throw Error("--session '" + item + "' is not KEY=ARG");
    }
    options.session.emplace_back(item.substr(0, equals),
                                 ParseArg(std::string_view(item).substr(equals + 1)));
  }
  if (words.clock) {
    double seconds = 0;
    if (!ParseNumber(*words.clock, &seconds) || seconds < 0 || seconds >= kSecondsPerDay) {
      throw Error("--clock '" + *words.clock +
                  "' is not a number of seconds since midnight (0 to below 86400)");
    }
    options.clock = static_cast<float>(seconds);
  }
  return options;
}

PageRunner::PageRunner(PageOptions options)
    : options_(std::move(options)),
      response_(std::make_shared<host::MemoryResponse>()),
      session_(std::make_shared<host::MemorySession>()),
      context_(Value::Object(std::make_shared<host::MemoryContext>(
          response_, std::make_shared<host::MemoryRequest>(options_.url), session_))) {
  for (const auto& [key, value] : options_.session) session_->Set(key, value);
  std::shared_ptr<const host::Clock> clock;
  if (options_.clock) clock = std::make_shared<host::PinnedClock>(*options_.clock);
  object_ = CreateObject(kProgrammaticName, std::move(clock));
}

CallOutcome PageRunner::Invoke(std::string_view name, std::span<const Value> args) {
  const std::size_t before = response_->text().size();
  CallOutcome outcome;
  try {
    outcome = InvokeChecked(name, args);
  } catch (const std::exception& e) {
    outcome.result = Value();
    outcome.error = *e.what() != '\0' ? e.what() : "the call failed";
  } catch (...) {
    outcome.result = Value();
    outcome.error = "the call failed with an unknown error";
  }
  // The response only grows, so what this call wrote is its tail.
  const std::string& written = response_->text();
  if (written.size() > before) outcome.response = written.substr(before);
  return outcome;
}

CallOutcome PageRunner::InvokeChecked(std::string_view name, std::span<const Value> args) {
  const Member* member = FindMember(name);
  const std::string_view canonical = member != nullptr ? member->name : std::string_view();
  CallOutcome outcome;
  if (canonical == "OnStartPage" && args.empty()) {
    // The page's scripting context comes from the command line, never from
    // the arguments: the in-memory objects are the only host objects here.
    outcome.result = InvokeByName(*object_, canonical, std::span(&context_, 1));
    if (options_.debug) InvokeByName(*object_, "DebugMode", {});
  } else if (canonical == "Init" && args.empty()) {
    if (!options_.db) {
      throw Error("Init needs a connection string: give it as an argument or with --db");
    }
    const Value connection = Value::Text(*options_.db);
    outcome.result = InvokeByName(*object_, canonical, std::span(&connection, 1));
  } else {
    outcome.result = InvokeByName(*object_, name, args);
  }
  return outcome;
}

nlohmann::ordered_json PageRunner::Report(const CallOutcome& outcome) const {
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  if (outcome.ok()) {
    json["kind"] = KindName(outcome.result.kind());
    json["value"] = ReportText(outcome.result);
  } else {
    json["kind"] = nullptr;
    json["value"] = nullptr;
  }
  json["response"] = outcome.response;
  nlohmann::ordered_json session = nlohmann::ordered_json::object();
  for (const auto& [lower_key, item] : session_->items()) {
    session[item.key] = ReportText(item.value);
  }
  json["session"] = std::move(session);
  if (outcome.error) {
    json["error"] = *outcome.error;
  } else {
    json["error"] = nullptr;
  }
  return json;
}

std::string JsonLine(const nlohmann::ordered_json& json) {
  return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void PrintError(std::string_view message) {
  std::string line = "ostrand: ";
  line.reserve(line.size() + message.size() + 1);
  for (const char c : message) line.push_back(c == '\r' || c == '\n' ? ' ' : c);
  line.push_back('\n');
  std::cerr << line << std::flush;
}

}  // namespace ostrand::cli
