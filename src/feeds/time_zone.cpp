#include "feeds/time_zone.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "core/error.h"
#include "core/text.h"
#include "feeds/ical_support.h"

namespace ostrand::feeds {
namespace {

// Parts of letters, digits and "_+-" joined by single "/": no "..", no
// absolute or empty parts, so a name can never point outside the zoneinfo.
bool LooksLikeZoneName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  bool part_has_letter = false;
  std::size_t part_length = 0;
  for (const char c : name) {
    if (c == '/') {
      if (part_length == 0 || !part_has_letter) return false;
      part_length = 0;
      part_has_letter = false;
      continue;
    }
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    const bool other = (c >= '0' && c <= '9') || c == '_' || c == '+' || c == '-';
    if (!letter && !other) return false;
    part_has_letter = part_has_letter || letter;
    ++part_length;
  }
  return part_length > 0 && part_has_letter;
}

std::optional<TimeZone> Lookup(std::string_view name) {
  try {
    return TimeZone::Named(name);
  } catch (const Error&) {
    return std::nullopt;
  }
}

// The zone name at the end of a path into a zoneinfo directory.
std::string AfterZoneinfo(const std::string& path) {
  constexpr std::string_view kMarker = "zoneinfo/";
  const std::size_t at = path.rfind(kMarker);
  return at == std::string::npos ? std::string() : path.substr(at + kMarker.size());
}

// t moved by `seconds`. Throws Error beyond the calendar's ends.
DateTime Shifted(const DateTime& t, std::int64_t seconds) {
  const std::int64_t total = t.day() * 86400 + t.seconds() + seconds;
  const std::int64_t day = total >= 0 ? total / 86400 : (total - 86399) / 86400;
  return DateTime::FromSerial(day, static_cast<std::int32_t>(total - day * 86400));
}

}  // namespace

TimeZone TimeZone::Named(std::string_view name) {
  const std::string text(name);
  if (!LooksLikeZoneName(name)) throw Error("unknown time zone '" + text.substr(0, 64) + "'");
  const auto lock = ical::LockZones();
  icaltimezone* const utc = icaltimezone_get_utc_timezone();
  icaltimezone* const zone =
      EqualsNoCase(name, "UTC") ? utc : icaltimezone_get_builtin_timezone(text.c_str());
  if (zone == utc) return TimeZone("UTC", utc, true);
  if (zone == nullptr || icaltimezone_get_component(zone) == nullptr) {
    throw Error("unknown time zone '" + text + "'");
  }
  return TimeZone(text, zone, false);
}

int TimeZone::UtcOffsetSeconds(const DateTime& wall) const {
  if (utc_) return 0;
  icaltimetype t = ical::ToIcal(wall);
  int is_daylight = 0;
  const auto lock = ical::LockZones();
  return icaltimezone_get_utc_offset(zone_, &t, &is_daylight);
}

DateTime TimeZone::ToUtc(const DateTime& wall) const {
  return Shifted(wall, -UtcOffsetSeconds(wall));
}

DateTime TimeZone::FromUtc(const DateTime& utc) const {
  if (utc_) return utc;
  icaltimetype t = ical::ToIcalUtc(utc);
  int is_daylight = 0;
  const auto lock = ical::LockZones();
  return Shifted(utc, icaltimezone_get_utc_offset_of_utc_time(zone_, &t, &is_daylight));
}

TimeZone TimeZone::System() {
  std::vector<std::string> candidates;
  if (const char* tz = std::getenv("TZ"); tz != nullptr && *tz != '\0') {
    std::string value = tz[0] == ':' ? tz + 1 : tz;
    candidates.push_back(value.find('/') == 0 ? AfterZoneinfo(value) : value);
  }
  std::error_code ignored;
  const std::filesystem::path link = std::filesystem::read_symlink("/etc/localtime", ignored);
  if (!ignored) candidates.push_back(AfterZoneinfo(link.string()));
  std::ifstream file("/etc/timezone");
  std::string line;
  if (std::getline(file, line)) candidates.emplace_back(TrimWhitespace(line));
  for (const std::string& name : candidates) {
    if (std::optional<TimeZone> zone = Lookup(name)) return *zone;
  }
  return Named("UTC");
}

}  // namespace ostrand::feeds
