// The sessions table (hostSession): one row per signed-in browser, keyed by
// the hex SHA-256 of the session's "rnd" item (web/auth/session_records.h
// makes the key; the cookie itself is never stored), with when it started,
// when its cookie expires, when it was last seen, the address and browser
// it came from, and when it was ended. An ended row refuses its cookie even
// while the session generations still let it in. Reads and writes run on
// the caller's connection, inside the caller's transaction if any, with
// bound values. Every function throws DatabaseError when the database
// refuses (the table missing: store::UpgradeHostTables creates it), Error
// naming the column when a stored id does not read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

struct StoredSession {
  std::string key;
  std::int64_t person_id = 0;
  DateTime started_at;
  DateTime expires_at;
  DateTime last_seen_at;
  std::string address;
  std::string agent;
  std::optional<DateTime> ended_at;
};

// The row of that key, or nothing. Read on every request: through the
// cache of stored reads (store/connection.h).
std::optional<StoredSession> FindStoredSession(store::Connection& db, const std::string& key);

// Adds the row; false when a row of that key is there already (another
// server added it first), which is left as it is.
bool InsertStoredSession(store::Connection& db, const StoredSession& session);

// Moves the row's last-seen time to `now`.
void TouchStoredSession(store::Connection& db, const std::string& key, const DateTime& now);

// Ends the person's row of that key; false when the person has no open row
// of that key.
bool EndStoredSession(store::Connection& db, std::int64_t person_id, const std::string& key,
                      const DateTime& now);

// Ends every open row of the person but the one of `except` (when given);
// the number ended.
std::int64_t EndStoredSessionsOf(store::Connection& db, std::int64_t person_id,
                                 const std::optional<std::string>& except, const DateTime& now);

// Ends every open row of everybody.
void EndEveryStoredSession(store::Connection& db, const DateTime& now);

// The person's rows that are neither ended nor expired at `now`, the most
// recently seen first.
std::vector<StoredSession> OpenStoredSessionsOf(store::Connection& db, std::int64_t person_id,
                                                const DateTime& now);

// Removes the rows whose cookie expired before `now`; the number removed.
std::int64_t PruneStoredSessions(store::Connection& db, const DateTime& now);

}  // namespace ostrand::web
