#include "web/server.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "core/error.h"
#include "core/text.h"
#include "store/connection_pool.h"
#include "store/database_error.h"
#include "store/schema.h"
#include "web/pages/editor_page.h"
#include "web/http/http_error.h"
#include "web/http/request_values.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_request.h"
#include "web/pages/schedule_pages.h"
#include "web/auth/session_cookie.h"
#include "web/auth/signin_gate.h"
#include "web/pages/signin_page.h"
#include "web/assets/static_assets.h"
#include "web/auth/visitor.h"

namespace ostrand::web {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kSignInCookieName = "ostrand_signin";
constexpr std::string_view kHtml = "text/html; charset=utf-8";
constexpr std::string_view kHomePage = "/schedule/personMonth.asp";
constexpr std::string_view kDatabaseUnavailable = "数据库暂时不可用，请稍后再试。";
// How long a sign-in form (its token and cookie) may be used, in seconds.
constexpr std::int64_t kSignInFormLifetime = 3600;

// When the current request of this worker thread began (for the log).
thread_local Clock::time_point request_started{};

std::int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The value of a cookie of the request, or the empty text.
std::string CookieValue(const httplib::Request& req, std::string_view name) {
  const std::size_t count = req.get_header_value_count("Cookie");
  for (std::size_t i = 0; i < count; ++i) {
    const std::string header = req.get_header_value("Cookie", i);
    std::string_view rest = header;
    while (!rest.empty()) {
      const std::size_t semicolon = rest.find(';');
      std::string_view pair = rest.substr(0, semicolon);
      rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
      while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
      const std::size_t equals = pair.find('=');
      if (equals != std::string_view::npos && pair.substr(0, equals) == name) {
        return std::string(pair.substr(equals + 1));
      }
    }
  }
  return std::string();
}

std::string CookieHeader(std::string_view name, std::string_view value, std::string_view path,
                         std::int64_t max_age) {
  std::string header(name);
  header += '=';
  header += value;
  header += "; Path=";
  header += path;
  header += "; Max-Age=" + std::to_string(max_age > 0 ? max_age : 0);
  header += "; HttpOnly; SameSite=Lax";
  return header;
}

// Decodes "a=1&b=x%20y" into fields. A value keeps any '=' after the
// first one of its pair.
FormFields ParseFields(std::string_view text) {
  FormFields fields;
  while (!text.empty()) {
    const std::size_t amp = text.find('&');
    const std::string_view pair = text.substr(0, amp);
    text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
    if (pair.empty()) continue;
    const std::size_t equals = pair.find('=');
    const std::string_view name = pair.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
    fields.emplace(httplib::detail::decode_url(std::string(name), true),
                   httplib::detail::decode_url(std::string(value), true));
  }
  return fields;
}

FormFields QueryFields(const httplib::Request& req) {
  const std::size_t question = req.target.find('?');
  if (question == std::string::npos) return {};
  return ParseFields(std::string_view(req.target).substr(question + 1));
}

FormFields BodyFields(const httplib::Request& req) {
  if (!req.get_header_value("Content-Type").starts_with("application/x-www-form-urlencoded")) {
    return {};
  }
  return ParseFields(req.body);
}

void SendHtml(httplib::Response& res, int status, std::string body) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(std::move(body), std::string(kHtml));
}

void SendRedirect(httplib::Response& res, const std::string& location) {
  res.status = 303;
  res.set_header("Location", location);
  res.set_header("Cache-Control", "no-store");
}

std::string RequestPathWithQuery(const httplib::Request& req) {
  const std::size_t question = req.target.find('?');
  return question == std::string::npos ? req.path : req.path + req.target.substr(question);
}

// The text for the access log: bytes that could end the line or split its
// fields (controls, space, DEL) and '%' itself become %XX, so that a request
// cannot forge or break log lines.
std::string LogSafe(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7f || c == '%') {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~' || c == '/') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

}  // namespace

struct WebServer::Impl {
  explicit Impl(ServerOptions opts)
      : options(std::move(opts)),
        signer(options.secret),
        signin_gate(options.password_limits, options.signin_throttle, options.hash_workers),
        pool(options.connection_string, options.pool_size),
        pool_registration(options.connection_string, pool) {}

  void SetUpRoutes();
  void Log(const httplib::Request& req, const httplib::Response& res);

  // The signed-in visitor of the request, or nothing when the request
  // carries no valid session cookie or the person no longer exists.
  std::optional<Visitor> LoadVisitor(const httplib::Request& req, store::Connection& db) const;
  // Runs a page for a signed-in visitor: opens the database, reads the
  // session (or redirects to the sign-in), checks the CSRF token of a POST,
  // runs `page`, renews the cookie and sends the reply or the error page.
  template <typename PageFunction>
  void ServePage(const httplib::Request& req, httplib::Response& res, PageFunction page);

