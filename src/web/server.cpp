#include "web/server.h"

#include <pthread.h>
#include <unistd.h>
#include <signal.h>
#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>
#include <optional>
#include <thread>

#include "core/error.h"
#include "core/text.h"
#include "store/database_error.h"
#include "store/schema.h"
#include "web/account/account_flow.h"
#include "web/account/account_page.h"
#include "web/account/second_factor_page.h"
#include "web/admin/admin_routes.h"
#include "web/api/calendar_feed.h"
#include "web/api/json_api.h"
#include "web/assets/static_assets.h"
#include "web/auth/accounts.h"
#include "web/auth/app_passwords.h"
#include "web/auth/session_cookie.h"
#include "web/auth/sign_in.h"
#include "web/auth/transport_security.h"
#include "web/data/audit_log.h"
#include "web/data/calendar_objects.h"
#include "web/data/databases.h"
#include "web/data/persons.h"
#include "web/data/plan_changes.h"
#include "web/dav/dav_server.h"
#include "web/dav/dav_settings.h"
#include "web/directory/ldap_directory.h"
#include "web/http/access_log.h"
#include "web/http/answer_coding.h"
#include "web/http/authorization.h"
#include "web/http/http_server.h"
#include "web/http/incident.h"
#include "web/http/worker_pool.h"
#include "web/oidc/oidc_flow.h"
#include "web/pages/away_page.h"
#include "web/pages/deleted_page.h"
#include "web/pages/editor_page.h"
#include "web/pages/error_answer.h"
#include "web/pages/leader_months_page.h"
#include "web/pages/language_switch.h"
#include "web/pages/page_downloads.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_runner.h"
#include "web/pages/schedule_pages.h"
#include "web/pages/signin_flow.h"
#include "web/pages/signin_page.h"
#include "web/pages/subscribe_page.h"
#include "web/data/outbox.h"
#include "web/data/webhooks_table.h"
#include "web/notify/delivery_worker.h"
#include "web/notify/webhook_channel.h"

