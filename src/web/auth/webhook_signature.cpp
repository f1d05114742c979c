#include "web/auth/webhook_signature.h"

#include <array>
#include <optional>
#include <vector>

#include "core/error.h"
#include "core/sodium_start.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kPrefix = "whsec_";
constexpr std::size_t kFewestKeyBytes = 16;
constexpr std::size_t kMostKeyBytes = 64;

std::string Base64(const unsigned char* bytes, std::size_t size) {
  std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
  text.resize(text.size() - 1);  // the terminating NUL
  return text;
}

// The key a secret stands for, or nothing when it is none.
std::optional<std::vector<unsigned char>> KeyOf(std::string_view secret) {
  StartSodium();
  if (secret.substr(0, kPrefix.size()) == kPrefix) secret.remove_prefix(kPrefix.size());
  if (secret.empty() || secret.size() > 2 * kMostKeyBytes) return std::nullopt;
  std::vector<unsigned char> key(kMostKeyBytes);
  std::size_t size = 0;
  const char* end = nullptr;
  if (sodium_base642bin(key.data(), key.size(), secret.data(), secret.size(), nullptr, &size,
                        &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != secret.data() + secret.size() || size < kFewestKeyBytes) {
    return std::nullopt;
  }
  key.resize(size);
  return key;
}

}  // namespace

std::string NewWebhookSecret() {
  StartSodium();
  std::array<unsigned char, 24> key{};
  randombytes_buf(key.data(), key.size());
  std::string secret(kPrefix);
  secret += Base64(key.data(), key.size());
  sodium_memzero(key.data(), key.size());
  return secret;
}

bool IsWebhookSecret(std::string_view secret) { return KeyOf(secret).has_value(); }

std::string SignWebhook(std::string_view secret, std::string_view id, std::int64_t timestamp,
                        std::string_view body) {
  std::optional<std::vector<unsigned char>> key = KeyOf(secret);
  if (!key) throw Error("the webhook secret is not \"whsec_\" and base64 of 16 to 64 bytes");
  const std::string stamp = std::to_string(timestamp);
  crypto_auth_hmacsha256_state state;
  crypto_auth_hmacsha256_init(&state, key->data(), key->size());
  const auto add = [&state](std::string_view part) {
    crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(part.data()),
                                  part.size());
  };
  add(id);
  add(".");
  add(stamp);
  add(".");
  add(body);
  std::array<unsigned char, crypto_auth_hmacsha256_BYTES> mac{};
  crypto_auth_hmacsha256_final(&state, mac.data());
  sodium_memzero(key->data(), key->size());
  return "v1," + Base64(mac.data(), mac.size());
}

}  // namespace ostrand::web
