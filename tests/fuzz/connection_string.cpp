// Connection strings: any text reads as a target or fails with Error; it
// never looks at a file.
#include "core/error.h"
#include "fuzz_check.h"
#include "store/connection_string.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const ostrand::store::ConnectionTarget target =
        ostrand::store::ParseConnectionString(std::string(ostrand::fuzz::AsText(data, size)));
    Check(!target.database.empty(), "a connection string names a database");
  } catch (const ostrand::Error&) {
  }
  return 0;
}
