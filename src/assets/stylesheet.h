// The component's stylesheet: a style element with the class rules of the
// host pages' own markup (tables, menus, page bars, titles, labels, input
// fields). The day-cell classes of the views are left to the host pages.
#pragma once

#include <string_view>

#include "core/value.h"

namespace ostrand::assets {

// The stylesheet: sixteen lines, each ended by CR LF.
std::string_view Stylesheet();

// Whether nType asks for the stylesheet: a value that reads as the number 1
// (1, 1.0, the text "1" or " 1 ") or compares equal to the empty text (the
// empty value, the empty text). Null, other numbers and any other text
// (such as "abc") do not; no value is an error.
bool SelectsStylesheet(const Value& nType);

// What SetDispStyle writes for nType: the stylesheet, or the empty text.
std::string_view StyleTextFor(const Value& nType);

}  // namespace ostrand::assets
