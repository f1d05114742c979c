// Invitations: how a person gets (back) into the site without anyone
// typing a password for him or her. An administrator makes one; its link
// carries a token of 32 random bytes (URL-safe base64, the form of
// personal_tokens.h), of which the database keeps only the SHA-256, as the
// person's hostToken of purpose "invite": one per person (a new one
// replaces the old), used once, for kInvitationLifetime after it was made.
// The token is unguessable and only the server can tell a live one, so no
// signature is added. Using it sets the person's password, which ends
// every session of the person; a password from before works until then.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/date.h"
#include "store/connection.h"
#include "web/data/persons.h"

namespace ostrand::web {

inline constexpr std::string_view kInvitationPurpose = "invite";
// How long an invitation can be used after it was made, in days.
inline constexpr int kInvitationDays = 7;

// A new invitation for the person, replacing any before, made `now`: the
// token for the link, shown once. Runs inside the caller's transaction
// (which the caller holds). Throws Error naming the id when there is no
// such person, and the database's Error.
std::string MakeInvitation(store::Connection& db, std::int64_t person_id, const DateTime& now);

// The person a token from outside invites, when it has the form of a
// token, is a live invitation and has not expired at `now`; nothing for
// anything else, with no word on which. Throws the database's Error.
std::optional<Person> OpenInvitation(store::Connection& db, std::string_view token,
                                     const DateTime& now);

// Uses the invitation: removes it and stores the person's new password
// hash (raising the person's session generation), inside the caller's
// transaction; false, with nothing changed, when the token is no longer
// the person's invitation (used or replaced meanwhile). The caller checks
// the token with OpenInvitation first.
bool AcceptInvitation(store::Connection& db, std::int64_t person_id, std::string_view token,
                      const std::string& password_hash);

}  // namespace ostrand::web
