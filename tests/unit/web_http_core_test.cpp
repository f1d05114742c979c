// The HTTP server under the web host, driven over real sockets: keep-alive
// and pipelining, the deadlines, the limits, request framing, the
// connection caps, clients behind proxies, handlers that fail, and answers
// that come later from another thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "http_test_client.h"
#include "web/http/access_log.h"
#include "web/http/http_server.h"
#include "web/http/worker_pool.h"

namespace ostrand::web::http {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using testing::ConnectLoopback;
using testing::ReadReply;
using testing::SendAll;

// An HttpServer on a free loopback port, serving in a thread until
// destroyed. Its handler answers "/slow" from another thread after a
// delay, "/throw" by throwing, "/drop" not at all, "/who" with the
// client's address, and anything else at once with the path and the body.
class CoreServer {
 public:
  explicit CoreServer(HttpServerOptions options) : log_(&log_text_, LogFormat::kText) {
    options.host = "127.0.0.1";
    options.port = 0;
    server_ = std::make_unique<HttpServer>(
        std::move(options),
        [this](Request request, Responder respond) { Handle(request, respond); },
        [](int status, std::string_view, std::string_view incident) {
          return Response(status, "text/plain", "error " + std::string(incident));
        },
        &log_);
    port_ = server_->Bind();
    thread_ = std::thread([this] { server_->Run(); });
  }
  ~CoreServer() {
    server_->Stop();
    thread_.join();
  }
  int port() const { return port_; }
  std::string log() {
    server_->Stop();
    return log_text_.str();
  }
  std::weak_ptr<const void> last_hold;

 private:
  void Handle(const Request& request, const Responder& respond) {
    if (request.path == "/throw") throw std::runtime_error("the cause");
    if (request.path == "/drop") return;
    if (request.path == "/who") return respond(Response(200, "text/plain", request.remote_address));
    if (request.path == "/bad-header") {
      Response response(200, "text/plain", "x");
      response.AddHeader("X-Split", "a\r\nSet-Cookie: forged=1");
      return respond(std::move(response));
    }
    if (request.path == "/nul-header") {
      Response response(200, "text/plain", "x");
      response.AddHeader("X-Nul", std::string("a\0b", 3));
      return respond(std::move(response));
    }
    if (request.path == "/slow") {
      std::thread([respond, this] {
        std::this_thread::sleep_for(milliseconds(50));
        Response response(200, "text/plain", "slow");
        response.delay = milliseconds(200);
        const auto hold = std::make_shared<int>(1);
        last_hold = hold;
        response.hold = hold;
        respond(std::move(response));
      }).detach();
      return;
    }
    respond(Response(200, "text/plain", request.path + "|" + request.body));
  }

  std::ostringstream log_text_;
  AccessLog log_;
  std::unique_ptr<HttpServer> server_;
  int port_ = 0;
  std::thread thread_;
};

// Milliseconds until the server closes the socket (recv gives 0 or an
// error), reading and dropping anything it sends; -1 past `limit`.
long long MillisecondsUntilClosed(int fd, milliseconds limit) {
  const auto started = Clock::now();
  pollfd poller{fd, POLLIN, 0};
  while (Clock::now() - started < limit) {
    if (::poll(&poller, 1, 50) > 0) {
      char buffer[4096];
      if (::recv(fd, buffer, sizeof buffer, 0) <= 0) {
        return std::chrono::duration_cast<milliseconds>(Clock::now() - started).count();
      }
    }
  }
  return -1;
}

// Everything the server sends until it closes the socket; nothing when it
// keeps it open past `limit`.
std::optional<std::string> ReadUntilClosed(int fd, milliseconds limit) {
  std::string received;
  const auto started = Clock::now();
  pollfd poller{fd, POLLIN, 0};
  while (Clock::now() - started < limit) {
    if (::poll(&poller, 1, 50) <= 0) continue;
    char buffer[4096];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) return received;
    received.append(buffer, static_cast<std::size_t>(got));
  }
  return std::nullopt;
}

