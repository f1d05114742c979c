// The leader summaries' kept day cells: a kept row never outlives a change
// of its person's plans, whoever makes it (the editor, a calendar program,
// another process, another program writing the tables), and the cache
// holds no more than its bounds.
#include <gtest/gtest.h>
#include <sodium.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "store/connect.h"
#include "test_support.h"
#include "web/auth/app_passwords.h"
#include "web/data/month_cells_cache.h"
#include "web/data/plan_changes.h"

namespace ostrand::web {
namespace {

using test_support::Contains;
using testing::kLi;
using testing::kZhang;

std::string Base64(std::string_view text) {
  std::string out(sodium_base64_ENCODED_LEN(text.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(text.data()),
                    text.size(), sodium_base64_VARIANT_ORIGINAL);
  out.resize(out.size() - 1);
  return out;
}

class MonthCellsPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteFixture(path_);
    server_ = std::make_unique<testing::RunningServer>(testing::TestOptions(path_));
    zhang_ = testing::SignedIn(server_->port(), kZhang);
  }

  // Both summaries of December 2001, read twice so that their rows are kept.
  std::array<std::string, 2> Summaries() {
    std::array<std::string, 2> pages;
    for (int i = 0; i < 2; ++i) {
      const testing::Result month = zhang_->Get("/schedule/leaderMonth.asp?dt=2001-12-5");
      const testing::Result months =
          zhang_->Get("/schedule/leaderMonths.asp?dt=2001-12-5&months=2");
      EXPECT_TRUE(month && month->status == 200 && months && months->status == 200);
      pages = {month ? month->body : "", months ? months->body : ""};
    }
    return pages;
  }

  void ExpectBothShow(std::string_view text, const char* who) {
    const auto [month, months] = Summaries();
    EXPECT_TRUE(Contains(month, text)) << who << ": leaderMonth.asp";
    EXPECT_TRUE(Contains(months, text)) << who << ": leaderMonths.asp";
  }

  const testing::TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::unique_ptr<testing::RunningServer> server_;
  std::unique_ptr<testing::Browser> zhang_;
};

TEST_F(MonthCellsPagesTest, EveryWriterOfPlansShowsOnTheNextPage) {
  const auto [month_before, months_before] = Summaries();
  ASSERT_FALSE(Contains(month_before, "编辑器写的"));

  // The day editor, in this server.
  const auto li = testing::SignedIn(server_->port(), kLi);
  const std::string editor = "/schedule/manage.asp?personID=2&dt=2001-12-20";
  const testing::Result form = li->Get(editor);
  ASSERT_TRUE(form);
  const testing::Result saved =
      li->Post(editor, {{"csrf", testing::Browser::FieldValue(form->body, "csrf")},
                        {"action", "save"}, {"planID", ""}, {"start", "2001-12-20T14:00"},
                        {"end", "2001-12-20T16:00"}, {"kind", "1"}, {"place", "1"},
                        {"detail", ""}, {"content", "编辑器写的"}, {"addition", ""},
                        {"flag", "1"}});
  ASSERT_TRUE(saved);
  ASSERT_EQ(saved->status, 303);
  ExpectBothShow("编辑器写的", "the editor");

  // A calendar program, with an app password.
  std::string password;
  {
    const auto db = store::Connect("sqlite:" + path_);
    password = CreateAppPassword(*db, kLi, "phone", UtcNow());
  }
  testing::HttpClient dav(server_->port());
  const std::string event =
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\nUID:cells-1\r\n"
      "DTSTAMP:20011201T000000Z\r\nDTSTART:20011211T090000\r\nDTEND:20011211T100000\r\n"
      "SUMMARY:日历写的\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  const testing::Result put = dav.Send(
      "PUT", "/dav/calendars/2/own/cells-1.ics",
      {{"Authorization", "Basic " + Base64("2:" + password)},
       {"Content-Type", "text/calendar; charset=utf-8"}},
      event);
  ASSERT_TRUE(put);
  ASSERT_EQ(put->status, 201) << put->body;
  ExpectBothShow("日历写的", "a calendar program");

  // Another process, through the path that records the change.
  const std::string list = dir_.File("plans.csv");
  std::ofstream(list) << "开始,结束,地点类别,地点,详细地点,内容,附加,类型\n"
                         "2001-12-12 09:00,2001-12-12 10:00,本单位,三层会议室,,导入写的,,共享\n";
  const std::string command = std::string(OSTRAND_BINARY) + " import-plans sqlite:" + path_ +
                              " " + list + " --person 2 --apply >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ExpectBothShow("导入写的", "import-plans");