namespace ostrand::web {
namespace {

// ---- What the site tells of changes (the outbox engineer's section).
// The name of this process in the outbox's leases: host and process id.
std::string OutboxOwner() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  return std::string(host) + ":" + std::to_string(getpid());
}
// The webhooks' settings, with attempts cut short once `stopping` is set.
notify::WebhookSettings WebhookSettingsStoppedBy(const std::atomic<bool>& stopping) {
  notify::WebhookSettings settings;
  settings.cancelled = [&stopping] { return stopping.load(); };
  return settings;
}
// ---- end of the outbox engineer's section.

std::size_t Processors() { return std::max(1u, std::thread::hardware_concurrency()); }

http::HttpServerOptions HttpOptions(const ServerOptions& options) {
  http::HttpServerOptions http;
  http.host = options.host;
  http.port = options.port;
  http.reuse_port = options.reuse_port;
  http.io_threads = options.io_threads;
  http.max_connections = options.max_connections;
  http.max_connections_per_client = ConnectionsPerClient(options);
  http.trusted_proxies = options.trusted_proxies;
  http.head_timeout = options.head_timeout;
  http.body_timeout = options.body_timeout;
  http.idle_timeout = options.idle_timeout;
  http.site_headers = {{"X-Content-Type-Options", "nosniff"},
                       {"X-Frame-Options", "DENY"},
                       {"Referrer-Policy", "same-origin"}};
  if (ServedOverTls(options)) {
    http.site_headers.push_back({"Strict-Transport-Security", std::string(kStrictTransportSecurity)});
  }
  return http;
}

// The answers to the errors the HTTP server answers by itself, before a
// request is read (or when it cannot be): JSON under the API's folder (in
// its one language), else a page in the default language.
http::Response ServerErrorPage(int status, std::string_view target, std::string_view incident) {
  MessageId message = MessageId::kSomethingWentWrong;
  switch (status) {
    case 400:
    case 414:
    case 501:
      message = MessageId::kRequestUnreadable;
      break;
    case 413:
      message = MessageId::kBodyTooLarge;
      break;
    case 431:
      message = MessageId::kHeadersTooLarge;
      break;
    case 503:
      message = MessageId::kServerBusy;
      break;
    default:
      break;
  }
  if (target.starts_with(kApiFolder)) {
    return JsonApi::ServerAnswer(status, Text(Language::kEnglish, message), incident);
  }
  http::Response response =
      HtmlPage(status, ErrorPage(kDefaultLanguage, status, Text(kDefaultLanguage, message),
                                 nullptr, incident));
  if (status == 503) response.AddHeader("Retry-After", "5");
  return response;
}

// Where a route's work runs.
enum class Runs {
  kIoThread,    // at once: it needs no database and never blocks
  kPageWorker,  // on a page worker: database work
  kHashPool,    // on a page worker, which hands the password check to the hash pool
};

// Which paths a route serves.
enum class Match {
  kPath,        // exactly `path`
  kFolder,      // every path that starts with `path`
  kStaticFile,  // every file of assets/static_assets.h, each at its own path
};

// The methods a route answers (HEAD with GET); a route of kAnyMethod
// answers every method itself.
enum Methods : unsigned { kGet = 1, kPost = 2, kAnyMethod = 4 };

// What a route does with a request, on the thread its Runs names; it
// answers through the Responder, at once or later.
using RouteHandler = std::function<void(http::Request request, const http::Responder& respond)>;

// Whether a route's answers may go out compressed (http/answer_coding.h
// decides which, for all of them alike). The pages that show a lasting
// secret beside text a visitor can choose (the feed addresses and the API
// token of the subscribe page) and those of sign-in and one's credentials
// go unencoded, so that the length of a compressed answer never tells
// anything about the secret; the CSRF token of the other pages is masked
// afresh in every answer (auth/session_cookie.h).
enum class Coding { kCompressible, kIdentity };

struct Route {
  Match match;
  std::string_view path;
  unsigned methods;
  Runs runs;
  RouteHandler handler;
  // When set, changes every answer of the handler, the busy one included.
  std::function<void(http::Response&)> amend = nullptr;
  Coding coding = Coding::kCompressible;
};

bool Matches(const Route& route, std::string_view path) {
  switch (route.match) {
    case Match::kPath:
      return path == route.path;
    case Match::kFolder:
      return path.starts_with(route.path);
    case Match::kStaticFile:
      break;
  }
  return FindStaticAsset(path).has_value();
}

bool Takes(unsigned methods, std::string_view method) {
  if ((methods & kAnyMethod) != 0) return true;
  if (method == "GET" || method == "HEAD") return (methods & kGet) != 0;
  return method == "POST" && (methods & kPost) != 0;
}

// The 405 of a path that the routes serve for other methods only, with the
// methods they take.
http::Response MethodNotAllowed(Language language, unsigned methods) {
  http::Response response =
      HtmlPage(405, ErrorPage(language, 405, Text(language, MessageId::kMethodNotAllowed), nullptr));
  response.AddHeader("Allow", (methods & kPost) != 0 ? "GET, HEAD, POST" : "GET, HEAD");
  return response;
}

}  // namespace

