#include "web/pages/language_switch.h"

#include <optional>

#include "web/http/cookies.h"
#include "web/http/form_fields.h"
#include "web/http/url.h"
#include "web/pages/page_paths.h"
#include "web/pages/signin_page.h"

namespace ostrand::web {
namespace {

// How long the language cookie lasts, in seconds: a year.
constexpr std::int64_t kLanguageCookieLifetime = 365 * 24 * 3600;

// The page to return to: a schedule page, or the sign-in page (with its
// own next), never another site.
std::string ReturnPage(std::string_view next) {
  const bool signin = next == kSignInPath || (next.starts_with(kSignInPath) &&
                                              next[kSignInPath.size()] == '?');
  if (signin && IsCleanTarget(next)) return std::string(next);
  return SafeNextPage(next);
}

}  // namespace

void VaryByLanguage(http::Response& response) {
  response.AddHeader("Vary", "Accept-Language, Cookie");
}

Language RequestLanguage(const http::Request& request) {
  return ChooseLanguage(http::FindRequestCookie(request, kLanguageCookieName),
                        request.HeaderValue("Accept-Language"));
}

std::string LanguageSwitchAddress(Language language, std::string_view here) {
  return http::LinkWithQuery(kLanguagePath, {{"to", LanguageCode(language)}, {"next", here}});
}

http::Response SwitchLanguage(const http::Request& request) {
  const http::FormFields query = http::ParseFields(request.query);
  http::Response response = http::Response::Redirect(ReturnPage(http::FieldOrEmpty(query, "next")));
  if (const std::optional<Language> chosen = ReadLanguageCode(http::FieldOrEmpty(query, "to"))) {
    response.AddHeader("Set-Cookie", http::SetCookieValue(kLanguageCookieName,
                                                          LanguageCode(*chosen), "/",
                                                          kLanguageCookieLifetime));
  }
  return response;
}

}  // namespace ostrand::web
