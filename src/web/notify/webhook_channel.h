// The webhook channel: POSTs a delivery's event to its receiver with
// libcurl, signed (web/auth/webhook_signature.h: headers webhook-id, the
// event's key, webhook-timestamp and webhook-signature), as
// application/json in the receiver's format (webhook_body.h). Only http://
// and https:// addresses; certificates and host names always checked;
// redirects never followed (a 3xx is tried again later, as any answer that
// is no 2xx but 408, 429 and 5xx); each attempt bounded: 5 s to connect,
// 15 s in all; the answer's body is read up to 4 KiB and ignored.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "feeds/time_zone.h"
#include "web/data/webhooks_table.h"
#include "web/notify/channel.h"

namespace ostrand::web::notify {

struct WebhookSettings {
  std::chrono::milliseconds connect_timeout{5000};
  std::chrono::milliseconds timeout{15000};
  // A PEM file of the authorities https receivers are checked against;
  // empty: the system's.
  std::string ca_file;
  // Asked while an attempt runs: true ends it at once (the server stops).
  std::function<bool()> cancelled;
};

// Whether `url` is an address http::ReadReceiverAddress takes as it is
// (absolute http:// or https:// with a host, no blanks, controls, fragment
// or user part): the only receivers served.
bool IsWebhookAddress(std::string_view url);

// The receiver of a delivery's receiver id, or nothing when it is gone.
using ReceiverLookup = std::function<std::optional<Webhook>(std::int64_t receiver_id)>;

class WebhookChannel : public Channel {
 public:
  // `zone` (the plans' zone) must outlive the channel.
  WebhookChannel(ReceiverLookup receivers, const feeds::TimeZone& zone,
                 WebhookSettings settings = {});

  // A receiver that is gone or inactive, or a delivery without an event,
  // is refused for good; a lookup that throws is tried again later.
  DeliveryOutcome Send(const Delivery& delivery) noexcept override;

 private:
  DeliveryOutcome Post(const Webhook& receiver, const std::string& id,
                       const std::string& body) const;

  ReceiverLookup receivers_;
  const feeds::TimeZone& zone_;
  WebhookSettings settings_;
};

}  // namespace ostrand::web::notify
