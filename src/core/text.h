// Small text helpers shared across the library: trimming, splitting, the
// one reader of whole numbers in outside text, and ASCII case-insensitive
// comparison (member names, column names, SQL keywords and
// connection strings are compared without regard to ASCII case; other bytes,
// UTF-8 included, compare exactly).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
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

// The text without leading and trailing spaces and tabs: the optional
// white space around HTTP header values and their list items.
inline std::string_view TrimSpacesAndTabs(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The one reader of whole numbers in text from outside (query values, form
// fields, headers, cookies, configuration, command lines): decimal digits
// only, no sign or blank, leading zeros allowed; the number when it lies
// within 0..max, nothing for anything else (empty text included). Text of
// any length is read without overflow: the value is compared with `max`
// before each digit is added. `max` must not be negative.
inline std::optional<std::int64_t> ReadWholeNumber(std::string_view text, std::int64_t max) {
  if (text.empty() || max < 0) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (digit > max || value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

// As ReadWholeNumber, but digits that make a number above `max` read as
// `max`: for sizes and offsets where any larger number means "beyond the
// end". Nothing for empty text or any byte that is not a digit.
inline std::optional<std::int64_t> ReadWholeNumberUpTo(std::string_view text, std::int64_t max) {
  if (text.empty() || max < 0 || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return ReadWholeNumber(text, max).value_or(max);
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
