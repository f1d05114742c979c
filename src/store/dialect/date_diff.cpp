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
    AppendDayDifference(out, from, to, engine, day_start_function);
    i = close + 1;
  }
  return out;
}

}  // namespace ostrand::store::dialect
