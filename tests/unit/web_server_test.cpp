// The web host over HTTP: sign-in and sign-out, who may see which page,
// bad query values, CSRF, the day editor, the privacy of private plans,
// error pages and parallel requests.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "web/i18n/catalogue.h"
#include "web/pages/signin_page.h"
#include "test_support.h"

namespace ostrand::web {
namespace {

using testing::Browser;
using testing::kLi;
using testing::kPassword;
using testing::kWang;
using testing::kZhang;
using testing::RunningServer;
using testing::TempDir;

using test_support::Contains;

class WebServerTest : public ::testing::Test {
 protected:
  WebServerTest() {
    testing::WriteFixture(path_);
    ServerOptions options = testing::TestOptions(path_);
    options.access_log = &log_;
    server_ = std::make_unique<RunningServer>(std::move(options));
  }

  // A browser signed in as the person.
  std::unique_ptr<Browser> SignedIn(int person) {
    auto browser = std::make_unique<Browser>(server_->port());
    const testing::Result result = browser->SignIn(std::to_string(person), kPassword);
    EXPECT_TRUE(result && result->status == 303);
    return browser;
  }

  int StatusOf(Browser& browser, const std::string& path) {
    const testing::Result result = browser.Get(path);
    return result ? result->status : -1;
  }

  const TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::ostringstream log_;
  std::unique_ptr<RunningServer> server_;
};

TEST_F(WebServerTest, PagesAskForSignInAndReturnAfterwards) {
  Browser browser(server_->port());
  const testing::Result root = browser.Get("/");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->status, 303);
  EXPECT_EQ(root->get_header_value("Location"), "/schedule/personMonth.asp");

  const testing::Result page = browser.Get("/schedule/personWeek.asp?dt=2001-12-5");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 303);
  EXPECT_EQ(page->get_header_value("Location"),
            "/login?next=/schedule/personWeek.asp%3Fdt%3D2001-12-5");

  const testing::Result signed_in =
      browser.SignIn("李科员", kPassword, "/schedule/personWeek.asp?dt=2001-12-5");
  ASSERT_TRUE(signed_in);
  EXPECT_EQ(signed_in->status, 303);
  EXPECT_EQ(signed_in->get_header_value("Location"), "/schedule/personWeek.asp?dt=2001-12-5");
  const std::string cookie = signed_in->get_header_value("Set-Cookie");
  EXPECT_TRUE(Contains(cookie, "HttpOnly")) << cookie;
  EXPECT_TRUE(Contains(cookie, "SameSite=Lax")) << cookie;
  EXPECT_TRUE(Contains(cookie, "Max-Age=43200")) << cookie;

  // The page records itself in the session, which renews the cookie once;
  // the same page again leaves the cookie as it is.
  const testing::Result first = browser.Get("/schedule/personWeek.asp?dt=2001-12-5");
  const testing::Result again = browser.Get("/schedule/personWeek.asp?dt=2001-12-6");
  ASSERT_TRUE(first && again);
  EXPECT_EQ(first->status, 200);
  EXPECT_EQ(first->get_header_value_count("Set-Cookie"), 1u);
  EXPECT_EQ(again->status, 200);
  EXPECT_EQ(again->get_header_value_count("Set-Cookie"), 0u);

  // A next page elsewhere is not followed.
  Browser other(server_->port());
  const testing::Result away = other.SignIn("2", kPassword, "https://example.com/");
  ASSERT_TRUE(away);
  EXPECT_EQ(away->get_header_value("Location"), "/schedule/personMonth.asp");
}

TEST_F(WebServerTest, FailedSignInsLookTheSame) {
  Browser browser(server_->port());
  const testing::Result unknown = browser.SignIn("nobody", kPassword);
  const testing::Result wrong = browser.SignIn("2", "wrong password");
  ASSERT_TRUE(unknown && wrong);
  EXPECT_EQ(unknown->status, 403);
  EXPECT_EQ(wrong->status, 403);
  EXPECT_TRUE(Contains(unknown->body, std::string(Text(kDefaultLanguage, MessageId::kSignInFailed))));
  EXPECT_TRUE(Contains(wrong->body, std::string(Text(kDefaultLanguage, MessageId::kSignInFailed))));
  EXPECT_EQ(browser.cookies().count("ostrand_session"), 0u);
  EXPECT_EQ(StatusOf(browser, "/schedule/personMonth.asp"), 303);

  // A sign-in post that did not come from our form: no matching token, or
  // a planted cookie and field of equal value that we never issued.
  Browser stranger(server_->port());
  const testing::Result forged =
      stranger.Post("/login", {{"person", "2"}, {"password", kPassword}, {"signin", "x"}});
  ASSERT_TRUE(forged);
  EXPECT_EQ(forged->status, 403);
  stranger.cookies()["ostrand_signin"] = "abc";
  const testing::Result planted =
      stranger.Post("/login", {{"person", "2"}, {"password", kPassword}, {"signin", "abc"}});
  ASSERT_TRUE(planted);
  EXPECT_EQ(planted->status, 403);
  EXPECT_EQ(stranger.cookies().count("ostrand_session"), 0u);
}

