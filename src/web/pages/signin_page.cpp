#include "web/pages/signin_page.h"

#include "core/html.h"
#include "core/utf8.h"
#include "web/auth/accounts.h"
#include "web/http/url.h"
#include "web/pages/html_form.h"
#include "web/pages/page_audit.h"
#include "web/pages/page_layout.h"

namespace ostrand::web {

SignInOffer SignInOfferOf(const ServerOptions& options) {
  SignInOffer offer;
  offer.passwords = options.local_passwords;
  if (!options.oidc) return offer;
  offer.provider = options.oidc->display_name;
  if (offer.provider.empty()) {
    // The host (and port) of the issuer's address.
    std::string_view host = options.oidc->issuer;
    if (const std::size_t scheme = host.find("://"); scheme != std::string_view::npos) {
      host.remove_prefix(scheme + 3);
    }
    offer.provider = std::string(host.substr(0, host.find('/')));
  }
  return offer;
}

std::string SignInPage(Language language, std::string_view signin_token, std::string_view next,
                       std::string_view person, std::string_view message,
                       const SignInOffer& offer) {
  std::string out;
  out.reserve(2048);
  const std::string here = http::LinkWithQuery(kSignInPath, {{"next", next}});
  AppendPageStart(out, language, Text(language, MessageId::kSignInTitle), nullptr, here);
  out += "<div class=\"signin\">\n<h1>";
  AppendEscapedHtml(out, Text(language, MessageId::kSiteName));
  out += "</h1>\n";
  if (!message.empty()) {
    out += "<p class=\"error\" role=\"alert\">";
    AppendEscapedHtml(out, message);
    out += "</p>\n";
  }
  if (!offer.provider.empty()) {
    // A link rather than a form: the provider's address is reached by
    // redirects, which the pages' form-action policy would stop.
    out += "<p class=\"provider-signin\"><a class=\"button\" href=\"";
    AppendEscapedHtml(out, http::LinkWithQuery(kOidcSignInPath, {{"next", next}}));
    out += "\">";
    AppendEscapedHtml(out, Format(language, MessageId::kOidcSignInWith, {offer.provider}));
    out += "</a></p>\n";
    if (offer.passwords) {
      out += "<p class=\"signin-or\">";
      AppendEscapedHtml(out, Text(language, MessageId::kOidcOr));
      out += "</p>\n";
    }
  }
  if (!offer.passwords) {
    out += "</div>\n";
    AppendPageEnd(out);
    return out;
  }
  AppendFormStart(out, "post", kSignInPath);
  out += '\n';
  AppendHiddenField(out, "signin", signin_token);
  out += '\n';
  AppendHiddenField(out, "next", next);
  out += '\n';
  AppendLabelledInput(out, Text(language, MessageId::kSignInPerson), "text", "person", person,
                      "autocomplete=\"username\" required autofocus");
  AppendLabelledInput(out, Text(language, MessageId::kSignInPassword), "password", "password",
                      std::nullopt, "autocomplete=\"current-password\" required");
  AppendSubmitButton(out, Text(language, MessageId::kSignInButton));
  out += "\n</form>\n</div>\n";
  AppendPageEnd(out);
  return out;
}

std::string CodePage(Language language, std::string_view pending_id, std::string_view message) {
  std::string out;
  out.reserve(2048);
  AppendPageStart(out, language, Text(language, MessageId::kCodeTitle), nullptr,
                  kSecondFactorPath);
  out += "<div class=\"signin second-step\">\n<h1>";
  AppendEscapedHtml(out, Text(language, MessageId::kCodeTitle));
  out += "</h1>\n";
  if (!message.empty()) {
    out += "<p class=\"error\" role=\"alert\">";
    AppendEscapedHtml(out, message);
    out += "</p>\n";
  }
  out += "<p>";
  AppendEscapedHtml(out, Text(language, MessageId::kCodePrompt));
  out += "</p>\n";
  AppendFormStart(out, "post", kSecondFactorPath);
  out += '\n';
  AppendHiddenField(out, "pending", pending_id);
  out += '\n';
  AppendLabelledInput(out, Text(language, MessageId::kCodeLabel), "text", "code", std::nullopt,
                      "autocomplete=\"one-time-code\" autocapitalize=\"off\" spellcheck=\"false\" "
                      "maxlength=\"32\" required autofocus");
  AppendSubmitButton(out, Text(language, MessageId::kSignInButton));
  out += "\n</form>\n</div>\n";
  AppendPageEnd(out);
  return out;
}

std::string SignOutPage(Language language, const Visitor& visitor, std::string_view here) {
  std::string out;
  AppendPageStart(out, language, Text(language, MessageId::kSignOutTitle), &visitor, here);
  out += "<div class=\"signin\">\n<h1>";
  AppendEscapedHtml(out, Text(language, MessageId::kSignOutTitle));
  out += "</h1>\n<p>";
  AppendEscapedHtml(out, Format(language, MessageId::kSignOutQuestion, {visitor.person.name}));
  out += "</p>\n";
  AppendFormStart(out, "post", kSignOutPath);
  AppendHiddenField(out, "csrf", visitor.csrf_token);
  AppendSubmitButton(out, Text(language, MessageId::kSignOut));
  out += "</form>\n</div>\n";
  AppendPageEnd(out);
  return out;
}

PageReply SignOut(PageRequest& request, bool confirmed) {
  if (!confirmed) {
    return PageReply{200, SignOutPage(request.language, request.visitor, request.here), {}};
  }
  // The session ends for good (with the person's other sessions: they
  // share the generation), and the cookie expires instead of renewing.
  EndSessionsOf(request.db, request.visitor.person.id);
  RecordAudit(request.db, VisitorAudit(request, audit::kSignOut, request.visitor.person.id, ""));
  request.visitor.expires = 0;
  return PageReply{303, {}, std::string(kSignInPath)};
}

std::pair<int, std::string> SignInRefusal(Language language, const SignInOutcome& outcome) {
  switch (outcome.status) {
    case SignInOutcome::Status::kThrottled:
      return {429, Format(language, MessageId::kSignInThrottled,
                          {std::to_string(outcome.retry_after.count())})};
    case SignInOutcome::Status::kBusy:
      return {503, std::string(Text(language, MessageId::kSignInBusy))};
    case SignInOutcome::Status::kDirectoryDown:
      return {503, std::string(Text(language, MessageId::kSignInDirectoryDown))};
    default:
      return {403, std::string(Text(language, MessageId::kSignInFailed))};
  }
}

bool IsCleanTarget(std::string_view target) {
  return IsValidUtf8(target) && !HasControlCharacter(target) &&
         target.find_first_of("\\\t") == std::string_view::npos;
}

std::string SafeNextPage(std::string_view next) {
  const bool local = next.starts_with(kScheduleFolder) && IsCleanTarget(next);
  return local ? std::string(next) : std::string(kHomePage);
}

}  // namespace ostrand::web
