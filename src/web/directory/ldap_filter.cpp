#include "web/directory/ldap_filter.h"

#include "core/hex.h"

namespace ostrand::web {

std::string EscapeFilterValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7e || c == '*' || c == '(' || c == ')' || c == '\\') {
      out += '\\';
      AppendHexByte(out, byte, HexCase::kLower);
    } else {
      out += c;
    }
  }
  return out;
}

std::string FilterForName(std::string_view pattern, std::string_view name) {
  const std::string escaped = EscapeFilterValue(name);
  std::string out;
  std::size_t from = 0;
  for (std::size_t at = pattern.find("%s"); at != std::string_view::npos;
       at = pattern.find("%s", from)) {
    out.append(pattern.substr(from, at - from));
    out += escaped;
    from = at + 2;
  }
  out.append(pattern.substr(from));
  return out;
}

}  // namespace ostrand::web
