// Long lists a page at a time: the arithmetic of the pages, what a query
// asks of a list, the links and the pager; the filtered and windowed
// persons of the leader's list and of who is away on every backend; and
// the pages that use them over HTTP.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plans/leader_list.h"
#include "store/connect.h"
#include "test_databases.h"
#include "test_support.h"
#include "web/data/department_plans.h"
#include "web/data/person_registry.h"
#include "web/http/form_fields.h"
#include "web/http/request_values.h"
#include "web/i18n/http_error.h"
#include "web/pages/list_paging.h"

namespace ostrand::web {
namespace {

using test_support::Contains;
using test_support::TestBackend;
using test_support::TestDatabase;

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TEST(ListPaging, WindowsKeepThePageWithinTheList) {
  struct Case {
    std::int64_t page;
    std::size_t size;
    std::int64_t total;
    std::int64_t want_page, want_pages, first, last;
  };
  const Case cases[] = {
      {1, 50, 0, 1, 1, 0, 0},    // an empty list has one empty page
      {1, 50, 14, 1, 1, 1, 14},  // a small department: one page
      {2, 50, 1000, 2, 20, 51, 100},
      {20, 50, 1000, 20, 20, 951, 1000},                // the last page, full
      {21, 50, 1000, 20, 20, 951, 1000},                // past the end: the last page
      {kLargestExactId, 25, 1001, 41, 41, 1001, 1001},  // the last page holds one
      {0, 50, 10, 1, 1, 1, 10},
      {-5, 50, 10, 1, 1, 1, 10},
      {3, 0, 10, 3, 10, 3, 3},  // a size of 0 counts as 1
      {1, 50, -4, 1, 1, 0, 0},
  };
  for (const Case& c : cases) {
    const PageWindow w = WindowOf(c.page, c.size, c.total);
    SCOPED_TRACE(std::to_string(c.page) + " of " + std::to_string(c.size) + " in " +
                 std::to_string(c.total));
    EXPECT_EQ(w.page, c.want_page);
    EXPECT_EQ(w.pages, c.want_pages);
    EXPECT_EQ(w.first(), c.first);
    EXPECT_EQ(w.last(), c.last);
    EXPECT_EQ(w.offset(), c.first == 0 ? 0u : static_cast<std::size_t>(c.first - 1));
  }
}

TEST(ListPaging, ReadsWhatAQueryAsksAndRefusesWhatDoesNotRead) {
  struct Case {
    std::string query;
    std::int64_t page;
    std::size_t size;
    std::string name;
    std::optional<std::int64_t> duty;
  };
  const Case cases[] = {
      {"", 1, 50, "", std::nullopt},
      {"page=3&size=100&q=%20Li%20&duty=4", 3, 100, "Li", 4},
      {"page=0&size=", 1, 50, "", std::nullopt},
      {"page=%202%20", 2, 50, "", std::nullopt},
      {"page=99999999999999999999999", kLargestExactId, 50, "", std::nullopt},
      {"size=5", 1, 25, "", std::nullopt},
      {"size=100000000000000000000", 1, 200, "", std::nullopt},
      {"size=30", 1, 30, "", std::nullopt},
      {"q=%E5%BC%A0%FF%0A", 1, 50, "张\uFFFD", std::nullopt},  // made UTF-8, trimmed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    const ListAsk ask = ReadListAsk(http::ParseFields(c.query));
    EXPECT_EQ(ask.page, c.page);
    EXPECT_EQ(ask.size, c.size);
    EXPECT_EQ(ask.filter.name_part, c.name);
    EXPECT_EQ(ask.filter.duty_id, c.duty);
  }
  for (const std::string bad :
       {"page=x", "page=-1", "size=1e2", "duty=abc", "duty=99999999999", "page=2.5"}) {
    EXPECT_THROW(ReadListAsk(http::ParseFields(bad)), HttpError) << bad;
  }
}

TEST(ListPaging, LinksKeepTheFilterAndThePagerOffersOnlyWhatExists) {
  std::string link = "/x?dt=1";
  AppendListQuery(link, {"李 & co", 4}, 100, 3);
  EXPECT_EQ(link, "/x?dt=1&q=%E6%9D%8E%20%26%20co&duty=4&size=100&page=3");
  link = "/x?dt=1";
  AppendListQuery(link, {}, kDefaultPageSize, 1);
  EXPECT_EQ(link, "/x?dt=1") << "the defaults stay out of the links";

  const PageLink to = [](std::int64_t page, std::size_t size) {
    return "/l?page=" + std::to_string(page) + "&size=" + std::to_string(size);
  };
  std::string middle;
  AppendPager(middle, Language::kEnglish, WindowOf(2, 50, 1000), to);
  EXPECT_TRUE(Contains(middle, "Persons 51–100 of 1,000"));
  EXPECT_TRUE(Contains(middle, "<a rel=\"prev\" href=\"/l?page=1&amp;size=50\">"));
  EXPECT_TRUE(Contains(middle, "<a rel=\"next\" href=\"/l?page=3&amp;size=50\">"));
  // Another size opens on the page that holds the first person shown.
  EXPECT_TRUE(Contains(middle, "href=\"/l?page=3&amp;size=25\">25</a>"));
  EXPECT_TRUE(Contains(middle, "<a aria-current=\"page\" href=\"/l?page=2&amp;size=50\">50</a>"));
  EXPECT_TRUE(Contains(middle, "href=\"/l?page=1&amp;size=200\">200</a>"));

  std::string first;
  AppendPager(first, Language::kChinese, WindowOf(1, 50, 1000), to);
  EXPECT_TRUE(Contains(first, "第 1–50 人，共 1000 人"));
  EXPECT_FALSE(Contains(first, "rel=\"prev\""));
  std::string last;
  AppendPager(last, Language::kChinese, WindowOf(20, 50, 1000), to);
  EXPECT_FALSE(Contains(last, "rel=\"next\""));
  std::string none;
  AppendPager(none, Language::kEnglish, WindowOf(1, 50, 0), to);
  EXPECT_TRUE(Contains(none, "Nobody matches"));
}

class ListPagingData : public ::testing::TestWithParam<TestBackend> {
 protected:
  ListPagingData() : database_(GetParam()), db_(store::Connect(database_.connection_string())) {
    testing::WriteFixtureTo(database_.connection_string());
    // Duty 2 comes before duty 1 by its stored order.
    db_->ExecuteScript(
        "INSERT INTO personDuty VALUES (2, 'Deputy');"
        "INSERT INTO hostDuty (dutyID, dutyOrder, leads) VALUES (2, 0, 1);"
        "INSERT INTO person VALUES (10, 'Anna Smith', 4, 1), (11, 'ANNA Lee', 2, 1),"
        " (12, '张三丰', 4, 1), (13, 'x%_!y', 4, 1), (14, 'Hanna', 4, 2);"
        "INSERT INTO personPlan (personID, planStartTime, planEndTime, planAddrTypeID,"
        " planAddrID, planAddrDetail, planContent, planAddition, planFlagID) VALUES"
        " (10, '2001-12-11 09:00:00', '2001-12-11 17:00:00', 3, 3, '', 'Anna away', '', 1),"
        " (12, '2001-12-13 09:00:00', '2001-12-13 17:00:00', 1, 1, '', 'in the office', '', 1)");
  }