TEST_F(WebServerTest, RepeatedFailuresWaitPerAddressNotForEveryone) {
  Browser guesser(server_->port());
  for (int i = 0; i < 3; ++i) {
    const testing::Result wrong = guesser.SignIn("2", "wrong");
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 403) << i;
  }
  // The next attempt from there waits, even with the right password.
  const testing::Result held = guesser.SignIn("2", kPassword);
  ASSERT_TRUE(held);
  EXPECT_EQ(held->status, 429);
  EXPECT_EQ(held->get_header_value("Retry-After"), "1");
  EXPECT_TRUE(Contains(held->body, "尝试次数过多，请 1 秒后再试。"));
  EXPECT_EQ(guesser.cookies().count("ostrand_session"), 0u);

  // The person signs in from elsewhere at once.
  Browser person(server_->port(), "127.0.0.2");
  const testing::Result signed_in = person.SignIn("2", kPassword);
  ASSERT_TRUE(signed_in);
  EXPECT_EQ(signed_in->status, 303);
}

// Guessers that keep failing from one address on `account()`, each in a
// browser of its own, until the object goes; they pause after a refusal.
class SharedAddressGuessers {
 public:
  SharedAddressGuessers(int port, int count) {
    for (int i = 0; i < count; ++i) {
      threads_.emplace_back([this, port, i] {
        Browser guesser(port);
        while (!stop_) {
          const bool own = own_;
          const testing::Result result = guesser.SignIn(account(i), "guess");
          if (result && result->status == 403) ++(own ? own_failures_ : failures_);
          if (!result || result->status != 403) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
        }
      });
    }
  }
  ~SharedAddressGuessers() {
    stop_ = true;
    for (std::thread& thread : threads_) thread.join();
  }
  // Guesser i's account: one of a few others, or the person's own.
  std::string account(int i) const {
    return own_ ? std::to_string(kLi) : std::vector<std::string>{"1", "3", "nobody"}[i % 3];
  }
  void TurnTo(int person) {
    own_ = person == kLi;
  }
  // Waits (a minute at most) until `count` guesses on the current
  // accounts were checked and found wrong.
  void WaitForFailures(int count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((own_ ? own_failures_ : failures_) < count && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<bool> own_{false};
  std::atomic<int> failures_{0};
  std::atomic<int> own_failures_{0};
  std::vector<std::thread> threads_;
};

TEST_F(WebServerTest, GuessersBehindTheSameAddressCannotLockThePersonOut) {
  // An address and account reach their cap after four failures, so that
  // what is held stays held while the test looks.
  ServerOptions options = testing::TestOptions(path_);
  options.signin_throttle.pair.cap = 4;
  RunningServer server(std::move(options));
  std::optional<SharedAddressGuessers> guessers(std::in_place, server.port(), 30);
  // Others' accounts: the person's first sign-in from that address works.
  guessers->WaitForFailures(12);
  Browser person(server.port());
  const testing::Result first = person.SignIn(std::to_string(kLi), kPassword);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 303);
  ASSERT_EQ(person.cookies().count("ostrand_device"), 1u);
  const std::string device = person.cookies()["ostrand_device"];

  // A device cookie of another account, from elsewhere.
  Browser wang(server.port(), "127.0.0.2");
  ASSERT_EQ(wang.SignIn(std::to_string(kWang), kPassword)->status, 303);
  const std::string wangs_device = wang.cookies()["ostrand_device"];

  // The person's own account: a new browser from there is held, the one
  // that signed in before is not; a forged cookie or another account's
  // proves nothing.
  guessers->TurnTo(kLi);
  guessers->WaitForFailures(4);
  EXPECT_EQ(person.SignIn(std::to_string(kLi), kPassword)->status, 303);
  std::string forged = device;
  forged[forged.size() / 2] = forged[forged.size() / 2] == 'A' ? 'B' : 'A';
  for (const std::string& cookie : {std::string(), forged, wangs_device}) {
    Browser other(server.port());
    if (!cookie.empty()) other.cookies()["ostrand_device"] = cookie;
    const testing::Result held = other.SignIn(std::to_string(kLi), kPassword);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->status, 429) << cookie;
  }
}

TEST_F(WebServerTest, ControlCharactersInNextLeadToTheMonthPage) {
  Browser browser(server_->port());
  for (const std::string code : {"%00", "%0d%0a", "%09", "%7f", "%c2%85", "%85", "%5c"}) {
    const testing::Result switched =
        browser.Get("/language?to=en&next=/schedule/personMonth.asp" + code + "x");
    ASSERT_TRUE(switched);
    EXPECT_EQ(switched->status, 303) << code;
    EXPECT_EQ(switched->get_header_value("Location"), "/schedule/personMonth.asp") << code;
    const testing::Result to_signin =
        browser.Get("/language?to=en&next=/login%3Fnext%3D" + code);
    ASSERT_TRUE(to_signin);
    EXPECT_EQ(to_signin->get_header_value("Location"), "/schedule/personMonth.asp") << code;
  }
  using namespace std::string_literals;
  const testing::Result signed_in =
      browser.SignIn("2", kPassword, "/schedule/personWeek.asp\0x"s);
  ASSERT_TRUE(signed_in);
  EXPECT_EQ(signed_in->status, 303);
  EXPECT_EQ(signed_in->get_header_value("Location"), "/schedule/personMonth.asp");
  EXPECT_EQ(StatusOf(browser, "/schedule/personWeek.asp"), 200) << "signed in";
}

