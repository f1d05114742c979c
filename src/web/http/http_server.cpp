#include "web/http/http_server.h"

#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <condition_variable>
#include <ctime>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "core/date_text.h"
#include "core/error.h"
#include "web/http/framing.h"
#include "web/http/incident.h"
#include "web/http/status.h"
#include "web/http/url.h"
#include "web/http/worker_pool.h"

namespace ostrand::web::http {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = beast::http;
using tcp = asio::ip::tcp;
// Every connection lives on one io_context: its executor type is named, not
// type-erased, which spares a copy and a destruction per operation.
using Executor = asio::io_context::executor_type;
using Socket = asio::basic_stream_socket<tcp, Executor>;
using Stream = beast::basic_stream<tcp, Executor>;
using Timer = asio::basic_waitable_timer<std::chrono::steady_clock,
                                         asio::wait_traits<std::chrono::steady_clock>, Executor>;
using SteadyClock = std::chrono::steady_clock;
using SystemClock = std::chrono::system_clock;

// How long Stop lets the requests being answered finish.
constexpr auto kStopGrace = std::chrono::seconds(5);
// How long a connection turned away (503) or closed after an error may take
// to read its answer.
constexpr auto kFarewellTimeout = std::chrono::seconds(2);
// The pause before accepting again when accepting failed (out of files).
constexpr auto kAcceptPause = std::chrono::milliseconds(100);
// Bytes asked for by the first read of a request.
constexpr std::size_t kFirstRead = 4096;

// The listen backlog: the system's maximum (the kernel caps any larger
// value at net.core.somaxconn).
int ListenBacklog() {
  std::ifstream in("/proc/sys/net/core/somaxconn");
  int value = 0;
  if (in >> value && value > 0) return value;
  return SOMAXCONN;
}

// "Date: Mon, 06 May 2024 07:08:09 GMT\r\n", formatted once a second per
// thread.
std::string_view DateLine() {
  thread_local std::time_t shown = -1;
  thread_local char line[64];
  thread_local std::size_t length = 0;
  const std::time_t now = std::time(nullptr);
  if (now != shown) {
    // Rewritten in place, so that a view of the last line stays valid.
    length = ("Date: " + HttpDateText(DateTime::FromUnixSeconds(now)) + "\r\n")
                 .copy(line, sizeof line);
    shown = now;
  }
  return std::string_view(line, length);
}

// Whether a response header's name or value may be sent as it is: no
// control character (a line break would start a header of its own) but
// the tab.
bool SafeHeaderText(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t') || byte == 0x7f;
  });
}

// The values of every field `name` of a message, joined by ", " as one
// list.
template <class Message>
std::string JoinedFields(const Message& message, std::string_view name) {
  std::string joined;
  const auto range = message.equal_range(name);
  for (auto field = range.first; field != range.second; ++field) {
    if (!joined.empty()) joined += ", ";
    joined += std::string_view(field->value());
  }
  return joined;
}

void AppendHeaderLine(std::string& out, std::string_view name, std::string_view value) {
  out += name;
  out += ": ";
  out += value;
  out += "\r\n";
}

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
  bool TakeClientSlot(const std::string& peer) {
    const std::lock_guard<std::mutex> lock(clients_mutex);
    std::size_t& open = clients[peer];
    if (open >= options.max_connections_per_client) {
      if (open == 0) clients.erase(peer);
      return false;
    }
    ++open;
    return true;
  }
  void ReturnClientSlot(const std::string& peer) {
    const std::lock_guard<std::mutex> lock(clients_mutex);
    const auto found = clients.find(peer);
    if (found != clients.end() && --found->second == 0) clients.erase(found);
  }

  // The error page of the status; never throws.
  Response ErrorResponse(int status, std::string_view target, std::string_view incident) const {
    try {
      return error_page(status, target, incident);
    } catch (...) {
      return Response(status, "text/plain; charset=utf-8", std::string(ReasonPhrase(status)));
    }
  }

  // The 500 of a failure of the request for `target`, with a fresh
  // incident number and the cause for the log.
  Response Failure(std::string_view cause, std::string_view target) const {
    const std::string incident = NewIncidentNumber();
    Response response = ErrorResponse(500, target, incident);
    response.incident = incident;
    response.cause = cause;
    return response;
  }

  void Log(const LogEntry& entry) const {
    if (log != nullptr && log->enabled()) log->Write(entry);
  }
};

