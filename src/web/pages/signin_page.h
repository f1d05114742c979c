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

namespace ostrand::web {

// The status and message, in the language, of a sign-in that did not sign
// in: 403 and kSignInFailed for a wrong person or password (the same
// whatever was wrong), 429 and kSignInThrottled naming the seconds to wait
// for a throttled one, 503 and kSignInBusy when the checks are full.
std::pair<int, std::string> SignInRefusal(Language language, const SignInOutcome& outcome);

// The sign-in page in the language; `message` (may be empty) is shown
// above the form, and `person` is put back into its field.
std::string SignInPage(Language language, std::string_view signin_token, std::string_view next,
                       std::string_view person, std::string_view message);

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
