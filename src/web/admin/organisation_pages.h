// The administration pages of the organisation (data/organisation.h):
// /admin/departments, /admin/duties and /admin/places (with the kinds of
// place). Each GET shows a table with a form per row to rename, remove and
// (duties) move up or down and choose whether the duty leads, and a form to
// add one; each POST carries `action` (add, rename, remove; duties also
// move and leads; places also kind), `id`, `name`, `position`, `leads`
// and `kind` as the action needs them, and answers 303 back to the page
// with a notice ("?done=...").
//
// The runner has checked the session and the CSRF token, and
// ServeAdministration that the visitor is an administrator. A name that
// does not read (ReadOrgName) shows the page again with 400, a removal of
// something in use or a name taken with 409, each with the reason in the
// visitor's language; an id that does not read is a 400, one that does not
// exist a 404. Every change is recorded in the audit log in its own
// transaction.
#pragma once

#include "web/pages/page_request.h"

namespace ostrand::web {

// Each page: the table on GET and HEAD, the change on POST.
PageReply DepartmentsPage(PageRequest& request);
PageReply DutiesPage(PageRequest& request);
PageReply PlacesPage(PageRequest& request);

}  // namespace ostrand::web
