// The sign-in accounts table (hostAccount): one password hash per person
// (an opaque text to this layer; web/auth/accounts.h makes and checks it)
// and the generation of the person's sessions, which the host-wide one in
// the settings (settings.h, 'sessionGeneration') joins. Reads and writes
// run on the caller's connection, inside the caller's transaction if any,
// with bound values. Every function throws DatabaseError when the
// database refuses (the table missing: store::UpgradeHostTables creates
// it), Error naming the column when a stored id or generation is no whole
// number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "store/connection.h"

namespace ostrand::web {

// The name of the host-wide session generation among the settings.
inline constexpr std::string_view kAllSessionsSetting = "sessionGeneration";

// The person's stored password hash, or nothing without an account, for
// an account without a password (EnsureSessionAccount), or when the person
// has retired (plans/retired.h): the sign-in then does the same work as
// for a person without an account.
std::optional<std::string> StoredPasswordHash(store::Connection& db, std::int64_t person_id);

// Makes the person an account without a password (an empty hash) when
// there is none: it holds the generation of the sessions of a person who
// signs in through an OpenID provider or a directory only. An account
// that exists stays as it is. Throws DatabaseError also when another
// writer made the account at the same moment.
void EnsureSessionAccount(store::Connection& db, std::int64_t person_id);

// Stores the person's hash, making the account when there is none; a
// replaced hash raises the person's session generation. The caller holds
// the transaction that makes it one write.
void StorePasswordHash(store::Connection& db, std::int64_t person_id, const std::string& hash);

// The person's session generation and the host-wide one (0 when never
// raised), or nothing without an account. Read on every request: through
// the cache of stored reads, as fresh as the database was when the request
// took its connection (store/connection.h). Nothing for a retired
// person too, so that no session of his or hers opens.
struct StoredGenerations {
  std::int64_t person = 0;
  std::int64_t all = 0;
};
std::optional<StoredGenerations> SessionGenerations(store::Connection& db, std::int64_t person_id);

// Raises the person's session generation; false when the person has no
// account.
bool RaisePersonGeneration(store::Connection& db, std::int64_t person_id);

// Raises the host-wide session generation.
void RaiseAllGeneration(store::Connection& db);

}  // namespace ostrand::web
