// The kind of place of a plan (its Type1ID) as the renderers classify it:
// 2 Beijing, 3 outside Beijing, 4 abroad, and everything else (1, null, any
// other value) the office; and the marker of each kind in the leader month
// summary.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/value.h"

namespace ostrand::plans {

// 2, 3 or 4 when type1_id reads as exactly that number; 1 otherwise (null,
// empty, text that is no number and other numbers included). Never throws.
inline int PlaceKind(const Value& type1_id) {
  if (type1_id.is_null() || !type1_id.ReadsAsNumber()) return 1;
  const double n = type1_id.ToNumber();
  if (n == 2) return 2;
  if (n == 3) return 3;
  if (n == 4) return 4;
  return 1;
}

// The kinds of place away from the office (Beijing, outside Beijing,
// abroad): the page of who is away, its mails and its webhook list count
// these.
inline constexpr std::array<std::int64_t, 3> kAwayPlaceKinds = {2, 3, 4};

// The marker of kind 1 to 4: "△" office, "◇" Beijing, "▲" outside Beijing,
// "◆" abroad; the empty text for any other number.
constexpr std::string_view PlaceMarker(int kind) {
  switch (kind) {
    case 1:
      return "△";
    case 2:
      return "◇";
    case 3:
      return "▲";
    case 4:
      return "◆";
    default:
      return {};
  }
}

}  // namespace ostrand::plans
