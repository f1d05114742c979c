// The day editor, manage.asp?personID=&dt=[&planID=]: the target of the
// day cells' manage(dt). It lists the visitor's plans of that day (shared
// and private alike) with edit and delete, and a form that adds a plan or,
// with planID, changes one. Only the visitor's own plans can be edited.
//
// The form posts back to the same address with the fields planID, start,
// end (datetime-local text), kind, place, detail, content, addition, flag
// (1 shared, 2 private), action ("save" or "delete") and csrf; the server
// has checked the CSRF token before these functions run. Invalid input
// shows the form again with the messages and every typed value kept. After
// a write the reply redirects to the page in the Session item "strURL",
// opened on the plan's day.
#pragma once

#include "web/pages/page_paths.h"
#include "web/pages/page_request.h"

namespace ostrand::web {

// The editor for the query's person and day. Throws HttpError 400 for a
// personID, dt or planID that does not read, 403 for another person, 404
// for a planID the visitor does not have.
PageReply ShowEditor(PageRequest& request);

// Saves or deletes as the form asks; errors as ShowEditor.
PageReply SubmitEditor(PageRequest& request);

// Where the editor returns after a write: the page in the Session item
// "strURL" when it is one of the schedule pages (else the month page), for
// the person and day given.
std::string ReturnAddress(const host::Session& session, std::int64_t person_id,
                          const DateTime& day);

}  // namespace ostrand::web
