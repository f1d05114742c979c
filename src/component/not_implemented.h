// The error of a member whose area is not built yet.
#pragma once

#include <string>

#include "core/error.h"

namespace ostrand {

[[noreturn]] inline void ThrowNotImplemented(const std::string& member) {
  throw Error(member + " is not implemented yet");
}

}  // namespace ostrand