TEST_F(WebServerTest, PagesCarryAContentSecurityPolicy) {
  const testing::Result form = Browser(server_->port()).Get("/login");
  // The form is in the visitor's language.
  EXPECT_EQ(form->get_header_value("Vary"), "Accept-Language, Cookie");
  const std::string signin = form->get_header_value("Content-Security-Policy");
  for (const char* part : {"default-src 'self'", "script-src 'self';", "object-src 'none'",
                           "base-uri 'none'", "frame-ancestors 'none'", "form-action 'self'"}) {
    EXPECT_TRUE(Contains(signin, part)) << part << " in " << signin;
  }
  // The component's style element (as parsed: LF for CR LF) and style
  // attributes, by their hashes.
  EXPECT_TRUE(Contains(signin, "'sha256-nYB6ZcWCnalw5feORkrlYujqg6bNymogU8hHDoeH4Jo='")) << signin;
  EXPECT_TRUE(Contains(signin, "'sha256-nMxMqdZhkHxz5vAuW/PAoLvECzzsmeAxD/BNwG15HuA='")) << signin;
  const auto li = SignedIn(kLi);
  const testing::Result month = li->Get("/schedule/personMonth.asp");
  EXPECT_TRUE(Contains(month->get_header_value("Content-Security-Policy"),
                       "script-src 'self' 'unsafe-inline';"));
  EXPECT_TRUE(Contains(li->Get("/schedule/manage.asp?personID=2&dt=2001-12-20")
                           ->get_header_value("Content-Security-Policy"),
                       "script-src 'self';"))
      << "only the pages with the component's day script allow inline script";
}

TEST_F(WebServerTest, BehindTlsEveryCookieIsSecureAndHstsIsSent) {
  EXPECT_EQ(Browser(server_->port()).Get("/login")->get_header_value_count("Strict-Transport-Security"),
            0u);
  for (const bool flag : {true, false}) {
    ServerOptions options = testing::TestOptions(path_);
    if (flag) {
      options.secure_cookies = true;
    } else {
      options.public_url = "https://plans.example.org";
    }
    RunningServer server(std::move(options));
    Browser browser(server.port());
    const testing::Result signed_in = browser.SignIn("2", kPassword);
    const testing::Result switched = browser.Get("/language?to=en&next=/schedule/personMonth.asp");
    const testing::Result missing = browser.Get("/nowhere");
    ASSERT_TRUE(signed_in && switched && missing);
    std::size_t cookies = 0;
    for (const testing::Result* result : {&signed_in, &switched}) {
      for (std::size_t i = 0; i < (*result)->get_header_value_count("Set-Cookie"); ++i, ++cookies) {
        const std::string cookie = (*result)->get_header_value("Set-Cookie", i);
        EXPECT_TRUE(cookie.ends_with("; Secure")) << cookie;
      }
    }
    EXPECT_EQ(cookies, 4u) << "session, sign-in form, device, language";
    for (const testing::Result* result : {&signed_in, &missing}) {
      EXPECT_EQ((*result)->get_header_value("Strict-Transport-Security"), "max-age=31536000");
    }
  }
}

// No text of one language's catalogue on a page of the other (only texts
// long enough not to occur by chance in markup or names).
void ExpectNoTextOf(Language other, const std::string& page, const std::string& where) {
  for (const CatalogueEntry& entry : CatalogueOf(other)) {
    if (entry.text.size() < 6 || entry.text.find('{') != std::string_view::npos) continue;
    EXPECT_FALSE(Contains(page, std::string(entry.text))) << where << ": " << entry.text;
  }
}

TEST_F(WebServerTest, TheLanguageSwitchIsRememberedOnEveryPage) {
  Browser browser(server_->port());
  const testing::Result chinese = browser.Get("/login?next=/schedule/personWeek.asp");
  ASSERT_TRUE(chinese);
  EXPECT_TRUE(Contains(chinese->body, "<html lang=\"zh-CN\">"));
  EXPECT_TRUE(Contains(chinese->body,
                       "href=\"/language?to=en&amp;next=/login%3Fnext%3D/schedule/personWeek.asp\""))
      << chinese->body;

  const testing::Result switched =
      browser.Get("/language?to=en&next=/login%3Fnext%3D/schedule/personWeek.asp");
  ASSERT_TRUE(switched);
  EXPECT_EQ(switched->status, 303);
  EXPECT_EQ(switched->get_header_value("Location"), "/login?next=/schedule/personWeek.asp");
  EXPECT_EQ(browser.cookies()["lang"], "en");

  const testing::Result wrong = browser.SignIn("2", "wrong password");
  ASSERT_TRUE(wrong);
  EXPECT_TRUE(Contains(wrong->body, "<html lang=\"en\">"));
  EXPECT_TRUE(Contains(wrong->body, std::string(Text(Language::kEnglish, MessageId::kSignInFailed))));
  ExpectNoTextOf(Language::kChinese, wrong->body, "sign-in");
  ASSERT_TRUE(browser.SignIn("2", kPassword));
  for (const char* path : {"/schedule/manage.asp?personID=2&dt=2001-12-20",
                           "/schedule/personMonth.asp?personID=99", "/schedule/nosuch.asp",
                           "/schedule/personMonth.asp?dt=tomorrow", "/logout"}) {
    const testing::Result page = browser.Get(path);
    ASSERT_TRUE(page) << path;
    EXPECT_TRUE(Contains(page->body, "<html lang=\"en\">")) << path;
    ExpectNoTextOf(Language::kChinese, page->body, path);
  }
  EXPECT_TRUE(Contains(browser.Get("/schedule/manage.asp?personID=2&dt=2001-12-20")->body,
                       "Thursday, 20 December 2001"));

  // Back to Chinese; a foreign next page or an unknown language changes
  // nothing else.
  const testing::Result back = browser.Get("/language?to=zh&next=https://example.com/");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->get_header_value("Location"), "/schedule/personMonth.asp");
  ASSERT_TRUE(browser.Get("/language?to=xx&next=/schedule/personWeek.asp"));
  EXPECT_EQ(browser.cookies()["lang"], "zh");
  const testing::Result editor = browser.Get("/schedule/manage.asp?personID=2&dt=2001-12-20");
  ASSERT_TRUE(editor);
  EXPECT_TRUE(Contains(editor->body, "2001年12月20日 星期四"));
  ExpectNoTextOf(Language::kEnglish, editor->body, "editor");
}

