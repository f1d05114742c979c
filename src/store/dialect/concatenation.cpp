#include "store/dialect/passes.h"

namespace ostrand::store::dialect {

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

}  // namespace ostrand::store::dialect
