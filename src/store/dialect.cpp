#include "store/dialect.h"

#include <cstddef>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/text.h"

namespace ostrand::store {
namespace {

enum class TokenKind {
  kSpace,       // whitespace, copied as it is
  kComment,     // -- to end of line, or /* ... */
  kString,      // '...' with '' inside
  kQuoted,      // "..." or [...] identifier
  kIdentifier,  // letters, digits, _, @, #, $ and bytes of UTF-8 sequences
  kNumber,
  kPunct,       // one operator or punctuation mark
};

struct Token {
  TokenKind kind;
  std::string text;
};

bool IsIdentStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '@' || c == '#' ||
         c >= 0x80;
}

bool IsIdentPart(unsigned char c) { return IsIdentStart(c) || (c >= '0' && c <= '9') || c == '$'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Finds the end of a run that closes with `close` starting at `pos`; an
// unterminated run extends to the end of the text.
std::size_t EndOfDelimited(std::string_view text, std::size_t pos, char close,
                           bool doubled_close_escapes) {
  while (pos < text.size()) {
    if (text[pos] == close) {
      if (doubled_close_escapes && pos + 1 < text.size() && text[pos + 1] == close) {
        pos += 2;
        continue;
      }
      return pos + 1;
    }
    ++pos;
  }
  return text.size();
}

std::vector<Token> Tokenize(std::string_view text) {
  std::vector<Token> tokens;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    std::size_t end = pos + 1;
    TokenKind kind = TokenKind::kPunct;
    if (IsSpace(c)) {
      while (end < text.size() && IsSpace(text[end])) ++end;
      kind = TokenKind::kSpace;
    } else if (c == '\'') {
      end = EndOfDelimited(text, pos + 1, '\'', true);
      kind = TokenKind::kString;
    } else if (c == '"') {
      end = EndOfDelimited(text, pos + 1, '"', true);
      kind = TokenKind::kQuoted;
    } else if (c == '[') {
      end = EndOfDelimited(text, pos + 1, ']', true);
      kind = TokenKind::kQuoted;
    } else if (c == '-' && pos + 1 < text.size() && text[pos + 1] == '-') {
      while (end < text.size() && text[end] != '\n') ++end;
      kind = TokenKind::kComment;
    } else if (c == '/' && pos + 1 < text.size() && text[pos + 1] == '*') {
      const std::size_t close = text.find("*/", pos + 2);
      end = close == std::string_view::npos ? text.size() : close + 2;
      kind = TokenKind::kComment;
    } else if (IsDigit(c) || (c == '.' && pos + 1 < text.size() && IsDigit(text[pos + 1]))) {
      while (end < text.size() && (IsDigit(text[end]) || text[end] == '.')) ++end;
      if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t exp = end + 1;
        if (exp < text.size() && (text[exp] == '+' || text[exp] == '-')) ++exp;
        if (exp < text.size() && IsDigit(text[exp])) {
          end = exp;
          while (end < text.size() && IsDigit(text[end])) ++end;
        }
      }
      kind = TokenKind::kNumber;
    } else if (IsIdentStart(static_cast<unsigned char>(c))) {
      while (end < text.size() && IsIdentPart(static_cast<unsigned char>(text[end]))) ++end;
      kind = TokenKind::kIdentifier;
    } else if (pos + 1 < text.size()) {
      const std::string_view two = text.substr(pos, 2);
      if (two == "<=" || two == ">=" || two == "<>" || two == "!=" || two == "!<" ||
          two == "!>" || two == "||") {
        end = pos + 2;
      }
    }
    tokens.push_back(Token{kind, std::string(text.substr(pos, end - pos))});
    pos = end;
  }
  return tokens;
}

std::string Join(const std::vector<Token>& tokens, std::size_t begin, std::size_t end) {
  std::string out;
  for (std::size_t i = begin; i < end; ++i) out += tokens[i].text;
  return out;
}

bool IsPunct(const Token& t, std::string_view p) {
  return t.kind == TokenKind::kPunct && t.text == p;
}

bool IsKeyword(const Token& t, std::string_view word) {
  return t.kind == TokenKind::kIdentifier && EqualsNoCase(t.text, word);
}

bool IsBlank(const Token& t) {
  return t.kind == TokenKind::kSpace || t.kind == TokenKind::kComment;
}

// Index of the first token at or after `i` (before `end`) that is not blank.
std::size_t SkipBlank(const std::vector<Token>& tokens, std::size_t i, std::size_t end) {
  while (i < end && IsBlank(tokens[i])) ++i;
  return i;
}

// Index of the ')' matching the '(' at `open`, or `end` when it is missing.
std::size_t MatchingParen(const std::vector<Token>& tokens, std::size_t open, std::size_t end) {
  int depth = 0;
  for (std::size_t i = open; i < end; ++i) {
    if (IsPunct(tokens[i], "(")) {
      ++depth;
    } else if (IsPunct(tokens[i], ")")) {
      if (--depth == 0) return i;
    }
  }
  return end;
}

