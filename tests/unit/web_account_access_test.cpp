// Accounts a person or an administrator manages in the browser: the rules
// of a chosen password, invitations, the recorded sessions and their end,
// the password change, the lift of the sign-in throttle, and the
// administrators of the command line.
#include <gtest/gtest.h>

#include <regex>

#include "core/text.h"
#include "test_support.h"
#include "web/auth/invitations.h"
#include "web/auth/password_rules.h"
#include "web/auth/session_records.h"
#include "web/auth/signin_throttle.h"
#include "web/data/admins_table.h"
#include "web/data/plan_changes.h"

namespace ostrand::web {
namespace {

using test_support::Contains;
using test_support::RunOstrand;
using namespace testing;

TEST(WebPasswordRules, LengthNameNumberAndCommonPasswords) {
  EXPECT_EQ(JudgeNewPassword("nine-char", 2, "李科员"), PasswordProblem::kTooShort);
  // Characters count, not bytes: ten Chinese characters are enough.
  EXPECT_EQ(JudgeNewPassword("一二三四五六七八九", 2, "x"), PasswordProblem::kTooShort);
  EXPECT_EQ(JudgeNewPassword("一二三四五六七八九十", 2, "x"), std::nullopt);
  EXPECT_EQ(JudgeNewPassword("Long Name Here", 2, "long name here"),
            PasswordProblem::kNameOrNumber);
  EXPECT_EQ(JudgeNewPassword("00000000000000000002", 2, "x"), PasswordProblem::kNameOrNumber);
  EXPECT_EQ(JudgeNewPassword("QwertyUIOP", 2, "x"), PasswordProblem::kTooCommon);
  EXPECT_EQ(JudgeNewPassword("1234567890", 2, "x"), PasswordProblem::kTooCommon);
  EXPECT_EQ(JudgeNewPassword("correct horse battery", 2, "x"), std::nullopt);
  EXPECT_TRUE(IsCommonPassword("PASSWORD"));
  EXPECT_FALSE(IsCommonPassword(
      "# The 10,000 most common passwords, most common first, one a line, in lower"));
  std::size_t listed = 0;
  for (const std::string_view line : SplitList(CommonPasswordList(), '\n')) {
    listed += !line.empty() && line.front() != '#';
  }
  EXPECT_EQ(listed, 10000u);
}

TEST(WebSessionRecords, KeepAtMostTwoHundredBytesOfWholeCharacters) {
  const std::string agent = SessionText(std::string(199, 'a') + "浏览器\x01");
  EXPECT_EQ(agent, std::string(199, 'a'));
  EXPECT_EQ(SessionText("Mozilla/5.0\r\n\xff"), "Mozilla/5.0\n\xEF\xBF\xBD");
}

TEST(WebSignInThrottle, ALiftForgetsTheAccountsFailuresOnly) {
  ThrottleRules rules;
  SignInThrottle throttle(rules);
  const auto now = std::chrono::steady_clock::now();
  const SignInThrottle::Attempt mine{"10.0.0.1", "person:2", ""};
  const SignInThrottle::Attempt other{"10.0.0.1", "person:3", ""};
  for (const auto& attempt : {mine, mine, mine, other, other, other}) {
    const SignInThrottle::Verdict verdict = throttle.Admit(attempt, now);
    ASSERT_TRUE(verdict.admitted);
    throttle.Done(attempt, verdict, true, now);
  }
  EXPECT_FALSE(throttle.Admit(mine, now).admitted);
  throttle.Lift("person:2");
  EXPECT_TRUE(throttle.Admit(mine, now).admitted);
  EXPECT_FALSE(throttle.Admit(other, now).admitted);
}

class WebAccountAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFixture(db_path_);
    GrantAdministrator(*Db(), kZhang, std::nullopt, UtcNow());
  }
  std::unique_ptr<store::Connection> Db() const {
    std::unique_ptr<store::Connection> db = store::Connect("sqlite:" + db_path_);
    store::CheckSchema(*db);
    return db;
  }
  // The invitation link on the answer to the administrator's POST.
  static std::string LinkOn(const Result& page) {
    std::smatch match;
    const std::regex pattern("value=\"(http://[^\"]*/invite\\?token=([A-Za-z0-9_-]{43}))\"");
    if (!page || !std::regex_search(page->body, match, pattern)) return "";
    return match[2].str();
  }
  std::string Invite(Browser& admin, int person) {
    const Result form = admin.Get("/admin/access?person=" + std::to_string(person));
    EXPECT_TRUE(form && form->status == 200);
    const Result made =
        admin.Post("/admin/access", {{"csrf", Browser::FieldValue(form ? form->body : "", "csrf")},
                                     {"person", std::to_string(person)},
                                     {"action", "invite"}});
    EXPECT_TRUE(made && made->status == 200);
    return LinkOn(made);
  }
  static Result Choose(Browser& browser, const std::string& token, const std::string& password,
                       const std::string& repeat) {
    return browser.Post("/invite", {{"token", token}, {"password", password}, {"repeat", repeat}});
  }

