// What a program sends the JSON API and a calendar program the feeds: the
// bearer credentials of the Authorization header, the form of a personal
// token, and the "from" and "to" days of the query. Any text reads without
// failing (a range that does not read is an Error, which the API answers
// with 400); credentials lie within the header and are a token68, a token
// read is the text itself, and a range holds the days asked for in order.
// Also the cookie that carries a new API token to the subscribe page: only
// a value sealed with the key opens, and the one sealed from the token read
// opens as that token.
#include "core/error.h"
#include "feeds/feed_range.h"
#include "fuzz_check.h"
#include "web/auth/personal_tokens.h"
#include "web/http/authorization.h"
#include "web/pages/subscribe_page.h"

using ostrand::fuzz::Check;
namespace web = ostrand::web;

namespace {

bool IsToken68(std::string_view text) {
  const std::size_t end = text.find_last_not_of('=');
  if (end == text.npos) return false;  // empty, or only "="
  for (const char c : text.substr(0, end + 1)) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    std::string_view("-._~+/").find(c) != std::string_view::npos;
    if (!ok) return false;
  }
  return true;
}

void CheckRange(std::string_view text) {
  // "from" before the first '&', "to" after it; a leading '!' leaves "from"
  // out, a trailing '!' leaves "to" out.
  const std::size_t amp = text.find('&');
  std::optional<std::string_view> from = text.substr(0, amp);
  std::optional<std::string_view> to;
  if (amp != text.npos) to = text.substr(amp + 1);
  if (from->starts_with('!')) from.reset();
  if (to && to->ends_with('!')) to.reset();
  const ostrand::DateTime today = ostrand::DateTime::FromCivil(2026, 12, 8);
  try {
    const ostrand::feeds::FeedRange range = ostrand::feeds::RequestedRange(from, to, today);
    Check(range.first.seconds() == 0 && range.last.seconds() == 0, "a range is of whole days");
    Check(!(range.last < range.first), "a range runs forward");
    Check(range.last.day() - range.first.day() <= ostrand::feeds::kMaxMonths * 31,
          "a range spans at most kMaxMonths months");
    if (from) {
      Check(range.first == ostrand::DateTime::Parse(*from)->DateOnly(), "from is the first day");
    }
    if (to) Check(range.last == ostrand::DateTime::Parse(*to)->DateOnly(), "to is the last day");
  } catch (const ostrand::Error&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);

  if (const std::optional<std::string_view> credentials = web::http::ReadBearerCredentials(text)) {
    Check(credentials->data() >= text.data() &&
              credentials->data() + credentials->size() <= text.data() + size,
          "credentials lie within their header");
    Check(IsToken68(*credentials), "credentials are a token68");
  }
  if (const std::optional<std::string_view> token = web::ReadToken(text)) {
    Check(*token == text && token->size() == web::kTokenLength &&
              token->find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                       "0123456789-_") == token->npos,
          "a token is kTokenLength URL-safe base64 characters");
    const std::string header = "bearer  " + std::string(text) + " ";
    Check(web::http::ReadBearerCredentials(header) == *token,
          "a token is sent as bearer credentials");
  }
  CheckRange(text);

  static const web::SecretKey key = web::RandomSecret();
  constexpr std::int64_t kNow = 2'000'000'000;
  Check(!web::OpenNewToken(key, text, 7, kNow), "only a sealed value opens");
  if (const std::optional<std::string_view> token = web::ReadToken(text)) {
    const std::string sealed = web::SealNewToken(key, 7, *token, kNow + 30);
    Check(web::OpenNewToken(key, sealed, 7, kNow) == std::string(*token),
          "a sealed token opens as itself");
    Check(!web::OpenNewToken(key, sealed, 8, kNow), "for its person only");
    Check(!web::OpenNewToken(key, sealed, 7, kNow + 30), "until it expires");
  }
  return 0;
}
