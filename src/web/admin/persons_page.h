// The administration's persons (kAdminPersonsPath) and staff import
// (kAdminPersonImportPath), for administrators only (the admin routes
// check that before these run; the page runner checks every POST's CSRF
// token).
//
// /admin/persons lists the persons: search by name (q), filters by
// department and duty, retired persons shown with retired=1, pages of
// kPersonsPerPage or the size asked (size=N, page=N; pages/list_paging.h:
// a page past the end shows the last) with the count, previous / next
// links and the page sizes, which keep the query; format=csv downloads the whole list as a staff file
// (exports/staff_csv.h). new=1 shows the add form, person=ID the edit form
// with retire / reinstate, the person's mail address and the language of
// the mails, and a link to the person's access page. A POST (action add,
// edit, retire or reinstate) writes through the registry
// (web/data/person_registry.h) with its audit record in the same
// transaction; action mail (mail_address, empty to remove it, and
// mail_language) sets the address (web/data/mail_settings.h) and then
// writes its record. Each answers with a redirect to the person's form
// and a notice; a value that breaks a rule answers the form again (400)
// with the message, the values kept.
//
// /admin/persons/import takes a staff file pasted into a text area (at
// most the server's body limit), shows every record as add / change /
// unchanged / refused with the reason (a dry run), and imports it in one
// transaction only when no record is refused (web/data/staff_import.h).
//
// Both throw HttpError (400 for a query value that does not read, 404 for
// no such person) and what the database throws.
#pragma once

#include <cstddef>

#include "web/pages/list_paging.h"
#include "web/pages/page_request.h"

namespace ostrand::web {

inline constexpr std::size_t kPersonsPerPage = kDefaultPageSize;

PageReply PersonsPage(PageRequest& request);
PageReply PersonImportPage(PageRequest& request);

}  // namespace ostrand::web
