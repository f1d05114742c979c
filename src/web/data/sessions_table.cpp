#include "web/data/sessions_table.h"

#include <array>

#include "core/error.h"
#include "store/database_error.h"
#include "store/sql_param.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kColumns =
    "sessionKey, personID, startedAt, expiresAt, lastSeenAt, address, agent, endedAt";

DateTime ReadTime(const store::RecordSet& rows, std::size_t column, std::string_view name) {
  const std::string text = Text(rows, column);
  const std::optional<DateTime> time = store::ReadStoredDateTime(text);
  if (!time) throw Error("hostSession." + std::string(name) + " '" + text + "' is no time");
  return *time;
}

StoredSession ReadRow(const store::RecordSet& rows) {
  StoredSession session;
  session.key = Text(rows, 0);
  session.person_id = Int(rows, 1);
  session.started_at = ReadTime(rows, 2, "startedAt");
  session.expires_at = ReadTime(rows, 3, "expiresAt");
  session.last_seen_at = ReadTime(rows, 4, "lastSeenAt");
  session.address = OptionalText(rows, 5).value_or("");
  session.agent = OptionalText(rows, 6).value_or("");
  if (const std::optional<std::string> ended = OptionalText(rows, 7)) {
    session.ended_at = store::ReadStoredDateTime(*ended);
  }
  return session;
}

}  // namespace

std::optional<StoredSession> FindStoredSession(store::Connection& db, const std::string& key) {
  const std::array params{store::SqlParam::Text(key)};
  const store::RecordSet rows = db.QueryStored(
      "SELECT " + std::string(kColumns) + " FROM hostSession WHERE sessionKey = ?", params);
  if (rows.Eof()) return std::nullopt;
  return ReadRow(rows);
}

bool InsertStoredSession(store::Connection& db, const StoredSession& session) {
  const std::array params{store::SqlParam::Text(session.key),
                          store::SqlParam::Integer(session.person_id),
                          store::SqlParam::Timestamp(session.started_at),
                          store::SqlParam::Timestamp(session.expires_at),
                          store::SqlParam::Timestamp(session.last_seen_at),
                          store::SqlParam::Text(session.address),
                          store::SqlParam::Text(session.agent)};
  try {
    db.Execute(
        "INSERT INTO hostSession (sessionKey, personID, startedAt, expiresAt, "
        "lastSeenAt, address, agent) VALUES (?, ?, ?, ?, ?, ?, ?)",
        params);
    return true;
  } catch (const store::DatabaseError& e) {
    // Two servers adding the row of one cookie at once: the key refuses
    // the second, and the first's row stands.
    if (e.unavailable() || FindStoredSession(db, session.key) == std::nullopt) throw;
    return false;
  }
}

void TouchStoredSession(store::Connection& db, const std::string& key, const DateTime& now) {
  const std::array params{store::SqlParam::Timestamp(now), store::SqlParam::Text(key)};
  db.Execute("UPDATE hostSession SET lastSeenAt = ? WHERE sessionKey = ?", params);
}

bool EndStoredSession(store::Connection& db, std::int64_t person_id, const std::string& key,
                      const DateTime& now) {
  const std::array params{store::SqlParam::Timestamp(now), store::SqlParam::Text(key),
                          store::SqlParam::Integer(person_id)};
  return db.Execute(
             "UPDATE hostSession SET endedAt = ? WHERE sessionKey = ? AND personID = ? "
             "AND endedAt IS NULL",
             params) > 0;
}

std::int64_t EndStoredSessionsOf(store::Connection& db, std::int64_t person_id,
                                 const std::optional<std::string>& except, const DateTime& now) {
  const std::array params{store::SqlParam::Timestamp(now), store::SqlParam::Integer(person_id),
                          store::SqlParam::Text(except.value_or(""))};
  return db.Execute(
      "UPDATE hostSession SET endedAt = ? WHERE personID = ? AND endedAt IS NULL "
      "AND sessionKey <> ?",
      params);
}

void EndEveryStoredSession(store::Connection& db, const DateTime& now) {
  const std::array params{store::SqlParam::Timestamp(now)};
  db.Execute("UPDATE hostSession SET endedAt = ? WHERE endedAt IS NULL", params);
}

std::vector<StoredSession> OpenStoredSessionsOf(store::Connection& db, std::int64_t person_id,
                                                const DateTime& now) {
  const std::array params{store::SqlParam::Integer(person_id), store::SqlParam::Timestamp(now)};
  store::RecordSet rows =
      db.Query("SELECT " + std::string(kColumns) +
                   " FROM hostSession WHERE personID = ? AND endedAt IS NULL AND expiresAt > ? "
                   "ORDER BY lastSeenAt DESC, startedAt DESC",
               params);
  std::vector<StoredSession> sessions;
  for (; !rows.Eof(); rows.MoveNext()) sessions.push_back(ReadRow(rows));
  return sessions;
}

std::int64_t PruneStoredSessions(store::Connection& db, const DateTime& now) {
  const std::array params{store::SqlParam::Timestamp(now)};
  return db.Execute("DELETE FROM hostSession WHERE expiresAt < ?", params);
}

}  // namespace ostrand::web
