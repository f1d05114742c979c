#include "web/oidc/provider_documents.h"

#include <nlohmann/json.hpp>

#include <optional>

#include "core/error.h"
#include "web/oidc/https_client.h"

namespace ostrand::web::oidc {
namespace {

using Json = nlohmann::json;

constexpr std::size_t kQuotedLength = 60;

Error Unreadable(const std::string& what) {
  return Error("the OpenID provider's " + what, ErrorKind::kUnavailable);
}

std::optional<Json> ReadObject(std::string_view text) {
  Json json = Json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return std::nullopt;
  return json;
}

// The text member `name`, nothing when it is missing or no text.
std::optional<std::string> TextMember(const Json& object, const char* name) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

std::string Endpoint(const Json& document, const char* name) {
  const std::optional<std::string> address = TextMember(document, name);
  if (!address) throw Unreadable("discovery document has no \"" + std::string(name) + "\"");
  if (!IsHttpsAddress(*address)) {
    throw Unreadable("discovery document's \"" + std::string(name) + "\" '" +
                     QuoteProviderText(*address) + "' is no https:// address");
  }
  return *address;
}

bool Lists(const Json& list, std::string_view value) {
  for (const Json& item : list) {
    if (item.is_string() && item.get_ref<const std::string&>() == value) return true;
  }
  return false;
}

}  // namespace

std::string QuoteProviderText(std::string_view text) {
  std::string quoted;
  for (const char c : text.substr(0, kQuotedLength)) {
    const auto byte = static_cast<unsigned char>(c);
    quoted += (byte >= 0x20 && byte < 0x7F) ? c : '?';
  }
  if (text.size() > kQuotedLength) quoted += "...";
  return quoted;
}

ProviderMetadata ReadProviderMetadata(std::string_view text, std::string_view issuer) {
  const std::optional<Json> document = ReadObject(text);
  if (!document) throw Unreadable("discovery document is no JSON object");
  const std::optional<std::string> named = TextMember(*document, "issuer");
  if (!named) throw Unreadable("discovery document has no \"issuer\"");
  if (*named != issuer) {
    throw Unreadable("discovery document names the issuer '" + QuoteProviderText(*named) +
                     "', not '" + std::string(issuer) + "'");
  }
  ProviderMetadata metadata;
  metadata.issuer = *named;
  metadata.authorization_endpoint = Endpoint(*document, "authorization_endpoint");
  metadata.token_endpoint = Endpoint(*document, "token_endpoint");
  metadata.jwks_uri = Endpoint(*document, "jwks_uri");
  if (document->contains("end_session_endpoint")) {
    metadata.end_session_endpoint = Endpoint(*document, "end_session_endpoint");
  }
  const auto methods = document->find("token_endpoint_auth_methods_supported");
  if (methods != document->end() && methods->is_array() && Lists(*methods, "client_secret_post") &&
      !Lists(*methods, "client_secret_basic")) {
    metadata.client_authentication = ClientAuthentication::kPost;
  }
  return metadata;
}

std::string ReadTokenAnswer(long status, std::string_view text) {
  const std::optional<Json> answer = ReadObject(text);
  if (status == 400 || status == 401) {
    const std::optional<std::string> code = answer ? TextMember(*answer, "error") : std::nullopt;
    if (code) {
      throw Error("the OpenID provider refused to trade the code for a token (" +
                      QuoteProviderText(*code) + ")",
                  ErrorKind::kForbidden);
    }
  }
  if (status != 200) {
    throw Unreadable("token endpoint answered with status " + std::to_string(status));
  }
  if (!answer) throw Unreadable("token answer is no JSON object");
  std::optional<std::string> id_token = TextMember(*answer, "id_token");
  if (!id_token || id_token->empty()) throw Unreadable("token answer holds no \"id_token\"");
  return std::move(*id_token);
}

}  // namespace ostrand::web::oidc
