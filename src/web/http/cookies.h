// Cookies: reading one out of a request's Cookie header, and the Set-Cookie
// value that sets or clears one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "web/http/request.h"

namespace ostrand::web::http {

// The value of the first cookie called `name` in a Cookie header
// ("a=1; b=2"), or nothing when there is none. Names compare exactly;
// blanks around a pair are ignored; a pair without '=' is skipped. The view
// points into `header`.
std::optional<std::string_view> FindCookie(std::string_view header, std::string_view name);

// The value of the cookie `name` in the request's Cookie headers, or
// nothing. The view points into the request.
std::optional<std::string_view> FindRequestCookie(const Request& request, std::string_view name);

// The Set-Cookie value "name=value; Path=path; Max-Age=N; HttpOnly;
// SameSite=Lax". A max_age of 0 or less clears the cookie (Max-Age=0). The
// caller passes a name and a value of cookie-safe characters (the host's own
// tokens are URL-safe base64).
std::string SetCookieValue(std::string_view name, std::string_view value, std::string_view path,
                           std::int64_t max_age);

}  // namespace ostrand::web::http
