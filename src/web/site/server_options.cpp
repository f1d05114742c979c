#include "web/site/server_options.h"

#include <algorithm>
#include <ctime>

#include "core/error.h"
#include "core/text.h"
#include "plans/leader_list.h"
#include "store/demo_data.h"
#include "web/data/organisation.h"
#include "web/data/plan_changes.h"
#include "web/http/request_values.h"

namespace ostrand::web {

std::string DefaultLeader2Cond() {
  return "person.dutyID>" + std::to_string(store::kLastLeadingDuty);
}

std::set<std::int64_t> ParseDutyList(std::string_view list) {
  std::set<std::int64_t> duties;
  for (const std::string_view item : SplitList(list, ',')) {
    const std::optional<std::int64_t> id = ReadWholeNumber(TrimBlanks(item), kLargestExactId);
    if (!id) throw Error("invalid duty list '" + std::string(list) + "'");
    duties.insert(*id);
  }
  return duties;
}

AutoCreate ParseAutoCreate(std::string_view text) {
  const std::size_t colon = text.find(':');
  const std::optional<std::int64_t> department =
      ReadWholeNumber(TrimBlanks(text.substr(0, colon)), kLargestExactId);
  std::optional<std::int64_t> duty;
  if (colon != std::string_view::npos) {
    duty = ReadWholeNumber(TrimBlanks(text.substr(colon + 1)), kLargestExactId);
  }
  if (!department || (colon != std::string_view::npos && !duty)) {
    throw Error("--auto-create '" + std::string(text) +
                "' is no department id, or department and duty ids (such as 3 or 3:5)");
  }
  return AutoCreate{*department, duty};
}

std::set<std::int64_t> LeadingDutiesNow(const ServerOptions& options, store::Connection& db) {
  if (options.leader_duties) return *options.leader_duties;
  return LeadingDutiesInDatabase(db);
}

std::string LeaderCondition(const ServerOptions& options, bool second) {
  return plans::CurrentStaffCondition(second ? options.leader2_cond : options.leader_cond);
}

bool ServedOverTls(const ServerOptions& options) {
  return options.secure_cookies || StartsWithNoCase(options.public_url, "https://");
}

std::size_t ConnectionsPerClient(const ServerOptions& options) {
  if (options.max_connections_per_client > 0) return options.max_connections_per_client;
  return std::max<std::size_t>(1, options.max_connections / 8);
}

DateTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  // A leap second (tm_sec 60) counts as the last second of its minute.
  return DateTime::FromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                             local.tm_min, std::min(local.tm_sec, 59));
}

DateTime TodayOf(const ServerOptions& options, const std::optional<feeds::TimeZone>& zone) {
  if (options.today) return options.today().DateOnly();
  return (zone ? zone->FromUtc(UtcNow()) : LocalNow()).DateOnly();
}

}  // namespace ostrand::web
