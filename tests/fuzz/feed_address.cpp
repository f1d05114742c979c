// The addresses of the calendar feeds: any request path reads as a feed or
// as none without failing; a feed read has its token inside the path and
// makes the same feed again through FeedPath, and the access log never
// shows the token.
#include "web/pages/feed_address.h"
#include "fuzz_check.h"
#include "web/pages/page_paths.h"

using ostrand::fuzz::Check;
namespace web = ostrand::web;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);

  const std::string logged = web::FeedTargetForLog(text);
  Check(logged.starts_with(std::string(web::kFeedsFolder) + "-"),
        "the log writes the token as '-'");

  const std::optional<web::FeedAddress> feed = web::ReadFeedPath(text);
  if (!feed) return 0;
  Check(!feed->token.empty() && feed->token.find('/') == feed->token.npos,
        "a token is one non-empty segment");
  Check(feed->token.data() > text.data() &&
            feed->token.data() + feed->token.size() < text.data() + size,
        "a token lies within its path");
  Check(feed->kind != web::FeedKind::kColleague || feed->person_id >= 0, "a person id is whole");
  const std::string path = web::FeedPath(feed->token, feed->kind, feed->person_id);
  const std::optional<web::FeedAddress> again = web::ReadFeedPath(path);
  Check(again && again->token == feed->token && again->kind == feed->kind &&
            again->person_id == feed->person_id,
        "a feed's path reads as the same feed");
  Check(logged == std::string(web::kFeedsFolder) + "-" +
                      std::string(text.substr(text.find('/', web::kFeedsFolder.size()))),
        "the log keeps the file but not the token");
  return 0;
}
