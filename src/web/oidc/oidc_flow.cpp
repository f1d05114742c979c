#include "web/oidc/oidc_flow.h"

#include <optional>
#include <string>

#include "core/error.h"
#include "core/html.h"
#include "store/database_error.h"
#include "web/auth/personal_tokens.h"
#include "web/auth/sign_in.h"
#include "web/data/audit_log.h"
#include "web/data/identities.h"
#include "web/data/plan_changes.h"
#include "web/data/signin_states.h"
#include "web/http/cookies.h"
#include "web/http/form_fields.h"
#include "web/i18n/http_error.h"
#include "web/oidc/sign_in_round.h"
#include "web/pages/error_answer.h"
#include "web/pages/identity_pages.h"
#include "web/pages/language_switch.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_paths.h"
#include "web/pages/session_start.h"
#include "web/pages/signin_page.h"
#include "web/pages/subscribe_page.h"

namespace ostrand::web::oidc {
namespace {

// The most bytes of a refusal's reason that the audit log keeps.
constexpr std::size_t kReasonLimit = 120;

std::string RoundCookie(std::string_view value, std::int64_t max_age) {
  return http::SetCookieValue(kRoundCookieName, value, kOidcSignInPath, max_age);
}

}  // namespace

OidcFlow::OidcFlow(const ServerOptions& options, const Databases& databases,
                   const SessionSigner& signer)
    : options_(options),
      databases_(databases),
      signer_(signer),
      client_(*options.oidc, options.ca_file) {}

http::Response OidcFlow::Start(const http::Request& request) {
  const Language language = RequestLanguage(request);
  const std::string provider = SignInOfferOf(options_).provider;
  http::Response response;
  try {
    const http::FormFields query = http::ParseFields(request.query);
    const SignInSecrets secrets = NewSignInSecrets();
    SignInRound round{
        secrets.state, secrets.nonce, secrets.code_verifier,
        SiteBase(options_, request.HeaderValue("Host"), std::to_string(request.local_port)) +
            std::string(kOidcCallbackPath),
        SafeNextPage(http::FieldOrEmpty(query, "next"))};
    std::string address;
    try {
      address = client_.AuthorizationUrl(round.redirect_uri, secrets);
      if (!IsCleanTarget(address)) {
        throw Error("its authorization endpoint is no address a header can carry",
                    ErrorKind::kUnavailable);
      }
    } catch (const Error& e) {
      if (e.kind() != ErrorKind::kUnavailable && e.kind() != ErrorKind::kForbidden) throw;
      throw HttpError(503, Message{MessageId::kOidcUnavailable, {provider}},
                      "the OpenID provider: " + e.message_text());
    }
    const std::int64_t now = UnixNow();
    RecordSignInState(*databases_.OpenHost(), TokenHash(round.state), UtcNow(),
                      DateTime::FromUnixSeconds(now + kRoundLifetime));
    response = http::Response::Redirect(address);
    response.AddHeader(
        "Set-Cookie",
        RoundCookie(signer_.SealData(kRoundPurpose, WriteSignInRound(round), now + kRoundLifetime),
                    kRoundLifetime));
    response.AddHeader("Cache-Control", "no-store");
  } catch (...) {
    response = ErrorAnswer(std::current_exception(), language, nullptr);
  }
  VaryByLanguage(response);
  return response;
}

OidcFlow::Outcome OidcFlow::Decide(const http::Request& request, Language language,
                                   const std::string& provider) {
  const auto refused = [&provider, language](std::string reason,
                                             MessageId message = MessageId::kOidcRefused,
                                             std::optional<std::int64_t> person = std::nullopt) {
    return Outcome{
        std::move(reason), person,
        ErrorAnswer(std::make_exception_ptr(HttpError(403, Message{message, {provider}})), language,
                    nullptr)};
  };
  const http::FormFields query = http::ParseFields(request.query);
  const std::optional<std::string_view> cookie = http::FindRequestCookie(request, kRoundCookieName);
  if (!cookie) return refused("no sign-in cookie");
  std::optional<SignInRound> round;
  if (const std::optional<std::string> text = signer_.OpenData(kRoundPurpose, *cookie, UnixNow())) {
    round = ReadSignInRound(*text);
  }
  if (!round) return refused("sign-in cookie expired or forged");
  const std::string state = http::FieldOrEmpty(query, "state");
  if (!SameText(state, round->state)) return refused("state mismatch");
  if (const std::optional<std::string> issuer = http::FindField(query, "iss");
      issuer && *issuer != options_.oidc->issuer) {
    return refused("answer names another issuer");
  }
  // Taken once: a second answer with this state finds no row.
  if (!TakeSignInState(*databases_.OpenHost(), TokenHash(state), UtcNow())) {
    return refused("state used or expired");
  }
  if (const std::optional<std::string> error = http::FindField(query, "error")) {
    return refused("provider answered " + *error, MessageId::kOidcDeclined);
  }
  const std::string code = http::FieldOrEmpty(query, "code");
  if (code.empty()) return refused("no code");
  IdTokenClaims claims;
  try {
    // No database connection is held while the provider answers.
    const std::string id_token =
        client_.ExchangeCode(code, round->redirect_uri, round->code_verifier);
    claims = client_.CheckIdToken(id_token, round->nonce, UnixNow());
  } catch (const HttpError&) {
    throw;
  } catch (const Error& e) {
    if (e.kind() == ErrorKind::kUnavailable) {
      return Outcome{"provider unavailable: " + e.message_text(), std::nullopt,
                     ErrorAnswer(std::make_exception_ptr(HttpError(
                                     503, Message{MessageId::kOidcUnavailable, {provider}},
                                     "the OpenID provider: " + e.message_text())),
                                 language, nullptr)};
    }
    if (e.kind() != ErrorKind::kForbidden) throw;
    return refused(e.message_text());
  }
  const store::ConnectionPool::Lease db = databases_.OpenHost();
  const IdentityMatch match =
      MatchIdentity(*db, ExternalIdentity{claims.issuer, claims.subject, claims.claim, claims.name},
                    options_.auto_create, request.remote_address);
  switch (match.status) {
    case IdentityMatch::Status::kPerson: {
      const SessionOrigin origin{request.remote_address, request.HeaderValue("User-Agent")};
      return Outcome{"", match.person->id,
                     StartSession(*db, options_, signer_, *match.person, round->next, origin,
                                  kSignedInWithProvider)};
    }
    case IdentityMatch::Status::kUnlinked: {
      const std::string& who = !claims.claim.empty()  ? claims.claim
                               : !claims.name.empty() ? claims.name
                                                      : claims.subject;
      return Outcome{"no person linked to " + who, std::nullopt,
                     UnlinkedIdentityAnswer(language, who)};
    }
    case IdentityMatch::Status::kRetired:
      break;
  }
  return refused("person retired", MessageId::kOidcNoAccess,
                 match.person ? std::optional(match.person->id) : std::nullopt);
}

http::Response OidcFlow::Callback(const http::Request& request) {
  const Language language = RequestLanguage(request);
  http::Response response;
  try {
    Outcome outcome = Decide(request, language, SignInOfferOf(options_).provider);
    AuditRecord record{UtcNow(), std::nullopt, "", outcome.person, "", request.remote_address};
    if (outcome.refusal.empty()) {
      record.kind = audit::kSignIn;
      record.actor = outcome.person;
      record.detail = "oidc";
    } else {
      record.kind = audit::kSignInFailed;
      record.detail = ShortDetail("oidc: " + outcome.refusal, kReasonLimit);
    }
    // As with passwords: while the database refuses writes people still
    // sign in, and the record is what is lost.
    try {
      RecordAudit(*databases_.OpenHost(), record);
    } catch (const store::DatabaseError&) {
    }
    response = std::move(outcome.answer);
  } catch (...) {
    response = ErrorAnswer(std::current_exception(), language, nullptr);
  }
  response.AddHeader("Set-Cookie", RoundCookie("", 0));
  response.AddHeader("Cache-Control", "no-store");
  // The code is a secret until it is traded: the access log shows none.
  response.log_target = std::string(kOidcCallbackPath);
  VaryByLanguage(response);
  return response;
}

PageReply OidcFlow::SignOut(PageRequest& request) {
  const bool through_provider =
      request.visitor.session &&
      request.visitor.session->Get("signin").ToText() == kSignedInWithProvider;
  PageReply reply = web::SignOut(request, true);
  if (!through_provider) return reply;
  std::optional<std::string> address;
  try {
    address = client_.EndSessionUrl(SiteBase(request) + std::string(kSignInPath));
  } catch (const Error& e) {
    if (e.kind() != ErrorKind::kUnavailable && e.kind() != ErrorKind::kForbidden) throw;
  }
  // A header cannot carry an address the provider's document spoilt.
  if (!address || !IsCleanTarget(*address)) return reply;
  const Language language = request.language;
  const std::string provider = SignInOfferOf(options_).provider;
  std::string out;
  const std::string_view title = Text(language, MessageId::kOidcSignedOutTitle);
  AppendPageStart(out, language, title, nullptr, kSignInPath);
  out += "<div class=\"signin\">\n<h1>";
  AppendEscapedHtml(out, title);
  out += "</h1>\n<p>";
  AppendEscapedHtml(out, Format(language, MessageId::kOidcSignedOutText, {provider}));
  out += "</p>\n<p class=\"provider-signin\"><a class=\"button\" href=\"";
  AppendEscapedHtml(out, *address);
  out += "\">";
  AppendEscapedHtml(out, Format(language, MessageId::kOidcContinue, {provider}));
  out += "</a></p>\n</div>\n";
  AppendPageEnd(out);
  PageReply page{200, std::move(out)};
  // The browser goes on by itself; the link is there for one that does not.
  page.headers.push_back({"Refresh", "0;url=" + *address});
  return page;
}

}  // namespace ostrand::web::oidc
