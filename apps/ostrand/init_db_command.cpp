// `ostrand init-db CONN [--add-missing]`: creates the schedule tables (and
// the web host's own tables) in a database of any backend. A database that
// already holds any of them is refused unless --add-missing, which creates
// only the missing ones and brings an older SQLite personPlan to the form
// that gives no plan id twice (store::KeepPlanIdsUnique, every id kept);
// no row is ever dropped. With --admin NAME on a new database it also adds
// the first person, an administrator, and prints the one-time link on
// which that person chooses a password (an invitation, valid for 7 days).
#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "core/error.h"
#include "core/text.h"
#include "store/connect.h"
#include "store/schedule_tables.h"
#include "store/schema.h"
#include "web/auth/invitations.h"
#include "web/data/admins_table.h"
#include "web/data/audit_log.h"
#include "web/data/founding_person.h"
#include "web/data/plan_changes.h"
#include "web/http/site_address.h"
#include "web/http/url.h"
#include "web/pages/page_paths.h"

namespace ostrand::cli {
namespace {

struct InitDbArguments {
  std::string db;
  bool add_missing = false;
  std::optional<std::string> admin;
  std::int64_t department = 1;
  std::optional<std::int64_t> duty;
  std::string public_url = "http://127.0.0.1:8080";
};

// Adds the first administrator to the new database and prints the link on
// which he or she chooses a password. All or nothing.
void AddFirstAdministrator(store::Connection& db, const InitDbArguments& args,
                           const std::string& name, const std::string& base) {
  store::CheckSchema(db);
  const DateTime now = web::UtcNow();
  store::Transaction transaction(db);
  const std::int64_t id = web::AddFoundingPerson(db, name, args.department, args.duty);
  web::GrantAdministrator(db, id, std::nullopt, now);
  web::RecordAudit(db, {now, std::nullopt, std::string(web::audit::kAdminGranted), id,
                        "ostrand init-db --admin", ""});
  const std::string token = web::MakeInvitation(db, id, now);
  web::RecordAudit(db, {now, std::nullopt, std::string(web::audit::kInvitationMade), id,
                        "ostrand init-db --admin", ""});
  transaction.Commit();
  std::cout << "added person " << id << " (" << name << ", department " << args.department
            << ", " << (args.duty ? "duty " + std::to_string(*args.duty) : "no duty")
            << ") as administrator\n"
            << "set-up link (one use, valid for " << web::kInvitationDays << " days):\n"
            << base << web::http::LinkWithQuery(web::kInvitePath, {{"token", token}}) << "\n";
}

constexpr const char* kRebuiltPlans =
    "rebuilt table personPlan so that the id of a deleted plan is never given again "
    "(every plan keeps its id)\n";

int RunInitDb(const InitDbArguments& args) {
  std::string admin_name;
  std::string base;
  if (args.admin) {
    admin_name = std::string(TrimBlanks(*args.admin));
    if (admin_name.empty()) throw Error("--admin needs the person's name");
    if (args.add_missing) {
      throw Error("--admin makes the first person of a new database; on this one use "
                  "`ostrand admin grant PERSONID`");
    }
    const std::optional<std::string> url = web::http::ReadSiteAddress(args.public_url);
    if (!url) throw Error("--public-url '" + args.public_url + "' is no http:// or https:// address");
    base = *url;
  }
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
  if (args.admin) AddFirstAdministrator(*db, args, admin_name, base);
  return 0;
}

}  // namespace

void AddInitDbCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<InitDbArguments>();
  CLI::App* cmd = app.add_subcommand(
      "init-db",
      "Create the schedule tables and the web host's own tables in a database (an SQLite file "
      "is made when missing). A database that holds any of them is refused unless "
      "--add-missing. With --admin NAME, also adds the first person as administrator and prints "
      "the one-time link on which that person chooses a password.");
  AddDatabaseArgument(*cmd, &args->db);
  cmd->add_flag("--add-missing", args->add_missing,
                "Create only the tables the database lacks; existing tables and rows are kept (an older "
                "SQLite personPlan is rebuilt, ids kept, so that no plan id is given twice)");
  cmd->add_option("--admin", args->admin,
                  "On a new database: add a person of this name as the first administrator "
                  "and print a set-up link (an invitation, one use, valid for 7 days)");
  cmd->add_option("--department", args->department,
                  "With --admin: the person's department (systemID)")
      ->capture_default_str();
  cmd->add_option("--duty", args->duty, "With --admin: the person's duty (dutyID); default none");
  cmd->add_option("--public-url", args->public_url,
                  "With --admin: the site's address that the link starts with, as `ostrand "
                  "serve --public-url` has it")
      ->capture_default_str();
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
