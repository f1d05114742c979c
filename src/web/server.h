// WebServer: `ostrand serve`. Serves the schedule pages under /schedule/,
// the sign-in at /login and /logout, the images, stylesheet and site icon,
// on the event-driven HTTP server of http/. The I/O threads read and write
// connections and serve the static files; the pages run on a pool of
// worker threads and the password checks on a pool of their own, so that
// no database call or hash ever holds an I/O thread. A page leases its
// database connection from the server's pool (store/connection_pool.h),
// and the component in the page shares it.
//
// Every request writes one access-log line. A page that fails answers with
// an error page (400, 403, 404 with its message; 500 with an incident
// number whose cause goes to the log; 503 when the server is busy or the
// database unavailable; pages/error_answer.h) and the server goes on
// serving. Which path goes where is the route table in server.cpp.
#pragma once

#include <memory>

#include "web/site/server_options.h"

namespace ostrand::web {

class WebServer {
 public:
  // Checks that the database opens and holds the schedule tables, brings
  // the host's tables up to date, and sets up the routes and the worker
  // threads. Throws Error when the database cannot be used.
  explicit WebServer(ServerOptions options);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds to the options' host and port (port 0: a free port) and returns
  // the port. Throws Error ("cannot listen on 127.0.0.1:8080: Address
  // already in use") when the address cannot be bound.
  int Bind();
  // Serves on the bound address until Stop. Throws Error naming the
  // address and the cause when it cannot serve (Bind did not succeed).
  void Listen();
  // Ends Listen, letting requests being answered finish; safe to call from
  // any thread, also before Listen started (then Listen does not block) or
  // after it ended.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Serves until the process receives SIGINT or SIGTERM, then stops cleanly.
// Blocks those signals in the calling thread (and the server threads it
// starts) while it runs. Throws what Listen throws, once the signals are
// as they were.
void ServeUntilSignalled(WebServer& server);

}  // namespace ostrand::web
