#include "store/dialect.h"

#include <optional>
#include <vector>

#include "core/text.h"
#include "store/dialect/passes.h"
#include "store/dialect/tokens.h"
#include "store/schedule_tables.h"

namespace ostrand::store {

std::optional<std::string_view> KeyColumnOf(std::string_view table) {
  for (const ScheduleTable& t : kScheduleTables) {
    if (EqualsNoCase(t.name, table)) return t.key;
  }
  return std::nullopt;
}

std::string_view EngineName(Engine engine) {
  switch (engine) {
    case Engine::kSqlite:
      return "SQLite";
    case Engine::kPostgresql:
      return "PostgreSQL";
    case Engine::kSqlServer:
      return "SQL Server";
  }
  return "unknown";
}

// The passes live in store/dialect/, one file each.
std::string TranslateTsql(std::string_view tsql, Engine engine, bool day_start_function) {
  using namespace dialect;
  if (engine == Engine::kSqlServer) return std::string(tsql);
  std::vector<Token> tokens = Tokenize(tsql);
  if (engine == Engine::kPostgresql) RewriteBrackets(tokens);
  tokens = RewriteDateDiff(tokens, tsql, engine, day_start_function && engine == Engine::kSqlite);
  tokens = RewriteAliases(tokens, 0, tokens.size());
  RewriteConcatenation(tokens);
  RewriteTextComparisons(tokens, engine);
  if (engine == Engine::kPostgresql) CompleteOrderBy(tokens);
  return Join(tokens, 0, tokens.size());
}

}  // namespace ostrand::store
