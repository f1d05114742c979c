#include "web/data/person_filter.h"

namespace ostrand::web {

void AppendPersonFilter(const PersonFilter& filter, std::string& where,
                        std::vector<store::SqlParam>& params) {
  if (!filter.name_part.empty()) {
    // '!' escapes the pattern's own characters, on every engine.
    std::string pattern = "%";
    for (const char c : filter.name_part) {
      if (c == '%' || c == '_' || c == '!' || c == '[') pattern += '!';
      pattern += c;
    }
    pattern += '%';
    where += " AND LOWER(person.personName) LIKE LOWER(?) ESCAPE '!'";
    params.push_back(store::SqlParam::Text(std::move(pattern)));
  }
  if (filter.duty_id) {
    where += " AND person.dutyID = ?";
    params.push_back(store::SqlParam::Integer(*filter.duty_id));
  }
}

}  // namespace ostrand::web
