// A way out of the outbox: what sends one delivery (web/data/outbox.h) to
// a webhook receiver or a mail server. The delivery worker holds one
// channel per kind and calls Send from its own thread, one delivery at a
// time per channel (the webhook channel excepted, which is safe from
// several threads: it is called once per receiver at a time); an
// implementation bounds every attempt in time.
#pragma once

#include "web/data/outbox.h"

namespace ostrand::web::notify {

class Channel {
 public:
  virtual ~Channel() = default;

  // Sends the delivery and says how it went: delivered, worth another
  // attempt later (network errors, time-outs, 5xx, 3xx, a mail server's
  // 4xx), or refused for good. Never throws: a failure is an outcome.
  virtual DeliveryOutcome Send(const Delivery& delivery) noexcept = 0;
};

}  // namespace ostrand::web::notify

namespace ostrand::web::notify {

// The outcome of a receiver's HTTP answer of status `status`: 2xx
// delivered; a redirect (never followed), 408, 429 and 5xx worth another
// attempt; any other status refused for good. `error` names the status.
DeliveryOutcome OutcomeOfHttpStatus(int status);

// An attempt that did not reach the receiver (no connection, no answer in
// time): worth another one, with `error` saying what happened.
DeliveryOutcome Unreachable(std::string error);

}  // namespace ostrand::web::notify
