// The webhook receivers (hostWebhook): where the site POSTs its events,
// each with its own secret, the kinds of event it wants, whether it may
// see private entries, the body's format and the hour of its daily list
// of who is away. An administrator keeps them on the administration page;
// `serve --webhook` adds its receivers at start-up (origin "command
// line"), one per address. Reads and writes run on the caller's
// connection with bound values. Every function throws DatabaseError when
// the database refuses, Error naming the column when a stored id is no
// whole number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

inline constexpr std::string_view kWebhookFormatJson = "json";
inline constexpr std::string_view kWebhookFormatChat = "chat";
inline constexpr std::string_view kWebhookOriginAdmin = "admin";
inline constexpr std::string_view kWebhookOriginCommandLine = "command line";

struct Webhook {
  std::int64_t id = 0;  // 0 for one not stored yet
  std::string name;
  std::string url;
  std::string secret;               // "whsec_" and base64 of the key
  std::vector<std::string> kinds;   // the event kinds it wants (web/data/outbox.h)
  bool sees_private = false;        // private entries are sent too
  std::string format{kWebhookFormatJson};
  std::optional<int> away_hour;     // 0 to 23 in the plans' zone; nothing: no daily list
  bool active = true;
  std::string origin{kWebhookOriginAdmin};
  std::optional<DateTime> created_at;

  bool Wants(std::string_view kind) const;
};

// Every receiver, by id.
std::vector<Webhook> ListWebhooks(store::Connection& db);

// The receiver of that id, or nothing.
std::optional<Webhook> FindWebhook(store::Connection& db, std::int64_t id);

// Stores a new receiver made `now`; returns its id.
std::int64_t InsertWebhook(store::Connection& db, const Webhook& webhook, const DateTime& now);

// Replaces the stored receiver of `webhook.id`; false when there is none.
bool UpdateWebhook(store::Connection& db, const Webhook& webhook);

// Removes the receiver of that id and its deliveries not yet ended; false
// when there is none.
bool RemoveWebhook(store::Connection& db, std::int64_t id);

// Makes the stored receivers of origin "command line" those given, in one
// transaction: a receiver of the same address is updated, the others are
// added, and those whose address is no longer given are made inactive (so
// that their deliveries stay listed).
void SyncCommandLineWebhooks(store::Connection& db, const std::vector<Webhook>& given,
                             const DateTime& now);

}  // namespace ostrand::web