struct WebServer::Impl {
  explicit Impl(ServerOptions opts)
      : options(std::move(opts)),
        databases(options.connection_string, options.pool_size),
        signer(options.secret),
        zone(options.time_zone ? *options.time_zone : feeds::TimeZone::System()),
        runner(options, databases, signer),
        feeds(options, databases, zone),
        api(options, databases, signer, zone),
        oidc_flow(options.oidc ? std::make_unique<oidc::OidcFlow>(options, databases, signer)
                               : nullptr),
        log(options.access_log, options.log_format),
        directory(options.ldap ? std::make_unique<LdapDirectory>(*options.ldap, options.ca_file)
                               : nullptr),
        http(
            HttpOptions(options),
            [this](http::Request request, http::Responder respond) {
              Handle(std::move(request), std::move(respond));
            },
            ServerErrorPage, &log),
        account(options, databases, runner,
                [this](std::function<void()> job) { return signin.SubmitHashJob(std::move(job)); },
                [this](store::Connection& db, SignInAttempt attempt,
                       std::function<void(SignInOutcome)> done) {
                  signin.CheckPassword(db, std::move(attempt), std::move(done));
                }),
        signin(options, databases, signer, directory.get()),
        pages(options.worker_threads != 0 ? options.worker_threads
                                          : std::max<std::size_t>(4, 2 * Processors()),
              options.worker_queue) {}

  // On an I/O thread: finds the request's route and runs it where the
  // route says (a path no route serves: 404; a method no route of the path
  // takes: 405).
  void Handle(http::Request request, http::Responder respond);
  // Runs the handler on a page worker, or answers 503 (a page in the
  // language, or JSON) when too many wait.
  void RunOnWorker(RouteHandler handler, http::Request request, const http::Responder& respond,
                   Language language, AnswerForm form);
  // Removes the audit records older than options.audit_days. A database
  // that refuses leaves them for the next time; never throws.
  void PruneAuditLog() noexcept;
  // Every path the site serves, and how.
  std::vector<Route> Routes();
  // Calendar programs: the person of a request's HTTP Basic credentials
  // (the person's number and an app password), counted in the sign-in
  // throttle; and the person's calendars on a connection of the pool.
  dav::DavSignIn SignInToCalendars(const http::Request& request);
  void OpenCalendars(std::int64_t viewer, const http::Request& request,
                     const std::function<void(CalendarSource&)>& use);
  // A route that runs `page` for the signed-in visitor.
  RouteHandler Page(PageFunction page) {
    return [this, page = std::move(page)](http::Request request, const http::Responder& respond) {
      respond(runner.Run(request, page));
    };
  }
  // A route that answers at once with what `answer` gives.
  static RouteHandler Now(std::function<http::Response(const http::Request&)> answer) {
    return [answer = std::move(answer)](http::Request request, const http::Responder& respond) {
      respond(answer(request));
    };
  }

  ServerOptions options;
  Databases databases;
  SessionSigner signer;
  feeds::TimeZone zone;
  PageRunner runner;
  CalendarFeeds feeds;
  JsonApi api;
  // The sign-in with the OpenID provider; null when none is configured.
  std::unique_ptr<oidc::OidcFlow> oidc_flow;
  http::AccessLog log;
  // The page workers prune the audit log about once an hour between them
  // (the start prunes first, in the constructor).
  PruneSchedule audit_prune{std::chrono::hours(1), UnixNow()};
  // The directory that the sign-in asks first (serve --ldap-url), if any;
  // before the sign-in, whose last checks may still ask it.
  std::unique_ptr<LdapDirectory> directory;
  // Declared after the server, so that they end before it (their last jobs
  // still answer through its connections): the page workers first, which
  // hand sign-ins to the hash pool, then the sign-in with its hash pool.
  http::HttpServer http;
  // Before the sign-in, whose hash pool runs its last jobs while it ends.
  AccountFlow account;
  SecondFactorFlow second_factor{options, databases, runner,
                                 [this](store::Connection& db, SignInAttempt attempt,
                                        std::function<void(SignInOutcome)> done) {
                                   signin.CheckPassword(db, std::move(attempt), std::move(done));
                                 }};
  SignInFlow signin;
  // Calendar programs: the CalDAV server, signed in with app passwords
  // under the sign-in's throttle.
  SiteIdentity dav_identity;
  dav::DavServer dav{[this](const http::Request& request) { return SignInToCalendars(request); },
                     [this](std::int64_t viewer, const http::Request& request,
                            const std::function<void(CalendarSource&)>& use) {
                       OpenCalendars(viewer, request, use);
                     },
                     zone};
  http::WorkerPool pages;
  // ---- What the site tells of changes (the outbox engineer's section):
  // the webhook channel and the delivery worker, which runs while the
  // server listens; a failed attempt goes to the access log with an
  // incident number.
  std::atomic<bool> outbox_stopping{false};
  notify::WebhookChannel webhook_channel{
      [this](std::int64_t id) { return FindWebhook(*databases.OpenHost(), id); }, zone,
      WebhookSettingsStoppedBy(outbox_stopping)};
  notify::DeliveryWorker delivery_worker{
      databases, zone, {{"webhook", &webhook_channel}},
      notify::WorkerSettings{OutboxOwner(), options.outbox_poll},
      [this](std::int64_t delivery, int status, std::string_view error) {
        const std::string target = "/outbox/deliveries/" + std::to_string(delivery);
        const std::string incident = http::NewIncidentNumber();
        log.Write(http::LogEntry{std::chrono::system_clock::now(), "outbox", "SEND", target,
                                 status, 0, 0, std::nullopt, incident, error});
      }};
  // ---- end of the outbox engineer's section.
  // Last: its handlers use everything above.
  std::vector<Route> routes = Routes();
};

