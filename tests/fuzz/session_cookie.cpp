// The session cookie, the device cookie, the pending sign-in's cookie and
// the sign-in token as a browser may send them: any value either opens as
// signed with the server's key (or checks as a token) or is none, without
// failing.
// A value sealed by the server opens again with the same items.
#include <nlohmann/json.hpp>

#include "core/value.h"
#include "fuzz_check.h"
#include "host/memory_context.h"
#include "web/auth/session_cookie.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ostrand::web::SecretKey key = [] {
    ostrand::web::SecretKey k{};
    for (std::size_t i = 0; i < k.size(); ++i) k[i] = static_cast<unsigned char>(i * 7 + 1);
    return k;
  }();
  static const ostrand::web::SessionSigner signer(key);
  const std::string_view text = ostrand::fuzz::AsText(data, size);

  (void)signer.Open(text, 1000);
  (void)signer.CheckSignInToken(text, 1000, 3600);
  (void)signer.OpenDevice(text, 1000);
  (void)signer.OpenPending(text, 1000);

  // The input as the page a pending sign-in goes on to.
  const std::optional<ostrand::web::PendingSignIn> pending =
      signer.OpenPending(signer.SealPending({2, {3, 4}, std::string(text), "id", 2000}), 1000);
  Check(pending && pending->person == 2 && pending->generation.all == 4 && pending->id == "id",
        "a sealed pending sign-in opens");
  Check(!signer.Open(signer.SealPending({2, {3, 4}, std::string(text), "id", 2000}), 1000),
        "a pending sign-in is no session");

  // The input as the account of a device cookie.
  if (!text.empty()) {
    const std::optional<ostrand::web::DeviceCookie> device =
        signer.OpenDevice(signer.SealDevice({std::string(text), "id", 2000}), 1000);
    Check(device && device->account == text && device->id == "id",
          "a sealed device cookie opens with its account");
  }

  // The input as the text of an item (as "strURL" holds a request path).
  ostrand::host::MemorySession items;
  items.Set("strURL", ostrand::Value::Text(std::string(text)));
  const std::optional<ostrand::web::OpenedSession> opened =
      signer.Open(signer.Seal(items, 2000), 1000);
  Check(opened.has_value(), "a sealed session opens");
  bool utf8 = true;
  try {
    (void)nlohmann::json(std::string(text)).dump();
  } catch (const nlohmann::json::type_error&) {
    utf8 = false;  // such bytes are replaced
  }
  if (!text.empty() && utf8) {
    Check(opened->items->Get("strURL") == ostrand::Value::Text(std::string(text)),
          "a sealed text item comes back");
  }
  return 0;
}
