// `ostrand persons import CONN FILE.csv [--dry-run]` and `ostrand persons
// export CONN`: the staff as a CSV file (exports/staff_csv.h). The import
// prints every record as add / change / unchanged / refused with the
// reason, and writes the adds and changes in one transaction, or nothing
// when any record is refused (web/data/staff_import.h). The export writes
// every person, retired ones included, to standard output.
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "input_file.h"
#include "core/error.h"
#include "exports/staff_csv.h"
#include "plans/plan_import.h"
#include "store/connect.h"
#include "store/schema.h"
#include "web/data/staff_import.h"

namespace ostrand::cli {
namespace {

struct PersonsArguments {
  std::string db;
  std::string file;
  bool dry_run = false;
};

std::unique_ptr<store::Connection> OpenSchedule(const std::string& conn) {
  std::unique_ptr<store::Connection> db = store::Connect(conn);
  store::CheckSchema(*db);
  return db;
}

const char* ActionWord(web::StaffAction action, bool written) {
  switch (action) {
    case web::StaffAction::kAdd:
      return written ? "added    " : "add      ";
    case web::StaffAction::kChange:
      return written ? "changed  " : "change   ";
    case web::StaffAction::kUnchanged:
      return "unchanged";
    case web::StaffAction::kRefused:
      break;
  }
  return "refused  ";
}

int RunImport(const PersonsArguments& args) {
  const plans::StaffFile file = exports::ReadStaffCsv(ReadInputFile(args.file, plans::kMaxImportFileBytes));
  const std::unique_ptr<store::Connection> db = OpenSchedule(args.db);
  const web::StaffImportReport report = web::ImportStaff(*db, file, !args.dry_run);
  for (const web::StaffEntry& e : report.entries) {
    std::cout << ActionWord(e.action, report.written) << " line " << e.line;
    if (e.action != web::StaffAction::kRefused) {
      std::cout << ": " << (e.person_id > 0 ? std::to_string(e.person_id) + " " : "") << e.name;
    }
    if (!e.reason.empty()) std::cout << ": " << e.reason;
    std::cout << "\n";
  }
  std::cout << args.file << ": " << report.added << (report.written ? " added, " : " to add, ")
            << report.changed << (report.written ? " changed, " : " to change, ")
            << report.unchanged << " unchanged, " << report.refused << " refused\n";
  if (report.refused > 0) {
    std::cerr << "ostrand: nothing imported: " << report.refused
              << (report.refused == 1 ? " record is" : " records are") << " refused\n";
    return 1;
  }
  if (args.dry_run) std::cout << "dry run: nothing was written\n";
  return 0;
}

int RunExport(const PersonsArguments& args) {
  const std::unique_ptr<store::Connection> db = OpenSchedule(args.db);
  std::cout << exports::WriteStaffCsv(web::StaffRecords(*db));
  std::cout.flush();
  if (!std::cout) throw Error("cannot write the staff file to standard output");
  return 0;
}

template <typename Run>
void Guard(CLI::App* cmd, const std::shared_ptr<PersonsArguments>& args, int* exit_code, Run run) {
  cmd->callback([args, exit_code, run] {
    try {
      *exit_code = run(*args);
    } catch (const std::exception& e) {
      std::cerr << "ostrand: " << e.what() << "\n";
      *exit_code = 1;
    }
  });
}

}  // namespace

void AddPersonsCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<PersonsArguments>();
  CLI::App* cmd = app.add_subcommand("persons", "The staff as a CSV file: import and export.");
  cmd->require_subcommand(1);
  CLI::App* import = cmd->add_subcommand(
      "import",
      "Import a staff CSV (UTF-8, with or without a byte order mark; a heading of 编号/number "
      "or 姓名/name, 部门/department, 职务/duty, each department and duty by id or name). A "
      "number changes that person; a name of nobody adds a person, of one person changes "
      "that person. Prints every record as add, change, unchanged or refused with the "
      "reason; writes everything in one transaction, or nothing when a record is refused.");
  AddDatabaseArgument(*import, &args->db);
  import->add_option("FILE", args->file, "The staff CSV file")->required();
  import->add_flag("--dry-run", args->dry_run, "Report what the import would do; write nothing");
  Guard(import, args, exit_code, RunImport);
  CLI::App* exported = cmd->add_subcommand(
      "export",
      "Write every person (retired ones too, with the day of retirement) as a staff CSV to "
      "standard output, which the import reads back.");
  AddDatabaseArgument(*exported, &args->db);
  Guard(exported, args, exit_code, RunExport);
}

}  // namespace ostrand::cli