TEST(HttpCore, KeepsConnectionsAliveAndAnswersPipelinedRequestsInOrder) {
  CoreServer server({});
  const int fd = ConnectLoopback(server.port());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(SendAll(fd,
                      "GET /a HTTP/1.1\r\nHost: x\r\n\r\n"
                      "HEAD /b HTTP/1.1\r\nHost: x\r\n\r\n"
                      "POST /c HTTP/1.1\r\nHost: x\r\nContent-Length: 4\r\n\r\nbody"));
  std::string pending;
  const testing::Result a = ReadReply(fd, pending);
  const testing::Result b = ReadReply(fd, pending, true);
  const testing::Result c = ReadReply(fd, pending);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->body, "/a|");
  EXPECT_EQ(b->get_header_value("Content-Length"), "3") << "HEAD tells the size, sends no body";
  EXPECT_EQ(c->body, "/c|body");
  EXPECT_TRUE(pending.empty());
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(SendAll(fd, "GET /again HTTP/1.1\r\nHost: x\r\n\r\n"));
    const testing::Result again = ReadReply(fd, pending);
    ASSERT_TRUE(again) << "request " << i << " on one connection";
    EXPECT_EQ(again->get_header_value("Connection"), "");
  }
  ASSERT_TRUE(SendAll(fd, "GET /last HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
  const testing::Result last = ReadReply(fd, pending);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->get_header_value("Connection"), "close");
  EXPECT_GE(MillisecondsUntilClosed(fd, milliseconds(2000)), 0);
  ::close(fd);
}

TEST(HttpCore, ClosesConnectionsAtTheirDeadlines) {
  HttpServerOptions options;
  options.head_timeout = milliseconds(400);
  options.body_timeout = milliseconds(400);
  options.idle_timeout = milliseconds(300);
  CoreServer server(options);
  // Closed (not left open until the test's limit), and not before its
  // deadline; how soon after it is the machine's to say, not the test's.
  const auto within = [](long long ms, long long deadline) { return ms >= deadline - 60; };

  const int idle = ConnectLoopback(server.port());
  EXPECT_PRED2(within, MillisecondsUntilClosed(idle, milliseconds(3000)), 300);

  // A head trickling in a byte at a time is cut at the head deadline,
  // counted from its first byte.
  const int slow = ConnectLoopback(server.port());
  std::this_thread::sleep_for(milliseconds(150));
  const auto first_byte = Clock::now();
  std::atomic<bool> done{false};
  std::thread trickle([&] {
    for (const char c : std::string("GET /slowly HTTP/1.1\r\nHost: x\r\n")) {
      if (done || !SendAll(slow, std::string_view(&c, 1))) return;
      std::this_thread::sleep_for(milliseconds(60));
    }
  });
  const long long closed = MillisecondsUntilClosed(slow, milliseconds(3000));
  done = true;
  trickle.join();
  const long long since_first_byte =
      std::chrono::duration_cast<milliseconds>(Clock::now() - first_byte).count();
  EXPECT_GE(closed, 0);
  EXPECT_PRED2(within, since_first_byte, 400);

  const int body = ConnectLoopback(server.port());
  ASSERT_TRUE(SendAll(body, "POST /b HTTP/1.1\r\nHost: x\r\nContent-Length: 10\r\n\r\n12"));
  EXPECT_PRED2(within, MillisecondsUntilClosed(body, milliseconds(3000)), 400);
  for (const int fd : {idle, slow, body}) ::close(fd);
}

