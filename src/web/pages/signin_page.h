// The sign-in form at /login and the sign-out confirmation at /logout.
//
// The form posts the fields "person" (a person id or the exact name),
// "password", "next" (the local page to open afterwards) and "signin" (a
// token signed with the server's key that must equal the sign-in cookie set
// with the form, so that no other site can sign a browser in behind its
// back).
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "web/auth/signin_gate.h"
#include "web/auth/visitor.h"
#include "web/i18n/messages.h"
#include "web/pages/page_request.h"
#include "web/site/server_options.h"

namespace ostrand::web {

// The status and message, in the language, of a sign-in that did not sign
// in: 403 and kSignInFailed for a wrong person or password (the same
// whatever was wrong), 429 and kSignInThrottled naming the seconds to wait
// for a throttled one, 503 and kSignInBusy when the checks are full, 503
// and kSignInDirectoryDown when the directory cannot be asked.
std::pair<int, std::string> SignInRefusal(Language language, const SignInOutcome& outcome);

// The ways a sign-in page offers besides (or instead of) the password form.
struct SignInOffer {
  // The name of the OpenID provider on its button ("Sign in with <name>");
  // empty: no button.
  std::string provider;
  // Whether the page has the password form (serve --no-local-passwords
  // leaves only the provider's button).
  bool passwords = true;
};

// What the sign-in pages of a server with these options offer: the
// provider's button when one is configured (named by its display name,
// else its issuer's host), and the form unless local passwords are off.
SignInOffer SignInOfferOf(const ServerOptions& options);

// The sign-in page in the language; `message` (may be empty) is shown
// above the form, and `person` is put back into its field. The provider's
// button of `offer` leads to /login/oidc with the same `next`.
std::string SignInPage(Language language, std::string_view signin_token, std::string_view next,
                       std::string_view person, std::string_view message,
                       const SignInOffer& offer = {});

// The form of a sign-in's second step at /login/code in the language: the
// field "code" and the hidden "pending" (the pending cookie's id), with
// `message` (may be empty) above it.
std::string CodePage(Language language, std::string_view pending_id, std::string_view message);

// A page with the sign-out button for a signed-in visitor.
std::string SignOutPage(Language language, const Visitor& visitor, std::string_view here);

// /logout: GET shows the sign-out page, POST (`confirmed`, its CSRF token
// checked by the caller) ends the session and leads to the sign-in.
PageReply SignOut(PageRequest& request, bool confirmed);

// Whether a redirect may carry `target` as it is: valid UTF-8 without a
// control character (C0, tab included, DEL, C1) or a backslash, which
// browsers would drop or read as a slash, and which a header cannot carry.
bool IsCleanTarget(std::string_view target);

// `next` when it is a page of this host (a path under /schedule/) and
// IsCleanTarget, else the month page. Keeps sign-in from sending a browser
// to another site.
std::string SafeNextPage(std::string_view next);

}  // namespace ostrand::web
