// `ostrand holidays import CONN FILE` and `ostrand holidays list CONN
// [YEAR]`: the holiday calendar the pages mark (the holiday table). An import
// reads a CSV or iCalendar file (holidays/holiday_file.h) and writes it in
// one transaction, or writes nothing when the file has any problem.
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "input_file.h"
#include "core/date_text.h"
#include "core/error.h"
#include "holidays/holiday_file.h"
#include "web/data/holiday_table.h"
#include "store/connect.h"
#include "store/connection_string.h"
#include "store/schema.h"

namespace ostrand::cli {
namespace {

// A holiday file of a few decades is a few kilobytes.
constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;

struct HolidaysArguments {
  std::string db;
  std::string file;
  std::optional<int> year;
};

std::unique_ptr<store::Connection> OpenSchedule(const std::string& conn) {
  std::unique_ptr<store::Connection> db = store::Connect(conn);
  store::CheckSchema(*db);  // creates the holiday table in a database made before it
  return db;
}

int RunImport(const HolidaysArguments& args) {
  const holidays::HolidayFile file =
      holidays::ReadHolidayFile(ReadInputFile(args.file, kMaxFileBytes));
  if (!file.problems.empty()) {
    for (const holidays::HolidayProblem& p : file.problems) {
      std::cerr << "ostrand: " << args.file << ":" << p.line << ": " << p.reason << "\n";
    }
    std::cerr << "ostrand: nothing imported: " << file.problems.size()
              << (file.problems.size() == 1 ? " problem" : " problems") << " in '" << args.file
              << "'\n";
    return 1;
  }
  if (file.days.empty()) throw Error("'" + args.file + "' holds no holiday");
  const std::unique_ptr<store::Connection> db = OpenSchedule(args.db);
  const holidays::HolidayImport done = holidays::ImportHolidays(*db, file.days);
  std::size_t off = 0;
  for (const holidays::Holiday& day : file.days) off += day.day_off ? 1 : 0;
  const int first = file.days.front().date.year();
  const int last = file.days.back().date.year();
  std::cout << "imported " << done.written << " days (" << off << " off, " << done.written - off
            << " working) of " << first;
  if (last != first) std::cout << " to " << last;
  std::cout << " into '" << db->name() << "'";
  if (done.replaced > 0) std::cout << "; " << done.replaced << " replaced earlier entries";
  if (done.demo_removed > 0) std::cout << "; removed " << done.demo_removed << " demo entries";
  std::cout << "\n";
  return 0;
}

int RunList(const HolidaysArguments& args) {
  const std::unique_ptr<store::Connection> db = OpenSchedule(args.db);
  const DateTime first = DateTime::FromCivil(args.year.value_or(100), 1, 1);
  const DateTime last = DateTime::FromCivil(args.year.value_or(9999), 12, 31);
  const std::vector<holidays::Holiday> days = holidays::HolidaysBetween(*db, first, last);
  for (const holidays::Holiday& day : days) {
    std::cout << DateText(day.date) << (day.day_off ? " off  " : " work ") << day.name
              << (day.demo ? " (demo)" : "") << "\n";
  }
  if (days.empty()) {
    std::cerr << "no holidays" << (args.year ? " in " + std::to_string(*args.year) : std::string())
              << "\n";
  }
  return 0;
}

template <typename Run>
void Guard(CLI::App* cmd, const std::shared_ptr<HolidaysArguments>& args, int* exit_code,
           Run run) {
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

void AddHolidaysCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<HolidaysArguments>();
  CLI::App* cmd = app.add_subcommand(
      "holidays",
      "The holiday calendar the pages mark: public holidays (days off) and the working days "
      "that make up for them.");
  cmd->require_subcommand(1);

  CLI::App* import = cmd->add_subcommand(
      "import",
      "Import a CSV file (date,name,off|work per line) or an iCalendar file (.ics, one event "
      "per holiday); the days replace the entries of their dates and the demo entries of "
      "their years. A file with any problem imports nothing.");
  AddDatabaseArgument(*import, &args->db);
  import->add_option("FILE", args->file, "The CSV or iCalendar file")->required();
  Guard(import, args, exit_code, RunImport);

  CLI::App* list = cmd->add_subcommand(
      "list", "List the calendar by date: 'off' or 'work', the name, '(demo)' for demo entries.");
  AddDatabaseArgument(*list, &args->db);
  list->add_option("YEAR", args->year, "Only this year")->check(CLI::Range(100, 9999));
  Guard(list, args, exit_code, RunList);
}

}  // namespace ostrand::cli
