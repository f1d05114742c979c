// HttpError: an Error that ends a request with a message for the person at
// the browser, from the message catalogue (messages.h), so that the page
// shows it in the visitor's language. Its kind gives the status (400, 403,
// 404, 409, 503; web/pages/error_answer.h turns it into the answer). A 5xx
// may carry a cause for the access log, which the page never shows.
// Handlers throw it; any other exception a page raises is answered by its
// kind alone (a 500 with an incident number for kInternal).
#pragma once

#include <string>

#include "core/error.h"
#include "web/http/request_error.h"
#include "web/i18n/messages.h"

namespace ostrand::web {

// The status that answers an error of the kind: 400, 404, 403, 409, 503
// (busy and unavailable alike) and 500.
int StatusOfKind(ErrorKind kind);

class HttpError : public Error {
 public:
  // what() is the message in English, for logs and tests.
  HttpError(ErrorKind kind, Message message, std::string cause = {})
      : Error(Render(Language::kEnglish, message), kind),
        message_(std::move(message)),
        cause_(std::move(cause)) {}
  // The kind whose status is `status` (400, 403, 404, 409 or 503); any
  // other status is a fault of the caller and reads as kInternal (500).
  HttpError(int status, Message message, std::string cause = {})
      : HttpError(KindOfStatus(status), std::move(message), std::move(cause)) {}

  int status() const { return StatusOfKind(kind()); }
  // What the page says, in the language it is written in.
  const Message& message() const { return message_; }
  // What went wrong behind a 5xx, for the log; may be empty.
  const std::string& cause() const { return cause_; }

 private:
  static ErrorKind KindOfStatus(int status);

  Message message_;
  std::string cause_;
};

// The catalogue message that says what is wrong with a request's value.
Message MessageOf(const http::RequestError& error);

}  // namespace ostrand::web
