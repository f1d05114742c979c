// The language of a request and the switch between languages. A request's
// language is the one the visitor picked (the language cookie), else the
// one the browser prefers (Accept-Language), else Simplified Chinese. The
// switch is a link on every page to /language?to=CODE&next=PAGE, which
// sets the cookie for a year and leads back to the page.
#pragma once

#include <string>
#include <string_view>

#include "web/http/request.h"
#include "web/http/response.h"
#include "web/i18n/language.h"

namespace ostrand::web {

// The cookie that remembers the visitor's language: "zh" or "en".
inline constexpr std::string_view kLanguageCookieName = "lang";

// The language of the request (see above); never throws.
Language RequestLanguage(const http::Request& request);

// Marks an answer whose bytes depend on the request's language, so that a
// cache keeps one copy per language: "Vary: Accept-Language, Cookie" (the
// cookie names the visitor's choice).
void VaryByLanguage(http::Response& response);

// The link that switches to `language` and returns to `here` (a path and
// query of this host).
std::string LanguageSwitchAddress(Language language, std::string_view here);

// GET /language: a 303 back to `next` (a page of this host; the home page
// for anything else) that sets the language cookie to `to` when it names
// one of our languages; an unknown `to` changes nothing.
http::Response SwitchLanguage(const http::Request& request);

}  // namespace ostrand::web