  const TempDir dir_;
  const std::string db_path_ = dir_.File("access.db");
};

TEST_F(WebAccountAccess, AnInvitationWorksOnceForSevenDaysAndTheLatestOnly) {
  const std::unique_ptr<store::Connection> db = Db();
  const DateTime made = DateTime::FromCivil(2026, 12, 1, 9, 0, 0);
  const std::string first = MakeInvitation(*db, kLi, made);
  const std::string second = MakeInvitation(*db, kLi, made);
  EXPECT_FALSE(OpenInvitation(*db, first, made));  // replaced
  EXPECT_FALSE(OpenInvitation(*db, second.substr(1) + "A", made));
  EXPECT_FALSE(OpenInvitation(*db, "not a token", made));
  EXPECT_EQ(OpenInvitation(*db, second, made.AddDays(7).AddDays(-1))->id, kLi);
  EXPECT_FALSE(OpenInvitation(*db, second, made.AddDays(7)));
  EXPECT_THROW(MakeInvitation(*db, 99, made), Error);
  EXPECT_TRUE(AcceptInvitation(*db, kLi, second, HashPassword("x", PasswordLimits::Minimal())));
  EXPECT_FALSE(AcceptInvitation(*db, kLi, second, HashPassword("y", PasswordLimits::Minimal())));
}

TEST_F(WebAccountAccess, AnInvitedPersonChoosesAPasswordAndSignsInWithIt) {
  const RunningServer server(TestOptions(db_path_));
  const std::unique_ptr<Browser> admin = SignedIn(server.port(), kZhang);
  const std::unique_ptr<Browser> li = SignedIn(server.port(), kLi);
  const std::string token = Invite(*admin, kLi);
  ASSERT_EQ(token.size(), 43u);

  Browser guest(server.port());
  const Result form = guest.Get("/invite?token=" + token);
  ASSERT_TRUE(form && form->status == 200);
  EXPECT_TRUE(Contains(form->body, "李科员"));
  // A wrong token and a used one get the same page, which says no more.
  const Result wrong = guest.Get("/invite?token=" + std::string(43, 'A'));
  ASSERT_TRUE(wrong && wrong->status == 404);
  EXPECT_EQ(Choose(guest, token, "short", "short")->status, 400);
  EXPECT_EQ(Choose(guest, token, "a new password", "another one")->status, 400);
  const Result chosen = Choose(guest, token, "a new password", "a new password");
  ASSERT_TRUE(chosen && chosen->status == 303);
  EXPECT_EQ(chosen->get_header_value("Location"), "/invite?done=1");
  const Result again = guest.Get("/invite?token=" + token);
  ASSERT_TRUE(again && again->status == 404);
  EXPECT_EQ(again->body, wrong->body);
  EXPECT_EQ(Choose(guest, token, "third password", "third password")->status, 404);

  // The new password signs in, the old one no longer; the session from
  // before has ended.
  EXPECT_EQ(Browser(server.port()).SignIn("2", kPassword)->status, 403);
  EXPECT_EQ(Browser(server.port()).SignIn("2", "a new password")->status, 303);
  EXPECT_EQ(li->Get("/account")->status, 303);
}

