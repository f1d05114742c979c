#include "web/pages/error_answer.h"

#include <string>

#include "core/error.h"
#include "store/database_error.h"
#include "web/http/incident.h"
#include "web/http/json_response.h"
#include "web/http/request_error.h"
#include "web/i18n/http_error.h"
#include "web/i18n/messages.h"
#include "web/pages/page_layout.h"

namespace ostrand::web {
namespace {

// What an answer says, before it is written as a page or as JSON.
struct Failure {
  int status = 500;
  Message message{MessageId::kSomethingWentWrong, {}};
  // What JSON says in place of the message, when set.
  std::string json_text;
  // For the log of a 5xx.
  std::string cause;
  // A busy server answers 503 without an incident: nothing went wrong.
  bool busy = false;
};

// The message of an Error that carries none of its own.
MessageId GeneralMessage(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kBadInput:
      return MessageId::kRequestUnreadable;
    case ErrorKind::kNotFound:
      return MessageId::kPageNotFound;
    case ErrorKind::kBusy:
      return MessageId::kServerBusy;
    case ErrorKind::kUnavailable:
      return MessageId::kDatabaseUnavailable;
    case ErrorKind::kForbidden:
    case ErrorKind::kConflict:
    case ErrorKind::kInternal:
      break;
  }
  return MessageId::kSomethingWentWrong;
}

// The English of a program's 5xx that carries no message of its own.
std::string GeneralJsonText(const Error& error) {
  switch (error.kind()) {
    case ErrorKind::kBusy:
      return "the server is busy; try again shortly";
    case ErrorKind::kUnavailable:
      // A statement that found the database gone; the pool's own refusal
      // says it as the pages do.
      if (dynamic_cast<const store::DatabaseError*>(&error) != nullptr) {
        return "the database is unavailable; try again shortly";
      }
      return Text(Language::kEnglish, MessageId::kDatabaseUnavailable).data();
    default:
      return "internal error";
  }
}

Failure FailureOf(const std::exception_ptr& error) {
  Failure failure;
  try {
    if (error) std::rethrow_exception(error);
    failure.cause = "unknown failure";
  } catch (const HttpError& e) {
    failure.status = e.status();
    failure.message = e.message();
    // The message itself, not what(): a NUL the request sent would end that.
    failure.json_text = Render(Language::kEnglish, e.message());
    failure.cause = e.cause().empty() ? std::string(e.what()) : e.cause();
  } catch (const http::RequestError& e) {
    failure.status = e.status();
    failure.message = MessageOf(e);
    failure.json_text = Render(Language::kEnglish, failure.message);
  } catch (const Error& e) {
    failure.status = StatusOfKind(e.kind());
    failure.message = {GeneralMessage(e.kind()), {}};
    failure.json_text = failure.status < 500 ? e.message_text() : GeneralJsonText(e);
    failure.cause = e.what();
    failure.busy = e.kind() == ErrorKind::kBusy;
  } catch (const std::exception& e) {
    failure.cause = e.what();
    failure.json_text = "internal error";
  } catch (...) {
    failure.cause = "unknown failure";
    failure.json_text = "internal error";
  }
  return failure;
}

}  // namespace

http::Response ErrorAnswer(std::exception_ptr error, Language language, const Visitor* visitor,
                           AnswerForm form) {
  const Failure failure = FailureOf(error);
  const bool server_fault = failure.status >= 500 && !failure.busy;
  const std::string incident = server_fault ? http::NewIncidentNumber() : std::string();
  http::Response response;
  if (form == AnswerForm::kJson) {
    response = http::JsonError(failure.status, failure.json_text, incident);
  } else {
    response = HtmlPage(failure.status, ErrorPage(language, failure.status,
                                                  Render(language, failure.message), visitor,
                                                  incident));
    if (failure.status == 503) response.AddHeader("Retry-After", "5");
  }
  if (server_fault) {
    response.incident = incident;
    response.cause = failure.cause;
  }
  return response;
}

}  // namespace ostrand::web
