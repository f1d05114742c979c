// DavServer: the CalDAV server that calendar programs discover, read and
// write the schedule through, under /dav/ (dav_paths.h has the tree).
//
// Every request but OPTIONS signs in with HTTP Basic (the person's number
// and an app password); the server is given how (DavAuthenticator), so
// that the site counts wrong guesses in the sign-in throttle and tests give
// their own. Missing or wrong credentials get 401 with the Basic challenge,
// a throttled client 429 with Retry-After. A person reaches his or her own
// principal and calendar home only (403 otherwise).
//
// Methods:
//   OPTIONS    DAV: 1, 3, calendar-access and Allow, on any path
//   PROPFIND   Depth 0 or 1 (infinity, or no Depth, 403 propfind-finite-depth)
//              on the root, the principal, the home, a calendar, an object
//   REPORT     calendar-query (with a VEVENT time-range), calendar-multiget
//              and sync-collection on a calendar (multiget also on the
//              home); another report 403 supported-report
//   GET, HEAD  an object: text/calendar with its ETag (304 for If-None-Match)
//   PUT        an object of the own calendar, text/calendar, If-Match and
//              If-None-Match: *; 201 or 204, with the ETag when the stored
//              text is the one sent
//   DELETE     an object of the own calendar, If-Match; 204
//   PROPPATCH  207, every property 403: a calendar's properties are the
//              schedule's
//   MKCALENDAR, MKCOL, MOVE, COPY, and DELETE of a collection: 403
//   any other  405 with Allow
// A calendar's data is read and written through a CalendarSource
// (data/calendar_objects.h), which the server is given per request
// (CalendarAccess). Its refusals (feeds::ConditionError) are answered with
// their status and a DAV:error body naming the precondition; a request body
// that does not read gets 400 naming what is wrong; a failure of the
// database the site's error answer (503 while unavailable, 500 with an
// incident number).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "feeds/time_zone.h"
#include "web/data/calendar_objects.h"
#include "web/http/request.h"
#include "web/http/response.h"

namespace ostrand::web::dav {

// How a request's credentials were judged.
struct DavSignIn {
  enum class Status {
    kSignedIn,   // person_id is the signed-in person
    kRefused,    // none sent, or wrong: 401
    kThrottled,  // too many failures: 429 after retry_after
  };
  Status status = Status::kRefused;
  std::int64_t person_id = 0;
  std::chrono::seconds retry_after{0};
};

// Judges the credentials of a request (database work: runs on the
// request's worker). May throw the database's Error, which is answered as
// the site answers it.
using DavAuthenticator = std::function<DavSignIn(const http::Request&)>;

// Runs `use` with the calendars `viewer` sees, for this request (on a
// connection of the pool, with the site's settings), and returns when it
// returned. Throws what `use` throws and the database's Error.
using CalendarAccess = std::function<void(std::int64_t viewer, const http::Request& request,
                                          const std::function<void(CalendarSource&)>& use)>;

class DavServer {
 public:
  // `zone` (the plans' zone, for the days of a time-range) must outlive
  // the server.
  DavServer(DavAuthenticator authenticate, CalendarAccess calendars, const feeds::TimeZone& zone);
  DavServer(const DavServer&) = delete;
  DavServer& operator=(const DavServer&) = delete;

  // The answer to any method on a path under /dav/ (or /dav itself).
  // Database work: call it on a worker. Never throws.
  http::Response Serve(const http::Request& request) const;

  // The answer at /.well-known/caldav: 301 to /dav/ for GET, HEAD and
  // PROPFIND, 405 otherwise. Needs no database.
  static http::Response WellKnown(const http::Request& request);

 private:
  DavAuthenticator authenticate_;
  CalendarAccess calendars_;
  const feeds::TimeZone& zone_;
};

// The methods the server answers, as Allow lists them.
inline constexpr std::string_view kDavMethods =
    "OPTIONS, GET, HEAD, PUT, DELETE, PROPFIND, PROPPATCH, REPORT";

}  // namespace ostrand::web::dav
