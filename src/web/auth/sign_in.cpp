#include "web/auth/sign_in.h"

#include <chrono>
#include <memory>

#include "core/text.h"
#include "web/http/cookies.h"
#include "web/http/form_fields.h"
#include "web/http/http_error.h"
#include "web/http/request_values.h"
#include "web/pages/page_layout.h"
#include "web/pages/signin_page.h"

namespace ostrand::web {
namespace {

// How long the sign-in form stays good.
constexpr std::int64_t kSignInFormLifetime = 3600;

std::string SignInCookie(std::string_view token, std::int64_t max_age) {
  return http::SetCookieValue(kSignInCookieName, token, kSignInPath, max_age);
}

}  // namespace

std::int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::optional<Visitor> LoadVisitor(const http::Request& request, HostDatabase& db,
                                   const SessionSigner& signer,
                                   const std::set<std::int64_t>& leader_duties) {
  const std::optional<std::string_view> cookie =
      http::FindRequestCookie(request, kSessionCookieName);
  if (!cookie || cookie->empty()) return std::nullopt;
  std::optional<OpenedSession> opened = signer.Open(*cookie, UnixNow());
  if (!opened) return std::nullopt;
  const Value person_id = opened->items->Get("personID");
  const Value rnd = opened->items->Get("rnd");
  if (!person_id.is_numeric() || !rnd.is_text() || rnd.text().empty()) return std::nullopt;
  std::optional<Person> person = FindPerson(db, static_cast<std::int64_t>(person_id.ToNumber()));
  if (!person) return std::nullopt;

  Visitor visitor;
  visitor.person = std::move(*person);
  visitor.leader = IsLeader(visitor.person, leader_duties);
  visitor.session = std::move(opened->items);
  visitor.expires = opened->expires;
  visitor.csrf_token = signer.CsrfToken(rnd.text());
  // The person may have changed system since signing in; pages follow the
  // database, not the cookie.
  visitor.session->Set("systemID",
                       visitor.person.system_id ? IdValue(*visitor.person.system_id) : Value());
  return visitor;
}

std::string SessionCookie(const SessionSigner& signer, const Visitor& visitor) {
  return http::SetCookieValue(kSessionCookieName, signer.Seal(*visitor.session, visitor.expires),
                              "/", visitor.expires - UnixNow());
}

SignInFlow::SignInFlow(const ServerOptions& options, const Databases& databases,
                       const SessionSigner& signer)
    : options_(options),
      databases_(databases),
      signer_(signer),
      checker_(options.password_limits) {}

http::Response SignInFlow::ShowForm(const http::Request& request) const {
  const std::string token = RandomToken();
  const http::FormFields query = http::ParseFields(request.query);
  http::Response response =
      HtmlPage(200, SignInPage(token, SafeNextPage(http::FieldOrEmpty(query, "next")), "", ""));
  response.AddHeader("Set-Cookie", SignInCookie(token, kSignInFormLifetime));
  return response;
}

http::Response SignInFlow::Submit(const http::Request& request) {
  try {
    const http::FormFields form = http::FormOf(request);
    const std::string next = SafeNextPage(http::FieldOrEmpty(form, "next"));
    const std::string person = std::string(TrimBlanks(http::FieldOrEmpty(form, "person")));
    const std::string cookie_token =
        std::string(http::FindRequestCookie(request, kSignInCookieName).value_or(""));
    if (cookie_token.empty() || !SameText(cookie_token, http::FieldOrEmpty(form, "signin"))) {
      // No form of ours behind this post (or its cookie expired): offer a
      // fresh one.
      const std::string token = RandomToken();
      http::Response response =
          HtmlPage(403, SignInPage(token, next, person, "登录表单已过期，请重新登录。"));
      response.AddHeader("Set-Cookie", SignInCookie(token, kSignInFormLifetime));
      return response;
    }
    // A slot for the check and the delay after a failure; without one the
    // sign-in is turned away at once. The slot is released when the answer
    // has gone out.
    struct Leave {
      explicit Leave(std::atomic<std::size_t>& counter) : running(counter) {}
      Leave(const Leave&) = delete;
      Leave& operator=(const Leave&) = delete;
      ~Leave() { --running; }
      std::atomic<std::size_t>& running;
    };
    const bool slot_free = ++signins_running_ <= options_.parallel_signins;
    const auto leave = std::make_shared<const Leave>(signins_running_);
    if (!slot_free) {
      http::Response response = HtmlPage(503, SignInPage(cookie_token, next, person, kSignInBusy));
      response.AddHeader("Retry-After", "5");
      return response;
    }
    const std::unique_ptr<HostDatabase> db = databases_.OpenHost();
    const std::optional<Person> signed_in =
        checker_.Check(*db, person, http::FieldOrEmpty(form, "password"));
    if (!signed_in) {
      // Slow down guessing; the message is the same whatever was wrong. The
      // delay holds no thread, only the slot.
      http::Response response =
          HtmlPage(403, SignInPage(cookie_token, next, person, kSignInFailed));
      response.delay = options_.failed_signin_delay;
      response.hold = leave;
      return response;
    }
    host::MemorySession session;
    session.Set("personID", IdValue(signed_in->id));
    if (signed_in->system_id) {
      session.Set("systemID", IdValue(*signed_in->system_id));
    }
    session.Set("rnd", Value::Text(RandomToken()));
    const std::int64_t lifetime = options_.session_lifetime.count();
    http::Response response = http::Response::Redirect(next);
    response.AddHeader(
        "Set-Cookie",
        http::SetCookieValue(kSessionCookieName, signer_.Seal(session, UnixNow() + lifetime), "/",
                             lifetime));
    response.AddHeader("Set-Cookie", SignInCookie("", 0));
    response.person = signed_in->id;
    return response;
  } catch (const HttpError& e) {
    return ErrorResponse(e, nullptr);
  } catch (const std::exception& e) {
    return FailureResponse(e.what(), nullptr);
  }
}

}  // namespace ostrand::web
