// A request that ends in an error page: the status (400, 403, 404, 503, ...)
// and a message for the person at the browser. Handlers throw it; the server
// turns it into the page. A 5xx may carry a cause for the access log, which
// the page never shows. Any other exception a page raises becomes a 500 page
// with an incident number, its message going to the log only.
#pragma once

#include <stdexcept>
#include <string>

namespace ostrand::web {

class HttpError : public std::runtime_error {
 public:
  HttpError(int status, const std::string& message, std::string cause = {})
      : std::runtime_error(message), status_(status), cause_(std::move(cause)) {}
  int status() const { return status_; }
  // What went wrong behind a 5xx, for the log; may be empty.
  const std::string& cause() const { return cause_; }

 private:
  int status_;
  std::string cause_;
};

}  // namespace ostrand::web
