#include "web/oidc/key_set.h"

#include <cjose/cjose.h>
#include <sodium.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <mutex>
#include <vector>

#include "core/error.h"
#include "core/sodium_start.h"
#include "web/oidc/provider_documents.h"

namespace ostrand::web::oidc {
namespace {

using Json = nlohmann::json;

constexpr std::size_t kWeakestRsaBits = 2048;

// A signature algorithm this site takes, with the key it needs.
struct Algorithm {
  std::string_view name;
  cjose_jwk_kty_t type;
  int curve;  // an EC key's curve; 0 for RSA
};

constexpr std::array<Algorithm, 9> kAlgorithms{{
    {"RS256", CJOSE_JWK_KTY_RSA, 0},
    {"RS384", CJOSE_JWK_KTY_RSA, 0},
    {"RS512", CJOSE_JWK_KTY_RSA, 0},
    {"PS256", CJOSE_JWK_KTY_RSA, 0},
    {"PS384", CJOSE_JWK_KTY_RSA, 0},
    {"PS512", CJOSE_JWK_KTY_RSA, 0},
    {"ES256", CJOSE_JWK_KTY_EC, CJOSE_JWK_EC_P_256},
    {"ES384", CJOSE_JWK_KTY_EC, CJOSE_JWK_EC_P_384},
    {"ES512", CJOSE_JWK_KTY_EC, CJOSE_JWK_EC_P_521},
}};

const Algorithm* FindAlgorithm(std::string_view name) {
  for (const Algorithm& algorithm : kAlgorithms) {
    if (algorithm.name == name) return &algorithm;
  }
  return nullptr;
}

struct JwkDeleter {
  void operator()(cjose_jwk_t* key) const { cjose_jwk_release(key); }
};
struct JwsDeleter {
  void operator()(cjose_jws_t* jws) const { cjose_jws_release(jws); }
};
using JwkHandle = std::unique_ptr<cjose_jwk_t, JwkDeleter>;
using JwsHandle = std::unique_ptr<cjose_jws_t, JwsDeleter>;

Error Refused(const std::string& why) {
  return Error("the ID token " + why, ErrorKind::kForbidden);
}

bool IsBase64UrlText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
  });
}

std::optional<std::string> DecodeBase64Url(std::string_view text) {
  StartSodium();
  std::string bytes(text.size() / 4 * 3 + 3, '\0');
  std::size_t length = 0;
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), text.data(),
                        text.size(), nullptr, &length, nullptr,
                        sodium_base64_VARIANT_URLSAFE_NO_PADDING) != 0) {
    return std::nullopt;
  }
  bytes.resize(length);
  return bytes;
}

// Whether a key's member is base64url as RFC 7518 writes it (padding
// tolerated at the end). cjose aborts the process on some malformed
// values ("AAAAA=AA" leaves it one character into a quantum), so nothing
// else reaches it.
bool IsKeyMemberText(std::string_view text) {
  const std::size_t end = text.find_last_not_of('=');
  const std::string_view digits = text.substr(0, end == std::string_view::npos ? 0 : end + 1);
  const std::size_t padding = text.size() - digits.size();
  if (!IsBase64UrlText(digits) || digits.size() % 4 == 1) return false;
  return padding == 0 || (padding <= 2 && text.size() % 4 == 0);
}

// The members cjose decodes when it reads an RSA or EC key.
constexpr std::array<const char*, 10> kKeyMembers{"n", "e", "d", "p", "q", "dp", "dq", "qi", "x", "y"};

bool HasReadableMembers(const Json& item) {
  return std::all_of(kKeyMembers.begin(), kKeyMembers.end(), [&](const char* name) {
    const auto member = item.find(name);
    return member == item.end() ||
           (member->is_string() && IsKeyMemberText(member->get_ref<const std::string&>()));
  });
}

