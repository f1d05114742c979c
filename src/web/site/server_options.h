// What an operator configures for `ostrand serve`. The two leader
// conditions are SQL conditions over person and personDuty that the leader
// pages hand to the component; they are configuration only and never come
// from a request.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "feeds/time_zone.h"
#include "store/connection.h"
#include "store/settings.h"
#include "web/auth/accounts.h"
#include "web/auth/server_secret.h"
#include "web/auth/signin_throttle.h"
#include "web/data/identities.h"
#include "web/data/webhooks_table.h"
#include "web/http/access_log.h"
#include "web/http/forwarded.h"
#include "web/http/http_server.h"

namespace ostrand::web {

// Everybody of the leader's system.
inline constexpr std::string_view kDefaultLeaderCond = "1=1";
// The staff below the demo database's leading duties, "person.dutyID>3".
std::string DefaultLeader2Cond();

// An OpenID provider that people sign in with (serve --oidc-issuer): the
// authorization code flow with PKCE, `state` and `nonce` (web/oidc/).
struct OidcOptions {
  // The issuer's address exactly as its ID tokens name it ("iss"); the
  // discovery document is read from <issuer>/.well-known/openid-configuration.
  std::string issuer;
  std::string client_id;
  std::string client_secret;  // read from serve --oidc-client-secret-file
  // The scopes asked for; "openid" is always among them.
  std::vector<std::string> scopes{"openid", "profile"};
  // The claim whose value names the person at the first sign-in (a person
  // id or name; identities.h), "preferred_username" unless named.
  std::string claim = "preferred_username";
  // The provider's name on the sign-in page's button ("Sign in with <name>");
  // empty: the issuer's host.
  std::string display_name;
};

// A directory that checks the passwords typed into the sign-in form (serve
// --ldap-url; web/directory/).
struct LdapOptions {
  // ldap://host[:port] (with StartTLS, always) or ldaps://host[:port].
  std::string url;
  std::string base;                 // the search base DN
  std::string filter = "(uid=%s)";  // %s: the typed name, escaped
  // The DN and password the search binds with; empty: an anonymous search.
  std::string bind_dn;
  std::string bind_password;  // read from serve --ldap-bind-password-file
  // The attribute of the user's entry that names the person at the first
  // sign-in (a person id or name); the display name comes from
  // displayName, else cn.
  std::string person_attribute = "uid";
  // How long one directory operation may take before the directory counts
  // as down.
  std::chrono::milliseconds timeout{5000};
};

// Who must give a second factor after their local password (serve
// --require-second-factor).
enum class SecondFactorRule {
  kOptional,        // those who enrolled one
  kAdministrators,  // administrators must enrol one; others may
  kEverybody,
};

// Everything `ostrand serve` runs with, and the one default of each: the
// command line shows and uses these (a default of the HTTP side comes from
// http::HttpServerOptions).
struct ServerOptions {
  std::string connection_string;
  std::string host = http::DefaultHttpOptions().host;
  int port = http::DefaultHttpOptions().port;  // 0: any free port
  SecretKey secret{};
  // The duties that lead, when the operator named them (serve
  // --leader-duties); unset: those the database stores (LeadingDutiesNow).
  std::optional<std::set<std::int64_t>> leader_duties;
  std::string leader_cond{kDefaultLeaderCond};
  std::string leader2_cond = DefaultLeader2Cond();
  // Limits of the stand-in hash that a sign-in of an unknown person checks.
  PasswordLimits password_limits = PasswordLimits::Interactive();
  // How often an address and an account may fail to sign in.
  ThrottleRules signin_throttle;
  // Threads that check passwords, each holding one hash's memory (64 MiB
  // at the interactive limits); 0: as many as the machine's processors and
  // a sixteenth of its memory allow (HashPool::WorkersFor). They are apart
  // from the page workers, so that pages never queue behind hashes.
  std::size_t hash_workers = 0;
  // The day editor's limits: plans of one person touching any one day, and
  // the days one plan may cover. Pages show every plan of a day on each day
  // it covers, so these bound the pages that anyone can make big.
  std::size_t max_plans_per_day = 20;
  std::int64_t max_plan_days = 366;
  // The most plans one recurring event of a calendar program (CalDAV)
  // becomes; more are refused with the "max-instances" condition.
  std::size_t max_series_plans = 500;
  // Threads that run the pages (database work and rendering). 0: two per
  // processor, at least four.
  std::size_t worker_threads = 0;
  // Pages waiting for a worker at most; beyond that a request gets 503.
  std::size_t worker_queue = 1024;

