// The administration's persons pages on a running server: the list with
// its search, filters and pages, adding, editing, retiring and
// reinstating (each recorded in the audit log), a value that breaks a
// rule, the CSV download, and the staff import's dry run, apply and
// refusal.
#include <gtest/gtest.h>

#include "store/connect.h"
#include "test_support.h"
#include "web/data/admins_table.h"
#include "web/data/person_registry.h"
#include "web/data/persons.h"

namespace ostrand::web {
namespace {

using test_support::Contains;
using testing::Browser;
using testing::kLi;
using testing::kZhang;
using testing::Result;

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class WebAdminPersons : public ::testing::Test {
 protected:
  WebAdminPersons() {
    testing::WriteFixture(path_);
    db_ = store::Connect("sqlite:" + path_);
    db_->ExecuteScript(
        "INSERT INTO hostDepartment (systemID, departmentName) VALUES (1, '办公室'), (2, '外单位')");
    GrantAdministrator(*db_, kZhang, std::nullopt, DateTime::FromCivil(2001, 12, 1));
    server_ = std::make_unique<testing::RunningServer>(testing::TestOptions(path_));
    admin_ = testing::SignedIn(server_->port(), kZhang);
  }

  std::string Get(const std::string& path, int status = 200) {
    const Result page = admin_->Get(path);
    EXPECT_TRUE(page && page->status == status) << path << ": " << (page ? page->status : -1);
    return page ? page->body : "";
  }
  // Posts the form with the CSRF token of the page at `form_page`.
  Result Post(const std::string& form_page, const std::string& path, testing::Params fields) {
    fields.emplace("csrf", Browser::FieldValue(Get(form_page), "csrf"));
    return admin_->Post(path, fields);
  }
  std::int64_t Count(const std::string& sql) {
    return static_cast<std::int64_t>(db_->Query(sql).Field(std::size_t{0}).ToNumber());
  }

  testing::TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::unique_ptr<store::Connection> db_;
  std::unique_ptr<testing::RunningServer> server_;
  std::unique_ptr<Browser> admin_;
};

TEST_F(WebAdminPersons, ListsSearchesAndPages) {
  std::string script;
  for (int i = 10; i < 130; ++i) {
    script += "INSERT INTO person VALUES (" + std::to_string(i) + ", '同事" + std::to_string(i) +
              "', 4, 2);";
  }
  db_->ExecuteScript(script);
  const std::string all = Get("/admin/persons");
  EXPECT_TRUE(Contains(all, "<th scope=\"col\">"));
  EXPECT_TRUE(Contains(all, "124 persons") || Contains(all, "共 124 人"));
  EXPECT_TRUE(Contains(all, "href=\"/admin/persons?person=2\">李科员</a>"));
  EXPECT_EQ(Occurrences(all, "<tr><td>"), 50u);

  const std::string searched = Get("/admin/persons?q=%E5%90%8C%E4%BA%8B&department=2&page=3");
  EXPECT_EQ(Occurrences(searched, "<tr><td>"), 20u);
  EXPECT_TRUE(Contains(searched,
                       "href=\"/admin/persons?q=%E5%90%8C%E4%BA%8B&amp;department=2&amp;duty=&amp;"
                       "retired=&amp;page=2\""));
  EXPECT_FALSE(Contains(searched, "李科员"));
  Get("/admin/persons?page=x", 400);
}

TEST_F(WebAdminPersons, AddsEditsRetiresAndReinstatesWithAuditRecords) {
  const Result added = Post("/admin/persons?new=1", "/admin/persons",
                            {{"action", "add"}, {"name", " 新同事 "}, {"department", "1"}, {"duty", "4"}});
  ASSERT_TRUE(added);
  ASSERT_EQ(added->status, 303);
  EXPECT_EQ(added->get_header_value("Location"), "/admin/persons?person=5&done=added");
  EXPECT_EQ(FindPerson(*db_, 5)->name, "新同事");
  EXPECT_TRUE(Contains(Get("/admin/persons?person=5&done=added"), "role=\"status\""));

  // An empty name: the form again with the message and the values kept.
  const Result bad = Post("/admin/persons?person=5", "/admin/persons",
                          {{"action", "edit"}, {"person", "5"}, {"name", "  "},
                           {"department", "9"}, {"duty", "4"}});
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->status, 400);
  EXPECT_TRUE(Contains(bad->body, "class=\"error\""));
  EXPECT_EQ(FindPerson(*db_, 5)->name, "新同事");

  const Result edited = Post("/admin/persons?person=5", "/admin/persons",
                             {{"action", "edit"}, {"person", "5"}, {"name", "新同事甲"},
                              {"department", "2"}, {"duty", "1"}});
  ASSERT_TRUE(edited && edited->status == 303);
  EXPECT_EQ(FindPerson(*db_, 5)->system_id, 2);

  ASSERT_EQ(Post("/admin/persons?person=5", "/admin/persons",
                 {{"action", "retire"}, {"person", "5"}})->status, 303);
  EXPECT_TRUE(RetiredAt(*db_, 5));
  EXPECT_FALSE(Contains(Get("/admin/persons"), "新同事甲"));
  EXPECT_TRUE(Contains(Get("/admin/persons?retired=1"), "新同事甲"));
  EXPECT_EQ(Post("/admin/persons?person=5", "/admin/persons",
                 {{"action", "retire"}, {"person", "5"}})->status, 409);
  ASSERT_EQ(Post("/admin/persons?person=5", "/admin/persons",
                 {{"action", "reinstate"}, {"person", "5"}})->status, 303);
  EXPECT_FALSE(RetiredAt(*db_, 5));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM hostAudit WHERE subjectID = 5 AND actorID = 1"), 4);
  EXPECT_EQ(Get("/admin/persons?person=99", 404).empty(), false);
}

TEST_F(WebAdminPersons, DownloadsAndImportsTheStaff) {
  const Result csv = admin_->Get("/admin/persons?format=csv");
  ASSERT_TRUE(csv && csv->status == 200);
  EXPECT_EQ(csv->get_header_value("Content-Type"), "text/csv; charset=utf-8");
  EXPECT_TRUE(csv->body.starts_with("\xEF\xBB\xBF编号,姓名,部门,职务,离职\r\n1,张局长,办公室,局长,\r\n"));

  const std::string file = "姓名,部门,职务\n李科员,外单位,科员\n新同事,办公室,科员\n";
  const Result dry = Post("/admin/persons/import", "/admin/persons/import",
                          {{"action", "dry-run"}, {"csv", file}});
  ASSERT_TRUE(dry && dry->status == 200);
  EXPECT_TRUE(Contains(dry->body, "<td>2</td><td>修改</td>") ||
              Contains(dry->body, "<td>2</td><td>change</td>"));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM person"), 4);

  const Result refused = Post("/admin/persons/import", "/admin/persons/import",
                              {{"action", "apply"}, {"csv", file + "无名,九处,科员\n"}});
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 400);
  EXPECT_TRUE(Contains(refused->body, "class=\"refused\""));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM person"), 4);

  const Result applied = Post("/admin/persons/import", "/admin/persons/import",
                              {{"action", "apply"}, {"csv", file}});
  ASSERT_TRUE(applied && applied->status == 200);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM person"), 5);
  EXPECT_EQ(FindPerson(*db_, kLi)->system_id, 2);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM hostAudit WHERE kind = 'persons-imported'"), 1);
}

}  // namespace
}  // namespace ostrand::web
