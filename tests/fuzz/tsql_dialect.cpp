// The T-SQL translation for SQLite: any text either translates or fails
// with Error, and a text with neither a select list nor a DATEDIFF call to
// rewrite comes back unchanged.
#include "core/error.h"
#include "core/text.h"
#include "fuzz_check.h"
#include "store/dialect.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  try {
    const std::string translated =
        ostrand::store::TranslateTsql(text, ostrand::store::Engine::kSqlite);
    if (!ostrand::ContainsNoCase(text, "select") && !ostrand::ContainsNoCase(text, "datediff")) {
      Check(translated == text, "a text with nothing to rewrite stays as it is");
    }
  } catch (const ostrand::Error&) {
    // A malformed DATEDIFF call: reported, nothing else.
  }
  return 0;
}
