// The host's calendar pages over HTTP: holidays and today marked on the
// views, who is away, the leader summary over several months, and the day
// editor's confirmation, undo, notices, overlaps and copies.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "web/data/holiday_table.h"
#include "store/connect.h"
#include "web/i18n/catalogue.h"
#include "test_support.h"

namespace ostrand::web {
namespace {

using testing::Browser;
using testing::kLi;
using testing::kPassword;
using testing::kZhang;
using testing::RunningServer;
using testing::TempDir;

using test_support::Contains;

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

class WebCalendarPages : public ::testing::Test {
 protected:
  WebCalendarPages() {
    testing::WriteFixture(path_);
    // National day 2001: a day off on Monday 1 October, Saturday 29
    // September worked; and a day off on Friday 21 December.
    holidays::ImportHolidays(*store::Connect("sqlite:" + path_),
                             {{DateTime::FromCivil(2001, 9, 29), "补班", false, false},
                              {DateTime::FromCivil(2001, 10, 1), "国庆节", true, false},
                              {DateTime::FromCivil(2001, 12, 21), "冬休", true, false}});
    ServerOptions options = testing::TestOptions(path_);
    options.access_log = &log_;
    server_ = std::make_unique<RunningServer>(std::move(options));
  }

  std::unique_ptr<Browser> SignedIn(int person) {
    return testing::SignedIn(server_->port(), person);
  }

  static std::string Body(Browser& browser, const std::string& path, int status = 200) {
    const testing::Result result = browser.Get(path);
    if (!result) {
      ADD_FAILURE() << "no answer for " << path;
      return {};
    }
    EXPECT_EQ(result->status, status) << path;
    return result->body;
  }

  // Posts the editor form of Li's day and returns the reply.
  testing::Result PostEditor(Browser& li, const std::string& day, testing::Params form) {
    const std::string editor = "/schedule/manage.asp?personID=2&dt=" + day;
    form.emplace("csrf", Browser::FieldValue(Body(li, editor), "csrf"));
    return li.Post(editor, form);
  }

  testing::Params NewPlan(const std::string& start, const std::string& end,
                          const std::string& content) {
    return {{"action", "save"}, {"planID", ""},    {"start", start},     {"end", end},
            {"kind", "1"},      {"place", "1"},    {"detail", ""},       {"content", content},
            {"addition", ""},   {"flag", "1"}};
  }

