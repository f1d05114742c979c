// Small text helpers shared by the renderers.
#pragma once

#include <string_view>

namespace ostrand {

// The text without leading and trailing blanks (ASCII spaces only, as the
// host's trim does; tabs and line breaks stay).
inline std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace ostrand