class Connection;

// The sink of one request's Responder: forwards the first response to the
// connection, or tells it that no answer will come.
class Exchange final : public ResponseSink {
 public:
  explicit Exchange(std::shared_ptr<Connection> connection) : connection_(std::move(connection)) {}
  ~Exchange() override;
  void Send(Response response) override;

 private:
  std::shared_ptr<Connection> connection_;
  std::atomic<bool> sent_{false};
};

// One client connection: reads requests one after another (pipelined ones
// from the buffer), hands each to the handler, writes its answer.
class Connection final : public std::enable_shared_from_this<Connection> {
 public:
  // `peer`: the peer's address; `capped`: the connection holds one of its
  // slots, returned when the connection ends.
  Connection(Socket socket, Shared& shared, std::string peer, bool capped)
      : stream_(std::move(socket)),
        timer_(stream_.get_executor()),
        shared_(shared),
        client_(std::move(peer)),
        capped_(capped) {
    ++shared_.connections;
  }
  ~Connection() {
    if (answering_) --shared_.in_flight;
    if (capped_) shared_.ReturnClientSlot(client_);
    --shared_.connections;
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs on the connection's own I/O thread.
  void Start() {
    beast::error_code ec;
    stream_.socket().set_option(tcp::no_delay(true), ec);
    // Writes are tried at once and never block (see Write).
    stream_.socket().non_blocking(true, ec);
    const tcp::endpoint local = stream_.socket().local_endpoint(ec);
    if (!ec) local_port_ = local.port();
    ReadNext();
  }

  // From any thread: the handler's answer, or none. On the connection's own
  // thread (a handler that answered at once) this runs straight away.
  void Post(Response response) {
    asio::dispatch(stream_.get_executor(),
                   [self = shared_from_this(), response = std::move(response)]() mutable {
                     self->Answer(std::move(response));
                   });
  }
  void Abandon() {
    asio::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->Close(); });
  }

 private:
  void ReadNext() {
    if (shared_.stopping) return Close();
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(shared_.options.max_head));
    parser_->body_limit(shared_.options.max_body);
    if (buffer_.size() > 0) return ReadHead();  // a pipelined request
    // Waiting for the next request: the idle deadline.
    stream_.expires_after(shared_.options.idle_timeout);
    stream_.async_read_some(buffer_.prepare(kFirstRead),
                            [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                              if (ec) return self->Close();
                              self->buffer_.commit(n);
                              self->ReadHead();
                            });
  }

  void ReadHead() {
    arrived_ = SteadyClock::now();
    arrived_wall_ = SystemClock::now();
    request_client_ = client_;
    stream_.expires_after(shared_.options.head_timeout);
    bhttp::async_read_header(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnHead(ec); });
  }

  void OnHead(beast::error_code ec) {
    if (ec) return OnReadError(ec);
    auto& message = parser_->get();
    if (const int status = HeadFault(message); status != 0) return Refuse(status);
    if (parser_->is_done()) return Dispatch();
    stream_.expires_after(shared_.options.body_timeout);
    if (beast::iequals(message[bhttp::field::expect], "100-continue")) {
      static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
      asio::async_write(stream_, asio::buffer(kContinue.data(), kContinue.size()),
                        [self = shared_from_this()](beast::error_code ec, std::size_t) {
                          if (ec) return self->Close();
                          self->ReadBody();
                        });
      return;
    }
    ReadBody();
  }

  // 0 for a head the server reads on, else the status refusing it: a
  // body whose end could be read two ways (so that it might pass for a
  // request of its own), a missing or repeated Host, an over-long target.
  template <class Message>
  int HeadFault(const Message& message) const {
    std::vector<std::string_view> codings;
    const auto range = message.equal_range(bhttp::field::transfer_encoding);
    for (auto field = range.first; field != range.second; ++field) {
      codings.emplace_back(field->value());
    }
    const bool http10 = message.version() < 11;
    switch (JudgeFraming(codings, message.count(bhttp::field::content_length) > 0, http10)) {
      case Framing::kMalformed:
        return 400;
      case Framing::kUnsupported:
        return 501;
      case Framing::kSound:
        break;
    }
    const std::size_t hosts = message.count(bhttp::field::host);
    if (hosts > 1 || (hosts == 0 && !http10)) return 400;
    if (message.target().size() > shared_.options.max_target) return 414;
    return 0;
  }

  // Whether the head that went over max_head did so in its request line
  // (a target too long rather than too many headers): the parser takes the
  // target once the line has ended, so it has none while the line goes on.
  bool RequestLineTooLong() const {
    const std::string_view target = parser_->get().target();
    return target.empty() || target.size() > shared_.options.max_target;
  }

  void ReadBody() {
    bhttp::async_read(stream_, buffer_, *parser_,
                      [self = shared_from_this()](beast::error_code ec, std::size_t) {
                        if (ec) return self->OnReadError(ec);
                        self->Dispatch();
                      });
  }

  void OnReadError(beast::error_code ec) {
    if (ec == bhttp::error::header_limit) return Refuse(RequestLineTooLong() ? 414 : 431);
    if (ec == bhttp::error::body_limit) return Refuse(413);
    if (ec.category() == bhttp::make_error_code(bhttp::error::bad_method).category() &&
        ec != bhttp::error::end_of_stream && ec != bhttp::error::partial_message) {
      return Refuse(400);
    }
    // Time-outs, clients that went away, and everything else: just close.
    Close();
  }

  // The target of the request being read or answered, as far as it was
  // read; empty before one.
  std::string_view Target() const {
    return parser_ ? std::string_view(parser_->get().target()) : std::string_view();
  }

  // Answers a request the server could not read, then closes.
  void Refuse(int status) {
    keep_alive_ = false;
    head_only_ = false;
    refused_ = true;
    answering_ = true;
    ++shared_.in_flight;
    Answer(shared_.ErrorResponse(status, Target(), ""));
  }

  void Dispatch() {
    stream_.expires_never();
    auto& message = parser_->get();
    keep_alive_ = message.keep_alive();
    http10_ = message.version() < 11;
    head_only_ = message.method() == bhttp::verb::head;
    const std::string_view target = message.target();
    if (target.empty() || target.front() != '/') return Refuse(400);

    Request request;
    request.method = message.method_string();
    request.target = target;
    const TargetParts parts = SplitTarget(target);
    request.path = PercentDecode(parts.path, false);
    request.query = parts.query;
    request.headers.reserve(16);
    for (const auto& field : message) {
      request.headers.push_back(
          Header{std::string(field.name_string()), std::string(field.value())});
    }
    request.body = std::move(message.body());
    if (!shared_.options.trusted_proxies.empty()) {
      request_client_ =
          ClientAddress(client_, JoinedFields(message, "Forwarded"),
                        JoinedFields(message, "X-Forwarded-For"), shared_.options.trusted_proxies);
    }
    request.remote_address = request_client_;
    request.local_port = local_port_;

    answering_ = true;
    ++shared_.in_flight;
    const auto exchange = std::make_shared<Exchange>(shared_from_this());
    try {
      shared_.handler(std::move(request), Responder(exchange));
    } catch (const std::exception& e) {
      exchange->Send(shared_.Failure(e.what(), Target()));
    } catch (...) {
      exchange->Send(shared_.Failure("unknown failure", Target()));
    }
  }

  void Answer(Response response) {
    if (!answering_ || response_) return;  // the connection has moved on
    response_.emplace(std::move(response));
    if (response_->delay > std::chrono::milliseconds(0)) {
      timer_.expires_after(response_->delay);
      timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
        if (ec) return self->Close();
        self->Write();
      });
      return;
    }
    Write();
  }

  void Write() {
    for (const Header& header : response_->headers) {
      if (!SafeHeaderText(header.name) || !SafeHeaderText(header.value)) {
        response_.emplace(
            shared_.Failure("a response header holds a control character: " + header.name,
                            Target()));
        break;
      }
    }
    const Response& response = *response_;
    const bool closing = !keep_alive_ || shared_.stopping;
    const std::string_view body = response.body();
    head_.clear();
    head_ += "HTTP/1.1 ";
    head_ += std::to_string(response.status);
    head_ += ' ';
    head_ += ReasonPhrase(response.status);
    head_ += "\r\n";
    head_ += DateLine();
    if (!response.content_type().empty()) {
      AppendHeaderLine(head_, "Content-Type", response.content_type());
    }
    // A 304 has no content, and its length would be that of the 200.
    if (response.status != 304) {
      AppendHeaderLine(head_, "Content-Length", std::to_string(body.size()));
    }
    head_ += shared_.site_header_lines;
    for (const Header& header : response.headers)
      AppendHeaderLine(head_, header.name, header.value);
    if (closing) {
      head_ += "Connection: close\r\n";
    } else if (http10_) {
      head_ += "Connection: keep-alive\r\n";
    }
    head_ += "\r\n";
    sent_bytes_ = head_only_ ? 0 : body.size();
    // Most answers fit into the socket's buffer: try to write all of it at
    // once, and wait (under the deadline) only for what did not fit.
    const std::array<asio::const_buffer, 2> buffers = {asio::buffer(head_),
                                                       asio::buffer(body.data(), sent_bytes_)};
    beast::error_code ec;
    std::size_t written = stream_.socket().write_some(buffers, ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again) {
      ec = {};
      written = 0;
    }
    if (ec || written == head_.size() + sent_bytes_) return OnWritten(ec);
    const std::size_t head_left = written < head_.size() ? head_.size() - written : 0;
    const std::size_t body_done = written > head_.size() ? written - head_.size() : 0;
    const std::array<asio::const_buffer, 2> rest = {
        asio::buffer(head_.data() + head_.size() - head_left, head_left),
        asio::buffer(body.data() + body_done, sent_bytes_ - body_done)};
    stream_.expires_after(shared_.options.body_timeout);
    asio::async_write(
        stream_, rest,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnWritten(ec); });
  }

  void OnWritten(beast::error_code ec) {
    stream_.expires_never();
    LogAnswer();
    response_.reset();  // releases what the response held
    answering_ = false;
    --shared_.in_flight;
    if (refused_) return Linger();
    if (ec || !keep_alive_ || shared_.stopping) return Close();
    ReadNext();
  }

  void LogAnswer() {
    if (shared_.log == nullptr) return;
    const Response& response = *response_;
    LogEntry entry;
    entry.time = arrived_wall_;
    entry.client = request_client_;
    if (parser_ && parser_->is_header_done()) {
      entry.method = parser_->get().method_string();
      entry.target = response.log_target.empty() ? std::string_view(parser_->get().target())
                                                 : std::string_view(response.log_target);
    } else {
      entry.method = "-";
      entry.target = "-";
    }
    entry.status = response.status;
    entry.bytes = sent_bytes_;
    entry.milliseconds =
        std::chrono::duration<double, std::milli>(SteadyClock::now() - arrived_).count();
    entry.person = response.person;
    entry.incident = response.incident;
    entry.cause = response.cause;
    shared_.Log(entry);
  }

  // After an error answer: stop sending, read what the client still sends
  // for a moment (closing at once could reset the connection before the
  // client has read the answer), then close.
  void Linger() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(kFarewellTimeout);
    buffer_.clear();
    stream_.async_read_some(buffer_.prepare(kFirstRead),
                            [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              if (ec) return self->Close();
                              self->Drain();
                            });
  }
  void Drain() {
    buffer_.clear();
    stream_.async_read_some(buffer_.prepare(kFirstRead),
                            [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              if (ec) return self->Close();
                              self->Drain();
                            });
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    timer_.cancel();
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

  Stream stream_;
  Timer timer_;
  Shared& shared_;
  beast::flat_buffer buffer_;
  std::optional<bhttp::request_parser<bhttp::string_body>> parser_;
  std::optional<Response> response_;
  std::string head_;
  std::string client_;          // the peer's address
  std::string request_client_;  // the client of the request: the peer, or whom a proxy names
  int local_port_ = 0;
  SteadyClock::time_point arrived_;
  SystemClock::time_point arrived_wall_;
  std::size_t sent_bytes_ = 0;
  bool keep_alive_ = true;
  bool http10_ = false;
  bool head_only_ = false;
  bool answering_ = false;
  bool refused_ = false;
  bool closed_ = false;
  bool capped_ = false;
};

