// App passwords of calendar programs: the Basic credentials they send, the
// passwords' form and rows on every backend, and `ostrand app-password`.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "core/error.h"
#include "test_databases.h"
#include "test_support.h"
#include "web/auth/app_passwords.h"
#include "web/data/audit_log.h"
#include "web/data/person_registry.h"
#include "web/data/plan_changes.h"
#include "web/http/authorization.h"
#include "web/pages/subscribe_page.h"

namespace ostrand::web {
namespace {

std::string Base64(std::string_view text) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += 3) {
    unsigned n = static_cast<unsigned char>(text[i]) << 16;
    if (i + 1 < text.size()) n |= static_cast<unsigned char>(text[i + 1]) << 8;
    if (i + 2 < text.size()) n |= static_cast<unsigned char>(text[i + 2]);
    out += kDigits[(n >> 18) & 63];
    out += kDigits[(n >> 12) & 63];
    out += i + 1 < text.size() ? kDigits[(n >> 6) & 63] : '=';
    out += i + 2 < text.size() ? kDigits[n & 63] : '=';
  }
  return out;
}

TEST(BasicCredentials, UserBeforeTheFirstColonAndNothingUnsafe) {
  struct Good {
    std::string header;
    std::string user;
    std::string password;
  };
  const Good good[] = {
      {"Basic " + Base64("7:abcd-efgh"), "7", "abcd-efgh"},
      {" bAsIc \t" + Base64("7:a:b:c") + " ", "7", "a:b:c"},
      {"BASIC " + Base64("张三:密码"), "张三", "密码"},
      {"Basic " + Base64("7:"), "7", ""},
      {"Basic " + Base64(":x"), "", "x"},
  };
  for (const Good& g : good) {
    const std::optional<http::BasicCredentials> read = http::ReadBasicCredentials(g.header);
    ASSERT_TRUE(read) << g.header;
    EXPECT_EQ(read->user, g.user);
    EXPECT_EQ(read->password, g.password);
  }
  const std::string bad[] = {
      "",
      "Basic",
      "Basic ",
      "Bearer " + Base64("7:x"),
      "Basic" + Base64("7:x"),
      "Basic " + Base64("7 no colon"),
      "Basic " + Base64("7:x").substr(0, 3),          // cut short
      "Basic " + Base64("7:xy").substr(0, 6),         // padding left out
      "Basic " + Base64("7:x") + "junk",
      "Basic " + Base64("7:x") + " " + Base64("8:y"),
      "Basic " + Base64("7:x").replace(1, 1, "-"),    // the URL-safe alphabet
      "Basic " + Base64(std::string("7:a\0b", 5)),
      "Basic " + Base64("7:a\tb"),
      "Basic " + Base64("7:a\nb"),
      "Basic " + Base64("7\x7f:x"),
      "Basic " + Base64("7:\xc2\x85"),                // C1 control
      "Basic " + Base64("7:\xff\xfe"),                // not UTF-8
      "Basic " + Base64("7:" + std::string(800, 'p')),  // header over 1 KiB
  };
  for (const std::string& header : bad) {
    EXPECT_FALSE(http::ReadBasicCredentials(header)) << header;
  }
  EXPECT_TRUE(http::ReadBasicCredentials("Basic " + Base64("7:" + std::string(700, 'p'))));
}

TEST(AppPasswordText, RandomGroupsReadBackTypedLoosely) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    const std::string password = NewAppPasswordText();
    ASSERT_EQ(password.size(), kAppPasswordLength + (kAppPasswordLength - 1) / 4) << password;
    for (std::size_t j = 4; j < password.size(); j += 5) EXPECT_EQ(password[j], '-') << password;
    EXPECT_EQ(password.find_first_of("lo01"), std::string::npos) << password;
    seen.insert(password);
    const std::optional<std::string> normal = NormalAppPassword(password);
    ASSERT_TRUE(normal) << password;
    std::string typed;
    for (const char c : *normal) typed += static_cast<char>(std::toupper(c));
    EXPECT_EQ(NormalAppPassword(" " + typed.substr(0, 10) + " " + typed.substr(10)), normal);
  }
  EXPECT_EQ(seen.size(), 50u);
  const std::string sample = std::string(kAppPasswordLength, 'a');
  for (const std::string& text : {sample + "a", sample.substr(1), sample.substr(1) + "0",
                                  sample.substr(1) + "\xc3", std::string()}) {
    EXPECT_FALSE(NormalAppPassword(text)) << text;
  }
}

// The passwords on every backend: names, checks, last use, revoking, and a
// retired person's.
class AppPasswordRows : public ::testing::TestWithParam<test_support::TestBackend> {};

