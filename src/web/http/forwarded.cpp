#include "web/http/forwarded.h"

#include <arpa/inet.h>

#include <algorithm>

#include "core/text.h"

namespace ostrand::web::http {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsTokenChar(char c) {
  if (IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A value written without quotes: visible characters up to the next
// separator. Stricter proxies quote "[2001:db8::1]:80"; looser ones do not.
bool IsBareValueChar(char c) { return c > ' ' && c < 0x7f && c != ',' && c != ';' && c != '"'; }

// A port or an obfuscated port ("_a1"): what may follow a node's address.
bool IsNodePort(std::string_view port) {
  if (port.empty() || port.size() > 64) return false;
  if (port.front() == '_') {
    return port.size() > 1 && std::all_of(port.begin() + 1, port.end(), [](char c) {
             return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
                    c == '_' || c == '-';
           });
  }
  return port.size() <= 5 && std::all_of(port.begin(), port.end(), IsDigit);
}

bool InAny(const IpAddress& address, const std::vector<AddressRange>& ranges) {
  return std::any_of(ranges.begin(), ranges.end(),
                     [&](const AddressRange& range) { return range.Contains(address); });
}

// The nodes of X-Forwarded-For: its comma-separated items, blanks trimmed,
// empty items left out.
std::vector<std::string> ForwardedForNodes(std::string_view header) {
  std::vector<std::string> nodes;
  for (const std::string_view raw : SplitList(header, ',')) {
    const std::string_view item = TrimWhitespace(raw);
    if (!item.empty()) nodes.emplace_back(item);
  }
  return nodes;
}

}  // namespace

std::string IpAddress::ToString() const {
  char text[INET6_ADDRSTRLEN] = {};
  if (v4) {
    inet_ntop(AF_INET, bytes.data() + 12, text, sizeof text);
  } else {
    inet_ntop(AF_INET6, bytes.data(), text, sizeof text);
  }
  return text;
}

std::optional<IpAddress> ReadIpAddress(std::string_view text) {
  if (text.empty() || text.size() > INET6_ADDRSTRLEN - 1) return std::nullopt;
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  const std::string terminated(text);
  IpAddress address;
  if (inet_pton(AF_INET, terminated.c_str(), address.bytes.data() + 12) == 1) {
    address.bytes[10] = 0xff;
    address.bytes[11] = 0xff;
    address.v4 = true;
    return address;
  }
  if (inet_pton(AF_INET6, terminated.c_str(), address.bytes.data()) != 1) return std::nullopt;
  const bool mapped = std::all_of(address.bytes.begin(), address.bytes.begin() + 10,
                                  [](std::uint8_t b) { return b == 0; }) &&
                      address.bytes[10] == 0xff && address.bytes[11] == 0xff;
  address.v4 = mapped;
  return address;
}

bool AddressRange::Contains(const IpAddress& candidate) const {
  int bits = prefix;
  for (std::size_t i = 0; i < 16 && bits > 0; ++i, bits -= 8) {
    const std::uint8_t mask =
        bits >= 8 ? std::uint8_t{0xff} : static_cast<std::uint8_t>(0xff00 >> bits);
    if ((candidate.bytes[i] & mask) != (address.bytes[i] & mask)) return false;
  }
  return true;
}

std::optional<AddressRange> ReadAddressRange(std::string_view text) {
  const std::size_t slash = text.find('/');
  const std::optional<IpAddress> address = ReadIpAddress(text.substr(0, slash));
  if (!address) return std::nullopt;
  AddressRange range{*address, 128};
  if (slash == std::string_view::npos) return range;
  const std::string_view digits = text.substr(slash + 1);
  if (digits.empty() || digits.size() > 3 || !std::all_of(digits.begin(), digits.end(), IsDigit)) {
    return std::nullopt;
  }
  const int bits = std::stoi(std::string(digits));
  if (bits > (address->v4 ? 32 : 128)) return std::nullopt;
  range.prefix = address->v4 ? 96 + bits : bits;
  // Host bits set: "10.0.0.1/8" is more likely a mistake than meant as 10/8.
  AddressRange masked = range;
  for (int bit = range.prefix; bit < 128; ++bit) {
    masked.address.bytes[static_cast<std::size_t>(bit / 8)] &=
        static_cast<std::uint8_t>(~(0x80u >> (bit % 8)));
  }
  if (!(masked.address == range.address)) return std::nullopt;
  return range;
}

std::optional<std::vector<std::string>> ReadForwardedNodes(std::string_view header) {
  std::vector<std::string> nodes;
  std::size_t i = 0;
  const std::size_t n = header.size();
  const auto skip_blanks = [&] {
    while (i < n && IsBlank(header[i])) ++i;
  };
  for (;;) {
    bool any_pair = false;
    bool seen_for = false;
    std::string node;
    for (;;) {
      skip_blanks();
      if (i < n && IsTokenChar(header[i])) {
        const std::size_t name_start = i;
        while (i < n && IsTokenChar(header[i])) ++i;
        const std::string_view name = header.substr(name_start, i - name_start);
        if (i >= n || header[i] != '=') return std::nullopt;
        ++i;
        std::string value;
        if (i < n && header[i] == '"') {
          ++i;
          for (;;) {
            if (i >= n) return std::nullopt;
            char c = header[i++];
            if (c == '"') break;
            if (c == '\\') {
              if (i >= n) return std::nullopt;
              c = header[i++];
            }
            if ((c < ' ' && c != '\t') || c == 0x7f) return std::nullopt;
            value += c;
          }
        } else {
          const std::size_t value_start = i;
          while (i < n && IsBareValueChar(header[i])) ++i;
          if (i == value_start) return std::nullopt;
          value = header.substr(value_start, i - value_start);
        }
        if (EqualsNoCase(name, "for")) {
          if (seen_for) return std::nullopt;  // one hop names one node
          seen_for = true;
          node = std::move(value);
        }
        any_pair = true;
        skip_blanks();
      }
      if (i < n && header[i] == ';') {
        ++i;
        continue;
      }
      break;
    }
    if (i < n && header[i] != ',') return std::nullopt;
    if (any_pair) nodes.push_back(std::move(node));  // empty elements are no hop
    if (i >= n) break;
    ++i;
  }
  return nodes;
}

std::optional<IpAddress> ReadNodeAddress(std::string_view node) {
  if (node.starts_with('[')) {
    const std::size_t close = node.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view rest = node.substr(close + 1);
    if (!rest.empty() && !(rest.front() == ':' && IsNodePort(rest.substr(1)))) return std::nullopt;
    const std::optional<IpAddress> address = ReadIpAddress(node.substr(1, close - 1));
    if (!address || address->v4) return std::nullopt;  // brackets hold IPv6 only
    return address;
  }
  const std::size_t colon = node.find(':');
  if (colon != std::string_view::npos && node.find(':', colon + 1) == std::string_view::npos) {
    // One colon: an IPv4 address and its port.
    if (!IsNodePort(node.substr(colon + 1))) return std::nullopt;
    const std::optional<IpAddress> address = ReadIpAddress(node.substr(0, colon));
    if (!address || !address->v4) return std::nullopt;
    return address;
  }
  return ReadIpAddress(node);
}

std::string ClientAddress(std::string_view peer, std::string_view forwarded,
                          std::string_view forwarded_for,
                          const std::vector<AddressRange>& trusted) {
  const std::optional<IpAddress> peer_address = ReadIpAddress(peer);
  if (!peer_address || !InAny(*peer_address, trusted)) return std::string(peer);
  std::vector<std::string> chain;
  if (!TrimWhitespace(forwarded).empty()) {
    std::optional<std::vector<std::string>> nodes = ReadForwardedNodes(forwarded);
    if (!nodes) return std::string(peer);
    chain = std::move(*nodes);
  }
  if (std::all_of(chain.begin(), chain.end(),
                  [](const std::string& node) { return node.empty(); })) {
    chain = ForwardedForNodes(forwarded_for);
  }
  std::string last_trusted(peer);
  for (auto node = chain.rbegin(); node != chain.rend(); ++node) {
    const std::optional<IpAddress> address = ReadNodeAddress(*node);
    if (!address) break;
    if (!InAny(*address, trusted)) return address->ToString();
    last_trusted = address->ToString();
  }
  return last_trusted;
}

bool IsTrusted(std::string_view address, const std::vector<AddressRange>& trusted) {
  if (trusted.empty()) return false;
  const std::optional<IpAddress> read = ReadIpAddress(address);
  return read && InAny(*read, trusted);
}

}  // namespace ostrand::web::http
