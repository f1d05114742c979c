// Runs one of the checking scripts of tests/python/ with Debian's Python
// (/usr/bin/python3, which has python3-icalendar and python3-openpyxl) and
// reads the JSON it prints.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace ostrand::test_support {

// The JSON that tests/python/`script` prints for `args` (paths the test
// made); a failed run fails the test and gives null.
inline nlohmann::json RunPythonCheck(const std::string& script,
                                     const std::vector<std::string>& args) {
  std::string command =
      "/usr/bin/python3 '" + std::string(OSTRAND_SOURCE_DIR) + "/tests/python/" + script + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return nullptr;
  }
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int status = ::pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    ADD_FAILURE() << command << " failed: " << out;
    return nullptr;
  }
  return nlohmann::json::parse(out);
}

}  // namespace ostrand::test_support
