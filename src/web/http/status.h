// The reason phrases of HTTP statuses.
#pragma once

#include <string_view>

namespace ostrand::web::http {

// The registered reason phrase of a status ("Not Found" for 404, "Too Many
// Requests" for 429, ...), for every status of HTTP/1.1 and its common
// extensions; the empty text for a status that has none, which the status
// line may carry as it is.
std::string_view ReasonPhrase(int status);

}  // namespace ostrand::web::http
