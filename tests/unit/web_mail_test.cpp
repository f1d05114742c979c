// Mails: how they are written (headers, parts, encoded words), what each
// kind says, the unsubscribe link and its page, the mails of invitations,
// the day's scheduled mail events, and the SMTP channel against a real mail
// server (Debian's aiosmtpd, started by the test on a free loopback port).
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <regex>
#include <thread>

#include "core/error.h"
#include "http_test_client.h"
#include "python_check.h"
#include "test_support.h"
#include "web/auth/sign_in.h"
#include "web/data/admins_table.h"
#include "web/data/mail_settings.h"
#include "web/data/plan_changes.h"
#include "web/notify/mail_channel.h"
#include "web/notify/mail_content.h"
#include "web/notify/mail_message.h"
#include "web/notify/scheduled_mails.h"
#include "web/notify/unsubscribe.h"

extern char** environ;

namespace ostrand::web {
namespace {

using json = nlohmann::json;
using notify::MailMessage;
using test_support::Contains;
using test_support::TempDir;


// The mail as a mail program reads it (tests/python/mail_parts.py).
json ReadMail(const TempDir& dir, const std::string& bytes) {
  static int count = 0;
  const std::string path = dir.File("read" + std::to_string(++count) + ".eml");
  std::ofstream(path, std::ios::binary) << bytes;
  return test_support::RunPythonCheck("mail_parts.py", {path});
}

MailMessage ChineseMail() {
  MailMessage mail;
  mail.from_address = "plans@example.org";
  mail.from_name = "员工日程";
  mail.to_address = "li@example.org";
  // Longer than one encoded word holds, so that it is cut between characters.
  mail.subject = "你的日程有变动：十二月十四日至二十日的会议、调研与出差安排 (Dec \"14\")";
  mail.text = "李科员，你好！\n- 新增 2026-12-14 09:00 北京\n" + std::string(300, 'x') + "\n";
  mail.html = "<p>李科员，你好！</p><p>" + std::string(300, 'y') + "</p>";
  mail.unsubscribe_url = "https://plans.example.org/mail/unsubscribe?t=abc-_";
  return mail;
}

TEST(WebMailMessage, HeadersAndPartsReadBackAsAMailProgramReadsThem) {
  const TempDir dir;
  const MailMessage mail = ChineseMail();
  const std::string bytes = notify::ComposeMail(mail, DateTime::FromCivil(2026, 12, 14, 7, 5, 9),
                                                "m1@example.org", "=_b1");
  const json read = ReadMail(dir, bytes);
  ASSERT_TRUE(read.is_object());
  EXPECT_EQ(read["headers"]["Subject"], mail.subject);
  EXPECT_EQ(read["headers"]["From"], "员工日程 <plans@example.org>");
  EXPECT_EQ(read["headers"]["To"], "li@example.org");
  EXPECT_EQ(read["headers"]["Date"], "Mon, 14 Dec 2026 07:05:09 +0000");
  EXPECT_EQ(read["headers"]["Message-ID"], "<m1@example.org>");
  EXPECT_EQ(read["headers"]["MIME-Version"], "1.0");
  EXPECT_EQ(read["headers"]["List-Unsubscribe"], "<" + mail.unsubscribe_url + ">");
  EXPECT_EQ(read["headers"]["List-Unsubscribe-Post"], "List-Unsubscribe=One-Click");
  EXPECT_EQ(read["type"], "multipart/alternative");
  // Line ends become CRLF on the wire; the reader gives them back as LF.
  EXPECT_EQ(read["text"], mail.text);
  EXPECT_EQ(read["html"], mail.html);
  EXPECT_LE(read["longest_line"].get<int>(), 78);
  EXPECT_EQ(read["bare_lf"], 0);
  EXPECT_EQ(read["defects"], json::array());

  // A name of plain ASCII is quoted; a mail that is no choice has no
  // unsubscribe headers.
  MailMessage plain = mail;
  plain.from_name = "Plans \"HQ\"";
  plain.subject = "Weekly";
  plain.unsubscribe_url.clear();
  const json other = ReadMail(dir, notify::ComposeMail(plain, DateTime::FromCivil(2026, 1, 2),
                                                       "m2@example.org", "=_b2"));
  EXPECT_EQ(other["headers"]["From"], "\"Plans \\\"HQ\\\"\" <plans@example.org>");
  EXPECT_EQ(other["headers"]["Subject"], "Weekly");
  EXPECT_FALSE(other["headers"].contains("List-Unsubscribe"));

  // Long ASCII values are folded at blanks; a word too long to fold goes
  // into encoded-words. Either way no line passes 78 and the reader gets
  // the value back whole.
  MailMessage longer = plain;
  longer.from_name.clear();
  for (int i = 0; i < 40; ++i) longer.from_name += "Plans \"of\" \\ the  department ";
  longer.subject = "  Changes:" + std::string(1500, 'w') + " and " + std::string(200, 'z') + "  ";
  const json folded = ReadMail(dir, notify::ComposeMail(longer, DateTime::FromCivil(2026, 1, 2),
                                                        "m3@example.org", "=_b3"));
  EXPECT_EQ(folded["headers"]["Subject"], longer.subject);
  EXPECT_LE(folded["longest_line"].get<int>(), 78);
  EXPECT_EQ(folded["defects"], json::array());
  longer.subject = std::string(120, 'a') + " " + std::string(30, 'b') + " c";
  const std::string bytes_folded = notify::ComposeMail(longer, DateTime::FromCivil(2026, 1, 2),
                                                       "m4@example.org", "=_b4");
  EXPECT_TRUE(Contains(bytes_folded, "Subject: " + std::string(120, 'a') + "\r\n " +
                                         std::string(30, 'b') + " c\r\n"));
  EXPECT_EQ(ReadMail(dir, bytes_folded)["headers"]["Subject"], longer.subject);
}

TEST(WebMailMessage, ValuesThatCouldAddHeadersOrRecipientsAreRefused) {
  struct Case {
    const char* what;
    void (*spoil)(MailMessage&);
  };
  const Case cases[] = {
      {"name with CRLF", [](MailMessage& m) { m.from_name = "Eve\r\nBcc: all@example.org"; }},
      {"name with LF", [](MailMessage& m) { m.from_name = "Eve\nBcc: all@example.org"; }},
      {"subject with CR", [](MailMessage& m) { m.subject = "Hi\rBcc: all@example.org"; }},
      {"subject with NUL", [](MailMessage& m) { m.subject = std::string("Hi\0x", 4); }},
      {"subject no UTF-8", [](MailMessage& m) { m.subject = "\xff\xfe"; }},
      {"address with CRLF", [](MailMessage& m) { m.to_address = "li@example.org\r\nBcc: x@y.org"; }},
      {"two addresses", [](MailMessage& m) { m.to_address = "li@example.org>, <x@y.org"; }},
      {"no address", [](MailMessage& m) { m.to_address = "li"; }},
      {"sender with LF", [](MailMessage& m) { m.from_address = "plans@example.org\n"; }},
      {"unsubscribe script", [](MailMessage& m) { m.unsubscribe_url = "javascript:alert(1)"; }},
      {"unsubscribe bracket", [](MailMessage& m) { m.unsubscribe_url = "https://a.org/>, <b"; }},
  };
  for (const Case& c : cases) {
    MailMessage mail = ChineseMail();
    c.spoil(mail);
    try {
      notify::ComposeMail(mail, DateTime::FromCivil(2026, 12, 14), "m@example.org", "=_b");
      ADD_FAILURE() << c.what << " was composed";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kBadInput) << c.what;
    }
  }
  EXPECT_TRUE(notify::IsSafeHeaderValue("张三\tZhang"));
  EXPECT_FALSE(notify::IsSafeHeaderValue("a\xc2\x85" "b")) << "C1 NEL is a line break too";
}

TEST(WebMailOptions, ServeChecksTheMailServerAtStartWithoutShowingThePassword) {
  const TempDir dir;
  const std::string password_file = dir.File("smtp.password");
  std::ofstream(password_file) << "s3cret-Pa55\n";
  const std::string db = dir.File("site.db");
  testing::WriteFixture(db);
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{"--smtp-url", "http://mail.example.org", "--mail-from", "p@example.org"}, "no smtp://"},
      {{"--smtp-url", "smtp://mail.example.org/x", "--mail-from", "p@example.org"}, "no smtp://"},
      {{"--smtp-url", "smtp://mail.example.org:0", "--mail-from", "p@example.org"}, "no smtp://"},
      {{"--smtp-url", "smtp://user@mail.example.org", "--mail-from", "p@example.org"}, "no smtp://"},
      {{"--smtp-url", "smtp://mail.example.org:587"}, "needs --mail-from"},
      {{"--smtp-url", "smtp://mail.example.org", "--mail-from", "plans"}, "no mail address"},
      {{"--smtp-url", "smtps://mail.example.org", "--mail-from", "p@example.org", "--smtp-insecure"},
       "smtp:// only"},
      {{"--smtp-url", "smtp://mail.example.org", "--mail-from", "p@example.org",
        "--smtp-password-file", password_file},
       "go together"},
      {{"--smtp-user", "u", "--smtp-password-file", password_file}, "need --smtp-url"},
      {{"--smtp-url", "smtp://mail.example.org", "--mail-from", "p@example.org", "--smtp-user",
        "u", "--smtp-password-file", dir.File("missing")},
       "missing"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"serve", "--db", "sqlite:" + db, "--port", "0"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const test_support::Outcome outcome = test_support::RunOstrand(dir, args);
    EXPECT_EQ(outcome.exit_code, 1) << c.says;
    EXPECT_TRUE(Contains(outcome.err, c.says)) << outcome.err;
    EXPECT_FALSE(Contains(outcome.err, "s3cret")) << outcome.err;
  }
  for (const char* url : {"smtp://mail.example.org", "smtp://mail.example.org:587/",
                          "smtps://[::1]:465", "SMTP://127.0.0.1:2525"}) {
    MailOptions mail;
    mail.url = url;
    mail.from = "plans@example.org";
    EXPECT_NO_THROW(CheckMailOptions(mail)) << url;
  }
}

