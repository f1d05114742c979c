// `ostrand serve`: the web host.
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <thread>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "core/text.h"
#include "input_file.h"
#include "web/auth/webhook_signature.h"
#include "web/data/outbox.h"
#include "web/data/webhooks_table.h"
#include "web/notify/webhook_channel.h"
#include "core/date.h"
#include "core/error.h"
#include "store/settings.h"
#include "web/auth/server_secret.h"
#include "feeds/time_zone.h"
#include "web/http/access_log.h"
#include "web/http/forwarded.h"
#include "web/http/site_address.h"
#include "web/server.h"
#include "web/site/server_options.h"

namespace ostrand::cli {
namespace {

// The server's own options as they are before the command line: the one
// source of every default that --help shows.
const web::ServerOptions& Defaults() {
  static const web::ServerOptions defaults;
  return defaults;
}

double Seconds(std::chrono::milliseconds duration) {
  return static_cast<double>(duration.count()) / 1000;
}

struct ServeArguments {
  std::string db;
  std::string host = Defaults().host;
  int port = Defaults().port;
  bool reuse_port = Defaults().reuse_port;
  double head_timeout = Seconds(Defaults().head_timeout);
  double body_timeout = Seconds(Defaults().body_timeout);
  double idle_timeout = Seconds(Defaults().idle_timeout);
  std::size_t max_connections = Defaults().max_connections;
  std::size_t max_connections_per_client = Defaults().max_connections_per_client;
  std::vector<std::string> trusted_proxies;
  std::size_t io_threads = Defaults().io_threads;
  std::size_t workers = Defaults().worker_threads;
  std::string log_format = "text";
  std::string secret_file;
  std::string leader_duties;  // empty: the database's
  std::string leader_cond = Defaults().leader_cond;
  std::string leader2_cond = Defaults().leader2_cond;
  std::size_t pool_size = Defaults().pool_size;
  std::size_t hash_workers = Defaults().hash_workers;
  int audit_days = Defaults().audit_days;
  std::size_t max_plans_per_day = Defaults().max_plans_per_day;
  std::int64_t max_plan_days = Defaults().max_plan_days;
  std::size_t max_series_plans = Defaults().max_series_plans;
  std::string today;
  std::string time_zone;
  std::string public_url;
  bool secure_cookies = Defaults().secure_cookies;
  // Company sign-in.
  std::string oidc_issuer;
  std::string oidc_client_id;
  std::string oidc_client_secret_file;
  std::vector<std::string> oidc_scopes;
  std::string oidc_claim = web::OidcOptions{}.claim;
  std::string oidc_name;
  std::string ldap_url;
  std::string ldap_base;
  std::string ldap_filter = web::LdapOptions{}.filter;
  std::string ldap_bind_dn;
  std::string ldap_bind_password_file;
  std::string ldap_person_attribute = web::LdapOptions{}.person_attribute;
  double ldap_timeout = Seconds(web::LdapOptions{}.timeout);
  std::string ca_file;
  std::string auto_create;
  bool no_local_passwords = false;
  std::string require_second_factor;
  // Webhook receivers: addresses and secret files in pairs, by order.
  std::vector<std::string> webhooks;
  std::vector<std::string> webhook_secret_files;
  std::vector<std::string> webhook_private;
  std::vector<std::string> webhook_chat;
  // E-mail.
  std::string smtp_url;
  std::string smtp_user;
  std::string smtp_password_file;
  std::string mail_from;
  bool smtp_insecure = false;
};

std::chrono::milliseconds Milliseconds(double seconds) {
  return std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000 + 0.5));
}

// A secret kept in a file (a client secret, a bind password): the file's
// bytes without the line break that ends them. Throws Error naming the
// option when the file cannot be read or holds nothing.
std::string ReadSecretFile(const std::string& option, const std::string& path) {
  constexpr std::size_t kLimit = 64 * 1024;
  std::string secret = ReadInputFile(path, kLimit);
  while (!secret.empty() && (secret.back() == '\n' || secret.back() == '\r')) secret.pop_back();
  if (secret.empty()) throw Error(option + " '" + path + "' holds no secret");
  return secret;
}

