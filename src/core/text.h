// Small text helpers shared across the library: blank trimming and ASCII
// case-insensitive comparison (member names, column names, SQL keywords and
// connection strings are compared without regard to ASCII case; other bytes,
// UTF-8 included, compare exactly).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace ostrand {

// The text without leading and trailing blanks (ASCII spaces only, as the
// host's trim does; tabs and line breaks stay).
inline std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The text without leading and trailing spaces, tabs and line breaks.
inline std::string_view TrimWhitespace(std::string_view s) {
  const auto is_space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return s;
}

// The items of a list between `separator`s, each as it stands (untrimmed,
// empty ones kept): "a, ,b" gives "a", " ", "b"; "" gives one empty item.
// The views point into `list`.
inline std::vector<std::string_view> SplitList(std::string_view list, char separator) {
  std::vector<std::string_view> items;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = list.find(separator, start);
    if (end == std::string_view::npos) {
      items.push_back(list.substr(start));
      return items;
    }
    items.push_back(list.substr(start, end - start));
    start = end + 1;
  }
}

inline char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

inline bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

inline bool ContainsNoCase(std::string_view text, std::string_view part) {
  for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
    if (StartsWithNoCase(text.substr(i), part)) return true;
  }
  return false;
}

}  // namespace ostrand
