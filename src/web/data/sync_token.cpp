#include "web/data/sync_token.h"

#include <limits>

#include "core/text.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kSyncPath = "/dav/sync/";

}  // namespace

std::string MakeSyncToken(std::string_view site_uri, std::string_view identity,
                          std::int64_t number) {
  while (!site_uri.empty() && site_uri.back() == '/') site_uri.remove_suffix(1);
  std::string token(site_uri);
  token += kSyncPath;
  token += identity;
  token += '/';
  token += std::to_string(number);
  return token;
}

std::optional<std::int64_t> ReadSyncToken(std::string_view token, std::string_view identity) {
  if (identity.empty()) return std::nullopt;
  const std::size_t path = token.rfind(kSyncPath);
  if (path == std::string_view::npos) return std::nullopt;
  std::string_view rest = token.substr(path + kSyncPath.size());
  if (rest.size() <= identity.size() || rest.substr(0, identity.size()) != identity ||
      rest[identity.size()] != '/') {
    return std::nullopt;
  }
  rest.remove_prefix(identity.size() + 1);
  return ReadWholeNumber(rest, std::numeric_limits<std::int64_t>::max());
}

}  // namespace ostrand::web
