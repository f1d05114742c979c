// `ostrand init-db CONN [--add-missing]`: creates the schedule tables (and
// the web host's own tables) in a database of any backend. A database that
// already holds any of them is refused unless --add-missing, which creates
// only the missing ones and brings an older SQLite personPlan to the form
// that gives no plan id twice (store::KeepPlanIdsUnique, every id kept);
// no row is ever dropped.
#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "core/error.h"
#include "store/connect.h"
#include "store/schedule_tables.h"
#include "store/schema.h"

namespace ostrand::cli {
namespace {

struct InitDbArguments {
  std::string db;
  bool add_missing = false;
};

constexpr const char* kRebuiltPlans =
    "rebuilt table personPlan so that the id of a deleted plan is never given again "
    "(every plan keeps its id)\n";

int RunInitDb(const InitDbArguments& args) {
  const std::unique_ptr<store::Connection> db = store::Connect(args.db, store::OpenMode::kCreate);
  const std::vector<std::string_view> missing = store::MissingTables(*db);
  if (missing.empty() && args.add_missing) {
    std::cout << "database '" << db->name() << "' already holds every schedule table\n";
    if (store::KeepPlanIdsUnique(*db)) std::cout << kRebuiltPlans;
    return 0;
  }
  if (missing.size() < store::kScheduleTables.size() && !args.add_missing) {
    std::string present;
    for (const store::ScheduleTable& table : store::kScheduleTables) {
      if (std::find(missing.begin(), missing.end(), table.name) != missing.end()) continue;
      if (!present.empty()) present += ", ";
      present += table.name;
    }
    throw Error("database '" + db->name() + "' already holds the tables " + present +
                "; use --add-missing to create only the missing ones");
  }
  store::CreateSchema(*db);
  std::cout << "created the schedule tables in database '" << db->name() << "' ("
            << store::EngineName(db->engine()) << ")\n";
  if (store::KeepPlanIdsUnique(*db)) std::cout << kRebuiltPlans;
  return 0;
}

}  // namespace

void AddInitDbCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<InitDbArguments>();
  CLI::App* cmd = app.add_subcommand(
      "init-db",
      "Create the schedule tables and the web host's own tables in a database (an SQLite file "
      "is made when missing). A database that holds any of them is refused unless "
      "--add-missing.");
  AddDatabaseArgument(*cmd, &args->db);
  cmd->add_flag("--add-missing", args->add_missing,
                "Create only the tables the database lacks; existing tables and rows are kept (an older "
                "SQLite personPlan is rebuilt, ids kept, so that no plan id is given twice)");
  cmd->callback([args, exit_code] {
    try {
      *exit_code = RunInitDb(*args);
    } catch (const std::exception& e) {
      std::cerr << "ostrand: " << e.what() << "\n";
      *exit_code = 1;
    }
  });
}

}  // namespace ostrand::cli
