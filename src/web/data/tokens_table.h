// The personal tokens table (hostToken): per person and purpose ("feed",
// "api", "invite" for an invitation to choose a password) at most one token, kept as its hash (an opaque text to this layer;
// web/auth/personal_tokens.h makes and checks tokens), with the seed a
// feed token is derived from and the time it was made. Reads and writes
// run on the caller's connection with bound values. Every function throws
// DatabaseError when the database refuses (the table missing:
// store::UpgradeHostTables creates it), Error naming the column when a
// stored id is no whole number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

struct StoredToken {
  std::string hash;
  std::optional<std::string> seed;     // feed tokens only
  std::optional<DateTime> created_at;  // nothing when the stored time reads as no date
};

// The person's token of that purpose, or nothing.
std::optional<StoredToken> FindStoredToken(store::Connection& db, std::int64_t person_id,
                                           std::string_view purpose);

// Replaces the person's token of that purpose by `token` (made `now`), in
// a transaction of its own. Two servers making a person's first token at
// once: the second insert fails on the key, and its second attempt
// replaces the first's token; a second failure, or one that leaves the
// database unavailable, is thrown.
void ReplaceStoredToken(store::Connection& db, std::int64_t person_id, std::string_view purpose,
                        const std::string& hash, const std::optional<std::string>& seed,
                        const DateTime& now);

// Replaces the person's token of that purpose, as ReplaceStoredToken but
// inside the caller's transaction (which the caller holds), without a
// second attempt.
void PutStoredToken(store::Connection& db, std::int64_t person_id, std::string_view purpose,
                    const std::string& hash, const std::optional<std::string>& seed,
                    const DateTime& now);

// Who holds the token of that hash and purpose, and when it was made.
struct TokenHolder {
  std::int64_t person_id = 0;
  std::optional<DateTime> created_at;  // nothing when the stored time reads as no date
};
std::optional<TokenHolder> FindTokenHolder(store::Connection& db, const std::string& hash,
                                           std::string_view purpose);

// Removes the token of that hash and purpose inside the caller's
// transaction; false when there was none (used or replaced meanwhile).
bool TakeStoredToken(store::Connection& db, const std::string& hash, std::string_view purpose);

// Removes the person's token of that purpose, in a transaction of its
// own; false when there was none.
bool RemoveStoredToken(store::Connection& db, std::int64_t person_id, std::string_view purpose);

// The person whose token of that purpose has the hash, or nothing; nothing
// too for a retired person's token (plans/retired.h), should one be left.
std::optional<std::int64_t> StoredTokenOwner(store::Connection& db, const std::string& hash,
                                             std::string_view purpose);

}  // namespace ostrand::web
