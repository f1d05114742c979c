#include <optional>
#include <string>
#include <utility>

#include "core/date.h"
#include "core/error.h"
#include "store/dialect/passes.h"
#include "store/sql_param.h"

namespace ostrand::store::dialect {

// ---- DATEDIFF(dd, a, b) ------------------------------------------------------

namespace {

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

// A column reference: Name or table.Name.
bool IsColumn(const std::vector<Token>& arg) {
  const auto name = [](const Token& t) {
    return t.kind == TokenKind::kIdentifier || t.kind == TokenKind::kQuoted;
  };
  if (arg.size() == 1) return name(arg[0]);
  return arg.size() == 3 && name(arg[0]) && IsPunct(arg[1], ".") && name(arg[2]);
}

// A value the statement holds fixed: a '?' or a date literal (written out
// in full by NormalizeDateArgument).
bool IsDayValue(const std::vector<Token>& arg) {
  if (arg.size() != 1) return false;
  if (IsPunct(arg[0], "?")) return true;
  return arg[0].kind == TokenKind::kString && arg[0].text.size() >= 2 &&
         arg[0].text.back() == '\'' && DateTime::Parse(LiteralContent(arg[0].text)).has_value();
}

// Whether the last solid token of `out` leaves the next one at the start of
// a whole condition (so that "DATEDIFF(...) >= 0" there is one operand).
bool AtConditionStart(const std::vector<Token>& out) {
  for (auto t = out.rbegin(); t != out.rend(); ++t) {
    if (IsBlank(*t)) continue;
    return IsPunct(*t, "(") || IsKeyword(*t, "where") || IsKeyword(*t, "and") ||
           IsKeyword(*t, "or") || IsKeyword(*t, "not") || IsKeyword(*t, "on") ||
           IsKeyword(*t, "having") || IsKeyword(*t, "when");
  }
  return false;
}

// When the call closing at `close` is followed by ">= 0" that ends a
// condition, the index just past the 0; otherwise 0.
std::size_t AtLeastZeroEnd(const std::vector<Token>& tokens, std::size_t close) {
  const std::size_t op = SkipBlank(tokens, close + 1, tokens.size());
  if (op >= tokens.size() || !IsPunct(tokens[op], ">=")) return 0;
  const std::size_t zero = SkipBlank(tokens, op + 1, tokens.size());
  if (zero >= tokens.size() || tokens[zero].kind != TokenKind::kNumber ||
      tokens[zero].text != "0") {
    return 0;
  }
  const std::size_t next = SkipBlank(tokens, zero + 1, tokens.size());
  if (next < tokens.size()) {
    const Token& t = tokens[next];
    if (!(IsPunct(t, ")") || IsPunct(t, ";") || IsKeyword(t, "and") || IsKeyword(t, "or") ||
          IsKeyword(t, "order") || IsKeyword(t, "group") || IsKeyword(t, "having") ||
          IsKeyword(t, "limit") || IsKeyword(t, "union") || IsKeyword(t, "then") ||
          IsKeyword(t, "else") || IsKeyword(t, "end"))) {
      return 0;
    }
  }
  return zero + 1;
}

// "DATEDIFF(dd, column, day) >= 0" (the column's day is on or before
// `day`) and "DATEDIFF(dd, day, column) >= 0" (on or after) as a plain
// comparison of the column, which an index on it serves and which calls no
// function per row. PostgreSQL compares its timestamps with the day's
// start. SQLite compares the stored text: a time stored as the schema
// writes it ('YYYY-MM-DD' or 'YYYY-MM-DD HH:MM:SS', 'T' or fractions of a
// second allowed) begins with its day, so it is on or after the day D when
// it is not below 'D', and on or before D when it is below 'D~' ('~' sorts
// after every character that follows the day). NULLs compare as NULL, as
// the day count does; so does a day that is no date.
bool AppendDayComparison(std::vector<Token>& out, const std::vector<Token>& from,
                         const std::vector<Token>& to, Engine engine) {
  const bool on_or_before = IsColumn(from) && IsDayValue(to);
  if (!on_or_before && !(IsDayValue(from) && IsColumn(to))) return false;
  const std::vector<Token>& column = on_or_before ? from : to;
  const std::vector<Token>& day = on_or_before ? to : from;
  AppendTokens(out, column);
  if (engine == Engine::kPostgresql) {
    AppendText(out, on_or_before ? " < CAST(" : " >= CAST(");
    AppendTokens(out, day);
    AppendText(out, on_or_before ? " AS date) + 1" : " AS date)");
    return true;
  }
  AppendText(out, on_or_before ? " < (date(" : " >= date(");
  AppendTokens(out, day);
  AppendText(out, on_or_before ? ") || '~')" : ")");
  return true;
}

}  // namespace

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
    if (const std::size_t end = AtLeastZeroEnd(tokens, close);
        end != 0 && AtConditionStart(out) && AppendDayComparison(out, from, to, engine)) {
      i = end;
      continue;
    }
    AppendDayDifference(out, from, to, engine, day_start_function);
    i = close + 1;
  }
  return out;
}

}  // namespace ostrand::store::dialect
