// One HTTP response as the pages build it: status, headers, body, and what
// the access log should say about the request. The server adds the framing
// headers (Date, Content-Length, Connection) and the site-wide ones.
//
// The body is sent as it is, without a copy: either text the response owns,
// or bytes that live for the whole program (static files).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/http/request.h"

namespace ostrand::web::http {

class Response {
 public:
  Response() = default;
  Response(int status, std::string_view content_type, std::string body);

  // A 303 to `location` (a path of this host, already percent-encoded).
  static Response Redirect(std::string_view location);

  int status = 200;
  std::vector<Header> headers;  // besides Content-Type (Set-Cookie may repeat)

  void AddHeader(std::string_view name, std::string_view value);

  // The body: owned text, or a view of bytes that outlive every response.
  void SetBody(std::string_view content_type, std::string body);
  void SetStaticBody(std::string_view content_type, std::string_view bytes);
  std::string_view body() const { return static_body_.data() != nullptr ? static_body_ : body_; }
  std::string_view content_type() const { return content_type_; }

  // When set, the server waits this long before it sends the response,
  // without holding a thread (a failed sign-in answers slowly this way).
  std::chrono::milliseconds delay{0};
  // Kept alive until the response has been sent (or the connection has
  // ended), then released: e.g. a slot that lasts over the delay.
  std::shared_ptr<const void> hold;

  // For the access log: the signed-in person, the incident number of a
  // failure and its cause (never shown to the client).
  std::optional<std::int64_t> person;
  std::string incident;
  std::string cause;
  // When set, the log shows this target instead of the one sent: the
  // request's target with a secret in it (a feed token) taken out.
  std::string log_target;

 private:
  std::string content_type_;
  std::string body_;
  std::string_view static_body_;
};

}  // namespace ostrand::web::http
