// What a query asks of a long list (the name filter, the duty, the page and
// its size): any query reads or fails with a 400, a page read lies within
// its list, and the links made of it read back as the same request.
#include "core/utf8.h"
#include "fuzz_check.h"
#include "web/http/form_fields.h"
#include "web/http/request_error.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/list_paging.h"

using ostrand::fuzz::Check;
namespace web = ostrand::web;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  web::ListAsk ask;
  try {
    ask = web::ReadListAsk(web::http::ParseFields(text));
  } catch (const web::HttpError& e) {
    Check(e.status() == 400, "a query that does not read is a bad request");
    return 0;
  } catch (const web::http::RequestError&) {
    return 0;  // a query of too many fields: refused before it is read
  }
  Check(ask.page >= 1, "pages count from 1");
  Check(ask.size >= web::kPageSizes.front() && ask.size <= web::kPageSizes.back(),
        "a page size within its bounds");
  // Clean as CleanText makes it, on one line (C1 controls may stay: the
  // filter is bound as a value and escaped where it is shown).
  Check(ostrand::IsValidUtf8(ask.filter.name_part) &&
            ostrand::FirstForbiddenControl(ask.filter.name_part) < 0 &&
            ask.filter.name_part.find_first_of("\t\n") == std::string::npos,
        "a name filter is clean text");
  for (const std::int64_t total : {std::int64_t{0}, std::int64_t{7}, std::int64_t{1000}}) {
    const web::PageWindow window = web::WindowOf(ask.page, ask.size, total);
    Check(window.page >= 1 && window.page <= window.pages, "the page lies within the list");
    Check(window.first() <= window.last() && window.last() <= total, "rows within the list");
  }
  std::string link = "/l?dt=1";
  web::AppendListQuery(link, ask.filter, ask.size, ask.page);
  const web::ListAsk again = web::ReadListAsk(web::http::ParseFields(link.substr(3)));
  Check(again.filter == ask.filter && again.page == ask.page && again.size == ask.size,
        "a link reads back as what it was made of");
  return 0;
}
