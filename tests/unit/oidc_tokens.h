// Keys made in the test and tokens signed with them (cjose), for the
// checks of ID tokens and of the OpenID client.
#pragma once

#include <cjose/cjose.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "web/auth/session_cookie.h"

namespace ostrand::test_support {

struct JwkRelease {
  void operator()(cjose_jwk_t* key) const { cjose_jwk_release(key); }
};
using TestKey = std::unique_ptr<cjose_jwk_t, JwkRelease>;

inline TestKey NewRsaKey(std::size_t bits = 2048) {
  static const std::uint8_t kExponent[] = {1, 0, 1};
  cjose_err err{};
  TestKey key(cjose_jwk_create_RSA_random(bits, kExponent, sizeof kExponent, &err));
  EXPECT_TRUE(key) << "cannot make an RSA key";
  return key;
}

inline TestKey NewEcKey(cjose_jwk_ec_curve curve = CJOSE_JWK_EC_P_256) {
  cjose_err err{};
  TestKey key(cjose_jwk_create_EC_random(curve, &err));
  EXPECT_TRUE(key) << "cannot make an EC key";
  return key;
}

// The key's public JWK with `kid`, as a provider's key set lists it.
inline nlohmann::json PublicJwk(const cjose_jwk_t* key, const std::string& kid) {
  cjose_err err{};
  char* const text = cjose_jwk_to_json(key, false, &err);
  nlohmann::json jwk = nlohmann::json::parse(text);
  std::free(text);
  jwk["kid"] = kid;
  return jwk;
}

inline std::string KeySetText(const std::vector<nlohmann::json>& keys) {
  return nlohmann::json{{"keys", keys}}.dump();
}

// `claims` signed with `key` under the protected `header` (each member
// as it is, "alg" and "kid" among them).
inline std::string SignedToken(const cjose_jwk_t* key, const nlohmann::json& header,
                               const nlohmann::json& claims) {
  cjose_err err{};
  cjose_header_t* const protected_header = cjose_header_new(&err);
  for (const auto& [name, value] : header.items()) {
    if (value.is_string()) {
      cjose_header_set(protected_header, name.c_str(), value.get<std::string>().c_str(), &err);
    } else {
      cjose_header_set_raw(protected_header, name.c_str(), value.dump().c_str(), &err);
    }
  }
  const std::string payload = claims.dump();
  cjose_jws_t* const jws =
      cjose_jws_sign(key, protected_header, reinterpret_cast<const std::uint8_t*>(payload.data()),
                     payload.size(), &err);
  cjose_header_release(protected_header);
  EXPECT_NE(jws, nullptr) << "cannot sign: " << (err.message ? err.message : "");
  if (jws == nullptr) return {};
  const char* compact = nullptr;
  cjose_jws_export(jws, &compact, &err);
  std::string token = compact != nullptr ? compact : "";
  cjose_jws_release(jws);
  return token;
}

// A token in compact form with any header and signature, signed by nobody.
inline std::string UnsignedToken(const nlohmann::json& header, const nlohmann::json& claims,
                                 const std::string& signature = {}) {
  return web::UrlSafeBase64(header.dump()) + "." + web::UrlSafeBase64(claims.dump()) + "." +
         signature;
}

}  // namespace ostrand::test_support
