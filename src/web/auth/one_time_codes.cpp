#include "web/auth/one_time_codes.h"

#include <liboath/oath.h>
#include <sodium.h>

#include <cstdlib>
#include <memory>

#include "core/error.h"
#include "core/sodium_start.h"
#include "web/auth/personal_tokens.h"
#include "web/auth/session_cookie.h"
#include "web/http/url.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kRecoveryAlphabet = "23456789abcdefghjkmnpqrstuvwxyz";
constexpr std::string_view kIssuer = "ostrand";
// The context of the key that seals secrets, derived from the server's key
// (crypto_kdf: exactly eight characters).
constexpr char kSealContext[crypto_kdf_CONTEXTBYTES + 1] = "2ndfactr";
constexpr std::uint64_t kSealKeyId = 1;

void StartOath() {
  static const int started = oath_init();
  if (started != OATH_OK) {
    throw Error("cannot start liboath: " + std::string(oath_strerror(started)));
  }
}

std::string AdditionalData(std::int64_t person_id) { return "person:" + std::to_string(person_id); }

}  // namespace

std::int64_t CodeStep(std::int64_t unix_time) {
  const std::int64_t step = unix_time / kCodeStepSeconds;
  return unix_time % kCodeStepSeconds < 0 ? step - 1 : step;
}

std::string CodeOfStep(std::string_view secret, std::int64_t step) {
  StartOath();
  std::array<char, kCodeDigits + 1> out{};
  const int result = oath_totp_generate2(secret.data(), secret.size(),
                                         static_cast<time_t>(step * kCodeStepSeconds),
                                         static_cast<unsigned>(kCodeStepSeconds), 0,
                                         static_cast<unsigned>(kCodeDigits), 0, out.data());
  if (result != OATH_OK) {
    throw Error("cannot compute a one-time code: " + std::string(oath_strerror(result)));
  }
  return std::string(out.data(), kCodeDigits);
}

std::optional<std::int64_t> MatchCode(std::string_view secret, std::string_view code,
                                      std::int64_t now, std::optional<std::int64_t> last_taken) {
  const std::int64_t current = CodeStep(now);
  std::optional<std::int64_t> matched;
  for (std::int64_t step = current - 1; step <= current + 1; ++step) {
    const bool same = SameText(CodeOfStep(secret, step), code);
    if (same && (!last_taken || step > *last_taken)) matched = step;
  }
  return matched;
}

std::optional<std::string> ReadOneTimeCode(std::string_view typed) {
  std::string digits;
  for (const char c : typed) {
    if (c == ' ' || c == '-') continue;
    if (c < '0' || c > '9' || digits.size() == kCodeDigits) return std::nullopt;
    digits += c;
  }
  if (digits.size() != kCodeDigits) return std::nullopt;
  return digits;
}

std::string NewCodeSecret() {
  StartSodium();
  std::string bytes(kCodeSecretBytes, '\0');
  randombytes_buf(bytes.data(), bytes.size());
  return bytes;
}

std::string Base32(std::string_view bytes) {
  StartOath();
  char* raw = nullptr;
  std::size_t length = 0;
  const int result = oath_base32_encode(bytes.data(), bytes.size(), &raw, &length);
  const std::unique_ptr<char, decltype(&std::free)> owned(raw, &std::free);
  if (result != OATH_OK || raw == nullptr) {
    throw Error("cannot write a secret in base32: " + std::string(oath_strerror(result)));
  }
  std::string text(raw, length);
  while (!text.empty() && text.back() == '=') text.pop_back();
  return text;
}

std::string OtpAuthUri(std::string_view account, std::string_view secret) {
  // The label's issuer and account are one path segment: a slash in a
  // name is written out too.
  std::string label;
  for (const char c : http::PercentEncode(account)) {
    if (c == '/') {
      label += "%2F";
    } else {
      label += c;
    }
  }
  std::string uri = "otpauth://totp/";
  uri += kIssuer;
  uri += ':';
  uri += label;
  uri += "?secret=";
  uri += Base32(secret);
  uri += "&issuer=";
  uri += kIssuer;
  uri += "&algorithm=SHA1&digits=" + std::to_string(kCodeDigits) +
         "&period=" + std::to_string(kCodeStepSeconds);
  return uri;
}