// The three parts of a compact JWS, nothing for any other form.
struct CompactParts {
  std::string_view header, payload, signature;
};
std::optional<CompactParts> SplitCompact(std::string_view token) {
  const std::size_t first = token.find('.');
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t second = token.find('.', first + 1);
  if (second == std::string_view::npos || token.find('.', second + 1) != std::string_view::npos) {
    return std::nullopt;
  }
  CompactParts parts{token.substr(0, first), token.substr(first + 1, second - first - 1),
                     token.substr(second + 1)};
  if (parts.header.empty() || !IsBase64UrlText(parts.header) || !IsBase64UrlText(parts.payload) ||
      !IsBase64UrlText(parts.signature)) {
    return std::nullopt;
  }
  return parts;
}

}  // namespace

struct KeySet::Keys {
  struct Key {
    std::optional<std::string> kid;
    std::optional<std::string> alg;  // the one algorithm the key is for, when it says
    cjose_jwk_kty_t type{};
    int curve = 0;
    JwkHandle jwk;
  };
  std::vector<Key> keys;
  // cjose's keys count their users without atomics: one check at a time.
  std::mutex checking;

  bool Fits(const Key& key, const Algorithm& algorithm) const {
    return key.type == algorithm.type && key.curve == algorithm.curve &&
           (!key.alg || *key.alg == algorithm.name);
  }
  bool HasKid(std::string_view kid) const {
    return std::any_of(keys.begin(), keys.end(),
                       [&](const Key& key) { return key.kid && *key.kid == kid; });
  }
};

KeySet::KeySet() : keys_(std::make_unique<Keys>()) {}
KeySet::~KeySet() = default;
KeySet::KeySet(KeySet&&) noexcept = default;
KeySet& KeySet::operator=(KeySet&&) noexcept = default;

std::size_t KeySet::size() const { return keys_ ? keys_->keys.size() : 0; }

std::optional<JwsHeader> ReadJwsHeader(std::string_view token) {
  if (token.size() > kLargestToken) return std::nullopt;
  const std::optional<CompactParts> parts = SplitCompact(token);
  if (!parts) return std::nullopt;
  const std::optional<std::string> text = DecodeBase64Url(parts->header);
  if (!text) return std::nullopt;
  const Json header = Json::parse(*text, nullptr, false);
  if (header.is_discarded() || !header.is_object()) return std::nullopt;
  const auto alg = header.find("alg");
  if (alg == header.end() || !alg->is_string()) return std::nullopt;
  JwsHeader read;
  read.alg = alg->get<std::string>();
  const auto kid = header.find("kid");
  if (kid != header.end()) {
    if (!kid->is_string()) return std::nullopt;
    read.kid = kid->get<std::string>();
  }
  read.critical = header.contains("crit");
  return read;
}

bool KeySet::LacksKeyFor(std::string_view token) const {
  const std::optional<JwsHeader> header = ReadJwsHeader(token);
  if (!header) return false;
  const Algorithm* const algorithm = FindAlgorithm(header->alg);
  if (algorithm == nullptr) return false;
  if (header->kid) return !keys_->HasKid(*header->kid);
  return std::none_of(keys_->keys.begin(), keys_->keys.end(),
                      [&](const Keys::Key& key) { return keys_->Fits(key, *algorithm); });
}

