#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/text.h"
#include "store/dialect/passes.h"
#include "store/schedule_tables.h"

namespace ostrand::store::dialect {

// ---- PostgreSQL row order -----------------------------------------------------

namespace {

bool IsClauseWord(const Token& t) {
  static constexpr std::string_view kWords[] = {
      "where", "order",  "group", "join",  "inner", "left",    "right", "full",  "cross",
      "on",    "having", "union", "limit", "offset", "natural", "outer", "except", "intersect"};
  if (t.kind != TokenKind::kIdentifier) return true;
  for (const std::string_view w : kWords) {
    if (EqualsNoCase(t.text, w)) return true;
  }
  return false;
}

}  // namespace

// Completes the outermost ORDER BY with the key of the first table after
// FROM when that is a schedule table, so that ties come in key order.
void CompleteOrderBy(std::vector<Token>& tokens) {
  int depth = 0;
  std::optional<std::size_t> from;
  std::optional<std::size_t> order;
  std::size_t list_end = tokens.size();
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (IsPunct(t, "(")) ++depth;
    if (IsPunct(t, ")")) --depth;
    if (depth != 0) continue;
    if (IsKeyword(t, "union") || IsKeyword(t, "except") || IsKeyword(t, "intersect")) return;
    if (!from && IsKeyword(t, "from")) from = i;
    if (IsKeyword(t, "order")) {
      const std::size_t by = SkipBlank(tokens, i + 1, tokens.size());
      if (by < tokens.size() && IsKeyword(tokens[by], "by")) {
        order = by + 1;
        list_end = tokens.size();
      }
    }
    if (order && i >= *order &&
        (IsPunct(t, ";") || IsKeyword(t, "limit") || IsKeyword(t, "offset") ||
         IsKeyword(t, "fetch") || IsKeyword(t, "for"))) {
      list_end = std::min(list_end, i);
    }
  }
  if (!from || !order || *order >= list_end) return;

  // The first table: a name, perhaps schema-qualified, then perhaps an alias.
  std::size_t k = SkipBlank(tokens, *from + 1, tokens.size());
  if (k >= tokens.size() || tokens[k].kind != TokenKind::kIdentifier) return;
  std::string table = tokens[k].text;
  std::size_t dot = SkipBlank(tokens, k + 1, tokens.size());
  while (dot < tokens.size() && IsPunct(tokens[dot], ".")) {
    k = SkipBlank(tokens, dot + 1, tokens.size());
    if (k >= tokens.size() || tokens[k].kind != TokenKind::kIdentifier) return;
    table = tokens[k].text;
    dot = SkipBlank(tokens, k + 1, tokens.size());
  }
  const std::optional<std::string_view> key = KeyColumnOf(table);
  if (!key) return;
  std::string qualifier = table;
  std::size_t alias = dot;
  if (alias < tokens.size() && IsKeyword(tokens[alias], "as")) {
    alias = SkipBlank(tokens, alias + 1, tokens.size());
  }
  if (alias < tokens.size() && !IsClauseWord(tokens[alias])) qualifier = tokens[alias].text;

  std::size_t last = list_end;
  while (last > *order && IsBlank(tokens[last - 1])) --last;
  for (std::size_t i = *order; i < last; ++i) {
    if (tokens[i].kind == TokenKind::kIdentifier && EqualsNoCase(tokens[i].text, *key)) return;
  }
  tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(last),
                Token{TokenKind::kPunct, ", " + qualifier + "." + std::string(*key)});
}

}  // namespace ostrand::store::dialect