std::vector<Route> WebServer::Impl::Routes() {
  const auto redirect_home = Now([](const http::Request&) {
    return http::Response::Redirect(kHomePage);
  });
  std::vector<Route> table = {
      {Match::kStaticFile, {}, kGet, Runs::kIoThread,
       Now([](const http::Request& request) { return *ServeStaticAsset(request); })},
      {Match::kPath, "/", kGet, Runs::kIoThread, redirect_home},
      {Match::kPath, kScheduleFolder.substr(0, kScheduleFolder.size() - 1), kGet,
       Runs::kIoThread, redirect_home},
      {Match::kPath, kScheduleFolder, kGet, Runs::kIoThread, redirect_home},
      {Match::kPath, kSignInPath, kGet, Runs::kIoThread,
       Now([this](const http::Request& request) { return signin.ShowForm(request); }), nullptr,
       Coding::kIdentity},
      {Match::kPath, kSignInPath, kPost, Runs::kHashPool,
       [this](http::Request request, const http::Responder& respond) {
         signin.Submit(request, respond);
       },
       nullptr, Coding::kIdentity},
      // Company sign-in: OpenID Connect.
      {Match::kPath, kOidcSignInPath, kGet, Runs::kPageWorker,
       Now([this](const http::Request& request) {
         return oidc_flow ? oidc_flow->Start(request) : NotFoundResponse(RequestLanguage(request));
       })},
      {Match::kPath, kOidcCallbackPath, kGet, Runs::kPageWorker,
       Now([this](const http::Request& request) {
         return oidc_flow ? oidc_flow->Callback(request)
                          : NotFoundResponse(RequestLanguage(request));
       })},
      // The sign-out's post: a session signed in through the provider is
      // sent on to sign out there too.
      {Match::kPath, kSignOutPath, kPost, Runs::kPageWorker,
       Page([this](PageRequest& page) {
         return oidc_flow ? oidc_flow->SignOut(page) : SignOut(page, true);
       })},
      // The second factor.
      {Match::kPath, kSecondFactorPath, kGet, Runs::kIoThread,
       Now([this](const http::Request& request) { return signin.ShowCode(request); }), nullptr,
       Coding::kIdentity},
      {Match::kPath, kSecondFactorPath, kPost, Runs::kPageWorker,
       [this](http::Request request, const http::Responder& respond) {
         respond(signin.SubmitCode(request));
       },
       nullptr, Coding::kIdentity},
      {Match::kPath, kSecondFactorAccountPath, kGet, Runs::kPageWorker,
       [this](http::Request request, const http::Responder& respond) {
         respond(second_factor.Show(request));
       },
       nullptr, Coding::kIdentity},
      {Match::kPath, kSecondFactorAccountPath, kPost, Runs::kHashPool,
       [this](http::Request request, const http::Responder& respond) {
         second_factor.Submit(request, respond);
       },
       nullptr, Coding::kIdentity},
      {Match::kPath, kLanguagePath, kGet, Runs::kIoThread, Now(SwitchLanguage)},
      {Match::kPath, kSignOutPath, kGet, Runs::kPageWorker,
       Page([](PageRequest& page) { return SignOut(page, false); })},
      {Match::kFolder, kFeedsFolder, kGet, Runs::kPageWorker,
       Now([this](const http::Request& request) { return feeds.Serve(request); })},
      // Programs read every answer here as JSON, a refusal of a path or a
      // method too, at once.
      {Match::kFolder, kApiFolder, kAnyMethod, Runs::kIoThread,
       [this](http::Request request, const http::Responder& respond) {
         if (std::optional<http::Response> refused = JsonApi::Refusal(request)) {
           return respond(std::move(*refused));
         }
         RunOnWorker([this](http::Request r, const http::Responder& answer) {
                       answer(api.Serve(r));
                     },
                     std::move(request), respond, Language::kEnglish, AnswerForm::kJson);
       }},
      // Every path and method under the folder, so that a visitor who is
      // no administrator gets the same refusal everywhere.
      {Match::kPath, kAdminFolder.substr(0, kAdminFolder.size() - 1), kGet, Runs::kIoThread,
       Now([](const http::Request&) { return http::Response::Redirect(kAdminFolder); })},
      {Match::kFolder, kAdminFolder, kAnyMethod, Runs::kPageWorker, Page(ServeAdministration)},
      // Calendar programs: the CalDAV server and its discovery.
      {Match::kPath, kDavFolder.substr(0, kDavFolder.size() - 1), kAnyMethod, Runs::kPageWorker,
       Now([this](const http::Request& request) { return dav.Serve(request); })},
      {Match::kFolder, kDavFolder, kAnyMethod, Runs::kPageWorker,
       Now([this](const http::Request& request) { return dav.Serve(request); })},
      {Match::kPath, kWellKnownCalDavPath, kAnyMethod, Runs::kIoThread,
       Now(dav::DavServer::WellKnown)},
      // End of the CalDAV server.
      {Match::kPath, kAccountPath, kGet, Runs::kPageWorker, Page(ShowAccount), nullptr,
       Coding::kIdentity},
      {Match::kPath, kAccountPath, kPost, Runs::kHashPool,
       [this](http::Request request, const http::Responder& respond) {
         account.SubmitAccount(request, respond);
       },
       nullptr, Coding::kIdentity},
      {Match::kPath, kInvitePath, kGet, Runs::kPageWorker,
       Now([this](const http::Request& request) { return account.ShowInvite(request); }), nullptr,
       Coding::kIdentity},
      {Match::kPath, kInvitePath, kPost, Runs::kHashPool,
       [this](http::Request request, const http::Responder& respond) {
         account.SubmitInvite(request, respond);
       },
       nullptr, Coding::kIdentity},
      {Match::kPath, kSubscribePath, kGet, Runs::kPageWorker, Page(ShowSubscribe), nullptr,
       Coding::kIdentity},
      {Match::kPath, kSubscribePath, kPost, Runs::kPageWorker, Page(SubmitSubscribe), nullptr,
       Coding::kIdentity},
      {Match::kPath, kEditorPath, kGet, Runs::kPageWorker, Page(ShowEditor)},
      {Match::kPath, kEditorPath, kPost, Runs::kPageWorker, Page(SubmitEditor)},
      {Match::kPath, kDeletedPlansPath, kGet, Runs::kPageWorker, Page(RenderDeletedPlans)},
      {Match::kPath, kAwayPath, kGet, Runs::kPageWorker, Page(RenderAwayPage)},
      {Match::kPath, kLeaderMonthsPath, kGet, Runs::kPageWorker,
       Page([](PageRequest& page) { return RenderLeaderMonths(page, false); })},
      {Match::kPath, kLeader2MonthsPath, kGet, Runs::kPageWorker,
       Page([](PageRequest& page) { return RenderLeaderMonths(page, true); })},
  };
  for (const ViewPage& view : ViewPages()) {
    // The personal pages carry the component's inline day script.
    const bool script = view.kind == ViewKind::kPersonMonth || view.kind == ViewKind::kPersonWeek;
    table.push_back({Match::kPath, view.path, kGet, Runs::kPageWorker,
                     Page([&view](PageRequest& page) {
                       return WantsDownload(page) ? DownloadViewPage(view, page)
                                                  : RenderViewPage(view, page);
                     }),
                     script ? std::function<void(http::Response&)>(AllowComponentScript) : nullptr});
  }
  return table;
}

