// The connections of HttpServer (http_server.h): what they share with the
// listener, and how one starts. Each connection reads requests one after
// another on its I/O thread (pipelined ones from the buffer), hands each to
// the handler and writes its answer, under the deadlines and limits that
// http_server.h promises. Internal to the server: only http_server.cpp and
// server_connection.cpp include it.
#pragma once

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "web/http/http_server.h"

namespace ostrand::web::http::detail {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
// Every connection lives on one io_context: its executor type is named, not
// type-erased, which spares a copy and a destruction per operation.
using Executor = asio::io_context::executor_type;
using Socket = asio::basic_stream_socket<tcp, Executor>;
using Stream = beast::basic_stream<tcp, Executor>;
using SteadyClock = std::chrono::steady_clock;
using SystemClock = std::chrono::system_clock;

// What every connection of one server shares.
struct Shared {
  HttpServerOptions options;
  Handler handler;
  ErrorPage error_page;
  AccessLog* log = nullptr;
  std::string site_header_lines;  // the site headers, ready to send
  std::string busy_reply;         // the whole 503 for a connection beyond the limit
  std::atomic<std::size_t> connections{0};
  std::atomic<std::size_t> in_flight{0};  // requests read and not yet answered
  std::atomic<bool> stopping{false};
  // Open connections per peer address, when they are capped.
  std::mutex clients_mutex;
  std::unordered_map<std::string, std::size_t> clients;

  // Takes a connection slot of `peer`; false when it has none left.
  bool TakeClientSlot(const std::string& peer);
  void ReturnClientSlot(const std::string& peer);

  // The error page of the status; never throws (a page that fails is
  // logged, and the reason phrase answers in its place).
  Response ErrorResponse(int status, std::string_view target, std::string_view incident) const;

  // The 500 of a failure of the request for `target`, with a fresh
  // incident number and the cause for the log.
  Response Failure(std::string_view cause, std::string_view target) const;

  void Log(const LogEntry& entry) const;
  // A failure outside any request's answer: one log line with a fresh
  // incident number and the cause, for no client.
  void LogFault(std::string_view cause) const;
};

// Serves the accepted socket on its own I/O thread until the connection
// ends. `peer`: the peer's address; `capped`: the connection holds one of
// the peer's slots (TakeClientSlot), returned when it ends.
void StartConnection(Socket socket, Shared& shared, std::string peer, bool capped);

// A connection beyond the limit: gets the 503 reply and is closed.
void TurnAway(Socket socket, Shared& shared, const std::string& client);

}  // namespace ostrand::web::http::detail