TEST_F(WebServerTest, TamperedCookieIsNoSession) {
  const auto browser = SignedIn(kLi);
  std::string& cookie = browser->cookies()["ostrand_session"];
  ASSERT_FALSE(cookie.empty());
  cookie[cookie.size() / 2] = cookie[cookie.size() / 2] == 'x' ? 'y' : 'x';
  const testing::Result result = browser->Get("/schedule/manage.asp?personID=2&dt=2001-12-5");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 303);
  EXPECT_EQ(result->get_header_value("Location").rfind("/login?next=", 0), 0u);
  EXPECT_EQ(browser->cookies().count("ostrand_session"), 0u) << "the bad cookie is cleared";
}

TEST_F(WebServerTest, SignOutNeedsTheTokenAndEndsTheSession) {
  const auto browser = SignedIn(kLi);
  const auto other_browser = SignedIn(kLi);
  const testing::Result confirm = browser->Get("/logout");
  ASSERT_TRUE(confirm);
  ASSERT_EQ(confirm->status, 200);
  const std::string token = Browser::FieldValue(confirm->body, "csrf");
  ASSERT_FALSE(token.empty());

  const testing::Result forged = browser->Post("/logout", {{"csrf", "forged"}});
  ASSERT_TRUE(forged);
  EXPECT_EQ(forged->status, 403);
  EXPECT_EQ(StatusOf(*browser, "/schedule/manage.asp?dt=2001-12-5"), 200);

  const std::string cookie = browser->cookies()["ostrand_session"];
  const testing::Result out = browser->Post("/logout", {{"csrf", token}});
  ASSERT_TRUE(out);
  EXPECT_EQ(out->status, 303);
  EXPECT_EQ(browser->cookies().count("ostrand_session"), 0u);
  EXPECT_EQ(StatusOf(*browser, "/schedule/manage.asp?dt=2001-12-5"), 303);
  // The old cookie, kept and sent again, opens nothing; nor do the person's
  // other sessions.
  browser->cookies()["ostrand_session"] = cookie;
  EXPECT_EQ(StatusOf(*browser, "/schedule/manage.asp?dt=2001-12-5"), 303);
  EXPECT_EQ(StatusOf(*other_browser, "/schedule/manage.asp?dt=2001-12-5"), 303);
  EXPECT_EQ(StatusOf(*SignedIn(kLi), "/schedule/manage.asp?dt=2001-12-5"), 200);
}

TEST_F(WebServerTest, NewPasswordsAndTheOperatorEndSessions) {
  const std::string page = "/schedule/personMonth.asp?dt=2001-12-5";
  const auto li = SignedIn(kLi);
  const auto zhang = SignedIn(kZhang);
  const auto wang = SignedIn(kWang);
  {
    SetPassword(*store::Connect("sqlite:" + path_), kLi, kPassword, PasswordLimits::Minimal());
  }
  EXPECT_EQ(StatusOf(*li, page), 303) << "a new password ends the person's sessions";
  EXPECT_EQ(StatusOf(*zhang, page), 200);

  const TempDir run_dir;
  const test_support::Outcome one =
      test_support::RunOstrand(run_dir, {"signout", "--db", "sqlite:" + path_, "1"});
  EXPECT_EQ(one.exit_code, 0) << one.err;
  EXPECT_EQ(one.out, "ended every session of person 1\n");
  EXPECT_EQ(StatusOf(*zhang, page), 303);
  EXPECT_EQ(StatusOf(*wang, page), 200);
  const auto li_again = SignedIn(kLi);
  EXPECT_EQ(StatusOf(*li_again, page), 200);

  const test_support::Outcome all =
      test_support::RunOstrand(run_dir, {"signout", "--db", "sqlite:" + path_, "--all"});
  EXPECT_EQ(all.exit_code, 0) << all.err;
  EXPECT_EQ(StatusOf(*wang, page), 303);
  EXPECT_EQ(StatusOf(*li_again, page), 303);
  EXPECT_EQ(StatusOf(*SignedIn(kWang), page), 200) << "signing in again works";

  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"signout", "--db", "sqlite:" + path_},
        std::vector<std::string>{"signout", "--db", "sqlite:" + path_, "2", "--all"},
        std::vector<std::string>{"signout", "--db", "sqlite:" + path_, "99"}}) {
    const test_support::Outcome wrong = test_support::RunOstrand(run_dir, words);
    EXPECT_EQ(wrong.exit_code, 1);
    EXPECT_EQ(wrong.err.rfind("ostrand: ", 0), 0u) << wrong.err;
  }
}

