// OidcFlow: the site's side of a sign-in with its OpenID provider (the
// authorization code flow with PKCE), and the sign-out that goes on there.
//
// GET /login/oidc?next=PAGE makes fresh secrets (oidc_client.h
// NewSignInSecrets), stores the hash of the state in hostSignInState for
// kRoundLifetime (data/signin_states.h), puts state, nonce, verifier, the
// callback address and `next` into the round cookie (signed with the
// server's key, HttpOnly, SameSite=Lax, only sent to /login/oidc...) and
// sends the browser on to the provider (303).
//
// GET /login/oidc/callback?code=...&state=... (or ?error=...) signs in only
// when everything holds: the round cookie is there and opens, its state
// equals the query's (constant-time), the query names no other issuer,
// this very request deletes the stored state row (so a replayed answer is
// refused even with the same cookie), the provider trades the code (with
// the verifier) for an ID token that passes every check with the nonce.
// The token's identity then finds its person (data/identities.h): a
// person signs in (pages/session_start.h, kSignedInWithProvider); an
// identity nobody is linked to gets the "ask your administrator" page; one
// linked to a retired person is refused. Every answer clears the round
// cookie. Each sign-in and each refusal goes into the audit log with the
// client's address (kinds sign-in and sign-in-failed, a short detail such
// as "oidc: nonce mismatch"; never a code or token), and the access log
// shows the callback without its query.
//
// Answers: 303 into the site; 403 for a refused answer (forged, replayed,
// expired, a token that fails a check); 403 saying the provider did not
// sign the visitor in for the provider's own error; 503 when the provider
// cannot be reached; the database's failures as every page answers them.
//
// Everything here may wait for the network or the database: call it on a
// page worker, never on an I/O thread. Safe from several threads at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "web/auth/session_cookie.h"
#include "web/data/databases.h"
#include "web/http/request.h"
#include "web/http/response.h"
#include "web/i18n/language.h"
#include "web/oidc/oidc_client.h"
#include "web/pages/page_request.h"
#include "web/site/server_options.h"

namespace ostrand::web::oidc {

// The cookie that carries a sign-in's round to the callback, and its path.
inline constexpr std::string_view kRoundCookieName = "ostrand_oidc";
// What the round cookie's signature is made for (SessionSigner::SealData):
// no other signed value of the site opens as a round, nor a round as one
// of them.
inline constexpr std::string_view kRoundPurpose = "oidc-round";
// How long a sign-in at the provider may take, in seconds: the round
// cookie and the stored state expire then.
inline constexpr std::int64_t kRoundLifetime = 600;

class OidcFlow {
 public:
  // Needs options.oidc; the references must outlive the flow. Reads
  // nothing from the provider yet.
  OidcFlow(const ServerOptions& options, const Databases& databases, const SessionSigner& signer);
  OidcFlow(const OidcFlow&) = delete;
  OidcFlow& operator=(const OidcFlow&) = delete;

  // GET /login/oidc, as the top of this file says. Never throws.
  http::Response Start(const http::Request& request);

  // GET /login/oidc/callback, as the top of this file says. Never throws.
  http::Response Callback(const http::Request& request);

  // POST /logout (its CSRF token checked by the page runner): ends the
  // session here as pages/signin_page.h SignOut does; when the session was
  // signed in through the provider and the provider offers RP-initiated
  // sign-out, answers a page that sends the browser on to the provider's
  // end-session address, which returns to the sign-in page. (A page, not a
  // redirect: the pages' form-action policy would stop a redirect of the
  // form's post to another origin.) A provider that cannot be reached then
  // leaves the browser signed out here only. Throws what SignOut throws.
  PageReply SignOut(PageRequest& request);

  OidcClient& client() { return client_; }

 private:
  // How a callback ended: `refusal` says why it did not sign in (for the
  // audit log; empty when it did), `person` whom it was for when known,
  // `answer` what the browser gets.
  struct Outcome {
    std::string refusal;
    std::optional<std::int64_t> person;
    http::Response answer;
  };
  // The checks and the sign-in of a callback, in that order. Throws the
  // database's errors and what the identity match throws.
  Outcome Decide(const http::Request& request, Language language, const std::string& provider);

  const ServerOptions& options_;
  const Databases& databases_;
  const SessionSigner& signer_;
  OidcClient client_;
};

}  // namespace ostrand::web::oidc