TEST_P(AppPasswordRows, MadeNamedCheckedAndRevoked) {
  const test_support::TestDatabase database(GetParam());
  const std::unique_ptr<store::Connection> db = store::Connect(database.connection_string());
  db->ExecuteScript("INSERT INTO person VALUES (7, 'Ann', 1, 1); "
                    "INSERT INTO person VALUES (8, 'Bo', 1, 1)");
  const DateTime now = DateTime::FromCivil(2026, 12, 9, 10);
  const std::string phone = CreateAppPassword(*db, 7, "  phone ", now);
  const std::string first = CreateAppPassword(*db, 7, "", now);
  const std::string second = CreateAppPassword(*db, 7, "", now);
  const std::string bo = CreateAppPassword(*db, 8, "phone", now);
  std::vector<AppPasswordInfo> list = ListAppPasswords(*db, 7);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "calendar");
  EXPECT_EQ(list[1].name, "calendar 2");
  EXPECT_EQ(list[2].name, "phone");
  EXPECT_EQ(list[2].created_at, now);
  EXPECT_FALSE(list[2].last_used);

  const auto kind_of = [&](std::int64_t person, std::string_view name) {
    try {
      CreateAppPassword(*db, person, name, now);
    } catch (const Error& e) {
      return e.kind();
    }
    return ErrorKind::kInternal;
  };
  EXPECT_EQ(kind_of(7, "phone"), ErrorKind::kConflict);
  EXPECT_EQ(kind_of(7, "a\nb"), ErrorKind::kBadInput);
  EXPECT_EQ(kind_of(7, "a\tb"), ErrorKind::kBadInput);
  EXPECT_EQ(kind_of(7, "\xff"), ErrorKind::kBadInput);
  EXPECT_EQ(kind_of(7, std::string(kAppPasswordNameLimit + 1, 'x')), ErrorKind::kBadInput);
  EXPECT_EQ(kind_of(99, "x"), ErrorKind::kNotFound);
  EXPECT_EQ(ListAppPasswords(*db, 7).size(), 3u);

  // Each password is its own person's only; a use is noted once a minute.
  EXPECT_TRUE(CheckAppPassword(*db, 7, phone, now));
  EXPECT_TRUE(CheckAppPassword(*db, 8, bo, now));
  EXPECT_FALSE(CheckAppPassword(*db, 8, phone, now));
  EXPECT_FALSE(CheckAppPassword(*db, 7, bo, now));
  EXPECT_FALSE(CheckAppPassword(*db, 7, phone.substr(1) + "a", now));
  EXPECT_FALSE(CheckAppPassword(*db, 7, "", now));
  EXPECT_EQ(ListAppPasswords(*db, 7)[2].last_used, now);
  const DateTime soon = DateTime::FromCivil(2026, 12, 9, 10, 0, 30);
  const DateTime later = DateTime::FromCivil(2026, 12, 9, 10, 5);
  EXPECT_TRUE(CheckAppPassword(*db, 7, phone, soon));
  EXPECT_EQ(ListAppPasswords(*db, 7)[2].last_used, now);
  EXPECT_TRUE(CheckAppPassword(*db, 7, phone, later));
  EXPECT_EQ(ListAppPasswords(*db, 7)[2].last_used, later);

  EXPECT_TRUE(RevokeAppPassword(*db, 7, "phone "));
  EXPECT_FALSE(RevokeAppPassword(*db, 7, "phone"));
  EXPECT_FALSE(CheckAppPassword(*db, 7, phone, later));
  EXPECT_TRUE(CheckAppPassword(*db, 7, first, later));
  EXPECT_TRUE(CheckAppPassword(*db, 8, bo, later));  // the other person's of that name stays

  // Retiring ends them; reinstating does not bring them back.
  RetirePerson(*db, 7, std::nullopt, later);
  EXPECT_FALSE(CheckAppPassword(*db, 7, second, later));
  EXPECT_EQ(kind_of(7, "x"), ErrorKind::kForbidden);
  ReinstatePerson(*db, 7);
  EXPECT_FALSE(CheckAppPassword(*db, 7, second, later));
  EXPECT_TRUE(ListAppPasswords(*db, 7).empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, AppPasswordRows, ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

TEST(AppPasswordCommand, MakesListsRevokesAndSaysWhatIsWrong) {
  const test_support::TempDir dir;
  const std::string path = dir.File("plans.db");
  testing::WriteFixture(path);
  const std::string db = "sqlite:" + path;
  const auto run = [&](std::vector<std::string> words) {
    words.insert(words.begin(), {"app-password", "--db", db});
    return test_support::RunOstrand(dir, words);
  };
  const test_support::Outcome made = run({"2", "--name", "phone"});
  ASSERT_EQ(made.exit_code, 0) << made.err;
  const std::string password = made.out.substr(0, made.out.find('\n'));
  EXPECT_EQ(made.out, password + "\n");  // the password alone on standard output
  EXPECT_TRUE(CheckAppPassword(*store::Connect(db), 2, password, UtcNow()));
  EXPECT_TRUE(test_support::Contains(made.err, "user name 2")) << made.err;
  ASSERT_EQ(run({"2"}).exit_code, 0);

  const test_support::Outcome listed = run({"2", "--list"});
  EXPECT_EQ(listed.exit_code, 0);
  EXPECT_TRUE(listed.out.starts_with("calendar\t")) << listed.out;
  EXPECT_TRUE(test_support::Contains(listed.out, "\nphone\t")) << listed.out;
  EXPECT_TRUE(test_support::Contains(listed.out, "\tnever used\n")) << listed.out;
  EXPECT_FALSE(test_support::Contains(listed.out, password));

  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"99"}, "ostrand: no person with id 99\n"},
      {{"2", "--name", "phone"}, "ostrand: person 2 has an app password named 'phone' already\n"},
      {{"2", "--revoke", "tablet"}, "ostrand: person 2 has no app password named 'tablet'\n"},
      {{"2", "--revoke", "phone", "--list"}, "ostrand: give one of --name, --revoke and --list\n"},
  };
  for (const auto& [words, message] : refused) {
    const test_support::Outcome outcome = run(words);
    EXPECT_EQ(outcome.exit_code, 1) << words[0];
    EXPECT_EQ(outcome.err, message);
  }
  const test_support::Outcome revoked = run({"2", "--revoke", "phone"});
  EXPECT_EQ(revoked.exit_code, 0) << revoked.err;
  EXPECT_FALSE(CheckAppPassword(*store::Connect(db), 2, password, UtcNow()));

  const std::unique_ptr<store::Connection> conn = store::Connect(db);
  AuditFilter filter;
  filter.kind = std::string(audit::kTokenChanged);
  std::vector<std::string> details;
  for (const StoredAudit& row : ListAudit(*conn, filter, 0, 10)) {
    details.push_back(row.record.detail);
    EXPECT_EQ(row.record.subject, 2);
    EXPECT_FALSE(test_support::Contains(row.record.detail, password));
  }
  EXPECT_EQ(details, (std::vector<std::string>{"app password revoked: phone",
                                               "app password made: calendar",
                                               "app password made: phone"}));
}