TEST(WebMailUnsubscribe, TokensOpenOnlyForTheirPurposeKeyAndTime) {
  const SessionSigner signer(RandomSecret());
  const SessionSigner other(RandomSecret());
  const std::int64_t now = 1'800'000'000;
  const std::string token = notify::UnsubscribeToken(signer, {7, "weekly"}, now);
  EXPECT_EQ(notify::OpenUnsubscribeToken(signer, token, now + 86400 * 300),
            (notify::Unsubscription{7, "weekly"}));
  EXPECT_FALSE(notify::OpenUnsubscribeToken(other, token, now)) << "another key";
  EXPECT_FALSE(notify::OpenUnsubscribeToken(signer, token, now + 86400 * 367)) << "too old";
  std::string tampered = token;
  tampered[tampered.size() / 2] = tampered[tampered.size() / 2] == 'A' ? 'B' : 'A';
  EXPECT_FALSE(notify::OpenUnsubscribeToken(signer, tampered, now));
  EXPECT_FALSE(notify::OpenUnsubscribeToken(signer, signer.SealData("round", "7:weekly", now + 9),
                                            now))
      << "a value sealed for another purpose";
  EXPECT_THROW(notify::UnsubscribeToken(signer, {7, "everything"}, now), Error);

  for (const char* bad : {"", ":", "7", "7:", ":weekly", "0:weekly", "-7:weekly", "+7:weekly",
                          " 7:weekly", "7:weekly ", "7:Weekly", "7:weekly:x",
                          "99999999999999999999:away", "7:changes\n"}) {
    EXPECT_FALSE(notify::ReadUnsubscription(bad)) << bad;
  }
  EXPECT_EQ(notify::ReadUnsubscription("007:away"), (notify::Unsubscription{7, "away"}));
}

