// The calendars of calendar programs in the database: objects put, read,
// changed and removed with their tags and conditions, series, the limits,
// the sync tokens, and what a colleague's calendar shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>

#include "feeds/calendar_condition.h"
#include "feeds/time_zone.h"
#include "store/connect.h"
#include "test_databases.h"
#include "test_support.h"
#include "web/data/calendar_objects.h"
#include "web/data/plan_changes.h"
#include "web/data/plan_repository.h"
#include "web/data/plan_series.h"
#include "web/data/sync_token.h"

namespace ostrand::web {
namespace {

using test_support::TestBackend;
using test_support::TestDatabase;

constexpr std::string_view kIdentity = "0a1b2c3d4e5f.ostrand";

std::string Event(std::string_view uid, std::string_view day, std::string_view summary,
                  std::string_view extra = "") {
  std::string text =
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\nUID:";
  text += uid;
  text += "\r\nDTSTAMP:20011201T000000Z\r\nDTSTART:";
  text += day;
  text += "T090000\r\nDTEND:";
  text += day;
  text += "T100000\r\nSUMMARY:";
  text += summary;
  text += "\r\n";
  text += extra;
  text += "END:VEVENT\r\nEND:VCALENDAR\r\n";
  return text;
}

int StatusOf(const std::function<void()>& write) {
  try {
    write();
  } catch (const feeds::ConditionError& e) {
    return e.status();
  }
  return 0;
}

class Calendars : public ::testing::TestWithParam<TestBackend> {
 protected:
  void SetUp() override {
    database_ = std::make_unique<TestDatabase>(GetParam());
    testing::WriteFixtureTo(database_->connection_string());
    db_ = store::Connect(database_->connection_string());
    settings_.uid_domain = kIdentity;
    settings_.site_uri = "https://schedule.example";
    settings_.first_day = DateTime::FromCivil(2001, 1, 1);
    settings_.last_day = DateTime::FromCivil(2002, 12, 31);
    settings_.max_plans_per_day = 3;
  }
  CalendarObjects For(std::int64_t viewer) {
    return CalendarObjects(*db_, zone_, settings_, viewer);
  }
  std::unique_ptr<TestDatabase> database_;
  std::unique_ptr<store::Connection> db_;
  feeds::TimeZone zone_ = feeds::TimeZone::Named("UTC");
  CalendarSettings settings_;
};

// Put, conditions and tags: a new object becomes a plan, a change keeps the
// plan's id, stale tags and foreign UIDs are refused, read-only calendars
// refuse writes.
TEST_P(Calendars, PutKeepsPlansAndRefusesConflicts) {
  CalendarObjects li = For(testing::kLi);
  const CalendarInfo own = *li.FindCalendar("own", CalendarTags::kLeftOut);
  EXPECT_TRUE(own.ctag.empty() && own.sync_token.empty());
  const CalendarInfo tagged = *li.FindCalendar("own", CalendarTags::kFilled);
  EXPECT_EQ(tagged.ctag, li.Calendars().front().ctag);
  EXPECT_FALSE(tagged.sync_token.empty());
  const std::size_t before = li.Objects(own, std::nullopt).size();
  const ObjectWrite first =
      li.Put(own, "a.ics", Event("uid-a", "20011217", "Visit"), {std::nullopt, true});
  EXPECT_TRUE(first.created);
  EXPECT_NE(li.FindCalendar("own", CalendarTags::kFilled)->ctag, tagged.ctag);
  PlanRepository plans(*db_);
  const std::vector<StoredPlan> day = plans.PlansOfDay(testing::kLi, DateTime::FromCivil(2001, 12, 17));
  ASSERT_EQ(day.size(), 1u);
  EXPECT_EQ(day.front().content, "Visit");
  // No kind named: the person's most used kind of place.
  EXPECT_TRUE(day.front().kind_id == 2 || day.front().kind_id == 4);

  const std::vector<ObjectTag> tags = li.Objects(own, std::nullopt);
  EXPECT_EQ(tags.size(), before + 1);
  const auto tag = std::find_if(tags.begin(), tags.end(),
                                [](const ObjectTag& t) { return t.name == "a.ics"; });
  ASSERT_NE(tag, tags.end());
  EXPECT_EQ(tag->etag, first.etag);
  const std::array names{std::string("a.ics"), std::string("missing.ics")};
  const std::vector<CalendarObject> fetched = li.Fetch(own, names);
  ASSERT_EQ(fetched.size(), 1u);
  EXPECT_EQ(fetched.front().etag, first.etag);
  EXPECT_NE(fetched.front().text.find("uid-a"), std::string::npos);

  const ObjectWrite second =
      li.Put(own, "a.ics", Event("uid-a", "20011218", "Visit 2"), {first.etag, false});
  EXPECT_FALSE(second.created);
  EXPECT_NE(second.etag, first.etag);
  const std::vector<StoredPlan> moved =
      plans.PlansOfDay(testing::kLi, DateTime::FromCivil(2001, 12, 18));
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_EQ(moved.front().id, day.front().id) << "a change keeps the plan's id";

  const std::string again = Event("uid-a", "20011219", "Visit 3");
  EXPECT_EQ(StatusOf([&] { li.Put(own, "a.ics", again, {first.etag, false}); }), 412);
  EXPECT_EQ(StatusOf([&] { li.Put(own, "a.ics", again, {std::nullopt, true}); }), 412);
  EXPECT_EQ(StatusOf([&] { li.Put(own, "new.ics", again, {std::string("*"), false}); }), 412);
  EXPECT_EQ(StatusOf([&] { li.Put(own, "b.ics", again, {}); }), 409);
  EXPECT_EQ(StatusOf([&] { li.Put(own, "../x.ics", Event("u", "20011219", "x"), {}); }), 400);
  EXPECT_EQ(StatusOf([&] { li.Put(own, "plan-999999.ics", Event("u", "20011219", "x"), {}); }),
            403)
      << "the name of a plan to come";
  const CalendarInfo zhang = *li.FindCalendar("person-1", CalendarTags::kLeftOut);
  EXPECT_EQ(StatusOf([&] { li.Put(zhang, "c.ics", Event("u", "20011219", "x"), {}); }), 403);
  EXPECT_EQ(StatusOf([&] { li.Remove(own, "a.ics", {first.etag, false}); }), 412);
  EXPECT_EQ(plans.PlansOfDay(testing::kLi, DateTime::FromCivil(2001, 12, 18)).size(), 1u)
      << "refused writes change nothing";

  li.Remove(own, "a.ics", {second.etag, false});
  EXPECT_TRUE(plans.PlansOfDay(testing::kLi, DateTime::FromCivil(2001, 12, 18)).empty());
  EXPECT_THROW(li.Remove(own, "a.ics", {}), Error);
  // The delete is undone like the editor's: the plan comes back on its own.
  const std::vector<DeletedPlan> deleted = plans.RecentlyDeleted(testing::kLi);
  ASSERT_EQ(deleted.size(), 1u);
  const PlanWrite restored = plans.Restore(testing::kLi, deleted.front().deleted_id, 20);
  ASSERT_NE(restored.plan_id, 0);
  const std::array restored_name{"plan-" + std::to_string(restored.plan_id) + ".ics"};
  EXPECT_EQ(li.Fetch(own, restored_name).size(), 1u);
  // The UID is free again once its object went.
  EXPECT_EQ(StatusOf([&] { li.Put(own, "b.ics", again, {}); }), 0);
}

// A series writes one plan per instance within the limits; a shorter rule
// keeps the ids of the plans that stay and deletes the rest; a full day or
// a day out of bounds refuses the whole object.
TEST_P(Calendars, SeriesAndLimits) {
  CalendarObjects li = For(testing::kLi);
  const CalendarInfo own = *li.FindCalendar("own", CalendarTags::kLeftOut);
  PlanRepository plans(*db_);
  const DateTime first = DateTime::FromCivil(2001, 12, 3);
  const DateTime last = DateTime::FromCivil(2001, 12, 7);
  li.Put(own, "s.ics", Event("series", "20011203", "Course", "RRULE:FREQ=DAILY;COUNT=3\r\n"), {});
  const std::vector<StoredPlan> three = plans.PlansBetween(testing::kLi, first, last);
  ASSERT_EQ(three.size(), 3u);
  li.Put(own, "s.ics", Event("series", "20011203", "Course", "RRULE:FREQ=DAILY;COUNT=2\r\n"), {});
  const std::vector<StoredPlan> two = plans.PlansBetween(testing::kLi, first, last);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].id, three[0].id);
  EXPECT_EQ(two[1].id, three[1].id);
  EXPECT_EQ(plans.RecentlyDeleted(testing::kLi).size(), 1u);

