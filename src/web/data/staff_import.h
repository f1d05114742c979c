// Importing and exporting the staff (plans/staff_file.h): `ostrand persons
// import|export` and the administration's import page and download.
//
// How a record of the file is matched:
//   number  the person of that id is changed; a number of no person is
//           refused (a new person gets a new id, never one of the file);
//   name    without a number: the one person of that name is changed, a
//           name of nobody adds a person, a name of several is refused;
//           with a number it is the person's new name (checked as the
//           registry checks names, person_registry.h);
//   department, duty  an id, else a name (one department or duty of that
//           name; several are refused); empty keeps what the person has,
//           and a new person needs both.
// A person (or a new name) on two records is refused on the second.
// Each record is an add, a change, unchanged or refused with a reason.
// The import writes only a file without a refused record, all of it in one
// transaction: a file is stored whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plans/staff_file.h"
#include "store/connection.h"

namespace ostrand::web {

enum class StaffAction { kAdd, kChange, kUnchanged, kRefused };

// Why a record is refused; the values of StaffEntry::values are given.
enum class StaffRefusal {
  kNone,
  kFileProblem,          // the CSV reader's reason (StaffEntry::reason)
  kBadNumber,            // {0} the number's text
  kNoSuchPerson,         // {0} the number
  kNoNumberOrName,       //
  kBadName,              // {0} the name (CheckedPersonName's rules)
  kSeveralNamed,         // {0} how many, {1} the name
  kNameAddedBefore,      // {0} the line that adds the name
  kPersonOnEarlierLine,  // {0} the person's number, {1} the earlier line
  kNoSuchDepartment,     // {0} the text
  kSeveralDepartments,   // {0} how many, {1} the text
  kNoSuchDuty,           // {0} the text
  kSeveralDuties,        // {0} how many, {1} the text
  kNeedsDepartment,      // (a new person, or one without a department)
  kNeedsDuty,            //
};

struct StaffEntry {
  int line = 0;
  StaffAction action = StaffAction::kRefused;
  std::int64_t person_id = 0;  // the person; a new person's once written, else 0
  std::string name;            // the person's name after the import
  std::int64_t department_id = 0;
  std::int64_t duty_id = 0;
  // In English: kRefused: why; kChange: what changes ("name 李四 → 李思").
  std::string reason;
  StaffRefusal refusal = StaffRefusal::kNone;
  std::vector<std::string> values;  // of the refusal
  bool name_changed = false;        // kChange: what changes
  bool department_changed = false;
  bool duty_changed = false;
};

struct StaffImportReport {
  std::vector<StaffEntry> entries;  // by line, the file's problems included
  std::size_t added = 0;
  std::size_t changed = 0;
  std::size_t unchanged = 0;
  std::size_t refused = 0;
  bool written = false;  // the adds and changes are stored
};

// Matches the `file` against the database; with `apply` and no refused
// record, stores the adds and changes in one transaction, calling `within`
// (the audit record) inside it with the report. Throws the database's
// Error (nothing is then written).
StaffImportReport ImportStaff(store::Connection& db, const plans::StaffFile& file, bool apply,
                              const std::function<void(const StaffImportReport&)>& within = {});

// Every person as a staff file record: number, name, department and duty
// by name (by id when it has no name), when retired; in the list's order
// (SearchPersons), retired persons included.
std::vector<plans::StaffRecord> StaffRecords(store::Connection& db);

}  // namespace ostrand::web
