// The readers of an OpenID provider's documents and the checks of its ID
// tokens, on keys made here and tokens signed here (and forged here).
#include <gtest/gtest.h>

#include <functional>

#include "core/error.h"
#include "oidc_tokens.h"
#include "web/oidc/id_token.h"
#include "web/oidc/key_set.h"
#include "web/oidc/provider_documents.h"

namespace ostrand::web::oidc {
namespace {

using nlohmann::json;
using namespace ostrand::test_support;

constexpr std::string_view kIssuer = "https://id.example.org";
constexpr std::string_view kClient = "ostrand-site";
constexpr std::string_view kNonce = "nonce-of-this-sign-in";
constexpr std::int64_t kNow = 1'800'000'000;
constexpr std::int64_t kSkew = kClockSkew.count();

struct Keys {
  TestKey rsa = NewRsaKey();
  TestKey other_rsa = NewRsaKey();
  TestKey ec = NewEcKey();
  TestKey ec384 = NewEcKey(CJOSE_JWK_EC_P_384);
  KeySet set = ReadKeySet(KeySetText({PublicJwk(rsa.get(), "rsa-1"), PublicJwk(ec.get(), "ec-1"),
                                      PublicJwk(ec384.get(), "ec-2")}));
};

const Keys& TestKeys() {
  static const Keys keys;
  return keys;
}

json GoodClaims() {
  return {{"iss", kIssuer},    {"aud", kClient},
          {"exp", kNow + 300}, {"iat", kNow - 10},
          {"nonce", kNonce},   {"sub", "248289761001"},
          {"name", "Alice"},   {"preferred_username", "alice"}};
}

std::string RsaToken(const json& claims, const std::string& alg = "RS256") {
  return SignedToken(TestKeys().rsa.get(), {{"alg", alg}, {"kid", "rsa-1"}}, claims);
}

IdTokenClaims Check(std::string_view token) {
  return CheckIdToken(token, TestKeys().set,
                      TokenExpectations{kIssuer, kClient, kNonce, "preferred_username", kNow});
}

// The message of the refusal of `token`, or "taken" when it is taken; a
// refusal of any other kind than kForbidden fails the test.
std::string Verdict(std::string_view token) {
  try {
    Check(token);
    return "taken";
  } catch (const Error& error) {
    EXPECT_EQ(error.kind(), ErrorKind::kForbidden) << error.message_text();
    return error.message_text();
  }
}

TEST(WebOidcToken, TokensOfEachKeyTypeAreTakenAndGiveTheirClaims) {
  const Keys& keys = TestKeys();
  struct Case {
    const cjose_jwk_t* key;
    json header;
  };
  const Case cases[] = {
      {keys.rsa.get(), {{"alg", "RS256"}, {"kid", "rsa-1"}}},
      {keys.rsa.get(), {{"alg", "PS256"}, {"kid", "rsa-1"}}},
      {keys.rsa.get(), {{"alg", "RS512"}, {"kid", "rsa-1"}, {"typ", "JWT"}}},
      {keys.ec.get(), {{"alg", "ES256"}, {"kid", "ec-1"}}},
      {keys.ec384.get(), {{"alg", "ES384"}, {"kid", "ec-2"}}},
      // No "kid": each key of the algorithm's type is tried.
      {keys.ec.get(), {{"alg", "ES256"}}},
  };
  for (const Case& c : cases) {
    const IdTokenClaims claims = Check(SignedToken(c.key, c.header, GoodClaims()));
    EXPECT_EQ(claims.issuer, kIssuer) << c.header;
    EXPECT_EQ(claims.subject, "248289761001") << c.header;
    EXPECT_EQ(claims.claim, "alice") << c.header;
    EXPECT_EQ(claims.name, "Alice") << c.header;
    EXPECT_EQ(claims.expires, kNow + 300) << c.header;
  }
  // A number claim gives its decimal text; a missing one, nothing.
  json claims = GoodClaims();
  claims["preferred_username"] = 42;
  claims.erase("name");
  EXPECT_EQ(Check(RsaToken(claims)).claim, "42");
  EXPECT_EQ(Check(RsaToken(claims)).name, "");
}

TEST(WebOidcToken, EachClaimCheckRefusesWhatItMustAndTakesTheSkew) {
  struct Case {
    const char* what;
    std::function<void(json&)> change;
    std::string_view verdict;  // "taken", or a part of the refusal
  };
  const std::vector<Case> cases = {
      {"other issuer", [](json& c) { c["iss"] = std::string(kIssuer) + "/"; }, "issuer"},
      {"no issuer", [](json& c) { c.erase("iss"); }, "no issuer"},
      {"other audience", [](json& c) { c["aud"] = "someone-else"; }, "another audience"},
      {"list without us",
       [](json& c) {
         c["aud"] = {"a", "b"};
       },
       "another audience"},
      {"no audience", [](json& c) { c.erase("aud"); }, "no audience"},
      {"audiences, no azp",
       [](json& c) {
         c["aud"] = {kClient, "b"};
       },
       "several audiences"},
      {"audiences, other azp",
       [](json& c) {
         c["aud"] = {kClient, "b"};
         c["azp"] = "b";
       },
       "another party"},
      {"audiences, our azp",
       [](json& c) {
         c["aud"] = {kClient, "b"};
         c["azp"] = kClient;
       },
       "taken"},
      {"one audience, other azp", [](json& c) { c["azp"] = "b"; }, "another party"},
      {"expired beyond the skew", [](json& c) { c["exp"] = kNow - kSkew; }, "expired"},
      {"expired within the skew", [](json& c) { c["exp"] = kNow - kSkew + 1; }, "taken"},
      {"expiry as text", [](json& c) { c["exp"] = std::to_string(kNow + 300); }, "no expiry"},
      {"no expiry", [](json& c) { c.erase("exp"); }, "no expiry"},
      {"issued beyond the skew ahead", [](json& c) { c["iat"] = kNow + kSkew + 1; }, "future"},
      {"issued within the skew ahead", [](json& c) { c["iat"] = kNow + kSkew; }, "taken"},
      {"no time of issue", [](json& c) { c.erase("iat"); }, "no time of issue"},
      {"not valid yet", [](json& c) { c["nbf"] = kNow + kSkew + 60; }, "not valid yet"},
      {"other nonce", [](json& c) { c["nonce"] = "nonce-of-another"; }, "nonce"},
      {"no nonce", [](json& c) { c.erase("nonce"); }, "no nonce"},
      {"no subject", [](json& c) { c.erase("sub"); }, "no subject"},
      {"empty subject", [](json& c) { c["sub"] = ""; }, "no subject"},
      {"subject as number", [](json& c) { c["sub"] = 7; }, "no subject"},
      {"huge expiry", [](json& c) { c["exp"] = 1e300; }, "taken"},
  };
  for (const Case& c : cases) {
    json claims = GoodClaims();
    c.change(claims);
    const std::string verdict = Verdict(RsaToken(claims));
    if (c.verdict == "taken") {
      EXPECT_EQ(verdict, "taken") << c.what;
    } else {
      EXPECT_NE(verdict.find(c.verdict), std::string::npos) << c.what << ": " << verdict;
    }
  }
}

TEST(WebOidcToken, ForgedAndMisshapenTokensAreRefusedBeforeTheirClaimsCount) {
  const Keys& keys = TestKeys();
  const json claims = GoodClaims();
  const std::string good = RsaToken(claims);
  // The payload of the good token changed after signing.
  json changed = claims;
  changed["sub"] = "someone-else";
  const std::string tampered = good.substr(0, good.find('.') + 1) + UrlSafeBase64(changed.dump()) +
                               good.substr(good.rfind('.'));
  // HMAC "signed" with the provider's public key as the shared secret.
  const std::string public_text = PublicJwk(keys.rsa.get(), "rsa-1").dump();
  cjose_err err{};
  const TestKey hmac_key(cjose_jwk_create_oct_spec(
      reinterpret_cast<const std::uint8_t*>(public_text.data()), public_text.size(), &err));
  // A key of the forger's own, offered in the header.
  const TestKey forger = NewRsaKey();

  struct Case {
    const char* what;
    std::string token;
    std::string_view refusal;
  };
  const std::vector<Case> cases = {
      {"other key, same kid",
       SignedToken(keys.other_rsa.get(), {{"alg", "RS256"}, {"kid", "rsa-1"}}, claims),
       "does not hold"},
      {"payload changed", tampered, "does not hold"},
      {"alg none", UnsignedToken({{"alg", "none"}}, claims), "unsigned"},
      {"alg none with a kid", UnsignedToken({{"alg", "none"}, {"kid", "rsa-1"}}, claims, "AAAA"),
       "unsigned"},
      {"HS256 with the public key",
       SignedToken(hmac_key.get(), {{"alg", "HS256"}, {"kid", "rsa-1"}}, claims), "not taken"},
      {"RSA algorithm, EC key",
       SignedToken(keys.rsa.get(), {{"alg", "RS256"}, {"kid", "ec-1"}}, claims), "no key"},
      {"curve of another size", UnsignedToken({{"alg", "ES384"}, {"kid", "ec-1"}}, claims, "AAAA"),
       "no key"},
      {"key in the header",
       SignedToken(forger.get(), {{"alg", "RS256"}, {"jwk", PublicJwk(forger.get(), "f")}}, claims),
       "does not hold"},
      {"unknown kid", SignedToken(forger.get(), {{"alg", "RS256"}, {"kid", "rsa-9"}}, claims),
       "not among"},
      {"crit extension",
       SignedToken(keys.rsa.get(), {{"alg", "RS256"}, {"kid", "rsa-1"}, {"crit", {"x"}}, {"x", 1}},
                   claims),
       "crit"},
      {"no signature", good.substr(0, good.rfind('.') + 1), "no signature"},
      {"encrypted", "eyJhbGciOiJSU0EtT0FFUCJ9.a.b.c.d", "encrypted"},
      {"two parts", good.substr(0, good.rfind('.')), "compact form"},
      {"padding", good + "=", "compact form"},
      {"header no JSON", UrlSafeBase64("{alg") + ".e30.AAAA", "compact form"},
      {"empty", "", "compact form"},
  };
  for (const Case& c : cases) {
    const std::string verdict = Verdict(c.token);
    EXPECT_NE(verdict.find(c.refusal), std::string::npos) << c.what << ": " << verdict;
  }
}

TEST(WebOidcToken, OnlyAKeyTheSetLacksAsksForTheKeysAgain) {
  const Keys& keys = TestKeys();
  const json claims = GoodClaims();
  EXPECT_TRUE(keys.set.LacksKeyFor(
      SignedToken(keys.rsa.get(), {{"alg", "RS256"}, {"kid", "rsa-2"}}, claims)));
  EXPECT_FALSE(keys.set.LacksKeyFor(RsaToken(claims)));
  EXPECT_FALSE(keys.set.LacksKeyFor(UnsignedToken({{"alg", "none"}, {"kid", "x"}}, claims)))
      << "no reading of keys helps an unsigned token";
  EXPECT_FALSE(keys.set.LacksKeyFor("not a token"));
  const KeySet rsa_only = ReadKeySet(KeySetText({PublicJwk(keys.rsa.get(), "rsa-1")}));
  EXPECT_TRUE(rsa_only.LacksKeyFor(SignedToken(keys.ec.get(), {{"alg", "ES256"}}, claims)));
}

TEST(WebOidcToken, KeySetsKeepOnlySigningKeysThisSiteTakes) {
  const Keys& keys = TestKeys();
  const TestKey weak = NewRsaKey(1024);
  json for_encryption = PublicJwk(keys.rsa.get(), "enc");
  for_encryption["use"] = "enc";
  json other_algorithm = PublicJwk(keys.rsa.get(), "oaep");
  other_algorithm["alg"] = "RSA-OAEP";
  json broken = PublicJwk(keys.rsa.get(), "broken");
  broken.erase("n");
  const json oct = {{"kty", "oct"}, {"k", "c2VjcmV0"}, {"kid", "oct"}};
  // Numbers that are no base64url: cjose itself would abort on the first.
  json stray_padding = PublicJwk(keys.rsa.get(), "stray");
  stray_padding["n"] = "AAAAA=AA";
  json ec_numeric = PublicJwk(keys.ec.get(), "numeric");
  ec_numeric["y"] = 7;
  json ec_padding = PublicJwk(keys.ec.get(), "padding");
  ec_padding["x"] = "A===";
  const json unusable = {for_encryption, other_algorithm, broken,   oct, PublicJwk(weak.get(), "weak"),
                         "text",         7,               stray_padding, ec_numeric, ec_padding};
  for (const json& key : unusable) {
    EXPECT_THROW(ReadKeySet(KeySetText({key})), Error) << key;
  }
  EXPECT_EQ(ReadKeySet(KeySetText({unusable[0], unusable[1], unusable[2], unusable[3], unusable[4],
                                   PublicJwk(keys.ec.get(), "ec-1")}))
                .size(),
            1U);
  for (const char* document : {"", "[]", "{}", R"({"keys": {}})", R"({"keys": []})"}) {
    try {
      ReadKeySet(document);
      ADD_FAILURE() << document << " read";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), ErrorKind::kUnavailable) << document;
    }
  }
  // Padding at the end is tolerated.
  json padded = PublicJwk(keys.rsa.get(), "padded");
  std::string modulus = padded["n"];
  while (modulus.size() % 4 != 0) modulus += '=';
  padded["n"] = modulus;
  EXPECT_EQ(ReadKeySet(KeySetText({padded})).size(), 1U);
  // A key that names its algorithm signs with that one only.
  json rs256_only = PublicJwk(keys.rsa.get(), "rsa-1");
  rs256_only["alg"] = "RS256";
  const KeySet set = ReadKeySet(KeySetText({rs256_only}));
  const auto options = TokenExpectations{kIssuer, kClient, kNonce, "sub", kNow};
  EXPECT_EQ(CheckIdToken(RsaToken(GoodClaims()), set, options).claim, "248289761001");
  EXPECT_THROW(CheckIdToken(RsaToken(GoodClaims(), "PS256"), set, options), Error);
}

