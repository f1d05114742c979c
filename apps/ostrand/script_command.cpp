#include <iostream>

#include "commands.h"

namespace ostrand::cli {

void AddScriptCommand(CLI::App& app, int* exit_code) {
  CLI::App* cmd = app.add_subcommand("script", "not built yet");
  cmd->allow_extras();
  cmd->callback([exit_code] {
    std::cerr << "ostrand: script is not implemented yet\n";
    *exit_code = 1;
  });
}

}  // namespace ostrand::cli