  const TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::ostringstream log_;
  std::unique_ptr<RunningServer> server_;
};

TEST_F(WebCalendarPages, ViewsCarryTodayWeekendsAndHolidays) {
  const auto li = SignedIn(kLi);
  const std::string month = Body(*li, "/schedule/personMonth.asp?dt=2001-12-5");
  EXPECT_TRUE(Contains(month, "data-today=\"2001-12-05\""));
  EXPECT_TRUE(Contains(month, "&quot;2001-12-01&quot;:[&quot;weekend&quot;]"));
  EXPECT_TRUE(Contains(month, "&quot;2001-12-21&quot;:[&quot;day-off&quot;,&quot;冬休&quot;"));
  EXPECT_TRUE(Contains(month, "<time datetime=\"2001-12-21\">12月21日</time> 冬休（休）"));
  EXPECT_FALSE(Contains(month, "data-columns-from"));
  const std::string week = Body(*li, "/schedule/personWeek.asp?dt=2001-9-29");
  EXPECT_TRUE(Contains(week, "&quot;2001-09-29&quot;:[&quot;workday&quot;,&quot;补班&quot;"));
  EXPECT_TRUE(Contains(week, "&quot;2001-09-30&quot;:[&quot;weekend&quot;]"));
  EXPECT_FALSE(Contains(week, "2001-10-01")) << "only the week's days";

  const auto zhang = SignedIn(kZhang);
  const std::string leader = Body(*zhang, "/schedule/leaderMonth.asp?dt=2001-12-5");
  EXPECT_TRUE(Contains(leader, "data-columns-from=\"2001-12-01\""));
  EXPECT_TRUE(Contains(leader, "leaderMonths.asp?dt=2001-12-05&amp;months=3"));
}

TEST_F(WebCalendarPages, TheAwayPageShowsWhatTheVisitorMaySee) {
  const auto zhang = SignedIn(kZhang);
  // Li: in town (北京, shared) on the 10th, abroad (东京, private) on the 11th and 12th.
  const std::string monday = Body(*zhang, "/schedule/away.asp?dt=2001-12-10");
  const std::size_t week = monday.find("id=\"away-week\"");
  ASSERT_NE(week, std::string::npos);
  const std::string day = monday.substr(0, week);
  EXPECT_TRUE(Contains(day, "北京"));
  EXPECT_TRUE(Contains(day, "李共享调研"));
  EXPECT_TRUE(Contains(day, "href=\"/schedule/personMonth.asp?personID=2&amp;dt=2001-12-10\""));
  EXPECT_FALSE(Contains(monday, "李私人体检")) << "another's private plan stays hidden";
  EXPECT_FALSE(Contains(monday, "东京"));
  EXPECT_FALSE(Contains(monday, "三层会议室")) << "the office is no absence";

  const auto li = SignedIn(kLi);
  const std::string own = Body(*li, "/schedule/away.asp?dt=2001-12-11");
  EXPECT_TRUE(Contains(own, "李私人体检"));
  EXPECT_TRUE(Contains(own, "（个人）"));
  EXPECT_TRUE(Contains(own, "12月11日–12月12日"));
  EXPECT_TRUE(Contains(Body(*li, "/schedule/away.asp?dt=2001-12-5"), "这一天没有人外出。"));
  Body(*li, "/schedule/away.asp?dt=9999-12-31", 400);
  Body(*li, "/schedule/away.asp?dt=someday", 400);
}

TEST_F(WebCalendarPages, TheLeaderSummaryOverMonthsHasAColumnPerDay) {
  const auto zhang = SignedIn(kZhang);
  const std::string table = Body(*zhang, "/schedule/leaderMonths.asp?dt=2001-11-20&months=3");
  EXPECT_TRUE(Contains(table, "2001年11月–2002年1月"));
  EXPECT_EQ(Count(table, "scope=\"colgroup\""), 3u);
  EXPECT_EQ(Count(table, "<th scope=\"col\""), 30u + 31 + 31);
  // Every person of the department, each a link to the month page.
  for (const char* name : {"张局长", "李科员", "赵&lt;&amp;&gt;六"}) {
    EXPECT_TRUE(Contains(table, name)) << name;
  }
  EXPECT_FALSE(Contains(table, "王外单位"));
  EXPECT_TRUE(Contains(table, "href=\"/schedule/personMonth.asp?personID=2&amp;dt=2001-11-01\""));
  // Li's shared plan in town on 10 December is marked, his private one not.
  EXPECT_TRUE(Contains(table, "class=\"sch2\" title=\"李共享调研\">◇"));
  EXPECT_FALSE(Contains(table, "李私人体检"));
  EXPECT_TRUE(Contains(table, "<th scope=\"col\" class=\"day-off\" title=\"冬休（休）\">"));
  EXPECT_TRUE(Contains(table, "class=\"today\""));

  Body(*zhang, "/schedule/leaderMonths.asp?months=7", 400);
  Body(*zhang, "/schedule/leader2Months.asp?months=0", 400);
  Body(*zhang, "/schedule/leaderMonths.asp?dt=9999-11-1&months=3", 400);
  EXPECT_EQ(Count(Body(*zhang, "/schedule/leaderMonths.asp?dt=9999-11-1&months=2"),
                  "scope=\"colgroup\""),
            2u);
  Body(*SignedIn(kLi), "/schedule/leaderMonths.asp", 403);
}

TEST_F(WebCalendarPages, ADeleteAsksFirstAndCanBeUndone) {
  const auto li = SignedIn(kLi);
  const std::string day = Body(*li, "/schedule/manage.asp?personID=2&dt=2001-12-10");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(day, match, std::regex("delete=([0-9]+)\"")));
  const std::string plan_id = match[1].str();

  const std::string asked =
      Body(*li, "/schedule/manage.asp?personID=2&dt=2001-12-10&delete=" + plan_id);
  EXPECT_TRUE(Contains(asked, "确定删除日程“李共享调研”（12月10日 09:00–17:00）吗？"));
  EXPECT_TRUE(Contains(asked, "李共享调研")) << "asking deletes nothing";

  const testing::Result deleted =
      PostEditor(*li, "2001-12-10", {{"action", "delete"}, {"planID", plan_id}});
  ASSERT_TRUE(deleted);
  ASSERT_EQ(deleted->status, 303);
  const std::string after = Body(*li, deleted->get_header_value("Location"));
  EXPECT_TRUE(Contains(after, "已删除日程“李共享调研”"));
  EXPECT_FALSE(Contains(after, "<td>李共享调研</td>"));
  const std::string deleted_id = Browser::FieldValue(after, "deletedID");
  ASSERT_FALSE(deleted_id.empty());

