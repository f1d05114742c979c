#include <iostream>

#include "commands.h"

namespace ostrand::cli {

void AddDemoDbCommand(CLI::App& app, int* exit_code) {
  CLI::App* cmd = app.add_subcommand("demo-db", "not built yet");
  cmd->allow_extras();
  cmd->callback([exit_code] {
    std::cerr << "ostrand: demo-db is not implemented yet\n";
    *exit_code = 1;
  });
}

}  // namespace ostrand::cli
