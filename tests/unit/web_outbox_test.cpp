// The outbox on every backend: who gets what, leases between two servers,
// the retry schedule, resend; and what a webhook receiver is sent.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "core/error.h"
#include "store/connect.h"
#include "test_databases.h"
#include "web/data/mail_settings.h"
#include "web/data/outbox.h"
#include "web/data/plan_changes.h"
#include "web/data/plan_events.h"
#include "web/data/plan_repository.h"
#include "web/data/row_values.h"
#include "web/data/webhooks_table.h"
#include "web/notify/webhook_body.h"
#include "web/notify/webhook_channel.h"

namespace ostrand::web {
namespace {

using Json = nlohmann::json;

const DateTime kNow = DateTime::FromCivil(2026, 12, 9, 10);
constexpr const char* kSecret = "whsec_MfKQ9r8GKYqrTwjUPD8ILPZIo2LaLaSw";

Webhook Receiver(std::string url, std::vector<std::string> kinds, bool sees_private = false) {
  Webhook w;
  w.name = url;
  w.url = std::move(url);
  w.secret = kSecret;
  w.kinds = std::move(kinds);
  w.sees_private = sees_private;
  return w;
}

NewEvent Event(std::string_view kind, std::optional<std::int64_t> person,
               std::optional<std::int64_t> actor,
               bool shared = true, std::string body = "{}") {
  NewEvent event;
  event.kind = kind;
  event.person_id = person;
  event.actor_id = actor;
  event.shared = shared;
  event.body = std::move(body);
  event.at = kNow;
  return event;
}

std::int64_t CountOf(store::Connection& db, const std::string& sql) { return Int(db.Query(sql), 0); }

class OutboxTest : public ::testing::TestWithParam<test_support::TestBackend> {};

TEST_P(OutboxTest, FanOutGivesEachReceiverAndPersonWhatItMaySee) {
  const test_support::TestDatabase database(GetParam());
  const std::unique_ptr<store::Connection> db = store::Connect(database.connection_string());
  db->ExecuteScript("INSERT INTO person VALUES (7, 'Ann', 1, 1); "
                    "INSERT INTO person VALUES (8, 'Bo', 1, 1)");
  const std::int64_t all = InsertWebhook(*db, Receiver("http://a/", {"plan.added", "plan.changed"}), kNow);
  const std::int64_t priv = InsertWebhook(*db, Receiver("http://b/", {"plan.added"}, true), kNow);
  Webhook off = Receiver("http://c/", {"plan.added"});
  off.active = false;
  InsertWebhook(*db, off, kNow);
  Webhook eight = Receiver("http://d/", {"away.today"});
  eight.away_hour = 8;
  const std::int64_t at_eight = InsertWebhook(*db, eight, kNow);
  SetMailAddress(*db, 7, "ann@example.org", "en", kNow);
  SetMailChoice(*db, 7, kMailChanges, true, kNow);

  // The editor's write adds its event in its transaction, Bo acting.
  PlanRepository plans(*db);
  plans.set_actor(8);
  PlanInput input;
  input.start = DateTime::FromCivil(2026, 12, 10, 9);
  input.end = DateTime::FromCivil(2026, 12, 10, 17);
  input.content = "出差";
  input.kind_id = 3;  // outside Beijing: away (kind 0 would count as the office)
  ASSERT_NE(plans.Add(7, input, 20).plan_id, 0);
  input.flag = store::kPrivatePlanFlag;
  ASSERT_NE(plans.Add(7, input, 20).plan_id, 0);  // private: the private receiver only
  {
    store::Transaction t(*db);
    AddEvent(*db, Event(kPlanChanged, 7, 7));  // her own change: no mail
    AddEvent(*db, Event(kAwayToday, std::nullopt, std::nullopt, true, R"({"hour": 8})"));
    AddEvent(*db, Event(kAwayToday, std::nullopt, std::nullopt, true, R"({"hour": 9})"));
    AddEvent(*db, Event(kMailInvitation, 7, std::nullopt, true, R"({"link": "s3cret"})"));
    t.Commit();
  }
  // Who is away: Ann's shared plan away from the office, not the private one.
  const Json away = Json::parse(AwayListBody(*db, DateTime::FromCivil(2026, 12, 10), 8));
  EXPECT_EQ(away["hour"], 8);
  ASSERT_EQ(away["away"].size(), 1u);
  EXPECT_EQ(away["away"][0]["person"]["name"], "Ann");
  EXPECT_TRUE(Json::parse(AwayListBody(*db, DateTime::FromCivil(2026, 12, 11), 8))["away"].empty());

  Outbox outbox(*db, "one");
  EXPECT_EQ(outbox.FanOut(kNow, 100), 6u);
  EXPECT_EQ(outbox.FanOut(kNow, 100), 0u) << "each event fans out once";

  const std::vector<Delivery> to_all = outbox.RecentOfReceiver(all, 10);
  ASSERT_EQ(to_all.size(), 2u) << "the shared plan.added and the plan.changed";
  EXPECT_EQ(to_all[0].events.at(0).kind, "plan.changed");
  const Json body = Json::parse(to_all[1].events.at(0).body);
  EXPECT_EQ(body["plan"]["content"], "出差");
  EXPECT_EQ(body["actor"]["name"], "Bo");
  EXPECT_EQ(body["person"]["id"], 7);
  EXPECT_EQ(outbox.RecentOfReceiver(priv, 10).size(), 2u);
  EXPECT_EQ(outbox.RecentOfReceiver(at_eight, 10).size(), 1u) << "only the list of its hour";

  // Bo's two changes gather into one mail due ten minutes on; the
  // invitation's link moved into its mail.
  const std::vector<Delivery> mails =
      outbox.TakeDue(AddSeconds(UtcNow(), 86400), std::chrono::seconds(60), 10, {"mail"});
  ASSERT_EQ(mails.size(), 2u);
  const Delivery& changes = mails[0].mail_kind == "changes" ? mails[0] : mails[1];
  const Delivery& invitation = mails[0].mail_kind == "changes" ? mails[1] : mails[0];
  EXPECT_EQ(changes.events.size(), 2u);
  ASSERT_TRUE(changes.events.at(0).at);
  EXPECT_EQ(changes.next_attempt_at, AddSeconds(*changes.events.at(0).at, 600));
  EXPECT_EQ(invitation.body, R"({"link": "s3cret"})");
  EXPECT_EQ(invitation.events.at(0).body, "") << "the event keeps no copy of the link";
  EXPECT_EQ(CountOf(*db, "SELECT COUNT(*) FROM hostDelivery WHERE channel = 'mail'"), 2);

  NewEvent daily = Event(kAwayToday, std::nullopt, std::nullopt);
  daily.key = "away.today-2026-12-09-8";
  EXPECT_TRUE(AddEventOnce(*db, daily));
  EXPECT_FALSE(AddEventOnce(*db, daily)) << "the second of one key is refused";
  EXPECT_THROW(AddEvent(*db, Event("plan.eaten", 7, 7)), Error);
}

TEST_P(OutboxTest, LeasesKeepTwoServersApartAndRetriesEndInFailure) {
  const test_support::TestDatabase database(GetParam());
  const std::unique_ptr<store::Connection> db1 = store::Connect(database.connection_string());
  const std::unique_ptr<store::Connection> db2 = store::Connect(database.connection_string());
  const std::int64_t receiver = InsertWebhook(*db1, Receiver("http://a/", {"person.added"}), kNow);
  {
    store::Transaction t(*db1);
    AddEvent(*db1, Event(kPersonAdded, 7, std::nullopt));
    AddEvent(*db1, Event(kPersonAdded, 8, std::nullopt));
    t.Commit();
  }
  Outbox one(*db1, "one");
  Outbox two(*db2, "two");
  EXPECT_EQ(one.FanOut(kNow, 100) + two.FanOut(kNow, 100), 2u);
  const std::chrono::seconds lease(60);
  const std::vector<Delivery> taken = one.TakeDue(kNow, lease, 10);
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_TRUE(two.TakeDue(AddSeconds(kNow, 30), lease, 10).empty()) << "held by one";
  // One's lease ends unanswered (the server died): two takes the delivery.
  ASSERT_EQ(two.TakeDue(AddSeconds(kNow, 61), lease, 1).size(), 1u);
  EXPECT_FALSE(one.Finish(taken[0].id, notify::OutcomeOfHttpStatus(200), AddSeconds(kNow, 62)));
  EXPECT_TRUE(two.Finish(taken[0].id, notify::OutcomeOfHttpStatus(200), AddSeconds(kNow, 62)));

  // The other one fails again and again: due after each of the waits, the
  // last attempt when the day is over, then failed and emptied.
  const std::int64_t id = taken[1].id;
  DateTime at = kNow;
  ASSERT_TRUE(one.Finish(id, notify::OutcomeOfHttpStatus(503), at));
  int attempts = 1;
  std::vector<std::int64_t> waits;
  for (;;) {
    std::vector<Delivery> due = one.TakeDue(AddSeconds(at, 86400 * 2), lease, 10);
    ASSERT_EQ(due.size(), 1u);
    ASSERT_TRUE(due[0].next_attempt_at);
    waits.push_back(UnixSecondsOf(*due[0].next_attempt_at) - UnixSecondsOf(at));
    at = *due[0].next_attempt_at;
    ASSERT_TRUE(one.Finish(id, notify::Unreachable("no answer in time"), at));
    ++attempts;
    if (one.RecentOfReceiver(receiver, 1)[0].status != "pending") break;
    ASSERT_LT(attempts, 40);
  }
  ASSERT_GE(waits.size(), 7u);
  EXPECT_EQ(std::vector<std::int64_t>(waits.begin(), waits.begin() + 7),
            (std::vector<std::int64_t>{30, 120, 600, 1800, 3600, 7200, 14400}));
  EXPECT_EQ(at, AddSeconds(kNow, 86400)) << "the last attempt is when the 24 hours are over";
  const Delivery failed = one.RecentOfReceiver(receiver, 1)[0];
  EXPECT_EQ(failed.status, "failed");
  EXPECT_EQ(failed.attempts, attempts);
  EXPECT_EQ(failed.last_error, "no answer in time");

  // Resent: due at once, counted afresh; a refusal ends it at once.
  EXPECT_TRUE(two.Resend(id, at));
  EXPECT_FALSE(two.Resend(id, at)) << "still pending";
  ASSERT_EQ(two.TakeDue(at, lease, 10).size(), 1u);
  EXPECT_TRUE(two.Finish(id, notify::OutcomeOfHttpStatus(410), at));
  EXPECT_EQ(two.RecentOfReceiver(receiver, 1)[0].status, "failed");
  EXPECT_EQ(two.RecentOfReceiver(receiver, 1)[0].attempts, 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, OutboxTest, ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

TEST(WebhookBody, JsonAndChatShowWhatTheReceiverMaySee) {
  StoredEvent event;
  event.key = "msg_1";
  event.kind = std::string(kPlanAdded);
  event.at = DateTime::FromCivil(2026, 12, 9, 2, 5);
  event.body = R"({"person": {"id": 7, "name": "王芳"}, "actor": {"id": 8, "name": "李雷"},
      "plan": {"id": 12, "start": "2026-12-10 09:00:00", "end": "2026-12-10 17:30:00",
               "kind": "出差", "place": "上海", "detail": "房间", "content": "客户\n会议",
               "addition": "附加", "shared": true}})";
  const feeds::TimeZone zone = feeds::TimeZone::Named("Asia/Shanghai");
  Webhook receiver = Receiver("http://a/", {"plan.added"});
  const Json shared = Json::parse(notify::WebhookBody(receiver, event, zone));
  EXPECT_EQ(shared["type"], "plan.added");
  EXPECT_EQ(shared["timestamp"], "2026-12-09T02:05:00Z");
  EXPECT_EQ(shared["data"]["plan"]["start"], "2026-12-10T09:00:00+08:00");
  EXPECT_EQ(shared["data"]["plan"]["content"], "客户\n会议");
  EXPECT_FALSE(shared["data"]["plan"].contains("detail"));
  EXPECT_FALSE(shared["data"]["plan"].contains("addition"));
  EXPECT_EQ(shared["data"]["actor"]["name"], "李雷");
  receiver.sees_private = true;
  EXPECT_EQ(Json::parse(notify::WebhookBody(receiver, event, zone))["data"]["plan"]["detail"],
            "房间");
  receiver.format = std::string(kWebhookFormatChat);
  EXPECT_EQ(Json::parse(notify::WebhookBody(receiver, event, zone)),
            (Json{{"text", "李雷 新增了 王芳 的日程：2026-12-10 09:00–2026-12-10 17:30 出差·上海 "
                           "客户 会议"}}));
  event.body = "not json";
  EXPECT_EQ(Json::parse(notify::WebhookBody(receiver, event, zone))["text"].get<std::string>().find(
                "其他程序"),
            0u) << "a body that does not read still makes a line";
}

TEST(WebhookAddress, OnlyHttpAndHttpsWithAHost) {
  for (const char* good : {"http://127.0.0.1:8080/hook", "HTTPS://chat.example/x?token=1",
                           "https://[::1]:9/"}) {
    EXPECT_TRUE(notify::IsWebhookAddress(good)) << good;
  }
  for (const char* bad : {"", "ftp://a/", "http://", "http:///x", "https://user@host/",
                          "https://a/b c", "https://a/#x", "file:///etc/passwd", "http://:80/"}) {
    EXPECT_FALSE(notify::IsWebhookAddress(bad)) << bad;
  }
}

}  // namespace
}  // namespace ostrand::web
