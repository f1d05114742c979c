#include "commands.h"

namespace ostrand::cli {

CLI::Option* AddDatabaseOption(CLI::App& cmd, std::string* db) {
  return cmd.add_option("--db", *db, kDatabaseHelp)->required();
}

CLI::Option* AddDatabaseArgument(CLI::App& cmd, std::string* db) {
  return cmd.add_option("CONN", *db, kDatabaseHelp)->required();
}

}  // namespace ostrand::cli
