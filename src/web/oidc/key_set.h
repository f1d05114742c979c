// The provider's signing keys (its JWKS document) and the one check of a
// signed token's signature against them, with cjose. A token is taken only
// in the compact JWS form (three parts: header, payload, signature) with a
// signature of RS256/384/512, PS256/384/512 or ES256/384/512 made with a
// key of the matching type (and curve): unsigned tokens ("alg": "none"),
// HMAC ones (HS*: the provider's public key is no shared secret),
// encrypted ones (JWE) and tokens with "crit" extensions are refused, and
// a key is never taken from the token itself ("jwk", "jku", "x5u").
//
// Plain functions on text, so that any input can be thrown at them.
// Errors are Error: kUnavailable for a key set that does not read (the
// provider's fault), kForbidden for a token that fails, naming the check.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ostrand::web::oidc {

// The most keys of a key set that are kept, and the most bytes of a token.
inline constexpr std::size_t kMostKeys = 64;
inline constexpr std::size_t kLargestToken = 64 * 1024;

// The protected header of a compact JWS, as far as the checks read it.
struct JwsHeader {
  std::string alg;
  std::optional<std::string> kid;
  bool critical = false;  // it has a "crit" member
};

// The header of `token` when it has the compact JWS form and its header
// is a JSON object with a text "alg" (and a text "kid", if any); nothing
// for anything else. Checks no signature.
std::optional<JwsHeader> ReadJwsHeader(std::string_view token);

// The signing keys of one key set. Move-only: it holds cjose's keys.
class KeySet {
 public:
  KeySet();
  ~KeySet();
  KeySet(KeySet&&) noexcept;
  KeySet& operator=(KeySet&&) noexcept;
  KeySet(const KeySet&) = delete;
  KeySet& operator=(const KeySet&) = delete;

  // The keys kept (RSA of at least 2048 bits and EC keys of P-256, P-384
  // and P-521, meant for signatures).
  std::size_t size() const;

  // Whether `token` names a key ("kid") that this set lacks, or names none
  // and this set has no key of its algorithm's type: the keys may have
  // changed at the provider, so that reading them again may help. False
  // for a token that does not read (nothing would help).
  bool LacksKeyFor(std::string_view token) const;

  // The payload of `token` once its signature holds for a key of this set
  // (the one its "kid" names, else each of its algorithm's type). Throws
  // Error (kForbidden) naming the check that fails: the form, the
  // algorithm, the key, the signature.
  std::string VerifiedPayload(std::string_view token) const;

 private:
  friend KeySet ReadKeySet(std::string_view text);
  struct Keys;
  std::unique_ptr<Keys> keys_;
};

// The key set of the JWKS document `text` ({"keys": [...]}). Keys that are
// not for signatures ("use" other than "sig"), of other types or too weak
// are left out, and so are keys whose numbers are no base64url and keys
// cjose does not read otherwise; at most kMostKeys are
// kept. Throws Error (kUnavailable) when the text is no such document or
// no key is left.
KeySet ReadKeySet(std::string_view text);

}  // namespace ostrand::web::oidc
