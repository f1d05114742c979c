// The second factor of local accounts: one-time codes and their window,
// sealed secrets, recovery codes, the QR code, enrolment, the sign-in's
// second step with its throttle, --require-second-factor and an
// administrator's removal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <set>

#include "test_databases.h"
#include "test_support.h"
#include "web/account/qr_svg.h"
#include "web/auth/one_time_codes.h"
#include "web/auth/second_factor.h"
#include "web/auth/sign_in.h"
#include "web/data/accounts_table.h"
#include "web/data/admins_table.h"
#include "web/data/audit_log.h"
#include "web/data/plan_changes.h"
#include "web/data/second_factor_table.h"

namespace ostrand::web {
namespace {

using test_support::Contains;
using namespace testing;

// The test secret of RFC 6238's SHA-1 vectors.
const std::string kRfcSecret = "12345678901234567890";

std::string FromBase32(std::string_view text) {
  constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (const char c : text) {
    const std::size_t value = kAlphabet.find(c);
    if (value == std::string_view::npos) continue;  // group spaces
    buffer = (buffer << 5) | static_cast<unsigned>(value);
    bits += 5;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xff);
    }
  }
  return out;
}

TEST(WebOneTimeCodes, StandardVectorsAndAWindowOfOneStepEitherSide) {
  // The last six digits of the standard's eight-digit SHA-1 codes.
  const std::pair<std::int64_t, const char*> vectors[] = {
      {59, "287082"},         {1111111109, "081804"}, {1111111111, "050471"},
      {1234567890, "005924"}, {2000000000, "279037"}, {20000000000, "353130"}};
  for (const auto& [time, code] : vectors) {
    EXPECT_EQ(CodeOfStep(kRfcSecret, CodeStep(time)), code) << time;
  }
  const std::int64_t now = 1111111109;
  const std::int64_t step = CodeStep(now);
  for (const std::int64_t offset : {-1, 0, 1}) {
    EXPECT_EQ(MatchCode(kRfcSecret, CodeOfStep(kRfcSecret, step + offset), now, std::nullopt),
              step + offset);
  }
  for (const std::int64_t offset : {-2, 2}) {
    EXPECT_EQ(MatchCode(kRfcSecret, CodeOfStep(kRfcSecret, step + offset), now, std::nullopt),
              std::nullopt);
  }
  // A step taken is never taken again, nor one before it.
  EXPECT_EQ(MatchCode(kRfcSecret, CodeOfStep(kRfcSecret, step), now, step), std::nullopt);
  EXPECT_EQ(MatchCode(kRfcSecret, CodeOfStep(kRfcSecret, step - 1), now, step), std::nullopt);
  EXPECT_EQ(MatchCode(kRfcSecret, CodeOfStep(kRfcSecret, step + 1), now, step), step + 1);
  EXPECT_EQ(CodeStep(-1), -1);
}

