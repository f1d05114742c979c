// Where a site is reached: the Host header and the public address an
// operator configures. Any text reads without failing; what reads is
// written the one way (lower case, no blank, no trailing "/") and reads
// again as itself, and a Host header read is the host of a site address.
#include "web/http/site_address.h"
#include "fuzz_check.h"

using ostrand::fuzz::Check;
namespace http = ostrand::web::http;

namespace {

bool HasUpperOrBlank(std::string_view text) {
  for (const char c : text) {
    if ((c >= 'A' && c <= 'Z') || c == ' ' || c == '\t') return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);

  if (const std::optional<std::string> host = http::ReadHostHeader(text)) {
    Check(!host->empty() && !HasUpperOrBlank(*host), "a host is lower case without blanks");
    Check(host->find_first_of("/@?#") == host->npos, "a host has no path, user or query");
    Check(http::ReadHostHeader(*host) == host, "a host reads as itself");
    Check(http::ReadSiteAddress("https://" + *host) == "https://" + *host,
          "a host makes a site address");
  }
  if (const std::optional<std::string> site = http::ReadSiteAddress(text)) {
    Check(site->starts_with("http://") || site->starts_with("https://"), "a site is http(s)");
    Check(!site->ends_with('/') && site->find_first_of("?# \t") == site->npos,
          "a site has no trailing slash, query, fragment or blank");
    Check(http::ReadSiteAddress(*site) == site, "a site address reads as itself");
  }
  return 0;
}
