#include "web/dav/dav_paths.h"

#include <limits>
#include <vector>

#include "core/text.h"
#include "web/http/url.h"
#include "web/pages/page_paths.h"

namespace ostrand::web::dav {
namespace {

constexpr std::string_view kPrincipals = "principals";
constexpr std::string_view kCalendars = "calendars";

// The path's segments after /dav/, a trailing "/" ignored; nothing when a
// segment is empty or "." / ".." (or starts with ".").
std::optional<std::vector<std::string_view>> Segments(std::string_view rest) {
  std::vector<std::string_view> parts;
  if (rest.ends_with('/')) rest.remove_suffix(1);
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    if (part.empty() || part.front() == '.') return std::nullopt;
    parts.push_back(part);
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
    if (rest.empty()) return std::nullopt;  // "//" at the end
  }
  return parts;
}

std::optional<std::int64_t> PersonId(std::string_view text) {
  const std::optional<std::int64_t> id =
      ReadWholeNumber(text, std::numeric_limits<std::int64_t>::max());
  if (!id || *id <= 0 || text != std::to_string(*id)) return std::nullopt;
  return id;
}

}  // namespace

std::optional<DavPath> ReadDavPath(std::string_view path) {
  std::string_view folder = kDavFolder;
  folder.remove_suffix(1);  // "/dav"
  if (path == folder) return DavPath{};
  if (!path.starts_with(kDavFolder)) return std::nullopt;
  const auto parts = Segments(path.substr(kDavFolder.size()));
  if (!parts) return std::nullopt;
  if (parts->empty()) return DavPath{};
  if (parts->size() < 2) return std::nullopt;
  const std::optional<std::int64_t> person = PersonId((*parts)[1]);
  if (!person) return std::nullopt;
  DavPath result;
  result.person_id = *person;
  if ((*parts)[0] == kPrincipals) {
    if (parts->size() != 2) return std::nullopt;
    result.place = DavPlace::kPrincipal;
    return result;
  }
  if ((*parts)[0] != kCalendars || parts->size() > 4) return std::nullopt;
  result.place = DavPlace::kHome;
  if (parts->size() >= 3) {
    result.place = DavPlace::kCalendar;
    result.segment = std::string((*parts)[2]);
  }
  if (parts->size() == 4) {
    result.place = DavPlace::kObject;
    result.name = std::string((*parts)[3]);
  }
  return result;
}

std::string PrincipalPath(std::int64_t person_id) {
  return std::string(kDavFolder) + std::string(kPrincipals) + "/" + std::to_string(person_id) + "/";
}

std::string HomePath(std::int64_t person_id) {
  return std::string(kDavFolder) + std::string(kCalendars) + "/" + std::to_string(person_id) + "/";
}

std::string CalendarPath(std::int64_t person_id, std::string_view segment) {
  return HomePath(person_id) + http::PercentEncode(segment) + "/";
}

std::string ObjectPath(std::int64_t person_id, std::string_view segment, std::string_view name) {
  return CalendarPath(person_id, segment) + http::PercentEncode(name);
}

}  // namespace ostrand::web::dav
