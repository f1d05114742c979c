// `ostrand import-plans`: adds a person's plans from a calendar file (.ics)
// or a CSV (a spreadsheet grid or a plan list), as a dry run unless
// --apply, with a report of what was added and what was skipped and why.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "commands.h"
#include "input_file.h"
#include "core/error.h"
#include "core/text.h"
#include "exports/csv_import.h"
#include "feeds/ical_reader.h"
#include "feeds/time_zone.h"
#include "store/connect.h"
#include "store/schema.h"
#include "web/data/plan_importer.h"

namespace ostrand::cli {
namespace {


struct ImportArguments {
  std::string db;
  std::string file;
  std::int64_t person_id = 0;
  bool apply = false;
  std::string time_zone;
  std::optional<std::string> place;
  std::size_t max_plans_per_day = web::ImportSettings{}.max_plans_per_day;
  std::int64_t max_plan_days = web::ImportSettings{}.max_plan_days;
};

int RunImport(const ImportArguments& args) {
  const bool ics = EndsWithNoCase(args.file, ".ics");
  if (!ics && !EndsWithNoCase(args.file, ".csv")) {
    throw Error("'" + args.file + "' is neither a .ics nor a .csv file");
  }
  const feeds::TimeZone zone =
      args.time_zone.empty() ? feeds::TimeZone::System() : feeds::TimeZone::Named(args.time_zone);
  const std::string text = ReadInputFile(args.file, plans::kMaxImportFileBytes);
  const plans::ImportResult read =
      ics ? feeds::ReadCalendar(text, zone) : exports::ReadPlansCsv(text);

  const std::unique_ptr<store::Connection> db = store::Connect(args.db);
  store::CheckSchema(*db);
  web::ImportSettings settings;
  settings.person_id = args.person_id;
  settings.default_place = args.place;
  settings.max_plans_per_day = args.max_plans_per_day;
  settings.max_plan_days = args.max_plan_days;
  settings.apply = args.apply;
  const web::ImportReport report = web::ImportPlans(*db, read, settings);

  std::cout << args.file << ": " << report.added.size() << (report.written ? " added" : " to add")
            << ", " << report.skipped.size() << " skipped, for person " << args.person_id << " ("
            << report.person_name << ")\n";
  for (const web::ImportEntry& e : report.added) {
    std::cout << (report.written ? "added" : "add") << "  line " << e.line << ": " << e.plan;
    if (!e.changed.empty()) std::cout << " (" << e.changed << ")";
    std::cout << "\n";
  }
  for (const web::ImportEntry& e : report.skipped) {
    std::cout << "skip  line " << e.line << ": ";
    if (!e.plan.empty()) std::cout << e.plan << ": ";
    std::cout << e.reason << "\n";
  }
  if (!report.written) std::cout << "dry run: nothing was written (--apply writes)\n";
  return 0;
}

}  // namespace

void AddImportPlansCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<ImportArguments>();
  CLI::App* cmd = app.add_subcommand(
      "import-plans",
      "Add plans of one person from a calendar file (.ics) or a CSV (a spreadsheet export of a "
      "month, or a plan list). A dry run unless --apply, which writes every plan to add in one "
      "transaction. Prints what is added and what is skipped, with the line and the reason.");
  AddDatabaseArgument(*cmd, &args->db);
  cmd->add_option("FILE", args->file, "The .ics or .csv file")->required();
  cmd->add_option("--person", args->person_id, "The personID whose plans these are")->required();
  cmd->add_flag("--apply", args->apply, "Write the plans (without it nothing is written)");
  cmd->add_option("--timezone", args->time_zone,
                  "Time zone of the stored plan times, into which a calendar file's times are "
                  "turned (an IANA name such as Asia/Shanghai, or UTC). Default: the machine's");
  cmd->add_option("--place", args->place,
                  "The place (a planAddr name) of plans that name none. Default: the first place "
                  "of the plan's kind");
  cmd->add_option("--max-plans-per-day", args->max_plans_per_day,
                  "Skip a plan when one of its days has this many plans already")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  cmd->add_option("--max-plan-days", args->max_plan_days,
                  "Skip a plan that covers more days than this")
      ->capture_default_str()
      ->check(CLI::Range(1, 3660000));
  cmd->callback([args, exit_code] {
    try {
      *exit_code = RunImport(*args);
    } catch (const std::exception& e) {
      std::cerr << "ostrand: " << e.what() << "\n";
      *exit_code = 1;
    }
  });
}

}  // namespace ostrand::cli
