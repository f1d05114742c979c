#include "web/data/webhooks_table.h"

#include <algorithm>
#include <array>

#include "core/text.h"
#include "store/sql_param.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kColumns =
    "receiverID, name, url, secret, kinds, private, format, awayHour, active, origin, createdAt";

std::string KindList(const std::vector<std::string>& kinds) {
  std::string list;
  for (const std::string& kind : kinds) {
    if (!list.empty()) list += ',';
    list += kind;
  }
  return list;
}

store::SqlParam AwayHour(const std::optional<int>& hour) {
  return hour ? store::SqlParam::Integer(*hour) : store::SqlParam::Null();
}

std::vector<Webhook> ReadWebhooks(store::RecordSet rows) {
  std::vector<Webhook> webhooks;
  for (; !rows.Eof(); rows.MoveNext()) {
    Webhook w;
    w.id = Int(rows, 0);
    w.name = Text(rows, 1);
    w.url = Text(rows, 2);
    w.secret = Text(rows, 3);
    const std::string kinds = Text(rows, 4);
    for (const std::string_view kind : SplitList(kinds, ',')) {
      if (!kind.empty()) w.kinds.emplace_back(kind);
    }
    w.sees_private = Int(rows, 5) != 0;
    w.format = Text(rows, 6);
    if (const std::optional<std::int64_t> hour = OptionalInt(rows, 7)) {
      w.away_hour = static_cast<int>(*hour);
    }
    w.active = Int(rows, 8) != 0;
    w.origin = Text(rows, 9);
    if (const std::optional<std::string> at = OptionalText(rows, 10)) {
      w.created_at = store::ReadStoredDateTime(*at);
    }
    webhooks.push_back(std::move(w));
  }
  return webhooks;
}

// The values of every column but the id and the time it was made.
std::array<store::SqlParam, 9> Fields(const Webhook& w) {
  return {store::SqlParam::Text(w.name),           store::SqlParam::Text(w.url),
          store::SqlParam::Text(w.secret),         store::SqlParam::Text(KindList(w.kinds)),
          store::SqlParam::Integer(w.sees_private), store::SqlParam::Text(w.format),
          AwayHour(w.away_hour),                   store::SqlParam::Integer(w.active),
          store::SqlParam::Text(w.origin)};
}

std::int64_t Insert(store::Connection& db, const Webhook& w, const DateTime& now) {
  const std::array f = Fields(w);
  const std::array params{f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8],
                          store::SqlParam::Timestamp(now)};
  return db.InsertReturningId(
      "INSERT INTO hostWebhook (name, url, secret, kinds, private, format, awayHour, active, "
      "origin, createdAt) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
      params, "receiverID");
}

bool Update(store::Connection& db, const Webhook& w) {
  const std::array f = Fields(w);
  const std::array params{f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8],
                          store::SqlParam::Integer(w.id)};
  return db.Execute(
             "UPDATE hostWebhook SET name = ?, url = ?, secret = ?, kinds = ?, private = ?, "
             "format = ?, awayHour = ?, active = ?, origin = ? WHERE receiverID = ?",
             params) > 0;
}

}  // namespace

bool Webhook::Wants(std::string_view kind) const {
  return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

std::vector<Webhook> ListWebhooks(store::Connection& db) {
  return ReadWebhooks(
      db.Query("SELECT " + std::string(kColumns) + " FROM hostWebhook ORDER BY receiverID"));
}

std::optional<Webhook> FindWebhook(store::Connection& db, std::int64_t id) {
  const std::array params{store::SqlParam::Integer(id)};
  std::vector<Webhook> found = ReadWebhooks(db.Query(
      "SELECT " + std::string(kColumns) + " FROM hostWebhook WHERE receiverID = ?", params));
  if (found.empty()) return std::nullopt;
  return std::move(found.front());
}

std::int64_t InsertWebhook(store::Connection& db, const Webhook& webhook, const DateTime& now) {
  return Insert(db, webhook, now);
}

bool UpdateWebhook(store::Connection& db, const Webhook& webhook) { return Update(db, webhook); }

bool RemoveWebhook(store::Connection& db, std::int64_t id) {
  store::Transaction transaction(db);
  const std::array params{store::SqlParam::Integer(id)};
  db.Execute(
      "DELETE FROM hostDeliveryEvent WHERE deliveryID IN (SELECT deliveryID FROM hostDelivery "
      "WHERE receiverID = ? AND channel = 'webhook' AND status = 'pending')",
      params);
  db.Execute(
      "DELETE FROM hostDelivery WHERE receiverID = ? AND channel = 'webhook' AND status = "
      "'pending'",
      params);
  const bool removed = db.Execute("DELETE FROM hostWebhook WHERE receiverID = ?", params) > 0;
  transaction.Commit();
  return removed;
}

void SyncCommandLineWebhooks(store::Connection& db, const std::vector<Webhook>& given,
                             const DateTime& now) {
  store::Transaction transaction(db);
  const std::array origin{store::SqlParam::Text(std::string(kWebhookOriginCommandLine))};
  const std::vector<Webhook> stored = ReadWebhooks(db.Query(
      "SELECT " + std::string(kColumns) + " FROM hostWebhook WHERE origin = ? ORDER BY receiverID",
      origin));
  for (const Webhook& old : stored) {
    const bool still_given = std::any_of(given.begin(), given.end(),
                                         [&](const Webhook& w) { return w.url == old.url; });
    if (!still_given && old.active) {
      Webhook retired = old;
      retired.active = false;
      Update(db, retired);
    }
  }
  for (Webhook w : given) {
    w.origin = std::string(kWebhookOriginCommandLine);
    const auto same = std::find_if(stored.begin(), stored.end(),
                                   [&](const Webhook& old) { return old.url == w.url; });
    if (same == stored.end()) {
      Insert(db, w, now);
    } else {
      w.id = same->id;
      Update(db, w);
    }
  }
  transaction.Commit();
}

}  // namespace ostrand::web
