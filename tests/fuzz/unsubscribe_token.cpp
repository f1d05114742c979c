// The unsubscribe link's token: whatever is sent, it opens only when this
// key sealed it for unsubscribing, and what its data says reads back as
// exactly that data.
#include <string>

#include "fuzz_check.h"
#include "web/auth/session_cookie.h"
#include "web/notify/unsubscribe.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = ostrand::fuzz::AsText(data, size);
  if (const auto what = ostrand::web::notify::ReadUnsubscription(input)) {
    Check(what->person_id > 0, "a person id above 0");
    const std::string back = std::to_string(what->person_id) + ":" + what->choice;
    Check(ostrand::web::notify::ReadUnsubscription(back) == what,
          "what the data says reads back the same");
    Check(input.ends_with(":" + what->choice), "the choice is the data's whole end");
  }
  static const ostrand::web::SecretKey key = [] {
    ostrand::web::SecretKey k{};
    k.fill(7);
    return k;
  }();
  static const ostrand::web::SessionSigner signer(key);
  // Sent text opens only when this key sealed it for unsubscribing.
  static_cast<void>(ostrand::web::notify::OpenUnsubscribeToken(signer, input, 0));
  const std::string sealed = signer.SealData("unsubscribe", input, 100);
  const auto opened = ostrand::web::notify::OpenUnsubscribeToken(signer, sealed, 50);
  Check(opened.has_value() == ostrand::web::notify::ReadUnsubscription(input).has_value(),
        "a sealed token opens exactly when its data reads");
  return 0;
}
