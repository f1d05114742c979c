#include "web/i18n/messages.h"

#include <array>

#include "web/i18n/catalogue.h"

namespace ostrand::web {
namespace {

constexpr std::size_t kMessageCount = static_cast<std::size_t>(MessageId::kCount);

using Table = std::array<std::string_view, kMessageCount>;

Table Index(std::span<const CatalogueEntry> entries) {
  Table table{};
  for (const CatalogueEntry& entry : entries) {
    const auto index = static_cast<std::size_t>(entry.id);
    if (index < kMessageCount) table[index] = entry.text;
  }
  return table;
}

const Table& TableOf(Language language) {
  static const Table chinese = Index(ChineseCatalogue());
  static const Table english = Index(EnglishCatalogue());
  return language == Language::kEnglish ? english : chinese;
}

constexpr MessageId kMonths[] = {
    MessageId::kMonth1, MessageId::kMonth2,  MessageId::kMonth3,  MessageId::kMonth4,
    MessageId::kMonth5, MessageId::kMonth6,  MessageId::kMonth7,  MessageId::kMonth8,
    MessageId::kMonth9, MessageId::kMonth10, MessageId::kMonth11, MessageId::kMonth12};
constexpr MessageId kWeekdays[] = {MessageId::kSunday,   MessageId::kMonday, MessageId::kTuesday,
                                   MessageId::kWednesday, MessageId::kThursday,
                                   MessageId::kFriday,   MessageId::kSaturday};

template <typename Args>
std::string Fill(std::string_view text, const Args& args) {
  std::string out;
  out.reserve(text.size() + 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '{' && i + 2 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9' &&
        text[i + 2] == '}') {
      const auto n = static_cast<std::size_t>(text[i + 1] - '0');
      if (n < args.size()) {
        out += std::string_view(*(args.begin() + static_cast<std::ptrdiff_t>(n)));
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace

std::span<const CatalogueEntry> CatalogueOf(Language language) {
  return language == Language::kEnglish ? EnglishCatalogue() : ChineseCatalogue();
}

std::string_view Text(Language language, MessageId id) {
  const auto index = static_cast<std::size_t>(id);
  return index < kMessageCount ? TableOf(language)[index] : std::string_view();
}

std::string Format(Language language, MessageId id, std::initializer_list<std::string_view> args) {
  return Fill(Text(language, id), args);
}

std::string Render(Language language, const Message& message) {
  return Fill(Text(language, message.id), message.args);
}

std::string_view MonthName(Language language, int month) {
  return month >= 1 && month <= 12 ? Text(language, kMonths[month - 1]) : std::string_view();
}

std::string_view WeekdayName(Language language, int weekday) {
  return weekday >= 1 && weekday <= 7 ? Text(language, kWeekdays[weekday - 1])
                                      : std::string_view();
}

}  // namespace ostrand::web
