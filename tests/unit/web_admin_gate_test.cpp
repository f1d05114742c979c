// The administration folder: one refusal for everybody but administrators,
// whatever the path and method, and the link to it for administrators only.
#include <gtest/gtest.h>

#include "store/connection.h"
#include "test_support.h"
#include "web/admin/admin_routes.h"
#include "web/data/admins_table.h"

namespace ostrand::web {
namespace {

using test_support::Contains;
using testing::Browser;
using testing::RunningServer;

class AdminGateTest : public ::testing::Test {
 protected:
  AdminGateTest() {
    testing::WriteFixture(path_);
    GrantAdministrator(*store::Connect("sqlite:" + path_), testing::kLi, std::nullopt,
                       DateTime::FromCivil(2001, 12, 1));
    server_ = std::make_unique<RunningServer>(testing::TestOptions(path_));
  }

  const testing::TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::unique_ptr<RunningServer> server_;
};

TEST_F(AdminGateTest, EveryPathAndMethodRefusesOthersAlike) {
  // A leader is no administrator.
  const auto leader = testing::SignedIn(server_->port(), testing::kZhang);
  const std::string csrf =
      Browser::FieldValue(leader->Get("/schedule/personMonth.asp")->body, "csrf");
  std::vector<std::string> paths = {"/admin/no-such-page", "/admin/persons/../audit"};
  for (const AdminRoute& route : AdminRoutes()) paths.emplace_back(route.path);
  for (const std::string& path : paths) {
    for (const std::string_view method : {"GET", "HEAD", "POST", "PUT", "DELETE", "PATCH"}) {
      const testing::Result result = leader->Send(method, path, "csrf=" + csrf);
      ASSERT_TRUE(result) << method << " " << path;
      EXPECT_EQ(result->status, 403) << method << " " << path;
    }
  }
  const std::string page = leader->Get("/schedule/personMonth.asp")->body;
  EXPECT_FALSE(Contains(page, "href=\"/admin/\""));
  EXPECT_TRUE(Contains(page, "href=\"/account\""));
}

TEST_F(AdminGateTest, AdministratorsFindTheIndexAndTheUsualAnswers) {
  const auto admin = testing::SignedIn(server_->port(), testing::kLi);
  const testing::Result index = admin->Get("/admin/");
  ASSERT_TRUE(index);
  EXPECT_EQ(index->status, 200);
  EXPECT_TRUE(Contains(index->body, "href=\"/admin/persons\""));
  EXPECT_TRUE(Contains(admin->Get("/schedule/personMonth.asp")->body, "href=\"/admin/\""));
  EXPECT_EQ(admin->Get("/admin")->status, 303);
  EXPECT_EQ(admin->Get("/admin/no-such-page")->status, 404);
  const testing::Result wrong = admin->Send("DELETE", "/admin/");
  ASSERT_TRUE(wrong);
  EXPECT_EQ(wrong->status, 405);
  EXPECT_EQ(wrong->get_header_value("Allow"), "GET, HEAD");
  // Revoked: refused at the next request.
  RevokeAdministrator(*store::Connect("sqlite:" + path_), testing::kLi);
  EXPECT_EQ(admin->Get("/admin/")->status, 403);
}

}  // namespace
}  // namespace ostrand::web
