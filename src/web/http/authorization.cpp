#include "web/http/authorization.h"

#include <sodium.h>

#include "core/sodium_start.h"
#include "core/text.h"
#include "core/utf8.h"

namespace ostrand::web::http {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

// The credentials after "SCHEME" and its blanks, the whole value trimmed;
// nothing when the header is of another scheme or has nothing after it.
std::optional<std::string_view> AfterScheme(std::string_view header, std::string_view scheme) {
  while (!header.empty() && Blank(header.front())) header.remove_prefix(1);
  while (!header.empty() && Blank(header.back())) header.remove_suffix(1);
  if (header.size() <= scheme.size() || !EqualsNoCase(header.substr(0, scheme.size()), scheme) ||
      !Blank(header[scheme.size()])) {
    return std::nullopt;
  }
  std::string_view rest = header.substr(scheme.size());
  while (!rest.empty() && Blank(rest.front())) rest.remove_prefix(1);
  return rest;
}

}  // namespace

std::optional<std::string_view> ReadBearerCredentials(std::string_view header) {
  const std::optional<std::string_view> token = AfterScheme(header, "Bearer");
  if (!token) return std::nullopt;
  std::size_t i = 0;
  while (i < token->size()) {
    const char c = (*token)[i];
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.' || c == '_' || c == '~' || c == '+' || c == '/';
    if (!ok) break;
    ++i;
  }
  if (i == 0) return std::nullopt;
  std::size_t end = i;
  while (end < token->size() && (*token)[end] == '=') ++end;
  if (end != token->size()) return std::nullopt;
  return token;
}

std::optional<BasicCredentials> ReadBasicCredentials(std::string_view header) {
  if (header.size() > kBasicCredentialsLimit) return std::nullopt;
  const std::optional<std::string_view> encoded = AfterScheme(header, "Basic");
  if (!encoded || encoded->size() % 4 != 0) return std::nullopt;
  StartSodium();
  std::string decoded(encoded->size() / 4 * 3, '\0');
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(decoded.data()), decoded.size(),
                        encoded->data(), encoded->size(), nullptr, &length, &end,
                        sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != encoded->data() + encoded->size()) {
    sodium_memzero(decoded.data(), decoded.size());
    return std::nullopt;
  }
  decoded.resize(length);
  std::optional<BasicCredentials> credentials;
  const std::size_t colon = decoded.find(':');
  if (colon != std::string::npos && IsValidUtf8(decoded) && !HasControlCharacter(decoded) &&
      decoded.find('\t') == std::string::npos) {
    credentials = BasicCredentials{decoded.substr(0, colon), decoded.substr(colon + 1)};
  }
  sodium_memzero(decoded.data(), decoded.size());
  return credentials;
}

}  // namespace ostrand::web::http
