// libsodium is started here, once per process, before anything that uses
// it (random bytes, hashes, session keys, password hashes). Header-only, so
// that the component library itself needs no libsodium: the libraries that
// call it (the web host, the calendar feeds) link it.
#pragma once

#include <sodium.h>

#include "core/error.h"

namespace ostrand {

// Starts libsodium the first time it is called; every later call returns at
// once. Safe from any thread (sodium_init is, and the static keeps its
// answer). Throws Error when the library cannot start, on the first call
// and on every later one.
inline void StartSodium() {
  static const bool started = sodium_init() >= 0;
  if (!started) throw Error("cannot initialise libsodium");
}

}  // namespace ostrand
