#include "web/account/account_flow.h"

#include <sodium.h>

#include <memory>
#include <optional>
#include <string>

#include "core/error.h"
#include "core/html.h"
#include "web/account/account_page.h"
#include "web/auth/accounts.h"
#include "web/auth/invitations.h"
#include "web/auth/session_records.h"
#include "web/auth/sign_in.h"
#include "web/data/accounts_table.h"
#include "web/data/audit_log.h"
#include "web/data/plan_changes.h"
#include "web/http/form_fields.h"
#include "web/http/url.h"
#include "web/pages/error_answer.h"
#include "web/pages/html_form.h"
#include "web/pages/language_switch.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {
namespace {

// Passwords on their way to the hash pool, wiped when they go.
struct Secrets {
  std::string first;
  std::string second;
  ~Secrets() {
    sodium_memzero(first.data(), first.size());
    sodium_memzero(second.data(), second.size());
  }
};

http::Response Page(int status, std::string body) {
  http::Response response = HtmlPage(status, std::move(body));
  response.AddHeader("Cache-Control", "no-store");
  VaryByLanguage(response);
  return response;
}

http::Response UnusableInvitation(Language language) {
  return Page(404,
              ErrorPage(language, 404, Text(language, MessageId::kInvitationUnusable), nullptr));
}

std::string InviteForm(Language language, const Person& person, std::string_view token,
                       const std::optional<std::string>& problem) {
  std::string out;
  AppendPageStart(out, language, Text(language, MessageId::kInviteTitle), nullptr);
  out += "<div class=\"signin invite\">\n<h1>";
  AppendEscapedHtml(out, Text(language, MessageId::kInviteTitle));
  out += "</h1>\n<p>";
  AppendEscapedHtml(out, Format(language, MessageId::kInviteGreeting, {person.name}));
  out += "</p>\n";
  if (problem) {
    out += "<p class=\"error\" role=\"alert\">";
    AppendEscapedHtml(out, *problem);
    out += "</p>\n";
  }
  out += "<p>";
  AppendEscapedHtml(
      out, Format(language, MessageId::kPasswordRulesNote, {std::to_string(kShortestPassword)}));
  out += "</p>\n";
  AppendFormStart(out, "post", kInvitePath);
  out += '\n';
  AppendHiddenField(out, "token", token);
  AppendLabelledInput(out, Text(language, MessageId::kNewPassword), "password", "password",
                      std::nullopt, "autocomplete=\"new-password\" required");
  AppendLabelledInput(out, Text(language, MessageId::kRepeatPassword), "password", "repeat",
                      std::nullopt, "autocomplete=\"new-password\" required");
  AppendSubmitButton(out, Text(language, MessageId::kChoosePasswordButton));
  out += "\n</form>\n</div>\n";
  AppendPageEnd(out);
  return out;
}

std::string InviteDone(Language language) {
  std::string out;
  AppendPageStart(out, language, Text(language, MessageId::kInviteTitle), nullptr);
  out += "<div class=\"signin invite\">\n<h1>";
  AppendEscapedHtml(out, Text(language, MessageId::kInviteTitle));
  out += "</h1>\n<p class=\"notice\" role=\"status\">";
  AppendEscapedHtml(out, Text(language, MessageId::kInvitePasswordSet));
  out += "</p>\n<p><a href=\"";
  AppendEscapedHtml(out, kSignInPath);
  out += "\">";
  AppendEscapedHtml(out, Text(language, MessageId::kSignInButton));
  out += "</a></p>\n</div>\n";
  AppendPageEnd(out);
  return out;
}

// The password change once the pool has checked and hashed: `hash` empty
// when the current password was wrong.
PageReply FinishPasswordChange(PageRequest& request, const std::string& hash) {
  if (hash.empty()) {
    return AccountPage(request,
                       std::string(Text(request.language, MessageId::kCurrentPasswordWrong)), 403);
  }
  Visitor& visitor = request.visitor;
  const std::int64_t self = visitor.person.id;
  store::Transaction transaction(request.db);
  StorePasswordHash(request.db, self, hash);
  EndSessionRecordsOf(request.db, self, visitor.session->Get("rnd").ToText());
  RecordAudit(request.db, OwnAudit(request, audit::kPasswordChanged, "own password"));
  transaction.Commit();
  // Every other session ended with the raised generation; this one stays.
  if (const std::optional<SessionGeneration> generation =
          CurrentSessionGeneration(request.db, self)) {
    ReissueSession(visitor, *generation);
  }
  return PageReply{303, {}, http::LinkWithQuery(kAccountPath, {{"done", "password"}})};
}

}  // namespace

http::Response HashPoolBusy(Language language) {
  http::Response response = ErrorAnswer(
      std::make_exception_ptr(Error("the hash pool is full", ErrorKind::kBusy)), language, nullptr);
  response.AddHeader("Retry-After", "5");
  return response;
}

http::Response PasswordThrottled(Language language, std::int64_t seconds) {
  const std::string wait = std::to_string(seconds);
  http::Response response =
      Page(429, ErrorPage(language, 429, Format(language, MessageId::kSignInThrottled, {wait}),
                          nullptr));
  response.AddHeader("Retry-After", wait);
  return response;
}

