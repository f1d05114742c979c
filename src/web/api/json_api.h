// JsonApi: the read-only JSON API of `ostrand serve`, for other programs.
//
//   GET /api/v1/plans?person=ID&from=DATE&to=DATE
//       the plans of a person (default: the caller) that touch the days;
//   GET /api/v1/department?from=DATE&to=DATE[&list=2]
//       for a holder of a leading duty: the persons of his or her system
//       that the leader condition chooses (list=2: the second one), each
//       with the shared plans that touch the days.
//
// The caller is the person of the session cookie, or of a personal API
// token sent as "Authorization: Bearer TOKEN" (auth/personal_tokens.h; a
// request that sends one is judged by it alone). What comes back follows
// the pages' rules: one's own plans all, with every text and whether each is
// shared; a colleague's (same system) shared plans with their kind of place,
// place and content; the department's shared plans likewise. Dates are
// ISO 8601: "from" and "to" as days ("2001-12-05"; default three months back
// to twelve ahead, at most 36 months), plan times as the operator's
// wall-clock time with its UTC offset ("2001-12-05T09:00:00+08:00").
//
// Errors are JSON too, {"error": "..."}, in English for programs, dates as
// "2001-12-05", control characters of what the request sent written as
// %XX: 401 without a valid session or token (with WWW-Authenticate), 400 for
// a value that does not read or a range that is too long, 403 for a person
// of another system or the department without a leading duty, 404 for an
// unknown person and for any other path under /api/, 405 (with Allow) for
// another method than GET and HEAD, 503 while the database is unavailable
// or the workers are busy (with Retry-After), 500 with an "incident"
// number. No answer depends on the visitor's language.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string_view>

#include "feeds/time_zone.h"
#include "plans/plan_record.h"
#include "web/auth/session_cookie.h"
#include "web/data/databases.h"
#include "web/http/request.h"
#include "web/http/response.h"
#include "web/site/server_options.h"

namespace ostrand::web {

// Every path under this folder is the API's, known or not.
inline constexpr std::string_view kApiFolder = "/api/";

class JsonApi {
 public:
  // The references must outlive the object.
  JsonApi(const ServerOptions& options, const Databases& databases, const SessionSigner& signer,
          const feeds::TimeZone& zone)
      : options_(options), databases_(databases), signer_(signer), zone_(zone) {}

  // The answer to a GET or HEAD of kApiPlansPath or kApiDepartmentPath. Runs
  // database work: call it on a worker. Never throws.
  http::Response Serve(const http::Request& request) const;

  // The answer to a request under kApiFolder that Serve is not for: 404 for
  // a path the API does not have, 405 with Allow for another method than
  // GET or HEAD. Nothing when Serve should answer it. Needs no database:
  // call it on any thread. Never throws.
  static std::optional<http::Response> Refusal(const http::Request& request);

  // The answer to a request under kApiFolder that the HTTP server answers
  // by itself (it could not be read, or failed): `message` in the body,
  // the incident number beside it when there is one. Never throws.
  static http::Response ServerAnswer(int status, std::string_view message,
                                     std::string_view incident);

 private:
  http::Response Answer(const http::Request& request) const;

  const ServerOptions& options_;
  const Databases& databases_;
  const SessionSigner& signer_;
  const feeds::TimeZone& zone_;
};

// "2001-12-05T09:00:00+08:00": a wall-clock time of `zone` in ISO 8601 with
// the zone's UTC offset at that time ("Z" for UTC itself).
std::string IsoTimeIn(const DateTime& wall, const feeds::TimeZone& zone);

// A plan as the API shows it, the one writer of a plan as JSON (the API's
// answers, the webhooks' bodies): id, start and end in `zone` with its
// offset, kind of place, place and content; with `own` (its person, or a
// receiver that sees private entries) also detail, addition and shared;
// revision and lastModified where recorded.
nlohmann::json PlanJson(const plans::PlanRecord& plan, bool own, const feeds::TimeZone& zone);

}  // namespace ostrand::web
