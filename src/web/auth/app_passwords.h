// App passwords: what calendar programs sign in with over CalDAV (HTTP
// Basic, the person's number as the user name). A person makes one per
// program on the subscribe page or with `ostrand app-password`, names it,
// sees it once, and revokes it by name. Only a SHA-256 hash is stored
// (hostAppPassword): the password is random and long (kAppPasswordBytes of
// entropy), so a fast hash is as safe as a slow one and a check needs no
// hash pool. A sign-in password is never accepted where an app password
// is asked for, nor the other way round.
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
// The longest name of an app password, in characters.
inline constexpr std::size_t kAppPasswordNameLimit = 100;

struct AppPasswordInfo {
  std::string name;
  DateTime created_at;                // UTC
  std::optional<DateTime> last_used;  // UTC
};

// Makes a new app password of the person called `name` (trimmed; a
// default name "calendar", "calendar 2", ... when empty) and returns it:
// the only time it is seen. Throws Error kBadInput for a name that is not
// one line of printable UTF-8 or longer than kAppPasswordNameLimit, Error
// kConflict when the person has one of that name, and the database's Error.
std::string CreateAppPassword(store::Connection& db, std::int64_t person_id, std::string_view name,
                              const DateTime& now);

// The person's app passwords by name.
std::vector<AppPasswordInfo> ListAppPasswords(store::Connection& db, std::int64_t person_id);

// Revokes the person's app password of that name; false when there is none.
bool RevokeAppPassword(store::Connection& db, std::int64_t person_id, std::string_view name);

// Whether `password` is one of the person's app passwords (compared as
// hashes), noting its use at `now`. Retired persons have none that work.
bool CheckAppPassword(store::Connection& db, std::int64_t person_id, std::string_view password,
                      const DateTime& now);

}  // namespace ostrand::web
