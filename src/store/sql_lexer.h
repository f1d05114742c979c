// The SQL tokenizer that the dialect translation, the literal lifting and
// the statement splitting share. It never fails and never drops a byte:
// the tokens, joined, give back the text exactly.
#pragma once

#include <string_view>
#include <vector>

namespace ostrand::store {

enum class SqlTokenKind {
  kSpace,       // whitespace
  kComment,     // -- to end of line, or /* ... */
  kString,      // '...' with '' inside (unterminated: to the end of the text)
  kQuoted,      // "..." or [...] identifier
  kIdentifier,  // letters, digits, _, @, #, $ and the bytes of UTF-8 sequences
  kNumber,      // digits with an optional point and exponent
  kPunct,       // one operator or punctuation mark (<=, >=, <>, !=, !<, !>, || as one)
};

struct SqlToken {
  SqlTokenKind kind;
  std::string_view text;  // a view into the tokenized text
};

// Splits `sql` into tokens that view into it; `sql` must outlive them.
std::vector<SqlToken> TokenizeSql(std::string_view sql);

// True for spaces and comments.
inline bool IsBlankToken(const SqlToken& t) {
  return t.kind == SqlTokenKind::kSpace || t.kind == SqlTokenKind::kComment;
}

// The statements of a script, split at the semicolons outside literals and
// comments, each without its semicolon and surrounding blanks; statements
// that hold only blanks and comments are left out.
std::vector<std::string_view> SplitSqlStatements(std::string_view script);

}  // namespace ostrand::store