TEST(HttpCore, OversizedAndMalformedRequestsGetTheirStatusAndAClose) {
  HttpServerOptions options;
  options.max_body = 1000;
  CoreServer server(options);
  const std::string big_head =
      "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(20000, 'a') + "\r\n\r\n";
  const std::string big_body = "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 1001\r\n\r\n";
  const std::pair<std::string, int> cases[] = {
      {big_head, 431},
      {big_body, 413},
      {"NOT HTTP AT ALL\r\n\r\n", 400},
      {"GET http://elsewhere/ HTTP/1.1\r\nHost: x\r\n\r\n", 400},
      {"GET /" + std::string(100000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", 414},
      {"GET /" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", 414},
      {"GET / HTTP/1.1\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nHost: x\r\nHost: y\r\n\r\n", 400},
  };
  for (const auto& [request, status] : cases) {
    const int fd = ConnectLoopback(server.port());
    ASSERT_TRUE(SendAll(fd, request));
    std::string pending;
    const testing::Result reply = ReadReply(fd, pending);
    ASSERT_TRUE(reply) << status;
    EXPECT_EQ(reply->status, status);
    EXPECT_EQ(reply->get_header_value("Connection"), "close");
    EXPECT_GE(MillisecondsUntilClosed(fd, milliseconds(4000)), 0) << status;
    ::close(fd);
  }
}

// A body whose end the server and a proxy could see differently would let
// its bytes pass as a request of their own: each gets one answer and a close.
TEST(HttpCore, BodiesOfUncertainLengthAreRefusedAndTheConnectionClosed) {
  CoreServer server({});
  const std::string smuggled = "GET /smuggled HTTP/1.1\r\nHost: x\r\n\r\n";
  const std::pair<std::string, int> cases[] = {
      {"POST /login HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\n\r\n" + smuggled, 400},
      {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: identity\r\n\r\n" + smuggled, 400},
      {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: xchunked\r\n\r\n" + smuggled, 400},
      {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked, identity\r\n\r\n" + smuggled,
       400},
      {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: \"chunked\"\r\n\r\n" + smuggled, 400},
      {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\nContent-Length: " +
           std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled,
       400},
      {"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n"
       "0\r\n\r\n" +
           smuggled,
       400},
      {"POST / HTTP/1.0\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n" + smuggled, 400},
      {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n" + smuggled,
       501},
  };
  for (const auto& [request, status] : cases) {
    const int fd = ConnectLoopback(server.port());
    ASSERT_TRUE(SendAll(fd, request));
    std::string pending;
    const testing::Result reply = ReadReply(fd, pending);
    ASSERT_TRUE(reply) << request;
    EXPECT_EQ(reply->status, status) << request;
    EXPECT_EQ(reply->get_header_value("Connection"), "close") << request;
    const std::optional<std::string> rest = ReadUntilClosed(fd, milliseconds(4000));
    ASSERT_TRUE(rest) << request;
    EXPECT_EQ(pending + *rest, "") << "nothing answers the smuggled request: " << request;
    ::close(fd);
  }
  // What is sound stays as it was: a chunked body, and HTTP/1.0 without Host.
  const int fd = ConnectLoopback(server.port());
  ASSERT_TRUE(SendAll(fd,
                      "POST /c HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
                      "4\r\nbody\r\n0\r\n\r\nGET /old HTTP/1.0\r\n\r\n"));
  std::string pending;
  const testing::Result chunked = ReadReply(fd, pending);
  const testing::Result old = ReadReply(fd, pending);
  ASSERT_TRUE(chunked && old);
  EXPECT_EQ(chunked->body, "/c|body");
  EXPECT_EQ(old->status, 200);
  ::close(fd);
  const std::string log = server.log();
  EXPECT_EQ(log.find("/smuggled"), std::string::npos) << log;
}

TEST(HttpCore, ConnectionsBeyondTheLimitGetA503) {
  HttpServerOptions options;
  options.max_connections = 2;
  CoreServer server(options);
  testing::HttpClient first(server.port()), second(server.port());
  ASSERT_TRUE(first.Get("/1"));
  ASSERT_TRUE(second.Get("/2"));
  const int third = ConnectLoopback(server.port());
  std::string pending;
  const testing::Result refused = ReadReply(third, pending);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 503);
  EXPECT_EQ(refused->get_header_value("Retry-After"), "5");
  EXPECT_GE(MillisecondsUntilClosed(third, milliseconds(2000)), 0);
  ::close(third);
  first.Disconnect();
  std::this_thread::sleep_for(milliseconds(100));
  testing::HttpClient fourth(server.port());
  const testing::Result served = fourth.Get("/4");
  ASSERT_TRUE(served);
  EXPECT_EQ(served->status, 200);
  EXPECT_TRUE(second.Get("/2 again"));
}

// One address opening connection after connection is capped; others (and
// trusted proxies, which carry many clients) are served meanwhile.
TEST(HttpCore, OneClientAddressCannotTakeEveryConnection) {
  HttpServerOptions options;
  options.max_connections_per_client = 3;
  options.trusted_proxies = {*ReadAddressRange("127.0.0.3")};
  CoreServer server(options);
  std::vector<std::unique_ptr<testing::HttpClient>> greedy;
  for (int i = 0; i < 3; ++i) {
    greedy.push_back(std::make_unique<testing::HttpClient>(server.port(), "127.0.0.1"));
    ASSERT_TRUE(greedy.back()->Get("/mine"));
  }
  for (int i = 0; i < 20; ++i) {
    const int fd = ConnectLoopback(server.port(), std::chrono::seconds(20), "127.0.0.1");
    std::string pending;
    const testing::Result refused = ReadReply(fd, pending);
    ASSERT_TRUE(refused) << i;
    EXPECT_EQ(refused->status, 503);
    ::close(fd);
  }
  testing::HttpClient other(server.port(), "127.0.0.2");
  const testing::Result served = other.Get("/other");
  ASSERT_TRUE(served);
  EXPECT_EQ(served->status, 200);
  std::vector<std::unique_ptr<testing::HttpClient>> proxied;
  for (int i = 0; i < 5; ++i) {
    proxied.push_back(std::make_unique<testing::HttpClient>(server.port(), "127.0.0.3"));
    const testing::Result reply = proxied.back()->Get("/proxied");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200) << "a trusted proxy is not capped";
  }
  greedy.front()->Disconnect();
  std::this_thread::sleep_for(milliseconds(100));
  testing::HttpClient again(server.port(), "127.0.0.1");
  const testing::Result freed = again.Get("/again");
  ASSERT_TRUE(freed);
  EXPECT_EQ(freed->status, 200) << "a closed connection gives its slot back";
}

// Behind a trusted proxy the client is whom the proxy names, in the request
// and in the access log; from any other peer those headers count for nothing.
TEST(HttpCore, TheClientBehindATrustedProxyIsWhomItNames) {
  HttpServerOptions options;
  options.trusted_proxies = {*ReadAddressRange("127.0.0.2/32")};
  CoreServer server(options);
  const testing::Headers forwarded = {{"X-Forwarded-For", "198.51.100.4, 203.0.113.9"}};
  testing::HttpClient direct(server.port(), "127.0.0.1");
  testing::HttpClient proxy(server.port(), "127.0.0.2");
  const testing::Result spoofed = direct.Get("/who", forwarded);
  const testing::Result named = proxy.Get("/who", forwarded);
  const testing::Result unnamed = proxy.Get("/who");
  ASSERT_TRUE(spoofed && named && unnamed);
  EXPECT_EQ(spoofed->body, "127.0.0.1");
  EXPECT_EQ(named->body, "203.0.113.9");
  EXPECT_EQ(unnamed->body, "127.0.0.2");
  const std::string log = server.log();
  EXPECT_NE(log.find("203.0.113.9 "), std::string::npos) << log;
}

TEST(HttpCore, FailuresNeverReachTheClientAndLaterAnswersKeepTheirPromises) {
  CoreServer server({});
  testing::HttpClient client(server.port());
  const testing::Result thrown = client.Get("/throw");
  ASSERT_TRUE(thrown);
  EXPECT_EQ(thrown->status, 500);
  EXPECT_EQ(thrown->body.find("cause"), std::string::npos);
  const std::string incident = thrown->body.substr(std::string("error ").size());
  EXPECT_EQ(incident.size(), 8u);

  const testing::Result split = client.Get("/bad-header");
  ASSERT_TRUE(split);
  EXPECT_EQ(split->status, 500) << "a header with a line break is never sent";
  EXPECT_EQ(split->get_header_value_count("Set-Cookie"), 0u);
  const testing::Result nul = client.Get("/nul-header");
  ASSERT_TRUE(nul);
  EXPECT_EQ(nul->status, 500) << "nor one with any other control character";

  EXPECT_FALSE(client.Get("/drop")) << "a request nobody answers closes its connection";

  const auto started = Clock::now();
  const testing::Result slow = client.Get("/slow");
  ASSERT_TRUE(slow);
  EXPECT_EQ(slow->body, "slow");
  EXPECT_GE(Clock::now() - started, milliseconds(250));
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_TRUE(server.last_hold.expired()) << "what the response held is let go once sent";

  const std::string log = server.log();
  EXPECT_NE(log.find(" GET /throw 500 "), std::string::npos) << log;
  EXPECT_NE(log.find(" incident=" + incident + " error=\"the cause\"\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" GET /slow 200 4 "), std::string::npos) << log;
  EXPECT_NE(log.find("holds a control character: X-Nul"), std::string::npos) << log;
}

// An output that the log's thread may write while the test reads it.
class LockedSink final : public std::streambuf {
 public:
  std::string text() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }

 private:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    text_.append(s, static_cast<std::size_t>(n));
    return n;
  }
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) xsputn(reinterpret_cast<const char*>(&c), 1);
    return c;
  }
  std::mutex mutex_;
  std::string text_;
};

TEST(HttpAccessLog, QueuedLinesGoOutWholeAndInOrderWithoutBeingAskedTo) {
  LockedSink sink;
  std::ostream out(&sink);
  constexpr int kThreads = 4;
  constexpr int kLines = 300;
  {
    AccessLog log(&out, LogFormat::kText);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&log, t] {
        for (int i = 0; i < kLines; ++i) {
          const std::string target = "/t" + std::to_string(t) + "/" + std::to_string(i);
          LogEntry entry;
          entry.client = "127.0.0.1";
          entry.method = "GET";
          entry.target = target;
          entry.status = 200;
          log.Write(entry);
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    // The log's own thread writes them, nobody flushes.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    const auto written = [&sink] {
      const std::string text = sink.text();
      return std::count(text.begin(), text.end(), '\n');
    };
    while (written() < kThreads * kLines && Clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(5));
    }
    const std::string text = sink.text();
    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), kThreads * kLines);
    std::vector<int> next(kThreads, 0);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      const std::size_t at = line.find(" GET /t");
      ASSERT_NE(at, std::string::npos) << line;
      const int t = std::stoi(line.substr(at + 7));
      const int i = std::stoi(line.substr(line.find('/', at + 7) + 1));
      EXPECT_EQ(i, next[t]++) << "each thread's lines in the order written: " << line;
    }
    LogEntry last;
    last.target = "/last";
    log.Write(last);
  }
  EXPECT_NE(sink.text().find(" /last "), std::string::npos) << "the log writes its queue when it ends";
}

