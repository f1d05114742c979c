// The session behind every request but the sign-in: the visitor a session
// cookie names, and the cookie that renews it. The sign-in at /login that
// sets it is pages/signin_flow.h.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "store/connection.h"
#include "web/auth/session_cookie.h"
#include "web/auth/visitor.h"
#include "web/http/request.h"

namespace ostrand::web {

// Seconds since the Unix epoch, now.
std::int64_t UnixNow();

// The signed-in visitor of the request: the session cookie opened with the
// signer and the person read from the database as it is now. Nothing when
// the request carries no valid, unexpired session, the person no longer
// exists, or the session has been ended since (signed out, a new password,
// `ostrand signout`, or this session alone: its record, session_records.h,
// which a session without one gets here). Throws the database's Error.
std::optional<Visitor> LoadVisitor(const http::Request& request, store::Connection& db,
                                   const SessionSigner& signer,
                                   const std::set<std::int64_t>& leader_duties);

// Has the visitor's session cookie sent again, issued under `generation`:
// the session that stays when the person's other sessions were ended by
// raising the person's generation (a new password, "end all others").
void ReissueSession(Visitor& visitor, const SessionGeneration& generation);

// The Set-Cookie value that renews the visitor's session cookie (with the
// session items as they are now), or clears it when the visitor's expiry
// has passed; nothing when the items are still those the cookie holds (its
// expiry never moves, so the browser's cookie stays as good).
std::optional<std::string> SessionCookie(const SessionSigner& signer, const Visitor& visitor);

}  // namespace ostrand::web