class WebMailSite : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteFixture(db_path_);
    const std::unique_ptr<store::Connection> db = Db();
    const DateTime now = UtcNow();
    SetMailAddress(*db, testing::kZhang, "zhang@example.org", "zh", now);
    SetMailAddress(*db, testing::kLi, "li@example.org", "en", now);
    SetMailChoice(*db, testing::kZhang, kMailWeeklySummary, true, now);
    SetMailChoice(*db, testing::kLi, kMailChanges, true, now);
  }
  std::unique_ptr<store::Connection> Db() const {
    return store::Connect("sqlite:" + db_path_);
  }
  ServerOptions Options() const {
    ServerOptions options = testing::TestOptions(db_path_);
    options.public_url = "https://plans.example.org";
    options.time_zone = feeds::TimeZone::Named("Asia/Shanghai");
    MailOptions mail;
    mail.url = "smtp://127.0.0.1:9";
    mail.from = "plans@example.org";
    mail.starttls = false;
    options.mail = mail;
    return options;
  }
  // A delivery of `kind` to `person` telling of `events`.
  static Delivery MailTo(std::int64_t person, std::string kind, std::vector<StoredEvent> events,
                         std::string body = {}) {
    Delivery delivery;
    delivery.id = 1;
    delivery.channel = "mail";
    delivery.person_id = person;
    delivery.mail_kind = std::move(kind);
    delivery.events = std::move(events);
    delivery.body = std::move(body);
    return delivery;
  }
  static StoredEvent PlanEvent(std::string_view kind, std::int64_t actor, std::string content) {
    StoredEvent event;
    event.kind = std::string(kind);
    event.person_id = testing::kLi;
    event.actor_id = actor;
    event.body = json{{"plan",
                       {{"start", "2026-12-14 09:00:00"},
                        {"end", "2026-12-14 17:30:00"},
                        {"kind", "北京"},
                        {"place", "发改委"},
                        {"content", content}}}}
                     .dump();
    return event;
  }
  static StoredEvent DayEvent(std::string_view kind, const char* field, const char* day) {
    StoredEvent event;
    event.kind = std::string(kind);
    event.body = json{{field, day}}.dump();
    return event;
  }

  TempDir dir_;
  std::string db_path_ = dir_.File("site.db");
};

// The plans the leader's mails show: Li in Beijing on Monday, Zhao abroad
// over the week's middle, a private plan of Li's that nobody else sees.
void AddWeekPlans(store::Connection& db) {
  db.ExecuteScript(R"sql(
    INSERT INTO personPlan (personID, planStartTime, planEndTime, planAddrTypeID, planAddrID,
                            planAddrDetail, planContent, planAddition, planFlagID) VALUES
      (2, '2026-12-14 09:00:00', '2026-12-14 17:00:00', 2, 2, '', '调研<b>', '', 1),
      (4, '2026-12-15 09:00:00', '2026-12-17 18:00:00', 4, 4, '', '访问', '', 1),
      (2, '2026-12-16 09:00:00', '2026-12-16 12:00:00', 3, 3, '', '李私人', '', 2);
  )sql");
}

