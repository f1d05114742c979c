#include "web/oidc/id_token.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <optional>

#include "core/error.h"
#include "web/auth/session_cookie.h"
#include "web/data/identities.h"
#include "web/oidc/provider_documents.h"

namespace ostrand::web::oidc {
namespace {

using Json = nlohmann::json;

Error Refused(const std::string& why) {
  return Error("the ID token " + why, ErrorKind::kForbidden);
}

const Json* Member(const Json& claims, const char* name) {
  const auto found = claims.find(name);
  return found == claims.end() ? nullptr : &*found;
}

std::optional<std::string> Text(const Json& claims, const char* name) {
  const Json* const value = Member(claims, name);
  if (value == nullptr || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

// A NumericDate claim in whole seconds (a fraction rounded down), clamped
// to what an int64 holds; nothing when it is missing or no number.
std::optional<std::int64_t> Seconds(const Json& claims, const char* name) {
  const Json* const value = Member(claims, name);
  if (value == nullptr) return std::nullopt;
  constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max() / 2;
  if (value->is_number_unsigned()) {
    const auto seconds = value->get<std::uint64_t>();
    return seconds > static_cast<std::uint64_t>(kMost) ? kMost : static_cast<std::int64_t>(seconds);
  }
  if (value->is_number_integer()) return std::max(value->get<std::int64_t>(), -kMost);
  if (value->is_number_float()) {
    const double seconds = std::floor(value->get<double>());
    if (std::isnan(seconds)) return std::nullopt;
    if (seconds >= static_cast<double>(kMost)) return kMost;
    if (seconds <= static_cast<double>(-kMost)) return -kMost;
    return static_cast<std::int64_t>(seconds);
  }
  return std::nullopt;
}

void CheckAudience(const Json& claims, std::string_view client_id) {
  const Json* const aud = Member(claims, "aud");
  std::size_t audiences = 0;
  bool ours = false;
  if (aud != nullptr && aud->is_string()) {
    audiences = 1;
    ours = aud->get_ref<const std::string&>() == client_id;
  } else if (aud != nullptr && aud->is_array()) {
    for (const Json& item : *aud) {
      if (!item.is_string()) throw Refused("has an \"aud\" list with an item that is no text");
      ++audiences;
      ours = ours || item.get_ref<const std::string&>() == client_id;
    }
  }
  if (audiences == 0) throw Refused("names no audience (\"aud\")");
  if (!ours) throw Refused("is meant for another audience, not for this site's client id");
  const std::optional<std::string> azp = Text(claims, "azp");
  if (Member(claims, "azp") != nullptr && !azp) throw Refused("has an \"azp\" that is no text");
  if (azp && *azp != client_id) {
    throw Refused("was issued to another party (\"azp\" '" + QuoteProviderText(*azp) + "')");
  }
  if (audiences > 1 && !azp) {
    throw Refused("names several audiences and no authorized party (\"azp\")");
  }
}

std::string ClaimText(const Json& claims, std::string_view name) {
  const auto found = claims.find(name);
  if (found == claims.end()) return {};
  if (found->is_string()) return found->get<std::string>();
  if (found->is_number_integer()) return found->dump();
  return {};
}

}  // namespace

IdTokenClaims CheckIdToken(std::string_view token, const KeySet& keys,
                           const TokenExpectations& expected) {
  const std::string payload = keys.VerifiedPayload(token);
  const Json claims = Json::parse(payload, nullptr, false);
  if (claims.is_discarded() || !claims.is_object()) {
    throw Refused("carries no JSON object of claims");
  }

  const std::optional<std::string> issuer = Text(claims, "iss");
  if (!issuer) throw Refused("names no issuer (\"iss\")");
  if (*issuer != expected.issuer) {
    throw Refused("comes from the issuer '" + QuoteProviderText(*issuer) + "', not from '" +
                  std::string(expected.issuer) + "'");
  }
  CheckAudience(claims, expected.client_id);

  const std::int64_t skew = kClockSkew.count();
  const std::optional<std::int64_t> expires = Seconds(claims, "exp");
  if (!expires) throw Refused("has no expiry (\"exp\")");
  if (*expires + skew <= expected.now) {
    throw Refused("expired at " + std::to_string(*expires) + " (now " +
                  std::to_string(expected.now) + ")");
  }
  const std::optional<std::int64_t> issued = Seconds(claims, "iat");
  if (!issued) throw Refused("has no time of issue (\"iat\")");
  if (*issued - skew > expected.now) {
    throw Refused("was issued in the future, at " + std::to_string(*issued) + " (now " +
                  std::to_string(expected.now) + ")");
  }
  if (Member(claims, "nbf") != nullptr) {
    const std::optional<std::int64_t> not_before = Seconds(claims, "nbf");
    if (!not_before || *not_before - skew > expected.now) {
      throw Refused("is not valid yet (\"nbf\")");
    }
  }

  const std::optional<std::string> nonce = Text(claims, "nonce");
  if (!nonce) throw Refused("carries no nonce");
  if (expected.nonce.empty() || !SameText(*nonce, expected.nonce)) {
    throw Refused("carries a nonce that is not this sign-in's");
  }

  std::optional<std::string> subject = Text(claims, "sub");
  if (!subject || subject->empty()) throw Refused("names no subject (\"sub\")");
  if (subject->size() > kIdentityFieldLimit) {
    throw Refused("names a subject longer than " + std::to_string(kIdentityFieldLimit) + " bytes");
  }

  IdTokenClaims checked;
  checked.issuer = *issuer;
  checked.subject = std::move(*subject);
  checked.claim = ClaimText(claims, expected.claim);
  checked.name = Text(claims, "name").value_or(std::string());
  checked.expires = *expires;
  return checked;
}

}  // namespace ostrand::web::oidc
