// The staff file: one person a record, as the staff import reads it and
// the export writes it (exports/staff_csv.h). The texts are as the file
// has them; the import (web/data/staff_import.h) matches them.
#pragma once

#include <string>
#include <vector>

#include "plans/plan_import.h"

namespace ostrand::plans {

struct StaffRecord {
  int line = 0;            // 1-based line of the file where the record begins
  std::string number;      // the person's id; empty: the person is found by name
  std::string name;        // empty: the name stays as it is
  std::string department;  // a department's id or name; empty: stays as it is
  std::string duty;        // a duty's id or name; empty: stays as it is
  std::string retired;     // written only: when the person retired, empty for current staff
};

struct StaffFile {
  std::vector<StaffRecord> records;     // in the order of the file
  std::vector<ImportProblem> problems;  // records that could not be read
};

}  // namespace ostrand::plans