TEST_F(WebAccountAccess, APasswordChangeEndsTheOtherSessionsButNotThisOne) {
  const RunningServer server(TestOptions(db_path_));
  const std::unique_ptr<Browser> here = SignedIn(server.port(), kLi);
  const std::unique_ptr<Browser> there = SignedIn(server.port(), kLi);
  const Result page = here->Get("/account");
  ASSERT_TRUE(page && page->status == 200);
  const std::string csrf = Browser::FieldValue(page->body, "csrf");
  const auto change = [&](const std::string& current, const std::string& next) {
    return here->Post("/account", {{"csrf", csrf},
                                   {"action", "password"},
                                   {"current", current},
                                   {"password", next},
                                   {"repeat", next}});
  };
  EXPECT_EQ(change("wrong", "a good new password")->status, 403);
  EXPECT_EQ(change(kPassword, "qwertyuiop")->status, 400);
  EXPECT_EQ(change(kPassword, "李科员")->status, 400);
  const Result changed = change(kPassword, "a good new password");
  ASSERT_TRUE(changed && changed->status == 303);
  EXPECT_EQ(here->Get("/account")->status, 200);
  EXPECT_EQ(there->Get("/account")->status, 303);
  EXPECT_EQ(Browser(server.port()).SignIn("2", "a good new password")->status, 303);
  // Wrong current passwords are throttled like failed sign-ins.
  int status = 0;
  for (int attempt = 0; attempt < 6 && status != 429; ++attempt) {
    status = change("wrong again", "another good password")->status;
  }
  EXPECT_EQ(status, 429);
}

TEST_F(WebAccountAccess, APersonSeesAndEndsOwnSessions) {
  const RunningServer server(TestOptions(db_path_));
  const std::unique_ptr<Browser> here = SignedIn(server.port(), kLi);
  const std::unique_ptr<Browser> there = SignedIn(server.port(), kLi);
  const std::unique_ptr<Browser> third = SignedIn(server.port(), kLi);
  const std::unique_ptr<Browser> other = SignedIn(server.port(), kZhao);
  const Result page = here->Get("/account");
  ASSERT_TRUE(page && page->status == 200);
  EXPECT_TRUE(Contains(page->body, "class=\"this-session\""));
  // Two others to end, each with its own form; Zhao's session is not listed.
  const std::regex key("name=\"session\" value=\"([0-9a-f]{64})\"");
  std::vector<std::string> keys;
  for (std::sregex_iterator it(page->body.begin(), page->body.end(), key), end; it != end; ++it) {
    keys.push_back((*it)[1].str());
  }
  ASSERT_EQ(keys.size(), 2u);
  const std::string csrf = Browser::FieldValue(page->body, "csrf");
  EXPECT_EQ(
      here->Post("/account", {{"csrf", csrf}, {"action", "end-session"}, {"session", keys[0]}})
          ->status,
      303);
  EXPECT_EQ(
      here->Post("/account", {{"csrf", csrf}, {"action", "end-session"}, {"session", keys[0]}})
          ->status,
      404);
  const int ended =
      (there->Get("/account")->status == 303) + (third->Get("/account")->status == 303);
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(here->Post("/account", {{"csrf", csrf}, {"action", "end-others"}})->status, 303);
  EXPECT_EQ(here->Get("/account")->status, 200);
  EXPECT_EQ(there->Get("/account")->status, 303);
  EXPECT_EQ(third->Get("/account")->status, 303);
  EXPECT_EQ(other->Get("/account")->status, 200);
}

