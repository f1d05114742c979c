// Personal tokens (web/data/tokens_table.h): the secret in a person's calendar feed
// addresses, which calendar programs fetch without signing in, and the
// bearer token with which the person's own programs read the JSON API.
// Each is 32 bytes in URL-safe base64 (43 characters); the database holds
// only its SHA-256 hash, so a copy of the database opens no feed.
//
// A person has at most one token of each purpose. The feed token is
// derived from a random seed stored with it and the server's secret key,
// so that the subscribe page can show the address again and every server
// sharing the secret file shows the same one; resetting draws a new seed,
// and the old address stops working at the next request. An API token is
// random and shown once, when it is made.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/date.h"
#include "store/connection.h"
#include "web/auth/server_secret.h"

namespace ostrand::web {

enum class TokenPurpose { kFeed, kApi };

// The length of every token.
inline constexpr std::size_t kTokenLength = 43;

// The text when it has the form of a token (kTokenLength characters of
// A-Z a-z 0-9 - _), nothing for anything else: the one check of a token
// that comes from outside, before it is hashed and looked up.
std::optional<std::string_view> ReadToken(std::string_view text);

// What the database keeps of a token (or of any other secret that is
// looked up, such as a session's "rnd" item): the lower-case hex SHA-256
// of its text.
std::string TokenHash(std::string_view token);

// A fresh token: 32 random bytes in URL-safe base64 (kTokenLength
// characters). Throws Error when libsodium cannot start.
std::string NewRandomToken();

class PersonalTokens {
 public:
  // Derives feed tokens with `key`, which must outlive the object.
  explicit PersonalTokens(const SecretKey& key) : key_(key) {}

  // The person's feed token. Made when the person has none, and made
  // anew (the old address then stops working) when the stored hash is not
  // that of the token this key derives, as after the secret file changed.
  // Throws Error naming the id when there is no such person, and the
  // database's Error.
  std::string FeedToken(store::Connection& db, std::int64_t person_id) const;

  // A new feed token for the person; the old one no longer opens anything.
  // Throws as FeedToken.
  std::string ResetFeedToken(store::Connection& db, std::int64_t person_id) const;

  // A new API token for the person, replacing the one before; the caller
  // shows it once, it cannot be read back. Throws as FeedToken.
  static std::string NewApiToken(store::Connection& db, std::int64_t person_id);

  // Ends the person's API token; false when there was none. Throws the
  // database's Error.
  static bool RevokeApiToken(store::Connection& db, std::int64_t person_id);

  // When the person's API token was made (UTC), or nothing without one.
  static std::optional<DateTime> ApiTokenMade(store::Connection& db, std::int64_t person_id);

  // The person whose token of that purpose `token` is, or nothing for a
  // wrong, reset or revoked token or text of another form. The person may
  // have been removed since: the caller looks the person up. Throws the
  // database's Error.
  static std::optional<std::int64_t> FindOwner(store::Connection& db, TokenPurpose purpose,
                                               std::string_view token);

 private:
  std::string Derive(std::int64_t person_id, std::string_view seed) const;
  // Stores the token's hash (and seed) as the person's token of that
  // purpose, replacing any before, in one transaction.
  static void Store(store::Connection& db, std::int64_t person_id, TokenPurpose purpose,
                    const std::string& token, const std::optional<std::string>& seed);

  const SecretKey& key_;
};

}  // namespace ostrand::web
