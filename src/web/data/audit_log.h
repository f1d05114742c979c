// The audit log (hostAudit): one row for every administration action and
// every sign-in, failed sign-in, sign-out, password change and token
// change: when (UTC), who did it (nothing for the command line or an
// unknown visitor), what kind, to whom, a short detail and the address it
// came from. Writes run on the caller's connection, inside the caller's
// transaction if any, so that an action and its record are one write.
// Every function throws DatabaseError when the database refuses (the table
// missing: store::UpgradeHostTables creates it).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

// The kinds of record, as stored in hostAudit.kind.
namespace audit {
inline constexpr std::string_view kSignIn = "sign-in";
inline constexpr std::string_view kSignInFailed = "sign-in-failed";
// An attempt the throttle held back (recorded once a minute per client).
inline constexpr std::string_view kSignInThrottled = "sign-in-throttled";
inline constexpr std::string_view kSignOut = "sign-out";
inline constexpr std::string_view kPasswordChanged = "password-changed";
inline constexpr std::string_view kTokenChanged = "token-changed";
inline constexpr std::string_view kAdminGranted = "admin-granted";
inline constexpr std::string_view kAdminRevoked = "admin-revoked";
inline constexpr std::string_view kPersonAdded = "person-added";
inline constexpr std::string_view kPersonChanged = "person-changed";
inline constexpr std::string_view kPersonRetired = "person-retired";
inline constexpr std::string_view kPersonReinstated = "person-reinstated";
inline constexpr std::string_view kPersonsImported = "persons-imported";
inline constexpr std::string_view kDepartmentChanged = "department-changed";
inline constexpr std::string_view kDutyChanged = "duty-changed";
inline constexpr std::string_view kPlaceChanged = "place-changed";
inline constexpr std::string_view kInvitationMade = "invitation-made";
inline constexpr std::string_view kSessionsEnded = "sessions-ended";
inline constexpr std::string_view kThrottleLifted = "throttle-lifted";
// An administrator linked a provider's or directory's identity to a
// person, or unlinked it.
inline constexpr std::string_view kIdentityLinked = "identity-linked";
inline constexpr std::string_view kIdentityUnlinked = "identity-unlinked";
// A second factor enrolled or removed; new recovery codes made.
inline constexpr std::string_view kSecondFactorEnrolled = "second-factor-enrolled";
inline constexpr std::string_view kSecondFactorRemoved = "second-factor-removed";
inline constexpr std::string_view kRecoveryCodesMade = "recovery-codes-made";
// A calendar program wrote or deleted an event of the person's own plans.
inline constexpr std::string_view kCalendarPut = "calendar-put";
inline constexpr std::string_view kCalendarDelete = "calendar-delete";
// A webhook receiver added, changed, given a new secret, switched off or
// on, or removed; a delivery sent again; a person's mail address or mail
// choices set (by an administrator or the person).
inline constexpr std::string_view kWebhookChanged = "webhook-changed";
inline constexpr std::string_view kDeliveryResent = "delivery-resent";
inline constexpr std::string_view kMailSettingsChanged = "mail-settings-changed";

// Every kind above, in the order a picker offers them.
inline constexpr std::string_view kKinds[] = {
    kSignIn,          kSignInFailed,      kSignInThrottled, kSignOut,          kPasswordChanged,
    kTokenChanged,    kAdminGranted,      kAdminRevoked,    kPersonAdded,      kPersonChanged,
    kPersonRetired,   kPersonReinstated,  kPersonsImported, kDepartmentChanged, kDutyChanged,
    kPlaceChanged,    kInvitationMade,    kSessionsEnded,   kThrottleLifted,   kIdentityLinked,
    kIdentityUnlinked, kSecondFactorEnrolled, kSecondFactorRemoved, kRecoveryCodesMade, kCalendarPut, kCalendarDelete,
    kWebhookChanged, kDeliveryResent, kMailSettingsChanged};
}  // namespace audit

// Whether `kind` is one of audit::kKinds.
bool IsAuditKind(std::string_view kind);
// The kinds joined by ", ", for a message that names them.
std::string AuditKindList();

// The longest name as typed that a failed sign-in keeps in its detail.
inline constexpr std::size_t kTypedNameLimit = 64;

// The longest detail and address stored; longer ones are cut at a UTF-8
// character boundary, so that no record grows without bound.
inline constexpr std::size_t kAuditDetailLimit = 500;
inline constexpr std::size_t kAuditAddressLimit = 64;

struct AuditRecord {
  DateTime at;                         // UTC
  std::optional<std::int64_t> actor;   // who did it
  std::string kind;                    // one of audit::k...
  std::optional<std::int64_t> subject; // the person it was done to
  std::string detail;                  // what, in a few words; never a password
  std::string address;                 // the visitor's address; empty for the command line
};

// Stores the record (detail and address cut to their limits).
void RecordAudit(store::Connection& db, const AuditRecord& record);

// Which records a listing of the log shows; every part that is set narrows
// it. Dates are calendar days in UTC, both ends included.
struct AuditFilter {
  std::vector<std::int64_t> persons;  // as actor or as subject; empty: everybody
  std::string kind;                   // one of the kinds; empty: every kind
  std::optional<DateTime> from;       // the first day shown
  std::optional<DateTime> to;         // the last day shown
};

// A record as the log keeps it, with the names its persons have now (empty
// for nobody, and for an id the person table no longer holds).
struct StoredAudit {
  std::int64_t id = 0;
  AuditRecord record;
  std::string actor_name;
  std::string subject_name;
};

// How many records the filter selects. Throws DatabaseError when the
// database refuses.
std::int64_t CountAudit(store::Connection& db, const AuditFilter& filter);

// At most `count` of the records the filter selects, newest first (by time,
// then by the order they were written), after skipping `skip` of them. A
// time the database holds in a form that reads as no date comes back as
// the earliest date. Throws DatabaseError when the database refuses, Error
// naming the column when a stored id is no whole number.
std::vector<StoredAudit> ListAudit(store::Connection& db, const AuditFilter& filter,
                                   std::int64_t skip, std::int64_t count);

// Removes the records older than `days` days before `now` (UTC), in a
// statement of its own, and returns how many went; `days` 0 keeps every
// record. Throws DatabaseError when the database refuses.
std::int64_t PruneAudit(store::Connection& db, const DateTime& now, int days);

// A text from outside (a name as typed at the sign-in) as a record, a page
// or a terminal line may show it: cleaned (core/utf8.h: valid UTF-8, no
// control characters), tabs and line breaks made blanks, and cut to at most
// `max_bytes` on a character boundary.
std::string ShortDetail(std::string_view text, std::size_t max_bytes);

// Whether a pruning is due: true for the first caller at or after the end
// of each interval, false for everybody else, so that the threads of a
// server prune about once an interval between them. Never throws.
class PruneSchedule {
 public:
  // The first interval ends `interval` after `start` (Unix seconds).
  PruneSchedule(std::chrono::seconds interval, std::int64_t start)
      : interval_(interval.count()), next_(start + interval.count()) {}
  PruneSchedule(const PruneSchedule&) = delete;
  PruneSchedule& operator=(const PruneSchedule&) = delete;

  // `now` in Unix seconds.
  bool Due(std::int64_t now);

 private:
  const std::int64_t interval_;
  std::atomic<std::int64_t> next_;
};

}  // namespace ostrand::web
