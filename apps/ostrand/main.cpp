// ostrand: renders staff schedules. See `ostrand --help`.
#include <iostream>
#include <string>

#include "commands.h"
#include "core/error.h"

namespace {

constexpr std::string_view kCommandList =
    "call, script, demo-db, init-db, serve, passwd, signout, feed-token, import-plans, holidays, "
    "admin, audit, app-password";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"ostrand: staff-schedule renderer"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("ostrand ") + OSTRAND_VERSION);
  int exit_code = 0;
  ostrand::cli::AddCallCommand(app, &exit_code);
  ostrand::cli::AddScriptCommand(app, &exit_code);
  ostrand::cli::AddDemoDbCommand(app, &exit_code);
  ostrand::cli::AddInitDbCommand(app, &exit_code);
  ostrand::cli::AddServeCommand(app, &exit_code);
  ostrand::cli::AddPasswdCommand(app, &exit_code);
  ostrand::cli::AddSignoutCommand(app, &exit_code);
  ostrand::cli::AddHolidaysCommand(app, &exit_code);
  ostrand::cli::AddFeedTokenCommand(app, &exit_code);
  ostrand::cli::AddImportPlansCommand(app, &exit_code);
  ostrand::cli::AddAuditCommand(app, &exit_code);
  ostrand::cli::AddPersonsCommand(app, &exit_code);
  ostrand::cli::AddAdminCommand(app, &exit_code);
  ostrand::cli::AddAppPasswordCommand(app, &exit_code);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version print what was asked for and succeed.
    if (e.get_exit_code() == 0) return app.exit(e);
    // Every other mistake in the words is one line, as all errors are.
    std::string message = e.what();
    if (argc > 1 && argv[1][0] != '-' && app.get_subcommands().empty()) {
      message = "unknown command '" + std::string(argv[1]) +
                "' (commands: " + std::string(kCommandList) + ")";
    } else if (argc <= 1) {
      message = "no command given (commands: " + std::string(kCommandList) + ")";
    }
    std::cerr << "ostrand: " << message << "; see 'ostrand --help'\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "ostrand: " << e.what() << "\n";
    return 1;
  }
  return exit_code;
}
