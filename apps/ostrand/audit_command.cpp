// `ostrand audit --db CONN [--person ID] [--kind K] [--since DATE] [--csv]`:
// prints the audit log, newest first: one line per record with its fields
// separated by tabs (time in UTC, kind, who, whom, detail, address), or with
// --csv the download of /admin/audit in English.
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "core/date_text.h"
#include "core/error.h"
#include "store/connect.h"
#include "store/schema.h"
#include "web/admin/audit_page.h"
#include "web/data/audit_log.h"

namespace ostrand::cli {
namespace {

struct AuditArguments {
  std::string db;
  std::optional<std::int64_t> person;
  std::string kind;
  std::string since;
  bool csv = false;
};

// The records read from the database at a time.
constexpr std::int64_t kBatch = 1000;

// A stored text on one line of the terminal: no control character, no tab
// or line break, whoever wrote it.
std::string OneLine(std::string_view text) { return web::ShortDetail(text, text.size()); }

std::string PersonField(const std::optional<std::int64_t>& id, const std::string& name) {
  if (!id) return "-";
  return name.empty() ? std::to_string(*id) : std::to_string(*id) + " " + OneLine(name);
}

int RunAudit(const AuditArguments& args) {
  web::AuditFilter filter;
  if (args.person) filter.persons.push_back(*args.person);
  if (!args.kind.empty()) {
    if (!web::IsAuditKind(args.kind)) {
      throw Error("--kind '" + OneLine(args.kind) + "' is none of the kinds of the log (" +
                  web::AuditKindList() + ")");
    }
    filter.kind = args.kind;
  }
  if (!args.since.empty()) {
    filter.from = DateTime::Parse(args.since);
    if (!filter.from) throw Error("--since '" + OneLine(args.since) + "' is no date (YYYY-MM-DD)");
  }
  const std::unique_ptr<store::Connection> db = store::Connect(args.db);
  store::CheckSchema(*db);
  std::vector<web::StoredAudit> records;
  for (std::int64_t skip = 0;; skip += kBatch) {
    std::vector<web::StoredAudit> batch = web::ListAudit(*db, filter, skip, kBatch);
    std::move(batch.begin(), batch.end(), std::back_inserter(records));
    if (static_cast<std::int64_t>(batch.size()) < kBatch) break;
  }
  if (args.csv) {
    std::cout << web::AuditCsv(web::Language::kEnglish, records);
    return 0;
  }
  for (const web::StoredAudit& stored : records) {
    const web::AuditRecord& r = stored.record;
    std::cout << DateTimeText(r.at) << "\t" << OneLine(r.kind) << "\t"
              << PersonField(r.actor, stored.actor_name) << "\t"
              << PersonField(r.subject, stored.subject_name) << "\t" << OneLine(r.detail) << "\t"
              << OneLine(r.address) << "\n";
  }
  std::cerr << "ostrand: " << records.size() << " records (times in UTC)\n";
  return 0;
}

}  // namespace

void AddAuditCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<AuditArguments>();
  CLI::App* cmd = app.add_subcommand(
      "audit",
      "Print the audit log, newest first: every administration action, sign-in, failed sign-in, "
      "sign-out, password and token change, with who, whom and from which address.");
  AddDatabaseOption(*cmd, &args->db);
  cmd->add_option("--person", args->person, "Only the records of this person, as actor or subject");
  cmd->add_option("--kind", args->kind, "Only the records of this kind (e.g. sign-in-failed)");
  cmd->add_option("--since", args->since, "Only the records of this day (YYYY-MM-DD, UTC) and later");
  cmd->add_flag("--csv", args->csv, "Print CSV, as /admin/audit downloads it");
  cmd->callback([args, exit_code] {
    try {
      *exit_code = RunAudit(*args);
    } catch (const std::exception& e) {
      std::cerr << "ostrand: " << e.what() << "\n";
      *exit_code = 1;
    }
  });
}

}  // namespace ostrand::cli
