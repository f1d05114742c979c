// OidcClient: this site as a client (relying party) of one OpenID
// provider. It reads the provider's discovery document and keys over
// HTTPS, builds the address that sends a browser to the provider (the
// authorization code flow with PKCE), trades the code the browser brings
// back for the ID token at the token endpoint, and checks that token: its
// signature against the provider's keys (RS256 and ES256 at least), "iss",
// "aud", "azp", "exp", "iat" (within kClockSkew) and "nonce" (id_token.h).
//
// The discovery document and the keys are read at the first need and
// kept. A token that names a key the kept keys lack has both read again,
// at most once per kKeyRefreshInterval, so that a key rotation at the
// provider is followed and a flood of forged tokens cannot make this site
// hammer the provider.
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
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "web/oidc/https_client.h"
#include "web/oidc/id_token.h"
#include "web/oidc/provider_documents.h"
#include "web/site/server_options.h"

namespace ostrand::web::oidc {

// How often, at most, the provider's documents are read again for a key
// the kept ones lack.
inline constexpr std::chrono::seconds kKeyRefreshInterval{60};

// The fresh secrets of one sign-in: `state` and `nonce` (random, URL-safe)
// and the PKCE code verifier with its S256 challenge.
struct SignInSecrets {
  std::string state;
  std::string nonce;
  std::string code_verifier;
  std::string code_challenge;
};
SignInSecrets NewSignInSecrets();

// The S256 challenge of a PKCE code verifier: the URL-safe base64 (no
// padding) of its SHA-256.
std::string CodeChallenge(std::string_view code_verifier);

class OidcClient {
 public:
  // Keeps copies of the options; `ca_file` (a PEM file, empty: the
  // system's authorities) is what the provider's certificate is checked
  // against. Reads nothing yet.
  OidcClient(const OidcOptions& options, std::string ca_file);
  // The same, with the provider reached through `https` and the time of
  // the key refresh's bound read from `clock` (tests answer from memory
  // and move the clock).
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  OidcClient(const OidcOptions& options, std::unique_ptr<HttpsClient> https,
             Clock clock = std::chrono::steady_clock::now);
  ~OidcClient();
  OidcClient(const OidcClient&) = delete;
  OidcClient& operator=(const OidcClient&) = delete;

  // The provider's metadata: read at the first call and kept (read again
  // when a token names a key the kept keys lack). Throws as above
  // (kUnavailable).
  ProviderMetadata Metadata();

  // The address of the provider's authorization endpoint for a sign-in
  // whose answer comes to `redirect_uri`, with the configured scopes
  // ("openid" always among them), `state`, `nonce` and the S256 code
  // challenge. Throws as Metadata.
  std::string AuthorizationUrl(const std::string& redirect_uri, const SignInSecrets& secrets);

  // Trades the code for the ID token (compact form, not yet checked) at
  // the token endpoint, authenticating with the client secret
  // (client_secret_basic, or client_secret_post when the provider takes
  // only that). Throws as above: kForbidden when the provider refuses the
  // code (a replayed or forged one), kUnavailable otherwise.
  std::string ExchangeCode(const std::string& code, const std::string& redirect_uri,
                           const std::string& code_verifier);

  // Checks the ID token as the top of this file says, `now` in Unix
  // seconds, and gives its claims (the configured claim among them).
  // Throws as above: kForbidden for a token that fails a check,
  // kUnavailable when the keys cannot be read.
  IdTokenClaims CheckIdToken(std::string_view id_token, std::string_view nonce, std::int64_t now);

  // Where the browser goes to sign out at the provider too, coming back to
  // `post_logout_redirect_uri` (with `id_token_hint` when one is given);
  // nothing when the provider offers no RP-initiated sign-out. Throws as
  // Metadata.
  std::optional<std::string> EndSessionUrl(const std::string& post_logout_redirect_uri,
                                           const std::string& id_token_hint = {});

  // How many times the provider's documents were read (the first time
  // included): what bounds the load a flood of tokens puts on it.
  int Reads() const;

  const OidcOptions& options() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ostrand::web::oidc
