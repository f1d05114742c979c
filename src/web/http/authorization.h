// The Authorization header of programs that call the JSON API with a bearer
// token (RFC 6750): a plain function on the header's text.
#pragma once

#include <optional>
#include <string_view>

namespace ostrand::web::http {

// The credentials of "Bearer TOKEN": the scheme in any case, one or more
// blanks, then a token68 (letters, digits and "-._~+/", then any "=");
// blanks around the whole value are ignored. Nothing for another scheme, a
// missing or malformed token. The view points into `header`.
std::optional<std::string_view> ReadBearerCredentials(std::string_view header);

}  // namespace ostrand::web::http
