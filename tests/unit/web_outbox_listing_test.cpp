// A receiver's deliveries a page at a time, as the administration page
// lists them, on every backend.
#include <gtest/gtest.h>

#include "test_databases.h"
#include "web/data/outbox.h"

namespace ostrand::web {
namespace {

class OutboxListing : public ::testing::TestWithParam<test_support::TestBackend> {};

TEST_P(OutboxListing, PagesTheReceiversDeliveriesNewestFirstWithTheirEvent) {
  const test_support::TestDatabase database(GetParam());
  const std::unique_ptr<store::Connection> db = store::Connect(database.connection_string());
  db->ExecuteScript(
      "INSERT INTO hostEvent (eventKey, kind, personID, shared, body, createdAt) VALUES "
      "('k1', 'plan.deleted', 2, 0, '{}', '2026-12-09 09:00:00');"
      "INSERT INTO hostDelivery (eventID, channel, receiverID, status, attempts, createdAt, "
      "nextAttemptAt, deliveredAt, lastStatus) VALUES "
      "(NULL, 'webhook', 7, 'delivered', 1, '2026-12-09 09:00:00', '2026-12-09 09:00:00', "
      "'2026-12-09 09:00:02', 204);"
      "INSERT INTO hostDelivery (eventID, channel, receiverID, status, attempts, createdAt, "
      "nextAttemptAt, lastStatus, lastError) SELECT eventID, 'webhook', 7, 'failed', 12, "
      "'2026-12-09 09:05:00', '2026-12-10 09:05:00', 503, 'busy' FROM hostEvent;"
      "INSERT INTO hostDelivery (channel, receiverID, status, createdAt, nextAttemptAt) VALUES "
      "('webhook', 7, 'pending', '2026-12-09 09:10:00', '2026-12-09 09:10:30'),"
      "('webhook', 8, 'pending', '2026-12-09 09:10:00', '2026-12-09 09:10:30');"
      "INSERT INTO hostDelivery (channel, personID, mailKind, status, createdAt, nextAttemptAt) "
      "VALUES ('mail', 7, 'changes', 'pending', '2026-12-09 09:10:00', '2026-12-09 09:10:00')");
  EXPECT_EQ(CountDeliveriesOfReceiver(*db, 7), 3);
  EXPECT_EQ(CountDeliveriesOfReceiver(*db, 9), 0);

  const std::vector<Delivery> all = DeliveriesOfReceiver(*db, 7, 0, 10);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].status, "pending");
  EXPECT_EQ(all[0].next_attempt_at, DateTime::FromCivil(2026, 12, 9, 9, 10, 30));
  EXPECT_TRUE(all[0].events.empty());
  const std::vector<Delivery> middle = DeliveriesOfReceiver(*db, 7, 1, 1);
  ASSERT_EQ(middle.size(), 1u);
  const Delivery& failed = middle.front();
  EXPECT_EQ(failed.id, all[1].id);
  EXPECT_EQ(failed.status, "failed");
  EXPECT_EQ(failed.attempts, 12);
  EXPECT_EQ(failed.last_status, 503);
  EXPECT_EQ(failed.last_error, "busy");
  EXPECT_EQ(failed.created_at, DateTime::FromCivil(2026, 12, 9, 9, 5));
  EXPECT_FALSE(failed.delivered_at);
  ASSERT_EQ(failed.events.size(), 1u);
  EXPECT_EQ(failed.events.front().kind, "plan.deleted");
  EXPECT_EQ(failed.events.front().person_id, 2);
  EXPECT_FALSE(failed.events.front().shared);
  EXPECT_EQ(all[2].delivered_at, DateTime::FromCivil(2026, 12, 9, 9, 0, 2));
  EXPECT_TRUE(DeliveriesOfReceiver(*db, 7, 3, 10).empty());

  const std::optional<Delivery> found = FindDelivery(*db, failed.id);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->receiver_id, 7);
  EXPECT_EQ(found->channel, "webhook");
  EXPECT_FALSE(FindDelivery(*db, failed.id + 1000));
}

INSTANTIATE_TEST_SUITE_P(Backends, OutboxListing, ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

}  // namespace
}  // namespace ostrand::web
