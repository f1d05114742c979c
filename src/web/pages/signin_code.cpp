// The second step of a password sign-in: the pending cookie, the code's
// form at /login/code and its check (pages/signin_flow.h).
#include <optional>
#include <string>

#include "core/error.h"
#include "web/auth/accounts.h"
#include "web/data/persons.h"
#include "web/http/cookies.h"
#include "web/http/form_fields.h"
#include "web/pages/error_answer.h"
#include "web/pages/language_switch.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_paths.h"
#include "web/pages/signin_flow.h"
#include "web/pages/signin_page.h"

namespace ostrand::web {
namespace {

// How long the second step may take after the password, in seconds.
constexpr std::int64_t kPendingLifetime = 300;

// Back to the password, the pending cookie cleared.
http::Response BackToSignIn() {
  http::Response response = http::Response::Redirect(std::string(kSignInPath));
  response.AddHeader("Set-Cookie", http::SetCookieValue(kPendingCookieName, "", kSignInPath, 0));
  return response;
}

http::Response CodeAnswer(int status, Language language, std::string_view pending_id,
                          std::string_view message) {
  http::Response response = HtmlPage(status, CodePage(language, pending_id, message));
  VaryByLanguage(response);
  return response;
}

}  // namespace

http::Response SignInFlow::AskForCode(store::Connection& db, const Person& person,
                                      const std::string& next) const {
  const std::optional<SessionGeneration> generation = CurrentSessionGeneration(db, person.id);
  if (!generation) {
    throw Error("the account of person " + std::to_string(person.id) + " is gone");
  }
  const PendingSignIn pending{person.id, *generation, next, RandomToken(),
                              UnixNow() + kPendingLifetime};
  http::Response response = http::Response::Redirect(std::string(kSecondFactorPath));
  response.AddHeader("Set-Cookie",
                     http::SetCookieValue(kPendingCookieName, signer_.SealPending(pending),
                                          kSignInPath, kPendingLifetime));
  return response;
}

http::Response SignInFlow::ShowCode(const http::Request& request) const {
  const std::optional<std::string_view> cookie =
      http::FindRequestCookie(request, kPendingCookieName);
  const std::optional<PendingSignIn> pending =
      cookie ? signer_.OpenPending(*cookie, UnixNow()) : std::nullopt;
  if (!pending) return BackToSignIn();
  return CodeAnswer(200, RequestLanguage(request), pending->id, "");
}

http::Response SignInFlow::SubmitCode(const http::Request& request) {
  const Language language = RequestLanguage(request);
  try {
    const http::FormFields form = http::FormOf(request);
    const std::optional<std::string_view> cookie =
        http::FindRequestCookie(request, kPendingCookieName);
    const std::optional<PendingSignIn> pending =
        cookie ? signer_.OpenPending(*cookie, UnixNow()) : std::nullopt;
    // A post without our form (another site's), or a cookie run out.
    if (!pending || !SameText(pending->id, http::FieldOrEmpty(form, "pending"))) {
      return BackToSignIn();
    }
    const store::ConnectionPool::Lease db = databases_.OpenHost();
    // A new password, retirement or signing out everywhere since the
    // password was typed ends the sign-in under way as it ends sessions.
    const std::optional<SessionGeneration> generation =
        CurrentSessionGeneration(*db, pending->person);
    const std::optional<Person> person = generation && *generation == pending->generation
                                             ? FindPerson(*db, pending->person)
                                             : std::nullopt;
    if (!person) return BackToSignIn();
    std::optional<DeviceCookie> device;
    if (const std::optional<std::string_view> value =
            http::FindRequestCookie(request, kDeviceCookieName)) {
      device = signer_.OpenDevice(*value, UnixNow());
    }
    const std::string account = PersonAccountKey(person->id);
    const std::string device_id = device && device->account == account ? device->id : "";
    const std::string typed = http::FieldOrEmpty(form, "code");
    const SignInOutcome outcome =
        gate_.CheckCode(*db, *person, request.remote_address, device_id,
                        [&] { return second_factors_.Use(*db, person->id, typed, UnixNow()); });
    // A failure's detail is where it failed: at the code.
    RecordOutcome(*db, outcome, "code", request.remote_address);
    if (outcome.status == SignInOutcome::Status::kSignedIn) {
      // The origin's views need the agent's text to outlive them.
      const std::string agent(request.HeaderValue("User-Agent"));
      const SessionOrigin origin{request.remote_address, agent};
      http::Response response = StartSession(*db, options_, signer_, *person, pending->next, origin,
                                             kSignedInWithPassword);
      response.AddHeader("Set-Cookie", ProvenDeviceCookie(account, device));
      response.AddHeader("Set-Cookie",
                         http::SetCookieValue(kPendingCookieName, "", kSignInPath, 0));
      return response;
    }
    if (outcome.status == SignInOutcome::Status::kThrottled) {
      const std::string seconds = std::to_string(outcome.retry_after.count());
      http::Response response = CodeAnswer(
          429, language, pending->id, Format(language, MessageId::kSignInThrottled, {seconds}));
      response.AddHeader("Retry-After", seconds);
      return response;
    }
    return CodeAnswer(403, language, pending->id, Text(language, MessageId::kCodeWrong));
  } catch (...) {
    return ErrorAnswer(std::current_exception(), language, nullptr);
  }
}

}  // namespace ostrand::web
