// The server secret that signs session cookies and CSRF tokens. Every
// `ostrand serve` process that shares the secret file accepts the others'
// cookies, so several processes behind one address need nothing else in
// common but the database.
#pragma once

#include <sodium.h>

#include <array>
#include <string>

namespace ostrand::web {

using SecretKey = std::array<unsigned char, crypto_auth_KEYBYTES>;

// The key derived from the secret file at `path` (any content of at least
// 32 bytes; the key is a hash of it). When the file does not exist and
// `create` holds, 32 random bytes are written into it first as hex, with
// mode 0600, creating its directory. Throws Error naming the path when the
// file cannot be read or made, or holds fewer than 32 bytes.
SecretKey LoadSecret(const std::string& path, bool create);

// A fresh random key, for tests and one-off servers.
SecretKey RandomSecret();

}  // namespace ostrand::web
