// `ostrand app-password`: makes a person's app password for a calendar
// program (printed once, on standard output alone), revokes one by name,
// or lists them. Each change is an audit row without an actor.
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "core/date_text.h"
#include "core/error.h"
#include "store/connect.h"
#include "store/schema.h"
#include "web/auth/app_passwords.h"
#include "web/data/audit_log.h"
#include "web/data/persons.h"
#include "web/data/plan_changes.h"

namespace ostrand::cli {
namespace {

struct AppPasswordArguments {
  std::string db;
  std::int64_t person_id = 0;
  std::optional<std::string> name;
  std::optional<std::string> revoke;
  bool list = false;
};

void Record(store::Connection& db, std::int64_t person_id, const std::string& detail) {
  web::RecordAudit(db, {web::UtcNow(), std::nullopt, std::string(web::audit::kTokenChanged),
                        person_id, detail, ""});
}

std::string UtcText(const DateTime& t) { return MinuteText(t) + " UTC"; }

int RunAppPassword(const AppPasswordArguments& args) {
  if (args.list + args.revoke.has_value() + args.name.has_value() > 1) {
    throw Error("give one of --name, --revoke and --list");
  }
  const std::unique_ptr<store::Connection> db = store::Connect(args.db);
  store::CheckSchema(*db);
  const std::optional<web::Person> person = web::FindPerson(*db, args.person_id);
  if (!person) throw Error("no person with id " + std::to_string(args.person_id));
  if (args.list) {
    for (const web::AppPasswordInfo& info : web::ListAppPasswords(*db, person->id)) {
      std::cout << info.name << '\t' << UtcText(info.created_at) << '\t'
                << (info.last_used ? UtcText(*info.last_used) : "never used") << "\n";
    }
    return 0;
  }
  if (args.revoke) {
    if (!web::RevokeAppPassword(*db, person->id, *args.revoke)) {
      throw Error("person " + std::to_string(person->id) + " has no app password named '" +
                  web::ShortDetail(*args.revoke, web::kTypedNameLimit) + "'");
    }
    Record(*db, person->id, "app password revoked: " + *args.revoke);
    std::cout << "app password '" << *args.revoke << "' of person " << person->id
              << " revoked: the calendar programs using it can no longer sign in\n";
    return 0;
  }
  const std::string name = web::AppPasswordName(*db, person->id, args.name.value_or(""));
  const std::string password = web::CreateAppPassword(*db, person->id, name, web::UtcNow());
  Record(*db, person->id, "app password made: " + name);
  std::cout << password << "\n";
  std::cerr << "ostrand: the new app password '" << name << "' of person " << person->id << " ("
            << person->name << ") is shown only now. A calendar program signs in to the server's "
            << "/dav/ with the user name " << person->id << " and this password.\n";
  return 0;
}

}  // namespace

void AddAppPasswordCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<AppPasswordArguments>();
  CLI::App* cmd = app.add_subcommand(
      "app-password",
      "Make an app password with which a person's calendar programs sign in to the calendars "
      "under /dav/ (printed once, alone on standard output), revoke one by name, or list them.");
  AddDatabaseOption(*cmd, &args->db);
  cmd->add_option("PERSONID", args->person_id, "The person's personID")->required();
  cmd->add_option("--name", args->name,
                  "The new password's name, one per program (default: calendar, calendar 2, ...)");
  cmd->add_option("--revoke", args->revoke, "Revoke the person's app password of this name");
  cmd->add_flag("--list", args->list,
                "Print the person's app passwords, one a line: name, made, last used");
  cmd->callback([args, exit_code] {
    try {
      *exit_code = RunAppPassword(*args);
    } catch (const std::exception& e) {
      std::cerr << "ostrand: " << e.what() << "\n";
      *exit_code = 1;
    }
  });
}

}  // namespace ostrand::cli
