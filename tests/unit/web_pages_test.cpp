// The schedule pages over HTTP with the component rendering: every page,
// the privacy of private plans across viewers, the editor's way back to the
// page it came from, error pages of failing members, parallel requests.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace ostrand::web {
namespace {

using testing::Browser;
using testing::kLi;
using testing::kPassword;
using testing::kZhang;
using testing::kZhao;
using testing::RunningServer;
using testing::TempDir;

using test_support::Contains;

class WebPagesTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::WriteFixture(path_); }

  void Start(ServerOptions options) {
    server_ = std::make_unique<RunningServer>(std::move(options));
  }
  void Start() { Start(testing::TestOptions(path_)); }

  std::unique_ptr<Browser> SignedIn(int person) {
    return testing::SignedIn(server_->port(), person);
  }

  // The body of a page that must open.
  static std::string Page(Browser& browser, const std::string& path) {
    const testing::Result result = browser.Get(path);
    if (!result) {
      ADD_FAILURE() << path << ": no reply";
      return "";
    }
    EXPECT_EQ(result->status, 200) << path << "\n" << result->body;
    return result->body;
  }

  const TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::unique_ptr<RunningServer> server_;
};

TEST_F(WebPagesTest, EveryPageOpensForALeaderAsAFullDocument) {
  Start();
  const auto zhang = SignedIn(kZhang);
  for (const char* page :
       {"personMonth", "personWeek", "leaderMonth", "leaderWeek", "leader2Month", "leader2Week"}) {
    const std::string body = Page(*zhang, std::string("/schedule/") + page + ".asp?dt=2001-12-5");
    EXPECT_EQ(body.rfind("<!doctype html>", 0), 0u) << page;
    EXPECT_TRUE(Contains(body, "<meta charset=\"utf-8\">")) << page;
    EXPECT_TRUE(Contains(body, "href=\"/static/ostrand.css\"")) << page;
    EXPECT_TRUE(Contains(body, "href=\"/schedule/leaderMonth.asp\"")) << "leader nav on " << page;
    EXPECT_TRUE(Contains(body, "</html>\n")) << page;
  }

  const std::string month = Page(*zhang, "/schedule/personMonth.asp?dt=2001-12-5");
  EXPECT_TRUE(Contains(month, "<style>")) << "the component's stylesheet";
  EXPECT_TRUE(Contains(month, "张局长"));
  EXPECT_TRUE(Contains(month, "2001年12月"));
  EXPECT_TRUE(Contains(month, "张共享例会"));
  EXPECT_TRUE(Contains(month, "张私人事务")) << "one's own private plans show";
  EXPECT_TRUE(Contains(month, "location.href='manage.asp?personID=1"))
      << "own days open the editor";
  for (const char* kind : {"本单位", "北京", "京外", "国外"}) EXPECT_TRUE(Contains(month, kind));
  // The person picker lists the own system, escaped, and nobody else.
  EXPECT_TRUE(Contains(month, "<option value=\"2\">李科员</option>"));
  EXPECT_TRUE(Contains(month, "赵&lt;&amp;&gt;六"));
  EXPECT_FALSE(Contains(month, "王外单位"));

  const std::string leader = Page(*zhang, "/schedule/leaderMonth.asp?dt=2001-12-5");
  EXPECT_TRUE(Contains(leader, "<div class=\"wide\" role=\"region\" tabindex=\"0\""));
  EXPECT_TRUE(Contains(leader, "李科员"));
  EXPECT_TRUE(Contains(leader, "◇")) << "Li's shared plan in Beijing";
  EXPECT_TRUE(Contains(leader, "</table>\n</div>"));
  for (const char* marker : {"△", "◇", "▲", "◆"}) EXPECT_TRUE(Contains(leader, marker));

  // The second leader pages use the second condition: staff only.
  const std::string staff = Page(*zhang, "/schedule/leader2Week.asp?dt=2001-12-5");
  EXPECT_TRUE(Contains(staff, "李科员"));
  EXPECT_FALSE(Contains(staff, "<td class=td2 nowrap>张局长</td>"));
}