  // Nobody else can restore it; the list shows it to Li.
  const auto zhang = SignedIn(kZhang);
  EXPECT_FALSE(Contains(Body(*zhang, "/schedule/deleted.asp"), "李共享调研"));
  const std::string zhang_csrf =
      Browser::FieldValue(Body(*zhang, "/schedule/manage.asp?dt=2001-12-10"), "csrf");
  const testing::Result stolen = zhang->Post(
      "/schedule/manage.asp?dt=2001-12-10",
      {{"csrf", zhang_csrf}, {"action", "restore"}, {"deletedID", deleted_id}});
  ASSERT_TRUE(stolen);
  EXPECT_EQ(stolen->status, 404);
  EXPECT_TRUE(Contains(Body(*li, "/schedule/deleted.asp"), "李共享调研"));

  const testing::Result restored =
      PostEditor(*li, "2001-12-10", {{"action", "restore"}, {"deletedID", deleted_id}});
  ASSERT_TRUE(restored);
  ASSERT_EQ(restored->status, 303);
  EXPECT_EQ(restored->get_header_value("Location"),
            "/schedule/manage.asp?personID=2&dt=2001-12-10&restored=" + plan_id)
      << "back under its old id";
  EXPECT_TRUE(Contains(Body(*li, "/schedule/personMonth.asp?dt=2001-12-1"), "李共享调研"));
  EXPECT_FALSE(Contains(Body(*li, "/schedule/deleted.asp"), "李共享调研"));
  const testing::Result again =
      PostEditor(*li, "2001-12-10", {{"action", "restore"}, {"deletedID", deleted_id}});
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 404);
}

TEST_F(WebCalendarPages, ASaveReturnsToTheDayAndNamesOverlaps) {
  const auto li = SignedIn(kLi);
  const testing::Result saved = PostEditor(
      *li, "2001-12-10", NewPlan("2001-12-10T16:00", "2001-12-10T18:00", "晚间会"));
  ASSERT_TRUE(saved);
  ASSERT_EQ(saved->status, 303);
  const std::string day = Body(*li, saved->get_header_value("Location"));
  EXPECT_TRUE(Contains(day, "已保存。"));
  EXPECT_TRUE(Contains(day, "这条日程与“李共享调研”（12月10日 09:00–17:00）时间重叠。"));
  EXPECT_EQ(Count(day, "class=\"overlapping\""), 2u);

  // On a crowded day each note names three plans and counts the others, so
  // the page grows with the plans, not with their square.
  {
    const auto db = store::Connect("sqlite:" + path_);
    for (int i = 0; i < 10; ++i) {
      db->ExecuteScript(
          "INSERT INTO personPlan (personID, planStartTime, planEndTime, planAddrTypeID, "
          "planAddrID, planContent, planFlagID) VALUES (2, '2001-12-10 10:00:00', "
          "'2001-12-10 11:00:00', 1, 1, '挤" + std::to_string(i) + "', 1)");
    }
  }
  const std::string crowded = Body(*li, "/schedule/manage.asp?personID=2&dt=2001-12-10");
  EXPECT_EQ(Count(crowded, "及另外 7 条日程时间重叠。"), 10u);  // the crowd
  EXPECT_EQ(Count(crowded, "及另外 8 条日程时间重叠。"), 1u);   // the day-long plan
  EXPECT_LE(Count(crowded, "”（12月10日"), 12u * 3);
  ASSERT_TRUE(li->Get("/language?to=en&next=/login"));
  const std::string english = Body(*li, "/schedule/manage.asp?personID=2&dt=2001-12-10");
  EXPECT_EQ(Count(english, " and 7 more."), 10u);
  ASSERT_TRUE(li->Get("/language?to=zh&next=/login"));

  // Every plan touching the day is listed, those over several days too.
  EXPECT_TRUE(Contains(Body(*li, "/schedule/manage.asp?personID=2&dt=2001-12-12"), "李私人体检"));

  // Dates the pages cannot show are refused by name.
  const testing::Result far = PostEditor(
      *li, "2001-12-10", NewPlan("10000-01-01T09:00", "10000-01-01T10:00", "太远"));
  ASSERT_TRUE(far);
  EXPECT_EQ(far->status, 400);
  EXPECT_TRUE(Contains(far->body, "“10000-01-01T09:00”超出了页面能显示的日期"));
  EXPECT_TRUE(Contains(far->body, "value=\"太远\""));
}

