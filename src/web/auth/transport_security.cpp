#include "web/auth/transport_security.h"

#include <memory>
#include <utility>

#include "core/text.h"

namespace ostrand::web {
namespace {

class AmendingSink : public http::ResponseSink {
 public:
  AmendingSink(http::Responder respond, std::function<void(http::Response&)> change)
      : respond_(std::move(respond)), change_(std::move(change)) {}
  void Send(http::Response response) override {
    change_(response);
    respond_(std::move(response));
  }

 private:
  http::Responder respond_;
  std::function<void(http::Response&)> change_;
};

// Whether a Set-Cookie value already carries the Secure attribute.
bool HasSecure(std::string_view cookie) {
  std::size_t at = cookie.find(';');
  while (at != std::string_view::npos) {
    const std::size_t next = cookie.find(';', at + 1);
    if (EqualsNoCase(TrimBlanks(cookie.substr(at + 1, next - at - 1)), "Secure")) return true;
    at = next;
  }
  return false;
}

}  // namespace

void MarkCookiesSecure(http::Response& response) {
  for (http::Header& header : response.headers) {
    if (EqualsNoCase(header.name, "Set-Cookie") && !HasSecure(header.value)) {
      header.value += "; Secure";
    }
  }
}

http::Responder Amended(http::Responder respond, std::function<void(http::Response&)> change) {
  return http::Responder(std::make_shared<AmendingSink>(std::move(respond), std::move(change)));
}

http::Responder SecureCookieResponder(http::Responder respond) {
  return Amended(std::move(respond), MarkCookiesSecure);
}

}  // namespace ostrand::web
