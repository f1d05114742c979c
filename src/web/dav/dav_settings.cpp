#include "web/dav/dav_settings.h"

#include "web/auth/visitor.h"
#include "web/pages/schedule_pages.h"

namespace ostrand::web::dav {

CalendarSettings DavCalendarSettings(const ServerOptions& options, store::Connection& db,
                                     const Person& viewer, const http::Request& request,
                                     const SiteIdentity& identity) {
  CalendarSettings settings;
  settings.uid_domain = identity.Get(db);
  settings.site_uri =
      !options.public_url.empty() ? options.public_url : "urn:ostrand:" + settings.uid_domain;
  settings.max_plans_per_day = options.max_plans_per_day;
  settings.max_plan_days = options.max_plan_days;
  settings.max_instances = options.max_series_plans;
  const DayRange days = DaysEveryPageShows();
  settings.first_day = days.first;
  settings.last_day = days.last;
  if (viewer.system_id && IsLeader(viewer, LeadingDutiesNow(options, db))) {
    settings.leader_condition = LeaderCondition(options, false);
    settings.leader2_condition = LeaderCondition(options, true);
  }
  settings.address = request.remote_address;
  return settings;
}

}  // namespace ostrand::web::dav
