// The documents an OpenID provider answers with, read from their text:
// the discovery document (/.well-known/openid-configuration) and the token
// endpoint's answer. Plain functions on text, so that any input can be
// thrown at them; the key set is key_set.h.
//
// A document that does not read is the provider's fault or a stranger's
// on the way: Error of kind kUnavailable naming the field. A token answer
// that refuses the code is kForbidden.
#pragma once

#include <string>
#include <string_view>

namespace ostrand::web::oidc {

// How this client proves itself to the token endpoint.
enum class ClientAuthentication {
  kBasic,  // HTTP Basic with the form-encoded id and secret
  kPost,   // client_id and client_secret in the form body
};

// What the provider's discovery document says that this client uses.
struct ProviderMetadata {
  std::string issuer;
  std::string authorization_endpoint;
  std::string token_endpoint;
  std::string jwks_uri;
  // RP-initiated sign-out; empty when the provider offers none.
  std::string end_session_endpoint;
  // Basic unless the document lists client_secret_post and not
  // client_secret_basic.
  ClientAuthentication client_authentication = ClientAuthentication::kBasic;
};

// The discovery document `text` (a JSON object) of the provider whose
// issuer is `issuer`. Throws Error (kUnavailable) when it is no JSON
// object, when its "issuer" is not `issuer` exactly, or when an endpoint
// this client uses (authorization, token, jwks_uri, and end_session when
// given) is missing or no https:// address.
ProviderMetadata ReadProviderMetadata(std::string_view text, std::string_view issuer);

// The ID token (its compact text, not yet checked) of the token
// endpoint's answer with HTTP status `status` and body `text`. Throws
// Error (kForbidden) naming the provider's error code when it refused the
// request (a 400 or 401 with an "error"), (kUnavailable) for any other
// status and for a 200 without a text "id_token".
std::string ReadTokenAnswer(long status, std::string_view text);

// The value `text` of the provider quoted for a message: at most a few
// dozen printable ASCII characters, anything else as '?'.
std::string QuoteProviderText(std::string_view text);

}  // namespace ostrand::web::oidc