Exchange::~Exchange() {
  if (!sent_.exchange(true)) connection_->Abandon();
}

void Exchange::Send(Response response) {
  if (!sent_.exchange(true)) connection_->Post(std::move(response));
}

// A connection beyond the limit: gets the 503 reply and is closed.
void TurnAway(Socket socket, Shared& shared, const std::string& client) {
  struct Farewell {
    explicit Farewell(Socket s) : stream(std::move(s)) {}
    Stream stream;
  };
  auto farewell = std::make_shared<Farewell>(std::move(socket));
  farewell->stream.expires_after(kFarewellTimeout);
  asio::async_write(farewell->stream, asio::buffer(shared.busy_reply),
                    [farewell](beast::error_code, std::size_t) {
                      beast::error_code ignored;
                      farewell->stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
                      farewell->stream.close();
                    });
  LogEntry entry;
  entry.time = SystemClock::now();
  entry.client = client;
  entry.method = "-";
  entry.target = "-";
  entry.status = 503;
  shared.Log(entry);
}

}  // namespace

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
      auto connection =
          std::make_shared<Connection>(std::move(socket), shared, std::move(peer), capped);
      asio::post(executor, [connection] { connection->Start(); });
    }
    Accept();
  }

  void RunContext(asio::io_context& context) {
    BlockStopSignals();
    for (;;) {
      try {
        context.run();
        return;
      } catch (...) {
        // A failing completion handler ends its own connection only.
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
  const Response busy = shared.ErrorResponse(503, "", "");
  shared.busy_reply = "HTTP/1.1 503 Service Unavailable\r\n";
  if (!busy.content_type().empty()) {
    AppendHeaderLine(shared.busy_reply, "Content-Type", busy.content_type());
  }
  AppendHeaderLine(shared.busy_reply, "Content-Length", std::to_string(busy.body().size()));
  AppendHeaderLine(shared.busy_reply, "Retry-After", "5");
  shared.busy_reply += shared.site_header_lines;
  shared.busy_reply += "Connection: close\r\n\r\n";
  shared.busy_reply += busy.body();

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
  const auto fail = [&](const beast::error_code& ec) {
    throw Error("cannot listen on " + where + ": " + ec.message());
  };
  beast::error_code ec;
  asio::io_context& context = *impl.contexts.front();
  tcp::resolver resolver(context);
  const auto endpoints =
      resolver.resolve(options.host, std::to_string(options.port),
                       tcp::resolver::passive | tcp::resolver::numeric_service, ec);
  if (ec) fail(ec);
  if (endpoints.empty()) throw Error("cannot listen on " + where + ": no such address");
  const tcp::endpoint endpoint = endpoints.begin()->endpoint();

  impl.acceptor.emplace(context);
  impl.accept_pause.emplace(context);
  impl.acceptor->open(endpoint.protocol(), ec);
  if (ec) fail(ec);
  // Lets a restarted server bind while connections of the last one linger
  // in TIME_WAIT; on Linux it never lets two servers listen on one port.
  impl.acceptor->set_option(tcp::acceptor::reuse_address(true), ec);
  if (options.reuse_port) {
    const int on = 1;
    if (::setsockopt(impl.acceptor->native_handle(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) !=
        0) {
      throw Error("cannot listen on " + where + ": SO_REUSEPORT refused");
    }
  }
  impl.acceptor->bind(endpoint, ec);
  if (ec) fail(ec);
  impl.acceptor->listen(ListenBacklog(), ec);
  if (ec) fail(ec);
  return impl.acceptor->local_endpoint().port();
}

void HttpServer::Run() {
  Impl& impl = *impl_;
  {
    const std::lock_guard<std::mutex> lock(impl.mutex);
    if (!impl.acceptor || !impl.acceptor->is_open()) throw Error("the server is not bound");
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
