#include "web/auth/session_records.h"

#include "core/utf8.h"
#include "store/database_error.h"
#include "web/auth/personal_tokens.h"
#include "web/data/plan_changes.h"
#include "web/data/sessions_table.h"

namespace ostrand::web {
namespace {

std::int64_t SecondsBetween(const DateTime& from, const DateTime& to) {
  return (to.day() - from.day()) * 86400 + (to.seconds() - from.seconds());
}

StoredSession NewRecord(std::int64_t person_id, std::string_view rnd, std::int64_t expires,
                        const SessionOrigin& origin, const DateTime& now) {
  StoredSession session;
  session.key = SessionKey(rnd);
  session.person_id = person_id;
  session.started_at = now;
  session.expires_at = DateTime::FromUnixSeconds(expires);
  session.last_seen_at = now;
  session.address = SessionText(origin.address);
  session.agent = SessionText(origin.agent);
  return session;
}

// Runs a write of the record that the session can do without: while the
// database refuses writes (a read-only spell, a lock held too long) the
// session goes on unrecorded, and a later request records it.
template <typename Write>
void WriteIfPossible(Write write) {
  try {
    write();
  } catch (const store::DatabaseError&) {
  }
}

}  // namespace

std::string SessionKey(std::string_view rnd) { return TokenHash(rnd); }

std::string SessionText(std::string_view text) {
  std::string clean = CleanText(text.substr(0, 4 * kSessionTextLimit));
  if (clean.size() <= kSessionTextLimit) return clean;
  std::size_t end = kSessionTextLimit;
  // Back to the start of the character the limit falls in.
  while (end > 0 && (static_cast<unsigned char>(clean[end]) & 0xC0) == 0x80) --end;
  clean.resize(end);
  return clean;
}

void RecordSessionStart(store::Connection& db, std::int64_t person_id, std::string_view rnd,
                        std::int64_t expires, const SessionOrigin& origin) {
  const DateTime now = UtcNow();
  WriteIfPossible([&] {
    PruneStoredSessions(db, now);
    InsertStoredSession(db, NewRecord(person_id, rnd, expires, origin, now));
  });
}

bool SessionRecordHolds(store::Connection& db, std::int64_t person_id, std::string_view rnd,
                        std::int64_t expires, const SessionOrigin& origin) {
  const std::string key = SessionKey(rnd);
  const std::optional<StoredSession> stored = FindStoredSession(db, key);
  const DateTime now = UtcNow();
  if (!stored) {
    WriteIfPossible(
        [&] { InsertStoredSession(db, NewRecord(person_id, rnd, expires, origin, now)); });
    return true;
  }
  if (stored->ended_at || stored->person_id != person_id) return false;
  if (SecondsBetween(stored->last_seen_at, now) >= kLastSeenStep) {
    WriteIfPossible([&] { TouchStoredSession(db, key, now); });
  }
  return true;
}

void EndSessionRecordsOf(store::Connection& db, std::int64_t person_id,
                         std::optional<std::string_view> keep_rnd) {
  std::optional<std::string> keep;
  if (keep_rnd) keep = SessionKey(*keep_rnd);
  EndStoredSessionsOf(db, person_id, keep, UtcNow());
}

}  // namespace ostrand::web
