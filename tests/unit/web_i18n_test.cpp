// The host's two languages: both catalogues complete and consistent, the
// choice of a request's language, and the texts put together.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "web/i18n/catalogue.h"
#include "web/i18n/language.h"
#include "web/i18n/messages.h"

namespace ostrand::web {
namespace {

// The placeholders {0}..{9} a text holds.
std::set<char> Placeholders(std::string_view text) {
  std::set<char> found;
  for (std::size_t i = 0; i + 2 < text.size(); ++i) {
    if (text[i] == '{' && text[i + 1] >= '0' && text[i + 1] <= '9' && text[i + 2] == '}') {
      found.insert(text[i + 1]);
    }
  }
  return found;
}

bool HasHanCharacter(std::string_view text) {
  // U+3000..U+9FFF and the full-width forms start with E3..E9 or EF BC/BD.
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0xE3 && c <= 0xE9) return true;
    if (c == 0xEF && i + 1 < text.size() &&
        (static_cast<unsigned char>(text[i + 1]) & 0xFE) == 0xBC) {
      return true;
    }
  }
  return false;
}

TEST(MessageCatalogue, EachLanguageHasEveryMessageOnceWithTheSamePlaceholders) {
  constexpr auto count = static_cast<std::size_t>(MessageId::kCount);
  for (const Language language : kLanguages) {
    std::set<std::size_t> seen;
    for (const CatalogueEntry& entry : CatalogueOf(language)) {
      const auto index = static_cast<std::size_t>(entry.id);
      EXPECT_LT(index, count);
      EXPECT_TRUE(seen.insert(index).second) << LanguageCode(language) << " repeats " << index;
      EXPECT_FALSE(entry.text.empty()) << LanguageCode(language) << " " << index;
    }
    EXPECT_EQ(seen.size(), count) << LanguageCode(language) << " lacks messages";
  }
  for (std::size_t i = 0; i < count; ++i) {
    const auto id = static_cast<MessageId>(i);
    const std::string_view chinese = Text(Language::kChinese, id);
    const std::string_view english = Text(Language::kEnglish, id);
    EXPECT_EQ(Placeholders(chinese), Placeholders(english)) << chinese << " / " << english;
    // No Chinese on an English page, from the catalogue at least.
    EXPECT_FALSE(HasHanCharacter(english)) << english;
  }
}

TEST(MessageCatalogue, FormatPutsArgumentsInTheirPlacesAsText) {
  EXPECT_EQ(Format(Language::kEnglish, MessageId::kPlanTooLong, {"40", "31"}),
            "The plan covers 40 days; at most 31 days are allowed.");
  EXPECT_EQ(Format(Language::kChinese, MessageId::kPlanTooLong, {"40", "31"}),
            "日程跨越 40 天，最长 31 天。");
  // An argument that looks like a placeholder stays as it is.
  EXPECT_EQ(Format(Language::kChinese, MessageId::kNoSuchPlan, {}), "没有这条日程。");
  EXPECT_EQ(Render(Language::kEnglish, {MessageId::kUnknownAction, {"{0}{1}"}}),
            "Unknown action '{0}{1}'.");
  EXPECT_EQ(MonthName(Language::kEnglish, 12), "December");
  EXPECT_EQ(WeekdayName(Language::kChinese, 1), "星期日");
  EXPECT_EQ(MonthName(Language::kEnglish, 13), "");
}

TEST(RequestLanguage, CookieThenAcceptLanguageThenChinese) {
  EXPECT_EQ(PreferredLanguage("en-GB,en;q=0.9,zh;q=0.5"), Language::kEnglish);
  EXPECT_EQ(PreferredLanguage("fr, zh-TW;q=0.3, en;q=0.2"), Language::kChinese);
  EXPECT_EQ(PreferredLanguage("zh;q=0.5, EN;q=0.8"), Language::kEnglish);
  EXPECT_EQ(PreferredLanguage("en;q=0, zh;q=0.1"), Language::kChinese);
  EXPECT_EQ(PreferredLanguage("zh;q=0.5, en;q=0.5"), Language::kChinese) << "earlier on a tie";
  EXPECT_EQ(PreferredLanguage("*;q=0.5, en;q=0.4"), kDefaultLanguage);
  for (const char* odd : {"", "fr-FR, de", ",,;", "en;q=2", "en;q=0.5555", "en;x=1", "en;q=",
                          "en;q=1.5", "english", "e"}) {
    EXPECT_EQ(PreferredLanguage(odd), std::nullopt) << odd;
  }
  EXPECT_EQ(ChooseLanguage("en", "zh-CN"), Language::kEnglish);
  EXPECT_EQ(ChooseLanguage("EN", ""), Language::kEnglish);
  EXPECT_EQ(ChooseLanguage("xx", "en-US"), Language::kEnglish) << "a bad cookie is ignored";
  EXPECT_EQ(ChooseLanguage(std::nullopt, "de"), Language::kChinese);
}

}  // namespace
}  // namespace ostrand::web