TEST(WebOidcDocuments, DiscoveryDocumentsAndTokenAnswersReadOnlyWhenSound) {
  const json good = {{"issuer", kIssuer},
                     {"authorization_endpoint", "https://id.example.org/auth"},
                     {"token_endpoint", "https://id.example.org/token"},
                     {"jwks_uri", "https://id.example.org/jwks"},
                     {"end_session_endpoint", "https://id.example.org/end"}};
  const ProviderMetadata metadata = ReadProviderMetadata(good.dump(), kIssuer);
  EXPECT_EQ(metadata.token_endpoint, "https://id.example.org/token");
  EXPECT_EQ(metadata.end_session_endpoint, "https://id.example.org/end");
  EXPECT_EQ(metadata.client_authentication, ClientAuthentication::kBasic);

  json post_only = good;
  post_only["token_endpoint_auth_methods_supported"] = {"client_secret_post"};
  EXPECT_EQ(ReadProviderMetadata(post_only.dump(), kIssuer).client_authentication,
            ClientAuthentication::kPost);
  post_only["token_endpoint_auth_methods_supported"] = {"client_secret_post",
                                                        "client_secret_basic"};
  EXPECT_EQ(ReadProviderMetadata(post_only.dump(), kIssuer).client_authentication,
            ClientAuthentication::kBasic);

  std::vector<json> bad(7, good);
  bad[0]["issuer"] = std::string(kIssuer) + "/";
  bad[1].erase("issuer");
  bad[2]["token_endpoint"] = "http://id.example.org/token";
  bad[3].erase("jwks_uri");
  bad[4]["authorization_endpoint"] = "https://user@id.example.org/auth";
  bad[5]["end_session_endpoint"] = "javascript:alert(1)";
  bad[6] = json::array();
  for (const json& document : bad) {
    try {
      ReadProviderMetadata(document.dump(), kIssuer);
      ADD_FAILURE() << document << " read";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), ErrorKind::kUnavailable) << document;
    }
  }

  EXPECT_EQ(ReadTokenAnswer(200, R"({"id_token": "a.b.c", "token_type": "Bearer"})"), "a.b.c");
  struct Case {
    long status;
    const char* body;
    ErrorKind kind;
  };
  const Case refusals[] = {
      {400, R"({"error": "invalid_grant"})", ErrorKind::kForbidden},
      {401, R"({"error": "invalid_client"})", ErrorKind::kForbidden},
      {400, "not json", ErrorKind::kUnavailable},
      {500, R"({"error": "server_error"})", ErrorKind::kUnavailable},
      {302, "", ErrorKind::kUnavailable},
      {200, R"({"access_token": "x"})", ErrorKind::kUnavailable},
      {200, R"({"id_token": 5})", ErrorKind::kUnavailable},
  };
  for (const Case& c : refusals) {
    try {
      ReadTokenAnswer(c.status, c.body);
      ADD_FAILURE() << c.status << " " << c.body << " read";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), c.kind) << c.status << " " << c.body;
    }
  }
}

}  // namespace
}  // namespace ostrand::web::oidc
