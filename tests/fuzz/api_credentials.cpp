// What a program sends the JSON API and a calendar program the feeds: the
// bearer credentials of the Authorization header, the form of a personal
// token, and the "from" and "to" days of the query. Any text reads without
// failing (a range that does not read is an Error, which the API answers
// with 400); credentials lie within the header and are a token68, a token
// read is the text itself, and a range holds the days asked for in order.
// Also the cookie that carries a new API token to the subscribe page: only
// a value sealed with the key opens, and the one sealed from the token read
// opens as that token. And what a calendar program sends: Basic credentials
// read only from a short header, as one line of UTF-8 whose user holds no
// ':', and that read back when sent again; an app password read is one of
// the alphabet's, of the right length, and reads as itself.
#include <sodium.h>

#include "core/error.h"
#include "core/utf8.h"
#include "feeds/feed_range.h"
#include "fuzz_check.h"
#include "web/auth/app_passwords.h"
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

void CheckBasic(std::string_view text) {
  const std::optional<web::http::BasicCredentials> read = web::http::ReadBasicCredentials(text);
  if (!read) return;
  Check(text.size() <= web::http::kBasicCredentialsLimit, "only a short header reads");
  Check(read->user.find(':') == std::string::npos, "the user ends at the first colon");
  const std::string joined = read->user + ":" + read->password;
  Check(ostrand::IsValidUtf8(joined) && !ostrand::HasControlCharacter(joined) &&
            joined.find('\t') == std::string::npos,
        "credentials are one line of UTF-8");
  std::string encoded(sodium_base64_ENCODED_LEN(joined.size(), sodium_base64_VARIANT_ORIGINAL),
                      '\0');
  sodium_bin2base64(encoded.data(), encoded.size(),
                    reinterpret_cast<const unsigned char*>(joined.data()), joined.size(),
                    sodium_base64_VARIANT_ORIGINAL);
  encoded.pop_back();  // the terminating NUL
  const std::optional<web::http::BasicCredentials> again =
      web::http::ReadBasicCredentials("basic " + encoded);
  Check(again && again->user == read->user && again->password == read->password,
        "credentials read back when sent again");
}

void CheckAppPasswordText(std::string_view text) {
  const std::optional<std::string> normal = web::NormalAppPassword(text);
  if (!normal) return;
  Check(normal->size() == web::kAppPasswordLength &&
            normal->find_first_not_of("abcdefghijkmnpqrstuvwxyz23456789") == std::string::npos,
        "an app password is of the alphabet and the length");
  Check(web::NormalAppPassword(*normal) == normal, "an app password reads as itself");
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
  CheckBasic(text);
  CheckAppPasswordText(text);

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
