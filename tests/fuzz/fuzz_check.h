// What a fuzz target uses besides the input: the input as text, and a check
// that ends the run (and so shows the fuzzer a crash) when a property of the
// code under test does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace ostrand::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Aborts with `what` on standard error when `holds` is false.
inline void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property does not hold: %s\n", what);
  std::abort();
}

}  // namespace ostrand::fuzz
