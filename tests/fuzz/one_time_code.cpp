// The code of a sign-in's second step as typed: a one-time code or a
// recovery code, or neither, without failing. A code that reads is six
// ASCII digits; a recovery code that reads is twelve characters of its
// alphabet and reads again as itself. The input as the account of an
// otpauth:// address gives an address without spaces or controls.
#include <string>

#include "fuzz_check.h"
#include "web/auth/one_time_codes.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);

  if (const std::optional<std::string> code = ostrand::web::ReadOneTimeCode(text)) {
    Check(code->size() == ostrand::web::kCodeDigits, "a code has six characters");
    for (const char c : *code) Check(c >= '0' && c <= '9', "a code is digits");
  }
  if (const std::optional<std::string> recovery = ostrand::web::ReadRecoveryCode(text)) {
    Check(recovery->size() == ostrand::web::kRecoveryCodeLength, "a recovery code's length");
    Check(ostrand::web::ReadRecoveryCode(*recovery) == recovery, "a recovery code reads as itself");
  }
  const std::string uri = ostrand::web::OtpAuthUri(text, "12345678901234567890");
  for (const char c : uri) {
    Check(c > ' ' && c < 0x7f, "an otpauth address is printable ASCII");
  }
  return 0;
}
