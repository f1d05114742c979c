// The app passwords table (hostAppPassword): per person any number of
// named passwords of calendar programs, each kept as its hash (an opaque
// text to this layer; web/auth/app_passwords.h makes and checks them),
// with the time it was made and the time it was last used. A person's
// names are unique. Reads and writes run on the caller's connection with
// bound values. Every function throws DatabaseError when the database
// refuses (the table missing: store::UpgradeHostTables creates it), Error
// naming the column when a stored id is no whole number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

struct StoredAppPassword {
  std::string name;
  std::optional<DateTime> created_at;  // nothing when the stored time reads as no date
  std::optional<DateTime> last_used;   // nothing when never used
};

// Stores a password of the person under `name`, made `now`, in a
// transaction of its own; false (nothing stored) when the person has one
// of that name already.
bool InsertAppPassword(store::Connection& db, std::int64_t person_id, std::string_view name,
                       const std::string& hash, const DateTime& now);

// The person's passwords, ordered by name.
std::vector<StoredAppPassword> ListStoredAppPasswords(store::Connection& db,
                                                      std::int64_t person_id);

// Whether the person has a password of that name.
bool HasAppPasswordNamed(store::Connection& db, std::int64_t person_id, std::string_view name);

// Removes the person's password of that name, in a transaction of its
// own; false when there was none.
bool RemoveAppPassword(store::Connection& db, std::int64_t person_id, std::string_view name);

// Who holds the password of that hash and when it was last used; nothing
// for an unknown hash and for a retired person's password (plans/retired.h).
struct AppPasswordHolder {
  std::int64_t person_id = 0;
  std::optional<DateTime> last_used;
};
std::optional<AppPasswordHolder> FindAppPasswordHolder(store::Connection& db,
                                                       const std::string& hash);

// Notes that the password of that hash was used at `now`, in a statement of
// its own.
void TouchAppPassword(store::Connection& db, const std::string& hash, const DateTime& now);

}  // namespace ostrand::web
