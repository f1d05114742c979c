// The staff file as CSV (exports/csv.h): a heading record naming the
// columns, then one person a record. The columns, in any order, each
// named in Chinese or English (ASCII case ignored):
//   编号 / number   the person's id (personID);
//   姓名 / name     the person's name;
//   部门 / department  the department's id (systemID) or name;
//   职务 / duty     the duty's id or name;
//   离职 / retired  when the person retired: written by the export,
//                   ignored by the import.
// 编号 or 姓名 must be there; an unknown or repeated column refuses the
// whole file. A record with more fields than the heading is reported and
// skipped; missing fields read as empty; a record of empty fields gives
// nothing. Fields are read without the blanks around them. Never throws.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "plans/staff_file.h"

namespace ostrand::exports {

// The records of `text` (a byte order mark is skipped), with the file's
// problems; a file whose heading does not read gives one problem at its
// line and no record.
plans::StaffFile ReadStaffCsv(std::string_view text);

// The staff file of `records` (number, name, department, duty, retired,
// under the Chinese headings), with a byte order mark, which ReadStaffCsv
// reads back as it was.
std::string WriteStaffCsv(const std::vector<plans::StaffRecord>& records);

}  // namespace ostrand::exports
