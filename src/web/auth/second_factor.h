// A person's second factor as the site uses it: enrolling (a fresh secret,
// which counts once a first code proved it), the code or recovery code of
// a sign-in's second step, new recovery codes, and removing it. The codes
// and the sealing are auth/one_time_codes.h; the rows are
// data/second_factor_table.h. Times are Unix seconds, passed in, so that
// tests can pick them.
//
// Every function throws the database's Error, and Error when liboath or
// libsodium fail.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/connection.h"
#include "web/auth/one_time_codes.h"
#include "web/auth/server_secret.h"

namespace ostrand::web {

class SecondFactors {
 public:
  // Seals secrets with a key derived from `server_key`.
  explicit SecondFactors(const SecretKey& server_key) : sealer_(server_key) {}
  SecondFactors(const SecondFactors&) = delete;
  SecondFactors& operator=(const SecondFactors&) = delete;

  // The secret of the person's enrolment under way: the one stored
  // unconfirmed, or (when there is none, or it no longer opens) a fresh
  // one stored so. Nothing when the person has a confirmed second factor.
  // In a transaction of its own.
  std::optional<std::string> EnrolmentSecret(store::Connection& db, std::int64_t person_id,
                                             std::int64_t now) const;

  // Confirms the enrolment under way with a first code (as typed, to be
  // right within the window: one_time_codes.h MatchCode): the second factor
  // counts from now on and the person's first recovery codes are made;
  // they are returned, the only time they are seen. Nothing when the code
  // is not right, or no enrolment is under way. In a transaction of its
  // own.
  std::optional<std::vector<std::string>> Confirm(store::Connection& db, std::int64_t person_id,
                                                  std::string_view typed, std::int64_t now) const;

  // The second step of a sign-in: whether `typed` is a right one-time code
  // of the person's confirmed second factor (whose step is then taken, so
  // that it never works again) or one of the person's unused recovery
  // codes (which is then used up). False for anything else, and when the
  // person has no confirmed second factor.
  bool Use(store::Connection& db, std::int64_t person_id, std::string_view typed,
           std::int64_t now) const;

  // New recovery codes for the person, replacing every old one, inside the
  // caller's transaction; returned the only time they are seen.
  std::vector<std::string> ReplaceRecoveryCodes(store::Connection& db, std::int64_t person_id,
                                                std::int64_t now) const;

 private:
  SecretSealer sealer_;
};

}  // namespace ostrand::web
