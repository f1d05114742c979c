// Importing plans read from a file (a calendar file or a CSV, see
// plans/plan_import.h) into one person's schedule, for `ostrand
// import-plans`. Every plan of the file is either added whole or skipped
// with a reason; the plans to add are written in one transaction, so that
// a failure writes nothing.
//
// How a read plan becomes a stored one:
//   kind of place  the planAddrType of that name; a plan that names none
//                  takes the kind of its place;
//   place          the planAddr of that name (of the plan's kind when
//                  several bear the name); a plan that names none takes
//                  the default place when one is given, else the first
//                  place of its kind;
//   person         a file that names a row's person (a spreadsheet grid)
//                  adds only the rows of the person's own name.
// Texts keep the day editor's rules: a plan whose text holds a control
// character or is no UTF-8 is skipped; line breaks are replaced by spaces
// (the readers do it), and the entry says in which fields.
// Skipped, each with a reason: rows of another person, an unknown kind or
// place, a plan covering more days than allowed, a plan the person already
// has (same times, place and texts) or that an earlier line of the file
// gave, and a plan that would make one of its days hold more plans than
// allowed (the day editor's limits).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plans/plan_import.h"
#include "store/connection.h"

namespace ostrand::web {

struct ImportSettings {
  std::int64_t person_id = 0;
  // The place of plans that name none (a planAddr name).
  std::optional<std::string> default_place;
  // The day editor's limits (ServerOptions has the same defaults).
  std::size_t max_plans_per_day = 20;
  std::int64_t max_plan_days = 366;
  // False: a dry run, which reports without writing.
  bool apply = false;
};

struct ImportEntry {
  int line = 0;        // the file's line
  std::string plan;    // "2001-12-05 09:00 – 2001-12-05 17:30 本单位 三层会议室 例会"
  std::string reason;  // why it was skipped; empty for a plan added
  // What the reader changed for the plan to keep the editor's rules
  // ("line breaks in content replaced by spaces"); empty when nothing.
  std::string changed;
};

struct ImportReport {
  std::string person_name;
  std::vector<ImportEntry> added;
  std::vector<ImportEntry> skipped;  // the file's own problems too
  bool written = false;              // the added plans are stored
};

// Matches the plans `read` from a file against the database and, with
// settings.apply, stores those to add. Throws Error naming the id when
// there is no such person, naming the place when the default place does
// not exist, and the database's Error (nothing is then written).
ImportReport ImportPlans(store::Connection& db, const plans::ImportResult& read,
                         const ImportSettings& settings);

}  // namespace ostrand::web
