// The calendars that calendar programs read and write over CalDAV, for one
// viewer: the viewer's own plans (read-write), each colleague's shared
// plans and the department lists a leader sees (read-only), with the same
// rule of who sees what as the pages and the feeds.
//
// A calendar's resources ("objects") are named in the calendar's folder:
//   - an event a client put keeps the client's name ("<anything>.ics") and
//     its UID, in hostCalendarObject; its plans (one per instance of a
//     recurring event) are in hostObjectPlan;
//   - every other plan is "plan-<planID>.ics" with the feeds' UID of the
//     plan (data/site_identity.h), written by feeds/ical_feed.h for the
//     calendar's view. A client that puts a changed event there makes it
//     an object of that name and UID.
// A colleague's and a department's calendars show every shared plan as
// "plan-<planID>.ics", whatever wrote it.
//
// Entity tags are strong ("\"" + 32 hex digits + "\""), the hash of the
// bytes GET gives, so that a plan changed by any writer changes its tag.
// Sync tokens are absolute URIs naming the site and the number of the last
// change (hostCalendarChange), which every host write of a plan adds to
// (data/plan_changes.h), in the write's own transaction.
//
// Every write runs the day editor's rules in one transaction: the bounds of
// the plans' days (CalendarSettings), the text rules, the plans-per-day
// limit, the change record, the deleted plans kept for undo, the audit log
// ("calendar-put", "calendar-delete").
//
// A client's kind and place names are matched to the schedule's (case and
// outer blanks aside). An event that names no known kind gets the person's
// most used kind, else the first kind; an unknown place becomes the kind's
// first place, and its name the plan's detail when the event gives none.
// A plan of an object that the editor deleted leaves the object an EXDATE
// (or nothing, when none is left) and, restored, is part of it again while
// the object exists; the plans of an object a client removed come back as
// plans of their own.
//
// The ctag is the latest change number and a hash of the calendar's names
// and tags, so that plans other programs write change it too. The calendars
// cover the days from first_day to last_day.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "feeds/calendar_condition.h"
#include "feeds/time_zone.h"
#include "store/connection.h"

namespace ostrand::web {

enum class CalendarKind { kOwn, kColleague, kDepartment, kDepartment2 };

// One calendar the viewer sees.
struct CalendarInfo {
  CalendarKind kind = CalendarKind::kOwn;
  // kOwn: the viewer; kColleague: the colleague; the department lists: the
  // viewer.
  std::int64_t person_id = 0;
  std::string segment;       // its folder's name: "own", "person-12", "department", "department2"
  std::string display_name;  // the person's name, or the department's
  bool writable = false;     // kOwn only
  // With CalendarTags::kFilled (and from Calendars()): the tag that changes
  // whenever one of its objects changes, and the token of its current
  // state; empty otherwise.
  std::string ctag;
  std::string sync_token;
};

// Whether a calendar looked up comes with its ctag and sync token, which
// take reading and writing every object of it.
enum class CalendarTags { kLeftOut, kFilled };

// A resource of a calendar and its entity tag.
struct ObjectTag {
  std::string name;  // "plan-12.ics", or the name the client gave
  std::string etag;  // strong, quoted
};

struct CalendarObject {
  std::string name;
  std::string etag;
  std::string text;  // the VCALENDAR that GET gives
};

// What changed in a calendar after a sync token.
struct ObjectChanges {
  std::vector<ObjectTag> changed;    // new or changed, by name
  std::vector<std::string> removed;  // names gone (or no longer shown)
  std::string sync_token;            // the token of the state answered
};

// The conditional headers of a write.
struct WriteConditions {
  std::optional<std::string> if_match;  // an entity tag, or "*": only over an existing object
  bool if_none_match_any = false;       // If-None-Match: *: only a new object
};

struct ObjectWrite {
  std::string etag;  // of the object as stored now
  bool created = false;
};

// What the server configures for the calendars.
struct CalendarSettings {
  std::string uid_domain;              // the site's identity, after "@" in the plans' UIDs
  std::string site_uri;                // the site's address, which sync tokens name
  std::size_t max_plans_per_day = 20;  // serve --max-plans-per-day
  std::int64_t max_plan_days = 366;    // serve --max-plan-days
  std::size_t max_instances = 500;     // the most plans one recurring event becomes
  DateTime first_day;                  // the days a plan may touch (the pages' showable days)
  DateTime last_day;
  // The department lists the viewer sees: the leader conditions when the
  // viewer holds a leading duty, none otherwise; as the feeds take them
  // (LeaderCondition of site/server_options.h).
  std::optional<std::string> leader_condition;
  std::optional<std::string> leader2_condition;
  std::string address;  // the client's address, for the audit log
};

// What the CalDAV server asks of the calendars of one viewer. The SQL
// implementation is CalendarObjects below; the server's tests give it
// others. Errors: every function throws the database's Error when it
// fails; Objects, Fetch and ChangesSince throw Error kNotFound for a
// calendar the viewer does not see; writes throw feeds::ConditionError as
// each says.
class CalendarSource {
 public:
  virtual ~CalendarSource() = default;

