// The `ostrand passwd` and `ostrand serve` commands as a user runs them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "test_support.h"

namespace ostrand::web {
namespace {

using testing::TempDir;

int RunShell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(WebPasswdCommand, SetsPasswordsFromTheOptionOrStandardInput) {
  const TempDir dir;
  const std::string db = dir.File("p.db");
  testing::WriteFixture(db);
  const std::string base = std::string(OSTRAND_BINARY) + " passwd --db sqlite:" + db;
  EXPECT_EQ(RunShell(base + " 2 --password 'from option' >/dev/null"), 0);
  EXPECT_EQ(RunShell("printf 'from stdin\\r\\n' | " + base + " 4 >/dev/null"), 0);
  EXPECT_EQ(RunShell(base + " 99 --password x 2>/dev/null >/dev/null"), 1);
  EXPECT_EQ(RunShell("printf '' | " + base + " 2 2>/dev/null >/dev/null"), 1);

  const std::unique_ptr<store::Connection> host = store::Connect("sqlite:" + db);
  const SignInChecker checker(PasswordLimits::Minimal());
  EXPECT_TRUE(checker.Check(*host, "2", "from option"));
  EXPECT_TRUE(checker.Check(*host, "4", "from stdin"));
}

TEST(WebServeCommand, PrintsItsAddressAndStopsCleanlyOnSignals) {
  const TempDir dir;
  const std::string db = dir.File("s.db");
  testing::WriteFixture(db);
  const std::string secret = dir.File("secret");
  std::ofstream(secret) << "0123456789abcdef0123456789abcdef\n";

  for (const int signal : {SIGINT, SIGTERM}) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      std::freopen("/dev/null", "w", stderr);
      ::execl(OSTRAND_BINARY, OSTRAND_BINARY, "serve", "--db", ("sqlite:" + db).c_str(), "--port",
              "0", "--secret-file", secret.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    FILE* const reader = ::fdopen(out[0], "r");
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, reader), nullptr);
    const std::string first(line);
    const std::string prefix = "ostrand serve: listening on http://127.0.0.1:";
    ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
    const int port = std::stoi(first.substr(prefix.size()));

    testing::Browser browser(port);
    const testing::Result page = browser.Get("/login");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);

    ::kill(pid, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "signal " << signal;
    std::string rest;
    while (std::fgets(line, sizeof line, reader) != nullptr) rest += line;
    std::fclose(reader);
    EXPECT_EQ(rest, "ostrand serve: stopped\n");
  }
}

}  // namespace
}  // namespace ostrand::web
