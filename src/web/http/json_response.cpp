#include "web/http/json_response.h"

#include <nlohmann/json.hpp>
#include <string>

#include "web/http/log_text.h"

namespace ostrand::web::http {

Response JsonResponse(int status, const nlohmann::json& body) {
  Response response(status, "application/json; charset=utf-8",
                    body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
  response.AddHeader("Cache-Control", "no-store");
  return response;
}

Response JsonError(int status, std::string_view message, std::string_view incident) {
  std::string shown;
  AppendLogText(shown, message, true);
  nlohmann::json body{{"error", std::move(shown)}};
  if (!incident.empty()) body["incident"] = std::string(incident);
  Response response = JsonResponse(status, body);
  if (status == 503) response.AddHeader("Retry-After", "5");
  return response;
}

}  // namespace ostrand::web::http
