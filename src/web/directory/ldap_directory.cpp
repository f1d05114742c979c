#include "web/directory/ldap_directory.h"

#include <ldap.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <ctime>
#include <memory>
#include <optional>
#include <utility>

#include "core/error.h"
#include "core/text.h"
#include "core/utf8.h"
#include "web/directory/ldap_filter.h"

namespace ostrand::web {
namespace {

struct LdapFree {
  void operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};
using LdapHandle = std::unique_ptr<LDAP, LdapFree>;

struct MessageFree {
  void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
};
using MessageHandle = std::unique_ptr<LDAPMessage, MessageFree>;

struct ValuesFree {
  void operator()(berval** values) const { ldap_value_free_len(values); }
};
using ValuesHandle = std::unique_ptr<berval*, ValuesFree>;

struct MemoryFree {
  void operator()(char* text) const { ldap_memfree(text); }
};
using LdapText = std::unique_ptr<char, MemoryFree>;

struct UrlFree {
  void operator()(LDAPURLDesc* url) const { ldap_free_urldesc(url); }
};
using UrlHandle = std::unique_ptr<LDAPURLDesc, UrlFree>;

using Status = DirectoryAnswer::Status;

// Holds SIGPIPE off the calling thread while the library writes to a
// connection the directory may have closed, and swallows one that came
// meanwhile, so that a dropped connection fails an operation rather than
// ending the process.
class PipeSignalGuard {
 public:
  PipeSignalGuard() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    already_pending_ = sigismember(&pending, SIGPIPE) == 1;
    blocked_ = pthread_sigmask(SIG_BLOCK, &pipe_, &previous_) == 0;
  }
  ~PipeSignalGuard() {
    if (!blocked_) return;
    if (!already_pending_) {
      const timespec now{0, 0};
      while (sigtimedwait(&pipe_, nullptr, &now) == SIGPIPE) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  PipeSignalGuard(const PipeSignalGuard&) = delete;
  PipeSignalGuard& operator=(const PipeSignalGuard&) = delete;

 private:
  sigset_t pipe_{};
  sigset_t previous_{};
  bool already_pending_ = false;
  bool blocked_ = false;
};

// Whether an operation's result code means the directory could not be
// asked (rather than an answer about the user).
bool MeansDown(int code) {
  switch (code) {
    case LDAP_SERVER_DOWN:
    case LDAP_TIMEOUT:
    case LDAP_TIMELIMIT_EXCEEDED:
    case LDAP_CONNECT_ERROR:
    case LDAP_UNAVAILABLE:
    case LDAP_BUSY:
    case LDAP_LOCAL_ERROR:
    case LDAP_NO_MEMORY:
    case LDAP_OTHER:
    case LDAP_PROTOCOL_ERROR:
    case LDAP_DECODING_ERROR:
    case LDAP_ENCODING_ERROR:
      return true;
    default:
      return false;
  }
}

// Every connection's socket waits at most the network timeout for each
// read and write. The library bounds connecting and its own waits for an
// answer, but a TLS handshake on a blocking connection it retries without
// looking at the clock: a server that takes the connection and then says
// nothing would hold the thread for ever. So connections are also opened
// asynchronously (LDAP_OPT_CONNECT_ASYNC), where the handshake's waits
// count against the network timeout.
int BoundSocketWaits(LDAP* ld, Sockbuf* sb, LDAPURLDesc* /*server*/, sockaddr* /*address*/,
                     ldap_conncb* /*callback*/) {
  ber_socket_t fd = -1;
  ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd);
  timeval* limit = nullptr;
  if (fd < 0 || ldap_get_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &limit) != LDAP_OPT_SUCCESS ||
      limit == nullptr) {
    return -1;  // refuse a connection that could hang
  }
  const bool bounded = ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, limit, sizeof *limit) == 0 &&
                       ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, limit, sizeof *limit) == 0;
  ldap_memfree(limit);
  return bounded ? 0 : -1;
}

void ForgetSocket(LDAP* /*ld*/, Sockbuf* /*sb*/, ldap_conncb* /*callback*/) {}

// Shared by every handle, never changed (the library keeps the pointer).
ldap_conncb socket_waits{BoundSocketWaits, ForgetSocket, nullptr};

timeval AsTimeval(std::chrono::milliseconds span) {
  timeval out{};
  out.tv_sec = static_cast<time_t>(span.count() / 1000);
  out.tv_usec = static_cast<suseconds_t>((span.count() % 1000) * 1000);
  return out;
}

// The URL without the slashes that may end it after the host.
std::string WithoutTrailingSlash(std::string_view url) {
  const std::size_t scheme = url.find("://");
  const std::size_t host = scheme == std::string_view::npos ? 0 : scheme + 3;
  while (url.size() > host && url.ends_with('/')) url.remove_suffix(1);
  return std::string(url);
}

