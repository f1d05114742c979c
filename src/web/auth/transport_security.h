// What the host does when browsers reach it over TLS only (a TLS proxy in
// front, `serve --secure-cookies` or an https `--public-url`): every cookie
// it sets is marked Secure, so a browser never sends a session over plain
// HTTP, and every answer carries Strict-Transport-Security, so the browser
// keeps to https for a year.
#pragma once

#include <functional>
#include <string_view>

#include "web/http/http_server.h"
#include "web/http/response.h"

namespace ostrand::web {

// The Strict-Transport-Security value: a year, this host only (subdomains
// may be other people's sites).
inline constexpr std::string_view kStrictTransportSecurity = "max-age=31536000";

// Adds "; Secure" to each Set-Cookie header of the response that lacks it.
void MarkCookiesSecure(http::Response& response);

// A Responder that applies `change` to the response, then answers through
// `respond`. Copies share `respond`, as Responders do; `change` must not
// throw.
http::Responder Amended(http::Responder respond, std::function<void(http::Response&)> change);

// Amended with MarkCookiesSecure.
http::Responder SecureCookieResponder(http::Responder respond);

}  // namespace ostrand::web
