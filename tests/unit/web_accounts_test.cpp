// Signing of the session cookie, the server secret, and sign-in accounts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "core/error.h"
#include "web/auth/accounts.h"
#include "web/http/request_values.h"
#include "web/auth/server_secret.h"
#include "web/auth/session_cookie.h"
#include "test_support.h"

namespace ostrand::web {
namespace {

using test_support::ErrorOf;
using testing::TempDir;

constexpr std::int64_t kNow = 1'000'000'000;

TEST(WebSessionCookie, CarriesItemsWithTheirKinds) {
  const SessionSigner signer(RandomSecret());
  host::MemorySession items;
  items.Set("personID", Value::Int32(12));
  items.Set("systemID", Value::Double(1.5));
  items.Set("rnd", Value::Text("a'b<c"));
  items.Set("strURL", Value::Text("/schedule/personMonth.asp"));
  items.Set("gone", Value());

  const std::string cookie = signer.Seal(items, kNow + 60);
  // The second time the cookie comes from the signer's memory of opened
  // cookies: the same items, and a page's changes to them stay its own.
  for (int time = 0; time < 2; ++time) {
    const std::optional<OpenedSession> opened = signer.Open(cookie, kNow);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->expires, kNow + 60);
    EXPECT_EQ(opened->items->Get("PERSONID"), Value::Int32(12));
    EXPECT_EQ(opened->items->Get("systemID"), Value::Double(1.5));
    EXPECT_EQ(opened->items->Get("rnd"), Value::Text("a'b<c"));
    EXPECT_EQ(opened->items->Get("strURL"), Value::Text("/schedule/personMonth.asp"));
    EXPECT_EQ(opened->items->items().count("gone"), 0u);
    opened->items->Set("strURL", Value::Text("/elsewhere"));
  }
}

// Ids from the database reach the session and the component unchanged, also
// beyond 32 bits (where a cast would name another person).
TEST(WebSessionCookie, LargeIdsSurviveTheRoundTrip) {
  const SessionSigner signer(RandomSecret());
  host::MemorySession items;
  items.Set("personID", IdValue(3'000'000'007));
  items.Set("systemID", IdValue(7));
  const std::optional<OpenedSession> opened = signer.Open(signer.Seal(items, kNow + 60), kNow);
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->items->Get("personID").ToText(), "3000000007");
  EXPECT_EQ(opened->items->Get("systemID"), Value::Int32(7));
  EXPECT_THROW(IdValue((std::int64_t{1} << 53) + 1), Error);
}

TEST(WebSessionCookie, RefusesTamperedExpiredAndForeignCookies) {
  const SessionSigner signer(RandomSecret());
  host::MemorySession items;
  items.Set("personID", Value::Int32(2));
  const std::string cookie = signer.Seal(items, kNow + 60);
  ASSERT_TRUE(signer.Open(cookie, kNow));

  // A payload naming another person, under the old signature.
  host::MemorySession forged_items;
  forged_items.Set("personID", Value::Int32(1));
  const std::string forged = signer.Seal(forged_items, kNow + 60);
  const std::string spliced = forged.substr(0, forged.find('.')) + cookie.substr(cookie.find('.'));
  EXPECT_FALSE(signer.Open(spliced, kNow));

  std::string flipped = cookie;
  flipped[flipped.size() / 3] = flipped[flipped.size() / 3] == 'A' ? 'B' : 'A';
  EXPECT_FALSE(signer.Open(flipped, kNow));
  EXPECT_FALSE(signer.Open(cookie.substr(0, cookie.size() - 2), kNow));
  EXPECT_FALSE(signer.Open("", kNow));
  EXPECT_FALSE(signer.Open("no-dot-at-all", kNow));
  EXPECT_FALSE(signer.Open(cookie, kNow + 60)) << "expired at its expiry time";
  EXPECT_FALSE(SessionSigner(RandomSecret()).Open(cookie, kNow)) << "signed with another key";
}

// The signature is crypto_auth of "session", NUL, payload: cookies signed
// by every server sharing the key (and by earlier builds) keep opening.
TEST(WebSessionCookie, SignatureIsCryptoAuthOfPurposeAndPayload) {
  const SecretKey key = RandomSecret();
  host::MemorySession items;
  items.Set("personID", Value::Int32(2));
  const std::string cookie = SessionSigner(key).Seal(items, kNow + 60);
  const std::string payload = cookie.substr(0, cookie.find('.'));
  const std::string message = std::string("session") + '\0' + payload;
  std::array<unsigned char, crypto_auth_BYTES> tag{};
  crypto_auth(tag.data(), reinterpret_cast<const unsigned char*>(message.data()), message.size(),
              key.data());
  std::string encoded(sodium_base64_ENCODED_LEN(tag.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING),
                      '\0');
  sodium_bin2base64(encoded.data(), encoded.size(), tag.data(), tag.size(),
                    sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  encoded.resize(encoded.size() - 1);
  EXPECT_EQ(cookie.substr(cookie.find('.') + 1), encoded);
}

TEST(WebSessionCookie, CsrfTokenBelongsToItsSessionAndKey) {
  const SessionSigner signer(RandomSecret());
  const std::string token = signer.CsrfToken("rnd-1");
  EXPECT_TRUE(signer.CheckCsrfToken("rnd-1", token));
  EXPECT_FALSE(signer.CheckCsrfToken("rnd-2", token));
  EXPECT_FALSE(signer.CheckCsrfToken("rnd-1", ""));
  EXPECT_FALSE(signer.CheckCsrfToken("", signer.CsrfToken("")));
  EXPECT_FALSE(SessionSigner(RandomSecret()).CheckCsrfToken("rnd-1", token));
  EXPECT_NE(RandomToken(), RandomToken());
}

TEST(WebSessionCookie, CarriesItsGenerations) {
  const SessionSigner signer(RandomSecret());
  host::MemorySession items;
  items.Set("personID", Value::Int32(2));
  const std::optional<OpenedSession> opened =
      signer.Open(signer.Seal(items, kNow + 60, {7, 3}), kNow);
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->generation, (SessionGeneration{7, 3}));
  EXPECT_EQ(opened->items->items().count("gen"), 0u) << "not a Session item";
}

TEST(WebSignInToken, OnlyOurOwnRecentTokensHold) {
  const SessionSigner signer(RandomSecret());
  const std::string token = signer.SignInToken(kNow);
  EXPECT_NE(token, signer.SignInToken(kNow));
  EXPECT_TRUE(signer.CheckSignInToken(token, kNow + 3600, 3600));
  EXPECT_FALSE(signer.CheckSignInToken(token, kNow + 3601, 3600)) << "expired";
  EXPECT_FALSE(signer.CheckSignInToken(token, kNow - 61, 3600)) << "from the future";
  EXPECT_FALSE(SessionSigner(RandomSecret()).CheckSignInToken(token, kNow, 3600))
      << "another server's key";
  // A planted value, or ours with its time moved on, is no token.
  const std::string data = token.substr(0, token.rfind('.'));
  const std::string moved = data.substr(0, data.find('.') + 1) + std::to_string(kNow + 100) +
                            token.substr(token.rfind('.'));
  for (const std::string& planted : {std::string("abc"), std::string(""), moved,
                                     RandomToken() + "." + std::to_string(kNow) + ".x"}) {
    EXPECT_FALSE(signer.CheckSignInToken(planted, kNow, 3600)) << planted;
  }
}

TEST(WebServerSecret, IsMadeOnceWithOwnerOnlyAccessAndThenReused) {
  const TempDir dir;
  const std::string path = dir.File("var/ostrand.secret");
  const SecretKey first = LoadSecret(path, true);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(LoadSecret(path, true), first);
  EXPECT_EQ(LoadSecret(path, false), first);

  EXPECT_THROW(LoadSecret(dir.File("missing"), false), Error);
  std::ofstream(dir.File("short")) << "too short";
  EXPECT_THROW(LoadSecret(dir.File("short"), false), Error);
}

class WebAccounts : public ::testing::Test {
 protected:
  void SetUp() override { testing::WriteFixture(path_); }
  const TempDir dir_;
  const std::string path_ = dir_.File("accounts.db");
};

TEST_F(WebAccounts, SignInByIdOrUniqueNameWithTheRightPasswordOnly) {
  const std::unique_ptr<store::Connection> connection = store::Connect("sqlite:" + path_);
  store::Connection& db = *connection;
  const SignInChecker checker(PasswordLimits::Minimal());
  const std::optional<Person> by_id = checker.Check(db, "2", testing::kPassword);
  ASSERT_TRUE(by_id);
  EXPECT_EQ(by_id->name, "李科员");
  EXPECT_EQ(by_id->system_id, 1);
  const std::optional<Person> by_name = checker.Check(db, "张局长", testing::kPassword);
  ASSERT_TRUE(by_name);
  EXPECT_EQ(by_name->id, testing::kZhang);

  EXPECT_FALSE(checker.Check(db, "2", "wrong"));
  EXPECT_FALSE(checker.Check(db, "99", testing::kPassword));
  EXPECT_FALSE(checker.Check(db, "nobody", testing::kPassword));
  EXPECT_FALSE(checker.Check(db, "", testing::kPassword));

  // Two persons of one name: the name identifies nobody.
  db.ExecuteScript("INSERT INTO person VALUES (5, '李科员', 4, 1)");
  EXPECT_FALSE(checker.Check(db, "李科员", testing::kPassword));
  // A person without an account cannot sign in.
  EXPECT_FALSE(checker.Check(db, "5", testing::kPassword));
}

TEST_F(WebAccounts, SetPasswordReplacesTheOldOneAndNeedsAPerson) {
  const std::unique_ptr<store::Connection> connection = store::Connect("sqlite:" + path_);
  store::Connection& db = *connection;
  SetPassword(db, testing::kLi, "new secret", PasswordLimits::Minimal());
  const SignInChecker checker(PasswordLimits::Minimal());
  EXPECT_TRUE(checker.Check(db, "2", "new secret"));
  EXPECT_FALSE(checker.Check(db, "2", testing::kPassword));
  EXPECT_THROW(SetPassword(db, 99, "x", PasswordLimits::Minimal()), Error);
  EXPECT_THROW(SetPassword(db, testing::kLi, "", PasswordLimits::Minimal()), Error);
}

TEST_F(WebAccounts, DemoPasswordsAreAllOrNothing) {
  const std::int64_t with_missing[] = {testing::kLi, 99};
  EXPECT_THROW(
      GiveDemoPasswords("sqlite:" + path_, with_missing, "demo", PasswordLimits::Minimal()), Error);
  const std::unique_ptr<store::Connection> db = store::Connect("sqlite:" + path_);
  const SignInChecker checker(PasswordLimits::Minimal());
  EXPECT_TRUE(checker.Check(*db, "2", testing::kPassword)) << "the failed call changed nothing";
  EXPECT_FALSE(checker.Check(*db, "2", "demo"));
}

TEST_F(WebAccounts, SessionGenerationsMoveOnAndOldTablesAreUpgraded) {
  const std::unique_ptr<store::Connection> connection = store::Connect("sqlite:" + path_);
  store::Connection& db = *connection;
  // A database from before session generations.
  db.ExecuteScript(
      "DROP TABLE hostAccount; DROP TABLE hostSetting; "
      "CREATE TABLE hostAccount (personID INTEGER PRIMARY KEY, passwordHash TEXT NOT NULL); "
      "INSERT INTO hostAccount VALUES (2, 'x'), (3, 'y')");
  EnsureAccountTable(db);
  EnsureAccountTable(db);
  EXPECT_EQ(CurrentSessionGeneration(db, 2), (SessionGeneration{0, 0}));
  EXPECT_EQ(CurrentSessionGeneration(db, 1), std::nullopt) << "no account";

  EndSessionsOf(db, 2);
  EXPECT_EQ(CurrentSessionGeneration(db, 2), (SessionGeneration{1, 0}));
  EXPECT_EQ(CurrentSessionGeneration(db, 3), (SessionGeneration{0, 0}));
  SetPassword(db, 3, "new", PasswordLimits::Minimal());
  EXPECT_EQ(CurrentSessionGeneration(db, 3), (SessionGeneration{1, 0}));
  EndAllSessions(db);
  EndAllSessions(db);
  EXPECT_EQ(CurrentSessionGeneration(db, 2), (SessionGeneration{1, 2}));
  EXPECT_EQ(ErrorOf([&] { EndSessionsOf(db, 1); }), "person 1 has no sign-in account");
}

TEST(WebHashing, ArgonHashesVerifyAndCarryTheirSalt) {
  const std::string hash = HashPassword("pw", PasswordLimits::Minimal());
  EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u) << hash;
  EXPECT_NE(hash, HashPassword("pw", PasswordLimits::Minimal()));
  EXPECT_TRUE(VerifyPassword(hash, "pw"));
  EXPECT_FALSE(VerifyPassword(hash, "pw "));
  EXPECT_FALSE(VerifyPassword("not a hash", "pw"));
}

}  // namespace
}  // namespace ostrand::web
