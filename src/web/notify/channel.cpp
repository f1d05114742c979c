#include "web/notify/channel.h"

#include <string>

namespace ostrand::web::notify {

DeliveryOutcome OutcomeOfHttpStatus(int status) {
  DeliveryOutcome outcome;
  outcome.status = status;
  if (status >= 200 && status < 300) return outcome;
  outcome.error = "the receiver answered " + std::to_string(status);
  const bool again = (status >= 300 && status < 400) || status == 408 || status == 429 ||
                     status >= 500 || status < 200;
  if (!again) outcome.error += " (not tried again)";
  else if (status >= 300 && status < 400) outcome.error += " (redirects are not followed)";
  outcome.kind = again ? DeliveryOutcome::Kind::kRetry : DeliveryOutcome::Kind::kRefused;
  return outcome;
}

DeliveryOutcome Unreachable(std::string error) {
  DeliveryOutcome outcome;
  outcome.kind = DeliveryOutcome::Kind::kRetry;
  outcome.error = std::move(error);
  return outcome;
}

}  // namespace ostrand::web::notify
