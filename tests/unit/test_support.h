// Support shared by the tests: a temporary directory per use, reading a file
// whole, and running the built `ostrand` executable without a shell.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"

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

}  // namespace ostrand::test_support
