// The two languages the web host writes its own text in, and how a request
// chooses one: a language the visitor picked (the language cookie) first,
// then the browser's Accept-Language, then Simplified Chinese. The
// component's fragments keep their own captions whatever the language.
//
// The readers here take text from outside (a cookie value, a request
// header) as plain std::string_view and never throw.
#pragma once

#include <optional>
#include <string_view>

namespace ostrand::web {

enum class Language { kChinese, kEnglish };

// Both languages, the default first.
inline constexpr Language kLanguages[] = {Language::kChinese, Language::kEnglish};

// The language of a request that states no preference we serve.
inline constexpr Language kDefaultLanguage = Language::kChinese;

// The BCP 47 tag of the language, for lang attributes: "zh-CN", "en".
std::string_view LanguageTag(Language language);

// The short code the language cookie and the language switch carry: "zh",
// "en".
std::string_view LanguageCode(Language language);

// The language's name in the language itself ("中文", "English"): the
// caption of the switch to it.
std::string_view LanguageName(Language language);

// The language of a code written by LanguageCode (ASCII case ignored), or
// nothing for any other text.
std::optional<Language> ReadLanguageCode(std::string_view code);

// The language an Accept-Language header value prefers among ours
// ("en-GB,en;q=0.9,zh;q=0.5" gives English): the range with the highest
// quality that matches one of them by its primary subtag ("zh-TW" and
// "zh-Hans" are Chinese), the earlier one on a tie; "*" stands for the
// default language. Ranges with q=0, malformed ranges and malformed
// quality values are skipped. Nothing when no range matches.
std::optional<Language> PreferredLanguage(std::string_view accept_language);

// The language of a request: the cookie's code when it reads, else
// PreferredLanguage of the header, else kDefaultLanguage.
Language ChooseLanguage(std::optional<std::string_view> cookie_code,
                        std::string_view accept_language);

}  // namespace ostrand::web
