// The XML bodies that calendar programs send to the CalDAV server: PROPFIND,
// PROPPATCH and the three REPORTs (calendar-query, calendar-multiget,
// sync-collection). Plain functions on the body's text, read with libxml2
// without network access, entity substitution, DTD loading or the huge
// limits lifted; a document with a DOCTYPE is refused before it is parsed,
// so that no entity is ever declared, let alone expanded.
//
// Namespaces are matched by URI, never by prefix. Elements of other
// namespaces or unknown names are skipped where the protocol allows
// extensions; what the server needs and cannot read is refused.
//
// Every reader throws Error kBadInput with a message naming what is wrong
// (the element, the value) for a body that is no well-formed XML, has a
// DOCTYPE, has another root than the method expects, names more than
// kMaxProps properties or kMaxHrefs hrefs, holds more than kMaxAttributes
// "=" signs, or holds a value that does not read. Nothing else is thrown for any input (but std::bad_alloc).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "core/error.h"

namespace ostrand::web::dav {

inline constexpr std::string_view kDavNs = "DAV:";
inline constexpr std::string_view kCalDavNs = "urn:ietf:params:xml:ns:caldav";
inline constexpr std::string_view kCalendarServerNs = "http://calendarserver.org/ns/";
inline constexpr std::string_view kAppleIcalNs = "http://apple.com/ns/ical/";

// The most properties and hrefs one request may name.
inline constexpr std::size_t kMaxProps = 100;
inline constexpr std::size_t kMaxHrefs = 5000;
// The most attributes (counted as the body's "=" signs) one body may hold.
inline constexpr std::size_t kMaxAttributes = 1000;

// A property's name: its namespace URI ("" for none) and local name.
struct PropName {
  std::string ns;
  std::string name;

  friend bool operator==(const PropName&, const PropName&) = default;
};

enum class PropfindKind {
  kAllProp,   // allprop, or an empty body
  kPropName,  // the names only
  kProp,      // the properties listed
};

struct PropfindRequest {
  PropfindKind kind = PropfindKind::kAllProp;
  std::vector<PropName> props;  // kProp, in the order asked
};

enum class ReportKind { kCalendarQuery, kMultiget, kSyncCollection };

// A time-range of a calendar-query, in UTC; either end may be open.
struct TimeRange {
  std::optional<DateTime> start;
  std::optional<DateTime> end;
};

struct ReportRequest {
  ReportKind kind = ReportKind::kCalendarQuery;
  // The properties asked (DAV:prop); empty with all_props for DAV:allprop.
  std::vector<PropName> props;
  bool all_props = false;
  // calendar-query: whether the filter asks for events (VCALENDAR, then
  // VEVENT or no inner comp-filter); false for another component, which
  // this server holds none of.
  bool events = true;
  std::optional<TimeRange> range;  // calendar-query: the VEVENT's time-range
  // The calendar-data asked expanded into its instances over this time
  // (both ends set), rather than as stored.
  std::optional<TimeRange> expand;
  // calendar-multiget: the hrefs as paths, percent-decoded (a full URL's
  // scheme and host dropped), in the order sent.
  std::vector<std::string> hrefs;
  // sync-collection: the token sent ("" for the first sync), and the most
  // results the client takes, when it names a limit.
  std::string sync_token;
  std::optional<std::size_t> limit;
};

// The body of a PROPFIND; an empty (or all-blank) body is allprop.
PropfindRequest ReadPropfind(std::string_view body);

// The body of a REPORT. A report of another name throws ReportUnsupported.
ReportRequest ReadReport(std::string_view body);

// The properties a PROPPATCH sets or removes, in the order sent.
std::vector<PropName> ReadPropPatch(std::string_view body);

// A REPORT this server does not answer; its message names the report.
class ReportUnsupported : public Error {
 public:
  explicit ReportUnsupported(const std::string& name)
      : Error("the report '" + name + "' is not supported", ErrorKind::kForbidden) {}
};

// The path an href names: a full URL's scheme and authority dropped, the
// query dropped, percent-decoded.
std::string HrefPath(std::string_view href);

}  // namespace ostrand::web::dav