// The URL's scheme, once checked to be one plain ldap:// or ldaps://
// address with a host. Throws Error (kBadInput) naming the URL.
bool IsLdaps(const std::string& url) {
  const auto refuse = [&url](std::string_view why) {
    throw Error("the LDAP address '" + url + "' " + std::string(why), ErrorKind::kBadInput);
  };
  if (url.find_first_of(" \t\r\n") != std::string::npos) refuse("is not one address");
  LDAPURLDesc* raw = nullptr;
  if (ldap_url_parse(url.c_str(), &raw) != LDAP_URL_SUCCESS || raw == nullptr) {
    refuse("does not read");
  }
  const UrlHandle parsed(raw);
  const std::string_view scheme = parsed->lud_scheme != nullptr ? parsed->lud_scheme : "";
  if (!EqualsNoCase(scheme, "ldap") && !EqualsNoCase(scheme, "ldaps")) {
    refuse("is no ldap:// or ldaps:// address");
  }
  if (parsed->lud_host == nullptr || *parsed->lud_host == '\0') refuse("names no host");
  return EqualsNoCase(scheme, "ldaps");
}

// The first value of the attribute in the entry, cut to the identity
// field limit on a character boundary; empty when it has none.
std::string FirstValue(LDAP* ld, LDAPMessage* entry, const std::string& attribute) {
  const ValuesHandle values(ldap_get_values_len(ld, entry, attribute.c_str()));
  if (!values || values.get()[0] == nullptr) return "";
  const berval* first = values.get()[0];
  const std::string_view text(first->bv_val, first->bv_len);
  return std::string(Utf8Prefix(text, kIdentityFieldLimit));
}

}  // namespace

LdapDirectory::LdapDirectory(const LdapOptions& options, const std::string& ca_file)
    : url_(WithoutTrailingSlash(options.url)),
      ldaps_(IsLdaps(url_)),
      base_(options.base),
      filter_(options.filter),
      bind_dn_(options.bind_dn),
      bind_password_(options.bind_password),
      person_attribute_(options.person_attribute),
      timeout_(options.timeout),
      ca_file_(ca_file),
      issuer_(url_ + "/" + options.base) {
  if (base_.empty()) {
    throw Error("the LDAP search base is empty", ErrorKind::kBadInput);
  }
  if (filter_.find("%s") == std::string::npos) {
    throw Error("the LDAP filter '" + filter_ + "' has no %s for the typed name",
                ErrorKind::kBadInput);
  }
  if (person_attribute_.empty()) {
    throw Error("the LDAP person attribute is empty", ErrorKind::kBadInput);
  }
  if (!bind_dn_.empty() && bind_password_.empty()) {
    throw Error("the LDAP bind DN '" + bind_dn_ + "' has no password", ErrorKind::kBadInput);
  }
  if (timeout_.count() <= 0) {
    throw Error("the LDAP timeout must be positive", ErrorKind::kBadInput);
  }
  // One handle set up as every check sets its own: the library's global
  // start and its TLS start happen here, on one thread, and a CA file it
  // cannot load is an error now rather than a directory down later.
  LDAP* raw = nullptr;
  if (ldap_initialize(&raw, url_.c_str()) != LDAP_SUCCESS || raw == nullptr) {
    throw Error("the LDAP address '" + url_ + "' does not read", ErrorKind::kBadInput);
  }
  const LdapHandle probe(raw);
  int require = LDAP_OPT_X_TLS_DEMAND;
  ldap_set_option(probe.get(), LDAP_OPT_X_TLS_REQUIRE_CERT, &require);
  if (!ca_file_.empty() &&
      ldap_set_option(probe.get(), LDAP_OPT_X_TLS_CACERTFILE, ca_file_.c_str()) != LDAP_OPT_SUCCESS) {
    throw Error("the CA file '" + ca_file_ + "' is refused", ErrorKind::kBadInput);
  }
  int is_server = 0;
  if (ldap_set_option(probe.get(), LDAP_OPT_X_TLS_NEWCTX, &is_server) != LDAP_OPT_SUCCESS) {
    throw Error(ca_file_.empty() ? std::string("the system's TLS authorities cannot be loaded")
                                 : "the CA file '" + ca_file_ + "' cannot be loaded",
                ErrorKind::kBadInput);
  }
}

