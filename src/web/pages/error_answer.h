// ErrorAnswer: the one place where a failure becomes a response. Whatever a
// page, the sign-in, a feed or the API throws, the status comes from the
// error's kind (i18n/http_error.h, StatusOfKind); a person at a browser
// gets the error page in his or her language, a program under /api/ gets
// JSON in English. A 5xx (but a busy server's, where nothing went wrong)
// gets a fresh incident number, shown on the page or beside the JSON
// message, and the error's cause goes with it into the access log (the
// response's `incident` and `cause`), never to the client.
//
// Adding an error: throw Error with its kind (or HttpError with a catalogue
// message, when the visitor should read what is wrong); nothing here
// changes unless a new kind is added to core/error.h.
#pragma once

#include <exception>

#include "web/auth/visitor.h"
#include "web/http/response.h"
#include "web/i18n/language.h"

namespace ostrand::web {

enum class AnswerForm {
  kPage,  // an HTML error page in the visitor's language
  kJson,  // {"error": ...} in English, for the API's programs
};

// The answer to `error` (any exception; null reads as an unknown failure):
//  - HttpError: its status and its catalogue message, its cause (else its
//    English message) in the log for a 5xx;
//  - http::RequestError (a value of the request that does not read): 400
//    and what is wrong with it;
//  - any other Error: the status of its kind. A page says the kind's
//    general message; JSON says the error's own message for a 4xx, and a
//    general one for a 5xx (the message goes to the log);
//  - anything else: 500, its what() in the log.
// A 503 asks to retry in five seconds. `visitor` (may be null) gets the
// navigation bar on the page. Never throws.
http::Response ErrorAnswer(std::exception_ptr error, Language language, const Visitor* visitor,
                           AnswerForm form = AnswerForm::kPage);

}  // namespace ostrand::web
