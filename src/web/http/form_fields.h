// Query strings and form bodies ("a=1&b=x%20y") read into named fields.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "web/http/request.h"

namespace ostrand::web::http {

// Query or form values by name; a name may repeat.
using FormFields = std::multimap<std::string, std::string>;

// The most fields one query string or form body may hold; the host's own
// forms have a dozen.
inline constexpr std::size_t kMaxFields = 256;

// Decodes "a=1&b=x+y%21" (application/x-www-form-urlencoded, which query
// strings share) into fields: names and values percent-decoded with '+' as a
// space, a pair without '=' an empty value, a value keeping any '=' after the
// first, empty pairs skipped. Throws RequestError (400) for more than kMaxFields
// pairs.
FormFields ParseFields(std::string_view text);

// The form fields of a request whose body is
// application/x-www-form-urlencoded; none for any other body. Throws as
// ParseFields.
FormFields FormOf(const Request& request);

// The first value of `name`, or nothing.
std::optional<std::string> FindField(const FormFields& fields, std::string_view name);
// The first value of `name`, or the empty text.
std::string FieldOrEmpty(const FormFields& fields, std::string_view name);

}  // namespace ostrand::web::http
