// Where a site is reached, for the absolute addresses it hands out (the
// calendar feed addresses that are copied into calendar programs): the Host
// header of a request, and the public address an operator configures.
// Plain functions on text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrand::web::http {

// The Host header's value when it is a host name ("plans.example.org"), an
// IPv4 address or a bracketed IPv6 address, each with an optional port
// (":8080"); letters are lower-cased. Nothing for anything else (blanks,
// a user part, a path, an empty or over-long host, a port beyond 65535).
std::optional<std::string> ReadHostHeader(std::string_view text);

// A site's public address as an operator writes it: "http://" or
// "https://" (either case), a host as ReadHostHeader takes it, then an
// optional path of URL-safe characters ("https://example.org/plans").
// The address with a lower-case scheme and host and without a trailing
// "/"; nothing for anything else (a query, a fragment, other schemes).
std::optional<std::string> ReadSiteAddress(std::string_view text);

}  // namespace ostrand::web::http
