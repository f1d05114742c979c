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
#include "web/pages/page_request.h"

namespace ostrand::web {

// The message of every failed sign-in, whatever went wrong.
inline constexpr std::string_view kSignInFailed = "人员或密码不正确。";
// The message of a sign-in turned away because too many are being checked.
inline constexpr std::string_view kSignInBusy = "登录的人太多，请稍后再试。";

// The status and message of a sign-in that did not sign in: 403 and
// kSignInFailed for a wrong person or password, 429 naming the seconds to
// wait for a throttled one, 503 and kSignInBusy when the checks are full.
std::pair<int, std::string> SignInRefusal(const SignInOutcome& outcome);

// The sign-in page; `message` (may be empty) is shown above the form, and
// `person` is put back into its field.
std::string SignInPage(std::string_view signin_token, std::string_view next,
                       std::string_view person, std::string_view message);

// A page with the sign-out button for a signed-in visitor.
std::string SignOutPage(const Visitor& visitor);

// /logout: GET shows the sign-out page, POST (`confirmed`, its CSRF token
// checked by the caller) ends the session and leads to the sign-in.
PageReply SignOut(PageRequest& request, bool confirmed);

// `next` when it is a page of this host (a path under /schedule/), else
// the month page. Keeps sign-in from sending a browser to another site.
std::string SafeNextPage(std::string_view next);

}  // namespace ostrand::web
