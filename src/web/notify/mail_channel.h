// The mail channel: the outbox's mail deliveries sent to the operator's
// mail server over SMTP (libcurl), one connection per mail. STARTTLS is
// required on smtp:// (the mail is not sent when the server offers no
// TLS) unless the operator said --smtp-insecure; smtps:// speaks TLS from
// the start; certificates and host names are checked. An attempt is
// bounded: 5 s to connect, MailOptions::total_timeout in all.
//
// How an attempt ends: the server took the mail (250 after the data):
// delivered; no connection, no answer in time, TLS that fails, a 4xx
// reply, or a refused sign-in (the operator's password, not the mail, is
// wrong): another attempt later; any other 5xx reply (an addressee the
// server does not know, a mail it will not take): refused for good. The
// error text names the server's reply code and curl's reason, never the
// password.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "feeds/time_zone.h"
#include "web/auth/session_cookie.h"
#include "web/data/databases.h"
#include "web/notify/channel.h"
#include "web/site/server_options.h"

namespace ostrand::web::notify {

// Sends `message` (the bytes ComposeMail made) from mail.from to `to` over
// the server of `mail`, checking its certificate against `ca_file` (a PEM
// file; empty: the system's authorities). Never throws.
DeliveryOutcome SendOverSmtp(const MailOptions& mail, const std::string& ca_file,
                             std::string_view to, std::string_view message) noexcept;

// The channel of the outbox's mails: for each delivery the mail is composed
// from what the delivery says and the database holds now (mail_content.h),
// then sent with SendOverSmtp. A delivery whose addressee no longer has an
// address, or whose mail cannot be made (a header value refused), is refused
// for good; a database that fails is worth another attempt.
class MailChannel final : public Channel {
 public:
  // `options` (with options.mail set), `databases` and `signer` must
  // outlive the channel.
  MailChannel(const ServerOptions& options, const Databases& databases,
              const SessionSigner& signer, feeds::TimeZone zone);
  MailChannel(const MailChannel&) = delete;
  MailChannel& operator=(const MailChannel&) = delete;

  DeliveryOutcome Send(const Delivery& delivery) noexcept override;

 private:
  const ServerOptions& options_;
  const Databases& databases_;
  const SessionSigner& signer_;
  feeds::TimeZone zone_;
};

// The mail channel of a server, or null when the options name no mail
// server (mails then wait in the outbox). The arguments must outlive it.
std::unique_ptr<Channel> MakeMailChannel(const ServerOptions& options, const Databases& databases,
                                         const SessionSigner& signer, feeds::TimeZone zone);

}  // namespace ostrand::web::notify
