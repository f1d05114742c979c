// The sign-in at /login and the session behind every other request.
//
// The form posts the fields "person" (a person id or the exact name),
// "password", "next" (the local page to open afterwards) and "signin" (a
// token that must equal the sign-in cookie set with the form, so that no
// other site can sign a browser in behind its back). A good password sets
// the session cookie and leads to "next"; a wrong one answers, after
// failed_signin_delay, the same message whatever was wrong.
//
// Submit runs on the sign-in workers, apart from the page workers. A wait
// before an answer is the response's `delay`: the HTTP server sends the
// answer from a timer, so a waiting sign-in holds no thread; what must last
// until the answer has gone (the sign-in's slot) rides in the response's
// `hold`. A throttle that grows the delay per guesser, or a bounded pool
// for the hashes, plugs in here.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "web/auth/accounts.h"
#include "web/auth/session_cookie.h"
#include "web/auth/visitor.h"
#include "web/data/databases.h"
#include "web/http/request.h"
#include "web/http/response.h"
#include "web/server_options.h"

namespace ostrand::web {

// Name of the cookie that ties a sign-in post to the form it came from.
inline constexpr std::string_view kSignInCookieName = "ostrand_signin";

// Seconds since the Unix epoch, now.
std::int64_t UnixNow();

// The signed-in visitor of the request: the session cookie opened with the
// signer and the person read from the database as it is now. Nothing when
// the request carries no valid, unexpired session or the person no longer
// exists. Throws the database's Error.
std::optional<Visitor> LoadVisitor(const http::Request& request, HostDatabase& db,
                                   const SessionSigner& signer,
                                   const std::set<std::int64_t>& leader_duties);

// The Set-Cookie value that renews the visitor's session cookie (with the
// session items as they are now), or clears it when the visitor's expiry
// has passed.
std::string SessionCookie(const SessionSigner& signer, const Visitor& visitor);

class SignInFlow {
 public:
  // Hashes the stand-in password (see SignInChecker). The references must
  // outlive the flow.
  SignInFlow(const ServerOptions& options, const Databases& databases, const SessionSigner& signer);
  SignInFlow(const SignInFlow&) = delete;
  SignInFlow& operator=(const SignInFlow&) = delete;

  // GET /login: the form, with a fresh sign-in cookie. Needs no database.
  http::Response ShowForm(const http::Request& request) const;

  // POST /login: checks the password (a hash: run it on a worker, never on
  // an I/O thread). Answers 303 to "next" with the session cookie, 403 with
  // the form again (a stale form, or a failed sign-in after the delay), 503
  // when parallel_signins sign-ins are under way or the database is
  // unavailable, 500 with an incident number when something else failed.
  http::Response Submit(const http::Request& request);

 private:
  const ServerOptions& options_;
  const Databases& databases_;
  const SessionSigner& signer_;
  const SignInChecker checker_;
  // Sign-ins under way right now (at most options.parallel_signins).
  std::atomic<std::size_t> signins_running_{0};
};

}  // namespace ostrand::web
