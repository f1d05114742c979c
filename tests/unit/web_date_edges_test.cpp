// The schedule pages and the day editor at the ends of the calendar: each
// page opens on the first and last day it can show and answers 400 just
// beyond; the editor keeps new plans where every page shows them, yet lists
// and deletes a plan stored beyond by another program.
#include <gtest/gtest.h>

#include <string>

#include "store/connect.h"
#include "web/pages/schedule_pages.h"
#include "web/http/request_values.h"
#include "test_support.h"

namespace ostrand::web {
namespace {

using testing::Browser;
using testing::kPassword;
using testing::kZhang;

using test_support::Contains;

class WebDateEdgesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteFixture(path_);
    server_ = std::make_unique<testing::RunningServer>(testing::TestOptions(path_));
    zhang_ = std::make_unique<Browser>(server_->port());
    const testing::Result in = zhang_->SignIn(std::to_string(kZhang), kPassword);
    ASSERT_TRUE(in && in->status == 303);
  }

  // Status and body of a page of the signed-in leader.
  std::pair<int, std::string> Get(const std::string& path) {
    const testing::Result result = zhang_->Get(path);
    if (!result) return {0, "no reply"};
    return {result->status, result->body};
  }

  // The reply to saving a new plan of the leader from start to end.
  testing::Result Save(const std::string& day, const std::string& start, const std::string& end) {
    const std::string editor = "/schedule/manage.asp?dt=" + day;
    return zhang_->Post(editor, {{"csrf", Browser::FieldValue(Get(editor).second, "csrf")},
                                 {"action", "save"},
                                 {"planID", ""},
                                 {"start", start},
                                 {"end", end},
                                 {"kind", "1"},
                                 {"place", "1"},
                                 {"content", "边界日程"},
                                 {"flag", "1"}});
  }

  const testing::TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::unique_ptr<testing::RunningServer> server_;
  std::unique_ptr<Browser> zhang_;
};

TEST_F(WebDateEdgesTest, EveryPageOpensOnItsFirstAndLastDayAndRefusesBeyond) {
  for (const ViewPage& page : ViewPages()) {
    const DayRange days = ShowableDays(page);
    const std::string path = std::string(page.path) + "?dt=";
    for (const DateTime& inside : {days.first, days.last}) {
      const auto [status, body] = Get(path + IsoDate(inside));
      EXPECT_EQ(status, 200) << page.path << " " << IsoDate(inside) << "\n" << body;
    }
    // The day before the first and after the last, and the ends of the
    // calendar itself.
    for (const DateTime& outside :
         {days.first.AddDays(-1), days.last.AddDays(1), DateTime::Earliest(), DateTime::Latest()}) {
      if (days.Contains(outside)) continue;
      const auto [status, body] = Get(path + IsoDate(outside));
      EXPECT_EQ(status, 400) << page.path << " " << IsoDate(outside);
      EXPECT_TRUE(Contains(body, "日期“" + IsoDate(outside) + "”不在 "))
          << page.path << "\n" << body;
    }
  }
  // The month pages show the months 101-1 .. 9998-12, the week pages the
  // days 100-2-1 .. 9999-11-30.
  EXPECT_EQ(Get("/schedule/personMonth.asp?dt=0101-01-31").first, 200);
  EXPECT_EQ(Get("/schedule/leaderMonth.asp?dt=9998-12-01").first, 200);
  EXPECT_EQ(Get("/schedule/personMonth.asp?dt=9999-01-01").first, 400);
  EXPECT_EQ(Get("/schedule/leaderWeek.asp?dt=0100-02-01").first, 200);
  EXPECT_EQ(Get("/schedule/personWeek.asp?dt=9999-12-01").first, 400);
}

TEST_F(WebDateEdgesTest, EditorKeepsNewPlansWherePagesShowThem) {
  const DayRange every = DaysEveryPageShows();
  EXPECT_EQ(IsoDate(every.first), "0101-01-01");
  EXPECT_EQ(IsoDate(every.last), "9998-12-31");

  const testing::Result refused = Save("9999-12-31", "9999-12-31T09:00", "9999-12-31T10:00");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 400);
  EXPECT_TRUE(Contains(refused->body, "日程须在 0101-01-01 至 9998-12-31 之间")) << refused->body;
  const testing::Result across = Save("9998-12-31", "9998-12-31T09:00", "9999-01-01T10:00");
  ASSERT_TRUE(across);
  EXPECT_EQ(across->status, 400) << "a plan that ends beyond the last day";

  const testing::Result saved = Save("9998-12-31", "9998-12-31T09:00", "9998-12-31T10:00");
  ASSERT_TRUE(saved);
  ASSERT_EQ(saved->status, 303) << saved->body;
  const auto [status, month] = Get(saved->get_header_value("Location"));
  EXPECT_EQ(status, 200);
  EXPECT_TRUE(Contains(month, "边界日程"));
  const testing::Result first = Save("0101-01-01", "0101-01-01T09:00", "0101-01-01T10:00");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 303);
}

TEST_F(WebDateEdgesTest, PlanStoredBeyondThePagesCanBeListedAndDeleted) {
  store::Connect("sqlite:" + path_)->Execute(
      "INSERT INTO personPlan (planID, personID, planStartTime, planEndTime, planAddrTypeID, "
      "planAddrID, planContent, planFlagID) VALUES "
      "(90, 1, '9999-12-31 09:00:00', '9999-12-31 10:00:00', 1, 1, '外来日程', 1), "
      "(91, 1, '0100-01-01 09:00:00', '0100-01-01 10:00:00', 1, 1, '远古日程', 1)");
  Get("/schedule/personMonth.asp?dt=2001-12-5");  // the page to return to

  const auto [last_status, last] = Get("/schedule/manage.asp?dt=9999-12-31");
  ASSERT_EQ(last_status, 200) << last;
  EXPECT_TRUE(Contains(last, "外来日程"));
  EXPECT_TRUE(Contains(last, "前一天"));
  EXPECT_FALSE(Contains(last, "后一天")) << "no day after the last";
  EXPECT_TRUE(Contains(last, "personMonth.asp?personID=1&amp;dt=9998-12-31\">返回"))
      << "back to the nearest month the page shows";
  const auto [first_status, first] = Get("/schedule/manage.asp?dt=0100-01-01");
  ASSERT_EQ(first_status, 200) << first;
  EXPECT_TRUE(Contains(first, "远古日程"));
  EXPECT_FALSE(Contains(first, "前一天")) << "no day before the first";

  const std::string editor = "/schedule/manage.asp?dt=9999-12-31";
  const testing::Result deleted = zhang_->Post(
      editor, {{"csrf", Browser::FieldValue(last, "csrf")}, {"action", "delete"}, {"planID", "90"}});
  ASSERT_TRUE(deleted);
  EXPECT_EQ(deleted->status, 303);
  EXPECT_TRUE(deleted->get_header_value("Location")
                  .starts_with("/schedule/manage.asp?personID=1&dt=9999-12-31&deleted="))
      << deleted->get_header_value("Location");
  EXPECT_FALSE(Contains(Get(editor).second, "外来日程"));
}

}  // namespace
}  // namespace ostrand::web
