#include "store/dialect.h"

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "core/date.h"
#include "core/error.h"
#include "core/text.h"
#include "store/schedule_tables.h"
#include "store/sql_lexer.h"
#include "store/sql_param.h"

namespace ostrand::store {

std::optional<std::string_view> KeyColumnOf(std::string_view table) {
  for (const ScheduleTable& t : kScheduleTables) {
    if (EqualsNoCase(t.name, table)) return t.key;
  }
  return std::nullopt;
}

namespace {

using TokenKind = SqlTokenKind;

// A token whose text the translation may replace.
struct Token {
  TokenKind kind;
  std::string text;
};

std::vector<Token> Tokenize(std::string_view text) {
  std::vector<Token> tokens;
  for (const SqlToken& t : TokenizeSql(text)) tokens.push_back(Token{t.kind, std::string(t.text)});
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

// The content of a string literal token, '' read as one quote.
std::string LiteralContent(std::string_view literal) {
  std::string out;
  if (literal.size() < 2) return out;
  const std::string_view inner = literal.substr(1, literal.size() - 2);
  for (std::size_t i = 0; i < inner.size(); ++i) {
    out += inner[i];
    if (inner[i] == '\'' && i + 1 < inner.size() && inner[i + 1] == '\'') ++i;
  }
  return out;
}

// A DATEDIFF argument that is one date literal, written out in full
// ('2001-12-5' -> '2001-12-05 00:00:00'), so that every engine's date
// functions read it. Any other argument stays as it is.
void NormalizeDateArgument(std::vector<Token>& arg) {
  if (arg.size() != 1 || arg[0].kind != TokenKind::kString || arg[0].text.size() < 2 ||
      arg[0].text.back() != '\'') {
    return;
  }
  const std::optional<DateTime> date = DateTime::Parse(LiteralContent(arg[0].text));
  if (date) arg[0].text = "'" + StorageDateTimeText(*date) + "'";
}

// ---- DATEDIFF(dd, a, b) ------------------------------------------------------

void AppendTokens(std::vector<Token>& out, const std::vector<Token>& more) {
  out.insert(out.end(), more.begin(), more.end());
}

void AppendText(std::vector<Token>& out, std::string_view text) {
  out.push_back(Token{TokenKind::kPunct, std::string(text)});
}

// The engine's day count from `from` to `to`. `from` stays before `to`, so
// that '?' placeholders keep their order.
void AppendDayDifference(std::vector<Token>& out, const std::vector<Token>& from,
                         const std::vector<Token>& to, Engine engine, bool day_start_function) {
  if (engine == Engine::kPostgresql) {
    AppendText(out, "(-(CAST(");
    AppendTokens(out, from);
    AppendText(out, " AS date) - CAST(");
    AppendTokens(out, to);
    AppendText(out, " AS date)))");
    return;
  }
  if (day_start_function) {
    AppendText(out, "CAST(0 - ostrand_day_start(");
    AppendTokens(out, from);
    AppendText(out, ") + ostrand_day_start(");
    AppendTokens(out, to);
    AppendText(out, ") AS INTEGER)");
    return;
  }
  AppendText(out, "CAST(0 - julianday(");
  AppendTokens(out, from);
  AppendText(out, ", 'start of day') + julianday(");
  AppendTokens(out, to);
  AppendText(out, ", 'start of day') AS INTEGER)");
}

std::vector<Token> RewriteDateDiff(const std::vector<Token>& tokens, std::string_view whole,
                                   Engine engine, bool day_start_function) {
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
    std::vector<Token> from =
        RewriteDateDiff(Trimmed(tokens, args[1].first, args[1].second), whole, engine,
                        day_start_function);
    std::vector<Token> to =
        RewriteDateDiff(Trimmed(tokens, args[2].first, args[2].second), whole, engine,
                        day_start_function);
    if (from.empty() || to.empty()) {
      throw Error("DATEDIFF with an empty argument in '" + std::string(whole) + "'");
    }
    NormalizeDateArgument(from);
    NormalizeDateArgument(to);
    AppendDayDifference(out, from, to, engine, day_start_function);
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

// ---- '+' between texts -> '||' ----------------------------------------------

// T-SQL adds a number to text that reads as one ('1' + 1 is 2), so only a
// '+' with a string literal on one side and no number on the other
// concatenates.
void RewriteConcatenation(std::vector<Token>& tokens) {
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (!IsPunct(tokens[i], "+")) continue;
    std::size_t before = i;
    while (before > 0 && IsBlank(tokens[before - 1])) --before;
    const std::size_t after = SkipBlank(tokens, i + 1, tokens.size());
    if (before == 0 || after >= tokens.size()) continue;
    const Token& left = tokens[before - 1];
    const Token& right = tokens[after];
    const bool text_side =
        left.kind == TokenKind::kString || right.kind == TokenKind::kString;
    const bool number_side =
        left.kind == TokenKind::kNumber || right.kind == TokenKind::kNumber;
    if (text_side && !number_side) tokens[i].text = "||";
  }
}

// ---- text comparisons as T-SQL makes them -----------------------------------
//
// SQL Server's usual collation compares texts without regard to letter case
// or trailing blanks, and LIKE ignores case. Only operands that are known to
// be text are touched: a comparison one of whose operands is a string
// literal (perhaps concatenated), an IN list of string literals. A literal
// that reads as a number or a date stands for one (T-SQL converts it to the
// other operand's kind), so "personID='12'" and "planStartTime<'2001-12-5'"
// stay as they are, and so does any comparison between two columns.

bool IsComparisonOperator(const Token& t) {
  return t.kind == TokenKind::kPunct &&
         (t.text == "=" || t.text == "<>" || t.text == "!=" || t.text == "<" ||
          t.text == "<=" || t.text == ">" || t.text == ">=");
}

bool Opens(const Token& t) { return IsPunct(t, "(") || IsKeyword(t, "case"); }
bool Closes(const Token& t) { return IsPunct(t, ")") || IsKeyword(t, "end"); }

// True when `t` (followed by `next`, the next token that is not blank, or
// null) ends an operand that reaches it: a clause or logical word, another
// predicate, a comma or a semicolon. LEFT and RIGHT before '(' are the
// functions, not joins.
bool EndsOperand(const Token& t, const Token* next) {
  if (t.kind == TokenKind::kPunct) {
    return t.text == "," || t.text == ";" || t.text == "!<" || t.text == "!>" ||
           IsComparisonOperator(t);
  }
  if (t.kind != TokenKind::kIdentifier) return false;
  static constexpr std::string_view kWords[] = {
      "and",    "or",      "not",       "where",  "on",     "then",   "when",   "else",
      "order",  "group",   "having",    "select", "from",   "set",    "union",  "except",
      "intersect", "is",   "in",        "like",   "ilike",  "between", "escape", "as",
      "limit",  "offset",  "join",      "inner",  "cross",  "full",   "outer",  "exists",
      "into",   "values",  "returning", "collate", "any",   "all",    "some"};
  for (const std::string_view w : kWords) {
    if (EqualsNoCase(t.text, w)) return true;
  }
  const bool function_call = next != nullptr && IsPunct(*next, "(");
  return !function_call && (IsKeyword(t, "left") || IsKeyword(t, "right"));
}

const Token* NextSolidToken(const std::vector<Token>& tokens, std::size_t i) {
  const std::size_t k = SkipBlank(tokens, i + 1, tokens.size());
  return k < tokens.size() ? &tokens[k] : nullptr;
}

// The first token of the operand that ends just before `op`, blanks left
// out; `op` when there is none.
std::size_t OperandBegin(const std::vector<Token>& tokens, std::size_t op) {
  std::size_t begin = op;
  int depth = 0;
  for (std::size_t k = op; k > 0;) {
    --k;
    const Token& t = tokens[k];
    if (IsBlank(t)) continue;
    if (Closes(t)) {
      ++depth;
    } else if (Opens(t)) {
      if (depth == 0) break;
      --depth;
    } else if (depth == 0 && EndsOperand(t, NextSolidToken(tokens, k))) {
      break;
    }
    begin = k;
  }
  return begin;
}

// Just past the last token of the operand that starts after `op`, blanks
// left out; `op + 1` when there is none.
std::size_t OperandEnd(const std::vector<Token>& tokens, std::size_t op) {
  std::size_t end = op + 1;
  int depth = 0;
  for (std::size_t k = op + 1; k < tokens.size(); ++k) {
    const Token& t = tokens[k];
    if (IsBlank(t)) continue;
    if (Opens(t)) {
      ++depth;
    } else if (Closes(t)) {
      if (depth == 0) break;
      --depth;
    } else if (depth == 0 && EndsOperand(t, NextSolidToken(tokens, k))) {
      break;
    }
    end = k + 1;
  }
  return end;
}

bool IsTerminatedLiteral(std::string_view text) {
  if (text.size() < 2 || text[0] != '\'') return false;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] != '\'') continue;
    if (i + 1 < text.size() && text[i + 1] == '\'') {
      ++i;
    } else {
      return i + 1 == text.size();
    }
  }
  return false;
}