SecretSealer::SecretSealer(const SecretKey& server_key) {
  static_assert(std::tuple_size_v<SecretKey> == crypto_kdf_KEYBYTES);
  static_assert(sizeof(key_) == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);
  StartSodium();
  crypto_kdf_derive_from_key(key_.data(), key_.size(), kSealKeyId, kSealContext, server_key.data());
}

SecretSealer::~SecretSealer() { sodium_memzero(key_.data(), key_.size()); }

std::string SecretSealer::Seal(std::string_view secret, std::int64_t person_id) const {
  const std::string ad = AdditionalData(person_id);
  std::string box(crypto_aead_xchacha20poly1305_ietf_NPUBBYTES + secret.size() +
                      crypto_aead_xchacha20poly1305_ietf_ABYTES,
                  '\0');
  auto* nonce = reinterpret_cast<unsigned char*>(box.data());
  randombytes_buf(nonce, crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
  unsigned long long sealed_length = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(
      nonce + crypto_aead_xchacha20poly1305_ietf_NPUBBYTES, &sealed_length,
      reinterpret_cast<const unsigned char*>(secret.data()), secret.size(),
      reinterpret_cast<const unsigned char*>(ad.data()), ad.size(), nullptr, nonce, key_.data());
  return UrlSafeBase64(box);
}

std::optional<std::string> SecretSealer::Open(std::string_view sealed,
                                              std::int64_t person_id) const {
  std::string box(sealed.size(), '\0');
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(box.data()), box.size(), sealed.data(),
                        sealed.size(), nullptr, &length, &end,
                        sodium_base64_VARIANT_URLSAFE_NO_PADDING) != 0 ||
      end != sealed.data() + sealed.size() ||
      length < crypto_aead_xchacha20poly1305_ietf_NPUBBYTES +
                   crypto_aead_xchacha20poly1305_ietf_ABYTES) {
    return std::nullopt;
  }
  const auto* nonce = reinterpret_cast<const unsigned char*>(box.data());
  const std::size_t boxed = length - crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
  std::string secret(boxed - crypto_aead_xchacha20poly1305_ietf_ABYTES, '\0');
  unsigned long long opened = 0;
  const std::string ad = AdditionalData(person_id);
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(
          reinterpret_cast<unsigned char*>(secret.data()), &opened, nullptr,
          nonce + crypto_aead_xchacha20poly1305_ietf_NPUBBYTES, boxed,
          reinterpret_cast<const unsigned char*>(ad.data()), ad.size(), nonce, key_.data()) != 0) {
    return std::nullopt;
  }
  secret.resize(opened);
  return secret;
}

std::vector<std::string> NewRecoveryCodes() {
  StartSodium();
  std::vector<std::string> codes;
  codes.reserve(kRecoveryCodeCount);
  for (std::size_t i = 0; i < kRecoveryCodeCount; ++i) {
    std::string code;
    for (std::size_t c = 0; c < kRecoveryCodeLength; ++c) {
      if (c > 0 && c % 4 == 0) code += '-';
      code += kRecoveryAlphabet[randombytes_uniform(
          static_cast<std::uint32_t>(kRecoveryAlphabet.size()))];
    }
    codes.push_back(std::move(code));
  }
  return codes;
}

std::optional<std::string> ReadRecoveryCode(std::string_view typed) {
  std::string code;
  for (char c : typed) {
    if (c == ' ' || c == '-') continue;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (kRecoveryAlphabet.find(c) == std::string_view::npos || code.size() == kRecoveryCodeLength) {
      return std::nullopt;
    }
    code += c;
  }
  if (code.size() != kRecoveryCodeLength) return std::nullopt;
  return code;
}

std::string RecoveryCodeHash(std::int64_t person_id, std::string_view code) {
  return TokenHash(std::to_string(person_id) + ":" + std::string(code));
}

}  // namespace ostrand::web
