#include "web/oidc/https_client.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "core/error.h"

namespace ostrand::web::oidc {
namespace {

constexpr std::string_view kHttpsScheme = "https://";

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

void StartCurl() {
  static std::once_flag started;
  std::call_once(started, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      throw Error("libcurl cannot start", ErrorKind::kUnavailable);
    }
  });
}

// Where the body goes while it arrives: at most `limit` bytes are kept, and
// the transfer stops at the first byte beyond.
struct Sink {
  std::string body;
  std::size_t limit = 0;
  bool too_large = false;
};

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
  Sink& sink = *static_cast<Sink*>(user);
  const std::size_t bytes = size * count;
  if (bytes > sink.limit - sink.body.size()) {
    sink.too_large = true;
    return 0;  // curl ends the transfer with CURLE_WRITE_ERROR
  }
  sink.body.append(data, bytes);
  return bytes;
}

void Append(CurlList& list, const std::string& line) {
  curl_slist* const longer = curl_slist_append(list.get(), line.c_str());
  if (longer == nullptr) throw Error("out of memory for a request header");
  static_cast<void>(list.release());
  list.reset(longer);
}

// Sets an option whose failure means this libcurl cannot keep a rule.
template <typename T>
void Set(CURL* handle, CURLoption option, T value) {
  if (curl_easy_setopt(handle, option, value) != CURLE_OK) {
    throw Error("libcurl refuses an option the provider's requests need", ErrorKind::kUnavailable);
  }
}

}  // namespace

bool IsHttpsAddress(std::string_view address) {
  if (address.size() <= kHttpsScheme.size()) return false;
  for (std::size_t i = 0; i < kHttpsScheme.size(); ++i) {
    char c = address[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kHttpsScheme[i]) return false;
  }
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == '#' || c == '\\') return false;
  }
  const std::string_view rest = address.substr(kHttpsScheme.size());
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?"));
  if (authority.find('@') != std::string_view::npos) return false;
  // The host is what stands before the port (a bracketed IPv6 address
  // keeps its colons).
  const std::size_t colon = authority.rfind(':');
  const bool has_port =
      colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos;
  const std::string_view host = has_port ? authority.substr(0, colon) : authority;
  return !host.empty();
}

HttpsClient::HttpsClient(HttpsSettings settings) : settings_(std::move(settings)) {}

HttpsClient::~HttpsClient() = default;

HttpsAnswer HttpsClient::Get(const std::string& address) const {
  return Send(address, nullptr, {});
}

HttpsAnswer HttpsClient::PostForm(const std::string& address, std::string_view form,
                                  std::string_view authorization) const {
  const std::string body(form);
  return Send(address, &body, authorization);
}

HttpsAnswer HttpsClient::Send(const std::string& address, const std::string* form,
                              std::string_view authorization) const {
  if (!IsHttpsAddress(address)) {
    throw Error("the OpenID provider's address '" + address + "' is no https:// address",
                ErrorKind::kUnavailable);
  }
  StartCurl();
  const CurlHandle handle(curl_easy_init());
  if (!handle) throw Error("libcurl cannot make a request", ErrorKind::kUnavailable);
  CURL* const curl = handle.get();
  char error_text[CURL_ERROR_SIZE] = {};
  Sink sink;
  sink.limit = settings_.largest_answer;

  Set(curl, CURLOPT_ERRORBUFFER, error_text);
  Set(curl, CURLOPT_URL, address.c_str());
  Set(curl, CURLOPT_PROTOCOLS_STR, "https");
  Set(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  Set(curl, CURLOPT_FOLLOWLOCATION, 0L);
  Set(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  Set(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  Set(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  if (!settings_.ca_file.empty()) Set(curl, CURLOPT_CAINFO, settings_.ca_file.c_str());
  Set(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(settings_.timeout.count()));
  Set(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings_.connect_timeout.count()));
  Set(curl, CURLOPT_NOSIGNAL, 1L);
  Set(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(settings_.largest_answer));
  Set(curl, CURLOPT_WRITEFUNCTION, &Collect);
  Set(curl, CURLOPT_WRITEDATA, static_cast<void*>(&sink));
  Set(curl, CURLOPT_USERAGENT, "ostrand");

  CurlList headers;
  Append(headers, "Accept: application/json");
  if (form != nullptr) {
    Append(headers, "Content-Type: application/x-www-form-urlencoded");
    Set(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(form->size()));
    Set(curl, CURLOPT_POSTFIELDS, form->c_str());
  }
  if (!authorization.empty()) Append(headers, "Authorization: " + std::string(authorization));
  Set(curl, CURLOPT_HTTPHEADER, headers.get());

  const CURLcode code = curl_easy_perform(curl);
  if (sink.too_large || code == CURLE_FILESIZE_EXCEEDED) {
    throw Error("the OpenID provider's answer from '" + address + "' is larger than " +
                    std::to_string(settings_.largest_answer) + " bytes",
                ErrorKind::kUnavailable);
  }
  if (code != CURLE_OK) {
    const std::string why = error_text[0] != '\0' ? error_text : curl_easy_strerror(code);
    throw Error("the OpenID provider at '" + address + "' cannot be reached: " + why,
                ErrorKind::kUnavailable);
  }
  HttpsAnswer answer;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
  answer.body = std::move(sink.body);
  return answer;
}

}  // namespace ostrand::web::oidc
