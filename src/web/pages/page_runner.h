// PageRunner: runs a page for a signed-in visitor. It opens the request's
// database connection, reads the session (or redirects to the sign-in,
// clearing a stale cookie), checks the CSRF token of a POST, hands the page
// a PageRequest, renews the session cookie, and turns what the page throws
// into an error page: HttpError into its status and message, anything else
// into a 500 with an incident number whose cause goes to the log only.
// Under serve --require-second-factor a visitor who signed in with a
// password and must have a second factor but has none is sent to enrol it
// (303 to /account/second-factor) from every page but that one and the
// sign-out.
//
// Runs database work: call it on a worker, never on an I/O thread.
#pragma once

#include <functional>

#include "web/auth/session_cookie.h"
#include "web/data/databases.h"
#include "web/http/request.h"
#include "web/http/response.h"
#include "web/pages/page_request.h"
#include "web/site/server_options.h"

namespace ostrand::web {

using PageFunction = std::function<PageReply(PageRequest&)>;

// Whether serve --require-second-factor names the visitor (everybody, or
// administrators and the visitor is one).
bool SecondFactorRequired(const ServerOptions& options, const Visitor& visitor);

class PageRunner {
 public:
  // The references must outlive the runner.
  PageRunner(const ServerOptions& options, const Databases& databases, const SessionSigner& signer)
      : options_(options), databases_(databases), signer_(signer) {}

  // The response to the request; never throws. Every answer says that it
  // varies with the language (the cookie's or Accept-Language).
  http::Response Run(const http::Request& request, const PageFunction& page) const;

 private:
  http::Response Answer(const http::Request& request, const PageFunction& page) const;

  const ServerOptions& options_;
  const Databases& databases_;
  const SessionSigner& signer_;
};

}  // namespace ostrand::web
