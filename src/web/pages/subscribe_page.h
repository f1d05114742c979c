// The subscribe page at /subscribe: the visitor's calendar feed addresses
// (pages/feed_address.h) in the https (or http) and webcal forms, ready to
// copy into a calendar program: one's own plans, a colleague's chosen with
// a picker (personID), and the department's for the leading duties. A form
// resets the feed token (every old address stops working at once), and
// another makes or ends the visitor's API token for the JSON API, which
// the page shows once, right after it is made: the POST that makes it
// answers 303 and hands the token to the next GET of the page in a short,
// signed cookie, which that page clears, so that a reload makes no token.
//
// The addresses start with the server's --public-url, or else with
// "http://" and the Host the browser asked for.
//
// POST fields: action ("reset-feed", "new-api-token", "revoke-api-token")
// and csrf (checked before these functions run).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "web/auth/server_secret.h"
#include "web/pages/page_request.h"

namespace ostrand::web {

// The cookie (Path=/subscribe, HttpOnly) that carries a new API token to
// the page that shows it, and how long it lives, in seconds.
inline constexpr std::string_view kNewTokenCookieName = "ostrand_new_token";
inline constexpr std::int64_t kNewTokenCookieLifetime = 60;

// The cookie's value "PERSON.EXPIRES.TOKEN.TAG" for `token`, a personal
// token (URL-safe base64) of person `person`, valid until `expires`
// (seconds since the Unix epoch), TAG an HMAC under `key`.
std::string SealNewToken(const SecretKey& key, std::int64_t person, std::string_view token,
                         std::int64_t expires);

// The token of a cookie value that SealNewToken made with `key` for
// `person`, when it has not expired at `now` (nor claims to live longer
// than kNewTokenCookieLifetime from now); nothing for anything else. Never
// throws.
std::optional<std::string> OpenNewToken(const SecretKey& key, std::string_view value,
                                        std::int64_t person, std::int64_t now);

// The start of every absolute address a page hands out (feed addresses,
// invitation links): the server's --public-url, or else "http://" and the
// Host the browser asked for (the server's own address without one).
std::string SiteBase(const PageRequest& request);
// The same from the options, a Host header's value (may be empty) and the
// port the request came in on, for the answers outside a page (the sign-in
// with an OpenID provider).
std::string SiteBase(const ServerOptions& options, std::string_view host_header,
                     std::string_view local_port);

// The page. Throws HttpError 400 for a personID that does not read, 403 for
// a person of another system, 404 for an unknown person.
PageReply ShowSubscribe(PageRequest& request);

// Carries out the form's action, then returns to the page (303) with a
// notice, and for a new API token with the cookie that carries it. Throws
// HttpError 400 for an unknown action.
PageReply SubmitSubscribe(PageRequest& request);

}  // namespace ostrand::web
