// Translation of the component's SQL Server texts for other engines. Works on
// tokens (string literals, identifiers, numbers, punctuation), never inside
// string literals:
//  - a select-list item "Name=expr" becomes "expr AS Name";
//  - "DATEDIFF(dd, a, b)" becomes the engine's count of calendar-day
//    boundaries from a to b.
#pragma once

#include <string>
#include <string_view>

namespace ostrand::store {

enum class Engine { kSqlite };

// Name of the SQL function that the SQLite connection registers: the
// calendar date of its second argument minus that of its first, in days.
// Both arguments are date texts ("2001-12-5", "2001-12-05 14:30:00").
inline constexpr std::string_view kSqliteDayDiff = "ostrand_daydiff";

// Translates one text. Throws Error naming the text when a DATEDIFF call is
// malformed (missing parenthesis, unit other than dd).
std::string TranslateTsql(std::string_view tsql, Engine engine);

// As TranslateTsql, memoised per text (thread-safe, bounded).
std::string TranslateTsqlCached(const std::string& tsql, Engine engine);

}  // namespace ostrand::store
