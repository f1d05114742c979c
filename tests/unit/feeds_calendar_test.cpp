// Calendar feeds: what each view shows, the calendar's form as libical and
// Python's icalendar read it, entity tags, ranges, and reading feeds and
// other calendar files back.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <vector>
#include <string>

#include "core/error.h"
#include "feeds/feed_range.h"
#include "feeds/feed_source.h"
#include "feeds/ical_feed.h"
#include "feeds/ical_reader.h"
#include "feeds/time_zone.h"
#include "python_check.h"
#include "store/demo_data.h"
#include "store/demo_database.h"
#include "store/plan_store.h"
#include "test_support.h"

namespace ostrand::feeds {
namespace {

using plans::PersonPlans;
using plans::PlanRecord;
using test_support::ErrorOf;

DateTime At(int y, int m, int d, int h = 0, int min = 0) {
  return DateTime::FromCivil(y, m, d, h, min);
}

// Texts that RFC 5545 escapes, a line break, and more than one line's worth
// of Chinese, so that libical folds inside the text.
const std::string kTricky = "座谈会, 议程; 预算\\附件\n第二项" + std::string(40, 'x') +
                            "很长的中文内容很长的中文内容很长的中文内容很长的中文内容";

PersonPlans Person() {
  PlanRecord shared;
  shared.id = 11;
  shared.start = At(2001, 12, 5, 9);
  shared.end = At(2001, 12, 5, 11, 30);
  shared.kind_id = 2;
  shared.kind = "北京";
  shared.place = "财政部";
  shared.detail = "二号楼";
  shared.content = kTricky;
  shared.addition = "带材料";
  shared.last_modified = At(2001, 11, 30, 8);
  shared.revision = 3;

  PlanRecord trip = shared;  // over three days, one event
  trip.id = 12;
  trip.start = At(2001, 12, 10, 8);
  trip.end = At(2001, 12, 12, 18);
  trip.kind = "京外";
  trip.place = "上海";
  trip.detail = "";
  trip.content = "调研";
  trip.addition = "";
  trip.last_modified.reset();
  trip.revision.reset();

  PlanRecord secret = shared;
  secret.id = 13;
  secret.start = At(2001, 12, 6, 14);
  secret.end = At(2001, 12, 6, 15);
  secret.place = "医院";
  secret.detail = "SECRET-DETAIL";
  secret.content = "SECRET-CONTENT";
  secret.addition = "SECRET-ADDITION";
  secret.shared = false;

  PlanRecord outside = shared;  // outside the range
  outside.id = 14;
  outside.start = At(2003, 1, 1, 9);
  outside.end = At(2003, 1, 1, 10);
  return {7, "张三", {shared, secret, trip, outside}};
}

FeedRequest Request(FeedView view) {
  FeedRequest r;
  r.view = view;
  r.persons = {Person()};
  r.range = DefaultRange(At(2001, 12, 1));
  r.calendar_name = "张三的计划";
  r.uid_domain = "plans.example.org";
  return r;
}

const TimeZone& Shanghai() {
  static const TimeZone zone = TimeZone::Named("Asia/Shanghai");
  return zone;
}

// The calendar's lines put back together (RFC 5545 folding undone).
std::string Unfolded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 3, "\r\n ") == 0) {
      i += 2;
      continue;
    }
    out += text[i];
  }
  return out;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(CalendarFeed, EachViewShowsWhatThePagesShow) {
  const std::string own = Unfolded(WriteCalendar(Request(FeedView::kOwn), Shanghai()));
  EXPECT_EQ(Count(own, "BEGIN:VEVENT"), 3u);  // the plan of 2003 lies outside the range
  EXPECT_EQ(Count(own, "TRANSP:TRANSPARENT"), 3u);
  EXPECT_NE(own.find("BEGIN:VTIMEZONE\r\nTZID:Asia/Shanghai\r\n"), std::string::npos);
  EXPECT_NE(own.find("UID:plan-11-own@plans.example.org\r\n"
                     "DTSTAMP:20011130T080000Z\r\n"
                     "LAST-MODIFIED:20011130T080000Z\r\n"
                     "SEQUENCE:3\r\n"
                     "DTSTART;TZID=Asia/Shanghai:20011205T090000\r\n"
                     "DTEND;TZID=Asia/Shanghai:20011205T113000\r\n"),
            std::string::npos);
  // A plan without a last-modified time is stamped with its start, never
  // with the time of writing; three days, one event.
  EXPECT_NE(own.find("UID:plan-12-own@plans.example.org\r\nDTSTAMP:20011210T000000Z\r\n"
                     "DTSTART;TZID=Asia/Shanghai:20011210T080000\r\n"
                     "DTEND;TZID=Asia/Shanghai:20011212T180000\r\n"),
            std::string::npos);
  EXPECT_NE(own.find("SUMMARY:SECRET-CONTENT"), std::string::npos);
  EXPECT_NE(own.find("LOCATION:医院 SECRET-DETAIL"), std::string::npos);
  EXPECT_NE(own.find("CLASS:PRIVATE"), std::string::npos);

  const std::string colleague = Unfolded(WriteCalendar(Request(FeedView::kColleague), Shanghai()));
  EXPECT_EQ(Count(colleague, "BEGIN:VEVENT"), 2u);
  EXPECT_EQ(colleague.find("SECRET"), std::string::npos);
  EXPECT_EQ(colleague.find("医院"), std::string::npos);
  EXPECT_EQ(colleague.find("plan-13"), std::string::npos);
  for (const char* hidden : {"\nLOCATION", "DESCRIPTION", "CATEGORIES", "X-OSTRAND", "调研"}) {
    EXPECT_EQ(colleague.find(hidden), std::string::npos) << hidden;
  }
  EXPECT_NE(colleague.find("SUMMARY:财政部\r\n"), std::string::npos);

  const std::string department =
      Unfolded(WriteCalendar(Request(FeedView::kDepartment), Shanghai()));
  EXPECT_EQ(Count(department, "BEGIN:VEVENT"), 2u);
  EXPECT_EQ(department.find("SECRET"), std::string::npos);
  EXPECT_NE(department.find("UID:plan-12-dept@plans.example.org"), std::string::npos);
  EXPECT_NE(department.find("SUMMARY:张三: 上海\r\n"), std::string::npos);

  FeedRequest two = Request(FeedView::kOwn);
  two.persons.push_back(Person());
  EXPECT_EQ(ErrorOf([&] { WriteCalendar(two, Shanghai()); }),
            "a personal feed shows one person, not 2");
  FeedRequest bad_domain = Request(FeedView::kOwn);
  bad_domain.uid_domain = "a b";
  EXPECT_EQ(ErrorOf([&] { WriteCalendar(bad_domain, Shanghai()); }), "invalid UID domain 'a b'");
}

