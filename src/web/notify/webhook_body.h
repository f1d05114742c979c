// What a webhook receiver is sent of an outbox event: the body in the
// receiver's format. "json": {"type": KIND, "timestamp": ISO 8601 UTC,
// "data": {...}} with a plan as the JSON API shows it (web/api/json_api.h
// PlanJson, times with the plans' zone's offset), the person and the
// actor; "chat": {"text": "..."}, one line in the site's default language
// for chat programs' incoming webhooks. A receiver that does not see
// private entries gets a plan as a colleague sees it (no detail, no
// addition); private events never reach it (the fan-out leaves them out).
// The README's "Webhooks" section shows an example of each.
#pragma once

#include <string>

#include "feeds/time_zone.h"
#include "web/data/outbox.h"
#include "web/data/webhooks_table.h"
#include "web/i18n/language.h"

namespace ostrand::web::notify {

// The body of `event` for `receiver`. A stored body that does not read as
// JSON (written by another program) goes out with empty data. Never
// throws for what the event holds; throws std::bad_alloc only.
std::string WebhookBody(const Webhook& receiver, const StoredEvent& event,
                        const feeds::TimeZone& zone);

// The chat line of the event in `language`.
std::string ChatLine(const StoredEvent& event, Language language);

}  // namespace ostrand::web::notify
