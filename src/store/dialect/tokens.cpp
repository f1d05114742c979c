#include "store/dialect/tokens.h"

#include "core/text.h"

namespace ostrand::store::dialect {

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

void AppendTokens(std::vector<Token>& out, const std::vector<Token>& more) {
  out.insert(out.end(), more.begin(), more.end());
}

void AppendText(std::vector<Token>& out, std::string_view text) {
  out.push_back(Token{TokenKind::kPunct, std::string(text)});
}

}  // namespace ostrand::store::dialect
