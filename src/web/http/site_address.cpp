#include "web/http/site_address.h"

#include "core/text.h"
#include "web/http/request_values.h"

namespace ostrand::web::http {
namespace {

bool IsLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::optional<std::string> ReadHostHeader(std::string_view text) {
  if (text.empty() || text.size() > 260) return std::nullopt;
  std::string_view host = text;
  std::string_view port;
  if (host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos || close == 1) return std::nullopt;
    for (const char c : host.substr(1, close - 1)) {
      const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                      c == ':' || c == '.';
      if (!ok) return std::nullopt;
    }
    const std::string_view rest = host.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port = rest.substr(1);
      if (port.empty()) return std::nullopt;
    }
    host = host.substr(0, close + 1);
  } else {
    const std::size_t colon = host.find(':');
    if (colon != std::string_view::npos) {
      port = host.substr(colon + 1);
      host = host.substr(0, colon);
      if (port.empty()) return std::nullopt;
    }
    if (host.empty() || host.size() > 253) return std::nullopt;
    char previous = '.';
    for (const char c : host) {
      if (!IsLetterOrDigit(c) && c != '-' && c != '.') return std::nullopt;
      if (c == '.' && previous == '.') return std::nullopt;
      previous = c;
    }
  }
  if (!port.empty() && (port.size() > 5 || !ReadWholeNumber(port, 65535))) return std::nullopt;
  std::string out;
  out.reserve(text.size());
  for (const char c : host) out += Lower(c);
  if (!port.empty()) {
    out += ':';
    out += port;
  }
  return out;
}

std::optional<std::string> ReadSiteAddress(std::string_view text) {
  std::string scheme;
  if (StartsWithNoCase(text, "https://")) {
    scheme = "https://";
  } else if (StartsWithNoCase(text, "http://")) {
    scheme = "http://";
  } else {
    return std::nullopt;
  }
  text.remove_prefix(scheme.size());
  const std::size_t slash = text.find('/');
  const std::optional<std::string> host = ReadHostHeader(text.substr(0, slash));
  if (!host) return std::nullopt;
  std::string_view path = slash == std::string_view::npos ? std::string_view() : text.substr(slash);
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  for (const char c : path) {
    const bool ok = IsLetterOrDigit(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~';
    if (!ok) return std::nullopt;
  }
  return scheme + *host + std::string(path);
}

}  // namespace ostrand::web::http