  // The calendars the viewer sees: own first, then a colleague's for each
  // current person of the viewer's department (by the pickers' order), then
  // the department lists.
  virtual std::vector<CalendarInfo> Calendars() = 0;
  // The calendar of that folder name, or nothing; its tags as `tags` asks.
  virtual std::optional<CalendarInfo> FindCalendar(std::string_view segment,
                                                   CalendarTags tags) = 0;

  // The calendar's objects, by name; with `days`, only those whose plans
  // touch a day from first to last (a calendar-query's time-range).
  virtual std::vector<ObjectTag> Objects(const CalendarInfo& calendar,
                                         std::optional<std::pair<DateTime, DateTime>> days) = 0;
  // The objects of these names that exist, in the order asked.
  virtual std::vector<CalendarObject> Fetch(const CalendarInfo& calendar,
                                            std::span<const std::string> names) = 0;
  // What changed after `token`; every object for the empty token. Throws
  // ConditionError 403 "valid-sync-token" for a token that is not this
  // site's, does not read, lies ahead of the last change, or is older than
  // the changes kept.
  virtual ObjectChanges ChangesSince(const CalendarInfo& calendar, std::string_view token) = 0;

  // Stores `text` (feeds::ReadEventObject) as the viewer's own object
  // `name`, its plans replacing the object's plans. Throws ConditionError:
  // 403 for a calendar that is not writable ("" condition) and as
  // ReadEventObject; 409 "no-uid-conflict" when another object of the
  // viewer holds the UID; 412 (no condition) when `conditions` fail; 403
  // "" naming the day when the plans-per-day limit or the days' bounds
  // refuse a plan; 400 for a name that is not a plain file name.
  virtual ObjectWrite Put(const CalendarInfo& calendar, std::string_view name,
                          std::string_view text, const WriteConditions& conditions) = 0;
  // Deletes the viewer's own object `name`: its plans go to the deleted
  // plans (the editor can restore them). Throws ConditionError 412 when
  // `conditions` fail, 403 for a calendar that is not writable, and Error
  // kNotFound when there is no such object.
  virtual void Remove(const CalendarInfo& calendar, std::string_view name,
                      const WriteConditions& conditions) = 0;
};

// The calendars of one viewer in the database. The repository uses `db`,
// `zone` and `settings`, which must outlive it; copying is deleted.
class CalendarObjects final : public CalendarSource {
 public:
  CalendarObjects(store::Connection& db, const feeds::TimeZone& zone,
                  const CalendarSettings& settings, std::int64_t viewer);
  CalendarObjects(const CalendarObjects&) = delete;
  CalendarObjects& operator=(const CalendarObjects&) = delete;

  std::vector<CalendarInfo> Calendars() override;
  std::optional<CalendarInfo> FindCalendar(std::string_view segment, CalendarTags tags) override;
  std::vector<ObjectTag> Objects(const CalendarInfo& calendar,
                                 std::optional<std::pair<DateTime, DateTime>> days) override;
  std::vector<CalendarObject> Fetch(const CalendarInfo& calendar,
                                    std::span<const std::string> names) override;
  ObjectChanges ChangesSince(const CalendarInfo& calendar, std::string_view token) override;
  ObjectWrite Put(const CalendarInfo& calendar, std::string_view name, std::string_view text,
                  const WriteConditions& conditions) override;
  void Remove(const CalendarInfo& calendar, std::string_view name,
              const WriteConditions& conditions) override;

 private:
  store::Connection& db_;
  const feeds::TimeZone& zone_;
  const CalendarSettings& settings_;
  std::int64_t viewer_;
};

}  // namespace ostrand::web