// The name a receiver of the command line shows: its address up to the
// path, so that a token in the path or query stays out of lists.
std::string ReceiverName(const std::string& url) {
  const std::size_t scheme = url.find("://");
  const std::size_t end = url.find_first_of("/?", scheme == std::string::npos ? 0 : scheme + 3);
  return "serve --webhook " + url.substr(0, end);
}

// The receivers of --webhook and --webhook-secret-file, in pairs, with
// --webhook-private and --webhook-chat naming some of them. Throws Error
// naming the flag and the address (never the secret).
std::vector<web::Webhook> ReadWebhooks(const ServeArguments& args) {
  if (args.webhooks.size() != args.webhook_secret_files.size()) {
    throw Error("--webhook and --webhook-secret-file go in pairs: " +
                std::to_string(args.webhooks.size()) + " addresses, " +
                std::to_string(args.webhook_secret_files.size()) + " secret files");
  }
  const auto given = [&](const std::string& url) {
    return std::find(args.webhooks.begin(), args.webhooks.end(), url) != args.webhooks.end();
  };
  for (const auto* list : {&args.webhook_private, &args.webhook_chat}) {
    for (const std::string& url : *list) {
      if (!given(url)) {
        throw Error(std::string(list == &args.webhook_private ? "--webhook-private" : "--webhook-chat") +
                    " '" + url + "' names no --webhook address");
      }
    }
  }
  std::vector<web::Webhook> receivers;
  for (std::size_t i = 0; i < args.webhooks.size(); ++i) {
    const std::string& url = args.webhooks[i];
    if (!web::notify::IsWebhookAddress(url)) {
      throw Error("--webhook '" + url +
                  "' is no http:// or https:// address of a host (without a user, blanks or "
                  "a fragment)");
    }
    if (std::count(args.webhooks.begin(), args.webhooks.end(), url) > 1) {
      throw Error("--webhook '" + url + "' is given twice");
    }
    web::Webhook receiver;
    receiver.url = url;
    receiver.name = ReceiverName(url);
    try {
      receiver.secret = ReadSecretFile("--webhook-secret-file", args.webhook_secret_files[i]);
    } catch (const Error& e) {
      throw Error("--webhook-secret-file of --webhook '" + url + "': " + e.message_text());
    }
    if (!web::IsWebhookSecret(receiver.secret)) {
      throw Error("--webhook-secret-file '" + args.webhook_secret_files[i] + "' of --webhook '" +
                  url + "' holds no webhook secret (whsec_ and base64 of 16 to 64 bytes)");
    }
    for (const std::string_view kind : web::kWebhookKinds) receiver.kinds.emplace_back(kind);
    receiver.sees_private = std::find(args.webhook_private.begin(), args.webhook_private.end(),
                                      url) != args.webhook_private.end();
    if (std::find(args.webhook_chat.begin(), args.webhook_chat.end(), url) !=
        args.webhook_chat.end()) {
      receiver.format = std::string(web::kWebhookFormatChat);
    }
    receivers.push_back(std::move(receiver));
  }
  return receivers;
}