TEST_F(WebServerTest, OnlyAllowedPagesOpen) {
  const auto li = SignedIn(kLi);
  EXPECT_EQ(StatusOf(*li, "/schedule/personMonth.asp?personID=3"), 403) << "another system";
  EXPECT_EQ(StatusOf(*li, "/schedule/personWeek.asp?personID=3"), 403);
  EXPECT_EQ(StatusOf(*li, "/schedule/personMonth.asp?personID=77"), 404);
  for (const char* page : {"leaderMonth", "leaderWeek", "leader2Month", "leader2Week"}) {
    EXPECT_EQ(StatusOf(*li, std::string("/schedule/") + page + ".asp"), 403) << page;
  }
  EXPECT_EQ(StatusOf(*li, "/schedule/manage.asp?personID=1&dt=2001-12-5"), 403);
  EXPECT_EQ(StatusOf(*li, "/schedule/manage.asp?personID=2&dt=2001-12-5"), 200);
  EXPECT_EQ(StatusOf(*li, "/schedule/nothing.asp"), 404);

  const auto wang = SignedIn(kWang);
  EXPECT_EQ(StatusOf(*wang, "/schedule/personWeek.asp?personID=2"), 403);
}

TEST_F(WebServerTest, BadQueryValuesAreBadRequests) {
  const auto zhang = SignedIn(kZhang);
  for (const char* path :
       {"/schedule/personMonth.asp?dt=2001-13-45", "/schedule/personWeek.asp?dt=tomorrow",
        "/schedule/leaderMonth.asp?dt=12", "/schedule/personMonth.asp?personID=abc",
        "/schedule/personMonth.asp?personID=1%20or%201=1", "/schedule/leaderWeek.asp?personID=-1",
        "/schedule/manage.asp?personID=1&dt=2001-02-30", "/schedule/manage.asp?personID=1.5",
        "/schedule/personMonth.asp?personID=99999999999999999999",
        "/schedule/personWeek.asp?personID=2147483648",
        "/schedule/manage.asp?personID=1&dt=2001-12-5&planID=99999999999999999999",
        "/schedule/personMonth.asp?dt=2001-12-99999999999999999999"}) {
    const testing::Result result = zhang->Get(path);
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->status, 400) << path;
  }
  const testing::Result result = zhang->Get("/schedule/personMonth.asp?dt=%3Cb%3E");
  ASSERT_TRUE(result);
  EXPECT_TRUE(Contains(result->body, "&lt;b&gt;")) << "the bad value is shown escaped";
  EXPECT_FALSE(Contains(result->body, "<b>"));
}

// The editor's form of a page, ready to post back.
testing::Params PlanForm(const std::string& csrf, const std::string& content,
                         const std::string& flag = "1") {
  return {{"csrf", csrf},
          {"action", "save"},
          {"planID", ""},
          {"start", "2001-12-20T09:00"},
          {"end", "2001-12-20T11:30"},
          {"kind", "2"},
          {"place", "2"},
          {"detail", "二楼"},
          {"content", content},
          {"addition", "带电脑"},
          {"flag", flag}};
}

TEST_F(WebServerTest, EditorPostsNeedTheSessionsToken) {
  const auto li = SignedIn(kLi);
  const std::string editor = "/schedule/manage.asp?personID=2&dt=2001-12-20";
  for (const std::string token : {"", "forged"}) {
    const testing::Result result = li->Post(editor, PlanForm(token, "伪造的日程"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 403);
  }
  // Another person's token does not serve either.
  const auto zhang = SignedIn(kZhang);
  const testing::Result zhang_page = zhang->Get("/schedule/manage.asp?dt=2001-12-20");
  const std::string zhang_token = Browser::FieldValue(zhang_page->body, "csrf");
  const testing::Result result = li->Post(editor, PlanForm(zhang_token, "伪造的日程"));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 403);

  const testing::Result day = li->Get(editor);
  ASSERT_TRUE(day);
  EXPECT_FALSE(Contains(day->body, "伪造的日程"));
}

TEST_F(WebServerTest, EditorAddsChangesAndDeletesOwnPlans) {
  const auto li = SignedIn(kLi);
  const std::string editor = "/schedule/manage.asp?personID=2&dt=2001-12-20";
  const testing::Result form = li->Get(editor);
  ASSERT_TRUE(form);
  ASSERT_EQ(form->status, 200);
  const std::string csrf = Browser::FieldValue(form->body, "csrf");

  const testing::Result added = li->Post(editor, PlanForm(csrf, "新增<季度>总结"));
  ASSERT_TRUE(added);
  ASSERT_EQ(added->status, 303) << added->body;
  EXPECT_TRUE(added->get_header_value("Location").starts_with(editor + "&saved="));

  const testing::Result day = li->Get(editor);
  ASSERT_TRUE(day);
  EXPECT_TRUE(Contains(day->body, "新增&lt;季度&gt;总结"));
  EXPECT_TRUE(Contains(day->body, "09:00–11:30"));
  const std::regex edit_link("planID=([0-9]+)\">修改");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(day->body, match, edit_link));
  const std::string plan_id = match[1].str();

  // Change it into a private plan two days long.
  testing::Params change = PlanForm(csrf, "改过的总结", "2");
  change.erase("planID");
  change.emplace("planID", plan_id);
  change.erase("end");
  change.emplace("end", "2001-12-21T10:00");
  const testing::Result changed = li->Post(editor, change);
  ASSERT_TRUE(changed);
  EXPECT_EQ(changed->status, 303);
  const testing::Result next_day = li->Get("/schedule/manage.asp?personID=2&dt=2001-12-21");
  EXPECT_TRUE(Contains(next_day->body, "改过的总结"));
  EXPECT_TRUE(Contains(next_day->body, "个人"));

  // Someone else cannot change or delete it through their own editor.
  const auto zhao = SignedIn(testing::kZhao);
  const testing::Result zhao_page = zhao->Get("/schedule/manage.asp?dt=2001-12-20");
  const std::string zhao_csrf = Browser::FieldValue(zhao_page->body, "csrf");
  const testing::Result stolen =
      zhao->Post("/schedule/manage.asp?dt=2001-12-20",
                 {{"csrf", zhao_csrf}, {"action", "delete"}, {"planID", plan_id}});
  ASSERT_TRUE(stolen);
  EXPECT_EQ(stolen->status, 404);
  EXPECT_EQ(StatusOf(*zhao, "/schedule/manage.asp?dt=2001-12-20&planID=" + plan_id), 404);

  const testing::Result deleted =
      li->Post(editor, {{"csrf", csrf}, {"action", "delete"}, {"planID", plan_id}});
  ASSERT_TRUE(deleted);
  EXPECT_EQ(deleted->status, 303);
  EXPECT_FALSE(Contains(li->Get(editor)->body, "改过的总结"));
}

