// TimeZone: the operator's time zone. The schedule stores plan times as
// wall-clock times of that zone; feeds write them with its TZID and its
// VTIMEZONE, and imported events are turned into its wall-clock times. Zones
// come from the system's zoneinfo (IANA names such as Asia/Shanghai) through
// libical. A TimeZone is a small handle: copy it freely, use it from any
// thread.
#pragma once

#include <string>
#include <string_view>

#include "core/date.h"

struct _icaltimezone;  // libical's zone; its built-in zones live as long as the program

namespace ostrand::feeds {

class TimeZone {
 public:
  // The zone of that name: an IANA name of the system's zoneinfo, or "UTC".
  // Throws Error "unknown time zone 'NAME'" for any other text (names are
  // letters, digits and "_+-" in parts joined by "/").
  static TimeZone Named(std::string_view name);

  // The machine's zone: the TZ variable when it names a known zone, else the
  // zone /etc/localtime links to, else the one /etc/timezone names, else UTC.
  // Never throws.
  static TimeZone System();

  const std::string& name() const { return name_; }
  // True for UTC itself: times are then written in UTC ("Z") without a
  // VTIMEZONE.
  bool is_utc() const { return utc_; }
  // How far the zone's wall-clock time is ahead of UTC at the wall-clock
  // time `wall`, in seconds (480 * 60 for Asia/Shanghai). A time that a
  // clock change skips or repeats takes the offset libical gives it.
  int UtcOffsetSeconds(const DateTime& wall) const;
  // The UTC time of the wall-clock time `wall`.
  DateTime ToUtc(const DateTime& wall) const;
  // The zone's wall-clock time of the UTC time `utc`.
  DateTime FromUtc(const DateTime& utc) const;

  // libical's zone, for the feed writer and reader.
  _icaltimezone* handle() const { return zone_; }

 private:
  TimeZone(std::string name, _icaltimezone* zone, bool utc)
      : name_(std::move(name)), zone_(zone), utc_(utc) {}

  std::string name_;
  _icaltimezone* zone_;
  bool utc_;
};

}  // namespace ostrand::feeds
