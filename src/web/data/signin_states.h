// The sign-ins under way at an OpenID provider (hostSignInState): the hex
// SHA-256 of each `state` handed out (auth/personal_tokens.h TokenHash;
// the state itself is never stored), with when it was made and when it
// expires. A row is taken, that is deleted, by the one answer that brings
// its state back, so that an answer counts once even when the browser
// sends it again, on any server sharing the database. Reads and writes
// run on the caller's connection with bound values; each function throws
// DatabaseError when the database refuses.
#pragma once

#include <cstdint>
#include <string>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

// Adds the row of a fresh state, valid until `expires`, and removes the
// rows that expired before `now` (sign-ins abandoned at the provider).
void RecordSignInState(store::Connection& db, const std::string& state_hash, const DateTime& now,
                       const DateTime& expires);

// Deletes the row of the state when it has not expired at `now`; whether
// this call deleted it (false: unknown, expired, or taken before).
bool TakeSignInState(store::Connection& db, const std::string& state_hash, const DateTime& now);

}  // namespace ostrand::web
