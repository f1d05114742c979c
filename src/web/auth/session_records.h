// The record of every signed-in session (web/data/sessions_table.h), so
// that a person can see where he or she is signed in and end one session
// without the others. The cookie stays the session (session_cookie.h);
// the record only adds what a cookie cannot say: that it was ended. A row
// is keyed by SessionKey of the session's "rnd" item, made at sign-in,
// and made at the first request of a cookie issued before sessions were
// recorded. A record the database refuses to write (a read-only spell)
// is left out and the session goes on. Every function throws the
// database's Error when it cannot read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

// The longest address and browser text a record keeps, in bytes.
inline constexpr std::size_t kSessionTextLimit = 200;
// How often a session's last-seen time moves at most, in seconds: a
// session that keeps making requests writes once in that time.
inline constexpr std::int64_t kLastSeenStep = 5 * 60;

// The key of a session's record: the hex SHA-256 of its "rnd" item.
std::string SessionKey(std::string_view rnd);

// The text a record keeps of an address or a User-Agent from outside:
// control characters and bytes that are no UTF-8 replaced (CleanText), cut
// to at most kSessionTextLimit bytes at a character's boundary. Never
// throws.
std::string SessionText(std::string_view text);

// Where a session comes from.
struct SessionOrigin {
  std::string_view address;  // the client's address
  std::string_view agent;    // its User-Agent header
};

// Records a session that starts now, for the person, whose cookie expires
// at `expires` (Unix seconds); removes the records of expired sessions on
// the way.
void RecordSessionStart(store::Connection& db, std::int64_t person_id, std::string_view rnd,
                        std::int64_t expires, const SessionOrigin& origin);

// Whether the session's record lets it in: false when it was ended (or
// belongs to someone else). A session without a record gets one; a record
// last seen kLastSeenStep or more ago is moved to now.
bool SessionRecordHolds(store::Connection& db, std::int64_t person_id, std::string_view rnd,
                        std::int64_t expires, const SessionOrigin& origin);

// Marks the person's session records ended, but that of `keep_rnd` when
// given. Runs inside the caller's transaction, if any.
void EndSessionRecordsOf(store::Connection& db, std::int64_t person_id,
                         std::optional<std::string_view> keep_rnd = std::nullopt);

}  // namespace ostrand::web