TEST(HttpWorkerPool, RunsEveryJobOnceAndRefusesBeyondItsQueue) {
  std::atomic<int> ran{0};
  {
    WorkerPool pool(3, 1000);
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
      posters.emplace_back([&] {
        for (int i = 0; i < 200; ++i) {
          while (!pool.TryPost([&ran] { ++ran; })) std::this_thread::yield();
        }
      });
    }
    for (std::thread& poster : posters) poster.join();
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (ran.load() < 800 && Clock::now() < deadline) std::this_thread::yield();
  }
  EXPECT_EQ(ran.load(), 800);

  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
  std::atomic<int> started{0};
  std::atomic<int> later{0};
  {
    WorkerPool pool(2, 2);
    const auto hold = [&] {
      ++started;
      std::unique_lock<std::mutex> lock(mutex);
      opened.wait(lock, [&] { return open; });
    };
    ASSERT_TRUE(pool.TryPost(hold));
    ASSERT_TRUE(pool.TryPost(hold));
    while (started.load() < 2) std::this_thread::yield();
    EXPECT_TRUE(pool.TryPost([&] { ++later; }));
    EXPECT_TRUE(pool.TryPost([&] { ++later; }));
    EXPECT_FALSE(pool.TryPost([&] { ++later; })) << "both threads busy, the queue full";
    {
      const std::lock_guard<std::mutex> lock(mutex);
      open = true;
    }
    opened.notify_all();
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (later.load() < 2 && Clock::now() < deadline) std::this_thread::yield();
    EXPECT_EQ(later.load(), 2) << "the queued jobs run once a thread is free";
  }
}

}  // namespace
}  // namespace ostrand::web::http
