// The tree of the CalDAV server under /dav/ (pages/page_paths.h), built and
// read in this one place:
//   /dav/                                   the root: the signed-in principal
//   /dav/principals/ID/                     a person's principal
//   /dav/calendars/ID/                      the person's calendar home
//   /dav/calendars/ID/SEGMENT/              one calendar (data/calendar_objects.h)
//   /dav/calendars/ID/SEGMENT/NAME          one object of it
// Every path is written with a trailing "/" for a collection; a request
// may leave it out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrand::web::dav {

enum class DavPlace { kRoot, kPrincipal, kHome, kCalendar, kObject };

struct DavPath {
  DavPlace place = DavPlace::kRoot;
  std::int64_t person_id = 0;  // kPrincipal and below
  std::string segment;         // kCalendar and kObject
  std::string name;            // kObject
};

// The place of a decoded request path, or nothing for a path outside the
// tree: a person id that is no whole number over 0, an empty segment or
// name, a name or segment holding "/" or starting with ".", or anything
// after an object's name.
std::optional<DavPath> ReadDavPath(std::string_view path);

std::string PrincipalPath(std::int64_t person_id);
std::string HomePath(std::int64_t person_id);
std::string CalendarPath(std::int64_t person_id, std::string_view segment);
// The path of an object, its name percent-encoded as a path segment.
std::string ObjectPath(std::int64_t person_id, std::string_view segment, std::string_view name);

}  // namespace ostrand::web::dav