  // Another program changing a plan in place, with no record of it.
  {
    const auto db = store::Connect("sqlite:" + path_);
    ASSERT_EQ(db->Execute("UPDATE personPlan SET planContent = '外部改的' "
                          "WHERE planContent = '导入写的'"),
              1);
  }
  ExpectBothShow("外部改的", "another program");
  const auto [month_after, months_after] = Summaries();
  EXPECT_FALSE(Contains(month_after, "导入写的"));
  EXPECT_FALSE(Contains(months_after, "导入写的"));
}

class MonthCellsCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteFixture(path_);
    writer_ = store::Connect("sqlite:" + path_);
  }
  const DateTime december_ = DateTime::FromCivil(2001, 12, 1);
  const testing::TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::unique_ptr<store::Connection> writer_;
};

TEST_F(MonthCellsCacheTest, AChangeDropsItsPersonAndAPageThatReadBeforeItKeepsNothing) {
  MonthCellsCache cache("sqlite:" + path_);
  {
    MonthCellsCache::Use first = cache.Begin();
    first.Offer("2", december_, "li");
    first.Offer("4", december_, "zhao");
  }
  MonthCellsCache::Use before = cache.Begin();
  ASSERT_TRUE(before.Find("2", december_));
  EXPECT_EQ(*before.Find("4", december_), "zhao");

  {
    store::Transaction transaction(*writer_);
    RecordPlanChange(*writer_, 2, 999, true, UtcNow());
    transaction.Commit();
  }
  MonthCellsCache::Use after = cache.Begin();
  EXPECT_FALSE(after.Find("2", december_)) << "the changed person's cells go";
  EXPECT_TRUE(after.Find("4", december_)) << "the others stay";
  before.Offer("2", december_, "li, as read before the change");
  EXPECT_FALSE(after.Find("2", december_)) << "a page begun before the change keeps nothing";
  after.Offer("2", december_, "li again");
  EXPECT_EQ(*after.Find("2", december_), "li again");

  writer_->Execute("UPDATE planAddr SET planAddrName = planAddrName || '!'");
  MonthCellsCache::Use unexplained = cache.Begin();
  EXPECT_FALSE(unexplained.Find("4", december_)) << "a commit with no record drops everything";
  EXPECT_EQ(cache.size(), 0u);
}

// The outbox commits through the cache's own connection: its commits keep
// the cells, a page that cannot check while a quiet write waits keeps
// nothing, and a write that fails leaves the next look to start afresh.
TEST_F(MonthCellsCacheTest, QuietWritesKeepTheCells) {
  MonthCellsCache cache("sqlite:" + path_);
  cache.Begin().Offer("2", december_, "li");
  const auto add_event = [](store::Connection& db) {
    db.Execute("INSERT INTO hostEvent (eventKey, kind, shared, body, createdAt, fannedOut) "
               "VALUES ('k1', 'plan.added', 1, '{}', '2001-12-01 00:00:00', 0)");
  };
  EXPECT_TRUE(cache.RunQuietly(add_event));
  EXPECT_TRUE(cache.Begin().Find("2", december_)) << "a quiet commit changes no cell";

  std::atomic<bool> begun = false;
  std::optional<bool> kept;
  const bool ran = cache.RunQuietly([&](store::Connection&) {
    std::thread page([&] {
      kept = cache.Begin().Find("2", december_) != nullptr;
      begun = true;
    });
    page.join();
  });
  EXPECT_TRUE(ran && begun);
  EXPECT_EQ(kept, false) << "a page does not wait for a quiet write";

  EXPECT_THROW(cache.RunQuietly([](store::Connection& db) { db.Execute("no sql"); }),
               std::exception);
  EXPECT_FALSE(cache.Begin().Find("2", december_)) << "after a failed quiet write, afresh";
  EXPECT_EQ(writer_->Query("SELECT COUNT(*) FROM hostEvent").Field(std::size_t{0}).ToNumber(), 1);
}

TEST_F(MonthCellsCacheTest, HoldsNoMoreThanItsCountAndBytes) {
  MonthCellsCache by_count("sqlite:" + path_, 3, 1 << 20);
  MonthCellsCache by_bytes("sqlite:" + path_, 100, 2000);
  MonthCellsCache::Use counted = by_count.Begin();
  MonthCellsCache::Use sized = by_bytes.Begin();
  const std::string cells(400, 'x');
  for (int person = 1; person <= 10; ++person) {
    counted.Offer(std::to_string(person), december_, cells);
    sized.Offer(std::to_string(person), december_, cells);
  }
  EXPECT_EQ(by_count.size(), 3u);
  EXPECT_TRUE(counted.Find("10", december_)) << "the newest stay";
  EXPECT_FALSE(counted.Find("1", december_));
  EXPECT_LE(by_bytes.bytes(), 2000u);
  EXPECT_GE(by_bytes.size(), 1u);
  sized.Offer("big", december_, std::string(5000, 'y'));
  EXPECT_FALSE(sized.Find("big", december_)) << "cells larger than the whole cache are not kept";
}

}  // namespace
}  // namespace ostrand::web
