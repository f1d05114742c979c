#include "web/auth/app_passwords.h"

#include <sodium.h>

#include <array>

#include "core/error.h"
#include "core/sodium_start.h"
#include "core/text.h"
#include "core/utf8.h"
#include "web/auth/personal_tokens.h"
#include "web/data/app_passwords_table.h"
#include "web/data/person_registry.h"
#include "web/data/persons.h"

namespace ostrand::web {
namespace {

// 32 letters and digits without the look-alikes l, o, 0 and 1: five bits a
// character.
constexpr std::string_view kAlphabet = "abcdefghijkmnpqrstuvwxyz23456789";
static_assert(kAlphabet.size() == 32);
constexpr std::size_t kGroup = 4;

std::int64_t SecondsOf(const DateTime& t) { return t.day() * 86400 + t.seconds(); }

std::string CheckedName(std::string_view name) {
  const std::string_view trimmed = TrimWhitespace(name);
  if (!IsValidUtf8(trimmed) || HasControlCharacter(trimmed) ||
      trimmed.find('\t') != std::string_view::npos) {
    throw Error("the name of an app password must be one line of text", ErrorKind::kBadInput);
  }
  if (CountCharacters(trimmed) > kAppPasswordNameLimit) {
    throw Error("the name of an app password has at most " +
                    std::to_string(kAppPasswordNameLimit) + " characters",
                ErrorKind::kBadInput);
  }
  return std::string(trimmed);
}

// The first of "calendar", "calendar 2", ... that the person has not used.
std::string DefaultName(store::Connection& db, std::int64_t person_id) {
  for (int n = 1;; ++n) {
    std::string name = n == 1 ? "calendar" : "calendar " + std::to_string(n);
    if (!HasAppPasswordNamed(db, person_id, name)) return name;
  }
}

}  // namespace

std::string NewAppPasswordText() {
  StartSodium();
  std::array<unsigned char, kAppPasswordBytes> bytes{};
  randombytes_buf(bytes.data(), bytes.size());
  std::string characters;
  unsigned bits = 0;
  int held = 0;
  for (const unsigned char byte : bytes) {
    bits = (bits << 8) | byte;
    held += 8;
    while (held >= 5) {
      held -= 5;
      characters += kAlphabet[(bits >> held) & 31U];
    }
  }
  if (held > 0) characters += kAlphabet[(bits << (5 - held)) & 31U];
  sodium_memzero(bytes.data(), bytes.size());
  std::string password;
  for (std::size_t i = 0; i < characters.size(); ++i) {
    if (i > 0 && i % kGroup == 0) password += '-';
    password += characters[i];
  }
  return password;
}

std::optional<std::string> NormalAppPassword(std::string_view typed) {
  std::string normal;
  for (const char c : typed) {
    if (c == '-' || c == ' ') continue;
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (kAlphabet.find(lower) == std::string_view::npos) return std::nullopt;
    normal += lower;
    if (normal.size() > kAppPasswordLength) return std::nullopt;
  }
  if (normal.size() != kAppPasswordLength) return std::nullopt;
  return normal;
}

std::string AppPasswordName(store::Connection& db, std::int64_t person_id, std::string_view name) {
  std::string checked = CheckedName(name);
  return checked.empty() ? DefaultName(db, person_id) : checked;
}

std::string CreateAppPassword(store::Connection& db, std::int64_t person_id, std::string_view name,
                              const DateTime& now) {
  std::string checked = CheckedName(name);
  if (!FindPerson(db, person_id)) {
    throw Error("no person with id " + std::to_string(person_id), ErrorKind::kNotFound);
  }
  if (RetiredAt(db, person_id)) {
    throw Error("person " + std::to_string(person_id) + " has retired", ErrorKind::kForbidden);
  }
  if (checked.empty()) checked = DefaultName(db, person_id);
  std::string password = NewAppPasswordText();
  if (!InsertAppPassword(db, person_id, checked, TokenHash(*NormalAppPassword(password)), now)) {
    throw Error("person " + std::to_string(person_id) + " has an app password named '" + checked +
                    "' already",
                ErrorKind::kConflict);
  }
  return password;
}

std::vector<AppPasswordInfo> ListAppPasswords(store::Connection& db, std::int64_t person_id) {
  std::vector<AppPasswordInfo> list;
  for (StoredAppPassword& stored : ListStoredAppPasswords(db, person_id)) {
    list.push_back({std::move(stored.name), stored.created_at.value_or(DateTime::Earliest()),
                    stored.last_used});
  }
  return list;
}

bool RevokeAppPassword(store::Connection& db, std::int64_t person_id, std::string_view name) {
  return RemoveAppPassword(db, person_id, TrimWhitespace(name));
}

bool CheckAppPassword(store::Connection& db, std::int64_t person_id, std::string_view password,
                      const DateTime& now) {
  const std::optional<std::string> normal = NormalAppPassword(password);
  if (!normal) return false;
  const std::string hash = TokenHash(*normal);
  const std::optional<AppPasswordHolder> holder = FindAppPasswordHolder(db, hash);
  if (!holder || holder->person_id != person_id) return false;
  const std::int64_t since =
      holder->last_used ? SecondsOf(now) - SecondsOf(*holder->last_used) : kAppPasswordUseInterval;
  if (since >= kAppPasswordUseInterval || since < 0) TouchAppPassword(db, hash, now);
  return true;
}

}  // namespace ostrand::web