TEST(WebOneTimeCodes, TypedCodesSealedSecretsAndTheQrCode) {
  const std::pair<const char*, std::optional<std::string>> typed[] = {
      {"123456", "123456"},           {" 123 456 ", "123456"},   {"123-456", "123456"},
      {"12345", std::nullopt},        {"1234567", std::nullopt}, {"12a456", std::nullopt},
      {"１２３４５６", std::nullopt}, {"", std::nullopt}};
  for (const auto& [text, code] : typed) EXPECT_EQ(ReadOneTimeCode(text), code) << text;

  const std::vector<std::string> codes = NewRecoveryCodes();
  ASSERT_EQ(codes.size(), kRecoveryCodeCount);
  EXPECT_TRUE(std::regex_match(codes[0], std::regex("[2-9a-z]{4}-[2-9a-z]{4}-[2-9a-z]{4}")));
  EXPECT_EQ(std::set<std::string>(codes.begin(), codes.end()).size(), codes.size());
  std::string upper = codes[0];
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(ReadRecoveryCode(" " + upper + " "), ReadRecoveryCode(codes[0]));
  for (const char* bad : {"abcd-efgh-jkm", "abcd-efgh-jkmnp", "abcd-efgh-jkm0", "abcd-efgh-jkml"}) {
    EXPECT_EQ(ReadRecoveryCode(bad), std::nullopt) << bad;
  }
  EXPECT_NE(RecoveryCodeHash(2, "abcdefghjkmn"), RecoveryCodeHash(3, "abcdefghjkmn"));

  const SecretSealer sealer(RandomSecret());
  const std::string sealed = sealer.Seal(kRfcSecret, 2);
  EXPECT_EQ(sealer.Open(sealed, 2), kRfcSecret);
  EXPECT_NE(sealer.Seal(kRfcSecret, 2), sealed);  // a fresh nonce each time
  EXPECT_EQ(sealer.Open(sealed, 3), std::nullopt);
  EXPECT_EQ(SecretSealer(RandomSecret()).Open(sealed, 2), std::nullopt);
  std::string damaged = sealed;
  damaged[damaged.size() / 2] = damaged[damaged.size() / 2] == 'A' ? 'B' : 'A';
  EXPECT_EQ(sealer.Open(damaged, 2), std::nullopt);
  EXPECT_EQ(sealer.Open("", 2), std::nullopt);

  EXPECT_EQ(Base32(kRfcSecret), "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ");
  const std::string uri = OtpAuthUri("赵<&>六/x", kRfcSecret);
  EXPECT_EQ(uri,
            "otpauth://totp/ostrand:%E8%B5%B5%3C%26%3E%E5%85%AD%2Fx?secret="
            "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ&issuer=ostrand&algorithm=SHA1&digits=6&period=30");
  const std::string svg = QrSvg(uri, "<key \"&' of>");
  EXPECT_TRUE(svg.starts_with("<svg xmlns=\"http://www.w3.org/2000/svg\""));
  EXPECT_TRUE(svg.ends_with("</svg>"));
  EXPECT_TRUE(Contains(svg, "aria-label=\"&lt;key &quot;&amp;&#39; of&gt;\""));
  // Outside the label, nothing but the drawing's own markup and numbers.
  const std::string drawing = std::regex_replace(svg, std::regex("aria-label=\"[^\"]*\""), "");
  EXPECT_TRUE(std::regex_match(drawing, std::regex("[-<>/=\":.#a-zA-Z0-9 ]*")));
  EXPECT_EQ(std::count(drawing.begin(), drawing.end(), '<'), 4);  // svg, rect, path, /svg
  EXPECT_THROW(QrSvg(std::string(8000, 'x'), "too long"), Error);
}

// The rows on every backend: a step and a recovery code are taken once, and
// a removal takes the codes with it.
class SecondFactorTable : public ::testing::TestWithParam<test_support::TestBackend> {};

