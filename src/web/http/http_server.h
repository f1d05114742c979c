// HttpServer: the event-driven HTTP/1.1 server under the web host.
//
// A fixed number of I/O threads, each running its own event loop, read and
// write every connection; none of them ever waits for a database or a
// password hash. Each request goes to the Handler on an I/O thread, which
// must not block: it answers at once (a static file) or hands the work to a
// WorkerPool and answers later, from any thread, through the Responder.
//
// What the server guarantees whatever the clients do:
// - sockets with TCP_NODELAY, a listen backlog of the system's maximum;
// - keep-alive without a cap on requests per connection, and pipelined
//   requests answered in order;
// - deadlines: a request's head must arrive within head_timeout of its first
//   byte, its body within body_timeout, a response must be taken within
//   body_timeout, and a connection waiting for its next request closes after
//   idle_timeout; a connection past a deadline is closed;
// - at most max_connections open connections, and at most
//   max_connections_per_client from one peer address (trusted proxies
//   apart): one more gets a 503 page and is closed, taking no slot;
// - a head over max_head bytes gets 431, a target over max_target 414, a
//   body over max_body 413, a malformed request 400 (a body whose end is
//   not plain, see framing.h, a missing or repeated Host), each followed by
//   closing the connection;
// - a request from a trusted proxy carries the client address the proxy
//   names (forwarded.h) as remote_address, also in the access log;
// - a handler that throws gives a 500 page with an incident number, and the
//   cause goes to the access log only.
//
// Every request that gets an answer writes one access-log line after its
// last byte went out.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "web/http/access_log.h"
#include "web/http/forwarded.h"
#include "web/http/request.h"
#include "web/http/response.h"

namespace ostrand::web::http {

// The server's options and, for those that `ostrand serve` offers (its
// ServerOptions take them from here), their one default.
struct HttpServerOptions {
  std::string host = "127.0.0.1";
  int port = 8080;  // 0: any free port
  // SO_REUSEPORT: several processes may listen on the same port (each must
  // ask for it). Without it, a port in use is an error.
  bool reuse_port = false;
  std::size_t io_threads = 0;  // 0: one per processor
  std::size_t max_connections = 4096;
  // Open connections from one peer address at most; 0: no cap but
  // max_connections. Peers in trusted_proxies are not capped.
  std::size_t max_connections_per_client = 0;
  std::chrono::milliseconds head_timeout{std::chrono::seconds(10)};
  std::chrono::milliseconds body_timeout{std::chrono::seconds(30)};
  std::chrono::milliseconds idle_timeout{std::chrono::seconds(15)};
  std::size_t max_head = 16 * 1024;
  std::size_t max_target = 8 * 1024;  // the request target, in bytes
  std::size_t max_body = 1024 * 1024;
  // Peers whose Forwarded / X-Forwarded-For headers name the client;
  // empty: those headers are ignored.
  std::vector<AddressRange> trusted_proxies;
  // Header lines sent with every response, e.g. {"X-Frame-Options", "DENY"}.
  std::vector<Header> site_headers;
};

// Where a response goes once a handler has built it.
class ResponseSink {
 public:
  virtual ~ResponseSink() = default;
  virtual void Send(Response response) = 0;
};

// Answers one request. Copyable; the first call sends the response, later
// calls do nothing. Callable from any thread. When every copy is gone
// without a call, the connection is closed without an answer.
class Responder {
 public:
  explicit Responder(std::shared_ptr<ResponseSink> sink) : sink_(std::move(sink)) {}
  void operator()(Response response) const { sink_->Send(std::move(response)); }

 private:
  std::shared_ptr<ResponseSink> sink_;
};

// Called on an I/O thread for each complete request; must not block.
using Handler = std::function<void(Request request, Responder respond)>;

// The page of an error the server answers by itself (400, 413, 414, 431,
// 500, 501, 503); `target` is the request's target as far as it was read
// (empty or cut short when the request could not be read), `incident` is
// set for a 500. Called on I/O threads; must not block or throw.
using ErrorPage =
    std::function<Response(int status, std::string_view target, std::string_view incident)>;

// The defaults, HttpServerOptions as it is built.
const HttpServerOptions& DefaultHttpOptions();

class HttpServer {
 public:
  // `log` may be null (no access log) and must outlive the server.
  HttpServer(HttpServerOptions options, Handler handler, ErrorPage error_page, AccessLog* log);
  // Stops serving and closes every connection.
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Opens the listening socket and returns its port. Throws Error ("cannot
  // listen on 127.0.0.1:8080: address already in use") when the address
  // cannot be bound.
  int Bind();
  // Serves on the bound socket until Stop, on the I/O threads it starts;
  // returns at once when Stop came first. Throws Error naming the address
  // when Bind did not succeed.
  void Run();
  // Stops accepting, lets requests being answered finish (up to a few
  // seconds), then ends Run and returns once it has ended. Safe from any
  // thread but the I/O threads, also before Run or after it ended. Once
  // Run has ended, the log holds the line of every request answered.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ostrand::web::http
