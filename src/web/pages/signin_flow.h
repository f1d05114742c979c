// The sign-in at /login and the session behind every other request.
//
// The form posts the fields "person" (a person id or the exact name),
// "password", "next" (the local page to open afterwards) and "signin" (a
// signed, time-stamped token that must equal the sign-in cookie set with
// the form, so that no other site can sign a browser in behind its back).
// A good password sets the session cookie and the device cookie (which
// marks the browser as one that signed in to that account, so that others'
// failures from its address do not hold it back) and leads to "next"; a
// wrong one answers the same message whatever was wrong; too many failures
// are refused for a while (429, signin_throttle.h). Each sign-in, each
// failed one (with the name as typed, cut to kTypedNameLimit bytes,
// never the password) and a throttled client once a minute are recorded in
// the audit log (web/data/audit_log.h) with the client's address.
//
// With a directory (serve --ldap-url), the directory is asked first
// (SignInGate::CheckSignIn): its user signs in as the person the identity
// is linked to (data/identities.h; a new person with --auto-create), sees
// the "ask your administrator" page while it is linked to nobody, and is
// refused like a stranger when that person retired; the session's
// "signin" item says "ldap", and no second factor is asked (that is for
// local passwords). A name the directory does not know is a local
// account's. While the directory is down, a name without a local password
// gets 503 with Retry-After. The audit records of directory sign-ins say
// "directory" in their detail.
//
// Nothing here holds a thread while it waits: the password is checked on
// the hash pool (signin_gate.h) and the answer goes out from there through
// the request's Responder. A response may also carry a `delay`, which the
// HTTP server waits out with a timer.
//
// A person with a confirmed second factor (auth/second_factor.h) who typed
// the right password gets no session yet: a signed pending cookie
// (SessionSigner::SealPending, five minutes, path /login) names the
// person, the session generation and "next", and the browser goes on to
// /login/code. Its form posts "code" (the six digits of the app, or a
// recovery code) and "pending" (the id inside the cookie). A right code
// starts the session as a password does; a wrong one is counted by the
// throttle as a wrong password and recorded as a failed sign-in with the
// detail "code". The pending cookie no longer serves once the person's
// session generation moved (a new password, retired, signed out
// everywhere). Sign-ins through a provider or directory have no such step.
#pragma once

#include <cstdint>
#include <mutex>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "web/auth/second_factor.h"
#include "web/auth/session_cookie.h"
#include "web/auth/session_records.h"
#include "web/auth/sign_in.h"
#include "web/auth/signin_gate.h"
#include "web/data/databases.h"
#include "web/http/http_server.h"
#include "web/http/request.h"
#include "web/http/response.h"
#include "web/i18n/language.h"
#include "web/pages/session_start.h"
#include "web/site/server_options.h"

namespace ostrand::web {

// Name of the cookie of a sign-in waiting for its second step.
inline constexpr std::string_view kPendingCookieName = "ostrand_pending";

// Which throttled sign-in attempts the audit log records: the first of each
// client (by its throttle key, ClientAddressKey) in a minute, so that a
// client who keeps knocking while held back adds a record a minute at most.
// It remembers at most kClients clients; when full it forgets those whose
// minute is over, and records nobody new until there is room. Safe from any
// thread; throws nothing but for want of memory.
class ThrottledRecords {
 public:
  static constexpr std::size_t kClients = 10000;
  static constexpr std::int64_t kInterval = 60;  // seconds

  // Whether the held-back attempt of `client` at `now` (Unix seconds) is
  // recorded.
  bool Record(const std::string& client, std::int64_t now);

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, std::int64_t> last_;
};

class SignInFlow {
 public:
  // Hashes the stand-in password (see SignInChecker) and starts the hash
  // pool. The references must outlive the flow, and so must the HTTP
  // server whose Responders it is handed (the pool's last answers go out
  // while the flow ends), and so must `directory` (may be null: local
  // accounts only).
  SignInFlow(const ServerOptions& options, const Databases& databases, const SessionSigner& signer,
             PasswordDirectory* directory = nullptr);
  SignInFlow(const SignInFlow&) = delete;
  SignInFlow& operator=(const SignInFlow&) = delete;

  // GET /login: the form, with a fresh sign-in cookie. Needs no database.
  http::Response ShowForm(const http::Request& request) const;

