// PasswordDirectory: a directory that checks the name and password typed
// into the sign-in form (web/directory/ has the LDAP one). SignInGate asks
// it on the hash pool, under the same throttle as local passwords.
#pragma once

#include <string>
#include <string_view>

#include "web/data/identities.h"

namespace ostrand::web {

struct DirectoryAnswer {
  enum class Status {
    kBound,       // the password is right: `identity` is who signed in
    kRefused,     // the user exists and the password is wrong
    kNoSuchUser,  // the directory knows nobody of that name
    kDown,        // the directory cannot be asked now
  };
  Status status = Status::kDown;
  ExternalIdentity identity;
};

class PasswordDirectory {
 public:
  virtual ~PasswordDirectory() = default;
  // Checks the password of the user the typed name finds. Blocks for the
  // directory's answer (bounded by its timeout); safe from several threads
  // at once; never throws but for want of memory (a directory that fails
  // answers kDown).
  virtual DirectoryAnswer Check(std::string_view name, std::string_view password) = 0;
};

}  // namespace ostrand::web
