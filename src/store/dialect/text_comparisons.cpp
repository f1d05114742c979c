#include <string>
#include <string_view>
#include <utility>

#include "core/date.h"
#include "core/text.h"
#include "store/dialect/passes.h"

namespace ostrand::store::dialect {

// ---- text comparisons as T-SQL makes them -----------------------------------
//
// SQL Server's usual collation compares texts without regard to letter case
// or trailing blanks, and LIKE ignores case. Only operands that are known to
// be text are touched: a comparison one of whose operands is a string
// literal (perhaps concatenated), an IN list of string literals. A literal
// that reads as a number or a date stands for one (T-SQL converts it to the
// other operand's kind), so "personID='12'" and "planStartTime<'2001-12-5'"
// stay as they are, and so does any comparison between two columns.
namespace {

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

}  // namespace

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
        // Not insert(0, ...): GCC 12 warns of a restrict overlap there.
        tokens[i].text = std::string(tokens[i].text[0] == 'L' ? "I" : "i") + tokens[i].text;
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

}  // namespace ostrand::store::dialect