TEST_F(WebServerTest, InvalidEditorInputKeepsEverythingTyped) {
  const auto li = SignedIn(kLi);
  const std::string editor = "/schedule/manage.asp?personID=2&dt=2001-12-20";
  const std::string csrf = Browser::FieldValue(li->Get(editor)->body, "csrf");

  testing::Params backwards = PlanForm(csrf, "保留<我>的内容", "2");
  backwards.erase("end");
  backwards.emplace("end", "2001-12-19T08:00");
  const testing::Result result = li->Post(editor, backwards);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 400);
  EXPECT_TRUE(Contains(result->body, "结束时间早于开始时间"));
  EXPECT_TRUE(Contains(result->body, "value=\"保留&lt;我&gt;的内容\""));
  EXPECT_TRUE(Contains(result->body, "value=\"二楼\""));
  EXPECT_TRUE(Contains(result->body, "value=\"带电脑\""));
  EXPECT_TRUE(Contains(result->body, "value=\"2001-12-20T09:00\""));
  EXPECT_TRUE(Contains(result->body, "value=\"2001-12-19T08:00\""));
  EXPECT_TRUE(Contains(result->body, "<option value=\"2\" selected>发改委"));
  EXPECT_TRUE(Contains(result->body, "value=\"2\" checked"));

  testing::Params unreadable = PlanForm(csrf, "内容");
  unreadable.erase("start");
  unreadable.emplace("start", "2001-02-30T09:00");
  unreadable.erase("place");
  unreadable.emplace("place", "");
  const testing::Result second = li->Post(editor, unreadable);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->status, 400);
  EXPECT_TRUE(Contains(second->body, "2001-02-30T09:00"));
  EXPECT_TRUE(Contains(second->body, "请选择地点。"));

  testing::Params wrong_kind = PlanForm(csrf, "内容");
  wrong_kind.erase("kind");
  wrong_kind.emplace("kind", "4");
  const testing::Result third = li->Post(editor, wrong_kind);
  ASSERT_TRUE(third);
  EXPECT_EQ(third->status, 400);

  // Texts beyond the limit are refused, and still kept in the form.
  const std::string long_content(501, 'x');
  const testing::Result too_long = li->Post(editor, PlanForm(csrf, long_content));
  ASSERT_TRUE(too_long);
  EXPECT_EQ(too_long->status, 400);
  EXPECT_TRUE(Contains(too_long->body, "内容超过 500 个字。"));
  EXPECT_TRUE(Contains(too_long->body, "value=\"" + long_content + "\""));
  std::string five_hundred;
  for (int i = 0; i < 500; ++i) five_hundred += "字";
  const testing::Result at_limit = li->Post(editor, PlanForm(csrf, five_hundred));
  ASSERT_TRUE(at_limit);
  EXPECT_EQ(at_limit->status, 303) << "500 characters of three bytes each are fine";

  EXPECT_FALSE(Contains(li->Get(editor)->body, "<td>内容</td>")) << "nothing was stored";
  EXPECT_FALSE(Contains(li->Get(editor)->body, long_content));
}

