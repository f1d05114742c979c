// The outbox (hostEvent, hostDelivery, hostDeliveryEvent): what the site
// has to tell webhook receivers and people by mail. A writer adds the
// event inside the transaction of the change it tells of, so a change is
// never committed without its event and an event never outlives a change
// rolled back. A server's delivery worker (web/notify/) then
//   1. fans each new event out into deliveries: one per active webhook
//      receiver that wants the kind (and may see it: a private entry only
//      to a receiver marked private), and for mails one per person who
//      asked for it (the changes of ten minutes gather into one mail);
//   2. sends each due delivery, holding it meanwhile by a lease, and marks
//      it delivered, or due again later (kRetryWaits), or failed once
//      kGiveUpAfter has passed since it was made.
// A mail that carries a secret (the link of an invitation or a password
// reset) is queued as an event whose body holds it; fanning out moves the
// body into the mail's delivery and empties the event's, and the
// delivery's body is emptied once it ends, so the link is never kept
// longer than it is needed.
//
// Several servers on one database share the work: a lease is taken by one
// conditional UPDATE, so each event is fanned out once and each delivery
// sent by one server at a time. A server killed while it holds a lease
// leaves the row to be taken again when the lease ends.
//
// Every function runs on the caller's connection with bound values and
// throws DatabaseError when the database refuses (the tables missing:
// store::UpgradeHostTables creates them).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

// The kinds of event (hostEvent.kind), as receivers see them.
inline constexpr std::string_view kPlanAdded = "plan.added";
inline constexpr std::string_view kPlanChanged = "plan.changed";
inline constexpr std::string_view kPlanDeleted = "plan.deleted";
inline constexpr std::string_view kPlanRestored = "plan.restored";
inline constexpr std::string_view kPersonAdded = "person.added";
inline constexpr std::string_view kPersonRetired = "person.retired";
inline constexpr std::string_view kAwayToday = "away.today";
// Events only mails are made of: an invitation, a password reset, a
// leader's weekly summary and daily list of who is away.
inline constexpr std::string_view kMailInvitation = "mail.invitation";
inline constexpr std::string_view kMailReset = "mail.reset";
inline constexpr std::string_view kMailWeekly = "mail.weekly";
inline constexpr std::string_view kMailAway = "mail.away";

// The kinds a webhook receiver may ask for, in the order the
// administration page lists them.
inline constexpr std::string_view kWebhookKinds[] = {kPlanAdded,   kPlanChanged, kPlanDeleted,
                                                     kPlanRestored, kPersonAdded, kPersonRetired,
                                                     kAwayToday};

// The waits between attempts of a delivery that failed (a network error,
// no answer in time, a 5xx, a 3xx since redirects are not followed, a mail
// server's 4xx): the last one repeats until kGiveUpAfter.
inline constexpr std::chrono::seconds kRetryWaits[] = {
    std::chrono::seconds(30),    std::chrono::minutes(2), std::chrono::minutes(10),
    std::chrono::minutes(30),    std::chrono::hours(1),   std::chrono::hours(2),
    std::chrono::hours(4)};
inline constexpr std::chrono::hours kGiveUpAfter{24};

// An event to add.
struct NewEvent {
  std::string_view kind;
  // The event's id for receivers; empty: a fresh random one. A key that
  // is already stored makes AddEventOnce refuse the event.
  std::string key;
  std::optional<std::int64_t> person_id;  // whom it is about
  std::optional<std::int64_t> actor_id;   // who did it; nothing: another program, the site
  bool shared = true;                     // whether colleagues may see it
  std::string body;                       // the event's data, a JSON object
  DateTime at;                            // when it happened (UTC)
};

// Adds the event inside the caller's transaction and returns its row id.
// Throws Error naming the kind when it is none of the kinds above.
std::int64_t AddEvent(store::Connection& db, const NewEvent& event);

// Adds the event in a transaction of its own unless an event of the same
// key is stored already; whether it was added. For the events that every
// server makes at the same hour.
bool AddEventOnce(store::Connection& db, const NewEvent& event);

// Whether this thread added an event since it last asked (and forgets it):
// the server asks after each request it answered, so that its delivery
// worker wakes right after the commit instead of at its next poll.
bool TakeEventAddedHere() noexcept;

// `at` moved by `seconds` (negative: earlier), as UTC seconds count.
DateTime AddSeconds(const DateTime& at, std::int64_t seconds);
// The seconds since 1970-01-01 00:00 of the UTC time `at`.
std::int64_t UnixSecondsOf(const DateTime& at);

