// The site's side of the sign-in with an OpenID provider, without one: the
// round cookie's text and signature, the sign-in page's button and
// --no-local-passwords, and the callbacks that are refused before the
// provider is asked (tests/integration/oidc_flow.py walks the whole way
// with a real provider).
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sstream>

#include "store/connect.h"
#include "test_support.h"
#include "web/auth/session_cookie.h"
#include "web/auth/accounts.h"
#include "web/auth/sign_in.h"
#include "web/data/accounts_table.h"
#include "web/pages/session_start.h"
#include "web/http/url.h"
#include "web/oidc/oidc_flow.h"
#include "web/oidc/sign_in_round.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {
namespace {

using oidc::ReadSignInRound;
using oidc::SignInRound;
using oidc::WriteSignInRound;
using test_support::Contains;

// A loopback port that nothing listens on (bound, then let go).
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

TEST(WebOidcFlow, TheRoundReadsBackOnlyInTheFormItWasWritten) {
  const SignInRound round{"st-1", "no_2", "ver~3", "http://127.0.0.1:8080/login/oidc/callback",
                          "/schedule/leaderWeek.asp?dt=2001-12-5"};
  const std::optional<SignInRound> read = ReadSignInRound(WriteSignInRound(round));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->state, round.state);
  EXPECT_EQ(read->nonce, round.nonce);
  EXPECT_EQ(read->code_verifier, round.code_verifier);
  EXPECT_EQ(read->redirect_uri, round.redirect_uri);
  EXPECT_EQ(read->next, round.next);
  EXPECT_EQ(ReadSignInRound("a\nb\nc\nhttps://x/cb\nhttps://evil.example/\n")->next,
            "/schedule/personMonth.asp")
      << "a next page of another site becomes the home page";
  for (const std::string_view bad : {
           "", "a\nb\nc\nhttps://x/cb\n/schedule/a.asp",      // the last field unended
           "a\nb\nc\nhttps://x/cb\n/schedule/a.asp\nmore\n",  // a field too many
           "\nb\nc\nhttps://x/cb\n\n",                        // no state
           "a b\nb\nc\nhttps://x/cb\n\n",                     // a blank in a secret
           "a\nb\nc\njavascript:alert(1)\n\n",                // no web address
           "a\nb\nc\nhttps://x/c\tb\n\n",                     // a control character
       }) {
    EXPECT_FALSE(ReadSignInRound(bad)) << bad;
  }
  EXPECT_FALSE(ReadSignInRound(std::string(oidc::kSignInRoundLimit, 'a')));
  SignInRound broken = round;
  broken.next = "/schedule/a.asp\nx";
  EXPECT_TRUE(
      Contains(test_support::ErrorOf([&] { (void)WriteSignInRound(broken); }), "next page"));
}

TEST(WebOidcFlow, SealedDataOpensOnlyForItsPurposeBeforeItExpires) {
  const SessionSigner signer(RandomSecret());
  const std::string value = signer.SealData("oidc-round", "a\nb", 2000);
  EXPECT_EQ(signer.OpenData("oidc-round", value, 1999), "a\nb");
  EXPECT_FALSE(signer.OpenData("oidc-round", value, 2000)) << "expired";
  EXPECT_FALSE(signer.OpenData("other", value, 1000)) << "another purpose";
  EXPECT_FALSE(signer.Open(value, 1000)) << "no session";
  EXPECT_FALSE(SessionSigner(RandomSecret()).OpenData("oidc-round", value, 1000)) << "another key";
  std::string later = value;
  later.replace(later.find(".2000.") + 1, 4, "9000");
  EXPECT_FALSE(signer.OpenData("oidc-round", later, 1000)) << "a moved expiry";
}

TEST(WebOidcFlow, WhomTheProviderVouchesForNeedsNoPasswordHere) {
  const testing::TempDir dir;
  testing::WriteFixture(dir.File("schedule.db"));
  const std::unique_ptr<store::Connection> db = store::Connect("sqlite:" + dir.File("schedule.db"));
  db->ExecuteScript("INSERT INTO person VALUES (7, 'new', 4, 1), (8, 'other', 4, 1)");
  const ServerOptions options = testing::TestOptions(dir.File("schedule.db"));
  const SessionSigner signer(options.secret);
  const SessionOrigin origin{"127.0.0.1", "test"};
  const http::Response started =
      StartSession(*db, options, signer, *FindPerson(*db, 7), "/schedule/personWeek.asp", origin,
                   kSignedInWithProvider);
  EXPECT_EQ(started.status, 303);
  EXPECT_TRUE(CurrentSessionGeneration(*db, 7));
  EXPECT_FALSE(StoredPasswordHash(*db, 7)) << "an account without a password";
  EXPECT_NE(test_support::ErrorOf([&] {
              (void)StartSession(*db, options, signer, *FindPerson(*db, 8), "/", origin,
                                 kSignedInWithPassword);
            }),
            "");
  EXPECT_FALSE(SignInChecker(PasswordLimits::Minimal()).Check(*db, "7", "")) << "no empty password";
}

