// Connection strings: any text reads as a target or fails with Error; it
// never connects. The redacted form, which messages show, never fails.
#include "core/error.h"
#include "fuzz_check.h"
#include "store/connection_string.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  (void)ostrand::store::RedactConnectionString(text);
  try {
    const ostrand::store::ConnectionTarget target = ostrand::store::ParseConnectionString(text);
    Check(!target.database.empty(), "a connection string names a database");
  } catch (const ostrand::Error&) {
  }
  return 0;
}