TEST_F(WebMailSite, EveryKindSaysItsNewsInTheAddresseesLanguage) {
  const ServerOptions options = Options();
  const SessionSigner signer(options.secret);
  const feeds::TimeZone zone = *options.time_zone;
  const notify::MailSite site{options, signer, zone};
  const std::unique_ptr<store::Connection> db = Db();
  AddWeekPlans(*db);
  const DateTime now = DateTime::FromCivil(2026, 12, 13, 23, 0);

  // Li's changes, in English: the actor's name, what happened, escaped
  // content; Li's own change is left out.
  const std::optional<MailMessage> changes = notify::MailOfDelivery(
      *db, site,
      MailTo(testing::kLi, "changes",
             {PlanEvent(kPlanAdded, testing::kZhang, "<script>x</script>"),
              PlanEvent(kPlanDeleted, testing::kLi, "mine"),
              PlanEvent(kPlanRestored, testing::kZhao, "back")}),
      now);
  ASSERT_TRUE(changes);
  EXPECT_EQ(changes->to_address, "li@example.org");
  EXPECT_EQ(changes->subject, "Changes to your plans");
  EXPECT_TRUE(Contains(changes->text, "added by 张局长: 2026-12-14 09:00–17:30, 北京, 发改委"));
  EXPECT_TRUE(Contains(changes->text, "restored by 赵<&>六"));
  EXPECT_FALSE(Contains(changes->text, "mine"));
  EXPECT_TRUE(Contains(changes->html, "&lt;script&gt;x&lt;/script&gt;"));
  EXPECT_FALSE(Contains(changes->html, "<script>"));
  EXPECT_TRUE(Contains(changes->html, "赵&lt;&amp;&gt;六"));
  ASSERT_TRUE(changes->unsubscribe_url.starts_with(
      "https://plans.example.org/mail/unsubscribe?t="));
  EXPECT_TRUE(Contains(changes->text, changes->unsubscribe_url));

  // Zhang's weekly summary, in Chinese: one row per person of his list, the
  // shared plans only.
  const std::optional<MailMessage> weekly = notify::MailOfDelivery(
      *db, site,
      MailTo(testing::kZhang, "weekly", {DayEvent(kMailWeekly, "week", "2026-12-14")}), now);
  ASSERT_TRUE(weekly);
  EXPECT_EQ(weekly->subject, "12月14日起一周人员去向");
  EXPECT_TRUE(Contains(weekly->html, "<table"));
  EXPECT_TRUE(Contains(weekly->html, "李科员"));
  EXPECT_TRUE(Contains(weekly->html, "发改委"));
  EXPECT_TRUE(Contains(weekly->html, "东京"));
  EXPECT_FALSE(Contains(weekly->html, "上海")) << "a private plan stays out";
  EXPECT_FALSE(Contains(weekly->html, "王外单位")) << "a person of another system stays out";
  EXPECT_TRUE(Contains(weekly->text, "李科员\n"));
  EXPECT_TRUE(Contains(weekly->text, "发改委"));

  // Who is away on Tuesday: Zhao abroad; the office is no absence.
  const std::optional<MailMessage> away = notify::MailOfDelivery(
      *db, site, MailTo(testing::kZhang, "away", {DayEvent(kMailAway, "day", "2026-12-15")}),
      now);
  ASSERT_TRUE(away);
  EXPECT_TRUE(Contains(away->text, "赵<&>六: 国外, 东京: 访问"));
  EXPECT_FALSE(Contains(away->text, "李科员"));

  // A leader's mail to a person who leads nothing is refused.
  EXPECT_THROW(notify::MailOfDelivery(*db, site,
                                      MailTo(testing::kLi, "away",
                                             {DayEvent(kMailAway, "day", "2026-12-15")}),
                                      now),
               Error);

  // The invitation's link comes from the delivery's body; no unsubscribe.
  const std::optional<MailMessage> invitation = notify::MailOfDelivery(
      *db, site,
      MailTo(testing::kLi, "invitation", {},
             json{{"link", "https://plans.example.org/invite?token=T"}}.dump()),
      now);
  ASSERT_TRUE(invitation);
  EXPECT_EQ(invitation->subject, "Your invitation to the staff schedule");
  EXPECT_TRUE(Contains(invitation->text, "https://plans.example.org/invite?token=T"));
  EXPECT_TRUE(invitation->unsubscribe_url.empty());

  // No address: no mail.
  EXPECT_FALSE(notify::MailOfDelivery(
      *db, site, MailTo(testing::kZhao, "reset", {}, json{{"link", "https://x.org/"}}.dump()),
      now));
}