  void ShowSignIn(const httplib::Request& req, httplib::Response& res);
  void SubmitSignIn(const httplib::Request& req, httplib::Response& res);
  void SignOut(const httplib::Request& req, httplib::Response& res, bool confirmed);

  ServerOptions options;
  SessionSigner signer;
  SignInGate signin_gate;
  // Every request leases its connection here; the component's Init in the
  // pages finds the pool by the connection string and shares the lease.
  store::ConnectionPool pool;
  store::PoolRegistration pool_registration;
  httplib::Server http;
  std::mutex log_mutex;
  std::atomic<bool> stop_requested{false};
  std::atomic<bool> listening{false};
};

std::optional<Visitor> WebServer::Impl::LoadVisitor(const httplib::Request& req,
                                                    store::Connection& db) const {
  const std::string cookie = CookieValue(req, kSessionCookieName);
  if (cookie.empty()) return std::nullopt;
  std::optional<OpenedSession> opened = signer.Open(cookie, UnixNow());
  if (!opened) return std::nullopt;
  const Value person_id = opened->items->Get("personID");
  const Value rnd = opened->items->Get("rnd");
  if (!person_id.is_numeric() || !rnd.is_text() || rnd.text().empty()) return std::nullopt;
  std::optional<Person> person = FindPerson(db, static_cast<std::int64_t>(person_id.ToNumber()));
  if (!person) return std::nullopt;
  // Signed out, a new password, or ended by the operator since.
  const std::optional<SessionGeneration> current = CurrentSessionGeneration(db, person->id);
  if (!current || *current != opened->generation) return std::nullopt;

  Visitor visitor;
  visitor.person = std::move(*person);
  visitor.leader = IsLeader(visitor.person, options.leader_duties);
  visitor.session = std::move(opened->items);
  visitor.expires = opened->expires;
  visitor.generation = opened->generation;
  visitor.csrf_token = signer.CsrfToken(rnd.text());
  // The person may have changed system since signing in; pages follow the
  // database, not the cookie.
  visitor.session->Set("systemID",
                       visitor.person.system_id
                           ? IdValue(*visitor.person.system_id)
                           : Value());
  return visitor;
}

template <typename PageFunction>
void WebServer::Impl::ServePage(const httplib::Request& req, httplib::Response& res,
                                PageFunction page) {
  std::optional<Visitor> visitor;
  try {
    const store::ConnectionPool::Lease lease = pool.Acquire();
    store::Connection& db = *lease;
    visitor = LoadVisitor(req, db);
    if (!visitor) {
      if (!CookieValue(req, kSessionCookieName).empty()) {
        res.set_header("Set-Cookie", CookieHeader(kSessionCookieName, "", "/", 0));
      }
      SendRedirect(res, "/login?next=" + UrlEncode(RequestPathWithQuery(req)));
      return;
    }
    PageRequest request{options, db, *visitor, req.path, QueryFields(req), BodyFields(req), {}};
    if (req.method == "POST" &&
        !SameText(FieldOrEmpty(request.form, "csrf"), visitor->csrf_token)) {
      throw HttpError(403, "表单已失效（缺少或错误的校验码），请返回页面后重试。");
    }
    const std::size_t question = req.target.find('?');
    request.server_variables = {
        {"URL", req.path},
        {"QUERY_STRING", question == std::string::npos ? "" : req.target.substr(question + 1)},
        {"REQUEST_METHOD", req.method},
        {"REMOTE_ADDR", req.remote_addr},
        {"SERVER_NAME", options.host},
        {"SERVER_PORT", std::to_string(req.local_port)},
        {"HTTP_HOST", req.get_header_value("Host")},
    };
    PageReply reply = page(request);
    res.set_header("Set-Cookie", CookieHeader(kSessionCookieName,
                                              signer.Seal(*visitor->session, visitor->expires,
                                                          visitor->generation),
                                              "/", visitor->expires - UnixNow()));
    if (!reply.location.empty()) {
      SendRedirect(res, reply.location);
    } else {
      SendHtml(res, reply.status, std::move(reply.body));
    }
  } catch (const HttpError& e) {
    SendHtml(res, e.status(), ErrorPage(e.status(), e.what(), visitor ? &*visitor : nullptr));
  } catch (const store::DatabaseError& e) {
    if (!e.unavailable()) {
      SendHtml(res, 500, ErrorPage(500, e.what(), visitor ? &*visitor : nullptr));
      return;
    }
    res.set_header("Retry-After", "5");
    SendHtml(res, 503,
             ErrorPage(503, std::string(kDatabaseUnavailable), visitor ? &*visitor : nullptr));
  } catch (const std::exception& e) {
    SendHtml(res, 500, ErrorPage(500, e.what(), visitor ? &*visitor : nullptr));
  }
}

