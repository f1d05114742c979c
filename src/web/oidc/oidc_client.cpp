#include "web/oidc/oidc_client.h"

#include <sodium.h>

#include <array>
#include <mutex>

#include "core/error.h"
#include "core/sha256.h"
#include "core/sodium_start.h"
#include "web/auth/personal_tokens.h"
#include "web/auth/session_cookie.h"
#include "web/http/url.h"

namespace ostrand::web::oidc {
namespace {

// After a first read that failed, sign-ins fail at once for this long
// instead of each waiting for the provider's timeout.
constexpr std::chrono::seconds kRetryAfterFailure{10};

constexpr std::string_view kDiscoveryPath = "/.well-known/openid-configuration";

// The value form-encoded as application/x-www-form-urlencoded wants it
// (the one percent-encoder leaves '/' as it is, which a form value may not).
std::string FormEncode(std::string_view value) {
  std::string encoded;
  for (const char c : http::PercentEncode(value)) {
    if (c == '/') {
      encoded += "%2F";
    } else {
      encoded += c;
    }
  }
  return encoded;
}

void AppendItem(std::string& out, std::string_view name, std::string_view value) {
  if (!out.empty() && out.back() != '?') out += '&';
  out += name;
  out += '=';
  out += FormEncode(value);
}

// `address` ready for query items: with '?' or, when it has a query
// already, with '&' to come.
std::string WithQuery(const std::string& address) {
  return address + (address.find('?') == std::string::npos ? "?" : "&");
}

// HTTP Basic credentials: the form-encoded id and secret, joined by ':',
// in standard base64.
std::string BasicCredentials(std::string_view client_id, std::string_view secret) {
  const std::string pair = FormEncode(client_id) + ":" + FormEncode(secret);
  StartSodium();
  std::string encoded(sodium_base64_ENCODED_LEN(pair.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(encoded.data(), encoded.size(),
                    reinterpret_cast<const unsigned char*>(pair.data()), pair.size(),
                    sodium_base64_VARIANT_ORIGINAL);
  encoded.resize(encoded.size() - 1);  // the terminating NUL
  return "Basic " + encoded;
}

std::string DiscoveryAddress(std::string_view issuer) {
  if (!issuer.empty() && issuer.back() == '/') issuer.remove_suffix(1);
  return std::string(issuer) + std::string(kDiscoveryPath);
}

}  // namespace

std::string CodeChallenge(std::string_view code_verifier) {
  const Sha256Digest hash = Sha256(code_verifier);
  return UrlSafeBase64(std::string_view(reinterpret_cast<const char*>(hash.data()), hash.size()));
}

SignInSecrets NewSignInSecrets() {
  SignInSecrets secrets;
  secrets.state = NewRandomToken();
  secrets.nonce = NewRandomToken();
  // 43 characters of A-Z a-z 0-9 - _: the shortest verifier PKCE takes,
  // with 256 random bits.
  secrets.code_verifier = NewRandomToken();
  secrets.code_challenge = CodeChallenge(secrets.code_verifier);
  return secrets;
}

struct OidcClient::Impl {
  struct Provider {
    ProviderMetadata metadata;
    KeySet keys;
  };

  OidcOptions options;
  std::unique_ptr<HttpsClient> https;
  OidcClient::Clock clock;

  std::mutex read_mutex;  // one read of the provider's documents at a time
  std::mutex mutex;       // guards what follows
  std::shared_ptr<const Provider> provider;
  std::optional<std::chrono::steady_clock::time_point> last_read;
  std::optional<std::chrono::steady_clock::time_point> last_failure;
  std::string failure;
  int reads = 0;

  std::shared_ptr<const Provider> Current() {
    const std::lock_guard lock(mutex);
    return provider;
  }

  // Reads both documents and keeps them; what was kept stays when a read
  // fails. Called with read_mutex held.
  std::shared_ptr<const Provider> Read() {
    {
      const std::lock_guard lock(mutex);
      last_read = clock();
      ++reads;
    }
    try {
      const std::string discovery = DiscoveryAddress(options.issuer);
      const HttpsAnswer document = https->Get(discovery);
      if (document.status != 200) {
        throw Error("the OpenID provider answered " + std::to_string(document.status) +
                        " for its discovery document at '" + discovery + "'",
                    ErrorKind::kUnavailable);
      }
      auto fresh = std::make_shared<Provider>();
      fresh->metadata = ReadProviderMetadata(document.body, options.issuer);
      const HttpsAnswer keys = https->Get(fresh->metadata.jwks_uri);
      if (keys.status != 200) {
        throw Error("the OpenID provider answered " + std::to_string(keys.status) +
                        " for its key set at '" + fresh->metadata.jwks_uri + "'",
                    ErrorKind::kUnavailable);
      }
      fresh->keys = ReadKeySet(keys.body);
      const std::lock_guard lock(mutex);
      provider = fresh;
      last_failure.reset();
      return provider;
    } catch (const Error& error) {
      const std::lock_guard lock(mutex);
      last_failure = clock();
      failure = error.message_text();
      throw;
    }
  }

  // What is kept, read first when nothing is.
  std::shared_ptr<const Provider> Loaded() {
    if (std::shared_ptr<const Provider> kept = Current()) return kept;
    const std::lock_guard reading(read_mutex);
    {
      const std::lock_guard lock(mutex);
      if (provider) return provider;
      if (last_failure && clock() - *last_failure < kRetryAfterFailure) {
        throw Error(failure, ErrorKind::kUnavailable);
      }
    }
    return Read();
  }

  // The documents read again instead of `seen`, unless another thread did
  // so meanwhile or the last read was less than kKeyRefreshInterval ago.
  std::shared_ptr<const Provider> Refreshed(const std::shared_ptr<const Provider>& seen) {
    const std::lock_guard reading(read_mutex);
    {
      const std::lock_guard lock(mutex);
      if (provider != seen) return provider;
      if (last_read && clock() - *last_read < kKeyRefreshInterval) return provider;
    }
    return Read();
  }
};

OidcClient::OidcClient(const OidcOptions& options, std::string ca_file)
    : OidcClient(options, std::make_unique<HttpsClient>(HttpsSettings{std::move(ca_file)})) {}

OidcClient::OidcClient(const OidcOptions& options, std::unique_ptr<HttpsClient> https, Clock clock)
    : impl_(std::make_unique<Impl>()) {
  impl_->options = options;
  impl_->https = std::move(https);
  impl_->clock = std::move(clock);
}

OidcClient::~OidcClient() = default;

ProviderMetadata OidcClient::Metadata() { return impl_->Loaded()->metadata; }

std::string OidcClient::AuthorizationUrl(const std::string& redirect_uri,
                                         const SignInSecrets& secrets) {
  std::string scope = "openid";
  for (const std::string& item : impl_->options.scopes) {
    if (item != "openid" && !item.empty()) scope += " " + item;
  }
  std::string address = WithQuery(Metadata().authorization_endpoint);
  AppendItem(address, "response_type", "code");
  AppendItem(address, "client_id", impl_->options.client_id);
  AppendItem(address, "redirect_uri", redirect_uri);
  AppendItem(address, "scope", scope);
  AppendItem(address, "state", secrets.state);
  AppendItem(address, "nonce", secrets.nonce);
  AppendItem(address, "code_challenge", secrets.code_challenge);
  AppendItem(address, "code_challenge_method", "S256");
  return address;
}

std::string OidcClient::ExchangeCode(const std::string& code, const std::string& redirect_uri,
                                     const std::string& code_verifier) {
  const ProviderMetadata metadata = Metadata();
  std::string form;
  AppendItem(form, "grant_type", "authorization_code");
  AppendItem(form, "code", code);
  AppendItem(form, "redirect_uri", redirect_uri);
  AppendItem(form, "code_verifier", code_verifier);
  std::string authorization;
  if (metadata.client_authentication == ClientAuthentication::kPost) {
    AppendItem(form, "client_id", impl_->options.client_id);
    AppendItem(form, "client_secret", impl_->options.client_secret);
  } else {
    authorization = BasicCredentials(impl_->options.client_id, impl_->options.client_secret);
  }
  const HttpsAnswer answer = impl_->https->PostForm(metadata.token_endpoint, form, authorization);
  return ReadTokenAnswer(answer.status, answer.body);
}

IdTokenClaims OidcClient::CheckIdToken(std::string_view id_token, std::string_view nonce,
                                       std::int64_t now) {
  std::shared_ptr<const Impl::Provider> provider = impl_->Loaded();
  if (provider->keys.LacksKeyFor(id_token)) provider = impl_->Refreshed(provider);
  const OidcOptions& options = impl_->options;
  return oidc::CheckIdToken(
      id_token, provider->keys,
      TokenExpectations{options.issuer, options.client_id, nonce, options.claim, now});
}

std::optional<std::string> OidcClient::EndSessionUrl(const std::string& post_logout_redirect_uri,
                                                     const std::string& id_token_hint) {
  const ProviderMetadata metadata = Metadata();
  if (metadata.end_session_endpoint.empty()) return std::nullopt;
  std::string address = WithQuery(metadata.end_session_endpoint);
  AppendItem(address, "client_id", impl_->options.client_id);
  AppendItem(address, "post_logout_redirect_uri", post_logout_redirect_uri);
  if (!id_token_hint.empty()) AppendItem(address, "id_token_hint", id_token_hint);
  return address;
}

int OidcClient::Reads() const {
  const std::lock_guard lock(impl_->mutex);
  return impl_->reads;
}

const OidcOptions& OidcClient::options() const { return impl_->options; }

}  // namespace ostrand::web::oidc