// How long a person's changes gather into one mail: the mail is due this
// long after its first event.
inline constexpr std::chrono::minutes kChangesMailDelay{10};

// A stored event.
struct StoredEvent {
  std::int64_t id = 0;
  std::string key;
  std::string kind;
  std::optional<std::int64_t> person_id;
  std::optional<std::int64_t> actor_id;
  bool shared = true;
  std::string body;
  std::optional<DateTime> at;
};

// One delivery, as the worker sends it and the administration page lists
// it.
struct Delivery {
  std::int64_t id = 0;
  std::string channel;                      // "webhook" or "mail"
  std::optional<std::int64_t> receiver_id;  // a webhook's
  std::optional<std::int64_t> person_id;    // a mail's addressee
  std::string mail_kind;                    // a mail's: "changes", "weekly", "away", ...
  std::string status;                       // "pending", "delivered", "failed"
  int attempts = 0;
  std::optional<DateTime> created_at;
  std::optional<DateTime> next_attempt_at;
  std::optional<DateTime> last_attempt_at;
  std::optional<int> last_status;  // HTTP status or SMTP reply code
  std::string last_error;
  std::optional<DateTime> delivered_at;
  std::string body;                   // what was fixed when queued; empty once ended
  std::vector<StoredEvent> events;    // what it tells of, oldest first
};

// What one attempt at a delivery came to.
struct DeliveryOutcome {
  enum class Kind { kDelivered, kRetry, kRefused };
  Kind kind = Kind::kDelivered;
  std::optional<int> status;  // the receiver's HTTP status, the mail server's code
  std::string error;          // what went wrong, for the administration page (no secret)
};

class Outbox {
 public:
  // The outbox on `db`, which must outlive it; `owner` names this server
  // in the leases it takes (host name and process id, say).
  Outbox(store::Connection& db, std::string owner);
  Outbox(const Outbox&) = delete;
  Outbox& operator=(const Outbox&) = delete;

  // Fans out up to `limit` events not yet fanned out, each in a
  // transaction of its own under a lease; returns how many.
  std::size_t FanOut(const DateTime& now, std::size_t limit);

  // Takes up to `limit` deliveries due at `now` that no other server
  // holds, leasing each until now + `lease`; the caller sends them and
  // reports each with Finish before the lease ends.
  // Only deliveries of `channels` are taken when it is not empty (a server
  // without a mail server leaves the mails to one that has it).
  std::vector<Delivery> TakeDue(const DateTime& now, std::chrono::seconds lease,
                                std::size_t limit, const std::vector<std::string>& channels = {});

  // Records the attempt's outcome: delivered; due again after the next of
  // kRetryWaits; failed when refused for good or when kGiveUpAfter has
  // passed since the delivery was made. False when this server no longer
  // held the delivery (its lease ended and another took it).
  bool Finish(std::int64_t delivery_id, const DeliveryOutcome& outcome, const DateTime& now);

  // Gives back a delivery this server took but will not send now: due for
  // any server at once. False when this server does not hold it.
  bool Release(std::int64_t delivery_id);

  // The receiver's latest `limit` deliveries, the newest first.
  std::vector<Delivery> RecentOfReceiver(std::int64_t receiver_id, std::size_t limit);

  // Makes a delivered or failed webhook delivery due again at `now` with
  // its attempts counted afresh (and its 24 hours from `now`); false when there is none of that id or it
  // is still pending.
  bool Resend(std::int64_t delivery_id, const DateTime& now);

 private:
  store::Connection& db_;
  std::string owner_;
};

// The pages of a receiver's deliveries on the administration page (these
// three live in outbox_listing.cpp). Each delivery comes with its event,
// without the bodies. Throw DatabaseError as above, Error naming the
// column when a stored id is no whole number.

// How many deliveries the receiver has.
std::int64_t CountDeliveriesOfReceiver(store::Connection& db, std::int64_t receiver_id);

// `limit` of the receiver's deliveries after the newest `skip`, the newest
// first.
std::vector<Delivery> DeliveriesOfReceiver(store::Connection& db, std::int64_t receiver_id,
                                           std::size_t skip, std::size_t limit);

// The delivery of that id, or nothing.
std::optional<Delivery> FindDelivery(store::Connection& db, std::int64_t delivery_id);

}  // namespace ostrand::web
