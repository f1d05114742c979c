// The audit log at /admin/audit: the records of web/data/audit_log.h,
// newest first, in pages of kAuditPageRows, filtered by a person (as actor
// or subject, by number or exact name), a kind and a range of days (UTC),
// and the same records as a CSV download (?download=csv). Times are shown
// in UTC, as they are kept. Only for administrators: ServeAdministration
// (admin_routes.h) refuses everybody else before the page runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/data/audit_log.h"
#include "web/i18n/language.h"
#include "web/pages/page_request.h"

namespace ostrand::web {

inline constexpr std::int64_t kAuditPageRows = 50;

// What the page's query asks for, as read by ReadAuditQuery.
struct AuditQuery {
  std::string person;  // a person's number or exact name, as typed (cleaned, cut); empty: all
  std::string kind;    // one of audit::kKinds, or empty: every kind
  std::optional<DateTime> from;
  std::optional<DateTime> to;
  std::int64_t page = 1;  // from 1
  bool csv = false;       // download=csv
};

// Reads the query fields person, kind, from, to, page and download. Throws
// RequestError (400) naming a date or page number that does not read, and
// HttpError (400) for a kind the log does not know. A plain function on
// text (tests/fuzz/request_values.cpp).
AuditQuery ReadAuditQuery(const FormFields& query);

// GET /admin/audit. Throws RequestError (400) naming a query value that
// does not read (a date, a page number, a kind that is none of the log's),
// and the database's errors.
PageReply ShowAuditLog(PageRequest& request);

// The records as CSV (exports/csv.h: byte order mark, formulas guarded),
// a heading row in the language first: time (ISO 8601, UTC), actor's
// number and name, kind and its caption, subject's number and name, detail,
// address.
std::string AuditCsv(Language language, const std::vector<StoredAudit>& records);

// The caption of a kind in the language; the kind itself for one the
// catalogue does not know.
std::string AuditKindCaption(Language language, std::string_view kind);

}  // namespace ostrand::web
