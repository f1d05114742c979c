// What a page handler receives for one request, free of the HTTP library:
// the server's options, the request's database connection (leased from
// the server's pool), the
// signed-in visitor, and the request's path, query values and form fields.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "store/connection.h"
#include "web/server_options.h"
#include "web/auth/visitor.h"

namespace ostrand::web {

// Query or form values by name; a name may repeat.
using FormFields = std::multimap<std::string, std::string>;

// The first value of `name`, or nothing.
std::optional<std::string> FindField(const FormFields& fields, std::string_view name);
// The first value of `name`, or the empty text.
std::string FieldOrEmpty(const FormFields& fields, std::string_view name);

struct PageRequest {
  const ServerOptions& options;
  store::Connection& db;
  Visitor& visitor;
  std::string path;  // e.g. "/schedule/personMonth.asp"
  FormFields query;  // decoded query values
  FormFields form;   // decoded form fields of a POST
  // Server variables for the component ("URL", "QUERY_STRING", ...).
  std::map<std::string, std::string> server_variables;
};

// A page's answer: a status and a body, or a redirect (303) when
// `location` is set.
struct PageReply {
  int status = 200;
  std::string body;
  std::string location;
};

}  // namespace ostrand::web
