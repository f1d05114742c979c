// The signed-in session lives entirely in a cookie: the Session items
// ("personID", "systemID", "rnd", "strURL") and an expiry time, serialised
// as JSON and signed with the server secret (HMAC through libsodium's
// crypto_auth). There is no session store on the server; a cookie whose
// signature does not hold, or whose time has run out, is no session.
//
// The same key also derives the CSRF token of a session from its "rnd"
// item, so forms need no server-side state either.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/memory_context.h"
#include "web/auth/server_secret.h"

namespace ostrand::web {

// Name of the session cookie.
inline constexpr std::string_view kSessionCookieName = "ostrand_session";

struct OpenedSession {
  std::shared_ptr<host::MemorySession> items;
  std::int64_t expires = 0;  // seconds since the Unix epoch
};

class SessionSigner {
 public:
  explicit SessionSigner(const SecretKey& key) : key_(key) {}

  // The cookie value for the items, valid until `expires`. Items keep their
  // kind as far as JSON can: numbers, text, booleans and null; a date is
  // kept as its text, empty items are left out; bytes of a text that are no
  // UTF-8 become U+FFFD. Throws Error for an item that holds an object.
  std::string Seal(const host::MemorySession& items, std::int64_t expires) const;

  // The items of a cookie value whose signature holds and whose expiry lies
  // after `now`; nothing for anything else (tampered, truncated, expired or
  // malformed values alike).
  std::optional<OpenedSession> Open(std::string_view cookie_value, std::int64_t now) const;

  // The CSRF token of a session with that "rnd" item.
  std::string CsrfToken(std::string_view rnd) const;
  // Whether `token` is the CSRF token of that "rnd" (constant-time compare).
  bool CheckCsrfToken(std::string_view rnd, std::string_view token) const;

 private:
  std::string Tag(std::string_view purpose, std::string_view data) const;

  SecretKey key_;
};

// A fresh random token: 16 random bytes in URL-safe base64 (no padding).
std::string RandomToken();

// Whether two texts are equal, in time that depends only on their length.
bool SameText(std::string_view a, std::string_view b);

}  // namespace ostrand::web
