// CalendarFeeds: the calendar feeds that `ostrand serve` answers at the
// feed addresses (pages/feed_address.h), for calendar programs that poll them.
// The token in the address names the subscriber; what the feed shows
// follows the pages' rules for that person:
//
//   own.ics           every plan of the subscriber, with all its texts;
//   person-ID.ics     the shared plans of a person of the subscriber's own
//                     system, place names only;
//   department.ics    for a holder of a leading duty: the shared plans of
//   department2.ics   the persons of his or her system that the operator's
//                     leader condition (--leader-cond, --leader2-cond)
//                     chooses, "name: place".
//
// A wrong, reset or malformed token, a subscriber or colleague who no
// longer exists, a colleague of another system and a department feed for
// somebody without a leading duty all get the site's one 404 page, which
// tells nothing. The query's "from" and "to" choose other days than the
// default three months back to twelve ahead, within 36 months; a range
// that does not read or is too long gets 400 with the reason.
//
// Polling is cheap: every answer carries a weak entity tag of what the feed
// shows, and a request whose If-None-Match holds it gets 304 without the
// calendar being written. Last-Modified is sent when the host wrote every
// plan shown (data/plan_changes.h), so that If-Modified-Since can be
// trusted: the latest change of the subscriber's or colleague's plans,
// deletions included, and at least the start of today for the default
// range, which moves every day. The access log shows "/feeds/-/..." for the
// token. Every event's UID ends in the site's identity (data/site_identity.h),
// never in a name the request gives.
#pragma once

#include "feeds/time_zone.h"
#include "web/data/databases.h"
#include "web/data/site_identity.h"
#include "web/http/request.h"
#include "web/http/response.h"
#include "web/i18n/language.h"
#include "web/site/server_options.h"

namespace ostrand::web {

class CalendarFeeds {
 public:
  // The references must outlive the object.
  CalendarFeeds(const ServerOptions& options, const Databases& databases,
                const feeds::TimeZone& zone)
      : options_(options), databases_(databases), zone_(zone) {}

  // The answer to a GET or HEAD of a feed address. Runs database work: call
  // it on a worker. Never throws: a failure is a 500 with an incident
  // number (503 while the database is unavailable).
  http::Response Serve(const http::Request& request) const;

 private:
  http::Response Answer(const http::Request& request, Language language) const;

  const ServerOptions& options_;
  const Databases& databases_;
  const feeds::TimeZone& zone_;
  SiteIdentity identity_;  // the UIDs' domain, read on the first feed
};

}  // namespace ostrand::web
