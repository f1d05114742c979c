#include "web/auth/second_factor.h"

#include <sodium.h>

#include "core/date.h"
#include "web/data/second_factor_table.h"

namespace ostrand::web {
namespace {

// A secret in memory for as long as it is used, wiped when it goes.
struct HeldSecret {
  std::string bytes;
  ~HeldSecret() { sodium_memzero(bytes.data(), bytes.size()); }
};

}  // namespace

std::optional<std::string> SecondFactors::EnrolmentSecret(store::Connection& db,
                                                          std::int64_t person_id,
                                                          std::int64_t now) const {
  store::Transaction transaction(db);
  const std::optional<StoredSecondFactor> stored = FindSecondFactor(db, person_id);
  if (stored && stored->confirmed) return std::nullopt;
  if (stored) {
    if (std::optional<std::string> secret = sealer_.Open(stored->sealed_secret, person_id)) {
      return secret;
    }
  }
  std::string secret = NewCodeSecret();
  PutUnconfirmedSecondFactor(db, person_id, sealer_.Seal(secret, person_id),
                             DateTime::FromUnixSeconds(now));
  transaction.Commit();
  return secret;
}

std::optional<std::vector<std::string>> SecondFactors::Confirm(store::Connection& db,
                                                               std::int64_t person_id,
                                                               std::string_view typed,
                                                               std::int64_t now) const {
  const std::optional<std::string> code = ReadOneTimeCode(typed);
  if (!code) return std::nullopt;
  store::Transaction transaction(db);
  const std::optional<StoredSecondFactor> stored = FindSecondFactor(db, person_id);
  if (!stored || stored->confirmed) return std::nullopt;
  std::optional<std::string> opened = sealer_.Open(stored->sealed_secret, person_id);
  if (!opened) return std::nullopt;
  const HeldSecret secret{std::move(*opened)};
  const std::optional<std::int64_t> step = MatchCode(secret.bytes, *code, now, std::nullopt);
  if (!step || !ConfirmSecondFactor(db, person_id, stored->sealed_secret, *step,
                                    DateTime::FromUnixSeconds(now))) {
    return std::nullopt;
  }
  std::vector<std::string> codes = ReplaceRecoveryCodes(db, person_id, now);
  transaction.Commit();
  return codes;
}

bool SecondFactors::Use(store::Connection& db, std::int64_t person_id, std::string_view typed,
                        std::int64_t now) const {
  if (const std::optional<std::string> code = ReadOneTimeCode(typed)) {
    const std::optional<StoredSecondFactor> stored = FindSecondFactor(db, person_id);
    if (!stored || !stored->confirmed) return false;
    std::optional<std::string> opened = sealer_.Open(stored->sealed_secret, person_id);
    if (!opened) return false;
    const HeldSecret secret{std::move(*opened)};
    const std::optional<std::int64_t> step = MatchCode(secret.bytes, *code, now, stored->last_step);
    return step && TakeCodeStep(db, person_id, *step);
  }
  const std::optional<std::string> recovery = ReadRecoveryCode(typed);
  if (!recovery || !HasConfirmedSecondFactor(db, person_id)) return false;
  return TakeRecoveryCode(db, person_id, RecoveryCodeHash(person_id, *recovery),
                          DateTime::FromUnixSeconds(now));
}

std::vector<std::string> SecondFactors::ReplaceRecoveryCodes(store::Connection& db,
                                                             std::int64_t person_id,
                                                             std::int64_t now) const {
  std::vector<std::string> codes = NewRecoveryCodes();
  std::vector<std::string> hashes;
  hashes.reserve(codes.size());
  for (const std::string& code : codes) {
    hashes.push_back(RecoveryCodeHash(person_id, *ReadRecoveryCode(code)));
  }
  web::ReplaceRecoveryCodes(db, person_id, hashes, DateTime::FromUnixSeconds(now));
  return codes;
}

}  // namespace ostrand::web
