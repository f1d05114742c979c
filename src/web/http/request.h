// One HTTP request as the pages see it, independent of the server that
// read it: method, target, headers, body and where it came from. A Request
// owns all of its text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ostrand::web::http {

struct Header {
  std::string name;
  std::string value;
};

struct Request {
  std::string method;           // "GET", "POST", ... as sent
  std::string target;           // path and query as sent, still percent-encoded
  std::string path;             // the target's path, percent-decoded
  std::string query;            // the text after '?', still encoded ("" without one)
  std::vector<Header> headers;  // in the order sent
  std::string body;
  std::string remote_address;  // the client's IP address
  int local_port = 0;          // the port the request came in on

  // The value of the first header called `name` (ASCII case ignored), or the
  // empty text. The view points into the request.
  std::string_view HeaderValue(std::string_view name) const;
};

}  // namespace ostrand::web::http
