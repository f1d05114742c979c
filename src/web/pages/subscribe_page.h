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
// Its section "app-passwords" lists the visitor's app passwords of
// calendar programs (web/auth/app_passwords.h) with a revoke button each,
// makes a named one, shown once the same way as an API token (in a cookie
// of its own), and says what a calendar program is set up with: the
// server's address (the site's and kDavFolder), the person's number as
// the user name, and an app password.
//
// The addresses start with the server's --public-url, or else with
// "http://" and the Host the browser asked for.
//
// POST fields: action ("reset-feed", "new-api-token", "revoke-api-token",
// "new-app-password" with name, "revoke-app-password" with name) and csrf
// (checked before these functions run).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "web/auth/server_secret.h"
#include "web/pages/page_request.h"

namespace ostrand::web {

// The cookie (Path=/subscribe, HttpOnly) that carries a new API token to
// the page that shows it, that of a new app password, and how long they
// live, in seconds.
inline constexpr std::string_view kNewTokenCookieName = "ostrand_new_token";
inline constexpr std::string_view kNewAppPasswordCookieName = "ostrand_new_app_password";
inline constexpr std::int64_t kNewTokenCookieLifetime = 60;

// What a sealed value carries; the one of one kind never opens as the other.
enum class NewSecret { kApiToken, kAppPassword };

// The cookie's value "PERSON.EXPIRES.TOKEN.TAG" for `token`, a personal
// token (URL-safe base64) or an app password of person `person`, valid
// until `expires` (seconds since the Unix epoch), TAG an HMAC under `key`
// over the fields and the kind.
std::string SealNewToken(const SecretKey& key, std::int64_t person, std::string_view token,
                         std::int64_t expires, NewSecret kind = NewSecret::kApiToken);

// The token of a cookie value that SealNewToken made with `key` for
// `person` and of that kind, when it has not expired at `now` (nor claims
// to live longer than kNewTokenCookieLifetime from now); nothing for
// anything else. Never throws.
std::optional<std::string> OpenNewToken(const SecretKey& key, std::string_view value,
                                        std::int64_t person, std::int64_t now,
                                        NewSecret kind = NewSecret::kApiToken);

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
// notice, and for a new API token or app password with the cookie that
// carries it. An app password's name that is taken or does not read, and
// revoking one the visitor does not have, answer the page with a notice
// (409, 400, 404). Throws HttpError 400 for an unknown action.
PageReply SubmitSubscribe(PageRequest& request);

}  // namespace ostrand::web
