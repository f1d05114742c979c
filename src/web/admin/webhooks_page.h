// The webhook receivers at kAdminWebhooksPath, for administrators (the
// admin routes check that before these run, the page runner every POST's
// CSRF token); web/data/webhooks_table.h keeps them, web/data/outbox.h
// their deliveries.
//
// GET shows the list of receivers (name, address, events, format, entries,
// daily away list, state, who set it up), each name a link to
// ?receiver=ID; new=1 the form that adds one; receiver=ID the receiver's
// form, its buttons (a new secret, switch off or on, remove) and its
// deliveries a page at a time (page, size: pages/list_paging.h), newest
// first, with a resend button on each that has ended; receiver=ID&remove=1
// asks to confirm the removal; done=... the notice after a change. A
// receiver set by the server's flags (origin "command line") is shown with
// its settings and a note that the flags set them: it may only be switched
// off and on (until the next start, when the flags set it again) and have
// its deliveries resent.
//
// POST fields: csrf and action, with
//   add:         name, url, kind (repeated, each one of kWebhookKinds),
//                private ("1"), format ("json" or "chat"), away_hour
//                (empty, or 0 to 23), secret (empty: NewWebhookSecret
//                makes one; else it must pass IsWebhookSecret)
//   edit:        receiver and the fields of add but the secret
//   new-secret:  receiver, secret (as for add)
//   switch-off, switch-on: receiver
//   remove:      receiver, confirm ("1"; without it the confirmation)
//   resend:      receiver, delivery (one of the receiver's that ended)
// add and new-secret answer with the receiver's page showing the secret,
// the only page that ever does (never cached); the others 303 back to the
// receiver (to the list after a removal) with a notice. A value that
// breaks a rule answers the form again (400) with every message, the
// values kept. Every change writes its audit record (webhook-changed,
// delivery-resent), which never holds the secret.
#pragma once

#include "web/pages/page_request.h"

namespace ostrand::web {

// The pages above. Throws HttpError 400 for a receiver or page number that
// does not read, 404 for an unknown receiver.
PageReply ShowWebhooks(PageRequest& request);

// The change. Throws HttpError 400 for an unknown action, an id that does
// not read or a change the flags make of a receiver set by them; 404 for
// an unknown receiver; 409 for a delivery to resend that is not one of the
// receiver's or has not ended.
PageReply SubmitWebhooks(PageRequest& request);

}  // namespace ostrand::web
