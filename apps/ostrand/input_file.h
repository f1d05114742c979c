// The files the commands read whole (a holiday file, plans or staff to
// import): read into memory up to a limit, so that a wrong path to a huge
// file is refused instead of filling the memory.
#pragma once

#include <cstddef>
#include <string>

namespace ostrand::cli {

// The bytes of the file at `path`. Throws Error naming the path when it
// cannot be read, or when it is larger than `limit` bytes (the message
// gives the limit in MiB).
std::string ReadInputFile(const std::string& path, std::size_t limit);

}  // namespace ostrand::cli
