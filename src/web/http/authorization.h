// The Authorization header: the bearer token of programs that call the
// JSON API (RFC 6750), and the user name and password of HTTP Basic (RFC
// 7617) that calendar programs send. Plain functions on the header's text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ostrand::web::http {

// The credentials of "Bearer TOKEN": the scheme in any case, one or more
// blanks, then a token68 (letters, digits and "-._~+/", then any "=");
// blanks around the whole value are ignored. Nothing for another scheme, a
// missing or malformed token. The view points into `header`.
std::optional<std::string_view> ReadBearerCredentials(std::string_view header);

// The longest Authorization header that ReadBasicCredentials reads.
inline constexpr std::size_t kBasicCredentialsLimit = 1024;

struct BasicCredentials {
  std::string user;      // before the first ':'
  std::string password;  // after it; may hold ':'
};

// The credentials of "Basic BASE64": the scheme in any case, one or more
// blanks, then "user:password" in base64 (the original alphabet, padded);
// blanks around the whole value are ignored. Nothing for another scheme,
// base64 that does not read, decoded text without a ':', text that is not
// UTF-8 or holds a control character (NUL included), and a header longer
// than kBasicCredentialsLimit. Never throws but std::bad_alloc.
std::optional<BasicCredentials> ReadBasicCredentials(std::string_view header);

}  // namespace ostrand::web::http
