// Mail addresses and the mails one asks for, on a running server: one's
// own on /account (a leader's mails offered to leaders only, refused to
// others when posted), and a person's address on the administration's
// persons page.
#include <gtest/gtest.h>

#include "store/connect.h"
#include "test_support.h"
#include "web/data/admins_table.h"
#include "web/data/mail_settings.h"

namespace ostrand::web {
namespace {

using test_support::Contains;
using testing::Browser;
using testing::kLi;
using testing::kZhang;
using testing::Result;

class WebMailPages : public ::testing::Test {
 protected:
  WebMailPages() {
    testing::WriteFixture(path_);
    db_ = store::Connect("sqlite:" + path_);
    GrantAdministrator(*db_, kZhang, std::nullopt, DateTime::FromCivil(2001, 12, 1));
    server_ = std::make_unique<testing::RunningServer>(testing::TestOptions(path_));
  }

  // Posts the form of `page` with its CSRF token.
  static Result Post(Browser& browser, const std::string& page, testing::Params fields) {
    const Result form = browser.Get(page);
    EXPECT_TRUE(form && form->status == 200);
    fields.emplace("csrf", Browser::FieldValue(form ? form->body : "", "csrf"));
    return browser.Post(page.substr(0, page.find('?')), fields);
  }
  std::int64_t Count(const std::string& sql) {
    return static_cast<std::int64_t>(db_->Query(sql).Field(std::size_t{0}).ToNumber());
  }

  testing::TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::unique_ptr<store::Connection> db_;
  std::unique_ptr<testing::RunningServer> server_;
};

TEST_F(WebMailPages, APersonSetsTheAddressAndTheChangesMailButNoLeadersMail) {
  const auto li = testing::SignedIn(server_->port(), kLi);
  const std::string page = li->Get("/account")->body;
  EXPECT_TRUE(Contains(page, "value=\"changes\""));
  EXPECT_FALSE(Contains(page, "value=\"weekly\""));
  EXPECT_FALSE(Contains(page, "value=\"away\""));

  // A leader's mail posted by somebody else: refused, nothing stored.
  const Result refused = Post(*li, "/account",
                              {{"action", "mail"}, {"mail_address", "li@example.org"},
                               {"mail_language", "en"}, {"mail_choice", "changes"},
                               {"mail_choice", "weekly"}});
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 403);
  EXPECT_FALSE(MailAddressOf(*db_, kLi));
  EXPECT_TRUE(MailChoicesOf(*db_, kLi).empty());

  // No address yet: the choice is kept and the page says mails need one.
  ASSERT_EQ(Post(*li, "/account", {{"action", "mail"}, {"mail_address", ""},
                                   {"mail_language", "zh"}, {"mail_choice", "changes"}})
                ->status,
            303);
  EXPECT_EQ(MailChoicesOf(*db_, kLi), std::vector<std::string>{"changes"});
  const std::string noted = li->Get("/account?done=mail")->body;
  EXPECT_TRUE(Contains(noted, "class=\"note\""));
  EXPECT_TRUE(Contains(noted, "value=\"changes\" checked"));

  // A bad address: the message, the values posted, nothing changed.
  const Result bad = Post(*li, "/account", {{"action", "mail"}, {"mail_address", "li@<evil>"},
                                            {"mail_language", "en"}});
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->status, 400);
  EXPECT_TRUE(Contains(bad->body, "role=\"alert\""));
  EXPECT_TRUE(Contains(bad->body, "value=\"li@&lt;evil&gt;\""));
  EXPECT_EQ(MailChoicesOf(*db_, kLi), std::vector<std::string>{"changes"});

  ASSERT_EQ(Post(*li, "/account", {{"action", "mail"}, {"mail_address", " li@example.org "},
                                   {"mail_language", "en"}, {"mail_choice", "changes"}})
                ->status,
            303);
  const std::optional<MailAddress> address = MailAddressOf(*db_, kLi);
  ASSERT_TRUE(address);
  EXPECT_EQ(address->address, "li@example.org");
  EXPECT_EQ(address->language, "en");
  EXPECT_FALSE(Contains(li->Get("/account")->body, "class=\"note\""));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM hostAudit WHERE kind = 'mail-settings-changed' AND "
                  "actorID = 2"),
            2);
}

TEST_F(WebMailPages, ALeaderAsksForTheLeadersMailsAndKeepsThemUntilTakenBack) {
  SetMailChoice(*db_, kZhang, kMailAwayList, true, DateTime::FromCivil(2026, 12, 1));
  const auto zhang = testing::SignedIn(server_->port(), kZhang);
  const std::string page = zhang->Get("/account")->body;
  EXPECT_TRUE(Contains(page, "value=\"weekly\">"));
  EXPECT_TRUE(Contains(page, "value=\"away\" checked"));
  ASSERT_EQ(Post(*zhang, "/account", {{"action", "mail"}, {"mail_address", "zhang@example.org"},
                                      {"mail_language", "zh"}, {"mail_choice", "weekly"}})
                ->status,
            303);
  EXPECT_EQ(MailChoicesOf(*db_, kZhang), std::vector<std::string>{"weekly"});
  EXPECT_EQ(Post(*zhang, "/account", {{"action", "mail"}, {"mail_choice", "daily-joke"}})->status,
            400);
}

TEST_F(WebMailPages, AnAdministratorSetsAPersonsAddress) {
  const auto admin = testing::SignedIn(server_->port(), kZhang);
  const std::string form = "/admin/persons?person=" + std::to_string(kLi);
  const Result bad = Post(*admin, form, {{"action", "mail"}, {"person", "2"},
                                         {"mail_address", "two@@example.org"}});
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->status, 400);
  EXPECT_TRUE(Contains(bad->body, "value=\"two@@example.org\""));
  EXPECT_FALSE(MailAddressOf(*db_, kLi));

  const Result saved = Post(*admin, form, {{"action", "mail"}, {"person", "2"},
                                           {"mail_address", "li@example.org"},
                                           {"mail_language", "en"}});
  ASSERT_TRUE(saved && saved->status == 303);
  EXPECT_EQ(MailAddressOf(*db_, kLi)->language, "en");
  const std::string shown = admin->Get(saved->get_header_value("Location"))->body;
  EXPECT_TRUE(Contains(shown, "value=\"li@example.org\""));
  EXPECT_TRUE(Contains(shown, "<option value=\"en\" selected>"));

  ASSERT_EQ(Post(*admin, form, {{"action", "mail"}, {"person", "2"}, {"mail_address", ""}})
                ->status,
            303);
  EXPECT_FALSE(MailAddressOf(*db_, kLi));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM hostAudit WHERE kind = 'mail-settings-changed' AND "
                  "subjectID = 2"),
            2);
}

}  // namespace
}  // namespace ostrand::web
