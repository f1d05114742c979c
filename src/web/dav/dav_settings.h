// The settings of one viewer's calendars (data/calendar_objects.h) as the
// site configures them: the editor's limits of `ostrand serve`, the days
// every page can show, the site's identity, and the department lists of a
// viewer who holds a leading duty.
#pragma once

#include "web/data/calendar_objects.h"
#include "web/data/persons.h"
#include "web/data/site_identity.h"
#include "web/http/request.h"
#include "web/site/server_options.h"

namespace ostrand::web::dav {

// The settings for `viewer`'s request. Sync tokens name the public address
// when the site has one, else the site's identity, so that a token stays
// good whatever name a client reaches the site by. Throws the database's
// Error (the leading duties, the identity).
CalendarSettings DavCalendarSettings(const ServerOptions& options, store::Connection& db,
                                     const Person& viewer, const http::Request& request,
                                     const SiteIdentity& identity);

}  // namespace ostrand::web::dav