// Tokens [begin, end) without leading and trailing blanks.
std::vector<Token> Trimmed(const std::vector<Token>& tokens, std::size_t begin, std::size_t end) {
  while (begin < end && IsBlank(tokens[begin])) ++begin;
  while (end > begin && IsBlank(tokens[end - 1])) --end;
  return std::vector<Token>(tokens.begin() + static_cast<std::ptrdiff_t>(begin),
                            tokens.begin() + static_cast<std::ptrdiff_t>(end));
}

// ---- DATEDIFF(dd, a, b) -> kSqliteDayDiff(a, b) ----------------------------

std::vector<Token> RewriteDateDiff(const std::vector<Token>& tokens, std::string_view whole) {
  std::vector<Token> out;
  std::size_t i = 0;
  while (i < tokens.size()) {
    const bool after_dot = !out.empty() && IsPunct(out.back(), ".");
    const std::size_t open = SkipBlank(tokens, i + 1, tokens.size());
    if (!IsKeyword(tokens[i], "datediff") || after_dot || open >= tokens.size() ||
        !IsPunct(tokens[open], "(")) {
      out.push_back(tokens[i]);
      ++i;
      continue;
    }
    const std::size_t close = MatchingParen(tokens, open, tokens.size());
    if (close >= tokens.size()) {
      throw Error("DATEDIFF without a closing parenthesis in '" + std::string(whole) + "'");
    }
    // Split the arguments at top-level commas.
    std::vector<std::pair<std::size_t, std::size_t>> args;
    std::size_t arg_begin = open + 1;
    int depth = 0;
    for (std::size_t k = open + 1; k < close; ++k) {
      if (IsPunct(tokens[k], "(")) {
        ++depth;
      } else if (IsPunct(tokens[k], ")")) {
        --depth;
      } else if (depth == 0 && IsPunct(tokens[k], ",")) {
        args.emplace_back(arg_begin, k);
        arg_begin = k + 1;
      }
    }
    args.emplace_back(arg_begin, close);
    if (args.size() != 3) {
      throw Error("DATEDIFF needs 3 arguments, not " + std::to_string(args.size()) + ", in '" +
                  std::string(whole) + "'");
    }
    const std::vector<Token> unit = Trimmed(tokens, args[0].first, args[0].second);
    const std::string unit_text = unit.empty() ? std::string() : Join(unit, 0, unit.size());
    if (unit.size() != 1 ||
        !(IsKeyword(unit[0], "dd") || IsKeyword(unit[0], "d") || IsKeyword(unit[0], "day"))) {
      throw Error("DATEDIFF unit '" + unit_text + "' is not supported (only dd) in '" +
                  std::string(whole) + "'");
    }
    const std::vector<Token> from =
        RewriteDateDiff(Trimmed(tokens, args[1].first, args[1].second), whole);
    const std::vector<Token> to =
        RewriteDateDiff(Trimmed(tokens, args[2].first, args[2].second), whole);
    if (from.empty() || to.empty()) {
      throw Error("DATEDIFF with an empty argument in '" + std::string(whole) + "'");
    }
    out.push_back(Token{TokenKind::kIdentifier, std::string(kSqliteDayDiff)});
    out.push_back(Token{TokenKind::kPunct, "("});
    out.insert(out.end(), from.begin(), from.end());
    out.push_back(Token{TokenKind::kPunct, ","});
    out.push_back(Token{TokenKind::kSpace, " "});
    out.insert(out.end(), to.begin(), to.end());
    out.push_back(Token{TokenKind::kPunct, ")"});
    i = close + 1;
  }
  return out;
}

// ---- select-list "Name=expr" -> "expr AS Name" ------------------------------

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

std::vector<Token> RewriteAliases(const std::vector<Token>& tokens, std::size_t begin,
                                  std::size_t end);

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

}  // namespace

std::string TranslateTsql(std::string_view tsql, Engine engine) {
  switch (engine) {
    case Engine::kSqlite: {
      const std::vector<Token> days = RewriteDateDiff(Tokenize(tsql), tsql);
      const std::vector<Token> aliased = RewriteAliases(days, 0, days.size());
      return Join(aliased, 0, aliased.size());
    }
  }
  throw Error("unknown database engine " + std::to_string(static_cast<int>(engine)));
}

std::string TranslateTsqlCached(const std::string& tsql, Engine engine) {
  // The component sends a handful of distinct texts many times; the bound
  // only guards against hosts that build unbounded numbers of texts.
  static constexpr std::size_t kMaxEntries = 4096;
  static std::mutex mutex;
  static std::unordered_map<std::string, std::string> cache;

  std::string key;
  key.reserve(tsql.size() + 2);
  key += std::to_string(static_cast<int>(engine));
  key += '\n';
  key += tsql;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    const auto found = cache.find(key);
    if (found != cache.end()) return found->second;
  }
  std::string translated = TranslateTsql(tsql, engine);  // may throw; errors are not cached
  const std::lock_guard<std::mutex> lock(mutex);
  if (cache.size() >= kMaxEntries) cache.clear();
  cache.emplace(std::move(key), translated);
  return translated;
}

}  // namespace ostrand::store
