#include "web/i18n/http_error.h"

namespace ostrand::web {

int StatusOfKind(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kBadInput:
      return 400;
    case ErrorKind::kForbidden:
      return 403;
    case ErrorKind::kNotFound:
      return 404;
    case ErrorKind::kConflict:
      return 409;
    case ErrorKind::kBusy:
    case ErrorKind::kUnavailable:
      return 503;
    case ErrorKind::kInternal:
      break;
  }
  return 500;
}

ErrorKind HttpError::KindOfStatus(int status) {
  switch (status) {
    case 400:
      return ErrorKind::kBadInput;
    case 403:
      return ErrorKind::kForbidden;
    case 404:
      return ErrorKind::kNotFound;
    case 409:
      return ErrorKind::kConflict;
    case 503:
      return ErrorKind::kUnavailable;
    default:
      return ErrorKind::kInternal;
  }
}

Message MessageOf(const http::RequestError& error) {
  switch (error.rule()) {
    case http::RequestError::Rule::kTooManyFields:
      return {MessageId::kTooManyFields, error.args()};
    case http::RequestError::Rule::kNotANumber:
      return {MessageId::kNotANumber, error.args()};
    case http::RequestError::Rule::kNotADate:
      break;
  }
  return {MessageId::kNotADate, error.args()};
}

}  // namespace ostrand::web
