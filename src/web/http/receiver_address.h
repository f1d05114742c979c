// The address of a receiver the site POSTs to, as an administrator types
// it on the administration page: a plain function on text, so that any
// input can be thrown at it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ostrand::web::http {

// The longest address taken, in bytes.
inline constexpr std::size_t kLongestReceiverAddress = 2000;

// Why an address was refused, in the order the checks run.
enum class ReceiverAddressProblem {
  kEmpty,       // nothing but blanks
  kTooLong,     // more than kLongestReceiverAddress bytes
  kCharacters,  // a blank, a control, a byte outside ASCII or one of \ < > " { } | ^ `
  kScheme,      // neither "http://" nor "https://" (either case)
  kFragment,    // a '#'
  kUserInfo,    // a user name or password before the host ("user:pw@")
  kNoHost,      // nothing between the scheme and the path
  kBadHost,     // a host or port that does not read (http::ReadHostHeader)
};

// What ReadReceiverAddress made of a text: the address, or the problem.
struct ReceiverAddress {
  // Without the blanks around it, the scheme and host lower-cased, the
  // path and query as typed; empty when refused.
  std::string address;
  std::optional<ReceiverAddressProblem> problem;
};

// Reads an absolute http:// or https:// address with a host, no user
// part, no fragment, no blanks or controls, of at most
// kLongestReceiverAddress bytes. The blanks around the text are dropped
// first. Never throws.
ReceiverAddress ReadReceiverAddress(std::string_view text);

}  // namespace ostrand::web::http
