// CSV as RFC 4180 has it, for spreadsheet programs: fields separated by ",",
// records ended by CR LF, a field in double quotes when it holds a comma, a
// quote or a line break (a quote inside doubled). Files begin with the UTF-8
// byte order mark, so that spreadsheet programs read the Chinese text as
// UTF-8.
//
// A field that a spreadsheet program would take for a formula (one that
// begins with "=", "+", "-", "@", a tab or a CR) gets an apostrophe in
// front, and so does one that begins with an apostrophe; ParseCsv takes it
// off again, so a field comes back as it was written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ostrand::exports {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Appends one record: the fields, guarded and quoted as needed, joined by
// "," and ended by CR LF.
void AppendCsvRecord(std::string& out, const std::vector<std::string>& fields);

struct CsvRecord {
  int line = 0;  // 1-based line where the record begins
  std::vector<std::string> fields;
};

struct CsvProblem {
  int line = 0;
  std::string reason;
};

struct CsvText {
  std::vector<CsvRecord> records;  // blank lines give none
  std::vector<CsvProblem> problems;
};

// The records of `text` (a leading byte order mark is skipped; records end
// in CR LF or LF; a line break inside quotes becomes LF). A record with a
// quote inside an unquoted field or text after a closing quote is reported
// and skipped; a quote left open reports its line and ends the reading.
// Never throws.
CsvText ParseCsv(std::string_view text);

}  // namespace ostrand::exports
