// What an OpenID provider (or a stranger posing as one) sends: the
// discovery document, the token answer, the key set, an ID token. Each
// reader takes any input or refuses it with an Error of its kind: a
// document that reads names the issuer asked for and https endpoints only,
// and no input passes as a token of a key it was not signed with. The
// input is also signed here as the payload of a token, so that the claim
// checks see any claims: one they take has the issuer and a bounded subject.
#include <cjose/cjose.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "core/error.h"
#include "fuzz_check.h"
#include "web/oidc/https_client.h"
#include "web/oidc/id_token.h"
#include "web/oidc/key_set.h"
#include "web/oidc/provider_documents.h"

using ostrand::Error;
using ostrand::ErrorKind;
using ostrand::fuzz::Check;
namespace oidc = ostrand::web::oidc;

namespace {

constexpr std::string_view kIssuer = "https://id.example.org";

struct SigningKey {
  struct Release {
    void operator()(cjose_jwk_t* key) const { cjose_jwk_release(key); }
  };
  std::unique_ptr<cjose_jwk_t, Release> key;
  oidc::KeySet set;

  SigningKey() {
    cjose_err err{};
    key.reset(cjose_jwk_create_EC_random(CJOSE_JWK_EC_P_256, &err));
    char* const text = cjose_jwk_to_json(key.get(), false, &err);
    nlohmann::json jwk = nlohmann::json::parse(text);
    std::free(text);
    jwk["kid"] = "k";
    set = oidc::ReadKeySet(nlohmann::json{{"keys", {jwk}}}.dump());
  }

  std::string Sign(std::string_view payload) const {
    cjose_err err{};
    cjose_header_t* const header = cjose_header_new(&err);
    cjose_header_set(header, CJOSE_HDR_ALG, CJOSE_HDR_ALG_ES256, &err);
    cjose_header_set(header, CJOSE_HDR_KID, "k", &err);
    cjose_jws_t* const jws =
        cjose_jws_sign(key.get(), header, reinterpret_cast<const std::uint8_t*>(payload.data()),
                       payload.size(), &err);
    cjose_header_release(header);
    const char* compact = nullptr;
    std::string token;
    if (jws != nullptr && cjose_jws_export(jws, &compact, &err)) token = compact;
    cjose_jws_release(jws);
    return token;
  }
};

void ExpectKind(const Error& error, ErrorKind kind, const char* what) {
  Check(error.kind() == kind, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const SigningKey signing;
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  const oidc::TokenExpectations expected{kIssuer, "client", "nonce", "preferred_username", 1000};

  try {
    const oidc::ProviderMetadata metadata = oidc::ReadProviderMetadata(text, kIssuer);
    Check(metadata.issuer == kIssuer, "a discovery document of another issuer reads");
    Check(oidc::IsHttpsAddress(metadata.token_endpoint) &&
              oidc::IsHttpsAddress(metadata.authorization_endpoint) &&
              oidc::IsHttpsAddress(metadata.jwks_uri),
          "an endpoint is no https address");
  } catch (const Error& error) {
    ExpectKind(error, ErrorKind::kUnavailable, "a discovery document fails oddly");
  }
  for (const long status : {200L, 400L}) {
    try {
      Check(!oidc::ReadTokenAnswer(status, text).empty(), "an empty ID token reads");
    } catch (const Error& error) {
      Check(error.kind() == ErrorKind::kUnavailable || error.kind() == ErrorKind::kForbidden,
            "a token answer fails oddly");
    }
  }
  try {
    const oidc::KeySet keys = oidc::ReadKeySet(text);
    Check(keys.size() > 0 && keys.size() <= oidc::kMostKeys, "a key set of no or too many keys");
  } catch (const Error& error) {
    ExpectKind(error, ErrorKind::kUnavailable, "a key set fails oddly");
  }
  const std::string quoted = oidc::QuoteProviderText(text);
  for (const char c : quoted) Check(c >= 0x20 && c < 0x7F, "a quoted text holds a control");

  (void)oidc::ReadJwsHeader(text);
  (void)signing.set.LacksKeyFor(text);
  try {
    (void)oidc::CheckIdToken(text, signing.set, expected);
    Check(false, "a token not signed here is taken");
  } catch (const Error& error) {
    ExpectKind(error, ErrorKind::kForbidden, "a forged token fails oddly");
  }

  const std::string token = signing.Sign(text);
  try {
    const oidc::IdTokenClaims claims = oidc::CheckIdToken(token, signing.set, expected);
    Check(claims.issuer == kIssuer, "a token of another issuer is taken");
    Check(!claims.subject.empty() && claims.subject.size() <= 255, "a subject out of bounds");
  } catch (const Error& error) {
    ExpectKind(error, ErrorKind::kForbidden, "claims fail oddly");
  }
  return 0;
}
