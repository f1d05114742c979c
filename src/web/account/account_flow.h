// The two forms whose password is hashed: the password change on /account
// and the password chosen from an invitation on /invite. Neither hashes on
// a page worker: the cheap checks (session, CSRF, the invitation, the
// password rules) run there, the hashing on the sign-in's hash pool, and
// the answer goes out from the pool, as the sign-in's does
// (pages/signin_flow.h).
//
// /invite needs no sign-in: its token is the secret, which no other site
// can know, so it also stands in for a CSRF token. GET /invite?token=T
// shows the person's name and the form (fields token, password, repeat);
// a token that is malformed, unknown, used, replaced or expired answers the
// same 404 page. A good POST sets the password (which ends every session
// of the person), removes the invitation, records the change, and leads to
// /invite?done=1, which sends the person on to sign in with it.
#pragma once

#include <functional>

#include "web/auth/signin_gate.h"
#include "web/data/databases.h"
#include "web/http/http_server.h"
#include "web/http/request.h"
#include "web/pages/page_runner.h"
#include "web/site/server_options.h"

namespace ostrand::web {

// The answers of a form whose password check could not run: the hash
// pool is full (503, Retry-After: 5), or the throttle holds the visitor
// back for `seconds` (429 with Retry-After). Each a page in the language.
http::Response HashPoolBusy(Language language);
http::Response PasswordThrottled(Language language, std::int64_t seconds);

class AccountFlow {
 public:
  // Runs a job on the hash pool; false when its queue is full.
  using HashSubmitter = std::function<bool(std::function<void()>)>;
  // Checks a password as a sign-in attempt (SignInGate::Check: throttled,
  // on the hash pool, the outcome to the callback).
  using PasswordChecker =
      std::function<void(store::Connection&, SignInAttempt, std::function<void(SignInOutcome)>)>;

  // The references must outlive the flow, and the submitter's pool must run
  // every job it accepted before the flow goes.
  AccountFlow(const ServerOptions& options, const Databases& databases, const PageRunner& runner,
              HashSubmitter submit, PasswordChecker check)
      : options_(options),
        databases_(databases),
        runner_(runner),
        submit_(std::move(submit)),
        check_(std::move(check)) {}
  AccountFlow(const AccountFlow&) = delete;
  AccountFlow& operator=(const AccountFlow&) = delete;

  // POST /account: the password change, else the other actions
  // (account_page.h). The current password is checked as a sign-in is,
  // throttle included (429 with Retry-After). A wrong one answers 403 with the page, a
  // refused new one 400; success 303 to the page, the session cookie
  // reissued, every other session of the person ended. 503 when the hash
  // pool is full. Call it on a page worker.
  void SubmitAccount(const http::Request& request, const http::Responder& respond) const;

  // GET /invite. Call it on a page worker.
  http::Response ShowInvite(const http::Request& request) const;
  // POST /invite. Call it on a page worker.
  void SubmitInvite(const http::Request& request, const http::Responder& respond) const;

 private:
  http::Response InviteAnswer(const http::Request& request) const;

  const ServerOptions& options_;
  const Databases& databases_;
  const PageRunner& runner_;
  HashSubmitter submit_;
  PasswordChecker check_;
};

}  // namespace ostrand::web
