// The page that `ostrand call` and `ostrand script` play: one Schedulers
// instance over in-memory page objects (a response that collects its output,
// a request whose server variable URL is --url, a session pre-filled by
// --session, a clock pinned by --clock), the options both commands share,
// and the JSON report of one member call.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "component/schedulers.h"
#include "core/value.h"
#include "host/memory_context.h"

namespace ostrand::cli {

// The options as given on the command line, before they are read.
struct PageOptionWords {
  std::optional<std::string> db;
  std::string url = "/";
  std::vector<std::string> session;  // KEY=ARG
  std::optional<std::string> clock;  // seconds since midnight
  bool debug = false;
  bool json = false;
};

// Registers --db, --url, --session, --clock, --debug and --json on `cmd`;
// CLI11 stores the words into *words, which must outlive the parse.
void AddPageOptions(CLI::App& cmd, PageOptionWords* words);

// The options read into what the page needs.
struct PageOptions {
  std::optional<std::string> db;  // connection string for Init
  std::string url = "/";
  std::vector<std::pair<std::string, Value>> session;  // items stored before the page runs
  std::optional<float> clock;                          // pinned clock; none: the system clock
  bool debug = false;
  bool json = false;
};

// Reads the option words. Throws Error naming the bad word: a --session
// without "=" or with an empty key, a bad ARG after "=", a --clock that is
// not a number of seconds from 0 to below 86400.
PageOptions ReadPageOptions(const PageOptionWords& words);

// What one member call gave: its result, or the message of its failure, and
// the text it wrote into the response (also when it failed part way).
struct CallOutcome {
  Value result;
  std::optional<std::string> error;
  std::string response;
  bool ok() const { return !error.has_value(); }
};

// One Schedulers instance and its page objects, for the lifetime of one
// command. Page objects and session live as long as the runner; the
// instance holds them only between OnStartPage and OnEndPage.
class PageRunner {
 public:
  // Creates the instance by its programmatic name and fills the session
  // from the options. Throws Error when the instance cannot be created.
  explicit PageRunner(PageOptions options);

  // Calls the member `name` (any case) with `args`; never throws. Two
  // members take their argument from the command line when given none:
  // OnStartPage receives the in-memory scripting context (and is followed
  // by DebugMode when --debug is set), Init receives the --db connection
  // string. Errors of the member (ostrand::Error or any other exception)
  // come back in the outcome.
  CallOutcome Invoke(std::string_view name, std::span<const Value> args);

  // The JSON object reporting an outcome: kind, value, response, session
  // (each item's key and the text of its value, as the session holds them
  // now) and error (null on success; kind and value are null on failure).
  nlohmann::ordered_json Report(const CallOutcome& outcome) const;

  const PageOptions& options() const { return options_; }

 private:
  CallOutcome InvokeChecked(std::string_view name, std::span<const Value> args);

  PageOptions options_;
  std::shared_ptr<host::MemoryResponse> response_;
  std::shared_ptr<host::MemorySession> session_;
  Value context_;  // the host::MemoryContext handed to OnStartPage
  std::unique_ptr<Schedulers> object_;
};

// The JSON text of `json` on one line; text that is not valid UTF-8 is
// replaced rather than failing.
std::string JsonLine(const nlohmann::ordered_json& json);

// Writes "ostrand: <message>" and a newline to standard error, with any
// line breaks inside the message turned into spaces so that it stays one
// line.
void PrintError(std::string_view message);

}  // namespace ostrand::cli
