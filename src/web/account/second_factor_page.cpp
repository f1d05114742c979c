#include "web/account/second_factor_page.h"

#include <sodium.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/date_text.h"
#include "core/html.h"
#include "web/account/account_page.h"
#include "web/account/qr_svg.h"
#include "web/auth/one_time_codes.h"
#include "web/auth/sign_in.h"
#include "web/data/audit_log.h"
#include "web/data/plan_changes.h"
#include "web/data/second_factor_table.h"
#include "web/http/form_fields.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/error_answer.h"
#include "web/pages/html_form.h"
#include "web/pages/language_switch.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {
namespace {

// A password on its way to the hash pool, wiped when it goes.
struct HeldPassword {
  std::string text;
  ~HeldPassword() { sodium_memzero(text.data(), text.size()); }
};

std::string UtcText(const DateTime& t) { return MinuteText(t) + " UTC"; }

// <p class="C" role="R">TEXT</p>, without the attributes left empty.
void AppendParagraph(std::string& out, std::string_view css_class, std::string_view text,
                     std::string_view role = {}) {
  out += "<p";
  if (!css_class.empty()) {
    out += " class=\"";
    out += css_class;
    out += '"';
  }
  if (!role.empty()) {
    out += " role=\"";
    out += role;
    out += '"';
  }
  out += '>';
  AppendEscapedHtml(out, text);
  out += "</p>\n";
}

// The base32 key in groups of four, as apps show and people type it.
std::string Grouped(std::string_view key) {
  std::string out;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (i > 0 && i % 4 == 0) out += ' ';
    out += key[i];
  }
  return out;
}

void AppendEnrolment(std::string& out, const PageRequest& request, const std::string& secret) {
  const Language language = request.language;
  AppendParagraph(out, "", Text(language, MessageId::kEnrolSteps));
  out += "<div class=\"enrol-qr\">";
  out += QrSvg(OtpAuthUri(request.visitor.person.name, secret),
               Text(language, MessageId::kEnrolQrLabel));
  out += "</div>\n<p class=\"enrol-key\">";
  AppendEscapedHtml(out, Text(language, MessageId::kEnrolKey));
  out += ": <code class=\"secret\">";
  AppendEscapedHtml(out, Grouped(Base32(secret)));
  out += "</code></p>\n";
  AppendFormStart(out, "post", kSecondFactorAccountPath, "enrol");
  out += '\n';
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "action", "confirm");
  AppendLabelledInput(
      out, Text(language, MessageId::kEnrolCodeLabel), "text", "code", std::nullopt,
      "autocomplete=\"one-time-code\" inputmode=\"numeric\" maxlength=\"16\" required");
  AppendSubmitButton(out, Text(language, MessageId::kEnrolButton));
  out += "\n</form>\n";
}

void AppendConfirmed(std::string& out, const PageRequest& request,
                     const StoredSecondFactor& factor) {
  const Language language = request.language;
  AppendParagraph(out, "second-factor-state",
                  Format(language, MessageId::kSecondFactorOn,
                         {factor.confirmed_at ? UtcText(*factor.confirmed_at) : std::string("?")}));
  AppendParagraph(
      out, "",
      Format(language, MessageId::kRecoveryCodesLeft,
             {std::to_string(UnusedRecoveryCodes(request.db, request.visitor.person.id))}));
  AppendParagraph(out, "", Text(language, MessageId::kSecondFactorPasswordNote));
  AppendFormStart(out, "post", kSecondFactorAccountPath, "second-factor-change");
  out += '\n';
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendLabelledInput(out, Text(language, MessageId::kCurrentPassword), "password", "password",
                      std::nullopt, "autocomplete=\"current-password\" required");
  AppendSubmitButton(out, "action", "recovery", Text(language, MessageId::kNewRecoveryCodesButton));
  AppendSubmitButton(out, "action", "remove", Text(language, MessageId::kRemoveSecondFactorButton));
  out += "\n</form>\n";
}

PageReply FactorPage(PageRequest& request, const SecondFactors& factors,
                     const std::optional<std::string>& problem, int status) {
  const Language language = request.language;
  const std::int64_t self = request.visitor.person.id;
  std::optional<StoredSecondFactor> stored = FindSecondFactor(request.db, self);
  std::optional<std::string> secret;
  if (!stored || !stored->confirmed) {
    secret = factors.EnrolmentSecret(request.db, self, UnixNow());
    // Confirmed meanwhile, in another tab: show it so.
    if (!secret) stored = FindSecondFactor(request.db, self);
  }
  std::string out;
  out.reserve(16384);
  AppendPageStart(out, language, Text(language, MessageId::kSecondFactorTitle), &request.visitor,
                  request.here);
  out += "<div class=\"account second-factor\">\n<h1>";
  AppendEscapedHtml(out, Text(language, MessageId::kSecondFactorTitle));
  out += "</h1>\n";
  if (problem) {
    AppendParagraph(out, "error", *problem, "alert");
  } else if (FieldOrEmpty(request.query, "done") == "removed") {
    AppendParagraph(out, "notice", Text(language, MessageId::kSecondFactorRemovedNotice), "status");
  }
  if (secret) {
    if (SecondFactorRequired(request.options, request.visitor)) {
      AppendParagraph(out, "notice", Text(language, MessageId::kSecondFactorRequired), "status");
    }
    AppendParagraph(out, "second-factor-state", Text(language, MessageId::kSecondFactorOff));
    AppendEnrolment(out, request, *secret);
    sodium_memzero(secret->data(), secret->size());
  } else if (stored && stored->confirmed) {
    AppendConfirmed(out, request, *stored);
  }
  out += "</div>\n";
  AppendPageEnd(out);
  return PageReply{status, std::move(out), {}};
}

