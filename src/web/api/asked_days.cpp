#include "web/api/asked_days.h"

#include <optional>
#include <string>

namespace ostrand::web {

AskedDays ReadAskedDays(const http::FormFields& query, const ServerOptions& options,
                        const feeds::TimeZone& zone) {
  const std::optional<std::string> from = http::FindField(query, "from");
  const std::optional<std::string> to = http::FindField(query, "to");
  AskedDays days;
  days.today = TodayOf(options, zone);
  days.range = feeds::RequestedRange(from, to, days.today);
  days.by_default = !from && !to;
  return days;
}

}  // namespace ostrand::web