void AccountFlow::SubmitAccount(const http::Request& request,
                                const http::Responder& respond) const {
  const http::FormFields form = http::FormOf(request);
  if (http::FieldOrEmpty(form, "action") != "password") {
    return respond(
        runner_.Run(request, [](PageRequest& page) { return web::SubmitAccount(page); }));
  }
  // On this worker: the session, the CSRF token and the rules. The current
  // password then goes the way of a sign-in (auth/signin_gate.h): counted
  // by the throttle, so that a session in the wrong hands guesses no
  // faster than the sign-in allows, and checked on the hash pool.
  std::optional<std::int64_t> self;
  auto secrets = std::make_shared<Secrets>();
  http::Response first = runner_.Run(request, [&](PageRequest& page) {
    const std::string password = FieldOrEmpty(page.form, "password");
    if (std::optional<std::string> problem = RefuseNewPassword(
            page.language, password, FieldOrEmpty(page.form, "repeat"), page.visitor.person)) {
      return AccountPage(page, std::move(problem), 400);
    }
    self = page.visitor.person.id;
    secrets->first = FieldOrEmpty(page.form, "current");
    secrets->second = password;
    return PageReply{204, {}, {}};
  });
  if (!self) return respond(std::move(first));
  const Language language = RequestLanguage(request);
  const PasswordLimits limits = options_.password_limits;
  try {
    const store::ConnectionPool::Lease db = databases_.OpenHost();
    SignInAttempt attempt{request.remote_address, std::to_string(*self), secrets->first};
    check_(*db, std::move(attempt),
           [this, request, respond, secrets, limits, language, self = *self](SignInOutcome outcome) {
             if (outcome.status == SignInOutcome::Status::kBusy) {
               return respond(HashPoolBusy(language));
             }
             if (outcome.status == SignInOutcome::Status::kThrottled) {
               // On the calling thread, which holds a connection: the
               // answer needs none.
               return respond(PasswordThrottled(language, outcome.retry_after.count()));
             }
             std::string new_hash;
             try {
               if (outcome.status == SignInOutcome::Status::kSignedIn && outcome.person &&
                   outcome.person->id == self) {
                 new_hash = HashPassword(secrets->second, limits);
               }
             } catch (...) {
               return respond(ErrorAnswer(std::current_exception(), language, nullptr));
             }
             respond(runner_.Run(request, [&new_hash](PageRequest& page) {
               return FinishPasswordChange(page, new_hash);
             }));
           });
  } catch (...) {
    respond(ErrorAnswer(std::current_exception(), language, nullptr));
  }
}

http::Response AccountFlow::ShowInvite(const http::Request& request) const {
  http::Response response = InviteAnswer(request);
  // The token opens the account to whoever reads it: the log keeps the path.
  response.log_target = std::string(kInvitePath);
  return response;
}

http::Response AccountFlow::InviteAnswer(const http::Request& request) const {
  const Language language = RequestLanguage(request);
  try {
    const http::FormFields query = http::ParseFields(request.query);
    if (http::FieldOrEmpty(query, "done") == "1") return Page(200, InviteDone(language));
    const std::string token = http::FieldOrEmpty(query, "token");
    const std::optional<Person> person = OpenInvitation(*databases_.OpenHost(), token, UtcNow());
    if (!person) return UnusableInvitation(language);
    return Page(200, InviteForm(language, *person, token, std::nullopt));
  } catch (...) {
    http::Response response = ErrorAnswer(std::current_exception(), language, nullptr);
    VaryByLanguage(response);
    return response;
  }
}

void AccountFlow::SubmitInvite(const http::Request& request, const http::Responder& respond) const {
  const Language language = RequestLanguage(request);
  try {
    const http::FormFields form = http::FormOf(request);
    const std::string token = http::FieldOrEmpty(form, "token");
    auto secrets = std::make_shared<Secrets>();
    secrets->first = http::FieldOrEmpty(form, "password");
    std::optional<Person> person;
    {
      // The connection goes back to the pool before the password waits.
      const store::ConnectionPool::Lease db = databases_.OpenHost();
      person = OpenInvitation(*db, token, UtcNow());
    }
    if (!person) return respond(UnusableInvitation(language));
    if (const std::optional<std::string> problem = RefuseNewPassword(
            language, secrets->first, http::FieldOrEmpty(form, "repeat"), *person)) {
      return respond(Page(400, InviteForm(language, *person, token, problem)));
    }
    const PasswordLimits limits = options_.password_limits;
    const auto job = [this, respond, secrets, limits, language, token, person = *person,
                      address = request.remote_address] {
      try {
        const std::string hash = HashPassword(secrets->first, limits);
        const store::ConnectionPool::Lease db = databases_.OpenHost();
        store::Transaction transaction(*db);
        if (!AcceptInvitation(*db, person.id, token, hash)) {
          return respond(UnusableInvitation(language));
        }
        RecordAudit(*db, AuditRecord{UtcNow(), person.id, std::string(audit::kPasswordChanged),
                                     person.id, "password chosen from an invitation", address});
        transaction.Commit();
        respond(http::Response::Redirect(http::LinkWithQuery(kInvitePath, {{"done", "1"}})));
      } catch (...) {
        respond(ErrorAnswer(std::current_exception(), language, nullptr));
      }
    };
    if (!submit_(job)) respond(HashPoolBusy(language));
  } catch (...) {
    respond(ErrorAnswer(std::current_exception(), language, nullptr));
  }
}

}  // namespace ostrand::web