// The company sign-in of the arguments, checked as a whole: an option of a
// provider or directory that is not configured is an error, not ignored.
void ReadCompanySignIn(const ServeArguments& args, web::ServerOptions& options) {
  if (!args.oidc_issuer.empty()) {
    if (args.oidc_client_id.empty() || args.oidc_client_secret_file.empty()) {
      throw Error("--oidc-issuer needs --oidc-client-id and --oidc-client-secret-file");
    }
    if (!web::http::ReadSiteAddress(args.oidc_issuer) ||
        !StartsWithNoCase(args.oidc_issuer, "https://")) {
      throw Error("--oidc-issuer '" + args.oidc_issuer + "' is no https:// address");
    }
    web::OidcOptions oidc;
    oidc.issuer = args.oidc_issuer;
    oidc.client_id = args.oidc_client_id;
    oidc.client_secret = ReadSecretFile("--oidc-client-secret-file", args.oidc_client_secret_file);
    if (!args.oidc_scopes.empty()) {
      oidc.scopes = {"openid"};
      for (const std::string& scope : args.oidc_scopes) {
        if (scope != "openid") oidc.scopes.push_back(scope);
      }
    }
    oidc.claim = args.oidc_claim;
    oidc.display_name = args.oidc_name;
    options.oidc = std::move(oidc);
  } else if (!args.oidc_client_id.empty() || !args.oidc_client_secret_file.empty() ||
             !args.oidc_scopes.empty() || !args.oidc_name.empty()) {
    throw Error("the --oidc- options need --oidc-issuer");
  }
  if (!args.ldap_url.empty()) {
    if (!StartsWithNoCase(args.ldap_url, "ldap://") && !StartsWithNoCase(args.ldap_url, "ldaps://")) {
      throw Error("--ldap-url '" + args.ldap_url + "' is no ldap:// or ldaps:// address");
    }
    if (args.ldap_base.empty()) throw Error("--ldap-url needs --ldap-base");
    if (args.ldap_filter.find("%s") == std::string::npos) {
      throw Error("--ldap-filter '" + args.ldap_filter + "' has no %s for the typed name");
    }
    if (args.ldap_bind_dn.empty() != args.ldap_bind_password_file.empty()) {
      throw Error("--ldap-bind-dn and --ldap-bind-password-file go together");
    }
    web::LdapOptions ldap;
    ldap.url = args.ldap_url;
    ldap.base = args.ldap_base;
    ldap.filter = args.ldap_filter;
    ldap.bind_dn = args.ldap_bind_dn;
    if (!args.ldap_bind_password_file.empty()) {
      ldap.bind_password = ReadSecretFile("--ldap-bind-password-file", args.ldap_bind_password_file);
    }
    ldap.person_attribute = args.ldap_person_attribute;
    ldap.timeout = Milliseconds(args.ldap_timeout);
    options.ldap = std::move(ldap);
  } else if (!args.ldap_base.empty() || !args.ldap_bind_dn.empty() ||
             !args.ldap_bind_password_file.empty()) {
    throw Error("the --ldap- options need --ldap-url");
  }
  if (!args.auto_create.empty()) {
    if (!options.oidc && !options.ldap) {
      throw Error("--auto-create needs --oidc-issuer or --ldap-url");
    }
    options.auto_create = web::ParseAutoCreate(args.auto_create);
  }
  if (args.no_local_passwords) {
    if (!options.oidc) throw Error("--no-local-passwords needs --oidc-issuer");
    options.local_passwords = false;
  }
  if (args.require_second_factor == "administrators") {
    options.second_factor = web::SecondFactorRule::kAdministrators;
  } else if (args.require_second_factor == "everybody") {
    options.second_factor = web::SecondFactorRule::kEverybody;
  }
  options.ca_file = args.ca_file;
}

// The mail server of the arguments, checked at start: an option of a mail
// server without --smtp-url is an error, not ignored. The password stays
// out of every message.
void ReadMailServer(const ServeArguments& args, web::ServerOptions& options) {
  if (args.smtp_url.empty()) {
    if (!args.smtp_user.empty() || !args.smtp_password_file.empty() || !args.mail_from.empty() ||
        args.smtp_insecure) {
      throw Error("the --smtp- and --mail-from options need --smtp-url");
    }
    return;
  }
  if (args.mail_from.empty()) throw Error("--smtp-url needs --mail-from");
  web::MailOptions mail;
  mail.url = args.smtp_url;
  mail.user = args.smtp_user;
  mail.from = args.mail_from;
  mail.starttls = !args.smtp_insecure;
  if (!args.smtp_password_file.empty()) {
    mail.password = ReadSecretFile("--smtp-password-file", args.smtp_password_file);
  }
  web::CheckMailOptions(mail);
  options.mail = std::move(mail);
}

