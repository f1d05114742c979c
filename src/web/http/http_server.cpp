#include "web/http/http_server.h"

#include <sys/socket.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include "core/error.h"
#include "web/http/response_head.h"
#include "web/http/server_connection.h"
#include "web/http/worker_pool.h"

namespace ostrand::web::http {
namespace {

using namespace detail;

// How long Stop lets the requests being answered finish.
constexpr auto kStopGrace = std::chrono::seconds(5);
// The pause before accepting again when accepting failed (out of files).
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

// The listen backlog: the system's maximum (the kernel caps any larger
// value at net.core.somaxconn).
int ListenBacklog() {
  std::ifstream in("/proc/sys/net/core/somaxconn");
  int value = 0;
  if (in >> value && value > 0) return value;
  return SOMAXCONN;
}

}  // namespace

const HttpServerOptions& DefaultHttpOptions() {
  static const HttpServerOptions defaults;
  return defaults;
}

struct HttpServer::Impl {
  Shared shared;
  std::vector<std::unique_ptr<asio::io_context>> contexts;
  std::vector<asio::executor_work_guard<asio::io_context::executor_type>> guards;
  std::optional<tcp::acceptor> acceptor;
  std::optional<asio::steady_timer> accept_pause;
  std::size_t next_context = 0;

  std::mutex mutex;
  std::condition_variable changed;
  bool stop_requested = false;
  bool running = false;

  void Accept() {
    asio::io_context& target = *contexts[next_context++ % contexts.size()];
    acceptor->async_accept(
        target, [this](beast::error_code ec, Socket socket) { OnAccept(ec, std::move(socket)); });
  }

  void OnAccept(beast::error_code ec, Socket socket) {
    if (!acceptor->is_open() || ec == asio::error::operation_aborted) return;
    if (ec) {
      // Out of files or memory for a moment: wait rather than spin.
      accept_pause->expires_after(kAcceptPause);
      accept_pause->async_wait([this](beast::error_code wait_ec) {
        if (!wait_ec && acceptor->is_open()) Accept();
      });
      return;
    }
    const auto executor = socket.get_executor();
    beast::error_code peer_ec;
    const tcp::endpoint remote = socket.remote_endpoint(peer_ec);
    std::string peer = peer_ec ? std::string("-") : remote.address().to_string();
    const bool capped = shared.options.max_connections_per_client > 0 &&
                        !IsTrusted(peer, shared.options.trusted_proxies);
    if (shared.connections.load() >= shared.options.max_connections ||
        (capped && !shared.TakeClientSlot(peer))) {
      asio::post(executor, [this, s = std::move(socket), peer = std::move(peer)]() mutable {
        TurnAway(std::move(s), shared, peer);
      });
    } else {
      StartConnection(std::move(socket), shared, std::move(peer), capped);
    }
    Accept();
  }