// The subscribe page's section: a password made there is shown on the next
// page only, works, is listed with its name escaped, and its revoke button
// ends it; names that are taken or do not read, and revoking another
// person's, are answered on the page.
TEST(AppPasswordPage, MadeShownOnceListedAndRevoked) {
  const test_support::TempDir dir;
  const std::string path = dir.File("schedule.db");
  testing::WriteFixture(path);
  const testing::RunningServer server(testing::TestOptions(path));
  const std::unique_ptr<testing::Browser> li = testing::SignedIn(server.port(), testing::kLi);
  const std::unique_ptr<testing::Browser> zhao = testing::SignedIn(server.port(), testing::kZhao);
  const auto post = [](testing::Browser& browser, const std::string& action,
                       const std::string& name) {
    const testing::Result page = browser.Get("/subscribe");
    return browser.Post("/subscribe",
                        {{"csrf", testing::Browser::FieldValue(page ? page->body : "", "csrf")},
                         {"action", action},
                         {"name", name}});
  };
  const testing::Result empty = li->Get("/subscribe");
  ASSERT_TRUE(empty && empty->status == 200);
  EXPECT_TRUE(test_support::Contains(empty->body, "<section class=\"app-passwords\">"));
  EXPECT_TRUE(std::regex_search(
      empty->body, std::regex("class=\"feed-url dav-url\"[^>]*value=\"http://[^\"]+/dav/\"")));
  EXPECT_TRUE(test_support::Contains(empty->body, "<code class=\"dav-user\">2</code>"));
  EXPECT_FALSE(test_support::Contains(empty->body, "<table class=\"app-passwords\">"));

  const testing::Result made = post(*li, "new-app-password", "phone <b>");
  ASSERT_TRUE(made && made->status == 303);
  const std::string location = made->get_header_value("Location");
  const testing::Result shown = li->Get(location);
  ASSERT_TRUE(shown && shown->status == 200);
  const std::regex code("<code>([a-z2-9-]{32})</code>");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(shown->body, match, code));
  const std::string password = match[1].str();
  EXPECT_TRUE(test_support::Contains(shown->body, "<td>phone &lt;b&gt;</td>"));
  EXPECT_FALSE(test_support::Contains(shown->body, "phone <b>"));
  const testing::Result reloaded = li->Get(location);
  ASSERT_TRUE(reloaded && reloaded->status == 200);
  EXPECT_FALSE(std::regex_search(reloaded->body, code));
  const std::unique_ptr<store::Connection> db = store::Connect("sqlite:" + path);
  EXPECT_TRUE(CheckAppPassword(*db, testing::kLi, password, UtcNow()));

  EXPECT_EQ(post(*li, "new-app-password", " phone <b> ")->status, 409);
  EXPECT_EQ(post(*li, "new-app-password", "two\nlines")->status, 400);
  EXPECT_EQ(post(*zhao, "revoke-app-password", "phone <b>")->status, 404);
  EXPECT_TRUE(CheckAppPassword(*db, testing::kLi, password, UtcNow()));
  EXPECT_EQ(post(*li, "revoke-app-password", "phone <b>")->status, 303);
  EXPECT_FALSE(CheckAppPassword(*db, testing::kLi, password, UtcNow()));
  EXPECT_EQ(post(*li, "revoke-app-password", "phone <b>")->status, 404);

  AuditFilter filter;
  filter.persons = {testing::kLi};
  filter.kind = std::string(audit::kTokenChanged);
  const std::vector<StoredAudit> rows = ListAudit(*db, filter, 0, 10);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].record.detail, "app password revoked: phone <b>");
  EXPECT_EQ(rows[1].record.detail, "app password made: phone <b>");
  EXPECT_EQ(rows[1].record.actor, testing::kLi);

  // The cookie of a new API token never shows as an app password.
  const SecretKey key = RandomSecret();
  const std::string sealed = SealNewToken(key, 7, password, 1000, NewSecret::kApiToken);
  EXPECT_EQ(OpenNewToken(key, sealed, 7, 990), password);
  EXPECT_FALSE(OpenNewToken(key, sealed, 7, 990, NewSecret::kAppPassword));
}

