// Calendar objects of calendar programs: what phones and desktop clients
// put becomes plans, plans changed in the editor go back into the text, the
// refusals, and hostile texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "feeds/event_object.h"
#include "feeds/ical_feed.h"
#include "feeds/time_zone.h"

namespace ostrand::feeds {
namespace {

using plans::PlanRecord;

DateTime At(int y, int m, int d, int h = 0, int min = 0) {
  return DateTime::FromCivil(y, m, d, h, min);
}

const TimeZone& Shanghai() {
  static const TimeZone zone = TimeZone::Named("Asia/Shanghai");
  return zone;
}

std::string Calendar(const std::string& body) {
  std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//client//EN\r\n";
  for (std::size_t at = 0; at < body.size();) {
    const std::size_t end = body.find('\n', at);
    text += body.substr(at, end - at) + "\r\n";
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return text + "END:VCALENDAR\r\n";
}

// A phone's whole-day event of two days.
const std::string kAllDay = Calendar(
    "BEGIN:VEVENT\nUID:allday-1@phone\nDTSTAMP:20261201T100000Z\n"
    "DTSTART;VALUE=DATE:20261210\nDTEND;VALUE=DATE:20261212\nSUMMARY:In town\n"
    "CATEGORIES:Business trip,Beijing\nEND:VEVENT");

// A desktop client's meeting in New York, with the zone's definition.
const std::string kNewYork = Calendar(
    "BEGIN:VTIMEZONE\nTZID:America/New_York\n"
    "BEGIN:DAYLIGHT\nTZOFFSETFROM:-0500\nTZOFFSETTO:-0400\nTZNAME:EDT\n"
    "DTSTART:19700308T020000\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\nEND:DAYLIGHT\n"
    "BEGIN:STANDARD\nTZOFFSETFROM:-0400\nTZOFFSETTO:-0500\nTZNAME:EST\n"
    "DTSTART:19701101T020000\nRRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\nEND:STANDARD\n"
    "END:VTIMEZONE\n"
    "BEGIN:VEVENT\nUID:ny-1@desktop\nDTSTAMP:20261201T100000Z\n"
    "DTSTART;TZID=America/New_York:20261210T090000\n"
    "DTEND;TZID=America/New_York:20261210T103000\n"
    "SUMMARY:Budget review\nLOCATION:Room 5\nCLASS:PRIVATE\nEND:VEVENT");

// A weekly series named by an IANA TZID: one week left out, one moved.
const std::string kWeekly = Calendar(
    "BEGIN:VEVENT\nUID:weekly-1@client\nDTSTAMP:20261201T100000Z\n"
    "DTSTART;TZID=Asia/Shanghai:20261207T090000\nDTEND;TZID=Asia/Shanghai:20261207T100000\n"
    "RRULE:FREQ=WEEKLY;COUNT=4\nEXDATE;TZID=Asia/Shanghai:20261214T090000\n"
    "SUMMARY:Stand-up\nX-OSTRAND-KIND:Office\nX-OSTRAND-PLACE:HQ\nEND:VEVENT\n"
    "BEGIN:VEVENT\nUID:weekly-1@client\nDTSTAMP:20261201T100000Z\n"
    "RECURRENCE-ID;TZID=Asia/Shanghai:20261221T090000\n"
    "DTSTART;TZID=Asia/Shanghai:20261221T140000\nDTEND;TZID=Asia/Shanghai:20261221T150000\n"
    "SUMMARY:Stand-up (moved)\nX-OSTRAND-KIND:Office\nX-OSTRAND-PLACE:HQ\nEND:VEVENT");

// An invitation with an alarm, attendees and a client's own property.
const std::string kInvitation = Calendar(
    "BEGIN:VEVENT\nUID:invite-1@mail\nDTSTAMP:20261201T100000Z\n"
    "DTSTART:20261210T010000Z\nDURATION:PT2H\nSUMMARY:Planning\n"
    "DESCRIPTION:Agenda:\\nbudget\\, staff\n"
    "ORGANIZER;CN=Li Lei:mailto:li@example.com\n"
    "ATTENDEE;PARTSTAT=ACCEPTED;CN=Han Meimei:mailto:han@example.com\n"
    "X-CLIENT-COLOR:#ff0000\n"
    "BEGIN:VALARM\nACTION:DISPLAY\nDESCRIPTION:Reminder\nTRIGGER:-PT15M\nEND:VALARM\n"
    "END:VEVENT");

EventObject Read(const std::string& text, const EventLimits& limits = {}) {
  return ReadEventObject(text, Shanghai(), limits);
}

std::string Event(const std::string& lines) {
  return Calendar("BEGIN:VEVENT\nUID:x@test\nDTSTAMP:20261201T100000Z\n" + lines + "\nEND:VEVENT");
}

TEST(EventObject, ReadsWhatClientsSend) {
  const EventObject all_day = Read(kAllDay);
  EXPECT_EQ(all_day.uid, "allday-1@phone");
  EXPECT_FALSE(all_day.recurring);
  ASSERT_EQ(all_day.instances.size(), 1u);
  const PlanRecord& day = all_day.instances[0].plan;
  EXPECT_EQ(all_day.instances[0].recurrence_id, "");
  EXPECT_EQ(day.start, At(2026, 12, 10));
  EXPECT_EQ(day.end, At(2026, 12, 11, 23, 59));
  EXPECT_EQ(day.kind, "Business trip");
  EXPECT_EQ(day.place, "Beijing");
  EXPECT_EQ(day.content, "In town");
  EXPECT_TRUE(day.shared);
  EXPECT_EQ(all_day.master, day);

  // 9:00 EST is 22:00 in Shanghai.
  const PlanRecord ny = Read(kNewYork).instances.at(0).plan;
  EXPECT_EQ(ny.start, At(2026, 12, 10, 22));
  EXPECT_EQ(ny.end, At(2026, 12, 10, 23, 30));
  EXPECT_EQ(ny.detail, "Room 5");
  EXPECT_EQ(ny.kind, "");
  EXPECT_FALSE(ny.shared);

  const EventObject weekly = Read(kWeekly);
  EXPECT_TRUE(weekly.recurring);
  ASSERT_EQ(weekly.instances.size(), 3u);
  EXPECT_EQ(weekly.instances[0].recurrence_id, "20261207T010000Z");
  EXPECT_EQ(weekly.instances[1].recurrence_id, "20261221T010000Z");
  EXPECT_EQ(weekly.instances[1].plan.start, At(2026, 12, 21, 14));
  EXPECT_EQ(weekly.instances[1].plan.content, "Stand-up (moved)");
  EXPECT_EQ(weekly.instances[2].plan.start, At(2026, 12, 28, 9));
  EXPECT_EQ(weekly.instances[2].plan.kind, "Office");
  EXPECT_EQ(weekly.instances[2].plan.place, "HQ");
  EXPECT_EQ(weekly.master.start, At(2026, 12, 7, 9));

  const EventObject invite = Read(kInvitation);
  const PlanRecord& planning = invite.instances.at(0).plan;
  EXPECT_EQ(planning.start, At(2026, 12, 10, 9));
  EXPECT_EQ(planning.end, At(2026, 12, 10, 11));
  EXPECT_EQ(planning.addition, "Agenda: budget, staff");
  for (const char* kept : {"BEGIN:VALARM", "TRIGGER:-PT15M", "ATTENDEE;", "ORGANIZER;",
                           "X-CLIENT-COLOR:#ff0000", "DURATION:PT2H"}) {
    EXPECT_NE(invite.kept.find(kept), std::string::npos) << kept;
  }
}

TEST(EventObject, RoundTripsAndEditorChanges) {
  for (const std::string* text : {&kAllDay, &kNewYork, &kWeekly, &kInvitation}) {
    const EventObject read = Read(*text);
    const std::string written = WriteEventObject(read.kept, read.instances, Shanghai());
    // Nothing changed: the client gets its text back as it was kept.
    EXPECT_EQ(written, read.kept);
    EXPECT_EQ(Read(written).instances, read.instances);
  }

  // Texts that a calendar cannot hold as they are (a comma in a name, a line
  // break at an end) read back as they were written.
  for (const std::string x : {"X-OSTRAND-KIND:Office\rd,", "X-OSTRAND-KIND:\r Out\nX-OSTRAND-PLACE:A,B",
                              "SUMMARY:Stand-up\xC2\x85", "RRULE:FREQ=DAILY;COUNT=2\nCLASS:X-TEAM"}) {
    const EventObject odd = Read(Event("DTSTART:20261210T010000Z\nDTEND:20261210T020000Z\n" + x));
    const std::string written = WriteEventObject(odd.kept, odd.instances, Shanghai());
    EXPECT_EQ(Read(written).instances, odd.instances) << written;
  }
  // A class of another name is private; a date as DTSTAMP, which libical
  // would write in a form it cannot read, is refused.
  EXPECT_FALSE(Read(Event("DTSTART:20261210T010000Z\nCLASS:X-TEAM")).instances[0].plan.shared);
  EXPECT_THROW(Read(Calendar("BEGIN:VEVENT\nUID:d@test\nDTSTAMP:20261201\n"
                             "DTSTART:20261210T010000Z\nEND:VEVENT")),
               ConditionError);

  // A changed plan of a series becomes an overridden instance, a deleted
  // one an EXDATE; the other instances stay as the rule gives them.
  const EventObject weekly = Read(kWeekly);
  std::vector<EventInstance> edited = weekly.instances;
  edited[2].plan.content = "Retro";
  edited[2].plan.start = At(2026, 12, 28, 16);
  edited[2].plan.end = At(2026, 12, 28, 17);
  edited.erase(edited.begin());
  const std::string series = WriteEventObject(weekly.kept, edited, Shanghai());
  EXPECT_EQ(series, WriteEventObject(weekly.kept, edited, Shanghai()));
  EXPECT_NE(series.find("RECURRENCE-ID;TZID=Asia/Shanghai:20261228T090000"), std::string::npos);
  EXPECT_NE(series.find("EXDATE;TZID=Asia/Shanghai:20261207T090000"), std::string::npos);
  EXPECT_EQ(Read(series).instances, edited);

  // The kind and place the store gives a series that named none go into
  // the master, not into an overridden instance each.
  const EventObject plain =
      Read(Event("DTSTART:20261210T010000Z\nDTEND:20261210T020000Z\nRRULE:FREQ=DAILY;COUNT=3"));
  std::vector<EventInstance> stored = plain.instances;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    // As the store gives them: with their ids and change counters, which
    // are no part of the event.
    stored[i].plan.id = static_cast<std::int64_t>(10 + i);
    stored[i].plan.kind_id = 1;
    stored[i].plan.revision = 2;
    stored[i].plan.kind = "Office";
    stored[i].plan.place = "HQ";
  }
  const std::string defaults = WriteEventObject(plain.kept, stored, Shanghai());
  EXPECT_EQ(defaults.find("RECURRENCE-ID"), std::string::npos) << defaults;
  std::vector<EventInstance> as_read = Read(defaults).instances;
  ASSERT_EQ(as_read.size(), 3u);
  EXPECT_EQ(as_read[1].plan.kind, "Office");
  EXPECT_EQ(as_read[1].plan.place, "HQ");
  // One of them changed in the editor: its override keeps kind and place.
  stored[1].plan.content = "Moved";
  as_read = Read(WriteEventObject(defaults, stored, Shanghai())).instances;
  ASSERT_EQ(as_read.size(), 3u);
  EXPECT_EQ(as_read[1].plan.content, "Moved");
  EXPECT_EQ(as_read[1].plan.kind, "Office");
  EXPECT_EQ(as_read[1].plan.place, "HQ");
  EXPECT_EQ(as_read[2].plan.content, "");

  // A single event keeps its zone and its whole days.
  EventObject ny = Read(kNewYork);
  ny.instances[0].plan.start = At(2026, 12, 11, 8);
  ny.instances[0].plan.end = At(2026, 12, 11, 9);
  ny.instances[0].plan.shared = true;
  ny.instances[0].plan.kind = "Office";
  const std::string moved = WriteEventObject(ny.kept, ny.instances, Shanghai());
  EXPECT_NE(moved.find("DTSTART;TZID=America/New_York:20261210T190000"), std::string::npos);
  EXPECT_EQ(Read(moved).instances, ny.instances);

  EventObject all_day = Read(kAllDay);
  all_day.instances[0].plan.end = At(2026, 12, 12, 23, 59);
  all_day.instances[0].plan.content = "";
  const std::string longer = WriteEventObject(all_day.kept, all_day.instances, Shanghai());
  EXPECT_NE(longer.find("DTEND;VALUE=DATE:20261213"), std::string::npos);
  EXPECT_EQ(Read(longer).instances, all_day.instances);

  // "Every plan" of the series: the master moves, the moved instance and
  // the left-out week still name their instances.
  PlanRecord master = weekly.master;
  master.start = At(2026, 12, 7, 10);
  master.end = At(2026, 12, 7, 11, 30);
  master.content = "Daily";
  const std::string all = ReplaceMaster(weekly.kept, master, Shanghai());
  const std::vector<EventInstance> again = ExpandEventObject(all, Shanghai(), {});
  ASSERT_EQ(again.size(), 3u);
  EXPECT_EQ(again[0].plan.start, At(2026, 12, 7, 10));
  EXPECT_EQ(again[0].plan.content, "Daily");
  EXPECT_EQ(again[1].plan.content, "Stand-up (moved)");
  EXPECT_EQ(again[2].plan.end, At(2026, 12, 28, 11, 30));

  // The first week left out: the series still starts where it did.
  std::string later = kWeekly;
  later.replace(later.find("EXDATE;TZID=Asia/Shanghai:20261214"), 34,
                "EXDATE;TZID=Asia/Shanghai:20261207");
  const EventObject skipped = Read(later);
  ASSERT_EQ(skipped.master.start, At(2026, 12, 14, 9));
  master = skipped.master;
  master.start = At(2026, 12, 14, 8);
  const std::vector<EventInstance> moved_series =
      ExpandEventObject(ReplaceMaster(skipped.kept, master, Shanghai()), Shanghai(), {});
  ASSERT_EQ(moved_series.size(), 3u);
  EXPECT_EQ(moved_series[0].plan.start, At(2026, 12, 14, 8));
  EXPECT_EQ(moved_series[0].plan.end, At(2026, 12, 14, 10));
  EXPECT_EQ(moved_series[2].plan.start, At(2026, 12, 28, 8));
}

TEST(EventObject, ReadsBackTheFeedsOwnEvents) {
  PlanRecord plan;
  plan.id = 7;
  plan.start = At(2026, 12, 10, 9);
  plan.end = At(2026, 12, 10, 17, 30);
  plan.kind = "Office";
  plan.place = "Beijing, HQ";
  plan.detail = "Room 5";
  plan.addition = "bring the keys";
  plan.shared = false;
  for (const std::string content : {"", "Review; budget"}) {
    plan.content = content;
    FeedRequest request;
    request.persons = {{1, "Li", {plan}}};
    request.range = {At(2026, 12, 1), At(2026, 12, 31)};
    const EventObject read = Read(WriteCalendar(request, Shanghai()));
    PlanRecord expected = plan;
    expected.id = 0;
    EXPECT_EQ(read.instances.at(0).plan, expected) << content;
  }
}

TEST(EventObject, SeriesForms) {
  // Floating times are the plans' zone's; a cancelled instance is no plan
  // and stays cancelled (no EXDATE) when the series is written back.
  const EventObject daily = Read(
      Calendar("BEGIN:VEVENT\nUID:f@x\nDTSTART:20261210T090000\nDTEND:20261210T100000\n"
               "RRULE:FREQ=DAILY;UNTIL=20261213T090000\nRDATE;VALUE=PERIOD:20261220T090000/PT3H\n"
               "SUMMARY:Shift\nEND:VEVENT\n"
               "BEGIN:VEVENT\nUID:f@x\nRECURRENCE-ID:20261211T090000\nDTSTART:20261211T090000\n"
               "STATUS:CANCELLED\nEND:VEVENT"));
  ASSERT_EQ(daily.instances.size(), 4u);
  EXPECT_EQ(daily.instances[1].plan.start, At(2026, 12, 12, 9));
  EXPECT_EQ(daily.instances[1].recurrence_id, "20261212T010000Z");
  EXPECT_EQ(daily.instances[3].plan.end, At(2026, 12, 20, 12));
  const std::string written = WriteEventObject(daily.kept, daily.instances, Shanghai());
  EXPECT_EQ(written.find("EXDATE"), std::string::npos);
  EXPECT_EQ(Read(written).instances, daily.instances);

  // Instances keep their wall-clock time in the event's zone across its
  // clock change: 9:00 in New York is 22:00, then 21:00 in Shanghai.
  std::string dst = kNewYork;
  dst.replace(dst.find("20261210T090000"), 15, "20270308T090000");
  dst.replace(dst.find("20261210T103000"), 15, "20270308T103000");
  dst.replace(dst.find("CLASS:PRIVATE"), 13, "RRULE:FREQ=WEEKLY;COUNT=2");
  const std::vector<EventInstance> spring = Read(dst).instances;
  ASSERT_EQ(spring.size(), 2u);
  EXPECT_EQ(spring[0].plan.start, At(2027, 3, 8, 22));
  EXPECT_EQ(spring[1].plan.start, At(2027, 3, 15, 21));
  EXPECT_EQ(spring[1].recurrence_id, "20270315T130000Z");

  // Whole-day instances are named by their dates.
  const EventObject days = Read(
      Event("DTSTART;VALUE=DATE:20261210\nRRULE:FREQ=WEEKLY;COUNT=2\nEXDATE;VALUE=DATE:20261217"));
  ASSERT_EQ(days.instances.size(), 1u);
  EXPECT_EQ(days.instances[0].recurrence_id, "20261210");
  EXPECT_EQ(days.instances[0].plan.end, At(2026, 12, 10, 23, 59));
}

// What a calendar program gets when it asks for the instances expanded:
// each instance in the range on its own, in UTC, no rule.
TEST(EventObject, ExpandsInstancesOverARange) {
  const EventObject weekly = Read(kWeekly);
  const std::string stored = WriteEventObject(weekly.kept, weekly.instances, Shanghai());
  // The weeks of 7, 21 (moved to 14:00) and 28 December; the 14th is left out.
  const std::string two = ExpandedCalendarText(stored, Shanghai(), At(2026, 12, 10), At(2026, 12, 25));
  EXPECT_EQ(two.find("RRULE"), std::string::npos);
  EXPECT_EQ(two.find("EXDATE"), std::string::npos);
  EXPECT_EQ(two.find("TZID"), std::string::npos);
  EXPECT_EQ(two.find("20261207"), std::string::npos) << "before the range";
  EXPECT_EQ(two.find("20261228"), std::string::npos) << "after the range";
  EXPECT_NE(two.find("RECURRENCE-ID:20261221T010000Z"), std::string::npos) << two;
  EXPECT_NE(two.find("DTSTART:20261221T060000Z"), std::string::npos) << two;
  EXPECT_NE(two.find("SUMMARY:Stand-up (moved)"), std::string::npos);
  const std::string all = ExpandedCalendarText(stored, Shanghai(), At(2026, 12, 1), At(2027, 1, 1));
  std::size_t events = 0;
  for (std::size_t at = all.find("BEGIN:VEVENT"); at != std::string::npos;
       at = all.find("BEGIN:VEVENT", at + 1)) {
    ++events;
  }
  EXPECT_EQ(events, 3u);
  EXPECT_NE(all.find("DTSTART:20261207T010000Z\r\nDTEND:20261207T020000Z\r\n"
                     "RECURRENCE-ID:20261207T010000Z"),
            std::string::npos)
      << all;
  // A single event has no RECURRENCE-ID; a whole-day one keeps its dates;
  // one outside the range gives an empty calendar.
  const std::string day = ExpandedCalendarText(Read(kAllDay).kept, Shanghai(), At(2026, 12, 11),
                                            At(2026, 12, 12));
  EXPECT_NE(day.find("DTSTART;VALUE=DATE:20261210"), std::string::npos) << day;
  EXPECT_NE(day.find("DTEND;VALUE=DATE:20261212"), std::string::npos);
  EXPECT_EQ(day.find("RECURRENCE-ID"), std::string::npos);
  const std::string none = ExpandedCalendarText(Read(kNewYork).kept, Shanghai(), At(2027, 1, 1),
                                             At(2027, 2, 1));
  EXPECT_EQ(none.find("VEVENT"), std::string::npos);
  EXPECT_NE(none.find("BEGIN:VCALENDAR"), std::string::npos);
}

TEST(EventObject, Refusals) {
  std::string rule_flood = "RRULE:FREQ=DAILY;COUNT=100000;BYSECOND=";
  for (int s = 0; s < 60; ++s) rule_flood += (s ? "," : "") + std::to_string(s);
  std::string folded = "DESCRIPTION:x";
  for (int i = 0; i < 10000; ++i) folded += "\n yyyyyyyyyyyyyyyyyy";
  std::string nested;
  for (int i = 0; i < 5000; ++i) nested += "BEGIN:X-DEEP\n";
  const struct {
    std::string text;
    int status;
    std::string condition;
  } cases[] = {
      {"hello", 403, "valid-calendar-data"},
      {Event("SUMMARY:no start"), 403, "valid-calendar-data"},
      {Event("DTSTART;TZID=Mars/Olympus:20261210T090000"), 403, "valid-calendar-data"},
      {Event("DTSTART:20261210T090000Z\nDTEND:20261210T080000Z"), 403, "valid-calendar-data"},
      {Event("DTSTART:00500101T090000Z"), 403, "valid-calendar-data"},
      {Event("DTSTART:20261210T090000Z\nRRULE:FREQ=SECONDLY;COUNT=5"), 403, "valid-calendar-data"},
      {Event("DTSTART:20261210T090000Z\nRRULE:FREQ=HOURLY;COUNT=5;BYMONTH=2;BYMONTHDAY=30"), 403,
       "valid-calendar-data"},
      {Event("DTSTART:20261210T090000Z\nRRULE:FREQ=DAILY;COUNT=5;BYMONTH=2,4;BYMONTHDAY=31"), 403,
       "valid-calendar-data"},
      {Event("DTSTART:20261210T090000Z\n" + folded), 403, "valid-calendar-data"},
      {Event("DTSTART:20261210T090000Z\n" + nested), 403, "valid-calendar-data"},
      {Calendar("BEGIN:VEVENT\nUID:a\nDTSTART:20261210T090000Z\nEND:VEVENT\n"
                "BEGIN:VEVENT\nUID:a\nDTSTART:20261211T090000Z\nEND:VEVENT"),
       403, "valid-calendar-object-resource"},
      {Calendar("BEGIN:VEVENT\nUID:a\nDTSTART:20261210T090000Z\nEND:VEVENT\n"
                "BEGIN:VEVENT\nUID:b\nDTSTART:20261210T090000Z\nEND:VEVENT"),
       403, "valid-calendar-object-resource"},
      {Calendar("BEGIN:VTODO\nUID:a\nEND:VTODO"), 403, "valid-calendar-object-resource"},
      {Calendar("BEGIN:VEVENT\nUID:a\nDTSTART:20261210T090000Z\nEND:VEVENT\n"
                "BEGIN:VTODO\nUID:a\nEND:VTODO"),
       403, "valid-calendar-object-resource"},
      {Event("DTSTART:20261210T090000Z\nRRULE:FREQ=WEEKLY"), 403, "max-instances"},
      {Event("DTSTART:20261210T090000Z\nRRULE:FREQ=DAILY;COUNT=2000000000"), 403, "max-instances"},
      {Event("DTSTART:20261210T090000Z\n" + rule_flood), 403, "max-instances"},
      {Event("DTSTART;VALUE=DATE:20260101\nDTEND;VALUE=DATE:20280101"), 403, ""},
      {Event("DTSTART:20261210T090000Z\nX-PAD:" + std::string(kMaxObjectBytes, 'x')), 413,
       "max-resource-size"},
  };
  for (const auto& c : cases) {
    try {
      Read(c.text);
      ADD_FAILURE() << "read: " << c.text.substr(0, 300);
    } catch (const ConditionError& e) {
      EXPECT_EQ(e.status(), c.status) << e.what();
      EXPECT_EQ(e.condition(), c.condition) << e.what();
      EXPECT_FALSE(std::string(e.what()).empty());
    }
  }

  // The instance cap counts what the rule gives after its exclusions.
  const std::string five =
      Event("DTSTART:20261210T090000Z\nRRULE:FREQ=DAILY;COUNT=5\nEXDATE:20261211T090000Z");
  EXPECT_EQ(Read(five, {366, 4}).instances.size(), 4u);
  EXPECT_THROW(Read(five, {366, 3}), ConditionError);
  // Stored text that another program damaged is an internal fault.
  try {
    WriteEventObject("garbage", {}, Shanghai());
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kInternal);
  }
}

}  // namespace
}  // namespace ostrand::feeds