TEST_F(WebPagesTest, DefaultsAreTheVisitorAndToday) {
  Start();  // "today" is 5 December 2001
  const auto li = SignedIn(kLi);
  const std::string month = Page(*li, "/schedule/personMonth.asp");
  EXPECT_TRUE(Contains(month, "2001年12月"));
  EXPECT_TRUE(Contains(month, "李私人体检"));
  EXPECT_TRUE(Contains(month, "<option value=\"2\" selected>"));
  const std::string week = Page(*li, "/schedule/personWeek.asp");
  EXPECT_TRUE(Contains(week, "2001-12-3")) << "the week of 5 December starts on Monday the 3rd";
}

TEST_F(WebPagesTest, AColleaguesPageHidesPrivatePlansAndTheEditor) {
  Start();
  const auto li = SignedIn(kLi);
  const std::string month = Page(*li, "/schedule/personMonth.asp?personID=1&dt=2001-12-5");
  EXPECT_TRUE(Contains(month, "张共享例会"));
  EXPECT_FALSE(Contains(month, "张私人事务"));
  EXPECT_FALSE(Contains(month, "location.href")) << "a day click does nothing";
}

// One page worker on one connection, so that every page meets the grids
// kept by the pages before it.
TEST_F(WebPagesTest, AKeptGridIsTheViewersOwnAndFollowsTheDatabase) {
  ServerOptions options = testing::TestOptions(path_);
  options.worker_threads = 1;
  options.pool_size = 1;
  Start(std::move(options));
  const auto zhang = SignedIn(kZhang);
  const auto li = SignedIn(kLi);
  for (const char* page : {"personMonth", "personWeek"}) {
    const std::string path = std::string("/schedule/") + page + ".asp?personID=1&dt=2001-12-5";
    EXPECT_TRUE(Contains(Page(*zhang, path), "张私人")) << page;
    EXPECT_FALSE(Contains(Page(*li, path), "张私人")) << page;
    // Another program changes the private plan.
    const std::string changed = std::string("张私人") + page;
    const store::SqlParam content[] = {store::SqlParam::Text(changed)};
    store::Connect("sqlite:" + path_)
        ->Execute("UPDATE personPlan SET planContent = ? WHERE planContent LIKE '张私人%'", content);
    EXPECT_TRUE(Contains(Page(*zhang, path), changed)) << page;
    EXPECT_FALSE(Contains(Page(*li, path), "张私人")) << page;
  }
}

// Walks every page each viewer may open over December 2001 and finds no
// trace of the other's private plan, while the viewer's own shows.
TEST_F(WebPagesTest, NoPageShowsAnotherPersonsPrivatePlan) {
  Start();
  struct Viewer {
    int id;
    std::vector<std::string> own_private;
    std::vector<std::string> others_private;
  };
  const std::vector<Viewer> viewers = {
      {kZhang, {"张私人事务"}, {"李私人体检", "李私细节", "李私附加"}},
      {kLi, {"李私人体检"}, {"张私人事务", "张私细节", "张私附加"}},
  };
  std::vector<std::string> pages;
  for (const int person : {kZhang, kLi, kZhao}) {
    const std::string id = std::to_string(person);
    pages.push_back("/schedule/personMonth.asp?personID=" + id + "&dt=2001-12-1");
    for (const char* dt : {"2001-12-3", "2001-12-10", "2001-12-17"}) {
      pages.push_back("/schedule/personWeek.asp?personID=" + id + "&dt=" + dt);
    }
  }
  for (const char* page : {"leaderMonth", "leader2Month"}) {
    pages.push_back(std::string("/schedule/") + page + ".asp?dt=2001-12-1");
  }
  for (const char* page : {"leaderWeek", "leader2Week"}) {
    for (const char* dt : {"2001-12-3", "2001-12-10"}) {
      pages.push_back(std::string("/schedule/") + page + ".asp?dt=" + dt);
    }
  }

  for (const Viewer& viewer : viewers) {
    const auto browser = SignedIn(viewer.id);
    std::string everything;
    for (const std::string& path : pages) {
      const testing::Result result = browser->Get(path);
      ASSERT_TRUE(result) << path;
      if (result->status == 403) continue;  // a leader page for Li
      ASSERT_EQ(result->status, 200) << path;
      for (const std::string& secret : viewer.others_private) {
        EXPECT_FALSE(Contains(result->body, secret))
            << "viewer " << viewer.id << " sees '" << secret << "' on " << path;
      }
      everything += result->body;
    }
    for (const std::string& own : viewer.own_private) EXPECT_TRUE(Contains(everything, own));
  }
}