// Calendar programs sign in with every request: wrong app passwords are
// written to the audit log and throttled as web sign-ins are, right ones
// leave no record.
TEST(AppPasswordSignIn, WrongOnesAreAuditedAndThrottledRightOnesAreNot) {
  const testing::TempDir dir;
  const std::string path = dir.File("schedule.db");
  testing::WriteFixture(path);
  const std::unique_ptr<store::Connection> db = store::Connect("sqlite:" + path);
  const std::string password = CreateAppPassword(*db, testing::kZhang, "phone", UtcNow());
  const testing::RunningServer server(testing::TestOptions(path));
  const auto basic = [](const std::string& secret) {
    return testing::Headers{
        {"Authorization", "Basic " + Base64(std::to_string(testing::kZhang) + ":" + secret)},
        {"Depth", "0"}};
  };
  testing::HttpClient client(server.port());
  for (int i = 0; i < 3; ++i) {
    const testing::Result right = client.Send("PROPFIND", "/dav/", basic(password));
    ASSERT_TRUE(right);
    EXPECT_EQ(right->status, 207);
  }
  std::vector<int> statuses;
  for (int i = 0; i < 14; ++i) {
    const testing::Result wrong = client.Send("PROPFIND", "/dav/", basic("wrong-" + password));
    ASSERT_TRUE(wrong);
    statuses.push_back(wrong->status);
  }
  EXPECT_EQ(statuses.front(), 401);
  EXPECT_EQ(statuses.back(), 429);
  const std::vector<StoredAudit> failed =
      ListAudit(*db, AuditFilter{{}, std::string(audit::kSignInFailed), {}, {}}, 0, 100);
  ASSERT_FALSE(failed.empty());
  EXPECT_EQ(failed.front().record.subject, testing::kZhang);
  EXPECT_EQ(failed.front().record.detail, "app password: " + std::to_string(testing::kZhang));
  EXPECT_EQ(failed.front().record.address, "127.0.0.1");
  EXPECT_EQ(CountAudit(*db, AuditFilter{{}, std::string(audit::kSignInThrottled), {}, {}}), 1)
      << "a throttled address is recorded once a while, not per request";
  EXPECT_EQ(CountAudit(*db, AuditFilter{{}, std::string(audit::kSignIn), {}, {}}), 0);
  EXPECT_EQ(password.find("wrong"), std::string::npos);
  for (const StoredAudit& record : failed) {
    EXPECT_EQ(record.record.detail.find(password), std::string::npos) << "no secret in the log";
  }
}

}  // namespace
}  // namespace ostrand::web
