// The checks of an ID token: its signature against the provider's keys
// (key_set.h), then its claims: "iss" is the issuer, "aud" holds this
// client (and with more than one audience "azp" names it; an "azp" must
// name it in any case), "exp" has not passed and "iat" (and an "nbf") has
// come, each within kClockSkew, "nonce" is the one this sign-in sent, and
// "sub" is a subject. Claims are read from the verified payload only.
//
// A plain function on text, with the time passed in, so that any input
// can be thrown at it. Errors are Error of kind kForbidden naming the
// check that failed.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "web/oidc/key_set.h"

namespace ostrand::web::oidc {

// How far the clocks of the provider and this site may differ.
inline constexpr std::chrono::seconds kClockSkew{120};

// The claims of a checked ID token that the site uses.
struct IdTokenClaims {
  std::string issuer;   // "iss"
  std::string subject;  // "sub"
  // The value of the configured claim (OidcOptions::claim), as text (a
  // number in decimal); empty when the token lacks it or it is neither.
  std::string claim;
  std::string name;          // "name", else empty
  std::int64_t expires = 0;  // "exp", Unix seconds
};

// What one token must say.
struct TokenExpectations {
  std::string_view issuer;
  std::string_view client_id;
  std::string_view nonce;
  // The claim whose value IdTokenClaims::claim gives.
  std::string_view claim;
  std::int64_t now = 0;  // Unix seconds
};

// The claims of `token` once every check of the top of this file holds.
// Throws Error (kForbidden) naming the first check that fails.
IdTokenClaims CheckIdToken(std::string_view token, const KeySet& keys,
                           const TokenExpectations& expected);

}  // namespace ostrand::web::oidc
