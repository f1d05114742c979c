// What `ostrand serve` hands to other programs: calendar feeds behind the
// subscriber's token (what each may see, the token's reset, polls answered
// 304), the spreadsheet downloads of the pages, and the JSON API by
// session or bearer token, each with the pages' access rules.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>

#include "feeds/ical_reader.h"
#include "python_check.h"
#include "store/connect.h"
#include "web/data/plan_repository.h"
#include "web/http/conditional.h"
#include "test_support.h"

namespace ostrand::web {
namespace {

using testing::Browser;
using testing::HttpClient;
using testing::kLi;
using testing::kWang;
using testing::kZhang;
using testing::kZhao;
using testing::Result;
using Json = nlohmann::json;

using test_support::Contains;

const feeds::TimeZone& Shanghai() {
  static const feeds::TimeZone zone = feeds::TimeZone::Named("Asia/Shanghai");
  return zone;
}

class WebFeedsTest : public ::testing::Test {
 protected:
  WebFeedsTest() {
    testing::WriteFixture(path_);
    ServerOptions options = testing::TestOptions(path_);
    options.access_log = &log_;
    options.time_zone = Shanghai();
    server_ = std::make_unique<testing::RunningServer>(std::move(options));
  }

  std::unique_ptr<Browser> SignedIn(int person) {
    return testing::SignedIn(server_->port(), person);
  }

  // The paths of the feed addresses that the subscribe page shows, in its
  // order: one's own first.
  static std::vector<std::string> FeedPaths(Browser& browser, const std::string& query = "") {
    const Result page = browser.Get("/subscribe" + query);
    EXPECT_TRUE(page && page->status == 200);
    std::vector<std::string> paths;
    if (!page) return paths;
    const std::regex address("class=\"feed-url\"[^>]*value=\"http://[^/\"]+(/feeds/[^\"]+)\"");
    for (auto it = std::sregex_iterator(page->body.begin(), page->body.end(), address);
         it != std::sregex_iterator(); ++it) {
      paths.push_back((*it)[1].str());
    }
    return paths;
  }

  Result Fetch(const std::string& path, const testing::Headers& headers = {}) {
    HttpClient client(server_->port());
    return client.Get(path, headers);
  }

  int StatusOf(const std::string& path) {
    const Result reply = Fetch(path);
    return reply ? reply->status : -1;
  }

  // Posts a form of the subscribe page.
  static Result Act(Browser& browser, const std::string& action) {
    const Result page = browser.Get("/subscribe");
    return browser.Post(
        "/subscribe",
        {{"csrf", Browser::FieldValue(page ? page->body : "", "csrf")}, {"action", action}});
  }

