// The one error type of ostrand. Every failure of a member, a conversion, the
// store or a host object is reported by throwing Error; its message names the
// bad value ("cannot read '2001-13-45' as a date") or carries the database's
// own message. Its kind says what sort of failure it is, so that a host
// answers every Error of a kind alike (the web host: one status per kind,
// web/pages/error_answer.h) without knowing where it was thrown.
#pragma once

#include <stdexcept>
#include <string>

namespace ostrand {

enum class ErrorKind {
  kBadInput,     // what was asked for does not read or breaks a rule
  kNotFound,     // what was asked for does not exist
  kForbidden,    // the one asking may not do it
  kConflict,     // it clashes with what is stored now
  kBusy,         // too much to do right now; a later attempt may succeed
  kUnavailable,  // a resource (the database) cannot be used right now
  kInternal,     // a fault of this system or of the data it reads
};

class Error : public std::runtime_error {
 public:
  // An error of `kind`; without one, a fault of the system (kInternal),
  // which a host answers as such and logs.
  explicit Error(const std::string& message, ErrorKind kind = ErrorKind::kInternal)
      : std::runtime_error(message), kind_(kind), message_(message) {}
  ErrorKind kind() const { return kind_; }
  // The whole message: what() ends at a NUL that quoted outside text may
  // hold, this does not.
  const std::string& message_text() const { return message_; }

 private:
  ErrorKind kind_;
  std::string message_;
};

}  // namespace ostrand
