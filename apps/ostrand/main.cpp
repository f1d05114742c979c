// ostrand: renders staff schedules. See `ostrand --help`.
#include <iostream>

#include "commands.h"
#include "core/error.h"

int main(int argc, char** argv) {
  CLI::App app{"ostrand: staff-schedule renderer"};
  app.require_subcommand(1);
  int exit_code = 0;
  ostrand::cli::AddCallCommand(app, &exit_code);
  ostrand::cli::AddScriptCommand(app, &exit_code);
  ostrand::cli::AddDemoDbCommand(app, &exit_code);
  ostrand::cli::AddServeCommand(app, &exit_code);
  ostrand::cli::AddPasswdCommand(app, &exit_code);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "ostrand: " << e.what() << "\n";
    return 1;
  }
  return exit_code;
}