TEST_P(SecondFactorTable, StepsAndRecoveryCodesAreTakenOnce) {
  const test_support::TestDatabase database(GetParam());
  const std::unique_ptr<store::Connection> db = store::Connect(database.connection_string());
  const SecondFactors factors(RandomSecret());
  const std::int64_t now = 2000000000;
  const std::string secret = *factors.EnrolmentSecret(*db, 7, now);
  const std::vector<std::string> codes =
      *factors.Confirm(*db, 7, CodeOfStep(secret, CodeStep(now)), now);
  const std::optional<StoredSecondFactor> stored = FindSecondFactor(*db, 7);
  ASSERT_TRUE(stored && stored->confirmed && stored->confirmed_at);
  EXPECT_EQ(stored->last_step, CodeStep(now));
  EXPECT_TRUE(factors.Use(*db, 7, CodeOfStep(secret, CodeStep(now) + 1), now + 30));
  EXPECT_FALSE(factors.Use(*db, 7, CodeOfStep(secret, CodeStep(now) + 1), now + 30));
  EXPECT_TRUE(factors.Use(*db, 7, codes[9], now));
  EXPECT_FALSE(factors.Use(*db, 7, codes[9], now));
  EXPECT_EQ(UnusedRecoveryCodes(*db, 7), 9);
  {
    store::Transaction transaction(*db);
    EXPECT_TRUE(RemoveSecondFactor(*db, 7));
    transaction.Commit();
  }
  EXPECT_FALSE(FindSecondFactor(*db, 7));
  EXPECT_EQ(UnusedRecoveryCodes(*db, 7), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, SecondFactorTable,
                         ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

class WebSecondFactor : public ::testing::Test {
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
  ServerOptions Options() const {
    ServerOptions options = TestOptions(db_path_);
    options.secret = key_;
    return options;
  }
  // Enrols the person as of a step ago, so that the codes of now and of
  // the next step are still free; returns the secret.
  std::string Enrol(int person) const {
    const SecondFactors factors(key_);
    const std::unique_ptr<store::Connection> db = Db();
    const std::int64_t before = UnixNow() - kCodeStepSeconds;
    const std::string secret = *factors.EnrolmentSecret(*db, person, before);
    EXPECT_TRUE(factors.Confirm(*db, person, CodeOfStep(secret, CodeStep(before)), before));
    return secret;
  }
  std::vector<std::string> AuditOf(int person, std::string_view kind) const {
    const std::array params{store::SqlParam::Integer(person),
                            store::SqlParam::Text(std::string(kind))};
    store::RecordSet rows = Db()->Query(
        "SELECT detail FROM hostAudit WHERE subjectID = ? AND kind = ? ORDER BY auditID", params);
    std::vector<std::string> details;
    for (; !rows.Eof(); rows.MoveNext()) details.push_back(rows.Field(0).ToText());
    return details;
  }
  static std::string Location(const Result& reply) {
    return reply ? reply->get_header_value("Location") : "";
  }

  const TempDir dir_;
  const std::string db_path_ = dir_.File("factor.db");
  const SecretKey key_ = RandomSecret();
};

TEST_F(WebSecondFactor, EnrolmentNeedsARightFirstCodeAndEachCodeWorksOnce) {
  const SecondFactors factors(key_);
  const std::unique_ptr<store::Connection> db = Db();
  const std::int64_t now = 1111111109;
  const std::string secret = *factors.EnrolmentSecret(*db, kLi, now);
  EXPECT_EQ(factors.EnrolmentSecret(*db, kLi, now + 5), secret);  // the same until confirmed
  EXPECT_FALSE(factors.Use(*db, kLi, CodeOfStep(secret, CodeStep(now)), now));
  EXPECT_FALSE(factors.Confirm(*db, kLi, CodeOfStep(secret, CodeStep(now) + 2), now));
  EXPECT_FALSE(HasConfirmedSecondFactor(*db, kLi));
  const std::optional<std::vector<std::string>> codes =
      factors.Confirm(*db, kLi, CodeOfStep(secret, CodeStep(now)), now);
  ASSERT_TRUE(codes && codes->size() == kRecoveryCodeCount);
  EXPECT_TRUE(HasConfirmedSecondFactor(*db, kLi));
  EXPECT_EQ(factors.EnrolmentSecret(*db, kLi, now), std::nullopt);

  // The enrolling code's step is taken; the next one works once.
  EXPECT_FALSE(factors.Use(*db, kLi, CodeOfStep(secret, CodeStep(now)), now));
  EXPECT_TRUE(factors.Use(*db, kLi, CodeOfStep(secret, CodeStep(now) + 1), now + 20));
  EXPECT_FALSE(factors.Use(*db, kLi, CodeOfStep(secret, CodeStep(now) + 1), now + 20));
  // A recovery code works once, for its own person only.
  EXPECT_FALSE(factors.Use(*db, kZhao, (*codes)[3], now));
  EXPECT_TRUE(factors.Use(*db, kLi, (*codes)[3], now));
  EXPECT_FALSE(factors.Use(*db, kLi, (*codes)[3], now));
  EXPECT_EQ(UnusedRecoveryCodes(*db, kLi), 9);
  // Under another server secret the codes no longer open; recovery codes do.
  EXPECT_FALSE(
      SecondFactors(RandomSecret()).Use(*db, kLi, CodeOfStep(secret, CodeStep(now) + 2), now + 50));
  EXPECT_TRUE(SecondFactors(RandomSecret()).Use(*db, kLi, (*codes)[4], now));
}

TEST_F(WebSecondFactor, APasswordSignInEndsWithTheCode) {
  const std::string secret = Enrol(kLi);
  const RunningServer server(Options());
  Browser browser(server.port());
  const std::string next = "/schedule/personWeek.asp";
  const Result password = browser.SignIn(std::to_string(kLi), kPassword, next);
  ASSERT_TRUE(password && password->status == 303);
  EXPECT_EQ(Location(password), "/login/code");
  EXPECT_FALSE(browser.cookies().contains("ostrand_session"));
  EXPECT_EQ(browser.Get(next)->status, 303);  // no session yet
  EXPECT_TRUE(AuditOf(kLi, audit::kSignIn).empty());

  const Result form = browser.Get("/login/code");
  ASSERT_TRUE(form && form->status == 200);
  const std::string pending = Browser::FieldValue(form->body, "pending");
  const std::string right = CodeOfStep(secret, CodeStep(UnixNow()));
  std::string wrong = right;
  wrong[0] = static_cast<char>('0' + (wrong[0] - '0' + 1) % 10);
  // Another site's post, without the form's id, starts over.
  EXPECT_EQ(Location(browser.Post("/login/code", {{"code", right}})), "/login");
  ASSERT_TRUE(browser.SignIn(std::to_string(kLi), kPassword, next));
  const std::string fresh = Browser::FieldValue(browser.Get("/login/code")->body, "pending");
  EXPECT_NE(fresh, pending);
  const Result refused = browser.Post("/login/code", {{"pending", fresh}, {"code", wrong}});
  ASSERT_TRUE(refused && refused->status == 403);
  EXPECT_EQ(AuditOf(kLi, audit::kSignInFailed), std::vector<std::string>{"code"});
  const Result signed_in = browser.Post("/login/code", {{"pending", fresh}, {"code", right}});
  ASSERT_TRUE(signed_in && signed_in->status == 303);
  EXPECT_EQ(Location(signed_in), next);
  EXPECT_FALSE(browser.cookies().contains("ostrand_pending"));
  EXPECT_EQ(browser.Get(next)->status, 200);
  EXPECT_EQ(AuditOf(kLi, audit::kSignIn).size(), 1u);

  // The code just taken does not sign in a second browser.
  Browser other(server.port());
  ASSERT_TRUE(other.SignIn(std::to_string(kLi), kPassword));
  const std::string id = Browser::FieldValue(other.Get("/login/code")->body, "pending");
  EXPECT_EQ(other.Post("/login/code", {{"pending", id}, {"code", right}})->status, 403);
}

TEST_F(WebSecondFactor, WrongCodesAreThrottledAndANewPasswordEndsTheSecondStep) {
  const std::string secret = Enrol(kLi);
  ServerOptions options = Options();
  options.signin_throttle.pair = {2, std::chrono::minutes(5), std::chrono::minutes(5), 20};
  const RunningServer server(std::move(options));

  Browser guesser(server.port());
  ASSERT_EQ(guesser.SignIn(std::to_string(kLi), kPassword)->status, 303);
  const std::string id = Browser::FieldValue(guesser.Get("/login/code")->body, "pending");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(guesser.Post("/login/code", {{"pending", id}, {"code", "not a code"}})->status, 403);
  }
  const Result held = guesser.Post("/login/code", {{"pending", id}, {"code", "000000"}});
  ASSERT_TRUE(held && held->status == 429);
  EXPECT_GE(std::stoi(held->get_header_value("Retry-After")), 1);
  // The same throttle holds the password back too.
  EXPECT_EQ(guesser.SignIn(std::to_string(kLi), kPassword)->status, 429);

  Browser owner(server.port(), "127.0.0.2");
  ASSERT_EQ(owner.SignIn(std::to_string(kLi), kPassword)->status, 303);
  const std::string mine = Browser::FieldValue(owner.Get("/login/code")->body, "pending");
  {
    const std::unique_ptr<store::Connection> db = Db();
    store::Transaction transaction(*db);
    StorePasswordHash(*db, kLi, HashPassword("another-password-1", PasswordLimits::Minimal()));
    transaction.Commit();
  }
  const Result ended = owner.Post(
      "/login/code", {{"pending", mine}, {"code", CodeOfStep(secret, CodeStep(UnixNow()))}});
  EXPECT_EQ(Location(ended), "/login");
  EXPECT_FALSE(owner.cookies().contains("ostrand_session"));
}

TEST_F(WebSecondFactor, AnAdministratorMustEnrolFirstAndMayRemoveAnothersFactor) {
  ServerOptions options = Options();
  options.second_factor = SecondFactorRule::kAdministrators;
  const RunningServer server(std::move(options));
  EXPECT_EQ(SignedIn(server.port(), kLi)->Get("/schedule/personMonth.asp")->status, 200);

  const std::unique_ptr<Browser> admin = SignedIn(server.port(), kZhang);
  for (const char* page : {"/schedule/personMonth.asp", "/account", "/admin/access?person=2"}) {
    EXPECT_EQ(Location(admin->Get(page)), "/account/second-factor") << page;
  }
  EXPECT_EQ(admin->Get("/logout")->status, 200);
  const Result enrol = admin->Get("/account/second-factor");
  ASSERT_TRUE(enrol && enrol->status == 200);
  EXPECT_TRUE(Contains(enrol->body, "<svg"));
  EXPECT_EQ(enrol->get_header_value("Cache-Control"), "no-store");
  std::smatch key;
  ASSERT_TRUE(std::regex_search(enrol->body, key, std::regex("class=\"secret\">([A-Z2-7 ]+)<")));
  const std::string secret = FromBase32(key[1].str());
  ASSERT_EQ(secret.size(), kCodeSecretBytes);
  const std::string csrf = Browser::FieldValue(enrol->body, "csrf");
  const std::string right = CodeOfStep(secret, CodeStep(UnixNow()));
  std::string wrong = right;
  wrong[5] = static_cast<char>('0' + (wrong[5] - '0' + 1) % 10);
  EXPECT_EQ(
      admin
          ->Post("/account/second-factor", {{"csrf", csrf}, {"action", "confirm"}, {"code", wrong}})
          ->status,
      400);
  const Result codes = admin->Post("/account/second-factor",
                                   {{"csrf", csrf}, {"action", "confirm"}, {"code", right}});
  ASSERT_TRUE(codes && codes->status == 200);
  std::vector<std::string> recovery;
  const std::regex shown("<li><code>([2-9a-z-]{14})</code></li>");
  for (auto it = std::sregex_iterator(codes->body.begin(), codes->body.end(), shown);
       it != std::sregex_iterator(); ++it) {
    recovery.push_back((*it)[1].str());
  }
  ASSERT_EQ(recovery.size(), kRecoveryCodeCount);
  EXPECT_EQ(AuditOf(kZhang, audit::kSecondFactorEnrolled).size(), 1u);
  EXPECT_EQ(admin->Get("/schedule/personMonth.asp")->status, 200);

  // Turning it off takes the password.
  EXPECT_EQ(admin
                ->Post("/account/second-factor",
                       {{"csrf", csrf}, {"action", "remove"}, {"password", "wrong"}})
                ->status,
            403);
  EXPECT_TRUE(HasConfirmedSecondFactor(*Db(), kZhang));

  // A recovery code signs the administrator in again.
  Browser again(server.port());
  ASSERT_EQ(Location(again.SignIn(std::to_string(kZhang), kPassword)), "/login/code");
  const std::string id = Browser::FieldValue(again.Get("/login/code")->body, "pending");
  EXPECT_EQ(again.Post("/login/code", {{"pending", id}, {"code", recovery[0]}})->status, 303);
  EXPECT_EQ(again.Get("/schedule/personMonth.asp")->status, 200);

  // Li lost the phone: the administrator removes Li's second factor.
  Enrol(kLi);
  const Result access = admin->Get("/admin/access?person=2");
  ASSERT_TRUE(access && Contains(access->body, "remove-second-factor"));
  const Result removed = admin->Post(
      "/admin/access", {{"csrf", csrf}, {"person", "2"}, {"action", "remove-second-factor"}});
  ASSERT_TRUE(removed && removed->status == 303);
  EXPECT_FALSE(HasConfirmedSecondFactor(*Db(), kLi));
  EXPECT_EQ(AuditOf(kLi, audit::kSecondFactorRemoved),
            std::vector<std::string>{"by an administrator"});
  EXPECT_EQ(Location(SignedIn(server.port(), kLi)->Get("/schedule/personMonth.asp")), "");
}

}  // namespace
}  // namespace ostrand::web
