#include "web/auth/invitations.h"

#include "core/error.h"
#include "web/auth/personal_tokens.h"
#include "web/auth/session_records.h"
#include "web/data/accounts_table.h"
#include "web/data/tokens_table.h"

namespace ostrand::web {

std::string MakeInvitation(store::Connection& db, std::int64_t person_id, const DateTime& now) {
  if (!FindPerson(db, person_id)) throw Error("no person with id " + std::to_string(person_id));
  std::string token = NewRandomToken();
  PutStoredToken(db, person_id, kInvitationPurpose, TokenHash(token), std::nullopt, now);
  return token;
}

std::optional<Person> OpenInvitation(store::Connection& db, std::string_view token,
                                     const DateTime& now) {
  const std::optional<std::string_view> read = ReadToken(token);
  if (!read) return std::nullopt;
  const std::optional<TokenHolder> holder =
      FindTokenHolder(db, TokenHash(*read), kInvitationPurpose);
  if (!holder || !holder->created_at || holder->created_at->AddDays(kInvitationDays) <= now) {
    return std::nullopt;
  }
  return FindPerson(db, holder->person_id);
}

bool AcceptInvitation(store::Connection& db, std::int64_t person_id, std::string_view token,
                      const std::string& password_hash) {
  const std::optional<TokenHolder> holder =
      FindTokenHolder(db, TokenHash(token), kInvitationPurpose);
  if (!holder || holder->person_id != person_id ||
      !TakeStoredToken(db, TokenHash(token), kInvitationPurpose)) {
    return false;
  }
  StorePasswordHash(db, person_id, password_hash);
  EndSessionRecordsOf(db, person_id);
  return true;
}

}  // namespace ostrand::web
