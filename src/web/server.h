// WebServer: `ostrand serve`. Serves the schedule pages under /schedule/,
// the sign-in at /login and /logout, and the images and stylesheet, on a
// thread pool; every request leases a connection from the server's pool
// (the component in a page shares it) and every schedule page runs its own
// Schedulers instance, so requests share nothing but the options, the
// signing key and the pool.
//
// Each request writes one line to the access log: method, path, status,
// body bytes and milliseconds. A page that fails answers with an error page
// (400, 403, 404, or 500 with the error's message; 503 when the database
// is unavailable) and the server goes on serving.
#pragma once

#include <memory>

#include "web/server_options.h"

namespace ostrand::web {

class WebServer {
 public:
  // Checks that the database opens and holds the schedule tables, creates
  // the account table when it is missing, and sets up the routes. Throws
  // Error when the database cannot be used.
  explicit WebServer(ServerOptions options);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds to the options' host and port (port 0: a free port) and returns
  // the port. Throws Error when the address cannot be bound.
  int Bind();
  // Serves on the bound address until Stop; false when serving failed.
  bool Listen();
  // Ends Listen; safe to call from any thread, also before Listen started
  // (then Listen does not block) or after it ended.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Serves until the process receives SIGINT or SIGTERM, then stops cleanly.
// Blocks those signals in the calling thread (and the server threads it
// starts) while it runs. Returns false when serving failed.
bool ServeUntilSignalled(WebServer& server);

}  // namespace ostrand::web
