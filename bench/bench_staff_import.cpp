// The staff import of 5,000 persons on SQLite: a staff file of 5,000 new
// persons (in ten departments, by name) read and imported in one
// transaction into a fresh database file, as `ostrand persons import`
// does, then the same file again (every record unchanged), and the export
// of all of them. Prints each time; target: the import under 10 s.
//
//   bench_staff_import [--persons N]
//
// Exit status 1 when the target is missed.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "exports/csv.h"
#include "exports/staff_csv.h"
#include "store/connect.h"
#include "store/schema.h"
#include "web/data/staff_import.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  int persons = 5000;
  if (argc == 3 && std::string(argv[1]) == "--persons") persons = std::atoi(argv[2]);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("bench_staff_import." + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "staff.db").string();
  int status = 0;
  try {
    ostrand::store::CreateSqliteDatabase(path);
    const std::unique_ptr<ostrand::store::Connection> db = ostrand::store::Connect("sqlite:" + path);
    ostrand::store::CheckSchema(*db);
    db->ExecuteScript(
        "INSERT INTO personDuty VALUES (1, '局长'), (2, '处长'), (4, '科员');"
        "INSERT INTO hostDepartment (systemID, departmentName) VALUES (1, '一处'), (2, '二处'),"
        "(3, '三处'), (4, '四处'), (5, '五处'), (6, '六处'), (7, '七处'), (8, '八处'),"
        "(9, '九处'), (10, '十处')");
    std::string csv(ostrand::exports::kUtf8Bom);
    csv += "姓名,部门,职务\r\n";
    for (int i = 0; i < persons; ++i) {
      ostrand::exports::AppendCsvRecord(
          csv, {"同事" + std::to_string(i), std::to_string(i % 10 + 1), i % 50 == 0 ? "处长" : "科员"});
    }

    Clock::time_point start = Clock::now();
    const ostrand::web::StaffImportReport first =
        ostrand::web::ImportStaff(*db, ostrand::exports::ReadStaffCsv(csv), true);
    const double import_seconds = SecondsSince(start);
    if (!first.written || first.added != static_cast<std::size_t>(persons)) {
      std::fprintf(stderr, "the import wrote %zu of %d persons\n", first.added, persons);
      status = 1;
    }

    start = Clock::now();
    const std::string exported =
        ostrand::exports::WriteStaffCsv(ostrand::web::StaffRecords(*db));
    const double export_seconds = SecondsSince(start);

    start = Clock::now();
    const ostrand::web::StaffImportReport again =
        ostrand::web::ImportStaff(*db, ostrand::exports::ReadStaffCsv(exported), true);
    const double again_seconds = SecondsSince(start);
    if (again.unchanged != static_cast<std::size_t>(persons)) status = 1;

    std::printf("import of %d new persons: %.2f s (target < 10 s)\n", persons, import_seconds);
    std::printf("export of %d persons: %.2f s; its import again (all unchanged): %.2f s\n",
                persons, export_seconds, again_seconds);
    if (import_seconds >= 10) status = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_staff_import: %s\n", e.what());
    status = 1;
  }
  std::filesystem::remove_all(dir);
  return status;
}