  const testing::TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::ostringstream log_;
  std::unique_ptr<testing::RunningServer> server_;
};

TEST_F(WebFeedsTest, SubscribePageAddressesGiveWhatThePagesAllow) {
  const std::unique_ptr<Browser> zhang = SignedIn(kZhang);
  const std::vector<std::string> paths = FeedPaths(*zhang, "?personID=" + std::to_string(kLi));
  ASSERT_EQ(paths.size(), 4u);  // own, Li's, both department feeds
  const Result page = zhang->Get("/subscribe");
  EXPECT_TRUE(Contains(page->body, "href=\"webcal://127.0.0.1:"));

  const Result own = Fetch(paths[0]);
  ASSERT_TRUE(own && own->status == 200);
  EXPECT_EQ(own->get_header_value("Content-Type"), "text/calendar; charset=utf-8");
  EXPECT_TRUE(Contains(own->body, "张私人事务"));
  const plans::ImportResult read = feeds::ReadCalendar(own->body, Shanghai());
  EXPECT_TRUE(read.problems.empty());
  ASSERT_EQ(read.plans.size(), 2u);
  EXPECT_EQ(read.plans[0].plan.start, DateTime::FromCivil(2001, 12, 5, 9));
  std::ofstream(dir_.File("own.ics"), std::ios::binary) << own->body;
  const Json python = test_support::RunPythonCheck("ical_events.py", {dir_.File("own.ics")});
  ASSERT_EQ(python["events"].size(), 2u);
  EXPECT_EQ(python["events"][0]["transp"], "TRANSPARENT");
  EXPECT_EQ(python["zones"], Json::array({"Asia/Shanghai"}));

  const Result li = Fetch(paths[1]);
  ASSERT_TRUE(li && li->status == 200);
  EXPECT_TRUE(Contains(li->body, "SUMMARY:发改委"));
  for (const char* hidden : {"李私", "东京", "李共享调研"})
    EXPECT_FALSE(Contains(li->body, hidden));
  const Result department = Fetch(paths[2]);
  ASSERT_TRUE(department && department->status == 200);
  EXPECT_TRUE(Contains(department->body, "SUMMARY:李科员: 发改委"));
  EXPECT_FALSE(Contains(department->body, "私"));
  EXPECT_FALSE(Contains(department->body, "王外单位"));

  // Nobody gets more than the pages give, and a refusal tells nothing.
  const Result nowhere = Fetch("/no/such/page");
  const std::unique_ptr<Browser> li_browser = SignedIn(kLi);
  const std::string li_own = FeedPaths(*li_browser)[0];
  const std::string li_token = li_own.substr(7, li_own.find('/', 7) - 7);
  const std::unique_ptr<Browser> wang = SignedIn(kWang);
  const std::string wang_own = FeedPaths(*wang)[0];
  const std::string wang_token = wang_own.substr(7, wang_own.find('/', 7) - 7);
  for (const std::string& refused : std::vector<std::string>{
           "/feeds/" + li_token + "/department.ics", "/feeds/" + wang_token + "/person-1.ics",
           "/feeds/" + li_token + "/person-3.ics", "/feeds/" + li_token + "/person-99.ics",
           "/feeds/" + std::string(43, 'x') + "/own.ics", "/feeds/short/own.ics"}) {
    const Result reply = Fetch(refused);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 404) << refused;
    EXPECT_EQ(reply->body, nowhere->body) << refused;
  }
  EXPECT_EQ(zhang->Get("/subscribe?personID=3")->status, 403);
  // The log never holds a token.
  const std::string token = paths[0].substr(7, paths[0].find('/', 7) - 7);
  server_.reset();  // every line is written once the server has stopped
  EXPECT_FALSE(Contains(log_.str(), token));
  EXPECT_TRUE(Contains(log_.str(), "/feeds/-/own.ics"));
}

TEST_F(WebFeedsTest, AResetOrAVanishedPersonStopsTheOldAddressAtOnce) {
  const std::unique_ptr<Browser> zhang = SignedIn(kZhang);
  const std::string before = FeedPaths(*zhang)[0];
  EXPECT_EQ(FeedPaths(*zhang)[0], before);  // the page shows the same address again
  EXPECT_EQ(StatusOf(before), 200);
  const Result reset = Act(*zhang, "reset-feed");
  ASSERT_TRUE(reset && reset->status == 303);
  EXPECT_EQ(StatusOf(before), 404);
  const std::string after = FeedPaths(*zhang)[0];
  EXPECT_NE(after, before);
  EXPECT_EQ(StatusOf(after), 200);

  const std::unique_ptr<Browser> zhao = SignedIn(kZhao);
  const std::string zhao_own = FeedPaths(*zhao)[0];
  EXPECT_EQ(StatusOf(zhao_own), 200);
  store::Connect("sqlite:" + path_)->Execute("DELETE FROM person WHERE personID = 4");
  EXPECT_EQ(StatusOf(zhao_own), 404);
  EXPECT_EQ(StatusOf(after.substr(0, after.rfind('/')) + "/person-4.ics"), 404);

  // The same from the shell, with the server's secret file.
  const std::string secret = dir_.File("secret");
  std::ofstream(secret) << std::string(64, 'a');
  const std::vector<std::string> words = {"feed-token", "--db",          "sqlite:" + path_,
                                          "1",          "--secret-file", secret};
  const test_support::Outcome shown = test_support::RunOstrand(dir_, words);
  ASSERT_EQ(shown.exit_code, 0) << shown.err;
  EXPECT_EQ(test_support::RunOstrand(dir_, words).out, shown.out);
  // A whole address, where serve listens unless told otherwise, and said so.
  const std::string listen = "http://127.0.0.1:8080";
  ASSERT_EQ(shown.out.rfind(listen + "/feeds/", 0), 0u) << shown.out;
  EXPECT_TRUE(Contains(shown.out, "\nwebcal://127.0.0.1:8080/feeds/"));
  EXPECT_TRUE(Contains(shown.err, "by default")) << shown.err;
  const std::string shown_path =
      shown.out.substr(listen.size(), shown.out.find('\n') - listen.size());
  std::vector<std::string> elsewhere = words;
  elsewhere.insert(elsewhere.end(), {"--public-url", "https://plans.example.org/x"});
  EXPECT_EQ(test_support::RunOstrand(dir_, elsewhere).out.rfind("https://plans.example.org/x" + shown_path, 0), 0u);
  std::vector<std::string> reset_words = words;
  reset_words.push_back("--reset");
  const test_support::Outcome renewed = test_support::RunOstrand(dir_, reset_words);
  ASSERT_EQ(renewed.exit_code, 0) << renewed.err;
  EXPECT_TRUE(Contains(renewed.out, "no longer work"));
  EXPECT_FALSE(Contains(renewed.out, shown.out));
  EXPECT_EQ(StatusOf(shown_path), 404);
  EXPECT_EQ(test_support::RunOstrand(
                dir_, {"feed-token", "--db", "sqlite:" + path_, "99", "--secret-file", secret})
                .err,
            "ostrand: no person with id 99\n");
}

TEST_F(WebFeedsTest, PollsOfAnUnchangedFeedCost304AndChangesCountUp) {
  const std::unique_ptr<Browser> zhao = SignedIn(kZhao);
  const std::string own = FeedPaths(*zhao)[0];
  const Result first = Fetch(own);
  ASSERT_TRUE(first && first->status == 200);
  const std::string etag = first->get_header_value("ETag");
  const std::string modified = first->get_header_value("Last-Modified");
  // Zhao has no plans yet: the feed last changed when today began there.
  EXPECT_EQ(modified, "Tue, 04 Dec 2001 16:00:00 GMT");
  const Result same = Fetch(own, {{"If-None-Match", etag}});
  ASSERT_TRUE(same);
  EXPECT_EQ(same->status, 304);
  EXPECT_EQ(same->body, "");
  EXPECT_EQ(same->get_header_value("ETag"), etag);
  EXPECT_EQ(same->get_header_value_count("Content-Length"), 0u);
  EXPECT_EQ(Fetch(own, {{"If-Modified-Since", modified}})->status, 304);

  // A plan written through the host moves both validators on.
  const std::unique_ptr<store::Connection> db = store::Connect("sqlite:" + path_);
  PlanRepository plans(*db);
  PlanInput plan{DateTime::FromCivil(2001, 12, 6, 9),
                 DateTime::FromCivil(2001, 12, 6, 10),
                 1,
                 1,
                 std::nullopt,
                 std::string("赵的会"),
                 std::nullopt,
                 ostrand::store::kSharedPlanFlag};
  const std::int64_t id = plans.Add(kZhao, plan, 20).plan_id;
  const Result added = Fetch(own, {{"If-None-Match", etag}, {"If-Modified-Since", modified}});
  ASSERT_TRUE(added && added->status == 200);
  EXPECT_TRUE(Contains(added->body, "SEQUENCE:0"));
  EXPECT_EQ(Fetch(own, {{"If-Modified-Since", modified}})->status, 200);
  plan.content = "赵的会（改）";
  plans.Update(kZhao, id, plan, 20);
  const Result changed = Fetch(own, {{"If-None-Match", added->get_header_value("ETag")}});
  ASSERT_TRUE(changed && changed->status == 200);
  EXPECT_TRUE(Contains(changed->body, "SEQUENCE:1"));
  EXPECT_TRUE(Contains(changed->body, "LAST-MODIFIED:"));

  // Ranges are bounded.
  const Result long_range = Fetch(own + "?from=2001-01-01&to=2004-12-31");
  ASSERT_TRUE(long_range);
  EXPECT_EQ(long_range->status, 400);
  EXPECT_TRUE(Contains(long_range->body, "超过 36 个月"));
  EXPECT_EQ(StatusOf(own + "?from=2001-13-01"), 400);
  EXPECT_EQ(StatusOf(own + "?from=2001-12-01&to=2002-01-31"), 200);
}

TEST_F(WebFeedsTest, EventsKeepTheSiteIdentityWhateverNameTheSiteIsReachedBy) {
  const std::unique_ptr<Browser> zhang = SignedIn(kZhang);
  const std::string own = FeedPaths(*zhang)[0];
  const std::string port = std::to_string(server_->port());
  const auto uids = [](const std::string& body) {
    std::string out;
    const std::regex uid("UID:[^\r]*");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), uid);
         it != std::sregex_iterator(); ++it) {
      out += it->str() + "\n";
    }
    return out;
  };
  const Result first = Fetch(own, {{"Host", "localhost:" + port}});
  ASSERT_TRUE(first && first->status == 200);
  EXPECT_TRUE(std::regex_search(first->body, std::regex("UID:plan-\\d+-own@[0-9a-f]{12}\\.ostrand\r")));
  EXPECT_TRUE(Contains(first->get_header_value("Vary"), "Accept-Language"));
  for (const std::string& host : {"127.0.0.1:" + port, std::string("evil.example")}) {
    const Result again = Fetch(own, {{"Host", host}});
    ASSERT_TRUE(again && again->status == 200);
    EXPECT_EQ(uids(again->body), uids(first->body)) << host;
    EXPECT_FALSE(Contains(again->body, "evil"));
  }

  // Another server on the database, now with a public address, writes the
  // same calendar byte for byte: UIDs and DTSTAMPs alike.
  ServerOptions options = testing::TestOptions(path_);
  options.time_zone = Shanghai();
  options.public_url = "https://plans.example.org";
  const testing::RunningServer other(std::move(options));
  HttpClient client(other.port());
  const Result there = client.Get(own);
  ASSERT_TRUE(there && there->status == 200);
  EXPECT_EQ(there->body, first->body);
  EXPECT_EQ(there->get_header_value("ETag"), first->get_header_value("ETag"));

  // A refused range in one language, the visitor's.
  const std::string too_long = own + "?from=2001-1-1&to=2004-12-31";
  const Result english = Fetch(too_long, {{"Accept-Language", "en"}});
  ASSERT_TRUE(english && english->status == 400);
  EXPECT_TRUE(Contains(english->body, "2001-01-01 to 2004-12-31 is longer than 36 months"));
  const Result chinese = Fetch(too_long, {{"Accept-Language", "zh-CN"}});
  ASSERT_TRUE(chinese && chinese->status == 400);
  EXPECT_TRUE(Contains(chinese->body, "日期范围有误：2001-01-01 至 2004-12-31 超过 36 个月"));
  EXPECT_FALSE(Contains(chinese->body, "longer than"));
}

