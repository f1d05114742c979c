// What a request tells about its own path: the Forwarded and
// X-Forwarded-For headers a proxy writes, the address blocks an operator
// trusts, and the Transfer-Encoding that delimits a body. Any text reads
// without failing; the client found is the peer or an address written the
// one way, never one of the trusted blocks unless it is the last proxy;
// a block holds its own address.
#include "fuzz_check.h"
#include "web/http/forwarded.h"
#include "web/http/framing.h"

using ostrand::fuzz::Check;
namespace http = ostrand::web::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);

  if (const std::optional<http::AddressRange> range = http::ReadAddressRange(text)) {
    Check(range->Contains(range->address), "a block holds its own address");
    Check(http::ReadIpAddress(range->address.ToString()) == range->address,
          "an address reads again as itself");
  }
  if (const std::optional<std::vector<std::string>> nodes = http::ReadForwardedNodes(text)) {
    Check(nodes->size() <= size, "no more nodes than bytes");
  }

  static const std::vector<http::AddressRange> trusted = {*http::ReadAddressRange("10.0.0.0/8"),
                                                          *http::ReadAddressRange("::1")};
  const std::size_t split = size / 2;
  for (const std::string_view peer : {"10.1.2.3", "192.0.2.1"}) {
    const std::string client =
        http::ClientAddress(peer, text.substr(0, split), text.substr(split), trusted);
    if (client == peer) continue;
    Check(peer == "10.1.2.3", "only a trusted peer names another client");
    const std::optional<http::IpAddress> address = http::ReadIpAddress(client);
    Check(address.has_value() && address->ToString() == client,
          "the client is an address written the one way");
  }

  const std::vector<std::string_view> fields = {text.substr(0, split), text.substr(split)};
  const http::Framing framing = http::JudgeFraming(fields, false, false);
  if (framing != http::Framing::kMalformed) {
    Check(http::JudgeFraming(fields, true, false) == http::Framing::kMalformed,
          "a Content-Length beside a coding is malformed");
    Check(http::JudgeFraming(fields, false, true) == http::Framing::kMalformed,
          "HTTP/1.0 takes no coding");
  }
  return 0;
}
