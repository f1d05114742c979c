#include "web/notify/webhook_channel.h"

#include <curl/curl.h>

#include <ctime>
#include <memory>
#include <mutex>

#include "core/error.h"
#include "web/auth/webhook_signature.h"
#include "web/http/receiver_address.h"
#include "web/notify/webhook_body.h"

namespace ostrand::web::notify {
namespace {

constexpr std::size_t kLargestAnswer = 4096;

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

bool StartCurl() {
  static const bool started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return started;
}

// The answer is read up to kLargestAnswer bytes; the transfer ends at the
// first byte beyond, the status being known by then.
std::size_t Discard(char*, std::size_t size, std::size_t count, void* user) {
  std::size_t& read = *static_cast<std::size_t*>(user);
  read += size * count;
  return read > kLargestAnswer ? 0 : size * count;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto& cancelled = *static_cast<const std::function<bool()>*>(user);
  return cancelled && cancelled() ? 1 : 0;
}

bool Append(CurlList& list, const std::string& line) {
  curl_slist* const longer = curl_slist_append(list.get(), line.c_str());
  if (longer == nullptr) return false;
  static_cast<void>(list.release());
  list.reset(longer);
  return true;
}

DeliveryOutcome Refused(std::string error) {
  DeliveryOutcome outcome;
  outcome.kind = DeliveryOutcome::Kind::kRefused;
  outcome.error = std::move(error);
  return outcome;
}

}  // namespace

bool IsWebhookAddress(std::string_view url) {
  // The administration page's reader, without the blanks it drops around
  // a typed address (it lower-cases, never shortens, what it keeps).
  const http::ReceiverAddress read = http::ReadReceiverAddress(url);
  return !read.problem && read.address.size() == url.size();
}

WebhookChannel::WebhookChannel(ReceiverLookup receivers, const feeds::TimeZone& zone,
                               WebhookSettings settings)
    : receivers_(std::move(receivers)), zone_(zone), settings_(std::move(settings)) {}

DeliveryOutcome WebhookChannel::Send(const Delivery& delivery) noexcept {
  try {
    if (!delivery.receiver_id) return Refused("the delivery has no receiver");
    if (delivery.events.empty()) return Refused("the delivery tells of no event");
    const std::optional<Webhook> receiver = receivers_(*delivery.receiver_id);
    if (!receiver) return Refused("the receiver was removed");
    if (!receiver->active) return Refused("the receiver is inactive");
    if (!IsWebhookAddress(receiver->url)) {
      return Refused("the receiver's address is no http:// or https:// address");
    }
    const StoredEvent& event = delivery.events.front();
    return Post(*receiver, event.key, WebhookBody(*receiver, event, zone_));
  } catch (const Error& e) {
    // A secret that does not read, a database gone for the moment.
    return Unreachable(e.message_text());
  } catch (const std::exception& e) {
    return Unreachable(e.what());
  }
}

DeliveryOutcome WebhookChannel::Post(const Webhook& receiver, const std::string& id,
                                     const std::string& body) const {
  if (!StartCurl()) return Unreachable("libcurl cannot start");
  const std::int64_t timestamp = static_cast<std::int64_t>(std::time(nullptr));
  const std::string signature = SignWebhook(receiver.secret, id, timestamp, body);
  const CurlHandle handle(curl_easy_init());
  if (!handle) return Unreachable("libcurl cannot make a request");
  CURL* const curl = handle.get();
  char error_text[CURL_ERROR_SIZE] = {};
  std::size_t read = 0;
  CurlList headers;
  const bool listed = Append(headers, "Content-Type: application/json") &&
                      Append(headers, "webhook-id: " + id) &&
                      Append(headers, "webhook-timestamp: " + std::to_string(timestamp)) &&
                      Append(headers, "webhook-signature: " + signature) &&
                      Append(headers, "Expect:");
  if (!listed) return Unreachable("out of memory for the request's headers");
  const bool set =
      curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_text) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_URL, receiver.url.c_str()) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
      (settings_.ca_file.empty() ||
       curl_easy_setopt(curl, CURLOPT_CAINFO, settings_.ca_file.c_str()) == CURLE_OK) &&
      curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS,
                       static_cast<long>(settings_.timeout.count())) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                       static_cast<long>(settings_.connect_timeout.count())) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_POST, 1L) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str()) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(body.size())) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Discard) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_WRITEDATA, static_cast<void*>(&read)) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_USERAGENT, "ostrand-webhooks/1") == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Progress) == CURLE_OK &&
      curl_easy_setopt(curl, CURLOPT_XFERINFODATA,
                       const_cast<void*>(static_cast<const void*>(&settings_.cancelled))) ==
          CURLE_OK;
  if (!set) return Unreachable("libcurl refuses an option of webhook requests");
  const CURLcode done = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  if (done == CURLE_OK || (done == CURLE_WRITE_ERROR && status != 0)) {
    return OutcomeOfHttpStatus(static_cast<int>(status));
  }
  const std::string cause = error_text[0] != '\0' ? error_text : curl_easy_strerror(done);
  if (done == CURLE_ABORTED_BY_CALLBACK) return Unreachable("cut short: the server stopped");
  return Unreachable((done == CURLE_OPERATION_TIMEDOUT ? "no answer in time: " : "no answer: ") +
                     cause);
}

}  // namespace ostrand::web::notify
