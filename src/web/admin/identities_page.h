// The identities of the OpenID provider and the directory at
// /admin/identities, for administrators (data/identities.h): who signed in
// there, the unlinked ones first, each with the person it is linked to;
// a form on each row links it to a person by number, or unlinks it. Each
// change is one transaction with its audit record (identity-linked,
// identity-unlinked).
// GET fields: page (1-based, 50 rows a page), done (the notice after a
// change). POST fields: csrf (checked by the page runner), identity (the
// key), action ("link" or "unlink"), person (for "link").
#pragma once

#include "web/pages/page_request.h"

namespace ostrand::web {

// The list. Throws HttpError 400 for a page number that does not read.
PageReply ShowIdentities(PageRequest& request);

// The change, then 303 back to the list with a notice. Throws HttpError
// 400 for an unknown action, a person number that does not read or a
// retired person; 404 for an unknown identity or person.
PageReply SubmitIdentities(PageRequest& request);

}  // namespace ostrand::web
