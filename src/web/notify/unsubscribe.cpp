#include "web/notify/unsubscribe.h"

#include <exception>
#include <limits>
#include <string>

#include "core/error.h"
#include "core/html.h"
#include "core/text.h"
#include "web/auth/sign_in.h"
#include "web/data/mail_settings.h"
#include "web/data/plan_changes.h"
#include "web/http/form_fields.h"
#include "web/http/url.h"
#include "web/i18n/messages.h"
#include "web/notify/mail_content.h"
#include "web/pages/error_answer.h"
#include "web/pages/html_form.h"
#include "web/pages/language_switch.h"
#include "web/pages/page_layout.h"

namespace ostrand::web::notify {
namespace {

// The purpose the tokens are sealed for: no other sealed value opens here.
constexpr std::string_view kPurpose = "unsubscribe";
constexpr std::int64_t kSecondsPerDay = 86400;

std::optional<std::string_view> KnownChoice(std::string_view choice) {
  for (const std::string_view known : kMailChoices) {
    if (choice == known) return known;
  }
  return std::nullopt;
}

std::string TokenOf(const http::Request& request) {
  const http::FormFields form = http::FormOf(request);
  if (const std::optional<std::string> sent = http::FindField(form, "t")) return *sent;
  return http::FieldOrEmpty(http::ParseFields(request.query), "t");
}

http::Response Answer(int status, Language language, const std::string& body_html) {
  std::string out;
  const std::string_view title = Text(language, MessageId::kUnsubscribeTitle);
  AppendPageStart(out, language, title, nullptr);
  out += "<div class=\"unsubscribe\">\n<h1>";
  AppendEscapedHtml(out, title);
  out += "</h1>\n";
  out += body_html;
  out += "</div>\n";
  AppendPageEnd(out);
  http::Response response = HtmlPage(status, std::move(out));
  VaryByLanguage(response);
  // The token opens the choice to whoever reads it: the log keeps the path.
  response.log_target = std::string(kUnsubscribePath);
  return response;
}

std::string Paragraph(std::string_view text) {
  std::string out = "<p>";
  AppendEscapedHtml(out, text);
  out += "</p>\n";
  return out;
}

http::Response Unusable(Language language) {
  return Answer(400, language, Paragraph(Text(language, MessageId::kUnsubscribeUnusable)));
}

}  // namespace

std::optional<Unsubscription> ReadUnsubscription(std::string_view data) {
  const std::size_t colon = data.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::optional<std::int64_t> person =
      ReadWholeNumber(data.substr(0, colon), std::numeric_limits<std::int64_t>::max());
  const std::optional<std::string_view> choice = KnownChoice(data.substr(colon + 1));
  if (!person || *person <= 0 || !choice) return std::nullopt;
  return Unsubscription{*person, std::string(*choice)};
}

std::string UnsubscribeToken(const SessionSigner& signer, const Unsubscription& what,
                             std::int64_t now) {
  if (!KnownChoice(what.choice) || what.person_id <= 0) {
    throw Error("no mail choice '" + what.choice + "' of person " +
                std::to_string(what.person_id) + " to unsubscribe from");
  }
  return signer.SealData(kPurpose, std::to_string(what.person_id) + ":" + what.choice,
                         now + kUnsubscribeDays * kSecondsPerDay);
}

std::optional<Unsubscription> OpenUnsubscribeToken(const SessionSigner& signer,
                                                   std::string_view token, std::int64_t now) {
  const std::optional<std::string> data = signer.OpenData(kPurpose, token, now);
  if (!data) return std::nullopt;
  return ReadUnsubscription(*data);
}

std::string UnsubscribeLink(std::string_view site_base, std::string_view token) {
  return std::string(site_base) + http::LinkWithQuery(kUnsubscribePath, {{"t", token}});
}

http::Response ShowUnsubscribe(const http::Request& request, const Databases& databases,
                               const SessionSigner& signer) {
  const Language language = RequestLanguage(request);
  try {
    static_cast<void>(databases);
    const std::string token = http::FieldOrEmpty(http::ParseFields(request.query), "t");
    const std::optional<Unsubscription> what =
        OpenUnsubscribeToken(signer, token, UnixNow());
    if (!what) return Unusable(language);
    std::string out = Paragraph(
        Format(language, MessageId::kUnsubscribeAsk, {ChoiceName(language, what->choice)}));
    AppendFormStart(out, "post", kUnsubscribePath, "unsubscribe-form");
    AppendHiddenField(out, "t", token);
    AppendSubmitButton(out, Text(language, MessageId::kUnsubscribeButton));
    out += "</form>\n";
    return Answer(200, language, out);
  } catch (...) {
    http::Response response = ErrorAnswer(std::current_exception(), language, nullptr);
    VaryByLanguage(response);
    return response;
  }
}

http::Response SubmitUnsubscribe(const http::Request& request, const Databases& databases,
                                 const SessionSigner& signer) {
  const Language language = RequestLanguage(request);
  try {
    const DateTime now = UtcNow();
    const std::optional<Unsubscription> what =
        OpenUnsubscribeToken(signer, TokenOf(request), UnixNow());
    if (!what) return Unusable(language);
    SetMailChoice(*databases.OpenHost(), what->person_id, what->choice, false, now);
    return Answer(200, language,
                  Paragraph(Format(language, MessageId::kUnsubscribeDone,
                                   {ChoiceName(language, what->choice)})));
  } catch (...) {
    http::Response response = ErrorAnswer(std::current_exception(), language, nullptr);
    VaryByLanguage(response);
    return response;
  }
}

}  // namespace ostrand::web::notify
