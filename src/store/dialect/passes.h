// The rewrite passes of the T-SQL translation, in the order TranslateTsql
// (store/dialect.h) runs them; what each pass does is told there. Each works
// on the tokens of one whole text and keeps '?' placeholders in their order.
// Internal to the translation.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "store/dialect.h"
#include "store/dialect/tokens.h"

namespace ostrand::store::dialect {

// PostgreSQL: [Name] becomes Name, or "Name" when it needs quoting.
void RewriteBrackets(std::vector<Token>& tokens);

// DATEDIFF(dd, a, b) as the engine counts days (ostrand_day_start on SQLite
// with `day_start_function`); "DATEDIFF(dd, column, day) >= 0" and
// "DATEDIFF(dd, day, column) >= 0" as range comparisons of the column. Throws Error naming `whole`, the text being
// translated, when a call is malformed.
std::vector<Token> RewriteDateDiff(const std::vector<Token>& tokens, std::string_view whole,
                                   Engine engine, bool day_start_function);

// Select-list items "Name=expr" of tokens [begin, end) as "expr AS Name".
std::vector<Token> RewriteAliases(const std::vector<Token>& tokens, std::size_t begin,
                                  std::size_t end);

// '+' between a string literal and anything but a number as '||'.
void RewriteConcatenation(std::vector<Token>& tokens);

// Comparisons of known texts as SQL Server's collation makes them; LIKE as
// ILIKE on PostgreSQL.
void RewriteTextComparisons(std::vector<Token>& tokens, Engine engine);

// PostgreSQL: the outermost ORDER BY over a schedule table completed with
// its key.
void CompleteOrderBy(std::vector<Token>& tokens);

}  // namespace ostrand::store::dialect