void WebServer::Impl::ShowSignIn(const httplib::Request& req, httplib::Response& res) {
  const std::string token = signer.SignInToken(UnixNow());
  res.set_header("Set-Cookie",
                 CookieHeader(kSignInCookieName, token, "/login", kSignInFormLifetime));
  SendHtml(res, 200,
           SignInPage(token, SafeNextPage(FieldOrEmpty(QueryFields(req), "next")), "", ""));
}

void WebServer::Impl::SubmitSignIn(const httplib::Request& req, httplib::Response& res) {
  try {
    const FormFields form = BodyFields(req);
    const std::string next = SafeNextPage(FieldOrEmpty(form, "next"));
    const std::string person = std::string(TrimBlanks(FieldOrEmpty(form, "person")));
    const std::string cookie_token = CookieValue(req, kSignInCookieName);
    if (cookie_token.empty() || !SameText(cookie_token, FieldOrEmpty(form, "signin")) ||
        !signer.CheckSignInToken(cookie_token, UnixNow(), kSignInFormLifetime)) {
      // No form of ours behind this post (or its cookie expired): offer a
      // fresh one.
      const std::string token = signer.SignInToken(UnixNow());
      res.set_header("Set-Cookie",
                     CookieHeader(kSignInCookieName, token, "/login", kSignInFormLifetime));
      SendHtml(res, 403, SignInPage(token, next, person, "登录表单已过期，请重新登录。"));
      return;
    }
    const SignInOutcome outcome =
        signin_gate.CheckAndWait(pool, {req.remote_addr, person, FieldOrEmpty(form, "password")});
    if (outcome.status != SignInOutcome::Status::kSignedIn) {
      // The message is the same whatever was wrong with person or password.
      const auto [status, message] = SignInRefusal(outcome);
      if (outcome.retry_after.count() > 0) {
        res.set_header("Retry-After", std::to_string(outcome.retry_after.count()));
      }
      SendHtml(res, status, SignInPage(cookie_token, next, person, message));
      return;
    }
    const Person* const signed_in = &*outcome.person;
    const std::optional<SessionGeneration> generation =
        CurrentSessionGeneration(*pool.Acquire(), signed_in->id);
    if (!generation) {
      throw Error("the account of person " + std::to_string(signed_in->id) + " is gone");
    }
    host::MemorySession session;
    session.Set("personID", IdValue(signed_in->id));
    if (signed_in->system_id) {
      session.Set("systemID", IdValue(*signed_in->system_id));
    }
    session.Set("rnd", Value::Text(RandomToken()));
    const std::int64_t lifetime = options.session_lifetime.count();
    res.set_header(
        "Set-Cookie",
        CookieHeader(kSessionCookieName, signer.Seal(session, UnixNow() + lifetime, *generation),
                     "/", lifetime));
    res.set_header("Set-Cookie", CookieHeader(kSignInCookieName, "", "/login", 0));
    SendRedirect(res, next);
  } catch (const store::DatabaseError& e) {
    if (!e.unavailable()) {
      SendHtml(res, 500, ErrorPage(500, e.what(), nullptr));
      return;
    }
    res.set_header("Retry-After", "5");
    SendHtml(res, 503, ErrorPage(503, std::string(kDatabaseUnavailable), nullptr));
  } catch (const std::exception& e) {
    SendHtml(res, 500, ErrorPage(500, e.what(), nullptr));
  }
}

void WebServer::Impl::SignOut(const httplib::Request& req, httplib::Response& res, bool confirmed) {
  ServePage(req, res, [&](PageRequest& request) {
    if (!confirmed) return PageReply{200, SignOutPage(request.visitor), {}};
    // The session ends for good (with the person's other sessions: they
    // share the generation), and the cookie expires instead of renewing.
    EndSessionsOf(request.db, request.visitor.person.id);
    request.visitor.expires = 0;
    return PageReply{303, {}, "/login"};
  });
}

