// The subcommands of the ostrand executable. Each Add... function registers
// its subcommand on the app; when the subcommand runs, its callback stores
// the process exit code in *exit_code.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace ostrand::cli {

// What every subcommand says of the schedule database it is given.
inline constexpr const char* kDatabaseHelp =
    "Connection string of the schedule database (sqlite:PATH, postgresql://..., odbc:...)";

// The required option --db of a subcommand, stored in *db, with
// kDatabaseHelp.
CLI::Option* AddDatabaseOption(CLI::App& cmd, std::string* db);
// The same as the required first word CONN (init-db, holidays,
// import-plans take the database so).
CLI::Option* AddDatabaseArgument(CLI::App& cmd, std::string* db);

// The secret file of `ostrand serve` when --secret-file names none (made on
// first use); the feed tokens derive from its key too.
inline constexpr const char* kDefaultSecretFile = "var/ostrand.secret";

// `ostrand call`: one member on a fresh instance.
void AddCallCommand(CLI::App& app, int* exit_code);
// `ostrand script`: members read as JSON lines, on one instance.
void AddScriptCommand(CLI::App& app, int* exit_code);
// `ostrand demo-db`: writes a demo database.
void AddDemoDbCommand(CLI::App& app, int* exit_code);
// `ostrand serve`: the web host.
void AddServeCommand(CLI::App& app, int* exit_code);
// `ostrand init-db`: creates the schedule tables in a database.
void AddInitDbCommand(CLI::App& app, int* exit_code);
// `ostrand passwd`: sets a person's sign-in password.
void AddPasswdCommand(CLI::App& app, int* exit_code);
// `ostrand signout`: ends the web sessions of a person or of everybody.
void AddSignoutCommand(CLI::App& app, int* exit_code);
// `ostrand holidays import|list`: the holiday calendar of the pages.
void AddHolidaysCommand(CLI::App& app, int* exit_code);
// `ostrand feed-token`: shows or resets a person's calendar feed address.
void AddFeedTokenCommand(CLI::App& app, int* exit_code);
// `ostrand import-plans`: adds plans from a calendar file or a CSV.
void AddImportPlansCommand(CLI::App& app, int* exit_code);
// `ostrand audit`: prints the audit log.
void AddAuditCommand(CLI::App& app, int* exit_code);
// `ostrand persons import|export`: the staff as a CSV file.
void AddPersonsCommand(CLI::App& app, int* exit_code);
// `ostrand admin grant|revoke|list`: the site's administrators.
void AddAdminCommand(CLI::App& app, int* exit_code);
// `ostrand app-password`: makes, revokes or lists a person's app passwords.
void AddAppPasswordCommand(CLI::App& app, int* exit_code);

}  // namespace ostrand::cli