// A number such as " -12.5 ", as T-SQL would convert the text.
bool ReadsAsNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  bool digits = false;
  bool point = false;
  for (; i < text.size() && text[i] != ' '; ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      digits = true;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  while (i < text.size() && text[i] == ' ') ++i;
  return digits && i == text.size();
}

// A string literal that is text to T-SQL: terminated, reading neither as a
// number nor as a date.
bool IsTextLiteral(const Token& t) {
  if (t.kind != TokenKind::kString || !IsTerminatedLiteral(t.text)) return false;
  const std::string content = LiteralContent(t.text);
  return !ReadsAsNumber(content) && !DateTime::Parse(content);
}

// True when the operand [begin, end) is known to be text: a text literal at
// its top level and no arithmetic there ('||' joins texts).
bool IsKnownText(const std::vector<Token>& tokens, std::size_t begin, std::size_t end) {
  bool text = false;
  int depth = 0;
  for (std::size_t k = begin; k < end; ++k) {
    const Token& t = tokens[k];
    if (Opens(t)) {
      ++depth;
    } else if (Closes(t)) {
      --depth;
    } else if (depth == 0) {
      if (t.kind == TokenKind::kPunct && t.text.size() == 1 &&
          std::string_view("+-*/%&|^~").find(t.text[0]) != std::string_view::npos) {
        return false;
      }
      text = text || IsTextLiteral(t);
    }
  }
  return text;
}

