// What a password that a person chooses must be: at least
// kShortestPassword characters, not the person's own name or number, and
// not among the most common passwords (the list compiled in from
// common_passwords.txt, compared without regard to ASCII case). Checked
// before the password is hashed, on the text as typed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrand::web {

inline constexpr std::size_t kShortestPassword = 10;

enum class PasswordProblem {
  kTooShort,      // fewer than kShortestPassword characters (not bytes)
  kNameOrNumber,  // the person's name or number
  kTooCommon,     // among the most common passwords
};

// What is wrong with `password` as the new password of person `person_id`
// named `name`; nothing when it may be used. Never throws.
std::optional<PasswordProblem> JudgeNewPassword(std::string_view password, std::int64_t person_id,
                                                std::string_view name);

// Whether the text is on the list of common passwords (ASCII case
// ignored). The list is read once, at the first call; thread-safe.
bool IsCommonPassword(std::string_view password);

// The list as compiled in (generated from common_passwords.txt).
std::string_view CommonPasswordList();

}  // namespace ostrand::web
