// One's second factor at /account/second-factor, for every signed-in
// person (auth/second_factor.h):
//   - without one, enrolling: the secret of the enrolment under way as a QR
//     code of its otpauth:// address (account/qr_svg.h) and in base32 for
//     typing, and the form for a first code, which turns it on; the answer
//     shows the ten recovery codes, once;
//   - with one: since when, how many recovery codes are left, and, after the
//     password again (checked as a sign-in is, throttle included), new
//     recovery codes (shown once) or turning it off.
// Each change is an audit row. Like every page, none is stored by the
// browser (no-store), which matters here: they hold the secret or the
// codes.
//
// POST fields: csrf (checked by the page runner) and action: "confirm"
// (code), "recovery" or "remove" (password).
#pragma once

#include "web/account/account_flow.h"
#include "web/auth/second_factor.h"
#include "web/data/databases.h"
#include "web/http/http_server.h"
#include "web/http/request.h"
#include "web/pages/page_runner.h"
#include "web/site/server_options.h"

namespace ostrand::web {

class SecondFactorFlow {
 public:
  // The references must outlive the flow; `check` answers on the hash
  // pool, whose jobs must all have run before the flow goes.
  SecondFactorFlow(const ServerOptions& options, const Databases& databases,
                   const PageRunner& runner, AccountFlow::PasswordChecker check)
      : options_(options),
        databases_(databases),
        runner_(runner),
        check_(std::move(check)),
        factors_(options.secret) {}
  SecondFactorFlow(const SecondFactorFlow&) = delete;
  SecondFactorFlow& operator=(const SecondFactorFlow&) = delete;

  // GET: the page (an enrolment under way is stored unconfirmed when the
  // person has none). Call it on a page worker.
  http::Response Show(const http::Request& request) const;

  // POST: "confirm" answers 200 with the recovery codes, 400 with the
  // enrolment again for a code that is not right; "recovery" answers 200
  // with the new codes and "remove" 303 back to the page, each after the
  // password: 403 with the page for a wrong one, 429 with Retry-After when
  // throttled, 503 when the hash pool is full; 400 for an unknown action
  // or one that does not fit (confirming with a second factor on, removing
  // without one). Call it on a page worker.
  void Submit(const http::Request& request, const http::Responder& respond) const;

 private:
  const ServerOptions& options_;
  const Databases& databases_;
  const PageRunner& runner_;
  AccountFlow::PasswordChecker check_;
  SecondFactors factors_;
};

}  // namespace ostrand::web