// A sample of each kind in both languages, each read back by a mail
// program's parser; with OSTRAND_MAIL_SAMPLES set, the mails and their HTML
// parts go into that folder (the browser tests render them).
TEST_F(WebMailSite, SampleMailsOfEveryKindInBothLanguages) {
  const ServerOptions options = Options();
  const SessionSigner signer(options.secret);
  const notify::MailSite site{options, signer, *options.time_zone};
  const std::unique_ptr<store::Connection> db = Db();
  AddWeekPlans(*db);
  const char* const samples = std::getenv("OSTRAND_MAIL_SAMPLES");
  const std::string link = json{{"link", "https://plans.example.org/invite?token=" +
                                             std::string(43, 'Q')}}.dump();
  const DateTime now = DateTime::FromCivil(2026, 12, 13, 23, 0);
  for (const char* language : {"zh", "en"}) {
    SetMailAddress(*db, testing::kZhang, "zhang@example.org", language, now);
    const std::pair<const char*, Delivery> kinds[] = {
        {"changes", MailTo(testing::kZhang, "changes",
                           {PlanEvent(kPlanAdded, testing::kLi, "项目评审会"),
                            PlanEvent(kPlanChanged, testing::kZhao, "调研"),
                            PlanEvent(kPlanDeleted, testing::kLi, "旧的安排")})},
        {"weekly", MailTo(testing::kZhang, "weekly", {DayEvent(kMailWeekly, "week", "2026-12-14")})},
        {"away", MailTo(testing::kZhang, "away", {DayEvent(kMailAway, "day", "2026-12-15")})},
        {"invitation", MailTo(testing::kZhang, "invitation", {}, link)},
        {"reset", MailTo(testing::kZhang, "reset", {}, link)},
    };
    for (const auto& [kind, delivery] : kinds) {
      const std::optional<MailMessage> mail = notify::MailOfDelivery(*db, site, delivery, now);
      ASSERT_TRUE(mail) << kind;
      EXPECT_TRUE(Contains(mail->html, std::string("<html lang=\"") +
                                           (language == std::string("zh") ? "zh-CN" : "en")))
          << kind;
      const std::string bytes = notify::ComposeMail(*mail, now, "sample@example.org", "=_s");
      const json read = ReadMail(dir_, bytes);
      EXPECT_EQ(read["html"], mail->html) << kind;
      EXPECT_EQ(read["defects"], json::array()) << kind;
      if (samples != nullptr) {
        const std::string base = std::string(samples) + "/mail-" + kind + "-" + language;
        std::ofstream(base + ".html", std::ios::binary) << mail->html;
        std::ofstream(base + ".eml", std::ios::binary) << bytes;
      }
    }
  }
}

TEST_F(WebMailSite, TheUnsubscribePageAndTheOneClickPostTakeTheChoiceBack) {
  const ServerOptions options = Options();
  const SessionSigner signer(options.secret);
  const testing::RunningServer server(options);
  testing::HttpClient client(server.port());
  const std::string token =
      notify::UnsubscribeToken(signer, {testing::kZhang, "weekly"}, UnixNow());
  const std::string target = "/mail/unsubscribe?t=" + token;

  const testing::Result page = client.Get(target, {{"Accept-Language", "en"}});
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_TRUE(Contains(page->body, "weekly summary"));
  EXPECT_TRUE(Contains(page->body, "name=\"t\" value=\"" + token + "\""));
  EXPECT_EQ(MailChoicesOf(*Db(), testing::kZhang), std::vector<std::string>{"weekly"})
      << "opening the page changes nothing";

  // A mail program's one-click POST: the token in the address, no CSRF token.
  const testing::Result done =
      client.Send("POST", target,
                  {{"Content-Type", "application/x-www-form-urlencoded"}},
                  "List-Unsubscribe=One-Click");
  ASSERT_TRUE(done);
  EXPECT_EQ(done->status, 200);
  EXPECT_TRUE(MailChoicesOf(*Db(), testing::kZhang).empty());
  // Again: no harm.
  EXPECT_EQ(client.Post("/mail/unsubscribe", {{"t", token}})->status, 200);

  std::string forged = token;
  forged.back() = forged.back() == 'A' ? 'B' : 'A';
  for (const std::string& bad : {std::string(), forged, std::string("1:weekly")}) {
    EXPECT_EQ(client.Post("/mail/unsubscribe", {{"t", bad}})->status, 400) << bad;
    EXPECT_EQ(client.Get("/mail/unsubscribe?t=" + bad)->status, 400) << bad;
  }
}

