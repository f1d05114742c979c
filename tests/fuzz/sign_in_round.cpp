// The text of a sign-in's round cookie as it comes back from a browser:
// any text reads as a round or as none, without failing; a round that
// reads writes back to a text that reads as the same round.
#include "web/oidc/sign_in_round.h"
#include "fuzz_check.h"

using ostrand::fuzz::Check;
using ostrand::web::oidc::ReadSignInRound;
using ostrand::web::oidc::SignInRound;
using ostrand::web::oidc::WriteSignInRound;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::optional<SignInRound> round = ReadSignInRound(ostrand::fuzz::AsText(data, size));
  if (!round) return 0;
  const std::optional<SignInRound> again = ReadSignInRound(WriteSignInRound(*round));
  Check(again && again->state == round->state && again->nonce == round->nonce &&
            again->code_verifier == round->code_verifier &&
            again->redirect_uri == round->redirect_uri && again->next == round->next,
        "a round that reads writes back to the same round");
  return 0;
}
