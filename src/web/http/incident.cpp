#include "web/http/incident.h"

#include <array>
#include <cstdint>
#include <random>

#include "core/hex.h"

namespace ostrand::web::http {

std::string NewIncidentNumber() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::uint64_t bits = generator();
  std::array<unsigned char, 4> bytes{};
  for (unsigned char& byte : bytes) {
    byte = static_cast<unsigned char>(bits & 0xFF);
    bits >>= 8;
  }
  return HexText(bytes, HexCase::kUpper);
}

}  // namespace ostrand::web::http
