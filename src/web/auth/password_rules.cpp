#include "web/auth/password_rules.h"

#include <string>
#include <unordered_set>

#include "core/text.h"
#include "core/utf8.h"

namespace ostrand::web {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

// Characters, counting a byte that is no UTF-8 as one.
std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  while (!text.empty()) {
    const std::size_t length = Utf8SequenceLength(text);
    text.remove_prefix(length == 0 ? 1 : length);
    ++count;
  }
  return count;
}

const std::unordered_set<std::string_view>& CommonPasswords() {
  static const std::unordered_set<std::string_view> set = [] {
    std::unordered_set<std::string_view> words;
    words.reserve(12000);
    for (const std::string_view line : SplitList(CommonPasswordList(), '\n')) {
      if (!line.empty() && line.front() != '#') words.insert(line);
    }
    return words;
  }();
  return set;
}

}  // namespace

bool IsCommonPassword(std::string_view password) {
  return CommonPasswords().contains(Lower(password));
}

std::optional<PasswordProblem> JudgeNewPassword(std::string_view password, std::int64_t person_id,
                                                std::string_view name) {
  if (CharacterCount(password) < kShortestPassword) return PasswordProblem::kTooShort;
  const std::string_view trimmed = TrimBlanks(password);
  const std::optional<std::int64_t> number = ReadWholeNumber(trimmed, INT64_MAX);
  if ((!TrimBlanks(name).empty() && EqualsNoCase(trimmed, TrimBlanks(name))) ||
      (number && *number == person_id)) {
    return PasswordProblem::kNameOrNumber;
  }
  if (IsCommonPassword(password)) return PasswordProblem::kTooCommon;
  return std::nullopt;
}

}  // namespace ostrand::web