TEST_F(WebServerTest, EditorBoundsPlansPerDayAndDaysPerPlan) {
  ServerOptions options = testing::TestOptions(path_);
  options.max_plans_per_day = 2;
  options.max_plan_days = 3;
  RunningServer bounded(std::move(options));
  Browser li(bounded.port());
  ASSERT_EQ(li.SignIn("2", kPassword)->status, 303);
  const std::string editor = "/schedule/manage.asp?personID=2&dt=2001-12-20";
  const std::string csrf = Browser::FieldValue(li.Get(editor)->body, "csrf");
  const auto post = [&](const std::string& content, const std::string& start,
                        const std::string& end, const std::string& plan_id = "") {
    testing::Params form = PlanForm(csrf, content);
    form.erase("start");
    form.erase("end");
    form.erase("planID");
    form.emplace("start", start);
    form.emplace("end", end);
    form.emplace("planID", plan_id);
    return li.Post(editor, form);
  };
  EXPECT_EQ(post("一", "2001-12-20T09:00", "2001-12-20T10:00")->status, 303);
  EXPECT_EQ(post("二", "2001-12-18T09:00", "2001-12-20T10:00")->status, 303);
  // A third plan touching the 20th is refused, naming the day.
  const testing::Result third = post("三", "2001-12-20T11:00", "2001-12-22T10:00");
  ASSERT_TRUE(third);
  EXPECT_EQ(third->status, 400);
  EXPECT_TRUE(Contains(third->body, "2001年12月20日已有 2 条日程")) << third->body;
  EXPECT_TRUE(Contains(third->body, "value=\"三\"")) << "what was typed is kept";
  EXPECT_EQ(post("三", "2001-12-21T11:00", "2001-12-22T10:00")->status, 303);
  // A plan of the full day can still be changed; it does not count itself.
  const std::regex edit_link("planID=([0-9]+)\">修改");
  std::smatch match;
  const std::string day = li.Get(editor)->body;
  ASSERT_TRUE(std::regex_search(day, match, edit_link));
  EXPECT_EQ(post("一改", "2001-12-20T08:00", "2001-12-20T10:00", match[1].str())->status, 303);
  // Three days at most.
  const testing::Result long_plan = post("长", "2001-12-23T09:00", "2001-12-26T10:00");
  ASSERT_TRUE(long_plan);
  EXPECT_EQ(long_plan->status, 400);
  EXPECT_TRUE(Contains(long_plan->body, "日程跨越 4 天，最长 3 天。")) << long_plan->body;

  // Plans written by other programs beyond the limit are still all shown.
  {
    const std::unique_ptr<store::Connection> db = store::Connect("sqlite:" + path_);
    for (int i = 0; i < 4; ++i) {
      db->ExecuteScript(
          "INSERT INTO personPlan (personID, planStartTime, planEndTime, planAddrTypeID, "
          "planAddrID, planContent, planFlagID) VALUES (2, '2001-12-27 09:00:00', "
          "'2001-12-27 10:00:00', 1, 1, '外部" +
          std::to_string(i) + "', 1)");
    }
  }
  const std::string outside = li.Get("/schedule/manage.asp?personID=2&dt=2001-12-27")->body;
  const std::string month = li.Get("/schedule/personMonth.asp?dt=2001-12-27")->body;
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(Contains(outside, "外部" + std::to_string(i)));
    EXPECT_TRUE(Contains(month, "外部" + std::to_string(i)));
  }
}

TEST_F(WebServerTest, ControlCharactersNeitherGoInNorComeOut) {
  using namespace std::string_literals;
  const auto li = SignedIn(kLi);
  const std::string editor = "/schedule/manage.asp?personID=2&dt=2001-12-20";
  const std::string csrf = Browser::FieldValue(li->Get(editor)->body, "csrf");
  testing::Params form = PlanForm(csrf, "内容\0有空字符"s);
  form.erase("detail");
  form.emplace("detail", "二楼\r\n三楼");
  form.erase("addition");
  form.emplace("addition", "\x1b[31m红色");
  const testing::Result refused = li->Post(editor, form);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 400);
  for (const char* field : {"详细地点", "内容", "附加"}) {
    EXPECT_TRUE(Contains(refused->body, std::string(field) + "含有控制字符")) << field;
  }
  EXPECT_EQ(refused->body.find_first_of("\0\x1b"s), std::string::npos) << "nor echoed raw";
  EXPECT_EQ(li->Post(editor, PlanForm(csrf, "制表符\t可以"))->status, 303);
  // Bytes that are no UTF-8 are refused by the field's name, and so is
  // U+2028, a line break.
  testing::Params broken = PlanForm(csrf, "坏\xff字节");
  broken.erase("detail");
  broken.emplace("detail", "一行\u2028两行");
  const testing::Result unreadable = li->Post(editor, broken);
  ASSERT_TRUE(unreadable);
  EXPECT_EQ(unreadable->status, 400);
  EXPECT_TRUE(Contains(unreadable->body, "内容不是有效的 UTF-8 文字")) << unreadable->body;
  EXPECT_TRUE(Contains(unreadable->body, "详细地点含有控制字符"));
  EXPECT_EQ(unreadable->body.find('\xff'), std::string::npos) << "nor echoed raw";

  // Text other programs stored with control characters shows replaced.
  {
    store::Connect("sqlite:" + path_)->ExecuteScript(
        "INSERT INTO personPlan (personID, planStartTime, planEndTime, planAddrTypeID, "
        "planAddrID, planAddrDetail, planContent, planAddition, planFlagID) VALUES (2, "
        "'2001-12-21 09:00:00', '2001-12-21 10:00:00', 1, 1, 'a' || char(0) || 'b', "
        "'旧' || char(27) || '数据', 'x' || char(10) || 'y', 1)");
  }
  for (const std::string page :
       {"/schedule/manage.asp?personID=2&dt=2001-12-21", "/schedule/personMonth.asp?dt=2001-12-21",
        "/schedule/personWeek.asp?dt=2001-12-21"}) {
    const std::string body = li->Get(page)->body;
    EXPECT_TRUE(Contains(body, "旧\uFFFD数据")) << page;
    EXPECT_EQ(body.find_first_of("\0\x1b"s), std::string::npos) << page;
  }
  const std::string leader = SignedIn(kZhang)->Get("/schedule/leaderMonth.asp?dt=2001-12-21")->body;
  EXPECT_TRUE(Contains(leader, "旧\uFFFD数据")) << "the leader's summary too";
  EXPECT_EQ(leader.find_first_of("\0\x1b"s), std::string::npos);
}