TEST_F(WebAccountAccess, AnAdministratorEndsSessionsLiftsTheThrottleAndKeepsOneAdministrator) {
  ServerOptions options = TestOptions(db_path_);
  // A minute's wait after the third failure: only the lift lets the right
  // password in during the test.
  options.signin_throttle.pair.first_delay = std::chrono::minutes(1);
  options.signin_throttle.account.first_delay = std::chrono::minutes(1);
  const RunningServer server(options);
  const std::unique_ptr<Browser> admin = SignedIn(server.port(), kZhang);
  const std::unique_ptr<Browser> li = SignedIn(server.port(), kLi);
  Browser guesser(server.port(), "127.0.0.3");
  for (int i = 0; i < 3; ++i) guesser.SignIn("2", "wrong");
  EXPECT_EQ(guesser.SignIn("2", kPassword)->status, 429);

  const Result page = admin->Get("/admin/access?person=2");
  ASSERT_TRUE(page && page->status == 200);
  const std::string csrf = Browser::FieldValue(page->body, "csrf");
  const auto act = [&](const std::string& person, const std::string& action) {
    return admin->Post("/admin/access", {{"csrf", csrf}, {"person", person}, {"action", action}})
        ->status;
  };
  EXPECT_EQ(act("2", "end-sessions"), 303);
  EXPECT_EQ(li->Get("/account")->status, 303);
  EXPECT_EQ(act("2", "lift-throttle"), 303);
  EXPECT_EQ(guesser.SignIn("2", kPassword)->status, 303);
  EXPECT_EQ(act("99", "invite"), 404);
  EXPECT_EQ(act("1", "revoke-admin"), 400);
  EXPECT_EQ(act("2", "grant-admin"), 303);
  EXPECT_EQ(act("1", "revoke-admin"), 303);
  const std::unique_ptr<store::Connection> db = Db();
  EXPECT_EQ(Administrators(*db), std::vector<std::int64_t>{kLi});
  EXPECT_EQ(db->Query("SELECT COUNT(*) FROM hostAudit WHERE actorID = 1 AND kind IN "
                      "('sessions-ended', 'throttle-lifted', 'admin-granted', 'admin-revoked')")
                .Field(std::size_t{0})
                .ToNumber(),
            4);
}

TEST(WebAdminCommand, GrantsListsAndRevokesWithAnAuditRowEach) {
  const TempDir dir;
  const std::string db = "sqlite:" + dir.File("admin.db");
  WriteFixture(dir.File("admin.db"));
  EXPECT_EQ(RunOstrand(dir, {"admin", "grant", "--db", db, "2"}).exit_code, 0);
  EXPECT_TRUE(Contains(RunOstrand(dir, {"admin", "grant", "--db", db, "2"}).out, "already"));
  EXPECT_EQ(RunOstrand(dir, {"admin", "grant", "--db", db, "99"}).exit_code, 1);
  EXPECT_EQ(RunOstrand(dir, {"admin", "list", "--db", db}).out, "2\t李科员\t1\n");
  EXPECT_EQ(RunOstrand(dir, {"admin", "revoke", "--db", db, "2"}).exit_code, 0);
  EXPECT_EQ(RunOstrand(dir, {"admin", "revoke", "--db", db, "2"}).exit_code, 1);
  EXPECT_EQ(RunOstrand(dir, {"admin", "list", "--db", db}).out, "");
  EXPECT_EQ(store::Connect(db)
                ->Query("SELECT COUNT(*) FROM hostAudit WHERE actorID IS NULL AND subjectID = 2")
                .Field(std::size_t{0})
                .ToNumber(),
            2);
}

TEST(WebAdminCommand, InitDbWithAnAdministratorPrintsALinkThatSetsThePassword) {
  const TempDir dir;
  const std::string path = dir.File("new.db");
  const test_support::Outcome made =
      RunOstrand(dir, {"init-db", "sqlite:" + path, "--admin", "First Admin", "--public-url",
                       "https://plans.example.org"});
  ASSERT_EQ(made.exit_code, 0) << made.err;
  std::smatch match;
  const std::regex link("https://plans\\.example\\.org/invite\\?token=([A-Za-z0-9_-]{43})\n");
  ASSERT_TRUE(std::regex_search(made.out, match, link)) << made.out;
  EXPECT_TRUE(Contains(made.out, "department 1, no duty"));
  EXPECT_EQ(RunOstrand(dir, {"admin", "list", "--db", "sqlite:" + path}).out,
            "1\tFirst Admin\t1\n");

  const RunningServer server(TestOptions(path));
  Browser browser(server.port());
  ASSERT_EQ(browser.Get("/invite?token=" + match[1].str())->status, 200);
  ASSERT_EQ(browser
                .Post("/invite", {{"token", match[1].str()},
                                  {"password", "the first password"},
                                  {"repeat", "the first password"}})
                ->status,
            303);
  EXPECT_EQ(browser.SignIn("First Admin", "the first password")->status, 303);
  EXPECT_EQ(browser.Get("/admin/access?person=1")->status, 200);
}

}  // namespace
}  // namespace ostrand::web