  settings_.max_plans_per_day = 1;
  CalendarObjects limited = For(testing::kLi);
  const feeds::ConditionError full = [&] {
    try {
      limited.Put(own, "f.ics",
                  Event("full", "20011203", "Other", "RRULE:FREQ=DAILY;COUNT=2\r\n"), {});
    } catch (const feeds::ConditionError& e) {
      return e;
    }
    return feeds::ConditionError("", 0, "");
  }();
  EXPECT_EQ(full.status(), 403);
  EXPECT_NE(std::string(full.what()).find("2001-12-03"), std::string::npos) << full.what();
  EXPECT_EQ(plans.PlansBetween(testing::kLi, first, last).size(), 2u) << "all or nothing";
  EXPECT_EQ(StatusOf([&] { li.Put(own, "o.ics", Event("old", "19991203", "Old"), {}); }), 403);
  EXPECT_EQ(li.Fetch(own, std::array{std::string("f.ics"), std::string("o.ics")}).size(), 0u);
}

// Sync: an editor's change and a delete show after the token they follow;
// a colleague's calendar shows shared plans only and changes of shared
// plans only; tokens of other sites, ahead or unreadable are refused.
TEST_P(Calendars, SyncFollowsEveryWriterAndColleaguesSeeShared) {
  CalendarObjects zhang = For(testing::kZhang);
  CalendarObjects li = For(testing::kLi);
  const CalendarInfo own = *zhang.FindCalendar("own", CalendarTags::kLeftOut);
  const CalendarInfo of_zhang = *li.FindCalendar("person-1", CalendarTags::kLeftOut);
  EXPECT_FALSE(of_zhang.writable);
  EXPECT_FALSE(li.FindCalendar("person-3", CalendarTags::kLeftOut))
      << "another department's person";
  const ObjectChanges all = zhang.ChangesSince(own, "");
  EXPECT_EQ(all.changed.size(), 2u);
  const ObjectChanges colleague_all = li.ChangesSince(of_zhang, "");
  ASSERT_EQ(colleague_all.changed.size(), 1u) << "only the shared plan";
  for (const CalendarObject& object :
       li.Fetch(of_zhang, std::array{colleague_all.changed.front().name})) {
    EXPECT_EQ(object.text.find("张共享例会"), std::string::npos) << "a colleague sees the place";
  }

  PlanRepository plans(*db_);
  const std::vector<StoredPlan> zhangs =
      plans.PlansBetween(testing::kZhang, DateTime::FromCivil(2001, 12, 1),
                         DateTime::FromCivil(2001, 12, 31));
  ASSERT_EQ(zhangs.size(), 2u);
  const StoredPlan& shared = zhangs[0].flag == 1 ? zhangs[0] : zhangs[1];
  const StoredPlan& hidden = zhangs[0].flag == 1 ? zhangs[1] : zhangs[0];
  PlanInput changed{*hidden.start, *hidden.end, *hidden.kind_id, *hidden.place_id,
                    hidden.detail, std::string("changed"), hidden.addition, 2};
  ASSERT_NE(plans.Update(testing::kZhang, hidden.id, changed, 20).plan_id, 0);
  const ObjectChanges own_after = zhang.ChangesSince(own, all.sync_token);
  ASSERT_EQ(own_after.changed.size(), 1u);
  EXPECT_EQ(own_after.changed.front().name, "plan-" + std::to_string(hidden.id) + ".ics");
  EXPECT_TRUE(li.ChangesSince(of_zhang, colleague_all.sync_token).changed.empty())
      << "a private change is not the colleague's";

  ASSERT_TRUE(plans.Remove(testing::kZhang, shared.id, DateTime::FromCivil(2001, 12, 20)));
  const ObjectChanges removed = li.ChangesSince(of_zhang, colleague_all.sync_token);
  EXPECT_EQ(removed.removed, std::vector<std::string>{"plan-" + std::to_string(shared.id) + ".ics"});
  EXPECT_NE(removed.sync_token, colleague_all.sync_token);
  EXPECT_TRUE(li.ChangesSince(of_zhang, removed.sync_token).removed.empty());

  // Pruned changes: older tokens no longer read, the current one still does.
  EXPECT_GT(PruneCalendarChanges(*db_, UtcNow().AddDays(kKeepCalendarChangeDays + 1)), 0);
  const ObjectChanges now = li.ChangesSince(of_zhang, removed.sync_token);
  EXPECT_TRUE(now.changed.empty() && now.removed.empty());
  EXPECT_EQ(now.sync_token, removed.sync_token);
  const std::string pruned = colleague_all.sync_token;
  const std::string ahead = MakeSyncToken(settings_.site_uri, kIdentity, 1000000);
  const std::string other = MakeSyncToken(settings_.site_uri, "ffffffffffff.ostrand", 1);
  for (const std::string& token : {pruned, ahead, other, std::string("http://x/dav/sync/")}) {
    try {
      zhang.ChangesSince(own, token);
      ADD_FAILURE() << token;
    } catch (const feeds::ConditionError& e) {
      EXPECT_EQ(e.condition(), "valid-sync-token");
    }
  }
}

