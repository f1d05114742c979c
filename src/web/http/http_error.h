// A request that ends in an error page: the status (400, 403, 404, 503, ...)
// and a message for the person at the browser, from the message catalogue
// (i18n/messages.h), so that the page shows it in the visitor's language.
// Handlers throw it; the server turns it into the page. A 5xx may carry a
// cause for the access log, which the page never shows. Any other
// exception a page raises becomes a 500 page with an incident number, its
// message going to the log only.
#pragma once

#include <stdexcept>
#include <string>

#include "web/i18n/messages.h"

namespace ostrand::web {

class HttpError : public std::runtime_error {
 public:
  // what() is the message in English, for logs and tests.
  HttpError(int status, Message message, std::string cause = {})
      : std::runtime_error(Render(Language::kEnglish, message)),
        status_(status),
        message_(std::move(message)),
        cause_(std::move(cause)) {}
  int status() const { return status_; }
  // What the page says, in the language it is written in.
  const Message& message() const { return message_; }
  // What went wrong behind a 5xx, for the log; may be empty.
  const std::string& cause() const { return cause_; }

 private:
  int status_;
  Message message_;
  std::string cause_;
};

}  // namespace ostrand::web