// The recovery codes, the one time they are shown.
PageReply CodesPage(PageRequest& request, const std::vector<std::string>& codes) {
  const Language language = request.language;
  std::string out;
  AppendPageStart(out, language, Text(language, MessageId::kRecoveryCodesHeading), &request.visitor,
                  request.here);
  out += "<div class=\"account second-factor\">\n<h1>";
  AppendEscapedHtml(out, Text(language, MessageId::kRecoveryCodesHeading));
  out += "</h1>\n";
  AppendParagraph(out, "", Text(language, MessageId::kRecoveryCodesNote));
  out += "<ul class=\"recovery-codes\">\n";
  for (const std::string& code : codes) {
    out += "<li><code>";
    AppendEscapedHtml(out, code);
    out += "</code></li>\n";
  }
  out += "</ul>\n<p><a href=\"";
  AppendEscapedHtml(out, kHomePage);
  out += "\">";
  AppendEscapedHtml(out, Text(language, MessageId::kSecondFactorContinue));
  out += "</a></p>\n</div>\n";
  AppendPageEnd(out);
  return PageReply{200, std::move(out), {}};
}

PageReply Confirm(PageRequest& request, const SecondFactors& factors) {
  const std::string action = FieldOrEmpty(request.form, "action");
  if (action != "confirm") {
    throw HttpError(400, {MessageId::kUnknownAction, {action.substr(0, 32)}});
  }
  const std::int64_t self = request.visitor.person.id;
  if (HasConfirmedSecondFactor(request.db, self)) {
    throw HttpError(400, {MessageId::kUnknownAction, {action}});
  }
  const std::optional<std::vector<std::string>> codes =
      factors.Confirm(request.db, self, FieldOrEmpty(request.form, "code"), UnixNow());
  if (!codes) {
    return FactorPage(request, factors,
                      std::string(Text(request.language, MessageId::kEnrolCodeWrong)), 400);
  }
  RecordAudit(request.db, OwnAudit(request, audit::kSecondFactorEnrolled, "one-time codes"));
  return CodesPage(request, *codes);
}

PageReply Change(PageRequest& request, const SecondFactors& factors, const std::string& action) {
  const std::int64_t self = request.visitor.person.id;
  store::Transaction transaction(request.db);
  if (action == "remove") {
    if (RemoveSecondFactor(request.db, self)) {
      RecordAudit(request.db, OwnAudit(request, audit::kSecondFactorRemoved, "own second factor"));
    }
    transaction.Commit();
    return PageReply{303, {}, http::LinkWithQuery(kSecondFactorAccountPath, {{"done", "removed"}})};
  }
  if (!HasConfirmedSecondFactor(request.db, self)) {
    throw HttpError(400, {MessageId::kUnknownAction, {action}});
  }
  const std::vector<std::string> codes = factors.ReplaceRecoveryCodes(request.db, self, UnixNow());
  RecordAudit(request.db, OwnAudit(request, audit::kRecoveryCodesMade, "own recovery codes"));
  transaction.Commit();
  return CodesPage(request, codes);
}

}  // namespace

http::Response SecondFactorFlow::Show(const http::Request& request) const {
  return runner_.Run(
      request, [this](PageRequest& page) { return FactorPage(page, factors_, std::nullopt, 200); });
}

void SecondFactorFlow::Submit(const http::Request& request, const http::Responder& respond) const {
  const http::FormFields form = http::FormOf(request);
  const std::string action = http::FieldOrEmpty(form, "action");
  if (action != "recovery" && action != "remove") {
    return respond(
        runner_.Run(request, [this](PageRequest& page) { return Confirm(page, factors_); }));
  }
  // On this worker: the session, the CSRF token and that there is a
  // second factor to change. The password then goes the way of a sign-in
  // (auth/signin_gate.h), so that a session in the wrong hands guesses no
  // faster than the sign-in allows.
  std::optional<std::int64_t> self;
  auto password = std::make_shared<HeldPassword>();
  http::Response first = runner_.Run(request, [&](PageRequest& page) {
    if (!HasConfirmedSecondFactor(page.db, page.visitor.person.id)) {
      throw HttpError(400, {MessageId::kUnknownAction, {action}});
    }
    self = page.visitor.person.id;
    password->text = FieldOrEmpty(page.form, "password");
    return PageReply{204, {}, {}};
  });
  if (!self) return respond(std::move(first));
  const Language language = RequestLanguage(request);
  try {
    const store::ConnectionPool::Lease db = databases_.OpenHost();
    SignInAttempt attempt{request.remote_address, std::to_string(*self), password->text};
    check_(
        *db, std::move(attempt),
        [this, request, respond, password, action, language, self = *self](SignInOutcome outcome) {
          if (outcome.status == SignInOutcome::Status::kBusy) {
            return respond(HashPoolBusy(language));
          }
          if (outcome.status == SignInOutcome::Status::kThrottled) {
            return respond(PasswordThrottled(language, outcome.retry_after.count()));
          }
          const bool right = outcome.status == SignInOutcome::Status::kSignedIn && outcome.person &&
                             outcome.person->id == self;
          respond(runner_.Run(request, [&](PageRequest& page) {
            if (!right) {
              return FactorPage(page, factors_,
                                std::string(Text(page.language, MessageId::kCurrentPasswordWrong)),
                                403);
            }
            return Change(page, factors_, action);
          }));
        });
  } catch (...) {
    respond(ErrorAnswer(std::current_exception(), language, nullptr));
  }
}

}  // namespace ostrand::web
