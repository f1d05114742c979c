#include "web/server.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

#include "core/error.h"
#include "store/database_error.h"
#include "store/schema.h"
#include "web/api/calendar_feed.h"
#include "web/api/json_api.h"
#include "web/assets/static_assets.h"
#include "web/auth/accounts.h"
#include "web/auth/session_cookie.h"
#include "web/auth/sign_in.h"
#include "web/auth/transport_security.h"
#include "web/data/databases.h"
#include "web/http/access_log.h"
#include "web/http/http_error.h"
#include "web/http/http_server.h"
#include "web/http/worker_pool.h"
#include "web/pages/away_page.h"
#include "web/pages/deleted_page.h"
#include "web/pages/editor_page.h"
#include "web/pages/leader_months_page.h"
#include "web/pages/language_switch.h"
#include "web/pages/page_downloads.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_runner.h"
#include "web/pages/schedule_pages.h"
#include "web/pages/signin_page.h"
#include "web/pages/subscribe_page.h"

namespace ostrand::web {
namespace {

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

http::Response MethodNotAllowed(Language language, std::string_view allowed) {
  http::Response response =
      HtmlPage(405, ErrorPage(language, 405, Text(language, MessageId::kMethodNotAllowed), nullptr));
  response.AddHeader("Allow", allowed);
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
        log(options.access_log, options.log_format),
        http(
            HttpOptions(options),
            [this](http::Request request, http::Responder respond) {
              Handle(std::move(request), std::move(respond));
            },
            ServerErrorPage, &log),
        signin(options, databases, signer),
        pages(options.worker_threads != 0 ? options.worker_threads
                                          : std::max<std::size_t>(4, 2 * Processors()),
              options.worker_queue) {}

  // On an I/O thread: answers what needs no database at once and hands the
  // rest to the workers.
  void Handle(http::Request request, http::Responder respond);
  // Runs `work` on a page worker, or answers 503 (in the language) when
  // too many wait.
  void OnWorker(Language language, const http::Responder& respond, std::function<void()> work);
  // Runs `page` for the signed-in visitor on a page worker.
  void RunPage(http::Request request, http::Responder respond, PageFunction page);

  ServerOptions options;
  Databases databases;
  SessionSigner signer;
  feeds::TimeZone zone;
  PageRunner runner;
  CalendarFeeds feeds;
  JsonApi api;
  http::AccessLog log;
  // Declared after the server, so that they end before it (their last jobs
  // still answer through its connections): the page workers first, which
  // hand sign-ins to the hash pool, then the sign-in with its hash pool.
  http::HttpServer http;
  SignInFlow signin;
  http::WorkerPool pages;
};

void WebServer::Impl::OnWorker(Language language, const http::Responder& respond,
                               std::function<void()> work) {
  if (!pages.TryPost(std::move(work))) {
    http::Response response = HtmlPage(
        503, ErrorPage(language, 503, Text(language, MessageId::kServerBusy), nullptr));
    response.AddHeader("Retry-After", "5");
    respond(std::move(response));
  }
}

void WebServer::Impl::RunPage(http::Request request, http::Responder respond, PageFunction page) {
  const Language language = RequestLanguage(request);
  OnWorker(language, respond, [this, request = std::move(request), respond, page = std::move(page)] {
    respond(runner.Run(request, page));
  });
}

void WebServer::Impl::Handle(http::Request request, http::Responder respond) {
  if (ServedOverTls(options)) respond = SecureCookieResponder(std::move(respond));
  const bool get = request.method == "GET" || request.method == "HEAD";
  const bool post = request.method == "POST";
  const std::string_view path = request.path;
  const Language language = RequestLanguage(request);
  try {
    if (std::optional<http::Response> file = ServeStaticAsset(request)) {
      return respond(get ? std::move(*file) : MethodNotAllowed(language, "GET, HEAD"));
    }
    const std::string_view folder = kScheduleFolder.substr(0, kScheduleFolder.size() - 1);
    if (path == "/" || path == folder || path == kScheduleFolder) {
      return respond(get ? http::Response::Redirect(kHomePage) : MethodNotAllowed(language, "GET, HEAD"));
    }
    if (path == kSignInPath) {
      if (get) return respond(signin.ShowForm(request));
      if (!post) return respond(MethodNotAllowed(language, "GET, HEAD, POST"));
      // The person is looked up on a worker; the password then goes to the
      // hash pool, which answers.
      return OnWorker(language, respond, [this, request = std::move(request), respond] {
        signin.Submit(request, respond);
      });
    }
    if (path == kLanguagePath) {
      return respond(get ? SwitchLanguage(request) : MethodNotAllowed(language, "GET, HEAD"));
    }
    if (path == kSignOutPath) {
      if (!get && !post) return respond(MethodNotAllowed(language, "GET, HEAD, POST"));
      return RunPage(std::move(request), respond,
                     [post](PageRequest& page) { return SignOut(page, post); });
    }
    if (const ViewPage* view = FindViewPage(path)) {
      if (!get) return respond(MethodNotAllowed(language, "GET, HEAD"));
      // The personal pages carry the component's inline day script.
      const bool script =
          view->kind == ViewKind::kPersonMonth || view->kind == ViewKind::kPersonWeek;
      return RunPage(std::move(request), script ? Amended(respond, AllowComponentScript) : respond,
                     [view](PageRequest& page) {
        return WantsDownload(page) ? DownloadViewPage(*view, page) : RenderViewPage(*view, page);
      });
    }
    if (path.starts_with(kFeedsFolder)) {
      if (!get) return respond(MethodNotAllowed(language, "GET, HEAD"));
      return OnWorker(language, respond, [this, request = std::move(request), respond] {
        respond(feeds.Serve(request));
      });
    }
    if (path.starts_with(kApiFolder)) {
      // Programs read every answer here as JSON.
      if (std::optional<http::Response> refused = JsonApi::Refusal(request)) {
        return respond(std::move(*refused));
      }
      if (!pages.TryPost([this, request = std::move(request), respond] {
            respond(api.Serve(request));
          })) {
        respond(JsonApi::Busy());
      }
      return;
    }
    if (path == kSubscribePath) {
      if (get) return RunPage(std::move(request), respond, ShowSubscribe);
      if (post) return RunPage(std::move(request), respond, SubmitSubscribe);
      return respond(MethodNotAllowed(language, "GET, HEAD, POST"));
    }
    if (path == kEditorPath) {
      if (get) return RunPage(std::move(request), respond, ShowEditor);
      if (post) return RunPage(std::move(request), respond, SubmitEditor);
      return respond(MethodNotAllowed(language, "GET, HEAD, POST"));
    }
    if (path == kDeletedPlansPath || path == kAwayPath || path == kLeaderMonthsPath ||
        path == kLeader2MonthsPath) {
      if (!get) return respond(MethodNotAllowed(language, "GET, HEAD"));
      PageFunction page = RenderDeletedPlans;
      if (path == kAwayPath) page = RenderAwayPage;
      if (path == kLeaderMonthsPath || path == kLeader2MonthsPath) {
        const bool second = path == kLeader2MonthsPath;
        page = [second](PageRequest& r) { return RenderLeaderMonths(r, second); };
      }
      return RunPage(std::move(request), respond, std::move(page));
    }
    respond(NotFoundResponse(language));
  } catch (const HttpError& e) {
    respond(ErrorResponse(e, language, nullptr));
  }
}

WebServer::WebServer(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
  std::optional<store::ConnectionPool::Lease> db;
  try {
    db = impl_->databases.OpenHost();
  } catch (const HttpError& e) {
    // At start the operator reads the cause, not the page's message.
    throw Error(e.cause());
  }
  store::Connection& connection = **db;
  store::CheckSchema(connection);
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
}

WebServer::~WebServer() { Stop(); }

int WebServer::Bind() { return impl_->http.Bind(); }

bool WebServer::Listen() {
  try {
    impl_->http.Run();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void WebServer::Stop() { impl_->http.Stop(); }

bool ServeUntilSignalled(WebServer& server) {
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
  const bool served = server.Listen();
  finished = true;
  // Wake the waiter when serving ended without a signal.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return served;
}

}  // namespace ostrand::web
