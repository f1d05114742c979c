// What a webhook receiver is sent: the address a receiver is given by
// (serve --webhook, the administration page) and the body made of a stored
// event, whatever the event's JSON holds. An address that passes is http or
// https without blanks or a fragment; every body is one JSON object of the
// documented shape, and a chat line is one line.
#include <nlohmann/json.hpp>

#include "fuzz_check.h"
#include "web/data/outbox.h"
#include "web/notify/webhook_body.h"
#include "web/notify/webhook_channel.h"

using ostrand::fuzz::Check;
namespace web = ostrand::web;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  if (web::notify::IsWebhookAddress(text)) {
    Check(text.find_first_of(" \t\r\n#") == text.npos, "an address has no blank or fragment");
  }
  static const ostrand::feeds::TimeZone zone = ostrand::feeds::TimeZone::Named("Asia/Shanghai");
  web::StoredEvent event;
  event.key = "msg_fuzz";
  event.body = std::string(text);
  for (const std::string_view kind : web::kWebhookKinds) {
    event.kind = std::string(kind);
    for (const bool chat : {false, true}) {
      web::Webhook receiver;
      receiver.sees_private = !chat;
      if (chat) receiver.format = std::string(web::kWebhookFormatChat);
      const nlohmann::json body =
          nlohmann::json::parse(web::notify::WebhookBody(receiver, event, zone), nullptr, false);
      Check(body.is_object(), "a body is a JSON object");
      if (chat) {
        Check(body.contains("text") && body["text"].is_string(), "a chat body has its text");
        const std::string line = body["text"].get<std::string>();
        Check(line.find_first_of("\r\n") == line.npos, "a chat line is one line");
      } else {
        Check(body["type"] == std::string(kind) && body["data"].is_object(), "a body has its type and data");
      }
    }
  }
  return 0;
}
