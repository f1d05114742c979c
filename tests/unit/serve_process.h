// `ostrand serve` as its own process for the tests that watch it from
// outside: its memory, its listen queue, its exit and its log. The server
// runs on the test fixture's database with a fresh secret on a free port.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "web_test_server.h"

namespace ostrand::web::testing {

class ServeProcess {
 public:
  // Starts `ostrand serve --db FIXTURE --port PORT ... EXTRA` and waits for
  // its address (port 0: a free one). The standard error (the access log)
  // goes to a file.
  explicit ServeProcess(const std::vector<std::string>& extra = {}, int port = 0) {
    WriteFixture(db_);
    std::ofstream(secret_) << "0123456789abcdef0123456789abcdef0123456789abcdef\n";
    std::vector<std::string> words{OSTRAND_BINARY,  "serve",  "--db",
                                   "sqlite:" + db_, "--port", std::to_string(port),
                                   "--secret-file", secret_};
    words.insert(words.end(), extra.begin(), extra.end());
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw Error("cannot make a pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, OSTRAND_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) pid_ = -1;
    ::close(out[1]);
    out_ = ::fdopen(out[0], "r");
    char line[256] = {};
    const std::string prefix = "ostrand serve: listening on http://127.0.0.1:";
    if (std::fgets(line, sizeof line, out_) != nullptr && std::string(line).rfind(prefix, 0) == 0) {
      port_ = std::stoi(std::string(line).substr(prefix.size()));
    }
  }
  ~ServeProcess() { Stop(); }
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  const std::string& db() const { return db_; }
  const std::string& secret() const { return secret_; }

  // The resident memory of the server in KiB (0 once it has ended).
  long ResidentKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string key;
    while (status >> key) {
      if (key == "VmRSS:") {
        long kib = 0;
        status >> kib;
        return kib;
      }
    }
    return 0;
  }

  // Sends SIGTERM, waits, and returns the exit status (-1 when it did not
  // exit on its own).
  int Stop() {
    if (pid_ <= 0) return exit_status_;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    if (out_ != nullptr) std::fclose(out_);
    out_ = nullptr;
    exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exit_status_;
  }

  // The access log written so far.
  std::string Log() const { return test_support::ReadFile(log_); }

  // A session cookie of the person, signed in through the form.
  std::string SessionCookie(int person) {
    Browser browser(port_);
    const Result result = browser.SignIn(std::to_string(person), kPassword);
    if (!result || result->status != 303) return "";
    return "ostrand_session=" + browser.cookies()["ostrand_session"];
  }

 private:
  const TempDir dir_;
  const std::string db_ = dir_.File("schedule.db");
  const std::string secret_ = dir_.File("secret");
  const std::string log_ = dir_.File("access.log");
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  int port_ = 0;
  int exit_status_ = -1;
};

}  // namespace ostrand::web::testing