TEST_F(WebCalendarPages, APlanIsCopiedToTheWeekdaysOfARange) {
  const auto li = SignedIn(kLi);
  const std::string day = Body(*li, "/schedule/manage.asp?personID=2&dt=2001-12-10");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(day, match, std::regex("copy=([0-9]+)\"")));
  const std::string plan_id = match[1].str();
  const std::string form =
      Body(*li, "/schedule/manage.asp?personID=2&dt=2001-12-10&copy=" + plan_id);
  EXPECT_TRUE(Contains(form, "name=\"from\" value=\"2001-12-11\""));

  // Monday 17 to Sunday 23 December, Monday to Friday, skipping the day off
  // on the 21st: four copies, none overlapping.
  const testing::Result copied = PostEditor(*li, "2001-12-10",
                                            {{"action", "copy"},
                                             {"planID", plan_id},
                                             {"from", "2001-12-17"},
                                             {"to", "2001-12-23"},
                                             {"weekday", "1"},
                                             {"weekday", "2"},
                                             {"weekday", "3"},
                                             {"weekday", "4"},
                                             {"weekday", "5"},
                                             {"skipDaysOff", "1"}});
  ASSERT_TRUE(copied);
  ASSERT_EQ(copied->status, 303);
  EXPECT_TRUE(Contains(Body(*li, copied->get_header_value("Location")), "已复制到 4 天。"));
  for (const char* dt : {"2001-12-17", "2001-12-18", "2001-12-19", "2001-12-20"}) {
    EXPECT_TRUE(Contains(Body(*li, std::string("/schedule/manage.asp?personID=2&dt=") + dt),
                         "<td>09:00–17:00</td>"))
        << dt;
  }
  EXPECT_FALSE(Contains(Body(*li, "/schedule/manage.asp?personID=2&dt=2001-12-21"), "李共享调研"));

  const testing::Result none = PostEditor(
      *li, "2001-12-10",
      {{"action", "copy"}, {"planID", plan_id}, {"from", "2001-12-22"}, {"to", "2001-12-23"},
       {"weekday", "1"}});
  ASSERT_TRUE(none);
  EXPECT_EQ(none->status, 400);
  EXPECT_TRUE(Contains(none->body, "这段日期中没有要复制到的日子。"));
}

TEST_F(WebCalendarPages, TheNewPagesSpeakEnglishToo) {
  Browser browser(server_->port());
  ASSERT_TRUE(browser.Get("/language?to=en&next=/login"));
  ASSERT_TRUE(browser.SignIn(std::to_string(kZhang), kPassword));
  for (const char* path :
       {"/schedule/away.asp?dt=2001-12-10", "/schedule/leaderMonths.asp?dt=2001-12-5",
        "/schedule/deleted.asp",
        "/schedule/manage.asp?dt=2001-12-5&copy=1", "/schedule/manage.asp?dt=2001-12-5&delete=1",
        "/schedule/leaderMonths.asp?months=9"}) {
    const testing::Result page = browser.Get(path);
    ASSERT_TRUE(page) << path;
    EXPECT_TRUE(Contains(page->body, "<html lang=\"en\">")) << path;
    // Texts of three characters or more: plan contents hold shorter ones.
    for (const CatalogueEntry& entry : CatalogueOf(Language::kChinese)) {
      if (entry.text.size() < 9 || entry.text.find('{') != std::string_view::npos) continue;
      EXPECT_FALSE(Contains(page->body, std::string(entry.text))) << path << ": " << entry.text;
    }
  }
  EXPECT_TRUE(Contains(browser.Get("/schedule/personMonth.asp?dt=2001-12-5")->body,
                       "21 December</time> 冬休 (off)"));
  // The first and last days of the calendar open without a step past them.
  for (const char* dt : {"0100-01-01", "9999-12-31"}) {
    const testing::Result edge = browser.Get(std::string("/schedule/manage.asp?dt=") + dt);
    ASSERT_TRUE(edge);
    EXPECT_EQ(edge->status, 200) << dt;
  }
}

}  // namespace
}  // namespace ostrand::web
