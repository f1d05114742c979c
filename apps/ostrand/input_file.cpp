#include "input_file.h"

#include <fstream>

#include "core/error.h"

namespace ostrand::cli {

std::string ReadInputFile(const std::string& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot read '" + path + "'", ErrorKind::kBadInput);
  std::string text;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > limit) {
      throw Error("'" + path + "' is larger than " + std::to_string(limit >> 20) + " MiB",
                  ErrorKind::kBadInput);
    }
  }
  if (in.bad()) throw Error("cannot read '" + path + "'", ErrorKind::kBadInput);
  return text;
}

}  // namespace ostrand::cli