void WebServer::Impl::SetUpRoutes() {
  http.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                            {"X-Frame-Options", "DENY"},
                            {"Referrer-Policy", "same-origin"}});
  http.set_payload_max_length(1 << 20);
  // The server owns the queue it is handed.
  const std::size_t workers = std::max<std::size_t>(options.worker_threads, 1);
  http.new_task_queue = [workers] {
    return std::make_unique<httplib::ThreadPool>(workers).release();
  };
  http.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
    request_started = Clock::now();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  http.set_logger(
      [this](const httplib::Request& req, const httplib::Response& res) { Log(req, res); });
  http.set_error_handler(
      httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        res.set_content(
            ErrorPage(res.status, res.status == 404 ? "找不到这个页面。" : StatusReason(res.status),
                      nullptr),
            std::string(kHtml));
        return httplib::Server::HandlerResponse::Handled;
      }));
  http.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
        std::string message = "unexpected failure";
        try {
          if (error) std::rethrow_exception(error);
        } catch (const std::exception& e) {
          message = e.what();
        } catch (...) {
        }
        SendHtml(res, 500, ErrorPage(500, message, nullptr));
      });

  const auto home = [](const httplib::Request&, httplib::Response& res) {
    SendRedirect(res, std::string(kHomePage));
  };
  http.Get("/", home);
  http.Get("/schedule/?", home);
  http.Get("/login",
           [this](const httplib::Request& req, httplib::Response& res) { ShowSignIn(req, res); });
  http.Post("/login", [this](const httplib::Request& req, httplib::Response& res) {
    SubmitSignIn(req, res);
  });
  http.Get("/logout", [this](const httplib::Request& req, httplib::Response& res) {
    SignOut(req, res, false);
  });
  http.Post("/logout", [this](const httplib::Request& req, httplib::Response& res) {
    SignOut(req, res, true);
  });
  for (const ViewPage& page : ViewPages()) {
    const ViewPage* const shown = &page;
    http.Get(std::string(page.path),
             [this, shown](const httplib::Request& req, httplib::Response& res) {
               ServePage(req, res,
                         [shown](PageRequest& request) { return RenderViewPage(*shown, request); });
             });
  }
  http.Get(std::string(kEditorPath), [this](const httplib::Request& req, httplib::Response& res) {
    ServePage(req, res, ShowEditor);
  });
  http.Post(std::string(kEditorPath), [this](const httplib::Request& req, httplib::Response& res) {
    ServePage(req, res, SubmitEditor);
  });
  http.Get("/(Images|static)/.+", [](const httplib::Request& req, httplib::Response& res) {
    const std::optional<StaticAsset> asset = FindStaticAsset(req.path);
    if (!asset) {
      res.status = 404;
      return;
    }
    res.set_header("Cache-Control", "public, max-age=3600");
    res.set_content(std::string(asset->bytes), std::string(asset->content_type));
  });
}

void WebServer::Impl::Log(const httplib::Request& req, const httplib::Response& res) {
  if (options.access_log == nullptr) return;
  const Clock::time_point started = request_started;
  request_started = Clock::time_point{};
  const long long ms =
      started == Clock::time_point{}
          ? 0
          : std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
  std::string line = LogSafe(req.method) + " " + LogSafe(req.path) + " " +
                     std::to_string(res.status) + " " + std::to_string(res.body.size()) + " " +
                     std::to_string(ms) + "ms\n";
  const std::lock_guard<std::mutex> lock(log_mutex);
  *options.access_log << line << std::flush;
}

WebServer::WebServer(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
  {
    const store::ConnectionPool::Lease db = impl_->pool.Acquire();
    store::CheckSchema(*db);
    // Readers then never wait for the editor's writes, nor writers for
    // readers. A database that is read-only right now keeps its mode.
    if (db->engine() == store::Engine::kSqlite) {
      try {
        db->ExecuteScript("PRAGMA journal_mode=WAL");
      } catch (const store::DatabaseError& e) {
        if (!e.unavailable()) throw;
      }
    }
  }
  impl_->SetUpRoutes();
}

WebServer::~WebServer() { Stop(); }

int WebServer::Bind() {
  const ServerOptions& options = impl_->options;
  if (options.port == 0) {
    const int port = impl_->http.bind_to_any_port(options.host);
    if (port < 0) throw Error("cannot listen on " + options.host);
    return port;
  }
  if (!impl_->http.bind_to_port(options.host, options.port)) {
    throw Error("cannot listen on " + options.host + ":" + std::to_string(options.port));
  }
  return options.port;
}

bool WebServer::Listen() {
  impl_->listening = true;
  if (impl_->stop_requested) {
    impl_->listening = false;
    return true;
  }
  const bool served = impl_->http.listen_after_bind();
  impl_->listening = false;
  return served || impl_->stop_requested;
}

void WebServer::Stop() {
  impl_->stop_requested = true;
  // The server's stop only works once its loop runs; Listen may be just
  // about to enter it.
  while (impl_->listening) {
    impl_->http.stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

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
