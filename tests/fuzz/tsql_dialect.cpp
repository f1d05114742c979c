// The T-SQL translation for each engine and the lifting of literals into
// parameters: any text either translates or fails with Error, a text with
// no select list, DATEDIFF call, '+' or string literal (a text comparison)
// to rewrite comes back unchanged for SQLite, SQL Server takes T-SQL as
// written, and lifting never fails and leaves one placeholder per parameter.
#include <algorithm>

#include "core/error.h"
#include "core/text.h"
#include "fuzz_check.h"
#include "store/dialect.h"
#include "store/literal_lifting.h"

using ostrand::fuzz::Check;
namespace store = ostrand::store;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  for (const store::Engine engine :
       {store::Engine::kSqlite, store::Engine::kPostgresql, store::Engine::kSqlServer}) {
    try {
      const std::string translated = store::TranslateTsql(text, engine);
      if (engine == store::Engine::kSqlServer ||
          (engine == store::Engine::kSqlite && !ostrand::ContainsNoCase(text, "select") &&
           !ostrand::ContainsNoCase(text, "datediff") &&
           text.find('+') == std::string_view::npos &&
           text.find('\'') == std::string_view::npos)) {
        Check(translated == text, "a text with nothing to rewrite stays as it is");
      }
    } catch (const ostrand::Error&) {
      // A malformed DATEDIFF call: reported, nothing else.
    }
  }
  const store::LiftedQuery lifted = store::LiftLiterals(text);
  if (lifted.params.empty()) Check(lifted.shape == text, "a text without lifted literals stays");
  Check(static_cast<std::size_t>(std::count(lifted.shape.begin(), lifted.shape.end(), '?')) >=
            lifted.params.size(),
        "each lifted literal leaves a placeholder");
  return 0;
}
