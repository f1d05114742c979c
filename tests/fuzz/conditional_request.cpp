// The headers of a conditional GET: HTTP dates (If-Modified-Since) and
// entity tag lists (If-None-Match). Any text reads without failing; a date
// that reads is a real time that HttpDate writes and reads back, a list
// matches a tag only when it names it (or a compressed form's tag of it) or
// is "*", and the weak prefix
// counts for nothing.
#include "fuzz_check.h"
#include "web/http/conditional.h"

using ostrand::fuzz::Check;
namespace http = ostrand::web::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);

  if (const std::optional<ostrand::DateTime> date = http::ReadHttpDate(text)) {
    const std::string written = http::HttpDate(*date);
    Check(written.size() == 29 && written.ends_with(" GMT"), "an HTTP date is an IMF-fixdate");
    Check(http::ReadHttpDate(written) == date, "an HTTP date reads back");
  }

  if (http::NoneMatchHolds(text, "\"a1\"")) {
    // The tag itself, or the tag of a compressed form of the same bytes.
    Check(text.find("\"a1\"") != text.npos || text.find("\"a1-") != text.npos ||
              text.find('*') != text.npos,
          "a list matches only a tag it names");
  }
  Check(!http::NoneMatchHolds(text, ""), "nothing matches a representation without a tag");
  // The text's first quoted word as the tag.
  const std::size_t open = text.find('"');
  const std::size_t close = open == text.npos ? open : text.find('"', open + 1);
  if (close != text.npos) {
    const std::string_view etag = text.substr(open, close - open + 1);
    Check(http::NoneMatchHolds("W/" + std::string(etag) + ", \"zz\"", etag) ==
              http::NoneMatchHolds(etag, "W/" + std::string(etag)),
          "the weak prefix counts for nothing");
  }
  return 0;
}
