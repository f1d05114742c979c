// The address of a webhook receiver as an administrator types it. Any
// text reads without failing; an address read is http(s), short enough,
// free of blanks, controls, user part and fragment, has a host that reads
// as a Host header, and reads again as itself. A refused text says why.
#include "web/http/receiver_address.h"
#include "web/http/site_address.h"
#include "fuzz_check.h"

using ostrand::fuzz::Check;
namespace http = ostrand::web::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  const http::ReceiverAddress read = http::ReadReceiverAddress(text);
  Check(read.problem.has_value() == read.address.empty(), "an address or a problem, not both");
  if (read.problem) return 0;
  const std::string& address = read.address;
  Check(address.size() <= http::kLongestReceiverAddress, "an address is short enough");
  Check(address.starts_with("http://") || address.starts_with("https://"), "an address is http(s)");
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    Check(byte > 0x20 && byte < 0x7F && c != '\\' && c != '#', "no blank, control or fragment");
  }
  const std::string_view rest = std::string_view(address).substr(address.find("//") + 2);
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?"));
  Check(authority.find('@') == std::string_view::npos, "no user part");
  Check(http::ReadHostHeader(authority) == std::string(authority), "the host reads as a host");
  const http::ReceiverAddress again = http::ReadReceiverAddress(address);
  Check(!again.problem && again.address == address, "an address reads as itself");
  return 0;
}