// The editor's "every plan of the series": one change reaches each plan
// (ids kept), one delete removes the event, and a restored plan comes back
// as a plan of its own.
TEST_P(Calendars, EditorChangesAndDeletesAWholeSeries) {
  CalendarObjects li = For(testing::kLi);
  const CalendarInfo own = *li.FindCalendar("own", CalendarTags::kLeftOut);
  li.Put(own, "s.ics", Event("series", "20011203", "Course", "RRULE:FREQ=DAILY;COUNT=3\r\n"), {});
  PlanRepository plans(*db_);
  const std::vector<StoredPlan> three = plans.PlansBetween(
      testing::kLi, DateTime::FromCivil(2001, 12, 3), DateTime::FromCivil(2001, 12, 5));
  ASSERT_EQ(three.size(), 3u);
  const std::optional<PlanSeries> series = FindSeries(*db_, testing::kLi, three[1].id);
  ASSERT_TRUE(series);
  EXPECT_EQ(series->count, 3u);
  EXPECT_EQ(series->first_day, DateTime::FromCivil(2001, 12, 3));
  EXPECT_EQ(series->last_day, DateTime::FromCivil(2001, 12, 5));
  EXPECT_FALSE(FindSeries(*db_, testing::kLi, 3)) << "a plan of its own";

  PlanInput every{DateTime::FromCivil(2001, 12, 4, 14), DateTime::FromCivil(2001, 12, 4, 15),
                  1, 1, std::nullopt, std::string("Course, moved"), std::nullopt, 2};
  const PlanWrite write = UpdateSeries(*db_, zone_, testing::kLi, three[1].id, every,
                                       feeds::EventLimits{}, 20);
  EXPECT_EQ(write.plan_id, three[1].id);
  for (const StoredPlan& plan : three) {
    const std::optional<StoredPlan> now = plans.FindPlan(testing::kLi, plan.id);
    ASSERT_TRUE(now);
    EXPECT_EQ(now->content, "Course, moved");
    EXPECT_EQ(now->flag, 2);
  }
  PlanInput other = every;
  other.content = "Other";
  const std::int64_t other_id = plans.Add(testing::kLi, other, 20).plan_id;
  every.content = "Refused";
  EXPECT_EQ(UpdateSeries(*db_, zone_, testing::kLi, three[1].id, every, feeds::EventLimits{}, 1)
                .full_day,
            DateTime::FromCivil(2001, 12, 4))
      << "the limit holds for every plan";
  EXPECT_EQ(plans.FindPlan(testing::kLi, three[0].id)->content, "Course, moved") << "all or none";
  ASSERT_TRUE(plans.Remove(testing::kLi, other_id, DateTime::FromCivil(2001, 12, 19)));

  const std::optional<std::int64_t> entry = RemoveSeries(*db_, testing::kLi, three[0].id,
                                                         DateTime::FromCivil(2001, 12, 20));
  ASSERT_TRUE(entry);
  EXPECT_TRUE(plans.PlansBetween(testing::kLi, DateTime::FromCivil(2001, 12, 3),
                                 DateTime::FromCivil(2001, 12, 5))
                  .empty());
  EXPECT_TRUE(li.Fetch(own, std::array{std::string("s.ics")}).empty());
  const PlanWrite restored = plans.Restore(testing::kLi, *entry, 20);
  ASSERT_NE(restored.plan_id, 0);
  EXPECT_FALSE(FindSeries(*db_, testing::kLi, restored.plan_id));
  EXPECT_EQ(li.Fetch(own, std::array{"plan-" + std::to_string(restored.plan_id) + ".ics"}).size(),
            1u);
}

