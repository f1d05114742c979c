// The mails made at an hour rather than by a change: a leader's weekly
// summary (Monday 07:00 in the plans' zone) and daily list of who is away
// (07:00 every day). Each server's delivery worker calls
// MakeScheduledMails about once a minute; the events' keys name their day
// ("mail.weekly:2026-12-14", "mail.away:2026-12-14"), so of several
// servers on one database, and of the many calls of a day, one makes each
// event (AddEventOnce). A server that was down at 07:00 makes the day's
// events when it starts later that day; a day it was down for entirely
// passes without them. The outbox fans each event out to the persons who
// asked for it (kMailWeeklySummary, kMailAwayList), and the mail is
// composed when it is sent (mail_content.h).
#pragma once

#include <string>

#include "core/date.h"
#include "feeds/time_zone.h"
#include "store/connection.h"

namespace ostrand::web::notify {

// The hour of the zone's day from which the day's mails are made.
inline constexpr int kScheduledMailHour = 7;

// The keys of the day's events: "mail.weekly:YYYY-MM-DD" of a Monday,
// "mail.away:YYYY-MM-DD".
std::string WeeklyMailKey(const DateTime& monday);
std::string AwayMailKey(const DateTime& day);

// Adds the events due at `now_utc` in `zone` that are not stored yet: on
// every day from kScheduledMailHour the "away" event of the day (body
// {"day": "YYYY-MM-DD"}), on Mondays also the "weekly" event of the week
// starting that day (body {"week": "YYYY-MM-DD"}). Returns how many it
// added. Throws the database's Error.
int MakeScheduledMails(store::Connection& db, const DateTime& now_utc, const feeds::TimeZone& zone);

}  // namespace ostrand::web::notify