TEST_F(WebPagesTest, AddedPlanShowsInTheMonthTheEditorCameFrom) {
  Start();
  const auto li = SignedIn(kLi);
  Page(*li, "/schedule/personWeek.asp?dt=2001-12-20");  // leaves strURL = the week page
  const std::string editor = "/schedule/manage.asp?personID=2&dt=2001-12-20";
  const std::string csrf = Browser::FieldValue(Page(*li, editor), "csrf");
  const testing::Result saved = li->Post(editor, {{"csrf", csrf},
                                                  {"action", "save"},
                                                  {"planID", ""},
                                                  {"start", "2001-12-20T14:00"},
                                                  {"end", "2001-12-20T16:00"},
                                                  {"kind", "1"},
                                                  {"place", "1"},
                                                  {"detail", ""},
                                                  {"content", "年终座谈"},
                                                  {"addition", ""},
                                                  {"flag", "1"}});
  ASSERT_TRUE(saved);
  ASSERT_EQ(saved->status, 303);
  const std::string day = saved->get_header_value("Location");
  EXPECT_TRUE(day.starts_with(editor + "&saved=")) << day;
  const std::string notice = Page(*li, day);
  EXPECT_TRUE(Contains(notice, "已保存")) << "the save returns to the day with a notice";
  EXPECT_TRUE(Contains(notice, "href=\"/schedule/personWeek.asp?personID=2&amp;dt=2001-12-20\""))
      << "and the day leads back to the week it came from";

  EXPECT_TRUE(Contains(Page(*li, "/schedule/personMonth.asp?dt=2001-12-20"), "年终座谈"));
  const auto zhang = SignedIn(kZhang);
  EXPECT_TRUE(
      Contains(Page(*zhang, "/schedule/personMonth.asp?personID=2&dt=2001-12-1"), "年终座谈"))
      << "a shared plan shows to colleagues";
}

TEST_F(WebPagesTest, FailingMemberShowsAnIncidentNumberAndLogsTheCause) {
  std::ostringstream log;
  ServerOptions options = testing::TestOptions(path_);
  options.leader_cond = "person.<b>nosuch</b> = 1";
  options.access_log = &log;
  Start(std::move(options));
  const auto zhang = SignedIn(kZhang);
  const testing::Result failed = zhang->Get("/schedule/leaderMonth.asp?dt=2001-12-5");
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->status, 500);
  std::smatch incident;
  ASSERT_TRUE(std::regex_search(failed->body, incident, std::regex("<code>([0-9A-F]{8})</code>")))
      << failed->body;
  // The page tells nothing of the cause: no SQL, no path of the database.
  for (const std::string& secret :
       std::vector<std::string>{"nosuch", "SELECT", "select", path_, dir_.path().string()}) {
    EXPECT_FALSE(Contains(failed->body, secret)) << secret << " in\n" << failed->body;
  }
  Page(*zhang, "/schedule/personMonth.asp?dt=2001-12-5");
  server_.reset();
  // The log line with the number holds the cause, escaped into one line.
  const std::regex line(" 500 [0-9]+ [0-9.]+ms 1 incident=" + incident[1].str() +
                        " error=\"[^\"\n]*nosuch[^\"\n]*\"\n");
  EXPECT_TRUE(std::regex_search(log.str(), line)) << log.str();
}

TEST_F(WebPagesTest, ParallelRequestsEachGetTheirOwnPage) {
  Start();
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      Browser browser(server_->port());
      const int person = t % 2 == 0 ? kZhang : kLi;
      const testing::Result in = browser.SignIn(std::to_string(person), kPassword);
      if (!in || in->status != 303) ++failures;
      const std::string own = person == kZhang ? "张私人事务" : "李私人体检";
      for (int i = 0; i < 5; ++i) {
        const testing::Result page = browser.Get("/schedule/personMonth.asp?dt=2001-12-1");
        if (!page || page->status != 200 || !Contains(page->body, own)) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace ostrand::web