  static std::vector<std::int64_t> Ids(const std::vector<Person>& persons) {
    std::vector<std::int64_t> ids;
    for (const Person& p : persons) ids.push_back(p.id);
    return ids;
  }

  TestDatabase database_;
  std::unique_ptr<store::Connection> db_;
};

TEST_P(ListPagingData, LeaderListWindowsKeepTheListsOrderAndFilter) {
  const std::string cond = plans::CurrentStaffCondition("1=1");
  const std::vector<std::int64_t> all = Ids(LeaderListPersons(*db_, 1, cond));
  ASSERT_EQ(all, (std::vector<std::int64_t>{11, 1, 2, 4, 10, 12, 13}));
  EXPECT_EQ(Ids(LeaderListWindow(*db_, 1, cond, {}, 0, 0)), all);
  EXPECT_EQ(Ids(LeaderListWindow(*db_, 1, cond, {}, 2, 3)), (std::vector<std::int64_t>{2, 4, 10}));
  EXPECT_EQ(Ids(LeaderListWindow(*db_, 1, cond, {}, 6, 50)), std::vector<std::int64_t>{13});
  EXPECT_TRUE(LeaderListWindow(*db_, 1, cond, {}, 7, 50).empty());
  EXPECT_EQ(CountLeaderListPersons(*db_, 1, cond, {}), 7);

  struct Case {
    PersonFilter filter;
    std::vector<std::int64_t> ids;
  };
  const Case cases[] = {
      {{"anna", {}}, {11, 10}},                         // Latin letters in either case
      {{"ANNA S", {}}, {10}},   {{"张", {}}, {1, 12}},  // Chinese as typed; Hanna is of another
                                                        // system
      {{"张三丰", {}}, {12}},   {{"%_!", {}}, {13}},    // the pattern's own characters match only
                                                        // themselves
      {{"_", {}}, {13}},        {{"", 4}, {2, 4, 10, 12, 13}}, {{"anna", 4}, {10}},
      {{"nobody", {}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter.name_part);
    EXPECT_EQ(Ids(LeaderListWindow(*db_, 1, cond, c.filter, 0, 50)), c.ids);
    EXPECT_EQ(CountLeaderListPersons(*db_, 1, cond, c.filter),
              static_cast<std::int64_t>(c.ids.size()));
  }

  // The plans of the page's persons only.
  const std::vector<Person> page = LeaderListWindow(*db_, 1, cond, {"anna", {}}, 0, 50);
  const std::vector<DepartmentPlan> plans = PlansOfPersons(
      *db_, page, DateTime::FromCivil(2001, 12, 1), DateTime::FromCivil(2001, 12, 31));
  ASSERT_EQ(plans.size(), 1u);
  EXPECT_EQ(plans[0].content, "Anna away");
  EXPECT_TRUE(
      PlansOfPersons(*db_, {}, DateTime::FromCivil(2001, 12, 1), DateTime::FromCivil(2001, 12, 31))
          .empty());
}

TEST_P(ListPagingData, AwayPersonsAreThoseWithAPlanTheViewerSees) {
  const std::vector<std::int64_t> kinds = {2, 3, 4};
  const DateTime monday = DateTime::FromCivil(2001, 12, 10);
  const DateTime sunday = DateTime::FromCivil(2001, 12, 16);
  // Li's week: his shared and private plans, Anna's shared one; 张三丰 is in
  // the office.
  EXPECT_EQ(Ids(AwayPersonsWindow(*db_, 1, testing::kLi, monday, sunday, kinds, {}, 0, 0)),
            (std::vector<std::int64_t>{2, 10}));
  EXPECT_EQ(CountAwayPersons(*db_, 1, testing::kLi, monday, sunday, kinds, {}), 2);
  EXPECT_EQ(
      Ids(AwayPersonsWindow(*db_, 1, testing::kLi, monday, sunday, kinds, {"ANNA", {}}, 0, 0)),
      std::vector<std::int64_t>{10});
  EXPECT_EQ(Ids(AwayPersonsWindow(*db_, 1, testing::kLi, monday, sunday, kinds, {}, 1, 1)),
            std::vector<std::int64_t>{10});
  // Zhang's private plan of 6 and 7 December counts for Zhang, not for Li.
  const DateTime before = DateTime::FromCivil(2001, 12, 3);
  const DateTime until = DateTime::FromCivil(2001, 12, 9);
  EXPECT_EQ(CountAwayPersons(*db_, 1, testing::kLi, before, until, kinds, {}), 0);
  const std::vector<Person> zhang =
      AwayPersonsWindow(*db_, 1, testing::kZhang, before, until, kinds, {}, 0, 0);
  EXPECT_EQ(Ids(zhang), std::vector<std::int64_t>{1});
  EXPECT_EQ(SystemPlansOf(*db_, zhang, testing::kZhang, before, until, kinds).size(),
            SystemPlans(*db_, 1, testing::kZhang, before, until, kinds).size());
}

INSTANTIATE_TEST_SUITE_P(Backends, ListPagingData, ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

class ListPagingPages : public ::testing::Test {
 protected:
  ListPagingPages() {
    testing::WriteFixture(path_);
    server_ = std::make_unique<testing::RunningServer>(testing::TestOptions(path_));
  }

  std::string Body(testing::Browser& browser, const std::string& path, int status = 200) {
    const testing::Result result = browser.Get(path);
    EXPECT_TRUE(result && result->status == status) << path;
    return result ? result->body : "";
  }

  // 120 colleagues of system 1, each away on 11 December 2001.
  void AddColleagues() {
    std::string script;
    for (int i = 10; i < 130; ++i) {
      const std::string id = std::to_string(i);
      script += "INSERT INTO person VALUES (" + id + ", '同事" + id +
                "', 4, 1);"
                "INSERT INTO personPlan (personID, planStartTime, planEndTime, planAddrTypeID,"
                " planAddrID, planAddrDetail, planContent, planAddition, planFlagID) VALUES (" +
                id + ", '2001-12-11 09:00:00', '2001-12-11 17:00:00', 2, 2, '', '', '', 1);";
    }
    store::Connect("sqlite:" + path_)->ExecuteScript(script);
  }

  const testing::TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::unique_ptr<testing::RunningServer> server_;
};

TEST_F(ListPagingPages, LeaderMonthsAndAwayPageLongListsAndKeepTheFilter) {
  const auto zhang = testing::SignedIn(server_->port(), testing::kZhang);
  const std::string months = "/schedule/leaderMonths.asp?dt=2001-12-5&months=2";
  const std::string small = Body(*zhang, months);
  EXPECT_FALSE(Contains(small, "class=\"pager\""));
  EXPECT_FALSE(Contains(small, "list-filter"));
  EXPECT_FALSE(Contains(Body(*zhang, "/schedule/away.asp?dt=2001-12-11"), "class=\"pager\""));

  AddColleagues();
  const std::string first = Body(*zhang, months);
  EXPECT_TRUE(Contains(first, "第 1–50 人，共 123 人"));
  EXPECT_EQ(Occurrences(first, "<tr><th scope=\"row\""), 50u);
  EXPECT_TRUE(
      Contains(first, "href=\"/schedule/leaderMonths.asp?dt=2001-12-01&amp;months=2&amp;page=2\""));

  // 同事10..同事19 and 同事100..同事129: 40 persons, the second page of 25.
  const std::string page = Body(*zhang, months + "&q=%E5%90%8C%E4%BA%8B1&size=25&page=2");
  EXPECT_TRUE(Contains(page, "第 26–40 人，共 40 人"));
  EXPECT_EQ(Occurrences(page, "<tr><th scope=\"row\""), 15u);
  const std::string kept = "&amp;q=%E5%90%8C%E4%BA%8B1&amp;size=25&amp;page=2";
  EXPECT_TRUE(Contains(page, "leaderMonths.asp?dt=2001-11-01&amp;months=2" + kept))
      << "the previous month keeps the filter and the page";
  EXPECT_TRUE(Contains(page, "leaderMonths.asp?dt=2001-12-01&amp;months=3" + kept));
  EXPECT_TRUE(Contains(page, "value=\"同事1\""));
  EXPECT_TRUE(Contains(Body(*zhang, "/schedule/leaderMonths.asp?dt=2001-12-5&months=1&q=x"),
                       "months=3&amp;q=x\""))
      << "one month's page keeps the filter too";
  EXPECT_FALSE(Contains(page, "personID=1&amp;")) << "the filter leaves Zhang out";
  // Past the end: the last page; a page that does not read: 400.
  EXPECT_TRUE(Contains(Body(*zhang, months + "&page=99"), "第 101–123 人，共 123 人"));
  Body(*zhang, months + "&page=two", 400);
  Body(*zhang, months + "&duty=%27", 400);

  const std::string away = Body(*zhang, "/schedule/away.asp?dt=2001-12-11&duty=4&size=100");
  EXPECT_TRUE(Contains(away, "第 1–100 人，共 121 人"));
  EXPECT_TRUE(Contains(away, "away.asp?dt=2001-12-12&amp;duty=4&amp;size=100\""));
  EXPECT_TRUE(Contains(away, "<span class=\"count\">100</span>"));
}

}  // namespace
}  // namespace ostrand::web
