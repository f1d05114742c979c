#include "web/notify/scheduled_mails.h"

#include <nlohmann/json.hpp>

#include "core/date_text.h"
#include "web/data/outbox.h"

namespace ostrand::web::notify {
namespace {

constexpr int kMonday = 2;  // Sunday = 1

bool Add(store::Connection& db, std::string_view kind, std::string key, const char* field,
         const DateTime& day, const DateTime& now_utc) {
  NewEvent event;
  event.kind = kind;
  event.key = std::move(key);
  event.body = nlohmann::json{{field, DateText(day)}}.dump();
  event.at = now_utc;
  return AddEventOnce(db, event);
}

}  // namespace

std::string WeeklyMailKey(const DateTime& monday) {
  return std::string(kMailWeekly) + ":" + DateText(monday);
}

std::string AwayMailKey(const DateTime& day) {
  return std::string(kMailAway) + ":" + DateText(day);
}

int MakeScheduledMails(store::Connection& db, const DateTime& now_utc, const feeds::TimeZone& zone) {
  const DateTime wall = zone.FromUtc(now_utc);
  if (wall.hour() < kScheduledMailHour) return 0;
  const DateTime today = wall.DateOnly();
  int added = 0;
  if (today.weekday() == kMonday &&
      Add(db, kMailWeekly, WeeklyMailKey(today), "week", today, now_utc)) {
    ++added;
  }
  if (Add(db, kMailAway, AwayMailKey(today), "day", today, now_utc)) ++added;
  return added;
}

}  // namespace ostrand::web::notify
