// The page objects of one HTTP request, as the component sees them: a
// response that collects the page, a request that answers the server
// variables, and the session items opened from the request's cookie.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "host/memory_context.h"
#include "host/page_context.h"

namespace ostrand::web {

// The page being built. Everything the page writes, its own markup and the
// component's writes alike, lands here in the order of the calls.
class HttpResponse : public host::Response {
 public:
  // Reserves room for a page of about `expected_size` bytes.
  explicit HttpResponse(std::size_t expected_size = 0) { body_.reserve(expected_size); }
  void Write(std::string_view text) override { body_.append(text); }
  const std::string& body() const { return body_; }
  // The body to append to in place, for a fragment rendered straight into it.
  std::string& body_buffer() { return body_; }
  std::string TakeBody() { return std::move(body_); }

 private:
  std::string body_;
};

// The request's server variables: "URL" (the path, without the query),
// "QUERY_STRING", "REQUEST_METHOD", "REMOTE_ADDR", "SERVER_NAME",
// "HTTP_HOST"; any other name reads as the empty text. Names compare
// without regard to ASCII case.
class HttpRequest : public host::Request {
 public:
  explicit HttpRequest(std::map<std::string, std::string> variables);
  Value ServerVariable(std::string_view name) const override;

 private:
  std::map<std::string, std::string> variables_;  // keys in upper case
};

// The scripting context handed to OnStartPage for one request.
class HttpPageContext : public host::ScriptingContext {
 public:
  HttpPageContext(std::shared_ptr<HttpResponse> response, std::shared_ptr<HttpRequest> request,
                  std::shared_ptr<host::Session> session)
      : response_(std::move(response)),
        request_(std::move(request)),
        server_(std::make_shared<host::Server>()),
        application_(std::make_shared<host::Application>()),
        session_(std::move(session)) {}

  std::shared_ptr<host::Response> response() const override { return response_; }
  std::shared_ptr<host::Request> request() const override { return request_; }
  std::shared_ptr<host::Server> server() const override { return server_; }
  std::shared_ptr<host::Application> application() const override { return application_; }
  std::shared_ptr<host::Session> session() const override { return session_; }

 private:
  std::shared_ptr<HttpResponse> response_;
  std::shared_ptr<HttpRequest> request_;
  std::shared_ptr<host::Server> server_;
  std::shared_ptr<host::Application> application_;
  std::shared_ptr<host::Session> session_;
};

}  // namespace ostrand::web