  // The HTTP side (see http/http_server.h): I/O threads (0: one per
  // processor), open connections at most (one more gets 503), the deadlines
  // of a request's head (from its first byte) and body, and of an idle
  // keep-alive connection, and whether other processes may listen on the
  // same port.
  std::size_t io_threads = http::DefaultHttpOptions().io_threads;
  std::size_t max_connections = http::DefaultHttpOptions().max_connections;
  // Open connections from one address at most (trusted proxies apart), so
  // that one client cannot take every connection; 0: an eighth of
  // max_connections (ConnectionsPerClient).
  std::size_t max_connections_per_client = 0;
  // Proxies in front of the server (serve --trusted-proxy): their
  // Forwarded / X-Forwarded-For headers name the client whose address the
  // access log and the sign-in throttle see. Empty: those headers are
  // ignored and the client is the peer.
  std::vector<http::AddressRange> trusted_proxies;
  std::chrono::milliseconds head_timeout = http::DefaultHttpOptions().head_timeout;
  std::chrono::milliseconds body_timeout = http::DefaultHttpOptions().body_timeout;
  std::chrono::milliseconds idle_timeout = http::DefaultHttpOptions().idle_timeout;
  bool reuse_port = http::DefaultHttpOptions().reuse_port;

  // Database connections of the process (store/connection_pool.h), shared
  // by the page workers; a page waits for one when all are in use.
  std::size_t pool_size = store::kDefaultPoolSize;

  // How long a sign-in lasts.
  std::chrono::seconds session_lifetime{std::chrono::hours(12)};
  // Days the audit log keeps a record (pruned at start and about hourly);
  // 0: for ever.
  int audit_days = 400;
  // Today's date for pages without "dt"; unset: the local date.
  std::function<DateTime()> today;
  // The zone of the plans' wall-clock times, which the calendar feeds and
  // the JSON API name; unset: the machine's (feeds::TimeZone::System).
  std::optional<feeds::TimeZone> time_zone;
  // The address people reach the site at ("https://plans.example.org", as
  // http::ReadSiteAddress reads it), for the feed addresses the subscribe
  // page shows; empty: "http://" and the Host the browser asked for.
  std::string public_url;
  // Whether browsers reach the site over TLS only (a TLS proxy in front):
  // every cookie is marked Secure and Strict-Transport-Security is sent
  // (auth/transport_security.h). An https public_url implies it.
  bool secure_cookies = false;
  // Company sign-in: an OpenID provider and a directory, each unset when
  // not configured; where new persons are made at their first sign-in
  // (unset: nowhere, an unknown identity waits for an administrator); the
  // certificate authorities that the provider's and the directory's TLS
  // certificates are checked against (a PEM file; empty: the system's).
  std::optional<OidcOptions> oidc;
  std::optional<LdapOptions> ldap;
  std::optional<AutoCreate> auto_create;
  std::string ca_file;
  // Whether the sign-in form takes local passwords (and directory ones);
  // false (serve --no-local-passwords) leaves only the provider's button.
  bool local_passwords = true;
  SecondFactorRule second_factor = SecondFactorRule::kOptional;
  // What the site tells of changes. The webhook receivers of `serve
  // --webhook` (URL, secret, all kinds), stored at start as the receivers
  // of origin "command line" when any is given (those of an earlier start
  // that are no longer given turn inactive then); none given leaves the
  // stored ones as they are, so that a server started without the flags
  // beside one started with them changes nothing. How often the delivery
  // worker looks for what other servers committed.
  std::vector<Webhook> webhooks;
  std::chrono::milliseconds outbox_poll{1500};
  // Where the access log goes (one line per request); null: nowhere.
  std::ostream* access_log = nullptr;
  http::LogFormat log_format = http::LogFormat::kText;
};

// The duty ids of a comma list such as "1,2,3" (blanks allowed around the
// numbers). Throws Error naming the list when an item is not a whole number.
std::set<std::int64_t> ParseDutyList(std::string_view list);

// The department and optional duty of "DEPARTMENT[:DUTY]" (serve
// --auto-create), such as "3" or "3:5". Throws Error naming the text when
// it is no such pair of whole numbers.
AutoCreate ParseAutoCreate(std::string_view text);

// The duties that lead now, the host's one answer to it (who is a leader,
// who gets the department feeds): the options' when the operator named
// them, else the database's (data/organisation.h LeadingDutiesInDatabase),
// read at every call so that every server on one database follows an
// administrator's change at once. Throws the database's Error.
std::set<std::int64_t> LeadingDutiesNow(const ServerOptions& options, store::Connection& db);
// The condition of the first leader list (the second when `second`) as
// every page, download, feed and the API hand it on: the operator's, for
// the persons who have not retired (plans::CurrentStaffCondition).
std::string LeaderCondition(const ServerOptions& options, bool second);

// Whether the options say the site is reached over TLS only: Secure
// cookies and Strict-Transport-Security (auth/transport_security.h).
bool ServedOverTls(const ServerOptions& options);

// The cap of open connections per client address: the options' own, or an
// eighth of max_connections (at least 1) when that is 0.
std::size_t ConnectionsPerClient(const ServerOptions& options);

// The local date and time now, in whole seconds.
DateTime LocalNow();
// Today's date, the host's only source of it: the options' `today` when set
// (`serve --today`); else the date now in `zone` when one is given (the
// feeds and the API, in the plans' zone); else the local date (the pages).
DateTime TodayOf(const ServerOptions& options,
                 const std::optional<feeds::TimeZone>& zone = std::nullopt);

}  // namespace ostrand::web
