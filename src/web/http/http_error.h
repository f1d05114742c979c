// A request that ends in an error page: the status (400, 403, 404, ...) and
// a message for the person at the browser. Handlers throw it; the server
// turns it into the page. Any other exception a page raises becomes a 500
// page with its message.
#pragma once

#include <stdexcept>
#include <string>

namespace ostrand::web {

class HttpError : public std::runtime_error {
 public:
  HttpError(int status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

}  // namespace ostrand::web
