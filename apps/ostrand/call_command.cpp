#include <iostream>

#include "commands.h"

namespace ostrand::cli {

void AddCallCommand(CLI::App& app, int* exit_code) {
  CLI::App* cmd = app.add_subcommand("call", "not built yet");
  cmd->allow_extras();
  cmd->callback([exit_code] {
    std::cerr << "ostrand: call is not implemented yet\n";
    *exit_code = 1;
  });
}

}  // namespace ostrand::cli
