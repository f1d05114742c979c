// The XML bodies the CalDAV server answers with: the multistatus (207) of
// PROPFIND, REPORT and PROPPATCH, one response per resource with one
// propstat per status, and the DAV:error body of a refused request with the
// precondition that failed. This is the one place where these bodies are
// written and their text escaped.
//
// Text is escaped here rather than by core/html.h because a calendar-data
// property carries iCalendar text, whose CRLF line ends must reach the
// client: the HTML escaper turns line breaks into spaces. A carriage return
// is written as "&#13;" (an XML reader would turn a raw one into a line
// feed); other control characters but tab and line feed, which XML cannot
// carry, become U+FFFD.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/html.h"
#include "web/dav/dav_request.h"

namespace ostrand::web::dav {

// A property with its value: `xml` is the element's content, already
// written (escaped text, or elements of the namespaces below).
struct PropValue {
  PropName name;
  std::string xml;
};

// One resource in a multistatus.
struct ResourceProps {
  std::string href;                 // its path, percent-encoded
  std::vector<PropValue> found;     // answered 200
  std::vector<PropName> missing;    // answered 404
  std::vector<PropName> forbidden;  // answered 403 (PROPPATCH)
  // When set, the resource is answered with this status alone and no
  // properties (a member gone since a sync token: 404).
  std::optional<int> status;
};

// The prefixes the bodies declare on their root and that property values
// may use: "d" DAV:, "c" CalDAV, "cs" calendarserver.org, "ic" Apple's.
// A property of another namespace is written with its own declaration.

// The multistatus of `resources`, in order, with DAV:sync-token when given.
std::string MultistatusBody(std::span<const ResourceProps> resources,
                            const std::optional<std::string>& sync_token = std::nullopt);

// The DAV:error body naming `condition` (an element of DAV: for the WebDAV
// and sync conditions, of CalDAV's namespace for the others; see
// ConditionNamespace) and, when not empty, `message` as the
// responsedescription inside it.
std::string ErrorBody(std::string_view condition, std::string_view message);

// The namespace of a precondition's element: DAV: for "valid-sync-token",
// "propfind-finite-depth", "supported-report", "number-of-matches-within-limits"
// and "need-privileges"; CalDAV's for every other.
std::string_view ConditionNamespace(std::string_view condition);

// The XML content type of the bodies above.
inline constexpr std::string_view kXmlType = "application/xml; charset=utf-8";

}  // namespace ostrand::web::dav
