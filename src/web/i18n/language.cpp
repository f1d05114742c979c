#include "web/i18n/language.h"

#include "core/text.h"

namespace ostrand::web {
namespace {

// The quality of a range in thousandths, from the text after "q=": "1",
// "1.000", "0", "0.5", "0.875" (at most three decimals, at most 1).
std::optional<int> ReadQuality(std::string_view text) {
  if (text.empty() || (text[0] != '0' && text[0] != '1')) return std::nullopt;
  int whole = text[0] - '0';
  text.remove_prefix(1);
  if (text.empty()) return whole * 1000;
  if (text[0] != '.' || text.size() > 4) return std::nullopt;
  text.remove_prefix(1);
  // "1." has no decimals and reads as "1".
  const std::optional<std::int64_t> decimals =
      text.empty() ? std::optional<std::int64_t>(0) : ReadWholeNumber(text, 999);
  if (!decimals) return std::nullopt;
  int thousandths = static_cast<int>(*decimals);
  for (std::size_t i = text.size(); i < 3; ++i) thousandths *= 10;
  if (whole == 1 && thousandths != 0) return std::nullopt;
  return whole * 1000 + thousandths;
}

// Our language of a language range, by its primary subtag; "*" is the
// default.
std::optional<Language> LanguageOfRange(std::string_view range) {
  if (range == "*") return kDefaultLanguage;
  const std::string_view primary = range.substr(0, range.find('-'));
  if (EqualsNoCase(primary, "zh")) return Language::kChinese;
  if (EqualsNoCase(primary, "en")) return Language::kEnglish;
  return std::nullopt;
}

}  // namespace

std::string_view LanguageTag(Language language) {
  return language == Language::kEnglish ? "en" : "zh-CN";
}

std::string_view LanguageCode(Language language) {
  return language == Language::kEnglish ? "en" : "zh";
}

std::string_view LanguageName(Language language) {
  return language == Language::kEnglish ? "English" : "中文";
}

std::optional<Language> ReadLanguageCode(std::string_view code) {
  for (const Language language : kLanguages) {
    if (EqualsNoCase(code, LanguageCode(language))) return language;
  }
  return std::nullopt;
}

std::optional<Language> PreferredLanguage(std::string_view accept_language) {
  std::optional<Language> best;
  int best_quality = 0;
  while (!accept_language.empty()) {
    const std::size_t comma = accept_language.find(',');
    std::string_view item = accept_language.substr(0, comma);
    accept_language = comma == std::string_view::npos ? std::string_view()
                                                      : accept_language.substr(comma + 1);
    const std::size_t semicolon = item.find(';');
    const std::string_view range = TrimSpacesAndTabs(item.substr(0, semicolon));
    std::optional<int> quality = 1000;
    if (semicolon != std::string_view::npos) {
      const std::string_view parameter = TrimSpacesAndTabs(item.substr(semicolon + 1));
      quality = parameter.size() > 2 && (parameter[0] == 'q' || parameter[0] == 'Q') &&
                        parameter[1] == '='
                    ? ReadQuality(parameter.substr(2))
                    : std::nullopt;
    }
    if (range.empty() || !quality || *quality == 0) continue;
    const std::optional<Language> language = LanguageOfRange(range);
    if (language && *quality > best_quality) {
      best = language;
      best_quality = *quality;
    }
  }
  return best;
}

Language ChooseLanguage(std::optional<std::string_view> cookie_code,
                        std::string_view accept_language) {
  if (cookie_code) {
    if (const std::optional<Language> chosen = ReadLanguageCode(*cookie_code)) return *chosen;
  }
  return PreferredLanguage(accept_language).value_or(kDefaultLanguage);
}

}  // namespace ostrand::web
