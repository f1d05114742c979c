#include "web/data/site_identity.h"

#include <sodium.h>

#include <array>
#include <cstdio>

#include "core/error.h"
#include "core/sodium_start.h"
#include "store/database_error.h"
#include "web/data/settings.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kSettingName = "feedIdentity";

std::optional<std::int64_t> StoredIdentity(store::Connection& db) {
  return ReadSetting(db, kSettingName);
}

// 48 random bits, never 0: exact in every backend's numbers, doubles
// included.
std::int64_t NewIdentity() {
  StartSodium();
  std::int64_t value = 0;
  while (value == 0) {
    std::array<unsigned char, 6> bytes{};
    randombytes_buf(bytes.data(), bytes.size());
    for (const unsigned char b : bytes) value = value << 8 | b;
  }
  return value;
}

}  // namespace

std::string LoadSiteIdentity(store::Connection& db) {
  std::optional<std::int64_t> value = StoredIdentity(db);
  if (!value) {
    try {
      SetSettingOnce(db, kSettingName, NewIdentity());
    } catch (const store::DatabaseError& e) {
      // Another server inserted its identity first: the key refused ours.
      if (e.unavailable()) throw;
    }
    value = StoredIdentity(db);
    if (!value) throw Error("the site identity could not be stored in hostSetting");
  }
  char text[32];
  std::snprintf(text, sizeof text, "%012llx.ostrand",
                static_cast<unsigned long long>(*value & 0xFFFFFFFFFFFFLL));
  return text;
}

std::string SiteIdentity::Get(store::Connection& db) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!identity_) identity_ = LoadSiteIdentity(db);
  return *identity_;
}

}  // namespace ostrand::web
