// The identity of the site in the UIDs of its calendar events: a random
// number made once per schedule database and kept in hostSetting
// ('feedIdentity'), so that an event keeps its UID whatever name the site
// is reached by, whichever of several servers on the database answers, and
// whether or not --public-url is set or changed later.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "store/connection.h"

namespace ostrand::web {

// "3f2a9c0d1e4b.ostrand": the site's identity as a UID domain (12 hex
// digits), made when the database has none yet. Servers that start at the
// same time agree: the row is inserted only where absent and then read
// back. Throws store::DatabaseError when the database cannot be read, or
// cannot be written while it holds no identity yet.
std::string LoadSiteIdentity(store::Connection& db);

// LoadSiteIdentity once per process: the first call that succeeds is kept.
// Thread-safe; copying is deleted (it holds the lock).
class SiteIdentity {
 public:
  SiteIdentity() = default;
  SiteIdentity(const SiteIdentity&) = delete;
  SiteIdentity& operator=(const SiteIdentity&) = delete;

  // The identity, read with `db` on the first call. Throws as
  // LoadSiteIdentity (and tries again on the next call).
  std::string Get(store::Connection& db) const;

 private:
  mutable std::mutex mutex_;
  mutable std::optional<std::string> identity_;
};

}  // namespace ostrand::web
