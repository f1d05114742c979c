// The subscribe page at /subscribe: the visitor's calendar feed addresses
// (api/feed_address.h) in the https (or http) and webcal forms, ready to
// copy into a calendar program: one's own plans, a colleague's chosen with
// a picker (personID), and the department's for the leading duties. A form
// resets the feed token (every old address stops working at once), and
// another makes or ends the visitor's API token for the JSON API, which
// the page shows once, right after it is made.
//
// The addresses start with the server's --public-url, or else with
// "http://" and the Host the browser asked for.
//
// POST fields: action ("reset-feed", "new-api-token", "revoke-api-token")
// and csrf (checked before these functions run).
#pragma once

#include "web/pages/page_request.h"

namespace ostrand::web {

// The page. Throws HttpError 400 for a personID that does not read, 403 for
// a person of another system, 404 for an unknown person.
PageReply ShowSubscribe(PageRequest& request);

// Carries out the form's action: a reset or a revoked token returns to the
// page (303) with a notice; a new API token shows the page with the token.
// Throws HttpError 400 for an unknown action.
PageReply SubmitSubscribe(PageRequest& request);

}  // namespace ostrand::web
