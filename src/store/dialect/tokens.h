// The tokens the T-SQL translation (store/dialect.h) works on, and the small
// helpers every rewrite pass shares. Internal to the translation: the passes
// (store/dialect/passes.h) and TranslateTsql use them, nothing else.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "store/sql_lexer.h"

namespace ostrand::store::dialect {

using TokenKind = SqlTokenKind;

// A token whose text the translation may replace.
struct Token {
  TokenKind kind;
  std::string text;
};

// The tokens of a text (store/sql_lexer.h), each owning its text.
std::vector<Token> Tokenize(std::string_view text);

// The texts of tokens [begin, end) one after the other.
std::string Join(const std::vector<Token>& tokens, std::size_t begin, std::size_t end);

// Punctuation `p`; an identifier that is `word` in any ASCII case; a space
// or a comment.
bool IsPunct(const Token& t, std::string_view p);
bool IsKeyword(const Token& t, std::string_view word);
bool IsBlank(const Token& t);

// Index of the first token at or after `i` (before `end`) that is not blank.
std::size_t SkipBlank(const std::vector<Token>& tokens, std::size_t i, std::size_t end);

// Index of the ')' matching the '(' at `open`, or `end` when it is missing.
std::size_t MatchingParen(const std::vector<Token>& tokens, std::size_t open, std::size_t end);

// Tokens [begin, end) without leading and trailing blanks.
std::vector<Token> Trimmed(const std::vector<Token>& tokens, std::size_t begin, std::size_t end);

// The content of a string literal token, '' read as one quote.
std::string LiteralContent(std::string_view literal);

// Appends tokens; appends text as one token that no later pass rewrites.
void AppendTokens(std::vector<Token>& out, const std::vector<Token>& more);
void AppendText(std::vector<Token>& out, std::string_view text);

}  // namespace ostrand::store::dialect
