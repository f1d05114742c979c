// The signature of a webhook delivery, as receivers of signed webhooks
// check it: the headers webhook-id, webhook-timestamp (seconds since 1970)
// and webhook-signature, "v1," and the base64 of the HMAC-SHA256 of
// "ID.TIMESTAMP.BODY" under the receiver's key. The key is given to a
// receiver as its secret: "whsec_" and the key in base64.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrand::web {

// A fresh secret: "whsec_" and the base64 of 24 random bytes.
std::string NewWebhookSecret();

// Whether `secret` is "whsec_" and base64 of 16 to 64 bytes (or such
// base64 alone, as some programs show it).
bool IsWebhookSecret(std::string_view secret);

// The value of the webhook-signature header of the delivery. Throws Error
// (without the secret's text) when the secret is no such secret.
std::string SignWebhook(std::string_view secret, std::string_view id, std::int64_t timestamp,
                        std::string_view body);

}  // namespace ostrand::web
