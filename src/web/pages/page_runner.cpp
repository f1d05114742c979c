#include "web/pages/page_runner.h"

#include <memory>
#include <optional>

#include "core/text.h"
#include "web/auth/sign_in.h"
#include "web/data/second_factor_table.h"
#include "web/http/cookies.h"
#include "web/http/form_fields.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/error_answer.h"
#include "web/pages/language_switch.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_paths.h"
#include "web/pages/session_start.h"

namespace ostrand::web {
namespace {

// A file a page gives for download: private to the visitor, never cached.
http::Response DownloadResponse(PageReply reply) {
  http::Response response(reply.status, reply.content_type, std::move(reply.body));
  response.AddHeader("Cache-Control", "no-store");
  for (const http::Header& header : reply.headers) response.AddHeader(header.name, header.value);
  return response;
}

// Whether the visitor must enrol a second factor before any page but its
// own and the sign-out opens (serve --require-second-factor): a password
// sign-in of a person the rule names who has none yet. Sessions from a
// provider or directory are left alone: the second factor is of local
// passwords.
bool MustEnrolFirst(const ServerOptions& options, const Visitor& visitor,
                    std::string_view path, store::Connection& db) {
  if (!SecondFactorRequired(options, visitor)) return false;
  if (path == kSecondFactorAccountPath || path == kSignOutPath) return false;
  const std::string how = visitor.session->Get("signin").ToText();
  if (!how.empty() && how != kSignedInWithPassword) return false;
  return !HasConfirmedSecondFactor(db, visitor.person.id);
}

}  // namespace

bool SecondFactorRequired(const ServerOptions& options, const Visitor& visitor) {
  switch (options.second_factor) {
    case SecondFactorRule::kOptional:
      return false;
    case SecondFactorRule::kAdministrators:
      return visitor.admin;
    case SecondFactorRule::kEverybody:
      return true;
  }
  return false;
}

http::Response PageRunner::Run(const http::Request& request, const PageFunction& page) const {
  http::Response response = Answer(request, page);
  VaryByLanguage(response);
  return response;
}

http::Response PageRunner::Answer(const http::Request& req, const PageFunction& page) const {
  std::optional<Visitor> visitor;
  const Language language = RequestLanguage(req);
  try {
    const store::ConnectionPool::Lease db = databases_.OpenHost();
    visitor = LoadVisitor(req, *db, signer_, LeadingDutiesNow(options_, *db));
    if (!visitor) {
      http::Response response =
          http::Response::Redirect(http::LinkWithQuery(kSignInPath, {{"next", req.target}}));
      if (http::FindRequestCookie(req, kSessionCookieName)) {
        response.AddHeader("Set-Cookie", http::SetCookieValue(kSessionCookieName, "", "/", 0));
      }
      return response;
    }
    if (MustEnrolFirst(options_, *visitor, req.path, *db)) {
      http::Response response = http::Response::Redirect(std::string(kSecondFactorAccountPath));
      response.person = visitor->person.id;
      return response;
    }
    PageRequest request{options_,          databases_, *db,
                        *visitor,          req.path,   http::ParseFields(req.query),
                        http::FormOf(req), {},
                        language,          req.target, &req};
    if (req.method == "POST" &&
        !CsrfTokenHolds(visitor->session_csrf_token, FieldOrEmpty(request.form, "csrf"))) {
      throw HttpError(403, {MessageId::kFormExpired, {}});
    }
    request.server_variables = {
        {"URL", req.path},
        {"QUERY_STRING", req.query},
        {"REQUEST_METHOD", req.method},
        {"REMOTE_ADDR", req.remote_address},
        {"SERVER_NAME", options_.host},
        {"SERVER_PORT", std::to_string(req.local_port)},
        {"HTTP_HOST", std::string(req.HeaderValue("Host"))},
    };
    PageReply reply = page(request);
    const bool download = reply.location.empty() && !reply.content_type.empty();
    http::Response response = !reply.location.empty()
                                  ? http::Response::Redirect(reply.location)
                                  : reply.content_type.empty()
                                        ? HtmlPage(reply.status, std::move(reply.body))
                                        : DownloadResponse(std::move(reply));
    if (!download) {
      for (const http::Header& header : reply.headers) response.AddHeader(header.name, header.value);
    }
    if (std::optional<std::string> cookie = SessionCookie(signer_, *visitor)) {
      response.AddHeader("Set-Cookie", std::move(*cookie));
    }
    response.person = visitor->person.id;
    return response;
  } catch (...) {
    http::Response response =
        ErrorAnswer(std::current_exception(), language, visitor ? &*visitor : nullptr);
    if (visitor) response.person = visitor->person.id;
    return response;
  }
}

}  // namespace ostrand::web
