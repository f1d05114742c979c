// Password guessing against a running `ostrand serve`, shared by the sign-in
// load test and the sign-in benchmark: the server as a child process (its
// port and peak memory), one sign-in through the form from a chosen source
// address, and a crowd of guessers, each from its own address (Linux routes
// all of 127.0.0.0/8 to the loopback device, so 127.0.1.1, 127.0.1.2, ...
// are distinct clients to the server).
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "http_test_client.h"

namespace ostrand::web::load {

using Clock = std::chrono::steady_clock;

// `ostrand serve` on a free port of 127.0.0.1, stopped (SIGTERM) when the
// object goes.
class ServerProcess {
 public:
  ServerProcess(const std::string& binary, const std::string& db, const std::string& secret_file,
                const std::vector<std::string>& extra = {}) {
    int out[2];
    if (::pipe(out) != 0) return;
    std::vector<std::string> words{binary,   "serve", "--db",          "sqlite:" + db,
                                   "--port", "0",     "--secret-file", secret_file};
    words.insert(words.end(), extra.begin(), extra.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      std::freopen("/dev/null", "w", stderr);
      std::vector<char*> argv;
      for (std::string& word : words) argv.push_back(word.data());
      argv.push_back(nullptr);
      ::execv(binary.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    output_ = ::fdopen(out[0], "r");
    char line[256] = {};
    if (pid_ > 0 && output_ != nullptr && std::fgets(line, sizeof line, output_) != nullptr) {
      const std::string first(line);
      const std::string prefix = "ostrand serve: listening on http://127.0.0.1:";
      if (first.rfind(prefix, 0) == 0) port_ = std::stoi(first.substr(prefix.size()));
    }
  }
  ~ServerProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    if (output_ != nullptr) std::fclose(output_);
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // The port, or 0 when the server did not start.
  int port() const { return port_; }

  // The most memory the server has held so far (VmHWM), in MiB; -1 when
  // it cannot be read.
  double PeakMiB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
  int port_ = 0;
};

// One sign-in through the form, as a browser from `source` does it.
struct SignInResult {
  int status = -1;  // of the form's POST; -1 without an answer
  double seconds = 0;
  std::string device;  // the device cookie a sign-in sets ("name=value")
};

// One connection for the form and its post, which also sends `device` (a
// device cookie, "name=value") when given. A connection that fails is
// tried again once, as a browser would.
inline SignInResult SignInFrom(int port, const std::string& source, const std::string& person,
                               const std::string& password, const std::string& device = "") {
  const Clock::time_point started = Clock::now();
  SignInResult result;
  for (int attempt = 0; attempt < 2 && result.status < 0; ++attempt) {
    testing::HttpClient client(port, source, std::chrono::seconds(60));
    const testing::Result form = client.Get("/login");
    if (!form) continue;
    if (form->status != 200) break;
    static const std::regex field("name=\"signin\" value=\"([^\"]*)\"");
    std::smatch match;
    if (!std::regex_search(form->body, match, field)) break;
    const std::string cookie = form->get_header_value("Set-Cookie");
    const testing::Result posted = client.Post(
        "/login", {{"signin", match[1].str()}, {"person", person}, {"password", password}},
        {{"Cookie", cookie.substr(0, cookie.find(';')) + (device.empty() ? "" : "; " + device)}});
    if (!posted) continue;
    result.status = posted->status;
    for (std::size_t i = 0; i < posted->get_header_value_count("Set-Cookie"); ++i) {
      const std::string set = posted->get_header_value("Set-Cookie", i);
      if (set.rfind("ostrand_device=", 0) == 0) result.device = set.substr(0, set.find(';'));
    }
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  return result;
}

// Source address number `n` (from 0) of a block of loopback addresses:
// 127.<block>.<n / 250>.<n % 250 + 1>, e.g. Address(1, 7) = "127.1.0.8".
inline std::string Address(int block, int n) {
  return "127." + std::to_string(block) + "." + std::to_string(n / 250) + "." +
         std::to_string(n % 250 + 1);
}

// Guessers that keep signing in with wrong passwords, each from its own
// address (or all from the block's first, `shared`: one office behind a
// NAT), as `target()` names the account, until stopped. A guesser tries
// again as soon as its previous answer arrives, or a little later after a
// refusal (the clients share the processors with the server they attack).
class Guessers {
 public:
  Guessers(int port, int count, int address_block, std::string target, bool shared = false)
      : target_(std::move(target)) {
    for (int i = 0; i < count; ++i) {
      threads_.emplace_back([this, port, address_block, i, shared] {
        int tries = 0;
        while (!stop_) {
          std::string person;
          {
            const std::lock_guard<std::mutex> lock(mutex_);
            person = target_;
          }
          const SignInResult result =
              SignInFrom(port, Address(address_block, shared ? 0 : i), person,
                         "guess-" + std::to_string(++tries));
          {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++statuses_[result.status];
          }
          if (result.status != 403) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
      });
    }
  }
  ~Guessers() { Stop(); }
  Guessers(const Guessers&) = delete;
  Guessers& operator=(const Guessers&) = delete;

  void Target(std::string person) {
    const std::lock_guard<std::mutex> lock(mutex_);
    target_ = std::move(person);
  }
  void Stop() {
    stop_ = true;
    for (std::thread& thread : threads_) {
      if (thread.joinable()) thread.join();
    }
  }
  // How many answers of each status the guessers got so far.
  std::map<int, int> Statuses() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return statuses_;
  }
  // Waits until `count` guesses were checked and found wrong (403), or
  // `longest`: once every guesser has failed once, its attempts no longer
  // go first.
  void WaitForFailures(int count, std::chrono::seconds longest) {
    const Clock::time_point end = Clock::now() + longest;
    while (Clock::now() < end && Statuses()[403] < count) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

 private:
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string target_;
  std::map<int, int> statuses_;
  std::vector<std::thread> threads_;
};

// `count` failed sign-ins on `person`'s account, each from its own address
// of the block, made by `parallel` clients at once; the status of each.
inline std::vector<int> Burst(int port, int count, int parallel, int address_block,
                              const std::string& person) {
  std::vector<int> statuses(static_cast<std::size_t>(count), -1);
  std::atomic<int> next{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < parallel; ++t) {
    threads.emplace_back([&] {
      for (int i = next++; i < count; i = next++) {
        statuses[static_cast<std::size_t>(i)] =
            SignInFrom(port, Address(address_block, i), person, "wrong").status;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  return statuses;
}

}  // namespace ostrand::web::load
