#include "web/pages/list_paging.h"

#include <algorithm>

#include "core/html.h"
#include "core/text.h"
#include "web/data/audit_log.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/html_form.h"

namespace ostrand::web {
namespace {

using enum MessageId;

// A whole number from the query, or nothing for an empty value; digits
// beyond `max` read as `max`. Throws HttpError 400 naming the field.
std::optional<std::int64_t> ReadCount(const http::FormFields& query, std::string_view name,
                                      std::int64_t max) {
  const std::string text(TrimBlanks(http::FieldOrEmpty(query, name)));
  if (text.empty()) return std::nullopt;
  const std::optional<std::int64_t> number = ReadWholeNumberUpTo(text, max);
  if (!number) {
    throw HttpError(400, {kListNotAWholeNumber, {std::string(name), ShortDetail(text, 32)}});
  }
  return number;
}

// 1000 -> "1,000" in English; Chinese writes the digits alone.
std::string CountText(Language language, std::int64_t n) {
  const std::string digits = std::to_string(n);
  if (language != Language::kEnglish) return digits;
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0 && digits[i - 1] != '-') grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

void AppendQueryItem(std::string& link, std::string_view name, std::string_view value) {
  link += '&';
  link += name;
  link += '=';
  http::AppendPercentEncoded(link, value);
}

}  // namespace

ListAsk ReadListAsk(const http::FormFields& query) {
  ListAsk ask;
  // No name is longer than this many bytes: a longer part matches nobody.
  constexpr std::size_t kNameBytes = 4 * kMaxPersonNameLength;
  ask.filter.name_part = ShortDetail(TrimBlanks(http::FieldOrEmpty(query, "q")), kNameBytes);
  ask.filter.name_part = std::string(TrimBlanks(ask.filter.name_part));
  if (const std::string duty(TrimBlanks(http::FieldOrEmpty(query, "duty"))); !duty.empty()) {
    ask.filter.duty_id = ReadWholeNumber(duty, INT32_MAX);
    if (!ask.filter.duty_id) {
      throw HttpError(400, {kListNotAWholeNumber, {"duty", ShortDetail(duty, 32)}});
    }
  }
  if (const std::optional<std::int64_t> size =
          ReadCount(query, "size", static_cast<std::int64_t>(kPageSizes.back()))) {
    ask.size = std::max(static_cast<std::size_t>(*size), kPageSizes.front());
  }
  ask.page = std::max<std::int64_t>(ReadCount(query, "page", kLargestExactId).value_or(1), 1);
  return ask;
}

std::int64_t PageWindow::last() const {
  return std::min(total, page * static_cast<std::int64_t>(size));
}

PageWindow WindowOf(std::int64_t page, std::size_t size, std::int64_t total) {
  PageWindow window;
  window.size = std::max<std::size_t>(size, 1);
  window.total = std::max<std::int64_t>(total, 0);
  const auto per_page = static_cast<std::int64_t>(window.size);
  window.pages = std::max<std::int64_t>(1, (window.total + per_page - 1) / per_page);
  window.page = std::clamp<std::int64_t>(page, 1, window.pages);
  return window;
}

bool ListControlsShown(const ListAsk& ask, const PageWindow& window) {
  return window.pages > 1 || !ask.filter.empty() || ask.size != kDefaultPageSize || ask.page != 1;
}

void AppendListQuery(std::string& link, const PersonFilter& filter, std::size_t size,
                     std::int64_t page) {
  if (!filter.name_part.empty()) AppendQueryItem(link, "q", filter.name_part);
  if (filter.duty_id) AppendQueryItem(link, "duty", std::to_string(*filter.duty_id));
  if (size != kDefaultPageSize) AppendQueryItem(link, "size", std::to_string(size));
  if (page > 1) AppendQueryItem(link, "page", std::to_string(page));
}

void AppendListFilter(std::string& out, Language language, std::string_view action,
                      const std::vector<std::pair<std::string, std::string>>& keep,
                      const PersonFilter& filter, std::size_t size,
                      const std::vector<Choice>& duties) {
  AppendFormStart(out, "get", action, "list-filter");
  out += "\n";
  for (const auto& [name, value] : keep) AppendHiddenField(out, name, value);
  if (size != kDefaultPageSize) AppendHiddenField(out, "size", std::to_string(size));
  AppendLabelledInput(out, Text(language, kListName), "search", "q", filter.name_part);
  AppendSelectStart(out, Text(language, kListDuty), "duty");
  AppendOption(out, "", Text(language, kListAnyDuty), !filter.duty_id);
  for (const Choice& duty : duties) {
    AppendOption(out, std::to_string(duty.id),
                 duty.name.empty()
                     ? Format(language, kPersonsUnnamedDuty, {std::to_string(duty.id)})
                     : duty.name,
                 filter.duty_id == duty.id);
  }
  AppendSelectEnd(out);
  AppendSubmitButton(out, Text(language, kListShow));
  out += "\n</form>\n";
}

void AppendPager(std::string& out, Language language, const PageWindow& window,
                 const PageLink& link) {
  AppendPager(out, language, window, link, kListShown);
}

void AppendPager(std::string& out, Language language, const PageWindow& window,
                 const PageLink& link, MessageId shown) {
  out += "<nav class=\"pager\" aria-label=\"";
  AppendEscapedHtml(out, Text(language, kListPages));
  out += "\"><span class=\"count\">";
  AppendEscapedHtml(out, window.total == 0 ? std::string(Text(language, kListNoMatch))
                                           : Format(language, shown,
                                                    {CountText(language, window.first()),
                                                     CountText(language, window.last()),
                                                     CountText(language, window.total)}));
  out += "</span>";
  if (window.page > 1) {
    out += ' ';
    AppendLink(out, link(window.page - 1, window.size), Text(language, kListPrevious),
               "rel=\"prev\"");
  }
  if (window.page < window.pages) {
    out += ' ';
    AppendLink(out, link(window.page + 1, window.size), Text(language, kListNext), "rel=\"next\"");
  }
  out += " <span class=\"page-sizes\">";
  AppendEscapedHtml(out, Text(language, kListPerPage));
  for (const std::size_t size : kPageSizes) {
    out += ' ';
    // The page that holds the first row shown now.
    const std::int64_t page =
        window.total == 0 ? 1 : (window.first() - 1) / static_cast<std::int64_t>(size) + 1;
    AppendLink(out, link(page, size), std::to_string(size),
               size == window.size ? "aria-current=\"page\"" : "");
  }
  out += "</span></nav>\n";
}

}  // namespace ostrand::web