std::string KeySet::VerifiedPayload(std::string_view token) const {
  if (token.size() > kLargestToken) {
    throw Refused("is longer than " + std::to_string(kLargestToken) + " bytes");
  }
  if (std::count(token.begin(), token.end(), '.') == 4) {
    throw Refused("is encrypted (JWE); only signed tokens are taken");
  }
  const std::optional<JwsHeader> header = ReadJwsHeader(token);
  if (!header) throw Refused("is no signed token in compact form");
  if (header->alg == "none") throw Refused("is unsigned (\"alg\": \"none\")");
  const Algorithm* const algorithm = FindAlgorithm(header->alg);
  if (algorithm == nullptr) {
    throw Refused("is signed with '" + QuoteProviderText(header->alg) +
                  "', which is not taken (RS, PS and ES algorithms are)");
  }
  if (header->critical) throw Refused("has \"crit\" extensions, which are not taken");
  if (token.substr(token.rfind('.') + 1).empty()) throw Refused("has no signature");

  std::vector<const Keys::Key*> candidates;
  for (const Keys::Key& key : keys_->keys) {
    if (header->kid && (!key.kid || *key.kid != *header->kid)) continue;
    if (keys_->Fits(key, *algorithm)) candidates.push_back(&key);
  }
  if (candidates.empty()) {
    if (header->kid && !keys_->HasKid(*header->kid)) {
      throw Refused("names the key '" + QuoteProviderText(*header->kid) +
                    "', which is not among the provider's keys");
    }
    throw Refused("is signed with " + std::string(algorithm->name) +
                  ", for which the provider has no key" +
                  (header->kid ? " '" + QuoteProviderText(*header->kid) + "'" : std::string()));
  }
  const std::lock_guard lock(keys_->checking);
  for (const Keys::Key* key : candidates) {
    cjose_err err{};
    // One import per key: a verified handle is not verified again.
    const JwsHandle jws(cjose_jws_import(token.data(), token.size(), &err));
    if (!jws) throw Refused("does not read as a signed token");
    // cjose picks the check by the header it read: it must be the one
    // checked above.
    const char* const alg =
        cjose_header_get(cjose_jws_get_protected(jws.get()), CJOSE_HDR_ALG, &err);
    if (alg == nullptr || std::string_view(alg) != algorithm->name) {
      throw Refused("has a header that reads two ways");
    }
    if (!cjose_jws_verify(jws.get(), key->jwk.get(), &err)) continue;
    std::uint8_t* plaintext = nullptr;
    std::size_t length = 0;
    if (!cjose_jws_get_plaintext(jws.get(), &plaintext, &length, &err)) {
      throw Refused("has no payload");
    }
    return std::string(reinterpret_cast<const char*>(plaintext), length);
  }
  throw Refused("has a signature that does not hold for the provider's keys");
}

KeySet ReadKeySet(std::string_view text) {
  const Json document = Json::parse(text, nullptr, false);
  if (document.is_discarded() || !document.is_object()) {
    throw Error("the OpenID provider's key set is no JSON object", ErrorKind::kUnavailable);
  }
  const auto list = document.find("keys");
  if (list == document.end() || !list->is_array()) {
    throw Error("the OpenID provider's key set has no \"keys\" list", ErrorKind::kUnavailable);
  }
  KeySet set;
  for (const Json& item : *list) {
    if (set.keys_->keys.size() == kMostKeys) break;
    if (!item.is_object()) continue;
    const auto kty = item.find("kty");
    if (kty == item.end() || !kty->is_string() || (*kty != "RSA" && *kty != "EC")) continue;
    const auto use = item.find("use");
    if (use != item.end() && *use != "sig") continue;
    KeySet::Keys::Key key;
    const auto kid = item.find("kid");
    if (kid != item.end()) {
      if (!kid->is_string()) continue;
      key.kid = kid->get<std::string>();
    }
    const auto alg = item.find("alg");
    if (alg != item.end()) {
      if (!alg->is_string() || FindAlgorithm(alg->get_ref<const std::string&>()) == nullptr) {
        continue;
      }
      key.alg = alg->get<std::string>();
    }
    if (!HasReadableMembers(item)) continue;
    const std::string json = item.dump();
    cjose_err err{};
    key.jwk.reset(cjose_jwk_import(json.data(), json.size(), &err));
    if (!key.jwk) continue;
    key.type = cjose_jwk_get_kty(key.jwk.get(), &err);
    if (key.type == CJOSE_JWK_KTY_RSA) {
      if (cjose_jwk_get_keysize(key.jwk.get(), &err) < kWeakestRsaBits) continue;
    } else if (key.type == CJOSE_JWK_KTY_EC) {
      key.curve = static_cast<int>(cjose_jwk_EC_get_curve(key.jwk.get(), &err));
      if (key.curve != CJOSE_JWK_EC_P_256 && key.curve != CJOSE_JWK_EC_P_384 &&
          key.curve != CJOSE_JWK_EC_P_521) {
        continue;
      }
    } else {
      continue;
    }
    set.keys_->keys.push_back(std::move(key));
  }
  if (set.size() == 0) {
    throw Error("the OpenID provider's key set holds no key for signatures this site takes",
                ErrorKind::kUnavailable);
  }
  return set;
}

}  // namespace ostrand::web::oidc