dav::DavSignIn WebServer::Impl::SignInToCalendars(const http::Request& request) {
  std::optional<http::BasicCredentials> credentials =
      http::ReadBasicCredentials(request.HeaderValue("Authorization"));
  if (!credentials) return {};
  struct Wipe {
    std::string& secret;
    ~Wipe() { sodium_memzero(secret.data(), secret.size()); }
  } wipe{credentials->password};
  const std::optional<std::int64_t> id =
      ReadWholeNumber(TrimWhitespace(credentials->user), std::numeric_limits<std::int64_t>::max());
  if (!id || *id <= 0) return {};
  const store::ConnectionPool::Lease lease = databases.OpenHost();
  store::Connection& db = *lease;
  // A number of nobody is counted as any wrong guess is.
  const std::optional<Person> found = FindPerson(db, *id);
  const Person person = found ? *found : Person{*id, {}, {}, {}};
  const SignInOutcome outcome =
      signin.CheckCredential(db, person, request.remote_address, [&] {
        return found && CheckAppPassword(db, person.id, credentials->password, UtcNow());
      });
  switch (outcome.status) {
    case SignInOutcome::Status::kSignedIn:
      return {dav::DavSignIn::Status::kSignedIn, person.id, {}};
    case SignInOutcome::Status::kThrottled:
      return {dav::DavSignIn::Status::kThrottled, 0, outcome.retry_after};
    default:
      return {};
  }
}

