// The web host as a process under load: slow and idle clients beside a
// signed-in user, a flood of range requests and a burst of connections,
// a port already in use, and the JSON access log. Counts and times are
// bounded so that each test ends well within a minute; the sanitizer build
// runs fewer load connections and allows for its quarantine (see
// kLoadConnections).
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace ostrand::web {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using testing::ConnectLoopback;
using testing::ReadReply;
using testing::SendAll;
using testing::ServeProcess;

#ifdef OSTRAND_SANITIZED
// The sanitizers make every page about ten times dearer, and keep freed
// memory in quarantine (so resident memory grows with what was allocated,
// not with what is live).
constexpr int kLoadConnections = 1;
constexpr long kMemorySlackKiB = 96 * 1024;
#else
// Each keeps a page request waiting for a worker: the user's page queues
// behind them, on two processors shared with the rest of the test run.
constexpr int kLoadConnections = 8;
constexpr long kMemorySlackKiB = 32 * 1024;
#endif
constexpr const char* kWrk = "/usr/bin/wrk";

long long Since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// Starts wrk against the URL for `seconds`, with extra headers; its output
// goes to `out`. Returns its pid.
pid_t StartWrk(const std::string& url, int seconds, const std::string& header,
               const std::string& out) {
  std::vector<std::string> words{kWrk,
                                 "-t1",
                                 "-c" + std::to_string(kLoadConnections),
                                 "-d" + std::to_string(seconds) + "s",
                                 "-H",
                                 header,
                                 url};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  posix_spawn(&pid, kWrk, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

TEST(WebLoad, SlowAndIdleClientsLeaveASignedInUsersPagesFast) {
  if (!std::filesystem::exists(kWrk)) GTEST_SKIP() << "wrk is not installed";
  constexpr int kIdle = 1000;
  constexpr int kSlow = 200;
  constexpr long long kHeadDeadline = 5000;
  // Every client here comes from one loopback address.
  ServeProcess server(
      {"--head-timeout", "5", "--idle-timeout", "60", "--max-connections-per-client", "4096"});
  ASSERT_GT(server.port(), 0);
  const std::string cookie = server.SessionCookie(testing::kLi);
  ASSERT_FALSE(cookie.empty());
  const std::string page = "/schedule/personMonth.asp?dt=2001-12-5";

  // Idle keep-alive connections: each asked once, then waits.
  std::vector<int> idle;
  for (int i = 0; i < kIdle; ++i) {
    const int fd = ConnectLoopback(server.port());
    ASSERT_GE(fd, 0) << "idle connection " << i;
    std::string pending;
    ASSERT_TRUE(SendAll(fd, "GET /favicon.ico HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(ReadReply(fd, pending)) << "idle connection " << i;
    idle.push_back(fd);
  }

  // Slow clients: one byte of a head every two seconds, each watched until
  // the server closes it.
  std::vector<int> slow(kSlow);
  for (int& fd : slow) fd = ConnectLoopback(server.port());
  std::vector<long long> lived(kSlow, -1);  // first byte to close, in ms
  std::atomic<bool> stop_slow{false};
  std::thread slow_clients([&] {
    const std::string head = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
    std::vector<Clock::time_point> first(kSlow);
    std::vector<pollfd> pollers;
    for (const int fd : slow) pollers.push_back(pollfd{fd, POLLIN, 0});
    const auto started = Clock::now();
    for (std::size_t sent = 0; !stop_slow && Since(started) < 15000;) {
      if (Since(started) >= static_cast<long long>(sent) * 2000 && sent < head.size()) {
        for (int i = 0; i < kSlow; ++i) {
          if (lived[i] >= 0) continue;
          if (sent == 0) first[i] = Clock::now();
          ::send(slow[i], &head[sent], 1, MSG_NOSIGNAL);
        }
        ++sent;
      }
      if (::poll(pollers.data(), pollers.size(), 20) <= 0) continue;
      for (int i = 0; i < kSlow; ++i) {
        if (lived[i] >= 0 || pollers[i].revents == 0) continue;
        char buffer[256];
        if (::recv(slow[i], buffer, sizeof buffer, MSG_DONTWAIT) <= 0) {
          lived[i] = Since(first[i]);
          pollers[i].fd = -1;
        }
      }
      if (std::all_of(lived.begin(), lived.end(), [](long long ms) { return ms >= 0; })) break;
    }
  });

  // Load on the pages while the user reads theirs.
  const std::string wrk_out = std::filesystem::temp_directory_path() /
                              ("ostrand_wrk_" + std::to_string(::getpid()) + ".txt");
  const pid_t wrk = StartWrk("http://127.0.0.1:" + std::to_string(server.port()) + page, 4,
                             "Cookie: " + cookie, wrk_out);
  ASSERT_GT(wrk, 0);
  std::this_thread::sleep_for(milliseconds(300));
  testing::HttpClient user(server.port());
  std::vector<double> latencies;
  for (int i = 0; i < 100; ++i) {
    const auto started = Clock::now();
    const testing::Result result = user.Get(page, {{"Cookie", cookie}});
    latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
    ASSERT_TRUE(result && result->status == 200) << "request " << i;
    std::this_thread::sleep_for(milliseconds(25));
  }
  int wrk_status = 0;
  ::waitpid(wrk, &wrk_status, 0);
  const std::string wrk_report = test_support::ReadFile(wrk_out);
  std::filesystem::remove(wrk_out);
  slow_clients.join();

  std::sort(latencies.begin(), latencies.end());
  // Shown for the log only: how fast is bench-web's to say, on a quiet
  // machine; here every one of the user's pages must simply be served.
  std::cout << "user's page under load: median " << latencies[50] << " ms, p99 " << latencies[98]
            << " ms\n";
  EXPECT_NE(wrk_report.find("Requests/sec"), std::string::npos) << wrk_report;
  for (int i = 0; i < kSlow; ++i) {
    // Closed by the head deadline, not before it.
    EXPECT_GE(lived[i], kHeadDeadline - 100) << "slow client " << i;
  }
  // The idle connections are still open and still served.
  for (const int fd : {idle.front(), idle.back()}) {
    std::string pending;
    ASSERT_TRUE(SendAll(fd, "GET /favicon.ico HTTP/1.1\r\nHost: x\r\n\r\n"));
    const testing::Result again = ReadReply(fd, pending);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 200);
  }
  for (const int fd : idle) ::close(fd);
  for (const int fd : slow) ::close(fd);
  EXPECT_EQ(server.Stop(), 0);
}

// The backlog of the server's listening socket as `ss` reports it, or -1.
long ListenBacklog(int port) {
  const std::string command = "ss -ltnH 'sport = :" + std::to_string(port) + "' 2>/dev/null";
  FILE* const ss = ::popen(command.c_str(), "r");
  if (ss == nullptr) return -1;
  char line[512] = {};
  const bool read = std::fgets(line, sizeof line, ss) != nullptr;
  ::pclose(ss);
  if (!read) return -1;
  std::istringstream fields(line);
  std::string state;
  long queued = 0, backlog = -1;
  fields >> state >> queued >> backlog;
  return backlog;
}

TEST(WebLoad, RangeFloodsAndConnectionBurstsKeepMemoryAndQueue) {
  ServeProcess server;
  ASSERT_GT(server.port(), 0);
  EXPECT_GE(ListenBacklog(server.port()), 1024) << "the listen queue is the system's";
  const std::string cookie = server.SessionCookie(testing::kZhang);
  testing::HttpClient warm(server.port());
  const testing::Result css = warm.Get("/static/ostrand.css");
  ASSERT_TRUE(css);
  const long before = server.ResidentKiB();

  // 32 parallel requests of about 8 KB for 2,700 overlapping ranges each
  // get the file once.
  std::string ranges = "bytes=0-";
  for (int i = 1; i < 2700; ++i) ranges += ",0-";
  ASSERT_GT(ranges.size(), 8000u);
  std::atomic<int> whole{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 32; ++t) {
    threads.emplace_back([&] {
      testing::HttpClient client(server.port());
      for (int i = 0; i < 4; ++i) {
        const testing::Result result = client.Get("/static/ostrand.css", {{"Range", ranges}});
        if (result && result->status == 200 && result->body == css->body) ++whole;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  threads.clear();
  EXPECT_EQ(whole.load(), 32 * 4);

  // 64 connections at once, each for a page: all are answered, none waits
  // on a full queue.
  std::atomic<int> answered{0};
  std::atomic<long long> slowest{0};
  std::atomic<bool> go{false};
  for (int t = 0; t < 64; ++t) {
    threads.emplace_back([&] {
      while (!go) std::this_thread::yield();
      const auto started = Clock::now();
      testing::HttpClient client(server.port());
      const testing::Result page =
          client.Get("/schedule/leaderMonth.asp?dt=2001-12-5", {{"Cookie", cookie}});
      if (page && page->status == 200) ++answered;
      long long ms = Since(started);
      long long seen = slowest.load();
      while (ms > seen && !slowest.compare_exchange_weak(seen, ms)) {
      }
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(answered.load(), 64);
  EXPECT_LT(slowest.load(), 3000) << "a connection waited for the listen queue";

  const long after = server.ResidentKiB();
  EXPECT_LT(after - before, kMemorySlackKiB) << before << " KiB before, " << after << " KiB after";
  EXPECT_EQ(server.Stop(), 0);
}

TEST(WebLoad, APortInUseOrAMissingDatabaseIsOneLineAndExitOne) {
  ServeProcess first;
  ASSERT_GT(first.port(), 0);
  const std::string port = std::to_string(first.port());
  const test_support::TempDir dir;
  const test_support::Outcome second = test_support::RunOstrand(
      dir,
      {"serve", "--db", "sqlite:" + first.db(), "--port", port, "--secret-file", first.secret()});
  EXPECT_EQ(second.exit_code, 1);
  EXPECT_EQ(second.err,
            "ostrand: cannot listen on 127.0.0.1:" + port + ": Address already in use\n");
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(first.Stop(), 0);

  // So is a database that is not there: the line names it.
  const test_support::Outcome missing =
      test_support::RunOstrand(dir, {"serve", "--db", "sqlite:" + dir.File("none.db"), "--port",
                                     "0", "--secret-file", first.secret()});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err, "ostrand: database file '" + dir.File("none.db") + "' does not exist\n");

  // Processes that all ask for it share one port.
  ServeProcess shared({"--reuse-port"});
  ASSERT_GT(shared.port(), 0);
  ServeProcess partner({"--reuse-port"}, shared.port());
  EXPECT_EQ(partner.port(), shared.port());
  testing::HttpClient client(shared.port());
  const testing::Result icon = client.Get("/favicon.ico");
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->status, 200);
  EXPECT_EQ(partner.Stop(), 0);
  EXPECT_EQ(shared.Stop(), 0);
}

TEST(WebLoad, JsonAccessLogHasOneObjectPerRequest) {
  ServeProcess server({"--log-format", "json"});
  ASSERT_GT(server.port(), 0);
  const std::string cookie = server.SessionCookie(testing::kLi);
  testing::HttpClient client(server.port());
  ASSERT_TRUE(client.Get("/schedule/personWeek.asp?dt=2001-12-5", {{"Cookie", cookie}}));
  ASSERT_TRUE(client.Get("/nowhere/%22%0A"));
  EXPECT_EQ(server.Stop(), 0);
  std::istringstream lines(server.Log());
  std::vector<nlohmann::json> entries;
  for (std::string line; std::getline(lines, line);) {
    ASSERT_NO_THROW(entries.push_back(nlohmann::json::parse(line))) << line;
  }
  ASSERT_EQ(entries.size(), 4u) << server.Log();  // the form, the sign-in, two requests
  const nlohmann::json& page = entries[2];
  EXPECT_EQ(page["method"], "GET");
  EXPECT_EQ(page["target"], "/schedule/personWeek.asp?dt=2001-12-5");
  EXPECT_EQ(page["status"], 200);
  EXPECT_GT(page["bytes"].get<long>(), 1000);
  EXPECT_EQ(page["person"], testing::kLi);
  EXPECT_EQ(page["client"], "127.0.0.1");
  EXPECT_TRUE(page["ms"].is_number());
  EXPECT_EQ(entries[3]["target"], "/nowhere/%22%0A");
  EXPECT_EQ(entries[3]["status"], 404);
  EXPECT_TRUE(entries[3]["person"].is_null());
}

}  // namespace
}  // namespace ostrand::web
