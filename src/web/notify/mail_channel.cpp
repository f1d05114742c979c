#include "web/notify/mail_channel.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "core/error.h"
#include "web/auth/session_cookie.h"
#include "web/data/plan_changes.h"
#include "web/notify/mail_content.h"
#include "web/notify/mail_message.h"

namespace ostrand::web::notify {
namespace {

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

// What curl reads the mail's bytes from.
struct Source {
  std::string_view rest;
};

std::size_t Feed(char* buffer, std::size_t size, std::size_t count, void* user) {
  Source& source = *static_cast<Source*>(user);
  const std::size_t bytes = std::min(size * count, source.rest.size());
  std::memcpy(buffer, source.rest.data(), bytes);
  source.rest.remove_prefix(bytes);
  return bytes;
}

DeliveryOutcome Retry(std::string error, std::optional<int> code) {
  DeliveryOutcome outcome = Unreachable(std::move(error));
  outcome.status = code;
  return outcome;
}

DeliveryOutcome Refused(std::string error, std::optional<int> code) {
  DeliveryOutcome outcome;
  outcome.kind = DeliveryOutcome::Kind::kRefused;
  outcome.status = code;
  outcome.error = std::move(error);
  return outcome;
}

// curl's reason without the server's name or anything else of ours.
std::string Reason(CURLcode code, const char* detail) {
  std::string text = detail != nullptr && detail[0] != '\0' ? detail : curl_easy_strerror(code);
  constexpr std::size_t kLongest = 200;
  if (text.size() > kLongest) text.resize(kLongest);
  return text;
}

DeliveryOutcome Send(const MailOptions& mail, const std::string& ca_file, std::string_view to,
                     std::string_view message) {
  static const bool started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!started) return Retry("libcurl cannot start", std::nullopt);
  const CurlHandle handle(curl_easy_init());
  if (!handle) return Retry("libcurl cannot start", std::nullopt);
  CURL* const curl = handle.get();
  const std::string from = "<" + mail.from + ">";
  const std::string rcpt = "<" + std::string(to) + ">";
  CurlList recipients(curl_slist_append(nullptr, rcpt.c_str()));
  if (!recipients) return Retry("out of memory for the recipient", std::nullopt);
  Source source{message};
  char detail[CURL_ERROR_SIZE] = {};
  bool set = true;
  const auto option = [&](CURLoption name, auto value) {
    set = set && curl_easy_setopt(curl, name, value) == CURLE_OK;
  };
  option(CURLOPT_URL, mail.url.c_str());
  option(CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  option(CURLOPT_USE_SSL, static_cast<long>(mail.starttls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
  option(CURLOPT_SSL_VERIFYPEER, 1L);
  option(CURLOPT_SSL_VERIFYHOST, 2L);
  if (!ca_file.empty()) option(CURLOPT_CAINFO, ca_file.c_str());
  option(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(mail.connect_timeout.count()));
  option(CURLOPT_TIMEOUT_MS, static_cast<long>(mail.total_timeout.count()));
  option(CURLOPT_NOSIGNAL, 1L);
  option(CURLOPT_ERRORBUFFER, detail);
  if (!mail.user.empty()) {
    option(CURLOPT_USERNAME, mail.user.c_str());
    option(CURLOPT_PASSWORD, mail.password.c_str());
  }
  option(CURLOPT_MAIL_FROM, from.c_str());
  option(CURLOPT_MAIL_RCPT, recipients.get());
  option(CURLOPT_UPLOAD, 1L);
  option(CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
  option(CURLOPT_READFUNCTION, &Feed);
  option(CURLOPT_READDATA, &source);
  if (!set) return Retry("this libcurl cannot send mail as configured", std::nullopt);

  const CURLcode result = curl_easy_perform(curl);
  long reply = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply);
  const std::optional<int> code =
      reply > 0 ? std::optional<int>(static_cast<int>(reply)) : std::nullopt;
  if (result == CURLE_OK) {
    DeliveryOutcome outcome;
    outcome.status = code;
    return outcome;
  }
  const std::string reason = Reason(result, detail);
  const std::string said = code ? "the mail server answered " + std::to_string(*code) + ": " : "";
  // The site's own sign-in or TLS failing is no fault of this mail: it
  // waits until the operator has mended them.
  if (result == CURLE_LOGIN_DENIED || result == CURLE_USE_SSL_FAILED) {
    return Retry(said + reason, code);
  }
  if (code && *code >= 500 && *code < 600) {
    return Refused(said + reason + " (not tried again)", code);
  }
  return Retry(said + reason, code);
}

}  // namespace

DeliveryOutcome SendOverSmtp(const MailOptions& mail, const std::string& ca_file,
                             std::string_view to, std::string_view message) noexcept {
  try {
    return Send(mail, ca_file, to, message);
  } catch (const std::exception& e) {
    return Retry(e.what(), std::nullopt);
  }
}

MailChannel::MailChannel(const ServerOptions& options, const Databases& databases,
                         const SessionSigner& signer, feeds::TimeZone zone)
    : options_(options), databases_(databases), signer_(signer), zone_(std::move(zone)) {}

DeliveryOutcome MailChannel::Send(const Delivery& delivery) noexcept {
  if (!options_.mail) return Unreachable("no mail server is configured");
  std::string to;
  std::string bytes;
  try {
    const DateTime now = UtcNow();
    std::optional<MailMessage> mail;
    {
      const store::ConnectionPool::Lease db = databases_.OpenHost();
      mail = MailOfDelivery(*db, MailSite{options_, signer_, zone_}, delivery, now);
    }
    if (!mail) return Refused("the addressee has no mail address", std::nullopt);
    const std::string domain = mail->from_address.substr(mail->from_address.find('@') + 1);
    bytes = ComposeMail(*mail, now, RandomToken() + "@" + domain, "=_" + RandomToken());
    to = mail->to_address;
  } catch (const Error& e) {
    if (e.kind() == ErrorKind::kBadInput) return Refused(e.message_text(), std::nullopt);
    return Unreachable("the mail could not be made: " + e.message_text());
  } catch (const std::exception& e) {
    return Unreachable(std::string("the mail could not be made: ") + e.what());
  }
  return SendOverSmtp(*options_.mail, options_.ca_file, to, bytes);
}

std::unique_ptr<Channel> MakeMailChannel(const ServerOptions& options, const Databases& databases,
                                         const SessionSigner& signer, feeds::TimeZone zone) {
  if (!options.mail) return nullptr;
  return std::make_unique<MailChannel>(options, databases, signer, std::move(zone));
}

}  // namespace ostrand::web::notify