TEST(CalendarFeed, PythonsIcalendarReadsTheSameEvents) {
  test_support::TempDir dir;
  const std::string path = dir.File("own.ics");
  FeedRequest request = Request(FeedView::kOwn);
  request.persons[0].plans[0].addition = "带材料\x01\xff";  // as a database may hold it
  std::ofstream(path, std::ios::binary) << WriteCalendar(request, Shanghai());
  const nlohmann::json feed = test_support::RunPythonCheck("ical_events.py", {path});
  ASSERT_TRUE(feed.is_object());
  EXPECT_EQ(feed["name"], "张三的计划");
  EXPECT_EQ(feed["zones"], nlohmann::json::array({"Asia/Shanghai"}));
  ASSERT_EQ(feed["events"].size(), 3u);
  const nlohmann::json& first = feed["events"][0];
  EXPECT_EQ(first["uid"], "plan-11-own@plans.example.org");
  EXPECT_EQ(first["summary"], kTricky);  // escaping and folding undone
  EXPECT_EQ(first["location"], "财政部 二号楼");
  EXPECT_EQ(first["description"], "带材料\uFFFD");  // control left out, bad byte replaced
  EXPECT_EQ(first["transp"], "TRANSPARENT");
  EXPECT_EQ(first["class"], "PUBLIC");
  EXPECT_EQ(first["sequence"], 3);
  EXPECT_EQ(first["start"]["at"], "2001-12-05T09:00:00+08:00");
  EXPECT_EQ(first["end"]["at"], "2001-12-05T11:30:00+08:00");
  EXPECT_EQ(feed["events"][1]["class"], "PRIVATE");
  EXPECT_EQ(feed["events"][2]["end"]["at"], "2001-12-12T18:00:00+08:00");

  // In UTC the times carry "Z" and no VTIMEZONE is needed.
  std::ofstream(path, std::ios::binary)
      << WriteCalendar(Request(FeedView::kColleague), TimeZone::Named("UTC"));
  const nlohmann::json utc = test_support::RunPythonCheck("ical_events.py", {path});
  ASSERT_TRUE(utc.is_object());
  EXPECT_TRUE(utc["zones"].empty());
  EXPECT_EQ(utc["events"][0]["start"]["at"], "2001-12-05T09:00:00+00:00");
}

