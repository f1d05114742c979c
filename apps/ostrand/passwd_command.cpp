#include <iostream>

#include "commands.h"

namespace ostrand::cli {

void AddPasswdCommand(CLI::App& app, int* exit_code) {
  CLI::App* cmd = app.add_subcommand("passwd", "not built yet");
  cmd->allow_extras();
  cmd->callback([exit_code] {
    std::cerr << "ostrand: passwd is not implemented yet\n";
    *exit_code = 1;
  });
}

}  // namespace ostrand::cli
