// What a retired person's colleagues and the person meet on a running
// server: gone from the pickers, the leader pages, who is away, the
// summary over months and the department JSON; the open session ended at
// the next request, the feed address 404, the sign-in refused; the plans
// kept. And the leader condition kept to the leader's department.
#include <gtest/gtest.h>

#include <regex>

#include "store/connect.h"
#include "test_support.h"
#include "web/data/person_registry.h"

namespace ostrand::web {
namespace {

using test_support::Contains;
using testing::Browser;
using testing::kLi;
using testing::kZhang;
using testing::Result;

class WebRetirement : public ::testing::Test {
 protected:
  void Start(ServerOptions options) {
    server_ = std::make_unique<testing::RunningServer>(std::move(options));
  }
  std::string Body(Browser& browser, const std::string& path) {
    const Result page = browser.Get(path);
    EXPECT_TRUE(page && page->status == 200) << path;
    return page ? page->body : "";
  }

  testing::TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::unique_ptr<testing::RunningServer> server_;
};

TEST_F(WebRetirement, ARetiredPersonDisappearsAndCanOpenNothing) {
  testing::WriteFixture(path_);
  Start(testing::TestOptions(path_));
  const auto zhang = testing::SignedIn(server_->port(), kZhang);
  const auto li = testing::SignedIn(server_->port(), kLi);
  const std::regex feed("value=\"http://[^/\"]+(/feeds/[^\"]+)\"");
  std::smatch match;
  const std::string subscribe = Body(*li, "/subscribe");
  ASSERT_TRUE(std::regex_search(subscribe, match, feed));
  const std::string li_feed = match[1].str();
  testing::HttpClient client(server_->port());
  ASSERT_EQ(client.Get(li_feed)->status, 200);
  const std::vector<std::string> lists = {
      "/schedule/personMonth.asp?dt=2001-12-10", "/schedule/leaderMonth.asp?dt=2001-12-10",
      "/schedule/leaderWeek.asp?dt=2001-12-10", "/schedule/away.asp?dt=2001-12-10",
      "/schedule/leaderMonths.asp?dt=2001-12-10", "/api/v1/department?from=2001-12-10&to=2001-12-10"};
  for (const std::string& page : lists) EXPECT_TRUE(Contains(Body(*zhang, page), "李科员")) << page;

  RetirePerson(*store::Connect("sqlite:" + path_), kLi, kZhang,
               DateTime::FromCivil(2001, 12, 5, 9, 0, 0));

  for (const std::string& page : lists) EXPECT_FALSE(Contains(Body(*zhang, page), "李科员")) << page;
  // The open session ends at the next request; no new one begins.
  const Result after = li->Get("/schedule/personMonth.asp");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->status, 303);
  Browser again(server_->port());
  const Result refused = again.SignIn(std::to_string(kLi), testing::kPassword);
  ASSERT_TRUE(refused);
  EXPECT_NE(refused->status, 303);
  EXPECT_EQ(client.Get(li_feed)->status, 404);
  // Li's month stays readable with its shared plan.
  EXPECT_TRUE(Contains(Body(*zhang, "/schedule/personMonth.asp?personID=2&dt=2001-12-10"),
                       "李共享调研"));
}

// A top-level OR in the operator's condition stays inside the leader's
// department: Wang (duty 4, system 2) is not on Zhang's list.
TEST_F(WebRetirement, LeaderConditionWithOrStaysInTheDepartment) {
  testing::WriteFixture(path_);
  ServerOptions options = testing::TestOptions(path_);
  options.leader_cond = "1=0 or person.dutyID=4";
  Start(std::move(options));
  const auto zhang = testing::SignedIn(server_->port(), kZhang);
  for (const std::string page :
       {"/schedule/leaderMonth.asp?dt=2001-12-05", "/schedule/leaderMonths.asp?dt=2001-12-05",
        "/api/v1/department?from=2001-12-05&to=2001-12-05"}) {
    const std::string body = Body(*zhang, page);
    EXPECT_TRUE(Contains(body, "李科员")) << page;
    EXPECT_FALSE(Contains(body, "王外单位")) << page;
  }
}

}  // namespace
}  // namespace ostrand::web