TEST(CalendarFeed, OwnFeedReadsBackAsTheSamePlans) {
  const FeedRequest request = Request(FeedView::kOwn);
  const std::string feed = WriteCalendar(request, Shanghai());
  const plans::ImportResult back = ReadCalendar(feed, Shanghai());
  EXPECT_TRUE(back.problems.empty()) << back.problems.front().reason;
  ASSERT_EQ(back.plans.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    PlanRecord expected = request.persons[0].plans[i];
    expected.id = 0;
    expected.kind_id.reset();
    expected.last_modified.reset();
    expected.revision.reset();
    // Line breaks come back as spaces, as the day editor would store them.
    EXPECT_EQ(back.plans[i].flattened, plans::FlattenLineBreaks(expected)) << i;
    EXPECT_EQ(back.plans[i].plan, expected) << i;
  }
  // The line of its BEGIN:VEVENT, after the VTIMEZONE.
  EXPECT_EQ(back.plans[0].line, 1 + Count(feed.substr(0, feed.find("BEGIN:VEVENT")), "\n"));
}

// The physical lines of a calendar, without their CR LF.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find("\r\n", at);
    lines.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 2;
  }
  return lines;
}

TEST(CalendarFeed, OwnPropertiesAreTextEscapedAndFolded) {
  const std::string feed = WriteCalendar(Request(FeedView::kOwn), Shanghai());
  // Readers that take X- values as lists cut a raw comma or semicolon.
  EXPECT_NE(Unfolded(feed).find("\r\nX-OSTRAND-CONTENT:座谈会\\, 议程\\; 预算\\\\附件\\n第二项"),
            std::string::npos);
  EXPECT_NE(Unfolded(feed).find("\r\nX-WR-CALNAME:张三的计划\r\n"), std::string::npos);
  for (const std::string& line : Lines(feed)) {
    EXPECT_LE(line.size(), 75u) << line;
    ASSERT_FALSE(line.empty());
    const std::size_t first = line[0] == ' ' ? 1 : 0;
    ASSERT_LT(first, line.size()) << "an empty continuation";
    EXPECT_NE(static_cast<unsigned char>(line[first]) & 0xC0, 0x80) << "a split character";
  }

  // A fold never parts a backslash from what it escapes.
  for (const int lead : {0, 1, 2}) {
    std::string text;
    std::string line = "X-A:" + std::string(static_cast<std::size_t>(lead), 'x');
    for (int i = 0; i < 60; ++i) AppendEscapedText(line, ",\\");
    AppendFoldedLine(text, line);
    for (const std::string& piece : Lines(text)) {
      std::size_t backslashes = 0;
      while (backslashes < piece.size() && piece[piece.size() - 1 - backslashes] == '\\') {
        ++backslashes;
      }
      EXPECT_EQ(backslashes % 2, 0u) << piece;
    }
    EXPECT_EQ(Unfolded(text), line + "\r\n");
  }
}

TEST(CalendarFeed, EntityTagFollowsWhatTheViewShows) {
  const FeedRequest own = Request(FeedView::kOwn);
  const std::string tag = CalendarETag(own, Shanghai());
  EXPECT_EQ(tag.size(), 36u);
  EXPECT_EQ(tag.rfind("W/\"", 0), 0u);

  FeedRequest revised = own;
  revised.persons[0].plans[0].revision = 4;
  EXPECT_NE(CalendarETag(revised, Shanghai()), tag);
  FeedRequest moved = own;
  moved.range.last = moved.range.last.AddDays(1);
  EXPECT_NE(CalendarETag(moved, Shanghai()), tag);
  EXPECT_NE(CalendarETag(own, TimeZone::Named("Europe/Berlin")), tag);

  // A change of a private plan shows in the own tag only.
  FeedRequest colleague = Request(FeedView::kColleague);
  FeedRequest secret_changed = colleague;
  secret_changed.persons[0].plans[1].content = "changed";
  EXPECT_EQ(CalendarETag(secret_changed, Shanghai()), CalendarETag(colleague, Shanghai()));
  secret_changed.view = FeedView::kOwn;
  EXPECT_NE(CalendarETag(secret_changed, Shanghai()), tag);

  EXPECT_EQ(LatestChange(colleague), std::nullopt);  // the trip has no time
  colleague.persons[0].plans[2].last_modified = At(2001, 12, 1, 7);
  EXPECT_EQ(LatestChange(colleague), At(2001, 12, 1, 7));
}

