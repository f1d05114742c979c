// What a page handler receives for one request, free of the HTTP server:
// the server's options, the request's database connection (leased from the
// server's pool; the component's Init shares it), the signed-in visitor,
// the request's path, query values and form fields, and the language of
// the page.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "store/connection.h"
#include "web/auth/visitor.h"
#include "web/data/databases.h"
#include "web/http/form_fields.h"
#include "web/http/request.h"
#include "web/i18n/language.h"
#include "web/site/server_options.h"

namespace ostrand::web {

using http::FieldOrEmpty;
using http::FindField;
using http::FormFields;

struct PageRequest {
  const ServerOptions& options;
  const Databases& databases;  // where the component gets its connection
  store::Connection& db;       // the request's connection
  Visitor& visitor;
  std::string path;  // e.g. "/schedule/personMonth.asp"
  FormFields query;  // decoded query values
  FormFields form;   // decoded form fields of a POST
  // Server variables for the component ("URL", "QUERY_STRING", ...).
  std::map<std::string, std::string> server_variables;
  // The language the host writes the page in (pages/language_switch.h).
  Language language = kDefaultLanguage;
  // The request's path and query, where the language switch returns to.
  std::string here;
  // The request itself, for its cookies; set by the runner.
  const http::Request* http = nullptr;
};

// A page's answer: a status and a body, or a redirect (303) when
// `location` is set. The body is an HTML page unless `content_type` names
// another type (a download). Each goes out with `headers`.
struct PageReply {
  PageReply() = default;
  PageReply(int status_code, std::string html, std::string redirect = {})
      : status(status_code), body(std::move(html)), location(std::move(redirect)) {}

  int status = 200;
  std::string body;
  std::string location;
  std::string content_type;
  std::vector<http::Header> headers;
};

}  // namespace ostrand::web
