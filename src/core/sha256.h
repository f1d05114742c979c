// SHA-256 with libsodium: the one place that hashes with it, for the keys
// and hashes the host stores (tokens, identities, sessions) and the hashes
// the pages' content policy names. Header-only, like sodium_start.h, so
// that only the libraries that call it link libsodium.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/hex.h"
#include "core/sodium_start.h"

namespace ostrand {

using Sha256Digest = std::array<unsigned char, crypto_hash_sha256_BYTES>;

// The digest of the bytes of `text`. Throws Error when libsodium cannot
// start.
inline Sha256Digest Sha256(std::string_view text) {
  StartSodium();
  Sha256Digest digest{};
  crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(text.data()),
                     text.size());
  return digest;
}

// The digest as 64 lower-case hex digits. Throws as Sha256.
inline std::string Sha256Hex(std::string_view text) {
  return HexText(Sha256(text), HexCase::kLower);
}

}  // namespace ostrand
