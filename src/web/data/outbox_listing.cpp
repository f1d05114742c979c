// The listing side of the outbox for the administration page: pages of a
// receiver's deliveries and one delivery by id (web/data/outbox.h).
#include <array>
#include <string>

#include "store/engine_sql.h"
#include "store/sql_param.h"
#include "web/data/outbox.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

std::string Columns(store::Engine engine) {
  const auto time = [engine](std::string_view column) { return store::TimeText(engine, column); };
  return "SELECT d.deliveryID, d.channel, d.receiverID, d.personID, d.mailKind, d.status, "
         "d.attempts, " +
         time("d.createdAt") + ", " + time("d.nextAttemptAt") + ", " + time("d.lastAttemptAt") +
         ", d.lastStatus, d.lastError, " + time("d.deliveredAt") +
         ", e.eventID, e.eventKey, e.kind, e.personID, e.actorID, e.shared, " +
         time("e.createdAt") +
         " FROM hostDelivery d LEFT JOIN hostEvent e ON e.eventID = d.eventID";
}

std::optional<DateTime> OptionalTime(const store::RecordSet& rows, std::size_t column) {
  const std::optional<std::string> text = OptionalText(rows, column);
  return text ? store::ReadStoredDateTime(*text) : std::nullopt;
}

std::vector<Delivery> ReadDeliveries(store::RecordSet rows) {
  std::vector<Delivery> deliveries;
  for (; !rows.Eof(); rows.MoveNext()) {
    Delivery d;
    d.id = Int(rows, 0);
    d.channel = Text(rows, 1);
    d.receiver_id = OptionalInt(rows, 2);
    d.person_id = OptionalInt(rows, 3);
    d.mail_kind = Text(rows, 4);
    d.status = Text(rows, 5);
    d.attempts = static_cast<int>(OptionalInt(rows, 6).value_or(0));
    d.created_at = OptionalTime(rows, 7);
    d.next_attempt_at = OptionalTime(rows, 8);
    d.last_attempt_at = OptionalTime(rows, 9);
    if (const std::optional<std::int64_t> status = OptionalInt(rows, 10)) {
      d.last_status = static_cast<int>(*status);
    }
    d.last_error = Text(rows, 11);
    d.delivered_at = OptionalTime(rows, 12);
    if (const std::optional<std::int64_t> event_id = OptionalInt(rows, 13)) {
      StoredEvent event;
      event.id = *event_id;
      event.key = Text(rows, 14);
      event.kind = Text(rows, 15);
      event.person_id = OptionalInt(rows, 16);
      event.actor_id = OptionalInt(rows, 17);
      event.shared = OptionalInt(rows, 18).value_or(1) != 0;
      event.at = OptionalTime(rows, 19);
      d.events.push_back(std::move(event));
    }
    deliveries.push_back(std::move(d));
  }
  return deliveries;
}

}  // namespace

std::int64_t CountDeliveriesOfReceiver(store::Connection& db, std::int64_t receiver_id) {
  const std::array params{store::SqlParam::Integer(receiver_id)};
  const store::RecordSet rows = db.Query(
      "SELECT COUNT(*) FROM hostDelivery WHERE receiverID = ? AND channel = 'webhook'", params);
  return rows.Eof() ? 0 : Int(rows, 0);
}

std::vector<Delivery> DeliveriesOfReceiver(store::Connection& db, std::int64_t receiver_id,
                                           std::size_t skip, std::size_t limit) {
  if (limit == 0) return {};
  const std::array params{store::SqlParam::Integer(receiver_id)};
  return ReadDeliveries(db.Query(Columns(db.engine()) +
                                     " WHERE d.receiverID = ? AND d.channel = 'webhook' "
                                     "ORDER BY d.deliveryID DESC" +
                                     store::RowWindow(db.engine(), skip, limit),
                                 params));
}

std::optional<Delivery> FindDelivery(store::Connection& db, std::int64_t delivery_id) {
  const std::array params{store::SqlParam::Integer(delivery_id)};
  std::vector<Delivery> found =
      ReadDeliveries(db.Query(Columns(db.engine()) + " WHERE d.deliveryID = ?", params));
  if (found.empty()) return std::nullopt;
  return std::move(found.front());
}

}  // namespace ostrand::web
