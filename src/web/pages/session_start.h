// The one way a sign-in ends well, whichever way the person proved who
// they are (a password, a second factor, an OpenID provider, a directory):
// the session is recorded and its cookie set, and the browser goes on to
// the page it asked for.
#pragma once

#include <string>
#include <string_view>

#include "store/connection.h"
#include "web/auth/session_cookie.h"
#include "web/auth/session_records.h"
#include "web/data/persons.h"
#include "web/http/response.h"
#include "web/site/server_options.h"

namespace ostrand::web {

// Name of the cookie that ties a sign-in post to the form it came from.
inline constexpr std::string_view kSignInCookieName = "ostrand_signin";

// How a session was signed in, kept as its "signin" item: what sign-out
// offers afterwards depends on it (an OpenID provider's session ends at
// the provider too).
inline constexpr std::string_view kSignedInWithPassword = "password";
inline constexpr std::string_view kSignedInWithProvider = "oidc";
inline constexpr std::string_view kSignedInWithDirectory = "ldap";

// Starts a session of `person` on `db`: records it (session_records.h) and
// answers 303 to `next` (a local page, pages/signin_page.h SafeNextPage)
// with the session cookie, sealed under the person's session generation,
// and clears the sign-in form's cookie. `how` is one of the kSignedInWith
// texts. A person who signs in through a provider or a directory and has
// no account yet gets one without a password (data/accounts_table.h
// EnsureAccount). Throws Error when the person has no account that
// holds sessions (retired, or a password account gone), and the
// database's Error.
http::Response StartSession(store::Connection& db, const ServerOptions& options,
                            const SessionSigner& signer, const Person& person,
                            const std::string& next, const SessionOrigin& origin,
                            std::string_view how);

}  // namespace ostrand::web
