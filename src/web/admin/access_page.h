// A person's access at /admin/access?person=ID, for administrators: whether
// the person has a password, an open invitation, open sessions and the
// administrator role; and the forms that change it. Each action is one
// transaction with its audit row:
//   - "invite": a new invitation (auth/invitations.h), replacing any
//     before; its link is shown on the answer to this POST only, in a
//     read-only field to copy. For a person who has a password this resets
//     access: the old password works until the new one is chosen. When
//     the site sends mail and the person has an address, the link is also
//     queued as a mail (mail.invitation, or mail.reset for a person with a
//     password) in the same transaction, and the page says where it went;
//   - "end-sessions": ends every session of the person;
//   - "lift-throttle": forgets the failed sign-ins counted on the
//     person's account, on every server (auth/signin_gate.h);
//   - "grant-admin", "revoke-admin": the administrator role; the last
//     administrator cannot give it up (400);
//   - "remove-second-factor": removes the person's second factor and
//     recovery codes (a lost phone); the page shows whether there is one.
// POST fields: csrf (checked by the page runner), person, action.
#pragma once

#include "web/pages/page_request.h"

namespace ostrand::web {

// The page. Without `person` it asks for one. Throws HttpError 400 for a
// person id that does not read, 404 for an unknown person.
PageReply ShowAccess(PageRequest& request);

// Carries out the action and answers 303 back to the page with a notice,
// or for "invite" the page with the link. Throws HttpError 400 for an
// unknown action or the last administrator's revoke, 404 for an unknown
// person.
PageReply SubmitAccess(PageRequest& request);

}  // namespace ostrand::web
