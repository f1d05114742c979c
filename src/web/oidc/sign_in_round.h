// What a browser carries through one sign-in at the OpenID provider: the
// `state`, `nonce` and PKCE code verifier made for it, the address the
// provider answers to, and the local page to open afterwards. It lives in
// a short-lived cookie signed with the server's key (oidc_flow.h), so
// these functions only write and read its text; reading never trusts it
// beyond its form. Plain functions on text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrand::web::oidc {

struct SignInRound {
  std::string state;
  std::string nonce;
  std::string code_verifier;
  std::string redirect_uri;
  std::string next;  // a local page (pages/signin_page.h SafeNextPage)
};

// The longest text of a round that is read (a cookie is smaller anyway).
inline constexpr std::size_t kSignInRoundLimit = 3000;

// The round as one line of text: its fields in the order above, each
// ended by a line break. A field holding a line break cannot be written:
// the secrets are URL-safe and the addresses clean (IsCleanTarget), so it
// throws Error (kInternal) naming the field when one does.
std::string WriteSignInRound(const SignInRound& round);

// The round of a text WriteSignInRound wrote: five fields, the secrets
// non-empty and of URL-safe characters (A-Z a-z 0-9 - . _ ~), the
// redirect address an http(s) address, `next` passed through SafeNextPage.
// Nothing for anything else, or a text longer than kSignInRoundLimit.
std::optional<SignInRound> ReadSignInRound(std::string_view text);

}  // namespace ostrand::web::oidc
