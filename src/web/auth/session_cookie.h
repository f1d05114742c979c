// The signed-in session lives entirely in a cookie: the Session items
// ("personID", "systemID", "rnd", "strURL"), an expiry time and the session
// generations it was issued under, serialised as JSON and signed with the
// server secret (HMAC through libsodium's crypto_auth). There is no session
// store on the server; a cookie whose signature does not hold, or whose
// time has run out, is no session, and the server compares the generations
// with the database's on every request (accounts.h).
//
// The same key also derives the CSRF token of a session from its "rnd"
// item, and signs the token of the sign-in form, so forms need no
// server-side state either.
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

// The generations a session is issued under: the person's and the
// host-wide one. Raising either in the database ends the session.
struct SessionGeneration {
  std::int64_t person = 0;
  std::int64_t all = 0;
  friend bool operator==(const SessionGeneration&, const SessionGeneration&) = default;
};

// What a device cookie says: the browser holding it signed in to `account`
// (SignInTarget::account_key) before; `id` tells that browser's cookie
// from others of the same account.
struct DeviceCookie {
  std::string account;
  std::string id;
  std::int64_t expires = 0;  // seconds since the Unix epoch
};

// A sign-in whose password was right, waiting for its second step (the
// one-time code, pages/signin_flow.h): who, under which session
// generation, the page to open afterwards, and a random id that the code's
// form carries back, so that no other site can post it.
struct PendingSignIn {
  std::int64_t person = 0;
  SessionGeneration generation;
  std::string next;
  std::string id;
  std::int64_t expires = 0;  // seconds since the Unix epoch
};

struct OpenedSession {
  std::shared_ptr<host::MemorySession> items;
  std::int64_t expires = 0;  // seconds since the Unix epoch
  SessionGeneration generation;  // {0, 0} for a cookie made before generations
};

class SessionSigner {
 public:
  explicit SessionSigner(const SecretKey& key);
  ~SessionSigner();
  SessionSigner(const SessionSigner&) = delete;
  SessionSigner& operator=(const SessionSigner&) = delete;

  // The cookie value for the items, valid until `expires`. Items keep their
  // kind as far as JSON can: numbers, text, booleans and null; a date is
  // kept as its text, empty items are left out; bytes of a text that are no
  // UTF-8 become U+FFFD. Throws Error for an item that holds an object.
  std::string Seal(const host::MemorySession& items, std::int64_t expires,
                   const SessionGeneration& generation = {}) const;

  // The items of a cookie value whose signature holds and whose expiry lies
  // after `now`; nothing for anything else (tampered, truncated, expired or
  // malformed values alike). A browser sends the same cookie with every
  // request: the values opened last are remembered (a bounded number of
  // them), so a cookie seen before is neither verified nor parsed again.
  // Thread-safe.
  std::optional<OpenedSession> Open(std::string_view cookie_value, std::int64_t now) const;

  // The CSRF token of a session with that "rnd" item. Pages send it only
  // masked (MaskCsrfToken).
  std::string CsrfToken(std::string_view rnd) const;
  // Whether `token` is the CSRF token of that "rnd", masked or as it is
  // (CsrfTokenHolds).
  bool CheckCsrfToken(std::string_view rnd, std::string_view token) const;

  // A fresh token for the sign-in form and its cookie, issued at `now`:
  // random, stamped with the time and signed, so that only a server holding
  // this key can have made it.
  std::string SignInToken(std::int64_t now) const;
  // Whether `token` is a SignInToken of this key issued within `lifetime`
  // seconds before `now` (or up to a minute after it: servers sharing the key
  // may disagree on the clock a little).
  bool CheckSignInToken(std::string_view token, std::int64_t now, std::int64_t lifetime) const;

  // The value of the cookie of a sign-in waiting for its second step
  // (cookie-safe characters), signed so that only a server holding this
  // key can have made it; no session cookie, device cookie or token opens
  // as one, nor the other way round. Bytes of `next` that are no UTF-8
  // become U+FFFD (it is a checked local page, which has none).
  std::string SealPending(const PendingSignIn& pending) const;
  // What such a value says when its signature holds and it expires after
  // `now`; nothing for anything else.
  std::optional<PendingSignIn> OpenPending(std::string_view value, std::int64_t now) const;

  // The value of a device cookie (cookie-safe characters), signed so that
  // only a server holding this key can have made it.
  std::string SealDevice(const DeviceCookie& device) const;
  // What a device cookie value says when its signature holds and it
  // expires after `now`; nothing for anything else.
  std::optional<DeviceCookie> OpenDevice(std::string_view value, std::int64_t now) const;

  // A value (cookie-safe characters) that carries `data` until `expires`,
  // signed for `purpose`, so that a value made for one purpose never opens
  // for another, nor as any of the values above. `purpose` is a short
  // fixed word of the caller's.
  std::string SealData(std::string_view purpose, std::string_view data, std::int64_t expires) const;
  // The data of a SealData value of that purpose whose signature holds and
  // which expires after `now`; nothing for anything else.
  std::optional<std::string> OpenData(std::string_view purpose, std::string_view value,
                                      std::int64_t now) const;

 private:
  std::string Tag(std::string_view purpose, std::string_view data) const;

  // The HMAC state after the key: every tag starts from a copy, so that the
  // key's two hash blocks are computed once per process, not per tag.
  crypto_auth_hmacsha512256_state keyed_{};
  struct OpenedCookies;
  std::unique_ptr<OpenedCookies> opened_;
};

// Name of the cookie that marks a browser which signed in before.
inline constexpr std::string_view kDeviceCookieName = "ostrand_device";

// A fresh random token: 16 random bytes in URL-safe base64 (no padding).
std::string RandomToken();

// The bytes in URL-safe base64 without padding (A-Z a-z 0-9 - _).
std::string UrlSafeBase64(std::string_view bytes);

// Whether two texts are equal, in time that depends only on their length.
bool SameText(std::string_view a, std::string_view b);

// The CSRF token `token` (a CsrfToken) as one answer's forms carry it: a
// fresh random mask as long as the token's bytes, then the bytes XOR the
// mask, in URL-safe base64. Every answer so shows other bytes for the same
// token, and a compressed page's length tells nothing about it, whatever
// text beside it a visitor chose. Throws Error when `token` is no base64.
std::string MaskCsrfToken(std::string_view token);

// Whether `sent` (a form's field) is the CSRF token `token`, masked by
// MaskCsrfToken or as it is (pages opened before tokens were masked carry
// it plain); constant-time in the bytes compared. False for anything else,
// an empty token included.
bool CsrfTokenHolds(std::string_view token, std::string_view sent);

}  // namespace ostrand::web
