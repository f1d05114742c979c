#include "exports/staff_csv.h"

#include <array>
#include <optional>

#include "core/text.h"
#include "exports/csv.h"

namespace ostrand::exports {
namespace {

enum Column { kNumber, kName, kDepartment, kDuty, kRetired, kColumnCount };

struct Heading {
  std::string_view chinese;
  std::string_view english;
};
constexpr std::array<Heading, kColumnCount> kHeadings{{
    {"编号", "number"},
    {"姓名", "name"},
    {"部门", "department"},
    {"职务", "duty"},
    {"离职", "retired"},
}};

std::optional<Column> ColumnOf(std::string_view heading) {
  for (std::size_t i = 0; i < kHeadings.size(); ++i) {
    if (heading == kHeadings[i].chinese || EqualsNoCase(heading, kHeadings[i].english)) {
      return static_cast<Column>(i);
    }
  }
  return std::nullopt;
}

// A heading as a message quotes it: short, on one line.
std::string Shown(std::string_view text) {
  std::string out(text.substr(0, 40));
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return out;
}

}  // namespace

plans::StaffFile ReadStaffCsv(std::string_view text) {
  CsvText csv = ParseCsv(text);
  plans::StaffFile file;
  for (CsvProblem& p : csv.problems) file.problems.push_back({p.line, std::move(p.reason)});
  if (csv.records.empty()) {
    if (file.problems.empty()) file.problems.push_back({1, "the file holds no records"});
    return file;
  }
  const CsvRecord& heading = csv.records.front();
  std::array<int, kColumnCount> column{};
  column.fill(-1);
  for (std::size_t i = 0; i < heading.fields.size(); ++i) {
    const std::string_view name = TrimWhitespace(heading.fields[i]);
    const std::optional<Column> known = ColumnOf(name);
    std::string problem;
    if (!known) {
      problem = "unknown column '" + Shown(name) + "'";
    } else if (column[*known] >= 0) {
      problem = "column '" + Shown(name) + "' appears twice";
    } else {
      column[*known] = static_cast<int>(i);
      continue;
    }
    file.problems.insert(file.problems.begin(),
                         {heading.line, problem + " (the columns are 编号 or 姓名, 部门, 职务)"});
    return file;
  }
  if (column[kNumber] < 0 && column[kName] < 0) {
    file.problems.insert(file.problems.begin(),
                         {heading.line, "the heading names neither 编号 (number) nor 姓名 (name)"});
    return file;
  }
  for (std::size_t r = 1; r < csv.records.size(); ++r) {
    const CsvRecord& record = csv.records[r];
    if (record.fields.size() > heading.fields.size()) {
      file.problems.push_back({record.line, "more fields than the heading has columns"});
      continue;
    }
    const auto field = [&](Column c) {
      const int at = column[c];
      if (at < 0 || static_cast<std::size_t>(at) >= record.fields.size()) return std::string();
      return std::string(TrimWhitespace(record.fields[static_cast<std::size_t>(at)]));
    };
    plans::StaffRecord staff{record.line,       field(kNumber), field(kName),
                             field(kDepartment), field(kDuty),   field(kRetired)};
    if (staff.number.empty() && staff.name.empty() && staff.department.empty() &&
        staff.duty.empty() && staff.retired.empty()) {
      continue;
    }
    file.records.push_back(std::move(staff));
  }
  return file;
}

std::string WriteStaffCsv(const std::vector<plans::StaffRecord>& records) {
  std::string out(kUtf8Bom);
  std::vector<std::string> fields;
  for (const Heading& heading : kHeadings) fields.emplace_back(heading.chinese);
  AppendCsvRecord(out, fields);
  for (const plans::StaffRecord& r : records) {
    AppendCsvRecord(out, {r.number, r.name, r.department, r.duty, r.retired});
  }
  return out;
}

}  // namespace ostrand::exports
