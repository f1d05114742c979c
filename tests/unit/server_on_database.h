// An `ostrand serve` process on a database the test chose, for the tests of
// the server and its database: several servers on one database, a database
// that goes away under a server, a server that runs as an unprivileged
// user. It listens on a free loopback port and is stopped with SIGTERM when
// the object goes.
#pragma once

#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace ostrand::test_support {

class ServerOnDatabase {
 public:
  // Runs `ostrand serve --port 0 ARGS...`; when `as_user` is given and this
  // process is root, the server runs as that user and its group. The
  // server's standard error goes to log().
  explicit ServerOnDatabase(const std::vector<std::string>& args, const std::string& as_user = "")
      : log_(dir_.File("serve.log")) {
    std::vector<std::string> words;
    if (!as_user.empty() && ::geteuid() == 0) {
      const passwd* user = ::getpwnam(as_user.c_str());
      if (user == nullptr) {
        ADD_FAILURE() << "no user " << as_user;
        return;
      }
      words = {"/usr/bin/setpriv", "--reuid=" + std::to_string(user->pw_uid),
               "--regid=" + std::to_string(user->pw_gid), "--clear-groups", "--"};
    }
    words.insert(words.end(), {OSTRAND_BINARY, "serve", "--port", "0"});
    words.insert(words.end(), args.begin(), args.end());
    int out[2];
    if (::pipe(out) != 0) {
      ADD_FAILURE() << "no pipe";
      return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      if (std::freopen(log_.c_str(), "w", stderr) == nullptr) ::_exit(126);
      std::vector<char*> argv;
      for (std::string& w : words) argv.push_back(w.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    output_ = ::fdopen(out[0], "r");
    char line[256] = {};
    const std::string prefix = "ostrand serve: listening on http://127.0.0.1:";
    if (std::fgets(line, sizeof line, output_) == nullptr ||
        std::string(line).rfind(prefix, 0) != 0) {
      ADD_FAILURE() << "ostrand serve did not start: " << line << ReadFile(log_);
      return;
    }
    port_ = std::stoi(std::string(line).substr(prefix.size()));
  }

  ~ServerOnDatabase() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    if (output_ != nullptr) std::fclose(output_);
  }
  ServerOnDatabase(const ServerOnDatabase&) = delete;
  ServerOnDatabase& operator=(const ServerOnDatabase&) = delete;

  // 0 when the server did not start.
  int port() const { return port_; }
  std::string log() const { return ReadFile(log_); }

 private:
  TempDir dir_;
  std::string log_;
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
  int port_ = 0;
};

}  // namespace ostrand::test_support