void WebServer::Impl::OpenCalendars(std::int64_t viewer, const http::Request& request,
                                    const std::function<void(CalendarSource&)>& use) {
  const store::ConnectionPool::Lease lease = databases.OpenHost();
  store::Connection& db = *lease;
  const std::optional<Person> person = FindPerson(db, viewer);
  if (!person) throw Error("no person " + std::to_string(viewer), ErrorKind::kNotFound);
  const CalendarSettings settings =
      dav::DavCalendarSettings(options, db, *person, request, dav_identity);
  CalendarObjects calendars(db, zone, settings, viewer);
  use(calendars);
}

void WebServer::Impl::RunOnWorker(RouteHandler handler, http::Request request,
                                  const http::Responder& respond, Language language,
                                  AnswerForm form) {
  const bool posted = pages.TryPost(
      [this, request = std::move(request), respond, handler = std::move(handler)]() mutable {
        handler(std::move(request), respond);
        // The answer went after the commit: the worker sends at once.
        if (TakeEventAddedHere()) delivery_worker.Wake();
        // After the answer went, so that no visitor waits for it.
        if (audit_prune.Due(UnixNow())) PruneAuditLog();
      });
  if (!posted) {
    respond(ErrorAnswer(std::make_exception_ptr(Error("every page worker is busy", ErrorKind::kBusy)),
                        language, nullptr, form));
  }
}

