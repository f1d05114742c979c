// OidcClient: this site as a client (relying party) of one OpenID
// provider. It reads the provider's discovery document and keys over
// HTTPS, builds the address that sends a browser to the provider (the
// authorization code flow with PKCE), trades the code the browser brings
// back for the ID token at the token endpoint, and checks that token: its
// signature against the provider's keys (RS256 and ES256 at least), "iss",
// "aud", "azp", "exp", "iat" (within kClockSkew) and "nonce".
//
// Nothing here knows the site's pages or sessions (oidc_flow.h does).
// Safe to use from several threads at once. Errors are Error of kind
// kUnavailable (the provider cannot be reached, or answers what does not
// read as its documents: the sign-in cannot go on now) or kForbidden (the
// provider refused the code, or the token fails a check: this sign-in is
// refused), each naming what failed, never the client secret.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "web/site/server_options.h"

namespace ostrand::web::oidc {

// How far the clocks of the provider and this site may differ.
inline constexpr std::chrono::seconds kClockSkew{120};

// What the provider's discovery document says that this client uses.
struct ProviderMetadata {
  std::string issuer;
  std::string authorization_endpoint;
  std::string token_endpoint;
  std::string jwks_uri;
  // RP-initiated sign-out; empty when the provider offers none.
  std::string end_session_endpoint;
};

// The claims of a checked ID token that the site uses.
struct IdTokenClaims {
  std::string issuer;   // "iss"
  std::string subject;  // "sub"
  // The value of the configured claim (OidcOptions::claim), as text; empty
  // when the token lacks it.
  std::string claim;
  std::string name;  // "name", else empty
  std::int64_t expires = 0;  // "exp", Unix seconds
};

// The fresh secrets of one sign-in: `state` and `nonce` (random, URL-safe)
// and the PKCE code verifier with its S256 challenge.
struct SignInSecrets {
  std::string state;
  std::string nonce;
  std::string code_verifier;
  std::string code_challenge;
};
SignInSecrets NewSignInSecrets();

class OidcClient {
 public:
  // Keeps copies of the options; `ca_file` (a PEM file, empty: the
  // system's authorities) is what the provider's certificate is checked
  // against. Reads nothing yet.
  OidcClient(const OidcOptions& options, std::string ca_file);
  ~OidcClient();
  OidcClient(const OidcClient&) = delete;
  OidcClient& operator=(const OidcClient&) = delete;

  // The provider's metadata: read at the first call and kept (read again
  // when a token names a key the kept keys lack). Throws as above.
  ProviderMetadata Metadata();

  // The address of the provider's authorization endpoint for a sign-in
  // whose answer comes to `redirect_uri`, with the configured scopes.
  std::string AuthorizationUrl(const std::string& redirect_uri, const SignInSecrets& secrets);

  // Trades the code for the ID token (compact form) at the token
  // endpoint, authenticating with the client secret. Throws as above.
  std::string ExchangeCode(const std::string& code, const std::string& redirect_uri,
                           const std::string& code_verifier);

  // Checks the ID token as the top of this file says, `now` in Unix
  // seconds, and gives its claims. Throws as above.
  IdTokenClaims CheckIdToken(std::string_view id_token, std::string_view nonce, std::int64_t now);

  // Where the browser goes to sign out at the provider too, coming back to
  // `post_logout_redirect_uri`; nothing when the provider offers no
  // RP-initiated sign-out.
  std::optional<std::string> EndSessionUrl(const std::string& post_logout_redirect_uri);

  const OidcOptions& options() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ostrand::web::oidc
