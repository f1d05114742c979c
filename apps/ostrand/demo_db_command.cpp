// `ostrand demo-db PATH [--seed N] [--password P] [--force]`: writes a SQLite
// database with the schedule tables, demo data for the current year and the
// next, and a sign-in for every demo person, all with one password that the
// command prints (a random one unless --password gives it).
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "core/date.h"
#include "core/error.h"
#include "store/demo_data.h"
#include "store/demo_database.h"
#include "web/auth/accounts.h"

namespace ostrand::cli {
namespace {

struct DemoDbArguments {
  std::string path;
  std::uint64_t seed = 1;
  std::string password;  // empty: a random one
  bool force = false;
};

// The local calendar date of the machine.
DateTime LocalDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) throw Error("cannot read the local date");
  return DateTime::FromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

int RunDemoDb(const DemoDbArguments& args) {
  std::error_code unused;
  if (!args.force && std::filesystem::exists(std::filesystem::symlink_status(args.path, unused))) {
    std::cerr << "ostrand: '" << args.path << "' already exists; use --force to replace it\n";
    return 1;
  }
  const std::string password = args.password.empty() ? web::RandomPassword() : args.password;
  const store::DemoData data = store::GenerateDemoData(args.seed, LocalDate());
  const std::vector<std::int64_t> person_ids = store::DemoPersonIds(data);
  store::WriteDemoDatabase(data, args.path, args.force, [&](const std::string& file) {
    web::GiveDemoPasswords("sqlite:" + file, person_ids, password);
  });
  const store::DemoPerson& account = store::DemoAccount(data);
  std::cout << "wrote " << data.persons.size() << " persons and " << data.plans.size()
            << " plans to " << args.path << " (seed " << args.seed << "; demo account "
            << account.id << " " << account.name << ")\n"
            << "password of every demo person: " << password << "\n";
  return 0;
}

}  // namespace

void AddDemoDbCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<DemoDbArguments>();
  CLI::App* cmd = app.add_subcommand(
      "demo-db",
      "Write a SQLite database with the schedule tables and demo data: three systems of about "
      "forty persons, the four kinds of place, and plans over the current year and the next. "
      "The same seed gives the same data within a year.");
  cmd->add_option("PATH", args->path, "The database file to write")->required();
  cmd->add_option("--seed", args->seed, "Seed of the demo data (default 1)");
  cmd->add_option("--password", args->password,
                  "The password of every demo person (default: a random one, printed)");
  cmd->add_flag("--force", args->force, "Replace PATH when it exists");
  cmd->callback([args, exit_code] {
    try {
      *exit_code = RunDemoDb(*args);
    } catch (const std::exception& e) {
      std::cerr << "ostrand: " << e.what() << "\n";
      *exit_code = 1;
    }
  });
}

}  // namespace ostrand::cli
