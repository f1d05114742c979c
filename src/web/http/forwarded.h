// The client's address behind reverse proxies. A proxy the operator trusts
// (serve --trusted-proxy) names the address it took a request from in the
// Forwarded header or in X-Forwarded-For, after what earlier hops wrote;
// everything left of the last untrusted hop may be made up by the client.
// So the client is the rightmost address of the chain that is not a
// trusted proxy, and headers from any other peer are never read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrand::web::http {

// An IPv4 or IPv6 address; IPv4 is kept as its IPv4-mapped IPv6 form
// (::ffff:a.b.c.d), so that one range matches both ways of writing it.
struct IpAddress {
  std::array<std::uint8_t, 16> bytes{};
  bool v4 = false;

  // "192.0.2.1", "2001:db8::1" (the shortest form).
  std::string ToString() const;
  friend bool operator==(const IpAddress&, const IpAddress&) = default;
};

// "192.0.2.1", "2001:db8::1", "::ffff:192.0.2.1" (read as 192.0.2.1); no
// brackets, port, zone or blanks. Nothing for any other text.
std::optional<IpAddress> ReadIpAddress(std::string_view text);

// A block of addresses: the first `prefix` bits of `address`.
struct AddressRange {
  IpAddress address;
  int prefix = 128;  // in IPv6 bits (an IPv4 /24 is 96 + 24)

  bool Contains(const IpAddress& candidate) const;
};

// "10.0.0.0/8", "2001:db8::/32", or one address ("192.0.2.7", "::1").
// Nothing for other text, a prefix out of range, or host bits set
// ("10.0.0.1/8"), which would hide a typing mistake.
std::optional<AddressRange> ReadAddressRange(std::string_view text);

// The nodes of a Forwarded header (RFC 7239), one per element, left to
// right: the `for=` value of each, unquoted ("192.0.2.43:47011",
// "[2001:db8::1]", "unknown", "_hidden"), empty for an element without one.
// Several header lines are given joined by ", ". Nothing when the text does
// not read as Forwarded elements.
std::optional<std::vector<std::string>> ReadForwardedNodes(std::string_view header);

// The address of a node of Forwarded or X-Forwarded-For: "192.0.2.43",
// "192.0.2.43:8080", "[2001:db8::1]:4711", "2001:db8::1". Nothing for an
// obfuscated identifier ("_hidden"), "unknown" and anything else.
std::optional<IpAddress> ReadNodeAddress(std::string_view node);

// Where a request came from. `peer` is the TCP peer's address as the
// socket gives it; `forwarded` and `forwarded_for` are the Forwarded and
// X-Forwarded-For header lines joined by ", " (empty when absent). When the
// peer is in `trusted`, the chain of Forwarded (or, when that names no
// node, X-Forwarded-For) is read from the right past trusted proxies, and
// the first other address is the client; a node that is no address
// (obfuscated, "unknown", malformed) ends the walk at the last trusted hop,
// as does a header that does not read. Otherwise, and when nothing is
// trusted, the peer. Never throws.
std::string ClientAddress(std::string_view peer, std::string_view forwarded,
                          std::string_view forwarded_for, const std::vector<AddressRange>& trusted);

// Whether `address` (text) lies in one of the ranges.
bool IsTrusted(std::string_view address, const std::vector<AddressRange>& trusted);

}  // namespace ostrand::web::http