// Raises the limit of open files to the most the system allows this
// process, so that max_connections (plus the database files and the log)
// fit. Throws Error when even the raised limit is too small.
void AllowOpenFiles(std::size_t connections) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  constexpr std::size_t kSpareFiles = 64;
  if (limit.rlim_cur != RLIM_INFINITY && connections + kSpareFiles > limit.rlim_cur) {
    throw Error("--max-connections " + std::to_string(connections) + " needs " +
                std::to_string(connections + kSpareFiles) + " open files; the limit is " +
                std::to_string(limit.rlim_cur));
  }
}

// Holds SIGINT and SIGTERM back from here on, in this thread and every
// thread started later, until ServeUntilSignalled waits for them: a signal
// sent as soon as the address is printed stops the server cleanly instead
// of killing the process.
void HoldStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

// The C library gives every thread that allocates an arena of its own, up
// to eight per processor, and each keeps what was freed in it: a server of
// a dozen threads so holds several megabytes it does not use. As many
// arenas as processors keep the threads from waiting on each other. (With
// jemalloc, allocator.cpp sets its arenas instead.)
void LimitMallocArenas() {
#if defined(__GLIBC__) && !defined(OSTRAND_JEMALLOC)
  mallopt(M_ARENA_MAX, static_cast<int>(std::max(2u, std::thread::hardware_concurrency())));
#endif
}

int RunServe(const ServeArguments& args) {
  LimitMallocArenas();
  AllowOpenFiles(args.max_connections);
  HoldStopSignals();
  web::ServerOptions options;
  options.connection_string = args.db;
  options.host = args.host;
  options.port = args.port;
  options.reuse_port = args.reuse_port;
  options.head_timeout = Milliseconds(args.head_timeout);
  options.body_timeout = Milliseconds(args.body_timeout);
  options.idle_timeout = Milliseconds(args.idle_timeout);
  options.max_connections = args.max_connections;
  options.max_connections_per_client = args.max_connections_per_client;
  for (const std::string& proxy : args.trusted_proxies) {
    const std::optional<web::http::AddressRange> range = web::http::ReadAddressRange(proxy);
    if (!range) {
      throw Error("--trusted-proxy '" + proxy +
                  "' is no address or address block (such as 10.0.0.0/8, 192.0.2.7 or "
                  "2001:db8::/32)");
    }
    options.trusted_proxies.push_back(*range);
  }
  options.io_threads = args.io_threads;
  options.worker_threads = args.workers;
  options.log_format = web::http::ParseLogFormat(args.log_format);
  if (!args.leader_duties.empty()) options.leader_duties = web::ParseDutyList(args.leader_duties);
  options.leader_cond = args.leader_cond;
  options.leader2_cond = args.leader2_cond;
  options.pool_size = args.pool_size;
  options.hash_workers = args.hash_workers;
  options.audit_days = args.audit_days;
  options.max_plans_per_day = args.max_plans_per_day;
  options.max_plan_days = args.max_plan_days;
  options.max_series_plans = args.max_series_plans;
  if (!args.today.empty()) {
    const std::optional<DateTime> pinned = DateTime::Parse(args.today);
    if (!pinned) throw Error("--today '" + args.today + "' is no date (Y-M-D)");
    options.today = [day = pinned->DateOnly()] { return day; };
  }
  options.time_zone =
      args.time_zone.empty() ? feeds::TimeZone::System() : feeds::TimeZone::Named(args.time_zone);
  if (!args.public_url.empty()) {
    const std::optional<std::string> url = web::http::ReadSiteAddress(args.public_url);
    if (!url) {
      throw Error("--public-url '" + args.public_url +
                  "' is no http:// or https:// address of a host (such as "
                  "https://plans.example.org)");
    }
    options.public_url = *url;
  }
  options.secure_cookies = args.secure_cookies;
  ReadCompanySignIn(args, options);
  options.webhooks = ReadWebhooks(args);
  ReadMailServer(args, options);
  // A secret file named by the operator must exist; the default one is made
  // on first start.
  options.secret = args.secret_file.empty() ? web::LoadSecret(kDefaultSecretFile, true)
                                            : web::LoadSecret(args.secret_file, false);
  options.access_log = &std::cerr;
  web::WebServer server(std::move(options));
  const int port = server.Bind();
  std::cout << "ostrand serve: listening on http://" << args.host << ":" << port << "/"
            << std::endl;
  web::ServeUntilSignalled(server);
  std::cout << "ostrand serve: stopped" << std::endl;
  return 0;
}

}  // namespace

void AddServeCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<ServeArguments>();
  CLI::App* cmd = app.add_subcommand(
      "serve",
      "Serve the schedule pages in a browser: sign-in, personal and leader views, day editor.");
  AddDatabaseOption(*cmd, &args->db);
  cmd->add_option("--host", args->host, "Address to listen on")->capture_default_str();
  cmd->add_option("--port", args->port, "Port to listen on (0: any free port)")
      ->capture_default_str()
      ->check(CLI::Range(0, 65535));
  cmd->add_option("--pool-size", args->pool_size,
                  "Database connections the server keeps open and shares among requests")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000));
  cmd->add_flag("--reuse-port", args->reuse_port,
                "Share the port with other ostrand serve processes started with this flag "
                "(without it, a port in use is an error)");
  const auto seconds = CLI::Range(0.001, 86400.0);
  cmd->add_option("--head-timeout", args->head_timeout,
                  "Seconds a request's head may take from its first byte")
      ->capture_default_str()
      ->check(seconds);
  cmd->add_option("--body-timeout", args->body_timeout,
                  "Seconds a request's body may take after its head (and a response to be taken)")
      ->capture_default_str()
      ->check(seconds);
  cmd->add_option("--idle-timeout", args->idle_timeout,
                  "Seconds a keep-alive connection may wait for its next request")
      ->capture_default_str()
      ->check(seconds);
  cmd->add_option("--max-connections", args->max_connections,
                  "Open connections at most; one more gets 503 and is closed")
      ->capture_default_str()
      ->check(CLI::Range(std::size_t{1}, std::size_t{1000000}));
  cmd->add_option("--max-connections-per-client", args->max_connections_per_client,
                  "Open connections from one client address at most (trusted proxies apart); "
                  "one more gets 503 and is closed (0: an eighth of --max-connections)")
      ->capture_default_str()
      ->check(CLI::Range(std::size_t{0}, std::size_t{1000000}));
  cmd->add_option("--trusted-proxy", args->trusted_proxies,
                  "A reverse proxy in front of the server (an address or block such as "
                  "10.0.0.0/8 or ::1; repeatable): only from these peers is the client's "
                  "address taken from Forwarded, else X-Forwarded-For (the rightmost address "
                  "that is no trusted proxy), for the access log and the sign-in limits")
      ->take_all();
  cmd->add_option("--io-threads", args->io_threads,
                  "Threads that read and write connections (0: one per processor)")
      ->capture_default_str()
      ->check(CLI::Range(std::size_t{0}, std::size_t{256}));
  cmd->add_option("--workers", args->workers,
                  "Threads that run the pages (0: two per processor, at least four)")
      ->capture_default_str()
      ->check(CLI::Range(std::size_t{0}, std::size_t{1024}));
  cmd->add_option("--log-format", args->log_format,
                  "Access log on standard error: text (one line per request) or json (one "
                  "object per line)")
      ->capture_default_str()
      ->check(CLI::IsMember({"text", "json"}));
  cmd->add_option("--secret-file", args->secret_file,
                  "File whose content (at least 32 bytes) signs the session cookies; processes "
                  "sharing it accept each other's sign-ins. Default: var/ostrand.secret, "
                  "generated with mode 0600 on first start");
  cmd->add_option("--leader-duties", args->leader_duties,
                  "Comma list of the dutyIDs that may open the leader pages, in place of the "
                  "leading duties the database stores (/admin/duties; where nobody chose, "
                  "duties 1, 2 and 3 lead)");
  cmd->add_option("--leader-cond", args->leader_cond,
                  "SQL condition over person and personDuty choosing the persons of "
                  "leaderMonth.asp / leaderWeek.asp (operator configuration, never from a request)")
      ->capture_default_str();
  cmd->add_option("--leader2-cond", args->leader2_cond,
                  "SQL condition choosing the persons of leader2Month.asp / leader2Week.asp")
      ->capture_default_str();
  cmd->add_option("--hash-workers", args->hash_workers,
                  "Threads that check sign-in passwords, each using 64 MiB while it works "
                  "(default 0: as many as the processors and a sixteenth of the memory allow)")
      ->capture_default_str()
      ->check(CLI::Range(0, 256));
  cmd->add_option("--audit-days", args->audit_days,
                  "Days the audit log keeps a record; older ones are removed at start and about "
                  "once an hour (0: kept for ever)")
      ->capture_default_str()
      ->check(CLI::Range(0, 36600));
  cmd->add_option("--max-plans-per-day", args->max_plans_per_day,
                  "The day editor refuses a plan when the person already has this many plans "
                  "on one of its days")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  cmd->add_option("--max-plan-days", args->max_plan_days,
                  "The most days one plan written in the day editor may cover")
      ->capture_default_str()
      ->check(CLI::Range(1, 3660000));
  cmd->add_option("--max-series-plans", args->max_series_plans,
                  "The most plans one recurring event that a calendar program writes may become")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  cmd->add_option("--today", args->today,
                  "Pin the date the pages, the calendar feeds and the JSON API treat as today "
                  "(Y-M-D), for demonstrations and tests");
  cmd->add_option("--timezone", args->time_zone,
                  "Time zone of the plans' times (an IANA name such as Asia/Shanghai, or UTC), "
                  "which the calendar feeds and the JSON API name. Default: the machine's");
  cmd->add_option("--public-url", args->public_url,
                  "Address people reach the site at (such as https://plans.example.org behind a "
                  "TLS proxy), for the calendar feed addresses on the subscribe page. Default: "
                  "http:// and the host the browser asked for");
  cmd->add_flag("--secure-cookies", args->secure_cookies,
                "Browsers reach the site over https only (a TLS proxy in front): mark every "
                "cookie Secure and send Strict-Transport-Security. On by itself with an https "
                "--public-url");
  cmd->add_option("--oidc-issuer", args->oidc_issuer,
                  "Offer sign-in with this OpenID provider (its https:// issuer address; the "
                  "site's callback is <public url>/login/oidc/callback)");
  cmd->add_option("--oidc-client-id", args->oidc_client_id,
                  "The client id the provider registered for this site");
  cmd->add_option("--oidc-client-secret-file", args->oidc_client_secret_file,
                  "File holding the client secret the provider gave");
  cmd->add_option("--oidc-scopes", args->oidc_scopes,
                  "Scopes to ask the provider for (default: openid profile)")
      ->take_all();
  cmd->add_option("--oidc-claim", args->oidc_claim,
                  "Claim of the ID token that names the person (a person id or name) at the "
                  "first sign-in")
      ->capture_default_str();
  cmd->add_option("--oidc-name", args->oidc_name,
                  "The provider's name on the sign-in button (default: the issuer's host)");
  cmd->add_option("--ldap-url", args->ldap_url,
                  "Check the sign-in form's passwords against this directory too: ldaps://host "
                  "or ldap://host (then always with StartTLS)");
  cmd->add_option("--ldap-base", args->ldap_base, "Search base of the users' entries");
  cmd->add_option("--ldap-filter", args->ldap_filter,
                  "Search filter of a user's entry; %s is the typed name, escaped")
      ->capture_default_str();
  cmd->add_option("--ldap-bind-dn", args->ldap_bind_dn,
                  "DN the search binds with (default: an anonymous search)");
  cmd->add_option("--ldap-bind-password-file", args->ldap_bind_password_file,
                  "File holding the password of --ldap-bind-dn");
  cmd->add_option("--ldap-person-attribute", args->ldap_person_attribute,
                  "Attribute of the user's entry naming the person (a person id or name) at the "
                  "first sign-in")
      ->capture_default_str();
  cmd->add_option("--ldap-timeout", args->ldap_timeout,
                  "Seconds one directory operation may take before the directory counts as down")
      ->capture_default_str()
      ->check(seconds);
  cmd->add_option("--ca-file", args->ca_file,
                  "PEM file of the certificate authorities the OpenID provider's and the "
                  "directory's certificates are checked against (default: the system's)");
  cmd->add_option("--auto-create", args->auto_create,
                  "DEPARTMENT[:DUTY]: make a person there for a provider's or directory's user "
                  "who has none yet at the first sign-in (default: such a user is asked to see "
                  "an administrator, who links the sign-in to a person)");
  cmd->add_flag("--no-local-passwords", args->no_local_passwords,
                "Sign in with the OpenID provider only: the sign-in page shows no password form");
  cmd->add_option("--require-second-factor", args->require_second_factor,
                  "Who must give a one-time code after the local password: administrators or "
                  "everybody (default: those who enrolled one on their account page)")
      ->check(CLI::IsMember({"administrators", "everybody"}));
  cmd->add_option("--webhook", args->webhooks,
                  "POST every event (plans added, changed, deleted, restored; persons added, "
                  "retired) to this http:// or https:// address, signed with the secret of the "
                  "--webhook-secret-file of the same place in the order (repeatable)");
  cmd->add_option("--webhook-secret-file", args->webhook_secret_files,
                  "File holding the secret of the --webhook of the same place: whsec_ and "
                  "base64, as receivers of signed webhooks are given it (repeatable)");
  cmd->add_option("--webhook-private", args->webhook_private,
                  "A --webhook address that gets private entries too, with every text "
                  "(default: shared entries only, as colleagues see them; repeatable)");
  cmd->add_option("--webhook-chat", args->webhook_chat,
                  "A --webhook address that gets {\"text\": \"...\"}, one readable line for a "
                  "chat program's incoming webhook, instead of the JSON event (repeatable)");
  // E-mail.
  cmd->add_option("--smtp-url", args->smtp_url,
                  "Send the site's mails (invitations, password resets, the mails people ask "
                  "for) through this mail server: smtp://host[:port] (STARTTLS required; port 25 "
                  "unless named, the submission port is 587) or smtps://host[:port] (TLS from the start, 465). Without it "
                  "mails wait in the outbox");
  cmd->add_option("--smtp-user", args->smtp_user, "Account the site signs in to the mail server with");
  cmd->add_option("--smtp-password-file", args->smtp_password_file,
                  "File holding the password of --smtp-user");
  cmd->add_option("--mail-from", args->mail_from,
                  "Address the mails come from (such as plans@example.org)");
  cmd->add_flag("--smtp-insecure", args->smtp_insecure,
                "Speak plain SMTP without STARTTLS to an smtp:// server (a mail server on this "
                "machine, tests): mails and the password travel unencrypted");
  cmd->callback([args, exit_code] {
    try {
      *exit_code = RunServe(*args);
    } catch (const std::exception& e) {
      std::cerr << "ostrand: " << e.what() << "\n";
      *exit_code = 1;
    }
  });
}

}  // namespace ostrand::cli
