// What a visitor narrows a long list of persons to: a part of the name and
// a duty. One definition of the SQL that applies it, shared by the
// administration's list, the leader summary over months and who is away,
// so that a filter means the same on every list and every engine.
//
// The part of the name matches anywhere in person.personName, ignoring the
// case of Latin letters (LOWER of both sides, so that each engine folds
// the stored name and the typed part alike); other characters, Chinese
// ones among them, match exactly. The pattern's own characters (% _ [ and
// the escape !) match only themselves. Values are bound, never spliced.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/sql_param.h"

namespace ostrand::web {

struct PersonFilter {
  std::string name_part;                // empty: any name
  std::optional<std::int64_t> duty_id;  // nothing: any duty

  bool empty() const { return name_part.empty() && !duty_id; }
  bool operator==(const PersonFilter&) const = default;
};

// Appends " AND ..." for each part of `filter` to `where`, over the
// columns person.personName and person.dutyID, and its values to
// `params` in the order of the placeholders. Nothing for an empty filter.
void AppendPersonFilter(const PersonFilter& filter, std::string& where,
                        std::vector<store::SqlParam>& params);

}  // namespace ostrand::web