// Where the rewrite puts text around the tokens: lower(rtrim( before a
// folded operand, )) after it, ESCAPE '' after a LIKE pattern.
struct TextEdits {
  explicit TextEdits(std::size_t n) : opens(n, 0), closes(n, 0), no_escape(n, false) {}
  void Fold(std::size_t begin, std::size_t end) {
    ++opens[begin];
    ++closes[end - 1];
  }
  std::vector<int> opens;
  std::vector<int> closes;
  std::vector<bool> no_escape;
};

// "a [NOT] IN ('x', 'y')": folds `a` and every item when all items are
// string literals and one of them is text.
void FoldInList(const std::vector<Token>& tokens, std::size_t in, TextEdits& edits) {
  std::size_t before = in;
  while (before > 0 && IsBlank(tokens[before - 1])) --before;
  const std::size_t operator_at =
      before > 0 && IsKeyword(tokens[before - 1], "not") ? before - 1 : in;
  const std::size_t begin = OperandBegin(tokens, operator_at);
  const std::size_t open = SkipBlank(tokens, in + 1, tokens.size());
  if (begin == operator_at || open >= tokens.size() || !IsPunct(tokens[open], "(")) return;
  const std::size_t close = MatchingParen(tokens, open, tokens.size());
  if (close >= tokens.size()) return;
  std::vector<std::size_t> items;
  bool text = false;
  std::size_t k = open + 1;
  for (;;) {
    const std::size_t item = SkipBlank(tokens, k, close);
    const std::size_t after = SkipBlank(tokens, item + 1, close);
    if (item >= close || tokens[item].kind != TokenKind::kString ||
        !IsTerminatedLiteral(tokens[item].text) ||
        (after < close && !IsPunct(tokens[after], ","))) {
      return;
    }
    items.push_back(item);
    text = text || IsTextLiteral(tokens[item]);
    if (after >= close) break;
    k = after + 1;
  }
  if (!text) return;
  std::size_t left_end = operator_at;
  while (IsBlank(tokens[left_end - 1])) --left_end;
  edits.Fold(begin, left_end);
  for (const std::size_t item : items) edits.Fold(item, item + 1);
}

