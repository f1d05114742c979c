// `ostrand admin grant|revoke|list`: the site's administrators, from the
// server's shell, for the first one and for when no administrator is left
// to do it in the browser. Each change is an audit row without an actor.
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "core/error.h"
#include "store/connect.h"
#include "store/schema.h"
#include "web/data/admins_table.h"
#include "web/data/audit_log.h"
#include "web/data/persons.h"
#include "web/data/plan_changes.h"

namespace ostrand::cli {
namespace {

struct AdminArguments {
  std::string db;
  std::int64_t person_id = 0;
};

std::unique_ptr<store::Connection> OpenDatabase(const std::string& connection_string) {
  std::unique_ptr<store::Connection> db = store::Connect(connection_string);
  store::CheckSchema(*db);
  return db;
}

web::Person RequirePerson(store::Connection& db, std::int64_t person_id) {
  std::optional<web::Person> person = web::FindPerson(db, person_id);
  if (!person) throw Error("no person with id " + std::to_string(person_id));
  return std::move(*person);
}

void Record(store::Connection& db, std::string_view kind, std::int64_t person_id,
            std::string_view detail) {
  web::RecordAudit(
      db, {web::UtcNow(), std::nullopt, std::string(kind), person_id, std::string(detail), ""});
}

int RunGrant(const AdminArguments& args) {
  const std::unique_ptr<store::Connection> db = OpenDatabase(args.db);
  const web::Person person = RequirePerson(*db, args.person_id);
  store::Transaction transaction(*db);
  const bool granted = web::GrantAdministrator(*db, person.id, std::nullopt, web::UtcNow());
  if (granted) Record(*db, web::audit::kAdminGranted, person.id, "ostrand admin grant");
  transaction.Commit();
  std::cout << "person " << person.id << " (" << person.name << ") "
            << (granted ? "is now an administrator" : "was an administrator already") << "\n";
  return 0;
}

int RunRevoke(const AdminArguments& args) {
  const std::unique_ptr<store::Connection> db = OpenDatabase(args.db);
  store::Transaction transaction(*db);
  const bool revoked = web::RevokeAdministrator(*db, args.person_id);
  if (revoked) Record(*db, web::audit::kAdminRevoked, args.person_id, "ostrand admin revoke");
  transaction.Commit();
  if (!revoked) throw Error("person " + std::to_string(args.person_id) + " is no administrator");
  std::cout << "person " << args.person_id << " is no longer an administrator\n";
  return 0;
}

int RunList(const AdminArguments& args) {
  const std::unique_ptr<store::Connection> db = OpenDatabase(args.db);
  for (const std::int64_t id : web::Administrators(*db)) {
    const std::optional<web::Person> person = web::FindPerson(*db, id);
    std::cout << id << '\t' << (person ? person->name : "(no such person)") << '\t'
              << (person && person->system_id ? std::to_string(*person->system_id) : "-") << "\n";
  }
  return 0;
}

void AddAction(CLI::App& admin, const char* name, const char* help,
               int (*run)(const AdminArguments&), bool takes_person, int* exit_code) {
  auto args = std::make_shared<AdminArguments>();
  CLI::App* cmd = admin.add_subcommand(name, help);
  AddDatabaseOption(*cmd, &args->db);
  if (takes_person) {
    cmd->add_option("PERSONID", args->person_id, "The person's personID")->required();
  }
  cmd->callback([args, run, exit_code] {
    try {
      *exit_code = run(*args);
    } catch (const std::exception& e) {
      std::cerr << "ostrand: " << e.what() << "\n";
      *exit_code = 1;
    }
  });
}

}  // namespace

void AddAdminCommand(CLI::App& app, int* exit_code) {
  CLI::App* admin = app.add_subcommand(
      "admin",
      "The site's administrators, who manage persons, departments and accounts in the browser "
      "under /admin/.");
  admin->require_subcommand(1);
  AddAction(*admin, "grant", "Make a person an administrator", RunGrant, true, exit_code);
  AddAction(*admin, "revoke", "End a person's administrator role", RunRevoke, true, exit_code);
  AddAction(*admin, "list",
            "Print the administrators, one a line: id, name and department (systemID), "
            "separated by tabs",
            RunList, false, exit_code);
}

}  // namespace ostrand::cli
