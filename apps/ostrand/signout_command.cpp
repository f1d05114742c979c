// `ostrand signout`: ends the web sessions of one person, or of everybody.
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "core/error.h"
#include "store/connect.h"
#include "store/schema.h"
#include "web/auth/accounts.h"

namespace ostrand::cli {
namespace {

struct SignoutArguments {
  std::string db;
  std::optional<std::int64_t> person_id;
  bool all = false;
};

int RunSignout(const SignoutArguments& args) {
  if (args.all == args.person_id.has_value()) {
    throw Error("give either a PERSONID or --all");
  }
  const std::unique_ptr<store::Connection> db = store::Connect(args.db);
  store::CheckSchema(*db);
  if (args.all) {
    web::EndAllSessions(*db);
    std::cout << "ended every session\n";
  } else {
    web::EndSessionsOf(*db, *args.person_id);
    std::cout << "ended every session of person " << *args.person_id << "\n";
  }
  return 0;
}

}  // namespace

void AddSignoutCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<SignoutArguments>();
  CLI::App* cmd = app.add_subcommand(
      "signout",
      "End the web sessions of one person (every browser the person signed in with) or, with "
      "--all, of everybody. Running servers refuse the ended sessions at the next request.");
  AddDatabaseOption(*cmd, &args->db);
  cmd->add_option("PERSONID", args->person_id, "The person whose sessions end");
  cmd->add_flag("--all", args->all, "End every person's sessions");
  cmd->callback([args, exit_code] {
    try {
      *exit_code = RunSignout(*args);
    } catch (const std::exception& e) {
      std::cerr << "ostrand: " << e.what() << "\n";
      *exit_code = 1;
    }
  });
}

}  // namespace ostrand::cli
