#include "web/oidc/sign_in_round.h"

#include <array>

#include "core/error.h"
#include "web/pages/signin_page.h"

namespace ostrand::web::oidc {
namespace {

bool IsUrlSafe(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.' || c == '_' || c == '~';
    if (!safe) return false;
  }
  return true;
}

}  // namespace

std::string WriteSignInRound(const SignInRound& round) {
  const std::array<std::pair<std::string_view, const std::string*>, 5> fields{{
      {"state", &round.state},
      {"nonce", &round.nonce},
      {"code verifier", &round.code_verifier},
      {"redirect address", &round.redirect_uri},
      {"next page", &round.next},
  }};
  std::string text;
  for (const auto& [name, value] : fields) {
    if (value->find('\n') != std::string::npos) {
      throw Error("the sign-in round's " + std::string(name) + " holds a line break");
    }
    text += *value;
    text += '\n';
  }
  return text;
}

std::optional<SignInRound> ReadSignInRound(std::string_view text) {
  if (text.size() > kSignInRoundLimit) return std::nullopt;
  std::array<std::string_view, 5> fields;
  for (std::string_view& field : fields) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    field = text.substr(0, end);
    text.remove_prefix(end + 1);
  }
  if (!text.empty()) return std::nullopt;
  if (!IsUrlSafe(fields[0]) || !IsUrlSafe(fields[1]) || !IsUrlSafe(fields[2])) return std::nullopt;
  const std::string_view redirect = fields[3];
  if (!(redirect.starts_with("https://") || redirect.starts_with("http://")) ||
      !IsCleanTarget(redirect)) {
    return std::nullopt;
  }
  return SignInRound{std::string(fields[0]), std::string(fields[1]), std::string(fields[2]),
                     std::string(redirect), SafeNextPage(fields[4])};
}

}  // namespace ostrand::web::oidc
