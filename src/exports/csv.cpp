#include "exports/csv.h"

namespace ostrand::exports {
namespace {

bool StartsFormula(char c) {
  return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

bool NeedsGuard(std::string_view field) {
  return !field.empty() && (StartsFormula(field[0]) || field[0] == '\'');
}

void AppendField(std::string& out, std::string_view field) {
  const bool guard = NeedsGuard(field);
  const bool quote = field.find_first_of(",\"\r\n") != std::string_view::npos;
  if (quote) out += '"';
  if (guard) out += '\'';
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  if (quote) out += '"';
}

// The field as it was before AppendField guarded it.
std::string Unguarded(std::string field) {
  if (field.size() >= 2 && field[0] == '\'' && NeedsGuard(std::string_view(field).substr(1))) {
    field.erase(0, 1);
  }
  return field;
}

}  // namespace

void AppendCsvRecord(std::string& out, const std::vector<std::string>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    AppendField(out, fields[i]);
  }
  out += "\r\n";
}

CsvText ParseCsv(std::string_view text) {
  CsvText result;
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  std::size_t pos = 0;
  int line = 1;
  const auto at_end_of_record = [&] {
    return pos >= text.size() || text[pos] == '\n' ||
           (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ||
           (text[pos] == '\r' && pos + 1 == text.size());
  };
  // Moves past the line break that ends a record, if any.
  const auto skip_break = [&] {
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
    ++line;
  };
  // Moves to the start of the next physical line (after a broken record).
  const auto skip_line = [&] {
    while (pos < text.size() && text[pos] != '\n') ++pos;
    if (pos < text.size()) ++pos;
    ++line;
  };

  while (pos < text.size()) {
    CsvRecord record;
    record.line = line;
    std::string reason;
    while (true) {
      std::string field;
      if (pos < text.size() && text[pos] == '"') {
        const int opened = line;
        ++pos;
        bool closed = false;
        while (pos < text.size()) {
          const char c = text[pos++];
          if (c == '"') {
            if (pos < text.size() && text[pos] == '"') {
              field += '"';
              ++pos;
            } else {
              closed = true;
              break;
            }
          } else if (c == '\r' && pos < text.size() && text[pos] == '\n') {
            continue;  // CR LF inside quotes becomes LF
          } else {
            if (c == '\n') ++line;
            field += c;
          }
        }
        if (!closed) {
          result.problems.push_back({opened, "a quoted field is not closed"});
          return result;
        }
        if (!at_end_of_record() && text[pos] != ',') {
          reason = "text after the closing quote of a field";
        }
      } else {
        while (!at_end_of_record() && text[pos] != ',') {
          if (text[pos] == '"') reason = "a quote inside a field that does not begin with one";
          field += text[pos++];
        }
      }
      record.fields.push_back(Unguarded(std::move(field)));
      if (!reason.empty() || at_end_of_record()) break;
      ++pos;  // the comma
    }
    if (!reason.empty()) {
      result.problems.push_back({record.line, reason});
      skip_line();
      continue;
    }
    skip_break();
    const bool blank = record.fields.size() == 1 && record.fields[0].empty();
    if (!blank) result.records.push_back(std::move(record));
  }
  return result;
}

}  // namespace ostrand::exports