INSTANTIATE_TEST_SUITE_P(Backends, Calendars,
                         ::testing::Values(TestBackend::kSqlite, TestBackend::kPostgresql),
                         test_support::BackendName);

// The day editor over HTTP: a plan of a series says so and offers the
// choice; "every plan" reaches the whole series, on save and on delete.
TEST(EditorSeries, TheChoiceReachesEveryPlanOfTheSeries) {
  const testing::TempDir dir;
  const std::string path = dir.File("schedule.db");
  testing::WriteFixture(path);
  std::vector<std::int64_t> ids;
  {
    const std::unique_ptr<store::Connection> db = store::Connect("sqlite:" + path);
    const feeds::TimeZone zone = feeds::TimeZone::Named("UTC");
    CalendarSettings settings;
    settings.uid_domain = kIdentity;
    settings.first_day = DateTime::FromCivil(2001, 1, 1);
    settings.last_day = DateTime::FromCivil(2002, 12, 31);
    CalendarObjects li(*db, zone, settings, testing::kLi);
    li.Put(*li.FindCalendar("own", CalendarTags::kLeftOut), "s.ics",
           Event("series", "20011203", "Course", "RRULE:FREQ=DAILY;COUNT=3\r\n"), {});
    for (const StoredPlan& plan : PlanRepository(*db).PlansBetween(
             testing::kLi, DateTime::FromCivil(2001, 12, 3), DateTime::FromCivil(2001, 12, 5))) {
      ids.push_back(plan.id);
    }
  }
  ASSERT_EQ(ids.size(), 3u);
  const testing::RunningServer server(testing::TestOptions(path));
  const auto li = testing::SignedIn(server.port(), testing::kLi);
  const std::string editor = "/schedule/manage.asp?personID=2&dt=2001-12-04";
  const testing::Result day = li->Get(editor + "&planID=" + std::to_string(ids[1]));
  ASSERT_TRUE(day);
  EXPECT_TRUE(test_support::Contains(day->body, "<span class=\"series\">")) << day->body;
  EXPECT_TRUE(test_support::Contains(day->body, "name=\"scope\" value=\"series\""));
  const std::string csrf = testing::Browser::FieldValue(day->body, "csrf");
  const testing::Result saved = li->Post(editor, {{"csrf", csrf},
                                                  {"action", "save"},
                                                  {"planID", std::to_string(ids[1])},
                                                  {"start", "2001-12-04T13:00"},
                                                  {"end", "2001-12-04T14:00"},
                                                  {"kind", "1"},
                                                  {"place", "1"},
                                                  {"content", "Every day"},
                                                  {"flag", "1"},
                                                  {"scope", "series"}});
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->status, 303) << saved->body;
  const std::unique_ptr<store::Connection> db = store::Connect("sqlite:" + path);
  PlanRepository plans(*db);
  for (const std::int64_t id : ids) {
    const std::optional<StoredPlan> plan = plans.FindPlan(testing::kLi, id);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->content, "Every day");
    EXPECT_EQ(plan->start->hour(), 13) << "the new time of day reaches every plan";
  }
  const testing::Result deleted = li->Post(
      editor, {{"csrf", csrf}, {"action", "delete"}, {"planID", std::to_string(ids[0])},
               {"scope", "series"}});
  ASSERT_TRUE(deleted);
  EXPECT_EQ(deleted->status, 303) << deleted->body;
  for (const std::int64_t id : ids) EXPECT_FALSE(plans.FindPlan(testing::kLi, id));
}

TEST(SyncTokens, ReadOnlyTheSitesOwnNumbers) {
  const std::string token = MakeSyncToken("https://a.example/", kIdentity, 42);
  EXPECT_EQ(token, "https://a.example/dav/sync/0a1b2c3d4e5f.ostrand/42");
  EXPECT_EQ(ReadSyncToken(token, kIdentity), 42);
  // Another address of the same site reads; anything else does not.
  EXPECT_EQ(ReadSyncToken("http://other/dav/sync/0a1b2c3d4e5f.ostrand/7", kIdentity), 7);
  for (const std::string_view bad :
       {"", "42", "https://a.example/dav/sync/0a1b2c3d4e5f.ostrand/", "https://a/dav/sync/0a1b2c3d4e5f.ostrand/4x",
        "https://a/dav/sync/0a1b2c3d4e5f.ostrand/-1", "https://a/dav/sync/0a1b2c3d4e5f.ostrandX/1",
        "https://a/dav/sync/0a1b2c3d4e5f.ostrand/99999999999999999999"}) {
    EXPECT_FALSE(ReadSyncToken(bad, kIdentity)) << bad;
  }
}

}  // namespace
}  // namespace ostrand::web
