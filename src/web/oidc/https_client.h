// HttpsClient: the one way this site talks to an OpenID provider, GET and
// form POST over HTTPS with libcurl. The rules hold for every request and
// cannot be switched off: only https:// addresses, the server's certificate
// and host name always checked (against `ca_file` when one is given, else
// the system's authorities), TLS 1.2 at least, redirects never followed (a 3xx comes back as
// it is), each request bounded in time and its answer in size.
//
// Errors are Error of kind kUnavailable naming the address and what went
// wrong (no answer in time, a certificate that does not hold, an answer
// too large); a request's form body and its Authorization header (the
// client secret) never appear in a message. Safe to use from several
// threads at once: each request has its own curl handle.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace ostrand::web::oidc {

// The largest answer a provider may give (a discovery document, a key
// set, a token answer are a few KiB).
inline constexpr std::size_t kLargestAnswer = 1 << 20;

struct HttpsSettings {
  // A PEM file of the authorities the server's certificate is checked
  // against; empty: the system's.
  std::string ca_file;
  // The whole request, connecting included, and connecting alone.
  std::chrono::milliseconds timeout{5000};
  std::chrono::milliseconds connect_timeout{3000};
  std::size_t largest_answer = kLargestAnswer;
};

// What a server answered: its status and body (any status; a 4xx or 5xx
// is no error here, the caller reads what it means).
struct HttpsAnswer {
  long status = 0;
  std::string body;
};

// Whether `address` is an absolute https:// address with a host and no
// blanks, controls or fragment: the only kind this client requests.
bool IsHttpsAddress(std::string_view address);

class HttpsClient {
 public:
  explicit HttpsClient(HttpsSettings settings);
  virtual ~HttpsClient();
  HttpsClient(const HttpsClient&) = delete;
  HttpsClient& operator=(const HttpsClient&) = delete;

  // GET `address`, asking for JSON. Throws as the top of this file says,
  // and (kUnavailable) when the address is no https:// address.
  virtual HttpsAnswer Get(const std::string& address) const;

  // POST the form body `form` (application/x-www-form-urlencoded) to
  // `address`, with `authorization` as the Authorization header when it is
  // not empty. Throws as Get.
  virtual HttpsAnswer PostForm(const std::string& address, std::string_view form,
                               std::string_view authorization) const;

 protected:
  // For clients that answer from elsewhere (tests): the settings unused.
  HttpsClient() = default;

 private:
  HttpsAnswer Send(const std::string& address, const std::string* form,
                   std::string_view authorization) const;

  HttpsSettings settings_;
};

}  // namespace ostrand::web::oidc