TEST_F(WebMailSite, AnInvitationIsQueuedAsAMailWithItsLinkAndThePageSaysWhere) {
  GrantAdministrator(*Db(), testing::kZhang, std::nullopt, UtcNow());
  const testing::RunningServer server(Options());
  testing::Browser admin(server.port());
  ASSERT_EQ(admin.SignIn(std::to_string(testing::kZhang), testing::kPassword)->status,
            303);
  const auto invite = [&](std::int64_t person) {
    const testing::Result form = admin.Get("/admin/access?person=" + std::to_string(person));
    return admin.Post("/admin/access",
                      {{"csrf", testing::Browser::FieldValue(form->body, "csrf")},
                       {"person", std::to_string(person)},
                       {"action", "invite"}});
  };
  const testing::Result li = invite(testing::kLi);  // has a password: a reset
  ASSERT_EQ(li->status, 200);
  EXPECT_TRUE(Contains(li->body, "li@example.org"));
  const testing::Result zhao = invite(testing::kZhao);  // no address
  ASSERT_EQ(zhao->status, 200);
  EXPECT_FALSE(Contains(zhao->body, "invitation-mailed"));

  // The worker may have made the day's scheduled mails meanwhile.
  const store::RecordSet events = Db()->Query(
      "SELECT kind, personID FROM hostEvent WHERE kind NOT IN ('mail.away', 'mail.weekly')");
  ASSERT_FALSE(events.Eof());
  EXPECT_EQ(events.Field(0).ToText(), "mail.reset");
  EXPECT_EQ(events.Field(1).ToText(), std::to_string(testing::kLi));
  // The link is in the event, or in its mail once the worker fanned it out.
  std::smatch link;
  const std::regex shown("value=\"(https://plans\\.example\\.org/invite\\?token=[A-Za-z0-9_-]{43})\"");
  ASSERT_TRUE(std::regex_search(li->body, link, shown));
  std::string bodies;
  for (store::RecordSet rows = Db()->Query(
           "SELECT body FROM hostEvent UNION ALL SELECT body FROM hostDelivery");
       !rows.Eof(); rows.MoveNext()) {
    bodies += rows.Field(0).ToText();
  }
  EXPECT_TRUE(Contains(bodies, json{{"link", link[1].str()}}.dump())) << bodies;
}

TEST(WebMailSchedule, EachDayMakesItsEventsOnceFromSevenInThePlansZone) {
  const TempDir dir;
  const std::string path = dir.File("site.db");
  testing::WriteFixture(path);
  const std::unique_ptr<store::Connection> db = store::Connect("sqlite:" + path);
  const feeds::TimeZone zone = feeds::TimeZone::Named("Asia/Shanghai");
  // Monday 14 December 2026 in Shanghai is UTC+8.
  EXPECT_EQ(notify::MakeScheduledMails(*db, DateTime::FromCivil(2026, 12, 13, 22, 59), zone), 0);
  EXPECT_EQ(notify::MakeScheduledMails(*db, DateTime::FromCivil(2026, 12, 13, 23, 0), zone), 2);
  EXPECT_EQ(notify::MakeScheduledMails(*db, DateTime::FromCivil(2026, 12, 14, 3, 0), zone), 0);
  EXPECT_EQ(notify::MakeScheduledMails(*db, DateTime::FromCivil(2026, 12, 15, 0, 0), zone), 1);
  std::vector<std::string> keys;
  for (store::RecordSet rows = db->Query("SELECT eventKey FROM hostEvent ORDER BY eventKey");
       !rows.Eof(); rows.MoveNext()) {
    keys.push_back(rows.Field(0).ToText());
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"mail.away:2026-12-14", "mail.away:2026-12-15",
                                            "mail.weekly:2026-12-14"}));
}

// Debian's aiosmtpd with tests/python/smtp_inbox.py on a loopback port,
// storing each mail it takes in a folder; stopped when the object goes.
class MailServer {
 public:
  MailServer(const TempDir& dir, std::string user = {}, std::string password = {})
      : folder_(dir.File("inbox")), user_(std::move(user)), password_(std::move(password)) {
    std::filesystem::create_directories(folder_);
    port_ = FreePort();
  }
  ~MailServer() { Stop(); }
  MailServer(const MailServer&) = delete;
  MailServer& operator=(const MailServer&) = delete;

  // Starts it; whether it said it is ready.
  bool Start() {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string python = "/usr/bin/python3";
    std::string script = std::string(OSTRAND_SOURCE_DIR) + "/tests/python/smtp_inbox.py";
    std::string port = std::to_string(port_);
    std::vector<char*> argv = {python.data(), script.data(), port.data(), folder_.data()};
    if (!user_.empty()) {
      argv.push_back(user_.data());
      argv.push_back(password_.data());
    }
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    FILE* const lines = ::fdopen(out[0], "r");
    char line[32] = {};
    const bool ready = lines != nullptr && std::fgets(line, sizeof line, lines) != nullptr &&
                       std::string_view(line).starts_with("ready");
    if (lines != nullptr) std::fclose(lines);
    return ready && pid_ > 0;
  }
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  MailOptions Options() const {
    MailOptions mail;
    mail.url = "smtp://127.0.0.1:" + std::to_string(port_);
    mail.user = user_;
    mail.password = password_;
    mail.from = "plans@example.org";
    mail.starttls = false;
    return mail;
  }
  // The mails taken so far, in order.
  std::vector<std::string> Mails() const {
    std::vector<std::string> mails;
    for (int n = 1; std::filesystem::exists(folder_ + "/" + std::to_string(n) + ".eml"); ++n) {
      mails.push_back(folder_ + "/" + std::to_string(n) + ".eml");
    }
    return mails;
  }
  json Envelope(std::size_t index) const {
    std::ifstream in(folder_ + "/" + std::to_string(index + 1) + ".json");
    return json::parse(in, nullptr, false);
  }