void RewriteTextComparisons(std::vector<Token>& tokens, Engine engine) {
  TextEdits edits(tokens.size());
  // Per level of parentheses and CASE: whether a comparison there is a
  // condition (WHERE, ON, HAVING, WHEN), not an assignment or an alias.
  std::vector<bool> condition{false};
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (IsPunct(t, "(")) {
      condition.push_back(condition.back());
    } else if (IsKeyword(t, "case")) {
      condition.push_back(false);
    } else if (Closes(t)) {
      if (condition.size() > 1) condition.pop_back();
    } else if (IsKeyword(t, "where") || IsKeyword(t, "on") || IsKeyword(t, "having") ||
               IsKeyword(t, "when")) {
      condition.back() = true;
    } else if (IsKeyword(t, "select") || IsKeyword(t, "set") || IsKeyword(t, "from") ||
               IsKeyword(t, "then") || IsKeyword(t, "else") || IsKeyword(t, "order") ||
               IsKeyword(t, "group") || IsKeyword(t, "values")) {
      condition.back() = false;
    } else if (IsKeyword(t, "like")) {
      const std::size_t pattern_end = OperandEnd(tokens, i);
      if (engine == Engine::kPostgresql && pattern_end > i + 1) {
        tokens[i].text.insert(0, tokens[i].text[0] == 'L' ? "I" : "i");
        const Token* next = NextSolidToken(tokens, pattern_end - 1);
        if (next == nullptr || !IsKeyword(*next, "escape")) edits.no_escape[pattern_end - 1] = true;
      }
    } else if (condition.back() && IsComparisonOperator(t)) {
      const std::size_t begin = OperandBegin(tokens, i);
      const std::size_t end = OperandEnd(tokens, i);
      if (begin < i && end > i + 1 &&
          (IsKnownText(tokens, begin, i) || IsKnownText(tokens, i + 1, end))) {
        std::size_t left_end = i;
        while (IsBlank(tokens[left_end - 1])) --left_end;
        edits.Fold(begin, left_end);
        edits.Fold(SkipBlank(tokens, i + 1, end), end);
      }
    } else if (condition.back() && IsKeyword(t, "in")) {
      FoldInList(tokens, i, edits);
    }
  }
  std::vector<Token> out;
  out.reserve(tokens.size());
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    for (int n = 0; n < edits.opens[i]; ++n) AppendText(out, "lower(rtrim(");
    out.push_back(std::move(tokens[i]));
    for (int n = 0; n < edits.closes[i]; ++n) AppendText(out, "))");
    if (edits.no_escape[i]) AppendText(out, " ESCAPE ''");
  }
  tokens = std::move(out);
}

// ---- PostgreSQL names and row order -------------------------------------------

bool IsPlainName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (const char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

// [Name] means the name without regard to case, as an unquoted name does
// in PostgreSQL; a name that needs quoting keeps its case in "...".
void RewriteBrackets(std::vector<Token>& tokens) {
  for (Token& t : tokens) {
    if (t.kind != TokenKind::kQuoted || t.text.size() < 2 || t.text[0] != '[' ||
        t.text.back() != ']') {
      continue;
    }
    std::string name;
    const std::string_view inner = std::string_view(t.text).substr(1, t.text.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
      name += inner[i];
      if (inner[i] == ']' && i + 1 < inner.size() && inner[i + 1] == ']') ++i;
    }
    if (IsPlainName(name)) {
      t = Token{TokenKind::kIdentifier, name};
      continue;
    }
    std::string quoted = "\"";
    for (const char c : name) {
      quoted += c;
      if (c == '"') quoted += '"';
    }
    t = Token{TokenKind::kQuoted, quoted + "\""};
  }
}

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

}  // namespace

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

std::string TranslateTsql(std::string_view tsql, Engine engine, bool day_start_function) {
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
