// The audit log (hostAudit): one row for every administration action and
// every sign-in, failed sign-in, sign-out, password change and token
// change: when (UTC), who did it (nothing for the command line or an
// unknown visitor), what kind, to whom, a short detail and the address it
// came from. Writes run on the caller's connection, inside the caller's
// transaction if any, so that an action and its record are one write.
// Every function throws DatabaseError when the database refuses (the table
// missing: store::UpgradeHostTables creates it).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

// The kinds of record, as stored in hostAudit.kind.
namespace audit {
inline constexpr std::string_view kSignIn = "sign-in";
inline constexpr std::string_view kSignInFailed = "sign-in-failed";
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
}  // namespace audit

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

}  // namespace ostrand::web