  void RunContext(asio::io_context& context) {
    BlockStopSignals();
    for (;;) {
      try {
        context.run();
        return;
      } catch (const std::exception& e) {
        // A failing completion handler ends its own connection only.
        shared.LogFault(std::string("an I/O thread's handler failed: ") + e.what());
      } catch (...) {
        shared.LogFault("an I/O thread's handler failed");
      }
    }
  }
};

HttpServer::HttpServer(HttpServerOptions options, Handler handler, ErrorPage error_page,
                       AccessLog* log)
    : impl_(std::make_unique<Impl>()) {
  Shared& shared = impl_->shared;
  shared.options = std::move(options);
  shared.handler = std::move(handler);
  shared.error_page = std::move(error_page);
  shared.log = log;
  for (const Header& header : shared.options.site_headers) {
    if (!SafeHeaderText(header.name) || !SafeHeaderText(header.value)) {
      throw Error("site header '" + header.name + "' holds a control character");
    }
    AppendHeaderLine(shared.site_header_lines, header.name, header.value);
  }
  shared.busy_reply = BusyReply(shared.ErrorResponse(503, "", ""), shared.site_header_lines);

  std::size_t threads = shared.options.io_threads;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  for (std::size_t i = 0; i < threads; ++i) {
    impl_->contexts.push_back(std::make_unique<asio::io_context>(1));
    impl_->guards.push_back(asio::make_work_guard(*impl_->contexts.back()));
  }
}

HttpServer::~HttpServer() {
  Stop();
  impl_->guards.clear();
}

int HttpServer::Bind() {
  Impl& impl = *impl_;
  const HttpServerOptions& options = impl.shared.options;
  const std::string where = options.host + ":" + std::to_string(options.port);
  // A socket that failed half-way is closed, so that Run never serves on it.
  const auto fail = [&](const std::string& why) {
    impl.acceptor.reset();
    throw Error("cannot listen on " + where + ": " + why);
  };
  beast::error_code ec;
  asio::io_context& context = *impl.contexts.front();
  tcp::resolver resolver(context);
  const auto endpoints =
      resolver.resolve(options.host, std::to_string(options.port),
                       tcp::resolver::passive | tcp::resolver::numeric_service, ec);
  if (ec) fail(ec.message());
  if (endpoints.empty()) fail("no such address");
  const tcp::endpoint endpoint = endpoints.begin()->endpoint();

  impl.acceptor.emplace(context);
  impl.accept_pause.emplace(context);
  impl.acceptor->open(endpoint.protocol(), ec);
  if (ec) fail(ec.message());
  // Lets a restarted server bind while connections of the last one linger
  // in TIME_WAIT; on Linux it never lets two servers listen on one port.
  impl.acceptor->set_option(tcp::acceptor::reuse_address(true), ec);
  if (options.reuse_port) {
    const int on = 1;
    if (::setsockopt(impl.acceptor->native_handle(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) !=
        0) {
      fail("SO_REUSEPORT refused");
    }
  }
  impl.acceptor->bind(endpoint, ec);
  if (ec) fail(ec.message());
  impl.acceptor->listen(ListenBacklog(), ec);
  if (ec) fail(ec.message());
  return impl.acceptor->local_endpoint().port();
}

void HttpServer::Run() {
  Impl& impl = *impl_;
  {
    const std::lock_guard<std::mutex> lock(impl.mutex);
    if (!impl.acceptor || !impl.acceptor->is_open()) {
      const HttpServerOptions& options = impl.shared.options;
      throw Error("cannot serve on " + options.host + ":" + std::to_string(options.port) +
                  ": the address is not bound");
    }
    if (impl.stop_requested) return;
    impl.running = true;
  }
  asio::post(*impl.contexts.front(), [&impl] { impl.Accept(); });
  std::vector<std::thread> threads;
  threads.reserve(impl.contexts.size());
  for (const auto& context : impl.contexts) {
    asio::io_context* const running = context.get();
    threads.emplace_back([&impl, running] { impl.RunContext(*running); });
  }
  {
    std::unique_lock<std::mutex> lock(impl.mutex);
    impl.changed.wait(lock, [&impl] { return impl.stop_requested; });
  }
  // Stop accepting, let the requests being answered finish, then end.
  impl.shared.stopping = true;
  asio::post(*impl.contexts.front(), [&impl] {
    beast::error_code ignored;
    impl.acceptor->close(ignored);
    impl.accept_pause->cancel();
  });
  const auto deadline = SteadyClock::now() + kStopGrace;
  while (impl.shared.in_flight.load() > 0 && SteadyClock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (const auto& context : impl.contexts) context->stop();
  for (std::thread& thread : threads) thread.join();
  // Every line of the requests answered is out once the server has stopped.
  if (impl.shared.log != nullptr) impl.shared.log->Flush();
  {
    const std::lock_guard<std::mutex> lock(impl.mutex);
    impl.running = false;
  }
  impl.changed.notify_all();
}

void HttpServer::Stop() {
  Impl& impl = *impl_;
  std::unique_lock<std::mutex> lock(impl.mutex);
  impl.stop_requested = true;
  impl.changed.notify_all();
  impl.changed.wait(lock, [&impl] { return !impl.running; });
}

}  // namespace ostrand::web::http