DirectoryAnswer LdapDirectory::Check(std::string_view name, std::string_view password) {
  DirectoryAnswer answer;
  if (password.empty()) {
    answer.status = Status::kRefused;
    return answer;
  }
  if (name.empty() || name.size() > kIdentityFieldLimit) {
    answer.status = Status::kNoSuchUser;
    return answer;
  }
  answer.status = Status::kDown;
  const PipeSignalGuard no_pipe_signal;

  LDAP* raw = nullptr;
  if (ldap_initialize(&raw, url_.c_str()) != LDAP_SUCCESS || raw == nullptr) return answer;
  const LdapHandle ld(raw);
  int version = LDAP_VERSION3;
  const timeval timeout = AsTimeval(timeout_);
  int require = LDAP_OPT_X_TLS_DEMAND;
  int tls_min = LDAP_OPT_X_TLS_PROTOCOL_TLS1_2;
  int is_server = 0;
  const bool set = ldap_set_option(ld.get(), LDAP_OPT_PROTOCOL_VERSION, &version) == LDAP_OPT_SUCCESS &&
                   ldap_set_option(ld.get(), LDAP_OPT_REFERRALS, LDAP_OPT_OFF) == LDAP_OPT_SUCCESS &&
                   ldap_set_option(ld.get(), LDAP_OPT_NETWORK_TIMEOUT, &timeout) == LDAP_OPT_SUCCESS &&
                   ldap_set_option(ld.get(), LDAP_OPT_TIMEOUT, &timeout) == LDAP_OPT_SUCCESS &&
                   ldap_set_option(ld.get(), LDAP_OPT_CONNECT_CB, &socket_waits) == LDAP_OPT_SUCCESS &&
                   ldap_set_option(ld.get(), LDAP_OPT_CONNECT_ASYNC, LDAP_OPT_ON) == LDAP_OPT_SUCCESS &&
                   ldap_set_option(ld.get(), LDAP_OPT_X_TLS_REQUIRE_CERT, &require) == LDAP_OPT_SUCCESS &&
                   ldap_set_option(ld.get(), LDAP_OPT_X_TLS_PROTOCOL_MIN, &tls_min) == LDAP_OPT_SUCCESS &&
                   (ca_file_.empty() || ldap_set_option(ld.get(), LDAP_OPT_X_TLS_CACERTFILE,
                                                        ca_file_.c_str()) == LDAP_OPT_SUCCESS) &&
                   ldap_set_option(ld.get(), LDAP_OPT_X_TLS_NEWCTX, &is_server) == LDAP_OPT_SUCCESS;
  if (!set) return answer;
  // Plain ldap:// goes no further than StartTLS when that fails: neither
  // the search account's password nor the user's may travel in the clear.
  if (!ldaps_ && ldap_start_tls_s(ld.get(), nullptr, nullptr) != LDAP_SUCCESS) return answer;

  if (!bind_dn_.empty()) {
    berval credentials{static_cast<ber_len_t>(bind_password_.size()),
                       const_cast<char*>(bind_password_.data())};
    // A refused search account is the operator's to fix: the directory
    // cannot be asked about anybody until then.
    if (ldap_sasl_bind_s(ld.get(), bind_dn_.c_str(), LDAP_SASL_SIMPLE, &credentials, nullptr,
                         nullptr, nullptr) != LDAP_SUCCESS) {
      return answer;
    }
  }

  const std::string filter = FilterForName(filter_, name);
  char display_name_attribute[] = "displayName";
  char cn_attribute[] = "cn";
  std::string person_attribute = person_attribute_;
  char* attributes[] = {person_attribute.data(), display_name_attribute, cn_attribute, nullptr};
  timeval search_timeout = timeout;
  LDAPMessage* found = nullptr;
  // Two entries at most: a second one is reason enough to refuse.
  const int searched =
      ldap_search_ext_s(ld.get(), base_.c_str(), LDAP_SCOPE_SUBTREE, filter.c_str(), attributes, 0,
                        nullptr, nullptr, &search_timeout, 2, &found);
  const MessageHandle result(found);
  if (searched == LDAP_SIZELIMIT_EXCEEDED) {
    answer.status = Status::kRefused;
    return answer;
  }
  if (searched != LDAP_SUCCESS || !result) return answer;
  const int entries = ldap_count_entries(ld.get(), result.get());
  if (entries == 0) {
    answer.status = Status::kNoSuchUser;
    return answer;
  }
  if (entries != 1) {
    answer.status = entries > 1 ? Status::kRefused : Status::kDown;
    return answer;
  }
  LDAPMessage* const entry = ldap_first_entry(ld.get(), result.get());
  const LdapText dn(entry != nullptr ? ldap_get_dn(ld.get(), entry) : nullptr);
  if (!dn || *dn == '\0') {
    // An empty DN would bind as nobody.
    answer.status = Status::kRefused;
    return answer;
  }

  berval typed{static_cast<ber_len_t>(password.size()), const_cast<char*>(password.data())};
  const int bound =
      ldap_sasl_bind_s(ld.get(), dn.get(), LDAP_SASL_SIMPLE, &typed, nullptr, nullptr, nullptr);
  if (bound != LDAP_SUCCESS) {
    answer.status = MeansDown(bound) ? Status::kDown : Status::kRefused;
    return answer;
  }
  answer.status = Status::kBound;
  answer.identity.issuer = issuer_;
  answer.identity.subject = dn.get();
  answer.identity.claim = FirstValue(ld.get(), entry, person_attribute_);
  answer.identity.display_name = FirstValue(ld.get(), entry, "displayName");
  if (answer.identity.display_name.empty()) {
    answer.identity.display_name = FirstValue(ld.get(), entry, "cn");
  }
  return answer;
}

}  // namespace ostrand::web
