// The unsubscribe links of the mails one asked for (changes, weekly,
// away): GET /mail/unsubscribe?t=TOKEN shows one button, and its POST (or
// a mail program's one-click POST of RFC 8058, which sends
// "List-Unsubscribe=One-Click") takes the choice back. The token is the
// proof: a SessionSigner::SealData value of its own purpose holding
// "PERSON:CHOICE", so nobody without the site's key can make one, and no
// session, cookie or other sealed value opens as one. It works for
// kUnsubscribeDays after the mail; using it twice does no harm.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "web/auth/session_cookie.h"
#include "web/data/databases.h"
#include "web/http/request.h"
#include "web/http/response.h"

namespace ostrand::web::notify {

inline constexpr std::string_view kUnsubscribePath = "/mail/unsubscribe";
inline constexpr std::int64_t kUnsubscribeDays = 366;

// Whose choice a token takes back.
struct Unsubscription {
  std::int64_t person_id = 0;
  std::string choice;  // one of kMailChoices (web/data/mail_settings.h)
  friend bool operator==(const Unsubscription&, const Unsubscription&) = default;
};

// What a token's sealed data says: "PERSON:CHOICE", a person id above 0
// (digits only) and one of kMailChoices; nothing for anything else.
std::optional<Unsubscription> ReadUnsubscription(std::string_view data);

// The token of the choice, sealed at `now` (seconds since the Unix epoch).
// Throws Error naming the choice when it is none of kMailChoices.
std::string UnsubscribeToken(const SessionSigner& signer, const Unsubscription& what,
                             std::int64_t now);

// What a token says when it was sealed by this key for unsubscribing and
// has not run out at `now`; nothing for anything else.
std::optional<Unsubscription> OpenUnsubscribeToken(const SessionSigner& signer,
                                                   std::string_view token, std::int64_t now);

// The absolute link of the token: `site_base` (the site's public address,
// no closing '/') and the path with ?t=TOKEN.
std::string UnsubscribeLink(std::string_view site_base, std::string_view token);

// GET: the page with the one button (or, for a token that does not open,
// the page saying so, 400). POST: takes the choice back and says so (a
// token that does not open: 400). No sign-in and no CSRF token: the signed
// token is the proof. The token may come in the query (t) or the form (t).
// Never throws: a failure is an error page.
http::Response ShowUnsubscribe(const http::Request& request, const Databases& databases,
                               const SessionSigner& signer);
http::Response SubmitUnsubscribe(const http::Request& request, const Databases& databases,
                                 const SessionSigner& signer);

}  // namespace ostrand::web::notify
