#include "web/pages/signin_flow.h"

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "core/error.h"
#include "core/text.h"
#include "store/database_error.h"
#include "web/auth/accounts.h"
#include "web/data/accounts_table.h"
#include "web/data/audit_log.h"
#include "web/data/identities.h"
#include "web/data/plan_changes.h"
#include "web/data/second_factor_table.h"
#include "web/http/cookies.h"
#include "web/http/form_fields.h"
#include "web/http/request_values.h"
#include "web/pages/error_answer.h"
#include "web/pages/identity_pages.h"
#include "web/pages/language_switch.h"
#include "web/pages/page_layout.h"
#include "web/pages/signin_page.h"

namespace ostrand::web {
namespace {

// How long a sign-in form (its token and cookie) may be used, in seconds.
constexpr std::int64_t kSignInFormLifetime = 3600;
// How long a browser counts as proven after a sign-in, in seconds: each
// sign-in renews it.
constexpr std::int64_t kDeviceLifetime = 180 * 24 * 3600;

std::string SignInCookie(std::string_view token, std::int64_t max_age) {
  return http::SetCookieValue(kSignInCookieName, token, kSignInPath, max_age);
}

// What the audit log says of an attempt that the directory answered.
constexpr std::string_view kDirectoryDetail = "directory";

// Stores the record. While the database refuses writes (a read-only
// spell) people still sign in, as they still read their pages; the record
// is what is lost.
void RecordQuietly(store::Connection& db, const AuditRecord& record) {
  try {
    RecordAudit(db, record);
  } catch (const store::DatabaseError&) {
  }
}

}  // namespace

bool ThrottledRecords::Record(const std::string& client, std::int64_t now) {
  const std::lock_guard lock(mutex_);
  const auto found = last_.find(client);
  if (found != last_.end()) {
    if (now - found->second < kInterval) return false;
    found->second = now;
    return true;
  }
  if (last_.size() >= kClients) {
    std::erase_if(last_, [now](const auto& entry) { return now - entry.second >= kInterval; });
    if (last_.size() >= kClients) return false;
  }
  last_.emplace(client, now);
  return true;
}

void SignInFlow::RecordOutcome(store::Connection& db, const SignInOutcome& outcome,
                               const std::string& person, std::string_view address) {
  AuditRecord record{UtcNow(), std::nullopt, "", std::nullopt, "", std::string(address)};
  switch (outcome.status) {
    case SignInOutcome::Status::kSignedIn:
      record.kind = audit::kSignIn;
      record.actor = outcome.person->id;
      record.subject = outcome.person->id;
      break;
    case SignInOutcome::Status::kThrottled:
      if (!throttled_records_.Record(ClientAddressKey(address), UnixNow())) return;
      record.kind = audit::kSignInThrottled;
      break;
    case SignInOutcome::Status::kRefused:
      record.kind = audit::kSignInFailed;
      break;
    case SignInOutcome::Status::kBusy:
    case SignInOutcome::Status::kDirectoryDown:
      // Nothing was checked.
      return;
    case SignInOutcome::Status::kIdentified:
      // Recorded once the identity is matched (FinishDirectory).
      return;
  }
  if (!record.actor) {
    // The account the attempt was for, when it named a person; the name
    // as typed, short, whatever it named.
    constexpr std::string_view kPersonKey = "person:";
    if (outcome.account_key.starts_with(kPersonKey)) {
      record.subject = ReadWholeNumber(std::string_view(outcome.account_key).substr(kPersonKey.size()),
                                       kLargestExactId);
    }
    record.detail = ShortDetail(person, kTypedNameLimit);
    if (outcome.account_key.starts_with("directory:")) {
      record.detail = std::string(kDirectoryDetail) + ": " + record.detail;
    }
  }
  RecordQuietly(db, record);
}

SignInOutcome SignInFlow::CheckCredential(store::Connection& db, const Person& person,
                                          const std::string& client_address,
                                          std::string_view what,
                                          const std::function<bool()>& check) {
  SignInOutcome outcome = gate_.CheckCode(db, person, client_address, std::string(), check);
  if (outcome.status == SignInOutcome::Status::kRefused ||
      outcome.status == SignInOutcome::Status::kThrottled) {
    RecordOutcome(db, outcome, std::string(what) + ": " + std::to_string(person.id),
                  client_address);
  }
  return outcome;
}

SignInFlow::SignInFlow(const ServerOptions& options, const Databases& databases,
                       const SessionSigner& signer, PasswordDirectory* directory)
    : options_(options),
      databases_(databases),
      signer_(signer),
      gate_(options.password_limits, options.signin_throttle, options.hash_workers, directory) {}

http::Response SignInFlow::ShowForm(const http::Request& request) const {
  const std::string token = signer_.SignInToken(UnixNow());
  const http::FormFields query = http::ParseFields(request.query);
  http::Response response =
      HtmlPage(200, SignInPage(RequestLanguage(request), token,
                               SafeNextPage(http::FieldOrEmpty(query, "next")), "", "",
                               SignInOfferOf(options_)));
  response.AddHeader("Set-Cookie", SignInCookie(token, kSignInFormLifetime));
  VaryByLanguage(response);
  return response;
}

void SignInFlow::Submit(const http::Request& request, const http::Responder& respond) {
  const Language language = RequestLanguage(request);
  try {
    const http::FormFields form = http::FormOf(request);
    std::string next = SafeNextPage(http::FieldOrEmpty(form, "next"));
    std::string person = std::string(TrimBlanks(http::FieldOrEmpty(form, "person")));
    if (!options_.local_passwords) {
      // Only the provider signs people in: no password is checked, for
      // anybody, whatever the post holds.
      const SignInOffer offer = SignInOfferOf(options_);
      http::Response response = HtmlPage(
          403,
          SignInPage(language, "", next, "",
                     Format(language, MessageId::kLocalPasswordsOff, {offer.provider}), offer));
      VaryByLanguage(response);
      return respond(std::move(response));
    }
    std::string cookie_token =
        std::string(http::FindRequestCookie(request, kSignInCookieName).value_or(""));
    if (cookie_token.empty() || !SameText(cookie_token, http::FieldOrEmpty(form, "signin")) ||
        !signer_.CheckSignInToken(cookie_token, UnixNow(), kSignInFormLifetime)) {
      // No form of ours behind this post (or its cookie expired): offer a
      // fresh one.
      const std::string token = signer_.SignInToken(UnixNow());
      http::Response response = HtmlPage(
          403, SignInPage(language, token, next, person, Text(language, MessageId::kSignInExpired),
                          SignInOfferOf(options_)));
      response.AddHeader("Set-Cookie", SignInCookie(token, kSignInFormLifetime));
      return respond(std::move(response));
    }
    // The person is looked up at once; the connection goes back to the pool
    // before the password waits for the hash pool.
    const store::ConnectionPool::Lease db = databases_.OpenHost();
    std::optional<DeviceCookie> device;
    if (const std::optional<std::string_view> value =
            http::FindRequestCookie(request, kDeviceCookieName)) {
      device = signer_.OpenDevice(*value, UnixNow());
    }
    SignInAttempt attempt{request.remote_address, person, http::FieldOrEmpty(form, "password"),
                          device ? device->account : "", device ? device->id : ""};
    gate_.CheckSignIn(*db, std::move(attempt),
                [this, respond, language, next = std::move(next), person = std::move(person),
                 cookie_token = std::move(cookie_token),
                 device = std::move(device), address = request.remote_address,
                 agent = std::string(request.HeaderValue("User-Agent")),
                 held = &*db, caller = std::this_thread::get_id()](SignInOutcome outcome) {
                  // The lookup's connection is only this thread's while
                  // the gate has not returned; an outcome from the hash
                  // pool (a local check after the directory's answer can
                  // be throttled there) takes one of its own.
                  store::Connection* on_this_thread =
                      std::this_thread::get_id() == caller ? held : nullptr;
                  respond(Finish(outcome, language, next, person, cookie_token, device,
                                 SessionOrigin{address, agent}, on_this_thread));
                });
  } catch (...) {
    respond(ErrorAnswer(std::current_exception(), language, nullptr));
  }
}

http::Response SignInFlow::Finish(const SignInOutcome& outcome, Language language,
                                  const std::string& next, const std::string& person,
                                  const std::string& form_token,
                                  const std::optional<DeviceCookie>& device,
                                  const SessionOrigin& origin, store::Connection* held) {
  try {
    if (outcome.status == SignInOutcome::Status::kIdentified) {
      return FinishDirectory(outcome, language, next, person, form_token, device, origin);
    }
    // A right password of a person with a second factor: the code comes
    // next, and the sign-in is recorded once it is given.
    if (outcome.status == SignInOutcome::Status::kSignedIn) {
      const store::ConnectionPool::Lease db = databases_.OpenHost();
      if (HasConfirmedSecondFactor(*db, outcome.person->id)) {
        return AskForCode(*db, *outcome.person, next);
      }
    }
    if (held != nullptr) {
      RecordOutcome(*held, outcome, person, origin.address);
    } else {
      RecordOutcome(*databases_.OpenHost(), outcome, person, origin.address);
    }
    if (outcome.status != SignInOutcome::Status::kSignedIn) {
      // The message is the same whatever was wrong with person or password.
      const auto [status, message] = SignInRefusal(language, outcome);
      http::Response response = HtmlPage(
          status, SignInPage(language, form_token, next, person, message, SignInOfferOf(options_)));
      VaryByLanguage(response);
      if (outcome.retry_after.count() > 0) {
        response.AddHeader("Retry-After", std::to_string(outcome.retry_after.count()));
      }
      return response;
    }
    const Person& signed_in = *outcome.person;
    http::Response response =
        StartSession(*databases_.OpenHost(), options_, signer_, signed_in, next, origin,
                     kSignedInWithPassword);
    response.AddHeader("Set-Cookie", ProvenDeviceCookie(outcome.account_key, device));
    return response;
  } catch (...) {
    return ErrorAnswer(std::current_exception(), language, nullptr);
  }
}

std::string SignInFlow::ProvenDeviceCookie(const std::string& account_key,
                                           const std::optional<DeviceCookie>& device) const {
  DeviceCookie proven{account_key, RandomToken(), UnixNow() + kDeviceLifetime};
  if (device && device->account == account_key) proven.id = device->id;
  return http::SetCookieValue(kDeviceCookieName, signer_.SealDevice(proven), kSignInPath,
                              kDeviceLifetime);
}

http::Response SignInFlow::FinishDirectory(const SignInOutcome& outcome, Language language,
                                           const std::string& next, const std::string& person,
                                           const std::string& form_token,
                                           const std::optional<DeviceCookie>& device,
                                           const SessionOrigin& origin) {
  const ExternalIdentity& identity = *outcome.identity;
  const store::ConnectionPool::Lease db = databases_.OpenHost();
  const IdentityMatch match = MatchIdentity(*db, identity, options_.auto_create, origin.address);
  AuditRecord record{UtcNow(), std::nullopt, std::string(audit::kSignInFailed), std::nullopt,
                     std::string(kDirectoryDetail) + ": " + ShortDetail(person, kTypedNameLimit),
                     std::string(origin.address)};
  if (match.status == IdentityMatch::Status::kPerson && match.person) {
    record.kind = audit::kSignIn;
    record.actor = match.person->id;
    record.subject = match.person->id;
    record.detail = kDirectoryDetail;
    RecordQuietly(*db, record);
    http::Response response = StartSession(*db, options_, signer_, *match.person, next, origin,
                                           kSignedInWithDirectory);
    response.AddHeader("Set-Cookie", ProvenDeviceCookie(outcome.account_key, device));
    return response;
  }
  if (match.person) record.subject = match.person->id;
  RecordQuietly(*db, record);
  if (match.status == IdentityMatch::Status::kUnlinked) {
    const std::string& who = !identity.display_name.empty() ? identity.display_name
                             : !identity.claim.empty()      ? identity.claim
                                                            : person;
    return UnlinkedIdentityAnswer(language, who);
  }
  // Linked to a person who retired: refused as a stranger is.
  const auto [status, message] =
      SignInRefusal(language, SignInOutcome());  // kRefused
  http::Response response =
      HtmlPage(status, SignInPage(language, form_token, next, person, message));
  VaryByLanguage(response);
  return response;
}

}  // namespace ostrand::web
