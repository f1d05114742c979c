#include "store/literal_lifting.h"

#include <charconv>
#include <cstdint>
#include <optional>

#include "core/date.h"
#include "core/text.h"
#include "store/sql_lexer.h"

namespace ostrand::store {
namespace {

using Kind = SqlTokenKind;

// Where in a statement a token lies, per level of parentheses.
enum class Clause { kOther, kSelectList, kCondition };

bool IsWord(const SqlToken& t, std::string_view word) {
  return t.kind == Kind::kIdentifier && EqualsNoCase(t.text, word);
}

bool IsComparison(const SqlToken& t) {
  return t.kind == Kind::kPunct && (t.text == "=" || t.text == "<" || t.text == ">" ||
                                    t.text == "<=" || t.text == ">=" || t.text == "<>" ||
                                    t.text == "!=");
}

// Words that may stand before a comparison without naming a column.
bool IsReservedWord(std::string_view word) {
  static constexpr std::string_view kWords[] = {
      "and", "or", "not", "where", "on", "having", "when", "then", "else", "case",
      "end", "is", "null", "select", "from", "in", "like", "between", "exists", "all", "any"};
  for (const std::string_view w : kWords) {
    if (EqualsNoCase(word, w)) return true;
  }
  return false;
}

// Clause changes brought by a keyword at the current level.
std::optional<Clause> ClauseAfter(const SqlToken& t) {
  // Most identifiers are column and table names: only words of two to nine
  // letters can be one of these keywords.
  if (t.kind != Kind::kIdentifier || t.text.size() < 2 || t.text.size() > 9) return std::nullopt;
  switch (LowerAscii(t.text[0])) {
    case 's':
      if (IsWord(t, "select")) return Clause::kSelectList;
      if (IsWord(t, "set")) return Clause::kOther;
      break;
    case 'w':
      if (IsWord(t, "where")) return Clause::kCondition;
      break;
    case 'o':
      if (IsWord(t, "on")) return Clause::kCondition;
      if (IsWord(t, "order") || IsWord(t, "offset")) return Clause::kOther;
      break;
    case 'h':
      if (IsWord(t, "having")) return Clause::kCondition;
      break;
    case 'f':
      if (IsWord(t, "from")) return Clause::kOther;
      break;
    case 'g':
      if (IsWord(t, "group")) return Clause::kOther;
      break;
    case 'u':
      if (IsWord(t, "union")) return Clause::kOther;
      break;
    case 'i':
      if (IsWord(t, "into") || IsWord(t, "intersect")) return Clause::kOther;
      break;
    case 'e':
      if (IsWord(t, "except")) return Clause::kOther;
      break;
    case 'v':
      if (IsWord(t, "values")) return Clause::kOther;
      break;
    case 'l':
      if (IsWord(t, "limit")) return Clause::kOther;
      break;
    case 't':
      if (IsWord(t, "top")) return Clause::kOther;
      break;
    default:
      break;
  }
  return std::nullopt;
}

std::optional<std::int64_t> WholeNumber(std::string_view digits) {
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

std::string LiteralContent(std::string_view literal) {
  std::string out;
  const std::string_view inner = literal.substr(1, literal.size() - 2);
  for (std::size_t i = 0; i < inner.size(); ++i) {
    out += inner[i];
    if (inner[i] == '\'' && i + 1 < inner.size() && inner[i + 1] == '\'') ++i;
  }
  return out;
}


// The index of the nearest token before `i` that is not blank, or npos.
std::size_t PreviousSolid(const std::vector<SqlToken>& tokens, std::size_t i) {
  while (i > 0) {
    --i;
    if (!IsBlankToken(tokens[i])) return i;
  }
  return std::string_view::npos;
}

std::size_t NextSolid(const std::vector<SqlToken>& tokens, std::size_t i) {
  for (++i; i < tokens.size(); ++i) {
    if (!IsBlankToken(tokens[i])) return i;
  }
  return tokens.size();
}

// A number at `i` compared with a column: "column op number", followed by
// nothing that would make it part of a larger expression.
bool IsComparedId(const std::vector<SqlToken>& tokens, std::size_t i) {
  const std::size_t op = PreviousSolid(tokens, i);
  if (op == std::string_view::npos || !IsComparison(tokens[op])) return false;
  const std::size_t column = PreviousSolid(tokens, op);
  if (column == std::string_view::npos) return false;
  const SqlToken& name = tokens[column];
  const bool named = (name.kind == Kind::kIdentifier && name.text[0] != '@' &&
                      !IsReservedWord(name.text)) ||
                     name.kind == Kind::kQuoted;
  if (!named) return false;
  const std::size_t next = NextSolid(tokens, i);
  if (next == tokens.size()) return true;
  const SqlToken& after = tokens[next];
  if (after.kind != Kind::kPunct) return after.kind == Kind::kIdentifier;  // and, or, order, ...
  return after.text == ")" || after.text == ";" || after.text == ",";
}

struct Level {
  Clause clause = Clause::kOther;
  bool datediff = false;  // the parentheses of a DATEDIFF call
  int argument = 0;       // within them: the 0-based argument
};

}  // namespace

LiftedQuery LiftLiterals(std::string_view tsql) {
  LiftedQuery lifted;
  const std::vector<SqlToken> tokens = TokenizeSql(tsql);
  for (const SqlToken& t : tokens) {
    if (t.kind == Kind::kPunct && t.text == "?") {
      lifted.shape = std::string(tsql);
      return lifted;
    }
  }
  lifted.shape.reserve(tsql.size());
  std::vector<Level> levels(1);
  bool datediff_next = false;  // the last solid token was DATEDIFF
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const SqlToken& t = tokens[i];
    Level& level = levels.back();
    bool replaced = false;
    if (t.kind == Kind::kPunct && t.text == "(") {
      Level inner;
      inner.clause = level.clause;
      inner.datediff = datediff_next;
      levels.push_back(inner);
    } else if (t.kind == Kind::kPunct && t.text == ")") {
      if (levels.size() > 1) levels.pop_back();
    } else if (t.kind == Kind::kPunct && t.text == "," && level.datediff) {
      ++level.argument;
    } else if (const std::optional<Clause> clause = ClauseAfter(t)) {
      level.clause = *clause;
    } else if (t.kind == Kind::kNumber && level.clause == Clause::kCondition &&
               IsComparedId(tokens, i)) {
      if (const std::optional<std::int64_t> id = WholeNumber(t.text)) {
        lifted.params.push_back(SqlParam::Integer(*id));
        replaced = true;
      }
    } else if (t.kind == Kind::kString && level.datediff && level.argument >= 1 &&
               t.text.size() >= 2 && t.text.back() == '\'') {
      // A whole argument: nothing but blanks between the commas around it.
      const std::size_t before = PreviousSolid(tokens, i);
      const std::size_t after = NextSolid(tokens, i);
      const bool whole = before != std::string_view::npos && tokens[before].text == "," &&
                         after < tokens.size() &&
                         (tokens[after].text == "," || tokens[after].text == ")");
      if (whole) {
        if (const std::optional<DateTime> date = DateTime::Parse(LiteralContent(t.text))) {
          lifted.params.push_back(SqlParam::Timestamp(*date));
          replaced = true;
        }
      }
    }
    if (!IsBlankToken(t)) datediff_next = IsWord(t, "datediff");
    lifted.shape += replaced ? std::string_view("?") : t.text;
  }
  return lifted;
}

}  // namespace ostrand::store