// A site whose provider is configured but cannot be reached: everything
// refused before the provider is asked, and the sign-in page's offer.
class WebOidcFlowTest : public ::testing::Test {
 protected:
  void Start(bool local_passwords) {
    testing::WriteFixture(path_);
    ServerOptions options = testing::TestOptions(path_);
    options.secret = secret_;
    options.access_log = &log_;
    OidcOptions oidc;
    oidc.issuer = "https://127.0.0.1:" + std::to_string(ClosedPort());
    oidc.client_id = "ostrand";
    oidc.client_secret = "secret";
    oidc.display_name = "Corp <ID>";
    issuer_ = oidc.issuer;
    options.oidc = oidc;
    options.local_passwords = local_passwords;
    server_ = std::make_unique<testing::RunningServer>(std::move(options));
  }

  // The round cookie the site would have set for a sign-in with `state`.
  std::string Round(const std::string& state) const {
    const SignInRound round{state, "nonce", "verifier", "http://127.0.0.1/login/oidc/callback",
                            "/schedule/personWeek.asp"};
    return signer_.SealData(oidc::kRoundPurpose, WriteSignInRound(round), UnixNow() + 600);
  }

  std::vector<std::string> AuditDetails() {
    std::vector<std::string> details;
    store::RecordSet rows =
        store::Connect("sqlite:" + path_)->Query("SELECT kind, detail FROM hostAudit", {});
    for (; !rows.Eof(); rows.MoveNext()) {
      details.push_back(rows.Field(0).ToText() + " " + rows.Field(1).ToText());
    }
    return details;
  }

  const testing::TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  const SecretKey secret_ = RandomSecret();
  const SessionSigner signer_{secret_};
  std::string issuer_;
  std::ostringstream log_;
  std::unique_ptr<testing::RunningServer> server_;
};

TEST_F(WebOidcFlowTest, TheSignInPageOffersTheProviderBesideThePasswordForm) {
  Start(true);
  testing::Browser browser(server_->port());
  const testing::Result page = browser.Get("/login?next=/schedule/personWeek.asp");
  ASSERT_TRUE(page);
  EXPECT_TRUE(Contains(page->body, "href=\"/login/oidc?next=/schedule/personWeek.asp\""));
  EXPECT_TRUE(Contains(page->body, "Corp &lt;ID&gt;"));
  EXPECT_TRUE(Contains(page->body, "name=\"password\""));
  EXPECT_EQ(browser.SignIn(std::to_string(testing::kLi), testing::kPassword)->status, 303);
}

TEST_F(WebOidcFlowTest, WithoutLocalPasswordsOnlyTheProviderSignsIn) {
  Start(false);
  testing::Browser browser(server_->port());
  const testing::Result page = browser.Get("/login");
  ASSERT_TRUE(page);
  EXPECT_TRUE(Contains(page->body, "href=\"/login/oidc?next="));
  EXPECT_FALSE(Contains(page->body, "name=\"password\""));
  const testing::Result refused =
      browser.Post("/login", testing::Params{{"person", std::to_string(testing::kLi)},
                                             {"password", testing::kPassword},
                                             {"signin", signer_.SignInToken(UnixNow())}});
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 403);
  EXPECT_FALSE(browser.cookies().contains("ostrand_session"));
}

TEST_F(WebOidcFlowTest, AnswersThatAreNotThisBrowsersRoundAreRefused) {
  Start(true);
  const std::string callback = std::string(kOidcCallbackPath);
  struct Case {
    std::string cookie;  // the round cookie sent, if any
    std::string query;
    std::string reason;  // what the audit log says after "oidc: "
  };
  const std::vector<Case> cases = {
      {"", "?code=c&state=s1", "no sign-in cookie"},
      {Round("s1") + "x", "?code=c&state=s1", "sign-in cookie expired or forged"},
      {Round("s1"), "?code=c&state=s2", "state mismatch"},
      {Round("s1"), "?code=c", "state mismatch"},
      {Round("s1"), "?code=c&state=s1&iss=https%3A%2F%2Fevil.example", "answer names another"},
      {Round("s1"), "?code=c&state=s1", "state used or expired"},  // never handed out
  };
  for (const Case& c : cases) {
    testing::HttpClient client(server_->port());
    testing::Headers headers;
    if (!c.cookie.empty()) headers.emplace_back("Cookie", "ostrand_oidc=" + c.cookie);
    const testing::Result answer = client.Get(callback + c.query, headers);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 403) << c.reason;
    EXPECT_TRUE(Contains(answer->get_header_value("Set-Cookie"), "ostrand_oidc=; Path=/login/oidc"))
        << c.reason;
  }
  const std::vector<std::string> details = AuditDetails();
  ASSERT_EQ(details.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_TRUE(Contains(details[i], "sign-in-failed oidc: " + cases[i].reason)) << details[i];
  }
  server_.reset();  // every line is written once the server has stopped
  EXPECT_FALSE(Contains(log_.str(), "code=c")) << "the access log shows no code";
}

TEST_F(WebOidcFlowTest, AProviderThatCannotBeReachedGives503AndNoState) {
  Start(true);
  testing::HttpClient client(server_->port());
  const testing::Result answer = client.Get("/login/oidc?next=/schedule/personWeek.asp");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 503);
  EXPECT_TRUE(Contains(answer->body, "Corp &lt;ID&gt;"));
  EXPECT_EQ(answer->get_header_value_count("Set-Cookie"), 0u);
  EXPECT_EQ(store::Connect("sqlite:" + path_)
                ->Query("SELECT COUNT(*) FROM hostSignInState", {})
                .Field(0)
                .ToText(),
            "0");
}

}  // namespace
}  // namespace ostrand::web
