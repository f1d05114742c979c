// `ostrand demo-db TARGET [--seed N] [--password P] [--force]`: writes the
// schedule tables, demo data for the current year and the next with the
// demo holiday set of those years, and a sign-in for every demo person,
// all with one password that the command prints (a random one unless
// --password gives it). TARGET is a file path
// (a new SQLite file) or a connection string of any backend.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "core/date.h"
#include "core/error.h"
#include "core/text.h"
#include "holidays/demo_holidays.h"
#include "web/data/holiday_table.h"
#include "web/data/organisation.h"
#include "store/connection_string.h"
#include "store/demo_data.h"
#include "store/demo_database.h"
#include "web/auth/accounts.h"

namespace ostrand::cli {
namespace {

struct DemoDbArguments {
  std::string target;
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

// The file a target names when it is no server's connection string.
std::optional<std::string> FileOf(const std::string& target) {
  const std::string_view text = TrimWhitespace(target);
  if (StartsWithNoCase(text, "sqlite:")) return store::ParseConnectionString(text).database;
  if (StartsWithNoCase(text, "postgresql://") || StartsWithNoCase(text, "postgres://") ||
      StartsWithNoCase(text, "odbc:")) {
    return std::nullopt;
  }
  return target;
}

int RunDemoDb(const DemoDbArguments& args) {
  const std::optional<std::string> file = FileOf(args.target);
  std::error_code unused;
  if (file && !args.force && std::filesystem::exists(std::filesystem::symlink_status(*file, unused))) {
    std::cerr << "ostrand: '" << *file << "' already exists; use --force to replace it\n";
    return 1;
  }
  const std::string password = args.password.empty() ? web::RandomPassword() : args.password;
  const DateTime today = LocalDate();
  const store::DemoData data = store::GenerateDemoData(args.seed, today);
  const std::vector<std::int64_t> person_ids = store::DemoPersonIds(data);
  std::vector<holidays::Holiday> demo_holidays = holidays::DemoHolidays(today.year());
  for (holidays::Holiday& day : holidays::DemoHolidays(today.year() + 1)) {
    demo_holidays.push_back(std::move(day));
  }
  store::WriteDemoDatabase(data, args.target, args.force, [&](store::Connection& db) {
    web::GiveDemoPasswords(db, person_ids, password);
    holidays::WriteHolidays(db, demo_holidays);
    web::WriteDemoOrganisation(db, data);
  });
  const store::DemoPerson& account = store::DemoAccount(data);
  std::cout << "wrote " << data.persons.size() << " persons, " << data.plans.size()
            << " plans and " << demo_holidays.size() << " demo holidays to "
            << (file ? *file : store::RedactConnectionString(args.target))
            << " (seed " << args.seed << "; demo account " << account.id << " " << account.name
            << ")\n"
            << "password of every demo person: " << password << "\n";
  return 0;
}

}  // namespace

void AddDemoDbCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<DemoDbArguments>();
  CLI::App* cmd = app.add_subcommand(
      "demo-db",
      "Write the schedule tables and demo data: three systems of about forty persons, the four "
      "kinds of place, and plans over the current year and the next. The same seed gives the "
      "same data within a year.");
  cmd->add_option("TARGET", args->target,
                  "A database file to write (a new SQLite file), or a connection string "
                  "(postgresql://..., odbc:...) of a database to fill")
      ->required();
  cmd->add_option("--seed", args->seed, "Seed of the demo data (default 1)");
  cmd->add_option("--password", args->password,
                  "The password of every demo person (default: a random one, printed)");
  cmd->add_flag("--force", args->force,
                "Replace the file, or the schedule rows a database already holds");
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
