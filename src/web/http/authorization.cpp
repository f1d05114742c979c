#include "web/http/authorization.h"

#include "core/text.h"

namespace ostrand::web::http {

std::optional<std::string_view> ReadBearerCredentials(std::string_view header) {
  constexpr std::string_view kScheme = "Bearer";
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!header.empty() && blank(header.front())) header.remove_prefix(1);
  while (!header.empty() && blank(header.back())) header.remove_suffix(1);
  if (header.size() <= kScheme.size() || !EqualsNoCase(header.substr(0, kScheme.size()), kScheme) ||
      !blank(header[kScheme.size()])) {
    return std::nullopt;
  }
  std::string_view token = header.substr(kScheme.size());
  while (!token.empty() && blank(token.front())) token.remove_prefix(1);
  std::size_t i = 0;
  while (i < token.size()) {
    const char c = token[i];
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.' || c == '_' || c == '~' || c == '+' || c == '/';
    if (!ok) break;
    ++i;
  }
  if (i == 0) return std::nullopt;
  std::size_t end = i;
  while (end < token.size() && token[end] == '=') ++end;
  if (end != token.size()) return std::nullopt;
  return token;
}

}  // namespace ostrand::web::http
