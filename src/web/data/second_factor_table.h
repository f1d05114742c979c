// The second factor of local accounts (hostSecondFactor) and its recovery
// codes (hostRecoveryCode). The secret is stored as the sealed text that
// auth/one_time_codes.h makes and a recovery code as its hash: opaque texts
// to this layer. Each function is one statement on the caller's connection
// with bound values (atomic by itself; the caller holds a transaction where
// several must go together). Every function throws DatabaseError when the
// database refuses (the tables missing: store::UpgradeHostTables creates
// them) and Error naming the column when a stored number is no whole number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

struct StoredSecondFactor {
  std::string sealed_secret;
  std::optional<DateTime> enrolled_at;   // nothing when the stored time reads as no date
  bool confirmed = false;                // a first code proved the enrolment
  std::optional<DateTime> confirmed_at;  // when, if it reads as a date
  // The time step of the last code taken, if any.
  std::optional<std::int64_t> last_step;
};

// The person's second factor, confirmed or not, or nothing.
std::optional<StoredSecondFactor> FindSecondFactor(store::Connection& db, std::int64_t person_id);

// Whether the person has a confirmed second factor.
bool HasConfirmedSecondFactor(store::Connection& db, std::int64_t person_id);

// Puts an unconfirmed second factor with that sealed secret in place of
// the person's unconfirmed one; false, with nothing changed, when the
// person has a confirmed one (which only RemoveSecondFactor ends). Two
// statements: call it inside a transaction.
bool PutUnconfirmedSecondFactor(store::Connection& db, std::int64_t person_id,
                                const std::string& sealed_secret, const DateTime& now);

// Confirms the person's unconfirmed second factor, if it still holds that
// sealed secret, with the step of its first code taken; false when it is
// gone, replaced or already confirmed.
bool ConfirmSecondFactor(store::Connection& db, std::int64_t person_id,
                         const std::string& sealed_secret, std::int64_t step, const DateTime& now);

// Takes the time step of a code of the person's confirmed second factor:
// true when the step lies after the last one taken (which it then is);
// false when that or a later step was taken meanwhile, so that of two
// requests with one code only one gets in.
bool TakeCodeStep(store::Connection& db, std::int64_t person_id, std::int64_t step);

// Removes the person's second factor and every recovery code; false when
// there was no second factor. Two statements: call it inside a
// transaction.
bool RemoveSecondFactor(store::Connection& db, std::int64_t person_id);

// Replaces the person's recovery codes by those hashes, made `now`. Two
// statements and more: call it inside a transaction.
void ReplaceRecoveryCodes(store::Connection& db, std::int64_t person_id,
                          const std::vector<std::string>& hashes, const DateTime& now);

// Marks the person's unused recovery code of that hash used at `now`;
// false when there is none (wrong, used, or another person's).
bool TakeRecoveryCode(store::Connection& db, std::int64_t person_id, const std::string& hash,
                      const DateTime& now);

// How many of the person's recovery codes are still unused.
std::int64_t UnusedRecoveryCodes(store::Connection& db, std::int64_t person_id);

}  // namespace ostrand::web