void WebServer::Impl::PruneAuditLog() noexcept {
  try {
    PruneAudit(*databases.OpenHost(), UtcNow(), options.audit_days);
    PruneCalendarChanges(*databases.OpenHost(), UtcNow());
  } catch (...) {
    // A read-only or unavailable database keeps its records until the next
    // prune; the pages say what is wrong with it.
  }
}

void WebServer::Impl::Handle(http::Request request, http::Responder respond) {
  if (ServedOverTls(options)) respond = SecureCookieResponder(std::move(respond));
  const Language language = RequestLanguage(request);
  // Programs read every answer under the API's folder as JSON.
  const AnswerForm form = request.path.starts_with(kApiFolder) ? AnswerForm::kJson : AnswerForm::kPage;
  try {
    unsigned allowed = 0;
    for (const Route& route : routes) {
      if (!Matches(route, request.path)) continue;
      if (!Takes(route.methods, request.method)) {
        allowed |= route.methods;
        continue;
      }
      if (route.coding == Coding::kCompressible) {
        respond = Amended(std::move(respond),
                          [asked = http::AskedCoding::Of(request)](http::Response& response) {
                            try {
                              http::EncodeAnswer(asked, response);
                            } catch (const Error&) {
                              // An encoder that fails leaves the answer as
                              // it was: unencoded is always right.
                            }
                          });
      }
      if (route.amend) respond = Amended(std::move(respond), route.amend);
      if (route.runs == Runs::kIoThread) return route.handler(std::move(request), respond);
      return RunOnWorker(route.handler, std::move(request), respond, language, AnswerForm::kPage);
    }
    respond(allowed != 0 ? MethodNotAllowed(language, allowed) : NotFoundResponse(language));
  } catch (...) {
    respond(ErrorAnswer(std::current_exception(), language, nullptr, form));
  }
}

WebServer::WebServer(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
  PrepareStaticAssets();
  // At start the operator reads the database's own message.
  const store::ConnectionPool::Lease db = impl_->databases.OpenHost();
  store::Connection& connection = *db;
  store::CheckSchema(connection);
  try {
    PruneAudit(connection, UtcNow(), impl_->options.audit_days);
    PruneCalendarChanges(connection, UtcNow());
  } catch (const store::DatabaseError&) {
    // Read-only for now: the hourly prune tries again.
  }
  // Readers then never wait for the editor's writes, nor writers for
  // readers. A database that is read-only right now keeps its mode. The
  // pool keeps connections open, so SQLite keeps the write-ahead log and
  // shared memory between requests.
  if (connection.engine() == store::Engine::kSqlite) {
    try {
      connection.ExecuteScript("PRAGMA journal_mode=WAL");
    } catch (const store::DatabaseError& e) {
      if (!e.unavailable()) throw;
    }
  }
  // ---- The outbox engineer's section: the receivers of serve --webhook.
  if (!impl_->options.webhooks.empty()) {
    SyncCommandLineWebhooks(connection, impl_->options.webhooks, UtcNow());
  }
}

WebServer::~WebServer() { Stop(); }

int WebServer::Bind() { return impl_->http.Bind(); }

void WebServer::Listen() {
  // The delivery worker runs while the server serves.
  impl_->delivery_worker.Start();
  try {
    impl_->http.Run();
  } catch (...) {
    impl_->delivery_worker.Stop();
    throw;
  }
  impl_->delivery_worker.Stop();
}

void WebServer::Stop() {
  impl_->http.Stop();
  impl_->outbox_stopping = true;
  impl_->delivery_worker.Stop();
}

void ServeUntilSignalled(WebServer& server) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &signals, &previous);
  std::atomic<bool> finished{false};
  std::thread waiter([&] {
    int received = 0;
    sigwait(&signals, &received);
    if (!finished) server.Stop();
  });
  std::exception_ptr failure;
  try {
    server.Listen();
  } catch (...) {
    failure = std::current_exception();
  }
  finished = true;
  // Wake the waiter when serving ended without a signal.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace ostrand::web