 private:
  static int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
  }

  std::string folder_;
  std::string user_;
  std::string password_;
  int port_ = 0;
  pid_t pid_ = -1;
};

TEST_F(WebMailSite, EveryKindArrivesIntactThroughARealMailServer) {
  MailServer inbox(dir_, "ostrand", "pa55-word");
  ASSERT_TRUE(inbox.Start()) << "aiosmtpd did not start (python3-aiosmtpd)";
  ServerOptions options = Options();
  options.mail = inbox.Options();
  const SessionSigner signer(options.secret);
  const Databases databases(options.connection_string, 2);
  AddWeekPlans(*Db());
  notify::MailChannel channel(options, databases, signer, *options.time_zone);
  const std::string link = json{{"link", "https://plans.example.org/invite?token=T0"}}.dump();
  const Delivery deliveries[] = {
      MailTo(testing::kLi, "changes", {PlanEvent(kPlanChanged, testing::kZhang, "会")}),
      MailTo(testing::kZhang, "weekly", {DayEvent(kMailWeekly, "week", "2026-12-14")}),
      MailTo(testing::kZhang, "away", {DayEvent(kMailAway, "day", "2026-12-15")}),
      MailTo(testing::kLi, "invitation", {}, link),
      MailTo(testing::kZhang, "reset", {}, link),
  };
  for (const Delivery& delivery : deliveries) {
    const DeliveryOutcome outcome = channel.Send(delivery);
    EXPECT_EQ(outcome.kind, DeliveryOutcome::Kind::kDelivered) << outcome.error;
    EXPECT_EQ(outcome.status, 250);
  }
  const std::vector<std::string> mails = inbox.Mails();
  ASSERT_EQ(mails.size(), 5u);
  const char* subjects[] = {"Changes to your plans", "12月14日起一周人员去向", "今日外出，12月15日",
                            "Your invitation to the staff schedule", "请为员工日程设置新密码"};
  const char* in_text[] = {"changed by 张局长", "发改委", "东京", "invite?token=T0",
                           "invite?token=T0"};
  for (std::size_t i = 0; i < mails.size(); ++i) {
    const json read = test_support::RunPythonCheck("mail_parts.py", {mails[i]});
    ASSERT_TRUE(read.is_object());
    EXPECT_EQ(read["headers"]["Subject"], subjects[i]);
    EXPECT_TRUE(Contains(read["text"].get<std::string>(), in_text[i])) << read["text"];
    EXPECT_TRUE(Contains(read["html"].get<std::string>(), "</html>"));
    EXPECT_EQ(read["defects"], json::array());
    const bool choice = i < 3;
    EXPECT_EQ(read["headers"].contains("List-Unsubscribe-Post"), choice) << i;
    EXPECT_EQ(inbox.Envelope(i)["login"], "ostrand");
    EXPECT_EQ(inbox.Envelope(i)["from"], "plans@example.org");
  }
  EXPECT_EQ(inbox.Envelope(0)["to"], json::array({"li@example.org"}));
}

