#include "store/sql_lexer.h"

#include <cstddef>

namespace ostrand::store {
namespace {

bool IsIdentStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '@' || c == '#' ||
         c >= 0x80;
}

bool IsIdentPart(unsigned char c) { return IsIdentStart(c) || (c >= '0' && c <= '9') || c == '$'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The end of a run that closes with `close`, starting at `pos`; an
// unterminated run extends to the end of the text.
std::size_t EndOfDelimited(std::string_view text, std::size_t pos, char close) {
  while (pos < text.size()) {
    if (text[pos] == close) {
      if (pos + 1 < text.size() && text[pos + 1] == close) {
        pos += 2;
        continue;
      }
      return pos + 1;
    }
    ++pos;
  }
  return text.size();
}

}  // namespace

std::vector<SqlToken> TokenizeSql(std::string_view text) {
  std::vector<SqlToken> tokens;
  tokens.reserve(text.size() / 4 + 1);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    std::size_t end = pos + 1;
    SqlTokenKind kind = SqlTokenKind::kPunct;
    if (IsSpace(c)) {
      while (end < text.size() && IsSpace(text[end])) ++end;
      kind = SqlTokenKind::kSpace;
    } else if (c == '\'') {
      end = EndOfDelimited(text, pos + 1, '\'');
      kind = SqlTokenKind::kString;
    } else if (c == '"') {
      end = EndOfDelimited(text, pos + 1, '"');
      kind = SqlTokenKind::kQuoted;
    } else if (c == '[') {
      end = EndOfDelimited(text, pos + 1, ']');
      kind = SqlTokenKind::kQuoted;
    } else if (c == '-' && pos + 1 < text.size() && text[pos + 1] == '-') {
      while (end < text.size() && text[end] != '\n') ++end;
      kind = SqlTokenKind::kComment;
    } else if (c == '/' && pos + 1 < text.size() && text[pos + 1] == '*') {
      const std::size_t close = text.find("*/", pos + 2);
      end = close == std::string_view::npos ? text.size() : close + 2;
      kind = SqlTokenKind::kComment;
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
      kind = SqlTokenKind::kNumber;
    } else if (IsIdentStart(static_cast<unsigned char>(c))) {
      while (end < text.size() && IsIdentPart(static_cast<unsigned char>(text[end]))) ++end;
      kind = SqlTokenKind::kIdentifier;
    } else if (pos + 1 < text.size()) {
      const std::string_view two = text.substr(pos, 2);
      if (two == "<=" || two == ">=" || two == "<>" || two == "!=" || two == "!<" ||
          two == "!>" || two == "||") {
        end = pos + 2;
      }
    }
    tokens.push_back(SqlToken{kind, text.substr(pos, end - pos)});
    pos = end;
  }
  return tokens;
}

std::vector<std::string_view> SplitSqlStatements(std::string_view script) {
  std::vector<std::string_view> statements;
  const std::vector<SqlToken> tokens = TokenizeSql(script);
  std::size_t begin = 0;  // first token of the current statement
  const auto flush = [&](std::size_t end) {
    std::size_t first = begin;
    std::size_t last = end;
    while (first < last && IsBlankToken(tokens[first])) ++first;
    while (last > first && IsBlankToken(tokens[last - 1])) --last;
    if (first < last) {
      const char* from = tokens[first].text.data();
      const char* to = tokens[last - 1].text.data() + tokens[last - 1].text.size();
      statements.emplace_back(from, static_cast<std::size_t>(to - from));
    }
  };
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind == SqlTokenKind::kPunct && tokens[i].text == ";") {
      flush(i);
      begin = i + 1;
    }
  }
  flush(tokens.size());
  return statements;
}

}  // namespace ostrand::store
