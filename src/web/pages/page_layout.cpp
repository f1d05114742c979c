#include "web/pages/page_layout.h"

#include <sodium.h>

#include <array>

#include "assets/stylesheet.h"
#include "core/html.h"
#include "core/sha256.h"
#include "web/pages/html_form.h"
#include "web/pages/language_switch.h"

namespace ostrand::web {
namespace {

// Who sees a link of the navigation bar.
enum class Shown { kEveryone, kLeaders, kAdministrators };

struct NavLink {
  std::string_view href;
  MessageId caption;
  Shown shown;
};

constexpr NavLink kNavLinks[] = {
    {kPersonMonthPath, MessageId::kNavPersonMonth, Shown::kEveryone},
    {kPersonWeekPath, MessageId::kNavPersonWeek, Shown::kEveryone},
    {kAwayPath, MessageId::kNavAway, Shown::kEveryone},
    {kLeaderMonthPath, MessageId::kNavLeaderMonth, Shown::kLeaders},
    {kLeader2MonthPath, MessageId::kNavLeader2Month, Shown::kLeaders},
    {kSubscribePath, MessageId::kNavSubscribe, Shown::kEveryone},
    {kAccountPath, MessageId::kNavAccount, Shown::kEveryone},
    {kAdminFolder, MessageId::kNavAdministration, Shown::kAdministrators},
};

bool Sees(const Visitor& visitor, Shown shown) {
  switch (shown) {
    case Shown::kEveryone:
      return true;
    case Shown::kLeaders:
      return visitor.leader;
    case Shown::kAdministrators:
      return visitor.admin;
  }
  return false;
}

void AppendNav(std::string& out, Language language, const Visitor& visitor) {
  out += "<nav class=\"site-nav\" aria-label=\"";
  AppendEscapedHtml(out, Text(language, MessageId::kSiteNavigation));
  out += "\">\n<span class=\"who\">";
  AppendEscapedHtml(out, visitor.person.name);
  out += "</span>\n";
  for (const NavLink& link : kNavLinks) {
    if (!Sees(visitor, link.shown)) continue;
    out += "<a href=\"";
    AppendEscapedHtml(out, link.href);
    out += "\">";
    AppendEscapedHtml(out, Text(language, link.caption));
    out += "</a>\n";
  }
  AppendFormStart(out, "post", kSignOutPath, "signout");
  AppendHiddenField(out, "csrf", visitor.csrf_token);
  AppendSubmitButton(out, Text(language, MessageId::kSignOut));
  out += "</form>\n</nav>\n";
}

// Links to the other languages, each named in its own language.
void AppendLanguageSwitch(std::string& out, Language language, std::string_view here) {
  out += "<p class=\"lang-switch\">";
  for (const Language other : kLanguages) {
    if (other == language) continue;
    out += "<a href=\"";
    AppendEscapedHtml(out, LanguageSwitchAddress(other, here.empty() ? kHomePage : here));
    out += "\" lang=\"";
    out += LanguageTag(other);
    out += "\" hreflang=\"";
    out += LanguageTag(other);
    out += "\">";
    AppendEscapedHtml(out, LanguageName(other));
    out += "</a>";
  }
  out += "</p>\n";
}

// The style attributes the component's fragments carry, byte for byte (a
// plan's line, a day's plans, the hidden SQL trace).
constexpr std::string_view kComponentStyles[] = {"width:100%;", "font-size:12px;",
                                                 "display:none"};

// The content of the component's style element (between its tags) as a
// browser hashes it: after parsing, where CR LF and a lone CR are LF.
std::string ComponentStyleElement() {
  std::string_view text = assets::Stylesheet();
  constexpr std::string_view kOpen = "<style>";
  const std::size_t close = text.rfind("</style>");
  if (!text.starts_with(kOpen) || close == std::string_view::npos) return {};
  text = text.substr(kOpen.size(), close - kOpen.size());
  std::string parsed;
  parsed.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      parsed += text[i];
    } else if (i + 1 == text.size() || text[i + 1] != '\n') {
      parsed += '\n';
    }
  }
  return parsed;
}

