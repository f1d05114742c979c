#include "web/http/cookies.h"

#include "core/text.h"

namespace ostrand::web::http {
std::optional<std::string_view> FindCookie(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const std::size_t semicolon = header.find(';');
    const std::string_view pair = TrimSpacesAndTabs(header.substr(0, semicolon));
    header =
        semicolon == std::string_view::npos ? std::string_view() : header.substr(semicolon + 1);
    const std::size_t equals = pair.find('=');
    if (equals != std::string_view::npos && TrimSpacesAndTabs(pair.substr(0, equals)) == name) {
      return TrimSpacesAndTabs(pair.substr(equals + 1));
    }
  }
  return std::nullopt;
}

std::optional<std::string_view> FindRequestCookie(const Request& request, std::string_view name) {
  for (const Header& header : request.headers) {
    if (!EqualsNoCase(header.name, "Cookie")) continue;
    if (const std::optional<std::string_view> value = FindCookie(header.value, name)) return value;
  }
  return std::nullopt;
}

std::string SetCookieValue(std::string_view name, std::string_view value, std::string_view path,
                           std::int64_t max_age) {
  std::string header;
  header.reserve(name.size() + value.size() + path.size() + 64);
  header += name;
  header += '=';
  header += value;
  header += "; Path=";
  header += path;
  header += "; Max-Age=";
  header += std::to_string(max_age > 0 ? max_age : 0);
  header += "; HttpOnly; SameSite=Lax";
  return header;
}

}  // namespace ostrand::web::http