TEST_F(WebServerTest, ImagesAndStylesheetNeedNoSignIn) {
  Browser browser(server_->port());
  const testing::Result css = browser.Get("/static/ostrand.css");
  ASSERT_TRUE(css);
  EXPECT_EQ(css->status, 200);
  EXPECT_EQ(css->get_header_value("Content-Type").rfind("text/css", 0), 0u);
  const testing::Result gif = browser.Get("/Images/jian1.gif");
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->status, 200);
  EXPECT_EQ(gif->body.rfind("GIF89a", 0), 0u);
  const testing::Result icon = browser.Get("/favicon.ico");
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->status, 200);
  EXPECT_EQ(icon->get_header_value("Content-Type"), "image/x-icon");
  testing::HttpClient client(server_->port());
  const testing::Result part = client.Get("/static/ostrand.css", {{"Range", "bytes=-10"}});
  ASSERT_TRUE(part);
  EXPECT_EQ(part->status, 206);
  EXPECT_EQ(part->body, css->body.substr(css->body.size() - 10));
  EXPECT_EQ(part->get_header_value("Content-Range"),
            "bytes " + std::to_string(css->body.size() - 10) + "-" +
                std::to_string(css->body.size() - 1) + "/" + std::to_string(css->body.size()));
  const testing::Result beyond = client.Get("/Images/jian1.gif", {{"Range", "bytes=5000-"}});
  ASSERT_TRUE(beyond);
  EXPECT_EQ(beyond->status, 416);
  const testing::Result posted = client.Post("/favicon.ico", {});
  ASSERT_TRUE(posted);
  EXPECT_EQ(posted->status, 405);
  EXPECT_EQ(posted->get_header_value("Allow"), "GET, HEAD");
  EXPECT_EQ(StatusOf(browser, "/Images/../static/ostrand.css"), 404);
  EXPECT_EQ(StatusOf(browser, "/Images/nothing.gif"), 404);
}

TEST_F(WebServerTest, AccessLogHasOneLinePerRequest) {
  const auto li = SignedIn(kLi);
  li->Get("/schedule/manage.asp?dt=2001-12-5");
  li->Get("/schedule/manage.asp?dt=bad");
  li->Get("/schedule/x%0AGET%20/forged%20200%201%201ms");
  server_.reset();  // every line is written once the server has stopped
  const std::string log = log_.str();
  const std::string time = "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z";
  EXPECT_TRUE(
      std::regex_search(log, std::regex(time + " 127\\.0\\.0\\.1 POST /login 303 0 [0-9.]+ms 2\n")))
      << log;
  EXPECT_TRUE(std::regex_search(
      log, std::regex(time +
                      " 127\\.0\\.0\\.1 GET /schedule/manage\\.asp\\?dt=2001-12-5 200 [1-9][0-9]* "
                      "[0-9]+\\.[0-9]ms 2\n")))
      << log;
  EXPECT_TRUE(Contains(log, " GET /login 200 ")) << log;
  EXPECT_TRUE(Contains(log, "ms -\n")) << "nobody signed in yet: " << log;
  EXPECT_TRUE(Contains(log, "GET /schedule/manage.asp?dt=bad 400 ")) << log;
  // A decoded line break or blank in the path cannot forge a line or a field.
  EXPECT_TRUE(Contains(log, "GET /schedule/x%0AGET%20/forged%20200%201%201ms 404 ")) << log;
  EXPECT_FALSE(Contains(log, "\nGET /forged")) << log;
}

// Milliseconds that a GET of the stylesheet takes, or -1 without a reply.
long long StylesheetMilliseconds(int port) {
  testing::HttpClient client(port);
  const auto started = std::chrono::steady_clock::now();
  const testing::Result result = client.Get("/static/ostrand.css");
  if (!result || result->status != 200) return -1;
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               started)
      .count();
}

TEST_F(WebServerTest, IdleConnectionsAndGuessersLeaveWorkersFree) {
  // Connections that send nothing (as browsers open ahead of need) hold no
  // thread.
  std::vector<int> sockets;
  for (int i = 0; i < 12; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(server_->port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    sockets.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const long long with_idle = StylesheetMilliseconds(server_->port());
  for (const int fd : sockets) ::close(fd);
  EXPECT_GE(with_idle, 0);
  EXPECT_LT(with_idle, 1500) << "a page waited for idle connections";

  // Guesses from many addresses at once queue for the password checks; none
  // is turned away by a limit of the whole server, and signing in works.
  ServerOptions options = testing::TestOptions(path_);
  options.hash_workers = 1;
  RunningServer busy(std::move(options));
  std::vector<int> statuses(12, -1);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < statuses.size(); ++i) {
    threads.emplace_back([&, i] {
      Browser guesser(busy.port(), "127.0.0." + std::to_string(10 + i));
      const testing::Result result = guesser.SignIn("2", "guess");
      statuses[i] = result ? result->status : -1;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 403), 12);
  Browser browser(busy.port());
  const testing::Result signed_in = browser.SignIn("2", kPassword);
  ASSERT_TRUE(signed_in);
  EXPECT_EQ(signed_in->status, 303);
}

}  // namespace
}  // namespace ostrand::web