// 'sha256-...' of the text, as a policy names an inline style or script.
std::string PolicyHash(std::string_view text) {
  const Sha256Digest hash = Sha256(text);
  std::string base64(sodium_base64_ENCODED_LEN(hash.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(base64.data(), base64.size(), hash.data(), hash.size(),
                    sodium_base64_VARIANT_ORIGINAL);
  base64.resize(base64.size() - 1);  // the terminating NUL
  return "'sha256-" + base64 + "'";
}

std::string Policy(std::string_view script_src) {
  std::string styles = "style-src 'self' 'unsafe-hashes' " + PolicyHash(ComponentStyleElement());
  for (const std::string_view style : kComponentStyles) styles += " " + PolicyHash(style);
  return "default-src 'self'; script-src " + std::string(script_src) + "; " + styles +
         "; img-src 'self'; object-src 'none'; base-uri 'none'; frame-ancestors 'none'; "
         "form-action 'self'";
}

MessageId StatusHeading(int status) {
  switch (status) {
    case 400:
      return MessageId::kStatus400;
    case 403:
      return MessageId::kStatus403;
    case 404:
      return MessageId::kStatus404;
    case 405:
      return MessageId::kStatus405;
    case 413:
      return MessageId::kStatus413;
    case 429:
      return MessageId::kStatus429;
    case 431:
      return MessageId::kStatus431;
    case 500:
      return MessageId::kStatus500;
    case 503:
      return MessageId::kStatus503;
    default:
      return MessageId::kStatusOther;
  }
}

}  // namespace

void AppendPageStart(std::string& out, Language language, std::string_view title,
                     const Visitor* visitor, std::string_view here) {
  out += "<!doctype html>\n<html lang=\"";
  out += LanguageTag(language);
  out += "\">\n<head>\n<meta charset=\"utf-8\">\n";
  out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  AppendEscapedHtml(out, title);
  out += " - ";
  AppendEscapedHtml(out, Text(language, MessageId::kSiteName));
  out += "</title>\n<link rel=\"stylesheet\" href=\"";
  AppendEscapedHtml(out, kHostStylesheet);
  out += "\">\n<script src=\"";
  AppendEscapedHtml(out, kHostScript);
  out += "\" defer></script>\n</head>\n<body>\n<a class=\"skip\" href=\"#main\">";
  AppendEscapedHtml(out, Text(language, MessageId::kSkipToContent));
  out += "</a>\n<header class=\"site-head\">\n";
  if (visitor != nullptr) AppendNav(out, language, *visitor);
  AppendLanguageSwitch(out, language, here);
  out += "</header>\n<main id=\"main\">\n";
}

void AppendPageEnd(std::string& out) { out += "</main>\n</body>\n</html>\n"; }

std::string ErrorPage(Language language, int status, std::string_view message,
                      const Visitor* visitor, std::string_view incident) {
  const std::string heading =
      std::to_string(status) + " " + std::string(Text(language, StatusHeading(status)));
  std::string out;
  out.reserve(1024 + message.size());
  AppendPageStart(out, language, heading, visitor);
  out += "<div class=\"error-page\">\n<h1>";
  AppendEscapedHtml(out, heading);
  out += "</h1>\n<p class=\"error\">";
  AppendEscapedHtml(out, message);
  out += "</p>\n";
  if (!incident.empty()) {
    out += "<p class=\"incident\">";
    AppendEscapedHtml(out, Text(language, MessageId::kIncidentNumber));
    out += "<code>";
    AppendEscapedHtml(out, incident);
    out += "</code>";
    AppendEscapedHtml(out, Text(language, MessageId::kIncidentHint));
    out += "</p>\n";
  }
  out += "<p><a href=\"";
  AppendEscapedHtml(out, kHomePage);
  out += "\">";
  AppendEscapedHtml(out, Text(language, MessageId::kBackToMonth));
  out += "</a></p>\n</div>\n";
  AppendPageEnd(out);
  return out;
}

std::string_view PagePolicy() {
  static const std::string policy = Policy("'self'");
  return policy;
}

std::string_view ComponentScriptPolicy() {
  static const std::string policy = Policy("'self' 'unsafe-inline'");
  return policy;
}

void AllowComponentScript(http::Response& response) {
  for (http::Header& header : response.headers) {
    if (header.name == "Content-Security-Policy") header.value = ComponentScriptPolicy();
  }
}

http::Response HtmlPage(int status, std::string body) {
  http::Response response(status, kHtml, std::move(body));
  response.AddHeader("Cache-Control", "no-store");
  response.AddHeader("Content-Security-Policy", PagePolicy());
  return response;
}

http::Response NotFoundResponse(Language language) {
  return HtmlPage(404, ErrorPage(language, 404, Text(language, MessageId::kPageNotFound), nullptr));
}

}  // namespace ostrand::web
