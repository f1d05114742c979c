// JSON answers, for the API and for every error answered to a program: one
// content type, never cached, and one shape of an error body.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string_view>

#include "web/http/response.h"

namespace ostrand::web::http {

// `body` as UTF-8 JSON with a final newline, "Cache-Control: no-store".
// Text in it that is no UTF-8 (another program's rows) comes out as U+FFFD
// rather than failing the answer. Never throws for such text.
Response JsonResponse(int status, const nlohmann::json& body);

// {"error": MESSAGE} and, when given, "incident" beside it; a 503 asks to
// retry in five seconds. The message may quote what the request sent: its
// control characters (a NUL would end the text for many readers) are
// written as %XX (log_text.h).
Response JsonError(int status, std::string_view message, std::string_view incident = {});

}  // namespace ostrand::web::http
