// RequestError: a value a request sent that does not read (too many form
// fields, a person id or a day that is none). It is an Error of kind
// kBadInput whose message, in English, names the field and what it held;
// it also says which rule the value broke and with which values, so that
// the page can say it in the visitor's language (i18n/http_error.h).
#pragma once

#include <string>
#include <vector>

#include "core/error.h"

namespace ostrand::web::http {

class RequestError : public Error {
 public:
  enum class Rule {
    kTooManyFields,  // args: the most fields a request may hold
    kNotANumber,     // args: the field's name, what it held
    kNotADate,       // args: the field's name, what it held
  };

  RequestError(Rule rule, std::vector<std::string> args, const std::string& message)
      : Error(message, ErrorKind::kBadInput), rule_(rule), args_(std::move(args)) {}

  Rule rule() const { return rule_; }
  const std::vector<std::string>& args() const { return args_; }
  // 400, the status of every such request.
  int status() const { return 400; }

 private:
  Rule rule_;
  std::vector<std::string> args_;
};

}  // namespace ostrand::web::http