  // POST /login: looks the person up (database work: call it on a worker)
  // and hands the password to the hash pool; `respond` gets the answer from
  // there: 303 to "next" with the session cookie; 403 with the form again
  // (a stale form, or a wrong person or password); 403 with the "ask your
  // administrator" page for a directory user linked to nobody; 429 when
  // throttled, 503 when the hash pool is full and 503 when the directory is
  // down, each with Retry-After; 503 when the database is unavailable; 500
  // with an incident number when something else failed.
  // Without local passwords (serve --no-local-passwords) every post is
  // refused with 403 and the page of the provider's button.
  void Submit(const http::Request& request, const http::Responder& respond);

  std::size_t hash_workers() const { return gate_.hash_workers(); }

  // Runs other password work on the sign-in's hash pool
  // (SignInGate::SubmitHashJob); false when it is full.
  bool SubmitHashJob(std::function<void()> job) { return gate_.SubmitHashJob(std::move(job)); }
  // Checks a password as a sign-in attempt is checked (SignInGate::Check),
  // for the forms that ask a signed-in person's password again.
  void CheckPassword(store::Connection& db, SignInAttempt attempt,
                     std::function<void(SignInOutcome)> done) {
    gate_.Check(db, std::move(attempt), std::move(done));
  }

  // Checks a credential that is no sign-in password, of `person`, under
  // the sign-in throttle (SignInGate::CheckCode): the app passwords of
  // calendar programs. `check` runs on the calling thread when admitted.
  // A refused or throttled attempt is written to the audit log as a web
  // sign-in's is, with `what` ("app password") and the person's number as
  // its detail; a right one is not, since calendar programs sign in with
  // every request.
  SignInOutcome CheckCredential(store::Connection& db, const Person& person,
                                const std::string& client_address, std::string_view what,
                                const std::function<bool()>& check);

  // GET /login/code: the form for the code while the pending cookie
  // serves, else 303 to /login. Needs no database.
  http::Response ShowCode(const http::Request& request) const;
  // POST /login/code (database work: call it on a worker): 303 to "next"
  // with the session cookie for a right code; 403 with the form again for
  // a wrong one; 429 with Retry-After when throttled; 303 to /login
  // (clearing the pending cookie) when the cookie, its form or its
  // generation no longer serves; 503 when the database is unavailable.
  http::Response SubmitCode(const http::Request& request);

 private:
  // The answer to a checked sign-in, once the audit log has its record
  // (a failure to write it answers as any database failure). `held` is the
  // connection of the lookup when the outcome comes on the calling thread
  // (throttled: SignInGate::Check), which the record then uses rather than
  // wait for a second one from the pool. Never throws.
  http::Response Finish(const SignInOutcome& outcome, Language language,
                        const std::string& next, const std::string& person,
                        const std::string& form_token,
                        const std::optional<DeviceCookie>& device,
                        const SessionOrigin& origin, store::Connection* held);
  // The answer to an attempt the directory took (kIdentified): the
  // identity matched to a person, then the session, the unlinked page or
  // the refusal, with the audit record. Throws what MatchIdentity and the
  // database throw.
  http::Response FinishDirectory(const SignInOutcome& outcome, Language language,
                                 const std::string& next, const std::string& person,
                                 const std::string& form_token,
                                 const std::optional<DeviceCookie>& device,
                                 const SessionOrigin& origin);
  // The Set-Cookie value that marks the browser as proven for the account
  // from now on; a browser that was already keeps its id, and with it the
  // failures counted against it.
  std::string ProvenDeviceCookie(const std::string& account_key,
                                 const std::optional<DeviceCookie>& device) const;
  // Writes the audit record of the outcome, if it has one, on `db`.
  void RecordOutcome(store::Connection& db, const SignInOutcome& outcome,
                     const std::string& person, std::string_view address);
  // The answer to a right password of a person with a second factor: the
  // pending cookie and 303 to /login/code.
  http::Response AskForCode(store::Connection& db, const Person& person,
                            const std::string& next) const;

  const ServerOptions& options_;
  const Databases& databases_;
  const SessionSigner& signer_;
  ThrottledRecords throttled_records_;
  SecondFactors second_factors_{options_.secret};
  // Last: destroyed first, so that its last callbacks find the rest.
  SignInGate gate_;
};

}  // namespace ostrand::web
