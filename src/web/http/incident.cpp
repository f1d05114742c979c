#include "web/http/incident.h"

#include <cstdint>
#include <random>

namespace ostrand::web::http {

std::string NewIncidentNumber() {
  static constexpr char kHex[] = "0123456789ABCDEF";
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::uint64_t bits = generator();
  std::string number(8, '0');
  for (char& c : number) {
    c = kHex[bits & 15];
    bits >>= 4;
  }
  return number;
}

}  // namespace ostrand::web::http
