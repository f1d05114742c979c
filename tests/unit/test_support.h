// Support shared by the tests:
// - a temporary directory per use, reading a file whole, the message of an
//   error, text search, and running the built `ostrand` executable without
//   a shell;
// - the web host under test: a schedule database with a small fixture, a
//   WebServer on a free loopback port in its own thread, a browser-like
//   client that keeps cookies and reads CSRF tokens out of pages, and a
//   browser signed in as one of the fixture's persons;
// - `ostrand serve` as a process of its own, on the fixture's database
//   (ServeProcess) or on a database the test chose (ServerOnDatabase), each
//   ended by its own process id when the object goes, also when the test
//   fails.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/error.h"
#include "http_test_client.h"
#include "store/connect.h"
#include "store/schema.h"
#include "web/auth/accounts.h"
#include "web/server.h"
#include "web/site/server_options.h"

extern char** environ;

namespace ostrand::test_support {

// Whether `part` occurs in `text`.
inline bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// A fresh empty directory under the system's temporary directory, removed
// with everything in it when the object goes. Names hold the process id and
// a counter, so parallel test processes never share one.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("ostrand_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the directory.
  std::string File(std::string_view name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::filesystem::path operator/(const TempDir& dir, std::string_view name) {
  return dir.path() / name;
}

// The message of the Error that `action` throws, or `when_none` when it
// throws nothing.
template <typename F>
std::string ErrorOf(F&& action, std::string_view when_none = "") {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  return std::string(when_none);
}

// The whole content of a file ("" when it cannot be read).
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// What a run of the executable left behind.
struct Outcome {
  int exit_code = -1;  // 128 + signal number when a signal ended it
  std::string out;
  std::string err;
};

// Runs the built `ostrand` with `args` and `input` on standard input, no
// shell involved; its streams pass through files in `dir`.
inline Outcome RunOstrand(const TempDir& dir, const std::vector<std::string>& args,
                          const std::string& input = "") {
  const std::filesystem::path in = dir / "stdin", out = dir / "stdout", err = dir / "stderr";
  std::ofstream(in, std::ios::binary) << input;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> words{OSTRAND_BINARY};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  Outcome run;
  const int spawned = posix_spawn(&pid, OSTRAND_BINARY, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << OSTRAND_BINARY;
    return run;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  return run;
}

// An `ostrand serve` process on a database the test chose, for the tests of
// the server and its database: several servers on one database, a database
// that goes away under a server, a server that runs as an unprivileged
// user. It listens on a free loopback port and is stopped with SIGTERM when
// the object goes.
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

namespace ostrand::web::testing {

// Persons of the fixture. System 1: the leader Zhang (duty 1), Li and
// Zhao (duty 4); system 2: Wang.
inline constexpr int kZhang = 1;
inline constexpr int kLi = 2;
inline constexpr int kWang = 3;
inline constexpr int kZhao = 4;
inline constexpr const char* kPassword = "pass-1234";

using TempDir = test_support::TempDir;

// Writes the fixture into the (empty) database of the connection string
// and gives every person the test password. Plans lie in December 2001:
// each person of system 1 has a shared and a private plan, with contents
// that name their owner.
inline void WriteFixtureTo(const std::string& connection_string) {
  store::Connect(connection_string)->ExecuteScript(R"sql(
    INSERT INTO personDuty VALUES (1, '局长'), (4, '科员');
    INSERT INTO person VALUES (1, '张局长', 1, 1), (2, '李科员', 4, 1), (3, '王外单位', 4, 2),
                              (4, '赵<&>六', 4, 1);
    INSERT INTO planAddrType VALUES (1, '本单位'), (2, '北京'), (3, '京外'), (4, '国外');
    INSERT INTO planAddr VALUES (1, '三层会议室', 1), (2, '发改委', 2), (3, '上海', 3), (4, '东京', 4);
    INSERT INTO personPlan (personID, planStartTime, planEndTime, planAddrTypeID, planAddrID,
                            planAddrDetail, planContent, planAddition, planFlagID) VALUES
      (1, '2001-12-05 09:00:00', '2001-12-05 17:30:00', 1, 1, '东厅', '张共享例会', '带材料', 1),
      (1, '2001-12-06 09:00:00', '2001-12-07 12:00:00', 3, 3, '张私细节', '张私人事务', '张私附加', 2),
      (2, '2001-12-10 09:00:00', '2001-12-10 17:00:00', 2, 2, '', '李共享调研', '', 1),
      (2, '2001-12-11 08:00:00', '2001-12-12 18:00:00', 4, 4, '李私细节', '李私人体检', '李私附加', 2),
      (3, '2001-12-05 09:00:00', '2001-12-05 17:00:00', 1, 1, '', '王共享会议', '', 1);
  )sql");
  const std::int64_t persons[] = {kZhang, kLi, kWang, kZhao};
  GiveDemoPasswords(connection_string, persons, kPassword, PasswordLimits::Minimal());
}

// Writes the fixture into a new SQLite database file.
inline void WriteFixture(const std::string& path) {
  store::CreateSqliteDatabase(path);
  WriteFixtureTo("sqlite:" + path);
}

// Options for a test server on the database: a free port, a fixed "today",
// the fast password limits.
inline ServerOptions TestOptions(const std::string& db_path) {
  ServerOptions options;
  options.connection_string = "sqlite:" + db_path;
  options.host = "127.0.0.1";
  options.port = 0;
  options.secret = RandomSecret();
  options.leader_duties = ParseDutyList("1,2,3");
  options.password_limits = PasswordLimits::Minimal();
  options.today = [] { return DateTime::FromCivil(2001, 12, 5); };
  return options;
}

// A WebServer serving in a background thread until destroyed.
class RunningServer {
 public:
  explicit RunningServer(ServerOptions options)
      : server_(std::make_unique<WebServer>(std::move(options))) {
    port_ = server_->Bind();
    thread_ = std::thread([this] { server_->Listen(); });
  }
  ~RunningServer() {
    server_->Stop();
    thread_.join();
  }
  int port() const { return port_; }

 private:
  std::unique_ptr<WebServer> server_;
  int port_ = 0;
  std::thread thread_;
};

// One browser: keeps the cookies the server sets and sends them back. A
// `source` address (127.0.0.2, ...: Linux routes all of 127/8 locally)
// makes it another client to the server's per-address rules.
class Browser {
 public:
  explicit Browser(int port, const std::string& source = "") : client_(port, source) {}

  Result Get(const std::string& path) { return Keep(client_.Get(path, CookieHeaders())); }

  Result Post(const std::string& path, const Params& form) {
    return Keep(client_.Post(path, form, CookieHeaders()));
  }

  // Any method, with the cookies and the body as sent.
  Result Send(std::string_view method, const std::string& path, std::string_view body = {}) {
    return Keep(client_.Send(method, path, CookieHeaders(), body));
  }

  // Signs in through the form; returns the reply to the form's POST.
  Result SignIn(const std::string& person, const std::string& password,
                const std::string& next = "") {
    const Result form = Get("/login");
    EXPECT_TRUE(form && form->status == 200);
    Params fields{{"signin", form ? FieldValue(form->body, "signin") : ""},
                  {"person", person},
                  {"password", password}};
    if (!next.empty()) fields.emplace("next", next);
    return Post("/login", fields);
  }

  std::map<std::string, std::string>& cookies() { return cookies_; }

  // The value of the first hidden field of that name in a page.
  static std::string FieldValue(const std::string& page, const std::string& name) {
    const std::regex pattern("name=\"" + name + "\" value=\"([^\"]*)\"");
    std::smatch match;
    return std::regex_search(page, match, pattern) ? match[1].str() : std::string();
  }

 private:
  Headers CookieHeaders() const {
    std::string header;
    for (const auto& [name, value] : cookies_) {
      if (!header.empty()) header += "; ";
      header += name + "=" + value;
    }
    return header.empty() ? Headers{} : Headers{{"Cookie", header}};
  }

  Result Keep(Result result) {
    if (!result) return result;
    const std::size_t count = result->get_header_value_count("Set-Cookie");
    for (std::size_t i = 0; i < count; ++i) {
      const std::string header = result->get_header_value("Set-Cookie", i);
      const std::size_t equals = header.find('=');
      const std::size_t end = header.find(';');
      const std::string name = header.substr(0, equals);
      const std::string value = header.substr(equals + 1, end - equals - 1);
      if (value.empty() || header.find("Max-Age=0") != std::string::npos) {
        cookies_.erase(name);
      } else {
        cookies_[name] = value;
      }
    }
    return result;
  }

  HttpClient client_;
  std::map<std::string, std::string> cookies_;
};

// A browser signed in as `person` (with the fixture's password) on the
// server at `port`; a failed sign-in fails the test that asked.
inline std::unique_ptr<Browser> SignedIn(int port, int person) {
  auto browser = std::make_unique<Browser>(port);
  const Result result = browser->SignIn(std::to_string(person), kPassword);
  EXPECT_TRUE(result && result->status == 303) << (result ? result->body : "no answer");
  return browser;
}

// `ostrand serve` as its own process for the tests that watch it from
// outside: its memory, its listen queue, its exit and its log. The server
// runs on the test fixture's database with a fresh secret on a free port.
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
