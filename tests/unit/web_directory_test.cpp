// Sign-in with a directory password: the filter's escaping, LdapDirectory
// against the throwaway slapd that CTest starts (scripts/test-slapd,
// fixture "slapd"), and the sign-in form with a directory in front of the
// local accounts.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/error.h"
#include "core/text.h"
#include "store/connect.h"
#include "test_support.h"
#include "web/data/audit_log.h"
#include "web/data/persons.h"
#include "web/directory/ldap_directory.h"
#include "web/directory/ldap_filter.h"

namespace ostrand::web {
namespace {

using testing::Browser;
using Status = DirectoryAnswer::Status;

// The directory of scripts/test-slapd, read from its state folder.
struct TestDirectory {
  std::string ldap_url;
  std::string ldaps_url;
  std::string base;
  std::string ca_file;
  std::string other_ca_file;
  std::string reader_dn;
  std::string reader_password;
};

const TestDirectory& Slapd() {
  static const TestDirectory directory = [] {
    const std::string dir = OSTRAND_TEST_SLAPD_DIR;
    const auto read = [&dir](const char* name) {
      return std::string(TrimWhitespace(test_support::ReadFile(dir + "/" + name)));
    };
    TestDirectory d{read("ldap_url"),      read("ldaps_url"),     read("base"),
                    dir + "/ca.pem",       dir + "/other-ca.pem", read("reader_dn"),
                    read("reader_password")};
    if (d.ldap_url.empty() || d.ldaps_url.empty()) {
      throw Error("no test directory in " + dir +
                  ": run the tests with ctest, or start one with scripts/test-slapd start " + dir);
    }
    return d;
  }();
  return directory;
}

// Options for the test directory at `url`, by employeeNumber.
LdapOptions DirectoryAt(const std::string& url) {
  LdapOptions options;
  options.url = url;
  options.base = Slapd().base;
  options.person_attribute = "employeeNumber";
  options.timeout = std::chrono::milliseconds(3000);
  return options;
}

// A loopback port that nothing listens on (bound, then let go).
int UnusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

// A loopback listener that takes connections (the kernel's queue does)
// and never says a word: a directory that hangs.
class SilentListener {
 public:
  SilentListener() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 16);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~SilentListener() { ::close(fd_); }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  int port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

TEST(WebLdapFilter, EscapesEveryByteThatCouldChangeTheFilter) {
  const struct {
    std::string typed;
    std::string escaped;
  } cases[] = {
      {"li", "li"},
      {"Li Keyuan-2.x_y@z", "Li Keyuan-2.x_y@z"},
      {"*", "\\2a"},
      {"*)(uid=*", "\\2a\\29\\28uid=\\2a"},
      {"x)(|(objectClass=*)", "x\\29\\28|\\28objectClass=\\2a\\29"},
      {"a\\2a", "a\\5c2a"},
      {std::string("a\0b", 3), "a\\00b"},
      {"tab\there\x7f", "tab\\09here\\7f"},
      {"é李", "\\c3\\a9\\e6\\9d\\8e"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeFilterValue(c.typed), c.escaped) << c.typed;
  EXPECT_EQ(FilterForName("(uid=%s)", "*"), "(uid=\\2a)");
  EXPECT_EQ(FilterForName("(&(objectClass=person)(|(uid=%s)(mail=%s)))", "a)"),
            "(&(objectClass=person)(|(uid=a\\29)(mail=a\\29)))");
}

TEST(WebLdapDirectory, RefusesSettingsThatCannotWorkOrWouldBindAsNobody) {
  const auto refusal = [](LdapOptions options, const std::string& ca_file = "") {
    try {
      LdapDirectory directory(options, ca_file);
    } catch (const Error& e) {
      return e.kind() == ErrorKind::kBadInput ? std::string(e.what()) : "wrong kind";
    }
    return std::string();
  };
  const LdapOptions good = DirectoryAt("ldaps://127.0.0.1:636");
  EXPECT_EQ(refusal(good), "");
  LdapOptions options = good;
  options.url = "http://127.0.0.1";
  EXPECT_NE(refusal(options).find("'http://127.0.0.1'"), std::string::npos);
  options.url = "ldap://";
  EXPECT_NE(refusal(options).find("no host"), std::string::npos);
  options.url = "ldap://a ldap://b";
  EXPECT_NE(refusal(options), "");
  options = good;
  options.filter = "(uid=li)";
  EXPECT_NE(refusal(options).find("(uid=li)"), std::string::npos);
  options = good;
  options.base.clear();
  EXPECT_NE(refusal(options), "");
  options = good;
  options.bind_dn = "cn=reader,dc=example,dc=org";
  EXPECT_NE(refusal(options).find("no password"), std::string::npos);
  EXPECT_NE(refusal(good, "/nonexistent/ca.pem").find("/nonexistent/ca.pem"), std::string::npos);
}

TEST(WebLdapDirectory, BindsOverLdapsAndStartTlsAndKeepsFilterCharactersLiteral) {
  for (const bool ldaps : {true, false}) {
    SCOPED_TRACE(ldaps ? "ldaps" : "StartTLS");
    LdapOptions options = DirectoryAt(ldaps ? Slapd().ldaps_url : Slapd().ldap_url);
    if (ldaps) {  // one of the two searches as the search account
      options.bind_dn = Slapd().reader_dn;
      options.bind_password = Slapd().reader_password;
    }
    LdapDirectory directory(options, Slapd().ca_file);
    const DirectoryAnswer li = directory.Check("li", "li-directory-pw");
    ASSERT_EQ(li.status, Status::kBound);
    EXPECT_EQ(li.identity.issuer, options.url + "/" + Slapd().base);
    EXPECT_EQ(li.identity.subject, "uid=li," + Slapd().base);
    EXPECT_EQ(li.identity.claim, "2");
    EXPECT_EQ(li.identity.display_name, "李科员");
    EXPECT_EQ(directory.Check("LI", "li-directory-pw").status, Status::kBound);
    EXPECT_EQ(directory.Check("li", "li-directory-pw ").status, Status::kRefused);
    EXPECT_EQ(directory.Check("li", "").status, Status::kRefused);
    EXPECT_EQ(directory.Check("nobody", "li-directory-pw").status, Status::kNoSuchUser);
    // The name is one literal value: neither a wildcard nor a second term.
    EXPECT_EQ(directory.Check("*", "li-directory-pw").status, Status::kNoSuchUser);
    EXPECT_EQ(directory.Check("*)(uid=*", "li-directory-pw").status, Status::kNoSuchUser);
    EXPECT_EQ(directory.Check("l*", "li-directory-pw").status, Status::kNoSuchUser);
    const DirectoryAnswer obrien = directory.Check("o*brien(x)", "obrien-pw");
    ASSERT_EQ(obrien.status, Status::kBound);
    EXPECT_EQ(obrien.identity.claim, "");
    EXPECT_EQ(obrien.identity.display_name, "O Brien") << "cn without displayName";
  }
  LdapOptions by_cn = DirectoryAt(Slapd().ldaps_url);
  by_cn.filter = "(cn=%s)";
  LdapDirectory twins(by_cn, Slapd().ca_file);
  EXPECT_EQ(twins.Check("Twin", "twin-pw").status, Status::kRefused) << "two entries match";
}

TEST(WebLdapDirectory, DownWhenUnreachableSilentUntrustedOrTheSearchAccountIsRefused) {
  const SilentListener silent;
  LdapOptions hanging = DirectoryAt("ldap://127.0.0.1:" + std::to_string(silent.port()));
  hanging.timeout = std::chrono::milliseconds(300);
  LdapOptions hanging_tls = hanging;
  hanging_tls.url = "ldaps://127.0.0.1:" + std::to_string(silent.port());
  LdapOptions wrong_reader = DirectoryAt(Slapd().ldaps_url);
  wrong_reader.bind_dn = Slapd().reader_dn;
  wrong_reader.bind_password = "not-the-reader-pw";
  const struct {
    const char* what;
    LdapOptions options;
    std::string ca_file;
  } cases[] = {
      {"nothing listens", DirectoryAt("ldaps://127.0.0.1:" + std::to_string(UnusedPort())),
       Slapd().ca_file},
      {"StartTLS to nothing", DirectoryAt("ldap://127.0.0.1:" + std::to_string(UnusedPort())),
       Slapd().ca_file},
      {"a server that never answers StartTLS", hanging, Slapd().ca_file},
      {"a server that never finishes the handshake", hanging_tls, Slapd().ca_file},
      {"ldaps with a certificate of another authority", DirectoryAt(Slapd().ldaps_url),
       Slapd().other_ca_file},
      {"StartTLS with a certificate of another authority", DirectoryAt(Slapd().ldap_url),
       Slapd().other_ca_file},
      {"the search account's password is wrong", wrong_reader, Slapd().ca_file},
  };
  for (const auto& c : cases) {
    LdapDirectory directory(c.options, c.ca_file);
    EXPECT_EQ(directory.Check("li", "li-directory-pw").status, Status::kDown) << c.what;
    // An empty password is refused before any connection is tried.
    EXPECT_EQ(directory.Check("li", "").status, Status::kRefused) << c.what;
  }
}

TEST(WebLdapDirectory, ChecksFromSeveralThreadsAtOnce) {
  LdapDirectory directory(DirectoryAt(Slapd().ldap_url), Slapd().ca_file);
  std::atomic<int> bound{0};
  std::atomic<int> refused{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&directory, &bound, &refused, t] {
      for (int i = 0; i < 4; ++i) {
        const bool right = (t + i) % 2 == 0;
        const Status expected = right ? Status::kBound : Status::kRefused;
        if (directory.Check("li", right ? "li-directory-pw" : "wrong").status == expected) {
          ++(right ? bound : refused);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(bound.load(), 12);
  EXPECT_EQ(refused.load(), 12);
}

// A test server on the fixture's database with the directory at `url` in
// front of the local accounts.
struct DirectorySite {
  explicit DirectorySite(const std::string& url, const ThrottleRules& rules = {},
                         std::optional<AutoCreate> auto_create = std::nullopt) {
    testing::WriteFixture(db);
    ServerOptions options = testing::TestOptions(db);
    options.ldap = DirectoryAt(url);
    options.ca_file = Slapd().ca_file;
    options.signin_throttle = rules;
    options.auto_create = auto_create;
    server = std::make_unique<testing::RunningServer>(std::move(options));
  }
  int port() const { return server->port(); }
  std::unique_ptr<store::Connection> Db() const { return store::Connect("sqlite:" + db); }

  testing::TempDir dir;
  std::string db = dir.File("plans.db");
  std::unique_ptr<testing::RunningServer> server;
};

// The message of a sign-in page, the text of its p.error.
std::string ErrorMessage(const std::string& page) {
  const std::size_t start = page.find("<p class=\"error\"");
  if (start == std::string::npos) return "";
  const std::size_t end = page.find("</p>", start);
  return page.substr(start, end - start);
}

TEST(WebDirectorySignIn, DirectoryUsersSignInAndEveryRefusalLooksTheSame) {
  for (const std::string& url : {Slapd().ldaps_url, Slapd().ldap_url}) {
    SCOPED_TRACE(url);
    const DirectorySite site(url);
    Browser li(site.port());
    const auto started = std::chrono::steady_clock::now();
    const testing::Result signed_in = li.SignIn("li", "li-directory-pw");
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(signed_in);
    ASSERT_EQ(signed_in->status, 303) << signed_in->body;
    std::cout << "one directory sign-in through the form (" << url.substr(0, url.find(':'))
              << "): " << std::chrono::duration<double, std::milli>(took).count() << " ms\n";
    const testing::Result page = li.Get("/schedule/personMonth.asp?dt=2001-12-1");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_TRUE(test_support::Contains(page->body, "李科员"));

    // A wrong password, an injected filter and a wildcard get what an
    // unknown name gets.
    Browser other(site.port(), "127.0.0.3");
    const testing::Result unknown = other.SignIn("nobody-at-all", "li-directory-pw");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 403);
    const std::string refusal = ErrorMessage(unknown->body);
    EXPECT_FALSE(refusal.empty());
    for (const auto& [who, password] : std::vector<std::pair<std::string, std::string>>{
             {"li", "wrong-pw"}, {"*)(uid=*", "li-directory-pw"}, {"*", "li-directory-pw"}}) {
      Browser guesser(site.port(), "127.0.0.4");
      const testing::Result refused = guesser.SignIn(who, password);
      ASSERT_TRUE(refused);
      EXPECT_EQ(refused->status, 403) << who;
      EXPECT_EQ(ErrorMessage(refused->body), refusal) << who;
      EXPECT_EQ(guesser.cookies().count("ostrand_session"), 0u) << who;
    }

    // A name the directory does not know is a local account's.
    Browser wang(site.port());
    EXPECT_EQ(wang.SignIn(std::to_string(testing::kWang), testing::kPassword)->status, 303);

    const auto db = site.Db();
    const std::vector<StoredAudit> records = ListAudit(*db, {}, 0, 100);
    int directory_sign_ins = 0;
    for (const StoredAudit& stored : records) {
      const AuditRecord& r = stored.record;
      EXPECT_EQ(r.detail.find("pw"), std::string::npos) << "no password in " << r.detail;
      if (r.kind == audit::kSignIn && r.detail == "directory") {
        ++directory_sign_ins;
        EXPECT_EQ(r.actor, testing::kLi);
      }
    }
    EXPECT_EQ(directory_sign_ins, 1);
  }
}

TEST(WebDirectorySignIn, ThrottleCountsWrongDirectoryPasswords) {
  ThrottleRules rules;
  rules.pair.first_delay = std::chrono::minutes(10);
  rules.pair.longest_delay = std::chrono::minutes(10);
  const DirectorySite site(Slapd().ldap_url, rules);
  Browser guesser(site.port(), "127.0.0.5");
  for (int i = 0; i < rules.pair.free_failures + 1; ++i) {
    EXPECT_EQ(guesser.SignIn("li", "wrong-" + std::to_string(i))->status, 403);
  }
  const testing::Result held = guesser.SignIn("li", "li-directory-pw");
  ASSERT_TRUE(held);
  EXPECT_EQ(held->status, 429);
  EXPECT_FALSE(held->get_header_value("Retry-After").empty());
  // Folded like the directory folds it: "LI" is the same account.
  EXPECT_EQ(guesser.SignIn("LI", "li-directory-pw")->status, 429);
  // Others, and the same address on a local account, are not held back.
  EXPECT_EQ(Browser(site.port(), "127.0.0.6").SignIn("li", "li-directory-pw")->status, 303);
  EXPECT_EQ(guesser.SignIn(std::to_string(testing::kWang), testing::kPassword)->status, 303);
  // A local account behind the directory counts its failures as before;
  // the attempt it holds back is answered from the hash pool.
  Browser local_guesser(site.port(), "127.0.0.7");
  for (int i = 0; i < rules.pair.free_failures + 1; ++i) {
    EXPECT_EQ(local_guesser.SignIn(std::to_string(testing::kWang), "wrong")->status, 403);
  }
  EXPECT_EQ(local_guesser.SignIn(std::to_string(testing::kWang), testing::kPassword)->status, 429);
}

TEST(WebDirectorySignIn, DownDirectoryAnswers503UnlessTheNameHasALocalPassword) {
  const DirectorySite site("ldaps://127.0.0.1:" + std::to_string(UnusedPort()));
  Browser li(site.port());
  const testing::Result down = li.SignIn("li", "li-directory-pw");
  ASSERT_TRUE(down);
  EXPECT_EQ(down->status, 503);
  EXPECT_EQ(down->get_header_value("Retry-After"), "30");
  EXPECT_TRUE(test_support::Contains(down->body, "目录服务暂时无法连接"));
  EXPECT_EQ(Browser(site.port()).SignIn(std::to_string(testing::kWang), testing::kPassword)->status,
            303);
  EXPECT_EQ(Browser(site.port()).SignIn(std::to_string(testing::kLi), "wrong")->status, 403);
}

TEST(WebDirectorySignIn, UnlinkedIdentityIsAskedToSeeAnAdministratorOrBecomesANewPerson) {
  {
    const DirectorySite site(Slapd().ldaps_url);
    Browser newcomer(site.port());
    const testing::Result unlinked = newcomer.SignIn("newcomer", "newcomer-pw");
    ASSERT_TRUE(unlinked);
    EXPECT_EQ(unlinked->status, 403);
    EXPECT_TRUE(test_support::Contains(unlinked->body, "陈新人"));
    EXPECT_TRUE(newcomer.cookies().count("ostrand_session") == 0);
    EXPECT_TRUE(FindPersonsByName(*site.Db(), "陈新人").empty());
  }
  const DirectorySite site(Slapd().ldaps_url, {}, AutoCreate{2, std::nullopt});
  Browser newcomer(site.port());
  const testing::Result created = newcomer.SignIn("newcomer", "newcomer-pw");
  ASSERT_TRUE(created);
  EXPECT_EQ(created->status, 303) << created->body;
  const std::vector<Person> made = FindPersonsByName(*site.Db(), "陈新人");
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made.front().system_id, 2);
  // The second sign-in finds the same person through the stored identity.
  EXPECT_EQ(Browser(site.port()).SignIn("newcomer", "newcomer-pw")->status, 303);
  EXPECT_EQ(FindPersonsByName(*site.Db(), "陈新人").size(), 1u);
  // The account made for the session has no local password to guess.
  EXPECT_EQ(Browser(site.port()).SignIn(std::to_string(made.front().id), "newcomer-pw")->status,
            403);
}

}  // namespace
}  // namespace ostrand::web