TEST(CalendarFeed, RangesAndZones) {
  EXPECT_EQ(DefaultRange(At(2001, 12, 5, 14)), (FeedRange{At(2001, 9, 5), At(2002, 12, 5)}));
  EXPECT_EQ(DefaultRange(At(9999, 6, 30)).last, At(9999, 12, 31));
  EXPECT_EQ(DefaultRange(At(100, 2, 1)).first, At(100, 1, 1));
  EXPECT_EQ(RequestedRange("2001-01-01", std::nullopt, At(2001, 12, 5)),
            (FeedRange{At(2001, 1, 1), At(2002, 12, 5)}));
  EXPECT_EQ(RequestedRange("2001-1-1", "2004-1-1", At(2001, 12, 5)).last, At(2004, 1, 1));
  EXPECT_EQ(ErrorOf([] { RequestedRange("2001-1-1", "2004-1-2", At(2001, 12, 5)); }),
            "the range 2001-01-01 to 2004-01-02 is longer than 36 months");
  EXPECT_EQ(ErrorOf([] { RequestedRange("2002-1-1", "2001-1-1", At(2001, 12, 5)); }),
            "the range starts (2002-01-01) after it ends (2001-01-01)");
  EXPECT_EQ(ErrorOf([] { RequestedRange("tomorrow", std::nullopt, At(2001, 12, 5)); }),
            "cannot read the from date 'tomorrow' (write it as 2001-12-05)");

  EXPECT_EQ(TimeZone::Named("Asia/Shanghai").name(), "Asia/Shanghai");
  EXPECT_TRUE(TimeZone::Named("utc").is_utc());
  for (const char* bad : {"Nowhere/Zone", "../../etc/passwd", "/usr/share/zoneinfo/UTC", ""}) {
    EXPECT_EQ(ErrorOf([&] { TimeZone::Named(bad); }),
              "unknown time zone '" + std::string(bad) + "'");
  }
  EXPECT_FALSE(TimeZone::System().name().empty());
}

TEST(CalendarReader, ReportsEveryEventItSkipsWithItsLine) {
  const std::string ics =
      "BEGIN:VCALENDAR\r\n"                                          // 1
      "VERSION:2.0\r\n"                                              // 2
      "BEGIN:VEVENT\r\n"                                             // 3 UTC, converted
      "DTSTART:20011205T010000Z\r\nDTEND:20011205T020000Z\r\n"       // 4, 5
      "SUMMARY:会议\r\nLOCATION:财政部\r\nCATEGORIES:北京,其他\r\n"  // 6-8
      "CLASS:CONFIDENTIAL\r\nEND:VEVENT\r\n"                         // 9, 10
      "BEGIN:VEVENT\r\nSUMMARY:no start\r\nEND:VEVENT\r\n"           // 11-13
      "BEGIN:VEVENT\r\nDTSTART:20011205T100000\r\n"                  // 14, 15
      "DTEND:20011205T090000\r\nEND:VEVENT\r\n"                      // 16, 17
      "BEGIN:VEVENT\r\nDTSTART;TZID=Mars/Base:20011205T100000\r\nEND:VEVENT\r\n"       // 18-20
      "BEGIN:VEVENT\r\nDTSTART:20011205T100000\r\nRRULE:FREQ=DAILY\r\nEND:VEVENT\r\n"  // 21-24
      "BEGIN:VTODO\r\nSUMMARY:task\r\nEND:VTODO\r\n"                                   // 25-27
      "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20011224\r\n"              // 28, 29 all day, two days
      "DTEND;VALUE=DATE:20011226\r\nSUMMARY:假期\r\nEND:VEVENT\r\n"  // 30-32
      "BEGIN:VEVENT\r\nDTSTART:20011205T100000\r\nFOO\r\nEND:VEVENT\r\n"   // 33-36
      "BEGIN:VEVENT\r\nDTSTART;TZID=America/New_York:20011205T200000\r\n"  // 37, 38
      "SUMMARY:call\r\nEND:VEVENT\r\n"                                     // 39, 40
      "BEGIN:VEVENT\r\nDTSTART:20011205T100000\r\n";                       // 41, 42 never closed
  const plans::ImportResult r = ReadCalendar(ics, Shanghai());

  ASSERT_EQ(r.plans.size(), 3u);
  EXPECT_EQ(r.plans[0].line, 3);
  EXPECT_EQ(r.plans[0].plan.start, At(2001, 12, 5, 9));
  EXPECT_EQ(r.plans[0].plan.end, At(2001, 12, 5, 10));
  EXPECT_EQ(r.plans[0].plan.content, "会议");
  EXPECT_EQ(r.plans[0].plan.place, "财政部");
  EXPECT_EQ(r.plans[0].plan.kind, "北京");
  EXPECT_FALSE(r.plans[0].plan.shared);
  EXPECT_EQ(r.plans[1].plan.start, At(2001, 12, 24));
  EXPECT_EQ(r.plans[1].plan.end, At(2001, 12, 25, 23, 59));
  EXPECT_EQ(r.plans[2].plan.start, At(2001, 12, 6, 9));  // 20:00 in New York

  std::vector<std::pair<int, std::string>> problems;
  for (const plans::ImportProblem& p : r.problems) problems.emplace_back(p.line, p.reason);
  const std::vector<std::pair<int, std::string>> expected = {
      {11, "the event has no start (DTSTART)"},
      {14, "ends (2001-12-5 9:00:00) before it starts (2001-12-5 10:00:00)"},
      {19, "unknown time zone 'Mars/Base' in DTSTART"},
      {23, "a recurring event: only single events are imported"},
      {25, "a VTODO is no event: not imported"},
      {33,
       "libical cannot read the event: Got a data line, but could not find a property name "
       "or component begin tag: FOO"},
      {41, "BEGIN:VEVENT has no END:VEVENT"}};
  EXPECT_EQ(problems, expected);

  const plans::ImportResult none = ReadCalendar("hello\nworld\n", Shanghai());
  EXPECT_TRUE(none.plans.empty());
  ASSERT_EQ(none.problems.size(), 1u);
  EXPECT_EQ(none.problems[0].line, 1);
}

