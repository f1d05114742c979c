#include "store/dialect/passes.h"

namespace ostrand::store::dialect {

// ---- select-list "Name=expr" -> "expr AS Name" ------------------------------
namespace {

bool EndsSelectList(const Token& t) {
  static constexpr std::string_view kStops[] = {"from",  "into",  "where",  "group",    "order",
                                                "having", "union", "except", "intersect"};
  if (IsPunct(t, ";")) return true;
  for (const std::string_view stop : kStops) {
    if (IsKeyword(t, stop)) return true;
  }
  return false;
}

// Index just past the select-list modifiers (ALL, DISTINCT, TOP n / TOP (n),
// PERCENT, WITH TIES) that start at `i`.
std::size_t SkipSelectModifiers(const std::vector<Token>& tokens, std::size_t i, std::size_t end) {
  for (;;) {
    const std::size_t k = SkipBlank(tokens, i, end);
    if (k >= end) return i;
    if (IsKeyword(tokens[k], "all") || IsKeyword(tokens[k], "distinct") ||
        IsKeyword(tokens[k], "percent")) {
      i = k + 1;
    } else if (IsKeyword(tokens[k], "top")) {
      std::size_t n = SkipBlank(tokens, k + 1, end);
      if (n < end && IsPunct(tokens[n], "(")) n = MatchingParen(tokens, n, end);
      i = n < end ? n + 1 : end;
    } else if (IsKeyword(tokens[k], "with")) {
      const std::size_t ties = SkipBlank(tokens, k + 1, end);
      if (ties >= end || !IsKeyword(tokens[ties], "ties")) return i;
      i = ties + 1;
    } else {
      return i;
    }
  }
}

// Rewrites one select-list item (already free of nested rewrites) when it
// has the form Name=expr.
void AppendItem(std::vector<Token> item, std::vector<Token>* out) {
  const std::size_t name = SkipBlank(item, 0, item.size());
  const std::size_t eq = SkipBlank(item, name + 1, item.size());
  const bool is_alias = name < item.size() &&
                        (item[name].kind == TokenKind::kIdentifier ||
                         item[name].kind == TokenKind::kQuoted) &&
                        eq < item.size() && IsPunct(item[eq], "=");
  std::vector<Token> expr;
  if (is_alias) expr = Trimmed(item, eq + 1, item.size());
  if (expr.empty()) {
    out->insert(out->end(), item.begin(), item.end());
    return;
  }
  std::size_t trailing = item.size();
  while (trailing > eq + 1 && IsBlank(item[trailing - 1])) --trailing;
  out->insert(out->end(), item.begin(), item.begin() + static_cast<std::ptrdiff_t>(name));
  out->insert(out->end(), expr.begin(), expr.end());
  out->push_back(Token{TokenKind::kSpace, " "});
  out->push_back(Token{TokenKind::kIdentifier, "AS"});
  out->push_back(Token{TokenKind::kSpace, " "});
  out->push_back(item[name]);
  out->insert(out->end(), item.begin() + static_cast<std::ptrdiff_t>(trailing), item.end());
}

}  // namespace

std::vector<Token> RewriteAliases(const std::vector<Token>& tokens, std::size_t begin,
                                  std::size_t end) {
  std::vector<Token> out;
  std::size_t i = begin;
  while (i < end) {
    if (IsPunct(tokens[i], "(")) {
      const std::size_t close = MatchingParen(tokens, i, end);
      out.push_back(tokens[i]);
      const std::vector<Token> inner = RewriteAliases(tokens, i + 1, close);
      out.insert(out.end(), inner.begin(), inner.end());
      if (close < end) out.push_back(tokens[close]);
      i = close + 1;
      continue;
    }
    if (!IsKeyword(tokens[i], "select")) {
      out.push_back(tokens[i]);
      ++i;
      continue;
    }
    // The select list: from after the modifiers up to the first stop word
    // outside parentheses. Items are split at commas outside parentheses.
    out.push_back(tokens[i]);
    const std::size_t list_begin = SkipSelectModifiers(tokens, i + 1, end);
    out.insert(out.end(), tokens.begin() + static_cast<std::ptrdiff_t>(i + 1),
               tokens.begin() + static_cast<std::ptrdiff_t>(list_begin));
    std::size_t item_begin = list_begin;
    std::size_t k = list_begin;
    for (;;) {
      if (k < end && IsPunct(tokens[k], "(")) {
        k = MatchingParen(tokens, k, end);
        if (k < end) ++k;
        continue;
      }
      const bool list_ends = k >= end || EndsSelectList(tokens[k]);
      if (list_ends || IsPunct(tokens[k], ",")) {
        AppendItem(RewriteAliases(tokens, item_begin, k), &out);
        if (list_ends) break;
        out.push_back(tokens[k]);
        item_begin = k + 1;
      }
      ++k;
    }
    i = k;
  }
  return out;
}

}  // namespace ostrand::store::dialect
