#include "web/http/response.h"

namespace ostrand::web::http {

Response::Response(int status_code, std::string_view content_type, std::string body)
    : status(status_code) {
  SetBody(content_type, std::move(body));
}

Response Response::Redirect(std::string_view location) {
  Response response;
  response.status = 303;
  response.AddHeader("Location", location);
  response.AddHeader("Cache-Control", "no-store");
  return response;
}

void Response::AddHeader(std::string_view name, std::string_view value) {
  headers.push_back(Header{std::string(name), std::string(value)});
}

void Response::SetBody(std::string_view content_type, std::string body) {
  content_type_ = content_type;
  body_ = std::move(body);
  static_body_ = {};
}

void Response::SetStaticBody(std::string_view content_type, std::string_view bytes) {
  content_type_ = content_type;
  body_.clear();
  static_body_ = bytes.data() != nullptr ? bytes : std::string_view("", 0);
}

}  // namespace ostrand::web::http
