// `ostrand passwd`: sets a person's sign-in password for the web host.
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "core/error.h"
#include "web/auth/accounts.h"
#include "store/connect.h"
#include "store/schema.h"

namespace ostrand::cli {
namespace {

struct PasswdArguments {
  std::string db;
  std::int64_t person_id = 0;
  std::optional<std::string> password;
};

int RunPasswd(const PasswdArguments& args) {
  std::string password;
  if (args.password) {
    password = *args.password;
  } else {
    // The first line of standard input, without its line ending.
    if (!std::getline(std::cin, password)) throw Error("no password on standard input");
    if (!password.empty() && password.back() == '\r') password.pop_back();
  }
  const std::unique_ptr<store::Connection> db = store::Connect(args.db);
  store::CheckSchema(*db);
  web::SetPassword(*db, args.person_id, password, web::PasswordLimits::Interactive());
  std::cout << "password set for person " << args.person_id << "; the person's sessions ended\n";
  return 0;
}

}  // namespace

void AddPasswdCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<PasswdArguments>();
  CLI::App* cmd = app.add_subcommand(
      "passwd",
      "Set the web sign-in password of a person and end the person's sessions. The password "
      "is read from the first line of standard input, or taken from --password (visible to "
      "other users of the machine; for scripts).");
  AddDatabaseOption(*cmd, &args->db);
  cmd->add_option("PERSONID", args->person_id, "The person's personID")->required();
  cmd->add_option("--password", args->password, "The new password, instead of standard input");
  cmd->callback([args, exit_code] {
    try {
      *exit_code = RunPasswd(*args);
    } catch (const std::exception& e) {
      std::cerr << "ostrand: " << e.what() << "\n";
      *exit_code = 1;
    }
  });
}

}  // namespace ostrand::cli