// Over the whole demo database: the feed of a colleague (what every other
// person of the department may subscribe to) carries shared plans and
// their place names only, and so does the department feed.
TEST(CalendarFeed, DemoColleagueFeedsCarryNoPrivateText) {
  test_support::TempDir dir;
  const DateTime today = At(2026, 6, 15);
  const store::DemoData demo = store::GenerateDemoData(7, today);
  store::WriteDemoDatabase(demo, dir.File("demo.db"), false);
  store::PlanStore db;
  db.Open("sqlite:" + dir.File("demo.db"));

  std::set<std::int64_t> shared_ids;
  std::set<std::string> place_names;
  for (const store::DemoPlan& p : demo.plans) {
    if (p.flag_id == store::kSharedPlanFlag) shared_ids.insert(p.id);
  }
  for (const store::DemoPlace& p : demo.places) place_names.insert(p.name);
  const auto check = [&](const std::string& feed, const std::string& who) {
    std::size_t events = 0;
    for (std::size_t at = feed.find("UID:plan-"); at != std::string::npos;
         at = feed.find("UID:plan-", at + 1), ++events) {
      EXPECT_TRUE(shared_ids.contains(std::stoll(feed.substr(at + 9)))) << who;
    }
    const plans::ImportResult back = ReadCalendar(feed, Shanghai());
    EXPECT_EQ(back.plans.size(), events) << who;
    for (const plans::ImportedPlan& p : back.plans) {
      EXPECT_EQ(p.plan.place + p.plan.detail + p.plan.addition + p.plan.kind, "") << who;
      const std::string& summary = p.plan.content;
      EXPECT_TRUE(place_names.contains(
          summary.substr(summary.find(": ") == std::string::npos ? 0 : summary.find(": ") + 2)))
          << who << ": " << summary;
    }
  };

  const FeedRange range = DefaultRange(today);
  std::set<std::int64_t> systems;
  for (const store::DemoPerson& person : demo.persons) {
    systems.insert(person.system_id);
    const std::optional<PersonPlans> shared =
        LoadPerson(db, person.id, FeedView::kColleague, range);
    ASSERT_TRUE(shared);
    for (const PlanRecord& plan : shared->plans) EXPECT_TRUE(plan.shared);
    // The writer leaves out private plans even when it is given them.
    FeedRequest request;
    request.view = FeedView::kColleague;
    request.persons = {*LoadPerson(db, person.id, FeedView::kOwn, range)};
    request.range = range;
    check(WriteCalendar(request, Shanghai()), person.name);
  }
  for (const std::int64_t system : systems) {
    FeedRequest request;
    request.view = FeedView::kDepartment;
    request.persons =
        LoadDepartment(db, Value::Double(static_cast<double>(system)), Value::Text("1=1"), range);
    request.range = range;
    EXPECT_FALSE(request.persons.empty());
    check(WriteCalendar(request, Shanghai()), "system " + std::to_string(system));
  }
  EXPECT_EQ(LoadPerson(db, 999999, FeedView::kOwn, range), std::nullopt);
}

}  // namespace
}  // namespace ostrand::feeds
