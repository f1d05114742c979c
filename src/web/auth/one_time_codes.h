// The second factor's codes, as plain functions and one sealer:
//   - one-time codes (RFC 6238: HMAC-SHA1 over 30-second steps, 6 digits),
//     computed by liboath, accepted within one step either side of now and
//     only for a step after the last one taken, so that no code works twice;
//   - the 20-byte secret behind them, in base32 for typing, in the
//     otpauth://totp/ address an authenticator app reads from a QR code, and
//     sealed for the database (SecretSealer) under a key derived from the
//     server's secret, bound to the person it belongs to;
//   - the ten one-use recovery codes that stand in for a lost phone: random
//     text of a readable alphabet, of which the database keeps only a hash.
// Nothing here touches the database; second_factor.h does.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/auth/server_secret.h"

namespace ostrand::web {

inline constexpr std::int64_t kCodeStepSeconds = 30;
inline constexpr std::size_t kCodeDigits = 6;
inline constexpr std::size_t kCodeSecretBytes = 20;
// How many recovery codes a person gets at once, and the characters of one
// (without the hyphens that group them by four).
inline constexpr std::size_t kRecoveryCodeCount = 10;
inline constexpr std::size_t kRecoveryCodeLength = 12;

// The time step of a Unix time: floor(t / 30).
std::int64_t CodeStep(std::int64_t unix_time);

// The code of `secret` (its raw bytes) for `step`, kCodeDigits digits.
// Throws Error when liboath refuses.
std::string CodeOfStep(std::string_view secret, std::int64_t step);

// The step whose code `code` (six digits, ReadOneTimeCode) is, among the
// step of `now` (Unix seconds) and the one either side, counting only
// steps after `last_taken`; the latest when two match. Nothing when none
// matches. Every code of the window is computed and compared in constant
// time, whatever matches. Throws Error when liboath refuses.
std::optional<std::int64_t> MatchCode(std::string_view secret, std::string_view code,
                                      std::int64_t now, std::optional<std::int64_t> last_taken);

// The six digits of a code as typed (spaces and a middle hyphen, as apps
// show it, are dropped); nothing unless exactly six ASCII digits remain.
std::optional<std::string> ReadOneTimeCode(std::string_view typed);

// A fresh secret of kCodeSecretBytes random bytes. Throws Error when
// libsodium cannot start.
std::string NewCodeSecret();

// The bytes in base32 (RFC 4648 alphabet, upper case, without padding),
// the form authenticator apps take typed in.
std::string Base32(std::string_view bytes);

// The address an authenticator app reads from the QR code:
// otpauth://totp/ostrand:ACCOUNT?secret=...&issuer=ostrand&algorithm=SHA1
// &digits=6&period=30, the account name percent-encoded.
std::string OtpAuthUri(std::string_view account, std::string_view secret);

// Seals secrets for the database and opens them again: XChaCha20-Poly1305
// (libsodium) under a key derived from the server's secret, with the
// person's id as associated data, so that a sealed secret copied to
// another person's row opens for nobody. Another server secret opens
// nothing: such a person enrols again or uses a recovery code.
class SecretSealer {
 public:
  // Throws Error when libsodium cannot start.
  explicit SecretSealer(const SecretKey& server_key);
  ~SecretSealer();
  SecretSealer(const SecretSealer&) = delete;
  SecretSealer& operator=(const SecretSealer&) = delete;

  // The secret sealed for the person: URL-safe base64 of nonce and box.
  std::string Seal(std::string_view secret, std::int64_t person_id) const;
  // The secret, or nothing when `sealed` is not one this key sealed for
  // that person (another key, another person, damaged text).
  std::optional<std::string> Open(std::string_view sealed, std::int64_t person_id) const;

 private:
  std::array<unsigned char, 32> key_{};
};

// kRecoveryCodeCount fresh recovery codes, each kRecoveryCodeLength
// characters of "23456789abcdefghjkmnpqrstuvwxyz" (no 0/o, 1/l/i) in groups
// of four joined by hyphens ("k7m2-x9qa-4hfd"): about 59 bits each. Throws
// Error when libsodium cannot start.
std::vector<std::string> NewRecoveryCodes();

// A recovery code as typed, in the form its hash is taken of: lower case,
// spaces and hyphens dropped; nothing unless kRecoveryCodeLength
// characters of the alphabet remain.
std::optional<std::string> ReadRecoveryCode(std::string_view typed);

// What the database keeps of the person's recovery code (as
// ReadRecoveryCode gives it): the hex SHA-256 of the person's id, a colon
// and the code. The codes are random, so a fast hash is enough; the id
// keeps one guess from being tried against every person's codes at once.
// The server's secret is not in it: recovery codes still work after the
// secret changed, when the sealed secrets no longer open.
std::string RecoveryCodeHash(std::int64_t person_id, std::string_view code);

}  // namespace ostrand::web