TEST_F(WebMailSite, AServerDownOrBusyKeepsTheMailForLaterAndA5xxRefusesIt) {
  const Delivery reset =
      MailTo(testing::kLi, "reset", {},
             json{{"link", "https://plans.example.org/invite?token=T1"}}.dump());
  MailServer inbox(dir_, "ostrand", "pa55-word");
  ServerOptions options = Options();
  options.mail = inbox.Options();
  const SessionSigner signer(options.secret);
  const Databases databases(options.connection_string, 2);
  notify::MailChannel channel(options, databases, signer, *options.time_zone);

  // Down: worth another attempt.
  const DeliveryOutcome down = channel.Send(reset);
  EXPECT_EQ(down.kind, DeliveryOutcome::Kind::kRetry);
  EXPECT_FALSE(down.error.empty());
  ASSERT_TRUE(inbox.Start());
  const DeliveryOutcome up = channel.Send(reset);
  EXPECT_EQ(up.kind, DeliveryOutcome::Kind::kDelivered) << up.error;
  ASSERT_EQ(inbox.Mails().size(), 1u);

  // What the server answers decides: 451 later, 550 never, a refused
  // sign-in later (the operator mends the password), STARTTLS required
  // against a server that offers none: later, and nothing sent in clear.
  const std::string message = notify::ComposeMail(ChineseMail(), UtcNow(), "m@x.org", "=_b");
  MailOptions mail = inbox.Options();
  const DeliveryOutcome busy = notify::SendOverSmtp(mail, "", "busy@example.org", message);
  EXPECT_EQ(busy.kind, DeliveryOutcome::Kind::kRetry);
  EXPECT_EQ(busy.status, 451);
  const DeliveryOutcome nobody = notify::SendOverSmtp(mail, "", "nobody@example.org", message);
  EXPECT_EQ(nobody.kind, DeliveryOutcome::Kind::kRefused);
  EXPECT_EQ(nobody.status, 550);
  MailOptions wrong = mail;
  wrong.password = "wrong-one";
  const DeliveryOutcome denied = notify::SendOverSmtp(wrong, "", "li@example.org", message);
  EXPECT_EQ(denied.kind, DeliveryOutcome::Kind::kRetry);
  EXPECT_FALSE(Contains(denied.error, "wrong-one"));
  MailOptions tls = mail;
  tls.starttls = true;
  const DeliveryOutcome plain = notify::SendOverSmtp(tls, "", "li@example.org", message);
  EXPECT_EQ(plain.kind, DeliveryOutcome::Kind::kRetry);
  EXPECT_EQ(inbox.Mails().size(), 1u) << "only the reset arrived";

  // An address that would add a recipient is refused before any connection.
  SetMailAddress(*Db(), testing::kLi, "li@example.org", "en", UtcNow());
  ASSERT_NO_THROW(
      Db()->Execute("UPDATE hostMailAddress SET address = 'li@example.org>\r\nRCPT TO:<x@y.org'"));
  const DeliveryOutcome injected = channel.Send(reset);
  EXPECT_EQ(injected.kind, DeliveryOutcome::Kind::kRefused);
  EXPECT_EQ(inbox.Mails().size(), 1u);
}

// Through the outbox and the server's delivery worker: a reset's mail
// waits while the mail server is down, arrives once after it is up, and
// its link is then no longer kept. Prints the delay from the answer of the
// administrator's POST to the mail's arrival.
TEST_F(WebMailSite, AMailWaitsWhileTheMailServerIsDownAndArrivesOnceAfter) {
  GrantAdministrator(*Db(), testing::kZhang, std::nullopt, UtcNow());
  MailServer inbox(dir_);
  ServerOptions options = Options();
  options.mail = inbox.Options();
  options.outbox_poll = std::chrono::milliseconds(100);
  const testing::RunningServer server(options);
  testing::Browser admin(server.port());
  ASSERT_EQ(admin.SignIn(std::to_string(testing::kZhang), testing::kPassword)->status, 303);
  const auto invite = [&](std::int64_t person) {
    const testing::Result form = admin.Get("/admin/access?person=" + std::to_string(person));
    return admin.Post("/admin/access",
                      {{"csrf", testing::Browser::FieldValue(form->body, "csrf")},
                       {"person", std::to_string(person)},
                       {"action", "invite"}});
  };
  const auto delivery = [&] {
    const store::RecordSet row = Db()->Query(
        "SELECT status, attempts, body FROM hostDelivery WHERE channel = 'mail' "
        "ORDER BY deliveryID");
    return row.Eof() ? std::array<std::string, 3>{}
                     : std::array<std::string, 3>{row.Field(0).ToText(), row.Field(1).ToText(),
                                                  row.Field(2).ToText()};
  };
  const auto wait_for = [](const std::function<bool()>& done) {
    for (int i = 0; i < 400 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return done();
  };
  ASSERT_EQ(invite(testing::kLi)->status, 200);
  ASSERT_TRUE(wait_for([&] { return delivery()[1] == "1"; })) << "one attempt, refused";
  EXPECT_EQ(delivery()[0], "pending");
  ASSERT_TRUE(inbox.Start());
  // As if the wait before the next attempt had passed.
  Db()->Execute("UPDATE hostDelivery SET nextAttemptAt = '2000-01-01 00:00:00'");
  ASSERT_TRUE(wait_for([&] { return inbox.Mails().size() == 1; }));
  ASSERT_TRUE(wait_for([&] { return delivery()[0] == "delivered"; }));
  EXPECT_EQ(delivery()[2], "") << "the link is not kept once the mail went out";
  const json read = test_support::RunPythonCheck("mail_parts.py", {inbox.Mails()[0]});
  EXPECT_EQ(read["headers"]["Subject"], "Choose a new password for the staff schedule");
  EXPECT_TRUE(Contains(read["text"].get<std::string>(), "https://plans.example.org/invite?token="));

  // The delay from the commit to the mail server, with the server up.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(invite(testing::kZhang)->status, 200);
  for (int i = 0; i < 4000 && inbox.Mails().size() < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(inbox.Mails().size(), 2u);
  const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  std::cout << "commit to receipt of an invitation's mail: " << delay.count() << " ms\n";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(inbox.Mails().size(), 2u) << "each mail once";
}

}  // namespace
}  // namespace ostrand::web
