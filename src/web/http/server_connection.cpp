#include "web/http/server_connection.h"

#include <algorithm>
#include <array>
#include <boost/beast/http.hpp>
#include <memory>
#include <optional>
#include <vector>

#include "web/http/framing.h"
#include "web/http/incident.h"
#include "web/http/response_head.h"
#include "web/http/status.h"
#include "web/http/url.h"

namespace ostrand::web::http::detail {
namespace {

namespace bhttp = beast::http;
using Timer = asio::basic_waitable_timer<std::chrono::steady_clock,
                                         asio::wait_traits<std::chrono::steady_clock>, Executor>;

// How long a connection turned away (503) or closed after an error may take
// to read its answer.
constexpr auto kFarewellTimeout = std::chrono::seconds(2);
// Bytes asked for by the first read of a request.
constexpr std::size_t kFirstRead = 4096;

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

  // From any thread: the handler's answer, or none. While it waits for the
  // answer the connection does nothing else, so the answering thread (a
  // page worker, or the I/O thread itself for a handler that answered at
  // once) writes it straight away: the write never blocks, and only what
  // does not fit into the socket's buffer is left to the I/O thread. This
  // spares the hand-over back to the I/O thread and its wake-up.
  void Post(Response response) {
    try {
      Answer(std::move(response));
    } catch (const std::exception& e) {
      // Out of memory while writing the head or logging: this connection
      // ends, the thread that answered goes on.
      shared_.LogFault(std::string("an answer could not be sent: ") + e.what());
      Abandon();
    }
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
    WriteResponseHead(head_, response, shared_.site_header_lines,
                      closing   ? ConnectionLine::kClose
                      : http10_ ? ConnectionLine::kKeepAlive
                                : ConnectionLine::kNone);
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

}  // namespace

bool Shared::TakeClientSlot(const std::string& peer) {
  const std::lock_guard<std::mutex> lock(clients_mutex);
  std::size_t& open = clients[peer];
  if (open >= options.max_connections_per_client) {
    if (open == 0) clients.erase(peer);
    return false;
  }
  ++open;
  return true;
}

void Shared::ReturnClientSlot(const std::string& peer) {
  const std::lock_guard<std::mutex> lock(clients_mutex);
  const auto found = clients.find(peer);
  if (found != clients.end() && --found->second == 0) clients.erase(found);
}

Response Shared::ErrorResponse(int status, std::string_view target,
                               std::string_view incident) const {
  try {
    return error_page(status, target, incident);
  } catch (const std::exception& e) {
    LogFault(std::string("the error page of ") + std::to_string(status) + " failed: " + e.what());
  } catch (...) {
    LogFault("the error page of " + std::to_string(status) + " failed");
  }
  return Response(status, "text/plain; charset=utf-8", std::string(ReasonPhrase(status)));
}

Response Shared::Failure(std::string_view cause, std::string_view target) const {
  const std::string incident = NewIncidentNumber();
  Response response = ErrorResponse(500, target, incident);
  response.incident = incident;
  response.cause = cause;
  return response;
}

void Shared::Log(const LogEntry& entry) const {
  if (log != nullptr && log->enabled()) log->Write(entry);
}

void Shared::LogFault(std::string_view cause) const {
  const std::string incident = NewIncidentNumber();
  LogEntry entry;
  entry.time = SystemClock::now();
  entry.client = "-";
  entry.method = "-";
  entry.target = "-";
  entry.status = 500;
  entry.incident = incident;
  entry.cause = cause;
  Log(entry);
}

void StartConnection(Socket socket, Shared& shared, std::string peer, bool capped) {
  const auto executor = socket.get_executor();
  auto connection = std::make_shared<Connection>(std::move(socket), shared, std::move(peer), capped);
  asio::post(executor, [connection] { connection->Start(); });
}

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

}  // namespace ostrand::web::http::detail
