// The language a request asks for: the language cookie's code and the
// Accept-Language header. Any text reads without failing; a code reads
// only as the code of its language; a header chooses only a language it
// names (or "*" for the default), the first of the highest quality, and
// ranges we do not serve change nothing; the cookie comes before the
// header.
#include "web/i18n/language.h"
#include <string>

#include "core/text.h"
#include "fuzz_check.h"

using ostrand::fuzz::Check;
namespace web = ostrand::web;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);

  const std::optional<web::Language> coded = web::ReadLanguageCode(text);
  Check(!coded || ostrand::EqualsNoCase(text, web::LanguageCode(*coded)),
        "a cookie reads only as a language's code");

  const std::optional<web::Language> preferred = web::PreferredLanguage(text);
  if (preferred) {
    const bool named = ostrand::ContainsNoCase(text, web::LanguageCode(*preferred)) ||
                       (*preferred == web::kDefaultLanguage && text.find('*') != text.npos);
    Check(named, "a header chooses only a language it names");
  }

  Check(web::PreferredLanguage(std::string(text) + ",fr") == preferred,
        "a range we do not serve changes nothing");
  for (const web::Language language : web::kLanguages) {
    Check(web::PreferredLanguage(std::string(web::LanguageCode(language)) + "," +
                                 std::string(text)) == language,
          "the first range of the highest quality wins");
    Check(web::ChooseLanguage(web::LanguageCode(language), text) == language,
          "a picked language wins over any header");
  }
  Check(web::ChooseLanguage(std::nullopt, text) == preferred.value_or(web::kDefaultLanguage),
        "without a cookie the header chooses, else the default");
  return 0;
}
