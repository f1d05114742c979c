// The receivers of webhooks and persons' mail settings on every backend.
#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "test_databases.h"
#include "web/data/mail_settings.h"
#include "web/data/webhooks_table.h"

namespace ostrand::web {
namespace {

class NotifyTables : public ::testing::TestWithParam<test_support::TestBackend> {};

TEST_P(NotifyTables, ReceiversKeepEveryFieldAndTheCommandLineOnesFollowTheFlags) {
  const test_support::TestDatabase database(GetParam());
  const std::unique_ptr<store::Connection> db = store::Connect(database.connection_string());
  const DateTime now = DateTime::FromCivil(2026, 12, 9, 10);
  Webhook chat;
  chat.name = "团队群";
  chat.url = "https://chat.example/hook?x=1";
  chat.secret = "whsec_MfKQ9r8GKYqrTwjUPD8ILPZIo2LaLaSw";
  chat.kinds = {"plan.added", "away.today"};
  chat.format = std::string(kWebhookFormatChat);
  chat.away_hour = 8;
  const std::int64_t id = InsertWebhook(*db, chat, now);
  std::optional<Webhook> read = FindWebhook(*db, id);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->name, chat.name);
  EXPECT_EQ(read->url, chat.url);
  EXPECT_EQ(read->kinds, chat.kinds);
  EXPECT_TRUE(read->Wants("away.today"));
  EXPECT_FALSE(read->Wants("plan.deleted"));
  EXPECT_EQ(read->away_hour, 8);
  EXPECT_FALSE(read->sees_private);
  EXPECT_EQ(read->created_at, now);

  Webhook given;
  given.url = "http://127.0.0.1:9/a";
  given.secret = chat.secret;
  SyncCommandLineWebhooks(*db, {given}, now);
  given.sees_private = true;
  SyncCommandLineWebhooks(*db, {given}, now);  // updated, not added again
  ASSERT_EQ(ListWebhooks(*db).size(), 2u);
  EXPECT_TRUE(ListWebhooks(*db)[1].sees_private);
  EXPECT_EQ(ListWebhooks(*db)[1].origin, kWebhookOriginCommandLine);
  SyncCommandLineWebhooks(*db, {}, now);  // no longer given: kept, inactive
  ASSERT_EQ(ListWebhooks(*db).size(), 2u);
  EXPECT_FALSE(ListWebhooks(*db)[1].active);
  EXPECT_TRUE(ListWebhooks(*db)[0].active) << "an administrator's receiver is left alone";
  // A removed receiver's pending deliveries go with it, their links to
  // events too; a delivered one stays in the record.
  const std::string ids = std::to_string(id);
  db->ExecuteScript(
      "INSERT INTO hostDelivery (deliveryID, eventID, channel, receiverID, status, createdAt, "
      "nextAttemptAt) VALUES (901, 1, 'webhook', " + ids + ", 'pending', '2026-12-10 08:00:00', "
      "'2026-12-10 08:00:00'); "
      "INSERT INTO hostDelivery (deliveryID, eventID, channel, receiverID, status, createdAt, "
      "nextAttemptAt) VALUES (902, 2, 'webhook', " + ids + ", 'delivered', '2026-12-10 08:00:00', "
      "'2026-12-10 08:00:00'); "
      "INSERT INTO hostDeliveryEvent (deliveryID, eventID) VALUES (901, 1); "
      "INSERT INTO hostDeliveryEvent (deliveryID, eventID) VALUES (902, 2)");
  EXPECT_TRUE(RemoveWebhook(*db, id));
  EXPECT_FALSE(RemoveWebhook(*db, id));
  EXPECT_EQ(db->Query("SELECT deliveryID FROM hostDeliveryEvent").Field(std::size_t{0}).ToNumber(),
            902);
  EXPECT_EQ(db->Query("SELECT COUNT(*) FROM hostDeliveryEvent").Field(std::size_t{0}).ToNumber(), 1);
}

TEST_P(NotifyTables, MailAddressesAndChoices) {
  const test_support::TestDatabase database(GetParam());
  const std::unique_ptr<store::Connection> db = store::Connect(database.connection_string());
  db->ExecuteScript("INSERT INTO person VALUES (7, 'Ann', 1, 1); "
                    "INSERT INTO person VALUES (8, 'Bo', 1, 1); "
                    "INSERT INTO hostRetiredPerson (personID, retiredAt) "
                    "VALUES (8, '2026-12-01 00:00:00')");
  const DateTime now = DateTime::FromCivil(2026, 12, 9, 10);
  SetMailChoice(*db, 7, kMailWeeklySummary, true, now);
  SetMailChoice(*db, 7, kMailChanges, true, now);
  SetMailChoice(*db, 8, kMailChanges, true, now);
  EXPECT_TRUE(PersonsChoosing(*db, kMailChanges).empty()) << "no address yet";
  SetMailAddress(*db, 7, "ann@example.org", "en", now);
  SetMailAddress(*db, 8, "bo@example.org", "zh", now);
  EXPECT_EQ(PersonsChoosing(*db, kMailChanges), std::vector<std::int64_t>{7})
      << "a retired person gets no mail";
  EXPECT_EQ(MailChoicesOf(*db, 7), (std::vector<std::string>{"changes", "weekly"}));
  SetMailChoice(*db, 7, kMailChanges, false, now);
  EXPECT_EQ(MailChoicesOf(*db, 7), std::vector<std::string>{"weekly"});
  EXPECT_EQ(MailAddressOf(*db, 7)->language, "en");
  SetMailAddress(*db, 7, "", "en", now);
  EXPECT_FALSE(MailAddressOf(*db, 7));
  EXPECT_THROW(SetMailAddress(*db, 7, "ann@example.org\r\nBcc: x@y", "en", now), Error);
  EXPECT_THROW(SetMailAddress(*db, 7, "ann@example.org", "fr", now), Error);
  EXPECT_THROW(SetMailChoice(*db, 7, "daily", true, now), Error);
}

INSTANTIATE_TEST_SUITE_P(Backends, NotifyTables, ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

TEST(MailAddress, OnlyPlainAddressesPass) {
  for (const char* good : {"a@b", "ann.lee+plans@mail.example.org", "x_y-z@127.0.0.1"}) {
    EXPECT_TRUE(IsMailAddress(good)) << good;
  }
  for (const char* bad : {"", "@b", "a@", "a@@b", "a@b@c", "a b@c", "a@b\r\n", "<a@b>", "a@b,c@d",
                          "a@.b", "a@b.", "a@b..c", "\"a\"@b", "a@b\x7f", "张@b"}) {
    EXPECT_FALSE(IsMailAddress(bad)) << bad;
  }
  EXPECT_FALSE(IsMailAddress(std::string(250, 'a') + "@b.cn"));
}

}  // namespace
}  // namespace ostrand::web
