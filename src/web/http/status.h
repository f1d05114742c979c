// The reason phrases of the HTTP statuses the web host answers with.
#pragma once

#include <string_view>

namespace ostrand::web::http {

// "Not Found" for 404, ...; "Error" for a status the host never sends.
std::string_view ReasonPhrase(int status);

}  // namespace ostrand::web::http
