// App passwords: what calendar programs sign in with over CalDAV (HTTP
// Basic, the person's number as the user name). A person makes one per
// program on the subscribe page or with `ostrand app-password`, names it,
// sees it once, and revokes it by name. Only a SHA-256 hash is stored
// (hostAppPassword): the password is random and long (kAppPasswordBytes of
// entropy), so a fast hash is as safe as a slow one and a check needs no
// hash pool. A sign-in password is never accepted where an app password
// is asked for, nor the other way round.
//
// The text is kAppPasswordLength characters of lower-case letters and
// digits without look-alikes (no l, o, 0, 1), in groups of four joined by
// "-" so that it can be typed on a phone. A typed one is read without
// regard to case, dashes and blanks (NormalAppPassword), which is also the
// form that is hashed.
//
// Guessing: CheckAppPassword only compares. The CalDAV server counts every
// check in the sign-in throttle, against the same account as the web
// sign-in (PersonAccountKey of the person the user name names) and the
// client's address: it calls SignInGate::CheckCode with a check that runs
// CheckAppPassword, so that guesses here and at the sign-in form hold each
// other back, and an administrator's lift frees both. (A program sends the
// password with every request, several at once: the throttle's limits of
// attempts in flight apply to those too.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

// The randomness of an app password, in bytes.
inline constexpr std::size_t kAppPasswordBytes = 16;
// The length of an app password without its dashes: five bits a character.
inline constexpr std::size_t kAppPasswordLength = (kAppPasswordBytes * 8 + 4) / 5;
// The longest name of an app password, in characters.
inline constexpr std::size_t kAppPasswordNameLimit = 100;
// The last use of a password is written at most once in this many seconds,
// so that a calendar program's burst of requests costs one write.
inline constexpr std::int64_t kAppPasswordUseInterval = 60;

struct AppPasswordInfo {
  std::string name;
  DateTime created_at;                // UTC
  std::optional<DateTime> last_used;  // UTC
};

// A fresh random app password in its written form (groups of four).
// Throws Error when libsodium cannot start.
std::string NewAppPasswordText();

// The typed text as it is hashed: ASCII letters in lower case, dashes and
// blanks left out; nothing unless that is kAppPasswordLength characters of
// the password alphabet. The one reader of an app password from outside.
std::optional<std::string> NormalAppPassword(std::string_view typed);

// The name a new app password asked for as `name` gets: `name` trimmed, or
// the first of "calendar", "calendar 2", ... that the person has not used
// when it is empty. Throws Error kBadInput for a name that is not one line
// of printable UTF-8 or longer than kAppPasswordNameLimit, and the
// database's Error.
std::string AppPasswordName(store::Connection& db, std::int64_t person_id, std::string_view name);

// Makes a new app password of the person called `name` (trimmed; a
// default name "calendar", "calendar 2", ... when empty) and returns it:
// the only time it is seen. Throws Error kBadInput for a name that is not
// one line of printable UTF-8 or longer than kAppPasswordNameLimit, Error
// kNotFound for an unknown person, kForbidden for a retired one, kConflict
// when the person has one of that name, and the database's Error.
std::string CreateAppPassword(store::Connection& db, std::int64_t person_id, std::string_view name,
                              const DateTime& now);

// The person's app passwords by name (a creation time the database holds
// in a form that reads as no date comes back as the earliest date). Throws
// the database's Error.
std::vector<AppPasswordInfo> ListAppPasswords(store::Connection& db, std::int64_t person_id);

// Revokes the person's app password of that name (trimmed); false when
// there is none. Throws the database's Error.
bool RevokeAppPassword(store::Connection& db, std::int64_t person_id, std::string_view name);

// Whether `password` is one of the person's app passwords (compared as
// hashes), noting its use at `now` (at most once in
// kAppPasswordUseInterval). Retired persons have none that work. Text that
// is not of the form of an app password is refused without a query.
// Throws the database's Error.
bool CheckAppPassword(store::Connection& db, std::int64_t person_id, std::string_view password,
                      const DateTime& now);

}  // namespace ostrand::web
