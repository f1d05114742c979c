#include "web/auth/webhook_signature.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "web/notify/channel.h"

namespace ostrand::web {
namespace {

TEST(WebhookSignature, SignsAsReceiversCheck) {
  // The published example of signed webhooks: a receiver's library checks this pair.
  EXPECT_EQ(SignWebhook("whsec_MfKQ9r8GKYqrTwjUPD8ILPZIo2LaLaSw", "msg_p5jXN8AQM9LWM0D4loKWxJek",
                        1614265330, R"({"test": 2432232314})"),
            "v1,g0hM9SsE+OTPJTGt/tmIKtSyZlE3uFJELVlNIOLJ1OE=");
  // Every part counts.
  EXPECT_NE(SignWebhook("whsec_MfKQ9r8GKYqrTwjUPD8ILPZIo2LaLaSw", "msg_p5jXN8AQM9LWM0D4loKWxJek",
                        1614265331, R"({"test": 2432232314})"),
            "v1,g0hM9SsE+OTPJTGt/tmIKtSyZlE3uFJELVlNIOLJ1OE=");
}

TEST(WebhookSignature, SecretsHaveOneForm) {
  const std::string fresh = NewWebhookSecret();
  EXPECT_TRUE(IsWebhookSecret(fresh));
  EXPECT_NE(fresh, NewWebhookSecret());
  EXPECT_EQ(fresh.rfind("whsec_", 0), 0u);
  for (const char* bad : {"", "whsec_", "whsec_c2hvcnQ=", "whsec_not base64!", "whsec_%%%%"}) {
    EXPECT_FALSE(IsWebhookSecret(bad)) << bad;
    try {
      SignWebhook(bad, "id", 1, "{}");
      ADD_FAILURE() << bad;
    } catch (const Error& e) {
      if (std::string_view(bad).size() > 6) {
        EXPECT_EQ(std::string(e.what()).find(bad), std::string::npos) << "the secret is shown";
      }
    }
  }
}

TEST(WebhookOutcome, StatusesDecideRetries) {
  using Kind = DeliveryOutcome::Kind;
  EXPECT_EQ(notify::OutcomeOfHttpStatus(204).kind, Kind::kDelivered);
  for (const int again : {301, 307, 408, 429, 500, 503}) {
    EXPECT_EQ(notify::OutcomeOfHttpStatus(again).kind, Kind::kRetry) << again;
  }
  for (const int refused : {400, 404, 410}) {
    EXPECT_EQ(notify::OutcomeOfHttpStatus(refused).kind, Kind::kRefused) << refused;
  }
  EXPECT_EQ(notify::Unreachable("timed out").kind, Kind::kRetry);
}

}  // namespace
}  // namespace ostrand::web
