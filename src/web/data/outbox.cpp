#include "web/data/outbox.h"

#include <nlohmann/json.hpp>
#include <sodium.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

#include "core/error.h"
#include "core/hex.h"
#include "core/sodium_start.h"
#include "store/database_error.h"
#include "store/engine_sql.h"
#include "store/sql_param.h"
#include "web/data/mail_settings.h"
#include "web/data/row_values.h"
#include "web/data/webhooks_table.h"

namespace ostrand::web {
namespace {

using store::SqlParam;

thread_local bool event_added_here = false;

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kUnixEpochSerial = 25569;  // 1 January 1970

constexpr std::string_view kKnownKinds[] = {
    kPlanAdded,     kPlanChanged,   kPlanDeleted,     kPlanRestored, kPersonAdded, kPersonRetired,
    kAwayToday,     kMailInvitation, kMailReset,      kMailWeekly,   kMailAway};

bool IsKnownKind(std::string_view kind) {
  return std::find(std::begin(kKnownKinds), std::end(kKnownKinds), kind) != std::end(kKnownKinds);
}

bool IsPlanKind(std::string_view kind) {
  return kind == kPlanAdded || kind == kPlanChanged || kind == kPlanDeleted ||
         kind == kPlanRestored;
}

bool IsWebhookKind(std::string_view kind) {
  return std::find(std::begin(kWebhookKinds), std::end(kWebhookKinds), kind) !=
         std::end(kWebhookKinds);
}

// "msg_" and 32 random hex digits: an event id no receiver has seen.
std::string FreshKey() {
  StartSodium();
  std::array<unsigned char, 16> bytes{};
  randombytes_buf(bytes.data(), bytes.size());
  return "msg_" + HexText(bytes, HexCase::kLower);
}

SqlParam OptionalId(const std::optional<std::int64_t>& id) {
  return id ? SqlParam::Integer(*id) : SqlParam::Null();
}

SqlParam Time(const DateTime& at) { return SqlParam::Timestamp(at); }

std::optional<DateTime> OptionalTime(const store::RecordSet& row, std::size_t column) {
  const std::optional<std::string> text = OptionalText(row, column);
  if (!text) return std::nullopt;
  return store::ReadStoredDateTime(*text);
}

bool KeyStored(store::Connection& db, const std::string& key) {
  const std::array params{SqlParam::Text(key)};
  return !db.Query("SELECT 1 FROM hostEvent WHERE eventKey = ?", params).Eof();
}

constexpr std::string_view kEventColumns =
    "hostEvent.eventID, hostEvent.eventKey, hostEvent.kind, hostEvent.personID, "
    "hostEvent.actorID, hostEvent.shared, hostEvent.body, hostEvent.createdAt";

StoredEvent ReadEvent(const store::RecordSet& row) {
  StoredEvent event;
  event.id = Int(row, 0);
  event.key = Text(row, 1);
  event.kind = Text(row, 2);
  event.person_id = OptionalInt(row, 3);
  event.actor_id = OptionalInt(row, 4);
  event.shared = Int(row, 5) != 0;
  event.body = Text(row, 6);
  event.at = OptionalTime(row, 7);
  return event;
}

std::optional<StoredEvent> FindEvent(store::Connection& db, std::int64_t id) {
  const std::array params{SqlParam::Integer(id)};
  const store::RecordSet row = db.Query(
      "SELECT " + std::string(kEventColumns) + " FROM hostEvent WHERE eventID = ?", params);
  if (row.Eof()) return std::nullopt;
  return ReadEvent(row);
}

std::vector<StoredEvent> EventsOf(store::Connection& db, std::int64_t delivery_id) {
  const std::array params{SqlParam::Integer(delivery_id)};
  std::vector<StoredEvent> events;
  for (store::RecordSet rows = db.Query(
           "SELECT " + std::string(kEventColumns) +
               " FROM hostDeliveryEvent JOIN hostEvent ON hostEvent.eventID = "
               "hostDeliveryEvent.eventID WHERE hostDeliveryEvent.deliveryID = ? "
               "ORDER BY hostEvent.eventID",
           params);
       !rows.Eof(); rows.MoveNext()) {
    events.push_back(ReadEvent(rows));
  }
  return events;
}

constexpr std::string_view kDeliveryColumns =
    "deliveryID, channel, receiverID, personID, mailKind, status, attempts, createdAt, "
    "nextAttemptAt, lastAttemptAt, lastStatus, lastError, deliveredAt, body";

Delivery ReadDelivery(const store::RecordSet& row) {
  Delivery d;
  d.id = Int(row, 0);
  d.channel = Text(row, 1);
  d.receiver_id = OptionalInt(row, 2);
  d.person_id = OptionalInt(row, 3);
  d.mail_kind = Text(row, 4);
  d.status = Text(row, 5);
  d.attempts = static_cast<int>(Int(row, 6));
  d.created_at = OptionalTime(row, 7);
  d.next_attempt_at = OptionalTime(row, 8);
  d.last_attempt_at = OptionalTime(row, 9);
  if (const std::optional<std::int64_t> status = OptionalInt(row, 10)) {
    d.last_status = static_cast<int>(*status);
  }
  d.last_error = Text(row, 11);
  d.delivered_at = OptionalTime(row, 12);
  d.body = Text(row, 13);
  return d;
}

std::vector<Delivery> ReadDeliveries(store::Connection& db, store::RecordSet rows) {
  std::vector<Delivery> deliveries;
  for (; !rows.Eof(); rows.MoveNext()) deliveries.push_back(ReadDelivery(rows));
  for (Delivery& d : deliveries) d.events = EventsOf(db, d.id);
  return deliveries;
}

// A new pending delivery, due at `due`, that tells of `event_id`.
std::int64_t InsertDelivery(store::Connection& db, std::int64_t event_id, std::string_view channel,
                            const std::optional<std::int64_t>& receiver,
                            const std::optional<std::int64_t>& person,
                            std::string_view mail_kind, const DateTime& now, const DateTime& due,
                            const std::string& body) {
  const std::array params{SqlParam::Integer(event_id),
                          SqlParam::Text(std::string(channel)),
                          OptionalId(receiver),
                          OptionalId(person),
                          mail_kind.empty() ? SqlParam::Null()
                                            : SqlParam::Text(std::string(mail_kind)),
                          Time(now),
                          Time(due),
                          body.empty() ? SqlParam::Null() : SqlParam::Text(body)};
  const std::int64_t id = db.InsertReturningId(
      "INSERT INTO hostDelivery (eventID, channel, receiverID, personID, mailKind, status, "
      "attempts, createdAt, nextAttemptAt, body) VALUES (?, ?, ?, ?, ?, 'pending', 0, ?, ?, ?)",
      params, "deliveryID");
  const std::array link{SqlParam::Integer(id), SqlParam::Integer(event_id)};
  db.Execute("INSERT INTO hostDeliveryEvent (deliveryID, eventID) VALUES (?, ?)", link);
  return id;
}

// The hour of a daily list of who is away ("hour" of its body), or nothing.
std::optional<int> HourOf(const StoredEvent& event) {
  const nlohmann::json body = nlohmann::json::parse(event.body, nullptr, false);
  if (!body.is_object() || !body.contains("hour") || !body["hour"].is_number_integer()) {
    return std::nullopt;
  }
  return body["hour"].get<int>();
}

bool Chose(const std::vector<std::int64_t>& persons, std::int64_t person) {
  return std::find(persons.begin(), persons.end(), person) != persons.end();
}

// Adds the event to the person's changes mail that is still gathering
// (pending, never tried, held by no server), or makes a new one due
// kChangesMailDelay after the event.
void AddToChangesMail(store::Connection& db, const StoredEvent& event, std::int64_t person,
                      const DateTime& now) {
  const std::array find{SqlParam::Integer(person), Time(now)};
  const store::RecordSet open = db.Query(
      "SELECT deliveryID FROM hostDelivery WHERE channel = 'mail' AND personID = ? AND "
      "mailKind = 'changes' AND status = 'pending' AND attempts = 0 AND (leaseUntil IS NULL OR "
      "leaseUntil < ?) ORDER BY deliveryID DESC",
      find);
  if (!open.Eof()) {
    const std::int64_t delivery = Int(open, 0);
    // The conditional write holds the row against a sender until the
    // commit; a sender that leased it meanwhile makes it miss.
    const std::array hold{SqlParam::Integer(delivery), Time(now)};
    if (db.Execute("UPDATE hostDelivery SET attempts = 0 WHERE deliveryID = ? AND status = "
                   "'pending' AND attempts = 0 AND (leaseUntil IS NULL OR leaseUntil < ?)",
                   hold) == 1) {
      const std::array link{SqlParam::Integer(delivery), SqlParam::Integer(event.id)};
      db.Execute("INSERT INTO hostDeliveryEvent (deliveryID, eventID) VALUES (?, ?)", link);
      return;
    }
  }
  const DateTime first = event.at ? *event.at : now;
  InsertDelivery(db, event.id, "mail", std::nullopt, person, kMailChanges, now,
                 AddSeconds(first, std::chrono::seconds(kChangesMailDelay).count()), "");
}

// The deliveries of one event, inside the caller's transaction.
void MakeDeliveries(store::Connection& db, const StoredEvent& event, const DateTime& now) {
  if (IsWebhookKind(event.kind)) {
    const std::optional<int> hour = event.kind == kAwayToday ? HourOf(event) : std::nullopt;
    for (const Webhook& receiver : ListWebhooks(db)) {
      if (!receiver.active || !receiver.Wants(event.kind)) continue;
      if (!event.shared && !receiver.sees_private) continue;
      if (event.kind == kAwayToday && (!hour || receiver.away_hour != hour)) continue;
      InsertDelivery(db, event.id, "webhook", receiver.id, std::nullopt, "", now, now, "");
    }
  }
  if (IsPlanKind(event.kind) && event.person_id && event.actor_id != event.person_id &&
      Chose(PersonsChoosing(db, kMailChanges), *event.person_id)) {
    AddToChangesMail(db, event, *event.person_id, now);
  }
  if ((event.kind == kMailInvitation || event.kind == kMailReset) && event.person_id) {
    // The link it carries moves into the mail, to be forgotten once sent.
    const std::string_view kind = event.kind == kMailInvitation ? "invitation" : "reset";
    InsertDelivery(db, event.id, "mail", std::nullopt, event.person_id, kind, now, now,
                   event.body);
    const std::array params{SqlParam::Integer(event.id)};
    db.Execute("UPDATE hostEvent SET body = '' WHERE eventID = ?", params);
  }
  if (event.kind == kMailWeekly || event.kind == kMailAway) {
    const std::string_view choice = event.kind == kMailWeekly ? kMailWeeklySummary : kMailAwayList;
    for (const std::int64_t person : PersonsChoosing(db, choice)) {
      InsertDelivery(db, event.id, "mail", std::nullopt, person, choice, now, now, "");
    }
  }
}

// The wait before attempt `attempt` + 1 of a delivery tried `attempt`
// times (1 or more).
std::chrono::seconds RetryWait(int attempt) {
  const std::size_t count = std::size(kRetryWaits);
  const std::size_t index = std::min<std::size_t>(static_cast<std::size_t>(attempt - 1), count - 1);
  return kRetryWaits[index];
}

std::string ChannelList(const std::vector<std::string>& channels) {
  std::string sql;
  for (std::size_t i = 0; i < channels.size(); ++i) sql += i == 0 ? "?" : ", ?";
  return sql;
}

}  // namespace

DateTime AddSeconds(const DateTime& at, std::int64_t seconds) {
  return DateTime::FromUnixSeconds(UnixSecondsOf(at) + seconds);
}

std::int64_t UnixSecondsOf(const DateTime& at) {
  return (at.day() - kUnixEpochSerial) * kSecondsPerDay + at.seconds();
}

bool TakeEventAddedHere() noexcept { return std::exchange(event_added_here, false); }

std::int64_t AddEvent(store::Connection& db, const NewEvent& event) {
  if (!IsKnownKind(event.kind)) {
    throw Error("no such kind of event: '" + std::string(event.kind) + "'", ErrorKind::kBadInput);
  }
  const std::array params{SqlParam::Text(event.key.empty() ? FreshKey() : event.key),
                          SqlParam::Text(std::string(event.kind)),
                          OptionalId(event.person_id),
                          OptionalId(event.actor_id),
                          SqlParam::Integer(event.shared ? 1 : 0),
                          SqlParam::Text(event.body.empty() ? "{}" : event.body),
                          Time(event.at)};
  const std::int64_t id = db.InsertReturningId(
      "INSERT INTO hostEvent (eventKey, kind, personID, actorID, shared, body, createdAt, "
      "fannedOut) VALUES (?, ?, ?, ?, ?, ?, ?, 0)",
      params, "eventID");
  event_added_here = true;
  return id;
}

bool AddEventOnce(store::Connection& db, const NewEvent& event) {
  try {
    store::Transaction transaction(db);
    if (!event.key.empty() && KeyStored(db, event.key)) return false;
    AddEvent(db, event);
    transaction.Commit();
    return true;
  } catch (const store::DatabaseError&) {
    // Another server stored the same key between the check and the insert:
    // its event stands.
    if (!event.key.empty() && KeyStored(db, event.key)) return false;
    throw;
  }
}

Outbox::Outbox(store::Connection& db, std::string owner) : db_(db), owner_(std::move(owner)) {}

std::size_t Outbox::FanOut(const DateTime& now, std::size_t limit) {
  const std::array waiting{Time(now)};
  std::vector<std::int64_t> ids;
  for (store::RecordSet rows = db_.Query(
           "SELECT eventID FROM hostEvent WHERE fannedOut = 0 AND (leaseUntil IS NULL OR "
           "leaseUntil < ?) ORDER BY eventID" +
               store::RowWindow(db_.engine(), 0, limit),
           waiting);
       !rows.Eof(); rows.MoveNext()) {
    ids.push_back(Int(rows, 0));
  }
  std::size_t done = 0;
  for (const std::int64_t id : ids) {
    store::Transaction transaction(db_);
    // The lease: one server's conditional write wins; on engines that lock
    // rows the others wait for its commit and then find the event done.
    const std::array lease{Time(AddSeconds(now, 60)), SqlParam::Integer(id), Time(now)};
    if (db_.Execute("UPDATE hostEvent SET leaseUntil = ? WHERE eventID = ? AND fannedOut = 0 "
                    "AND (leaseUntil IS NULL OR leaseUntil < ?)",
                    lease) != 1) {
      continue;
    }
    const std::optional<StoredEvent> event = FindEvent(db_, id);
    if (!event) continue;
    MakeDeliveries(db_, *event, now);
    const std::array params{SqlParam::Integer(id)};
    db_.Execute("UPDATE hostEvent SET fannedOut = 1, leaseUntil = NULL WHERE eventID = ?", params);
    transaction.Commit();
    ++done;
  }
  return done;
}

std::vector<Delivery> Outbox::TakeDue(const DateTime& now, std::chrono::seconds lease,
                                      std::size_t limit, const std::vector<std::string>& channels) {
  std::vector<SqlParam> params{Time(now), Time(now)};
  std::string sql =
      "SELECT deliveryID FROM hostDelivery WHERE status = 'pending' AND nextAttemptAt <= ? AND "
      "(leaseUntil IS NULL OR leaseUntil < ?)";
  if (!channels.empty()) {
    sql += " AND channel IN (" + ChannelList(channels) + ")";
    for (const std::string& channel : channels) params.push_back(SqlParam::Text(channel));
  }
  sql += " ORDER BY nextAttemptAt, deliveryID" + store::RowWindow(db_.engine(), 0, limit);
  std::vector<std::int64_t> ids;
  for (store::RecordSet rows = db_.Query(sql, params); !rows.Eof(); rows.MoveNext()) {
    ids.push_back(Int(rows, 0));
  }
  std::vector<Delivery> taken;
  const DateTime until = AddSeconds(now, lease.count());
  for (const std::int64_t id : ids) {
    const std::array take{SqlParam::Text(owner_), Time(until), SqlParam::Integer(id), Time(now)};
    if (db_.Execute("UPDATE hostDelivery SET leaseOwner = ?, leaseUntil = ? WHERE deliveryID = ? "
                    "AND status = 'pending' AND (leaseUntil IS NULL OR leaseUntil < ?)",
                    take) != 1) {
      continue;  // another server took it first
    }
    const std::array one{SqlParam::Integer(id)};
    std::vector<Delivery> read = ReadDeliveries(
        db_, db_.Query("SELECT " + std::string(kDeliveryColumns) +
                           " FROM hostDelivery WHERE deliveryID = ?",
                       one));
    if (!read.empty()) taken.push_back(std::move(read.front()));
  }
  return taken;
}

bool Outbox::Finish(std::int64_t delivery_id, const DeliveryOutcome& outcome,
                    const DateTime& now) {
  const std::array held{SqlParam::Integer(delivery_id), SqlParam::Text(owner_)};
  const store::RecordSet row = db_.Query(
      "SELECT attempts, createdAt FROM hostDelivery WHERE deliveryID = ? AND leaseOwner = ? AND "
      "status = 'pending'",
      held);
  if (row.Eof()) return false;
  const int attempts = static_cast<int>(Int(row, 0)) + 1;
  const DateTime made = OptionalTime(row, 1).value_or(now);
  const DateTime give_up = AddSeconds(made, std::chrono::seconds(kGiveUpAfter).count());

  std::string status = "pending";
  DateTime next = now;
  if (outcome.kind == DeliveryOutcome::Kind::kDelivered) {
    status = "delivered";
  } else if (outcome.kind == DeliveryOutcome::Kind::kRefused || now >= give_up) {
    status = "failed";
  } else {
    // The last attempt comes when the 24 hours are over.
    next = std::min(AddSeconds(now, RetryWait(attempts).count()), give_up);
  }
  const bool ended = status != "pending";
  const std::array params{
      SqlParam::Text(status),
      SqlParam::Integer(attempts),
      Time(next),
      Time(now),
      outcome.status ? SqlParam::Integer(*outcome.status) : SqlParam::Null(),
      outcome.error.empty() ? SqlParam::Null() : SqlParam::Text(outcome.error),
      status == "delivered" ? Time(now) : SqlParam::Null(),
      SqlParam::Integer(delivery_id),
      SqlParam::Text(owner_)};
  // An ended delivery forgets what it carried (the link of a mail).
  const std::string body = ended ? ", body = NULL" : "";
  return db_.Execute("UPDATE hostDelivery SET status = ?, attempts = ?, nextAttemptAt = ?, "
                     "lastAttemptAt = ?, lastStatus = ?, lastError = ?, deliveredAt = ?, "
                     "leaseOwner = NULL, leaseUntil = NULL" +
                         body +
                         " WHERE deliveryID = ? AND leaseOwner = ? AND status = 'pending'",
                     params) == 1;
}

bool Outbox::Release(std::int64_t delivery_id) {
  const std::array params{SqlParam::Integer(delivery_id), SqlParam::Text(owner_)};
  return db_.Execute("UPDATE hostDelivery SET leaseOwner = NULL, leaseUntil = NULL WHERE "
                     "deliveryID = ? AND leaseOwner = ? AND status = 'pending'",
                     params) == 1;
}

std::vector<Delivery> Outbox::RecentOfReceiver(std::int64_t receiver_id, std::size_t limit) {
  const std::array params{SqlParam::Integer(receiver_id)};
  return ReadDeliveries(
      db_, db_.Query("SELECT " + std::string(kDeliveryColumns) +
                         " FROM hostDelivery WHERE channel = 'webhook' AND receiverID = ? "
                         "ORDER BY deliveryID DESC" +
                         store::RowWindow(db_.engine(), 0, limit),
                     params));
}

bool Outbox::Resend(std::int64_t delivery_id, const DateTime& now) {
  const std::array params{Time(now), Time(now), SqlParam::Integer(delivery_id)};
  return db_.Execute("UPDATE hostDelivery SET status = 'pending', attempts = 0, createdAt = ?, "
                     "nextAttemptAt = ?, deliveredAt = NULL, leaseOwner = NULL, leaseUntil = NULL "
                     "WHERE deliveryID = ? AND channel = 'webhook' AND status <> 'pending'",
                     params) == 1;
}

}  // namespace ostrand::web
