#include "web/auth/personal_tokens.h"

#include <sodium.h>

#include <array>

#include "core/error.h"
#include "core/hex.h"
#include "core/sha256.h"
#include "core/sodium_start.h"
#include "web/auth/session_cookie.h"
#include "web/data/persons.h"
#include "web/data/plan_changes.h"
#include "web/data/tokens_table.h"

namespace ostrand::web {
namespace {

constexpr std::size_t kTokenBytes = 32;

std::string_view PurposeName(TokenPurpose purpose) {
  return purpose == TokenPurpose::kFeed ? "feed" : "api";
}

std::string Hex(const unsigned char* bytes, std::size_t size) {
  return HexText(std::span(bytes, size), HexCase::kLower);
}

std::string RandomBytes(std::size_t size) {
  StartSodium();
  std::string bytes(size, '\0');
  randombytes_buf(bytes.data(), bytes.size());
  return bytes;
}

void RequirePerson(store::Connection& db, std::int64_t person_id) {
  if (!FindPerson(db, person_id)) throw Error("no person with id " + std::to_string(person_id));
}

}  // namespace

std::string TokenHash(std::string_view token) {
  return Sha256Hex(token);
}

std::string NewRandomToken() { return UrlSafeBase64(RandomBytes(kTokenBytes)); }

std::optional<std::string_view> ReadToken(std::string_view text) {
  if (text.size() != kTokenLength) return std::nullopt;
  for (const char c : text) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_';
    if (!ok) return std::nullopt;
  }
  return text;
}

std::string PersonalTokens::Derive(std::int64_t person_id, std::string_view seed) const {
  StartSodium();
  // The purpose keeps a feed token apart from every other tag of the key.
  std::string message = "feed-token";
  message += '\0';
  message += std::to_string(person_id);
  message += '\0';
  message += seed;
  std::array<unsigned char, crypto_auth_BYTES> tag{};
  static_assert(crypto_auth_BYTES == kTokenBytes);
  crypto_auth(tag.data(), reinterpret_cast<const unsigned char*>(message.data()), message.size(),
              key_.data());
  return UrlSafeBase64(std::string_view(reinterpret_cast<const char*>(tag.data()), tag.size()));
}

void PersonalTokens::Store(store::Connection& db, std::int64_t person_id, TokenPurpose purpose,
                           const std::string& token, const std::optional<std::string>& seed) {
  ReplaceStoredToken(db, person_id, PurposeName(purpose), TokenHash(token), seed, UtcNow());
}

std::string PersonalTokens::FeedToken(store::Connection& db, std::int64_t person_id) const {
  const std::optional<StoredToken> stored =
      FindStoredToken(db, person_id, PurposeName(TokenPurpose::kFeed));
  if (stored && stored->seed) {
    std::string token = Derive(person_id, *stored->seed);
    if (SameText(TokenHash(token), stored->hash)) return token;
  }
  return ResetFeedToken(db, person_id);
}

std::string PersonalTokens::ResetFeedToken(store::Connection& db, std::int64_t person_id) const {
  RequirePerson(db, person_id);
  const std::string bytes = RandomBytes(16);
  const std::string seed = Hex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  std::string token = Derive(person_id, seed);
  Store(db, person_id, TokenPurpose::kFeed, token, seed);
  return token;
}

std::string PersonalTokens::NewApiToken(store::Connection& db, std::int64_t person_id) {
  RequirePerson(db, person_id);
  std::string token = NewRandomToken();
  Store(db, person_id, TokenPurpose::kApi, token, std::nullopt);
  return token;
}

bool PersonalTokens::RevokeApiToken(store::Connection& db, std::int64_t person_id) {
  return RemoveStoredToken(db, person_id, PurposeName(TokenPurpose::kApi));
}

std::optional<DateTime> PersonalTokens::ApiTokenMade(store::Connection& db,
                                                     std::int64_t person_id) {
  const std::optional<StoredToken> stored =
      FindStoredToken(db, person_id, PurposeName(TokenPurpose::kApi));
  if (!stored) return std::nullopt;
  return stored->created_at;
}

std::optional<std::int64_t> PersonalTokens::FindOwner(store::Connection& db, TokenPurpose purpose,
                                                      std::string_view token) {
  const std::optional<std::string_view> read = ReadToken(token);
  if (!read) return std::nullopt;
  return StoredTokenOwner(db, TokenHash(*read), PurposeName(purpose));
}

}  // namespace ostrand::web
