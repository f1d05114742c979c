// The one error type of ostrand. Every failure of a member, a conversion, the
// store or a host object is reported by throwing Error; its message names the
// bad value ("cannot read '2001-13-45' as a date") or carries the database's
// own message. Hosts turn it into their own reply.
#pragma once

#include <stdexcept>
#include <string>

namespace ostrand {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace ostrand