TEST_F(WebFeedsTest, DownloadsGiveWhatThePageShows) {
  const std::unique_ptr<Browser> zhang = SignedIn(kZhang);
  const Result page = zhang->Get("/schedule/leaderMonth.asp?dt=2001-12-5");
  ASSERT_TRUE(page && page->status == 200);
  const std::string csv_link = "/schedule/leaderMonth.asp?dt=2001-12-05&amp;format=csv";
  EXPECT_TRUE(Contains(page->body, csv_link));
  const Result csv = zhang->Get("/schedule/leaderMonth.asp?dt=2001-12-05&format=csv");
  ASSERT_TRUE(csv && csv->status == 200);
  EXPECT_EQ(csv->get_header_value("Content-Type"), "text/csv; charset=utf-8");
  EXPECT_EQ(csv->get_header_value("Content-Disposition"),
            "attachment; filename=\"leaderMonth-2001-12.csv\"");
  EXPECT_EQ(csv->body.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_TRUE(Contains(csv->body, "张共享例会"));
  EXPECT_FALSE(Contains(csv->body, "私"));
  const Result xlsx = zhang->Get("/schedule/leaderMonth.asp?dt=2001-12-05&format=xlsx");
  ASSERT_TRUE(xlsx && xlsx->status == 200);
  std::ofstream(dir_.File("month.xlsx"), std::ios::binary) << xlsx->body;
  std::ofstream(dir_.File("month.csv"), std::ios::binary) << csv->body;
  const Json sheet = test_support::RunPythonCheck(
      "xlsx_cells.py", {dir_.File("month.xlsx"), dir_.File("month.csv")});
  EXPECT_EQ(sheet["sheet"], sheet["csv"]);

  EXPECT_TRUE(Contains(zhang->Get("/schedule/personMonth.asp?dt=2001-12-05&format=csv")->body,
                       "张私人事务"));
  const Result li_month =
      zhang->Get("/schedule/personMonth.asp?personID=2&dt=2001-12-05&format=csv");
  ASSERT_TRUE(li_month && li_month->status == 200);
  EXPECT_TRUE(Contains(li_month->body, "李共享调研"));
  EXPECT_FALSE(Contains(li_month->body, "李私"));
  EXPECT_TRUE(Contains(zhang->Get("/schedule/leaderWeek.asp?dt=2001-12-05")->body, "format=xlsx"));
  EXPECT_EQ(zhang->Get("/schedule/leaderWeek.asp?dt=2001-12-05&format=csv")
                ->get_header_value("Content-Disposition"),
            "attachment; filename=\"leaderWeek-2001-12-03.csv\"");
  EXPECT_EQ(zhang->Get("/schedule/leaderMonth.asp?format=pdf")->status, 400);
  EXPECT_EQ(zhang->Get("/schedule/personWeek.asp?format=csv")->status, 400);

  const std::unique_ptr<Browser> li = SignedIn(kLi);
  EXPECT_EQ(li->Get("/schedule/leaderMonth.asp?format=csv")->status, 403);
  const std::unique_ptr<Browser> wang = SignedIn(kWang);
  EXPECT_EQ(wang->Get("/schedule/personMonth.asp?personID=1&format=xlsx")->status, 403);
}

TEST_F(WebFeedsTest, JsonApiBySessionOrBearerTokenFollowsThePagesRules) {
  const std::unique_ptr<Browser> zhang = SignedIn(kZhang);
  const Result mine = zhang->Get("/api/v1/plans");
  ASSERT_TRUE(mine && mine->status == 200);
  const Json own = Json::parse(mine->body);
  EXPECT_EQ(own["person"]["id"], kZhang);
  EXPECT_EQ(own["from"], "2001-09-05");
  EXPECT_EQ(own["to"], "2002-12-05");
  ASSERT_EQ(own["plans"].size(), 2u);
  EXPECT_EQ(own["plans"][0]["start"], "2001-12-05T09:00:00+08:00");
  EXPECT_EQ(own["plans"][1]["content"], "张私人事务");
  EXPECT_EQ(own["plans"][1]["shared"], false);

  const Json li =
      Json::parse(zhang->Get("/api/v1/plans?person=2&from=2001-12-01&to=2001-12-31")->body);
  ASSERT_EQ(li["plans"].size(), 1u);
  EXPECT_EQ(li["plans"][0]["place"], "发改委");
  EXPECT_FALSE(li["plans"][0].contains("detail"));
  const Json department = Json::parse(zhang->Get("/api/v1/department")->body);
  EXPECT_EQ(department["persons"].size(), 3u);
  EXPECT_FALSE(Contains(department.dump(), "私"));

  // A program with the person's API token, made on the subscribe page: the
  // page after the POST shows it once, and a reload makes no other one.
  const std::unique_ptr<Browser> li_browser = SignedIn(kLi);
  const Result made = Act(*li_browser, "new-api-token");
  ASSERT_TRUE(made && made->status == 303);
  const std::string location = made->get_header_value("Location");
  const Result shown = li_browser->Get(location);
  ASSERT_TRUE(shown && shown->status == 200);
  const std::regex code("<code>([A-Za-z0-9_-]{43})</code>");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(shown->body, match, code));
  const Result reloaded = li_browser->Get(location);
  ASSERT_TRUE(reloaded && reloaded->status == 200);
  EXPECT_FALSE(std::regex_search(reloaded->body, code));
  const testing::Headers bearer = {{"Authorization", "Bearer " + match[1].str()}};
  const Result by_token = Fetch("/api/v1/plans", bearer);
  ASSERT_TRUE(by_token && by_token->status == 200);
  EXPECT_EQ(Json::parse(by_token->body)["plans"].size(), 2u);
  EXPECT_EQ(Fetch("/api/v1/department", bearer)->status, 403);
  EXPECT_EQ(Fetch("/api/v1/plans?person=3", bearer)->status, 403);
  EXPECT_EQ(Fetch("/api/v1/plans?person=99", bearer)->status, 404);
  EXPECT_EQ(Fetch("/api/v1/plans?person=abc", bearer)->status, 400);
  // Every answer under /api/ is JSON, its message whole and in one form.
  const auto error_of = [&](const Result& reply) {
    EXPECT_TRUE(reply && reply->get_header_value("Content-Type").starts_with("application/json"));
    return reply ? Json::parse(reply->body)["error"].get<std::string>() : std::string();
  };
  EXPECT_EQ(error_of(Fetch("/api/v1/plans?person=-1", bearer)),
            "person '-1' is not a valid person id.");
  EXPECT_EQ(error_of(Fetch("/api/v1/plans?person=a%00b", bearer)),
            "person 'a%00b' is not a valid person id.");
  EXPECT_EQ(error_of(Fetch("/api/v1/plans?from=20%001", bearer)),
            "cannot read the from date '20%001' (write it as 2001-12-05)");
  EXPECT_EQ(error_of(Fetch("/api/v1/plans?from=2001-9-9&to=2001-9-1", bearer)),
            "the range starts (2001-09-09) after it ends (2001-09-01)");
  const Result unknown = Fetch("/api/v1/nothing", bearer);
  ASSERT_TRUE(unknown && unknown->status == 404);
  EXPECT_TRUE(Contains(error_of(unknown), "/api/v1/plans"));
  HttpClient poster(server_->port());
  const Result posted = poster.Post("/api/v1/plans", {}, bearer);
  ASSERT_TRUE(posted && posted->status == 405);
  EXPECT_EQ(posted->get_header_value("Allow"), "GET, HEAD");
  EXPECT_TRUE(Contains(error_of(posted), "POST"));
  // Also what the server answers before the request reaches the API.
  const Result unread = Fetch("/api/v1/plans?from=" + std::string(9000, '1'), bearer);
  ASSERT_TRUE(unread && unread->status == 414);
  EXPECT_FALSE(error_of(unread).empty());
  const Result too_long = Fetch("/api/v1/plans?from=2001-01-01&to=2009-01-01", bearer);
  ASSERT_TRUE(too_long && too_long->status == 400);
  EXPECT_TRUE(Contains(Json::parse(too_long->body)["error"].get<std::string>(), "36 months"));

  const Result anonymous = Fetch("/api/v1/plans");
  ASSERT_TRUE(anonymous && anonymous->status == 401);
  EXPECT_EQ(anonymous->get_header_value("WWW-Authenticate"), "Bearer realm=\"ostrand\"");
  EXPECT_EQ(Fetch("/api/v1/plans", {{"Authorization", "Bearer " + std::string(43, 'x')}})->status,
            401);
  ASSERT_EQ(Act(*li_browser, "revoke-api-token")->status, 303);
  EXPECT_EQ(Fetch("/api/v1/plans", bearer)->status, 401);
}

}  // namespace
}  // namespace ostrand::web
