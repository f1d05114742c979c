// The account page at /account, for every signed-in person: change one's
// own password (the form posts to the password flow, account_flow.h, which
// hashes on the sign-in's hash pool), see where one is signed in and end
// one session or all others, and see and end one's personal tokens (a new
// calendar feed address, the API token revoked; personal_tokens.h, as the
// subscribe page does), and set one's mail address, the language of the
// mails and which mails one gets (web/data/mail_settings.h: when someone
// else changes one's plans; a leader also the weekly summary and the
// daily list of who is away). Every change is an audit row.
//
// POST fields: csrf (checked by the page runner) and action: "password"
// (current, password, repeat: account_flow.h), "end-session" (session: the
// key of one of one's own sessions), "end-others", "reset-feed",
// "revoke-api-token", "mail" (mail_address, empty to remove it;
// mail_language; mail_choice repeated, each one of kMailChoices). An
// address that is no mail address answers the page again (400) with the
// message and what was posted; choices without an address are kept, and
// the page says that mails need one.
#pragma once

#include <optional>
#include <string>

#include "web/auth/password_rules.h"
#include "web/data/audit_log.h"
#include "web/i18n/messages.h"
#include "web/pages/page_request.h"

namespace ostrand::web {

// The page; `problem` (with its status) when a password change was
// refused.
PageReply ShowAccount(PageRequest& request);
PageReply AccountPage(PageRequest& request, std::optional<std::string> problem, int status);

// Carries out every action but "password", then returns to the page (303)
// with a notice. Throws HttpError 400 for an unknown action or mail
// choice, 403 for a leader's mail asked by a person who leads nothing,
// 404 for a session key that is not one of the visitor's open sessions.
PageReply SubmitAccount(PageRequest& request);

// The message that refuses a new password (and its repetition) for the
// person, in the language; nothing when it may be used.
std::optional<std::string> RefuseNewPassword(Language language, std::string_view password,
                                             std::string_view repeat, const Person& person);

// An audit row of the visitor's own action on his or her account, now.
AuditRecord OwnAudit(const PageRequest& request, std::string_view kind, std::string_view detail);

}  // namespace ostrand::web
