// Long lists of persons a page at a time: what a visitor asks of a list
// (a part of the name, a duty, the page and its size) read from the query,
// the arithmetic of the pages, the links that keep what was asked, and the
// markup of the filter form and the pager. The leader summary over months,
// who is away and the administration's persons list share it, so that a
// list pages and filters alike everywhere.
//
// Query values: q (a part of the name), duty (a duty's id), size (persons
// a page) and page (from 1). A list of no more than one page, unfiltered at
// the default size, shows neither form nor pager (ListControlsShown), and
// its links carry none of these values: a small department sees its pages
// as before.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "web/data/person_filter.h"
#include "web/data/person_registry.h"
#include "web/http/form_fields.h"
#include "web/i18n/messages.h"

namespace ostrand::web {

// The page sizes offered; a size asked between them is kept, one outside
// them is brought to the nearest end.
inline constexpr std::array<std::size_t, 4> kPageSizes = {25, 50, 100, 200};
inline constexpr std::size_t kDefaultPageSize = 50;

// What a visitor asks of a list.
struct ListAsk {
  PersonFilter filter;
  std::int64_t page = 1;  // from 1; may lie past the end (PageWindow brings it back)
  std::size_t size = kDefaultPageSize;
};

// Reads q, duty, size and page from the query. q is trimmed, cleaned and
// cut (audit_log.h ShortDetail) to what a name can hold; page 0 reads as
// 1 and a number beyond every page as the last page (PageWindow); size is
// brought within kPageSizes' ends. Throws HttpError (400) naming the
// field and its text for a duty, size or page that is not a whole number
// (a duty beyond 32 bits included).
ListAsk ReadListAsk(const http::FormFields& query);

// Where a page of `size` rows lies in a list of `total`.
struct PageWindow {
  std::int64_t page = 1;   // 1 to pages
  std::int64_t pages = 1;  // at least 1, also for an empty list
  std::size_t size = kDefaultPageSize;
  std::int64_t total = 0;

  // The rows before the page.
  std::size_t offset() const { return static_cast<std::size_t>(page - 1) * size; }
  // The numbers (from 1) of the page's first and last row; 0 and 0 for an
  // empty list.
  std::int64_t first() const { return total == 0 ? 0 : static_cast<std::int64_t>(offset()) + 1; }
  std::int64_t last() const;
};

// The window of page `page` (brought within 1..pages) of `size` rows (at
// least 1) over `total` rows (negative counts as 0).
PageWindow WindowOf(std::int64_t page, std::size_t size, std::int64_t total);

// Whether a list shows the filter form and the pager: when it holds more
// than one page, or the visitor asked for a filter, a size or a page.
bool ListControlsShown(const ListAsk& ask, const PageWindow& window);

// Appends "&q=..&duty=..&size=..&page=.." to a link that has a query
// already, leaving out what is empty or the default (page 1, the default
// size), each value percent-encoded (url.h).
void AppendListQuery(std::string& link, const PersonFilter& filter, std::size_t size,
                     std::int64_t page);

// The address of another page of the list at a size.
using PageLink = std::function<std::string(std::int64_t page, std::size_t size)>;

// The form that filters the list, posting back with GET to `action`:
// `keep` as hidden fields (the list's other values, such as its day), the
// size when not the default, the name and the duty (any, or one of
// `duties`). The page starts at 1 again.
void AppendListFilter(std::string& out, Language language, std::string_view action,
                      const std::vector<std::pair<std::string, std::string>>& keep,
                      const PersonFilter& filter, std::size_t size,
                      const std::vector<Choice>& duties);

// <nav class="pager">: the count ("Persons 51–100 of 1,000", or that
// nobody matches), links to the previous and next page where there is one
// (rel="prev" / "next"), and the page sizes, the shown one marked
// aria-current. The links come from `link`.
void AppendPager(std::string& out, Language language, const PageWindow& window,
                 const PageLink& link);
// The same for a list of other rows: `shown` is the count's message, with
// the first row, the last and the total as {0}, {1} and {2}.
void AppendPager(std::string& out, Language language, const PageWindow& window,
                 const PageLink& link, MessageId shown);

}  // namespace ostrand::web
