#include <string>
#include <string_view>

#include "store/dialect/passes.h"

namespace ostrand::store::dialect {

// ---- PostgreSQL names ----------------------------------------------------------

namespace {

bool IsPlainName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (const char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

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

}  // namespace ostrand::store::dialect
