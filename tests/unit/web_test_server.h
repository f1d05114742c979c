// Test support for the web host: a schedule database with a small fixture,
// a WebServer on a free loopback port in its own thread, and a browser-like
// client that keeps cookies and reads CSRF tokens out of pages.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "http_test_client.h"
#include "store/schema.h"
#include "test_support.h"
#include "web/auth/accounts.h"
#include "store/connect.h"
#include "web/server.h"
#include "web/server_options.h"

namespace ostrand::web::testing {

// Persons of the fixture. System 1: the leader Zhang (duty 1), Li and
// Zhao (duty 4); system 2: Wang.
inline constexpr int kZhang = 1;
inline constexpr int kLi = 2;
inline constexpr int kWang = 3;
inline constexpr int kZhao = 4;
inline constexpr const char* kPassword = "pass-1234";

using TempDir = test_support::TempDir;

// Writes the fixture into the (empty) database of the connection string
// and gives every person the test password. Plans lie in December 2001:
// each person of system 1 has a shared and a private plan, with contents
// that name their owner.
inline void WriteFixtureTo(const std::string& connection_string) {
  store::Connect(connection_string)->ExecuteScript(R"sql(
    INSERT INTO personDuty VALUES (1, '局长'), (4, '科员');
    INSERT INTO person VALUES (1, '张局长', 1, 1), (2, '李科员', 4, 1), (3, '王外单位', 4, 2),
                              (4, '赵<&>六', 4, 1);
    INSERT INTO planAddrType VALUES (1, '本单位'), (2, '北京'), (3, '京外'), (4, '国外');
    INSERT INTO planAddr VALUES (1, '三层会议室', 1), (2, '发改委', 2), (3, '上海', 3), (4, '东京', 4);
    INSERT INTO personPlan (personID, planStartTime, planEndTime, planAddrTypeID, planAddrID,
                            planAddrDetail, planContent, planAddition, planFlagID) VALUES
      (1, '2001-12-05 09:00:00', '2001-12-05 17:30:00', 1, 1, '东厅', '张共享例会', '带材料', 1),
      (1, '2001-12-06 09:00:00', '2001-12-07 12:00:00', 3, 3, '张私细节', '张私人事务', '张私附加', 2),
      (2, '2001-12-10 09:00:00', '2001-12-10 17:00:00', 2, 2, '', '李共享调研', '', 1),
      (2, '2001-12-11 08:00:00', '2001-12-12 18:00:00', 4, 4, '李私细节', '李私人体检', '李私附加', 2),
      (3, '2001-12-05 09:00:00', '2001-12-05 17:00:00', 1, 1, '', '王共享会议', '', 1);
  )sql");
  const std::int64_t persons[] = {kZhang, kLi, kWang, kZhao};
  GiveDemoPasswords(connection_string, persons, kPassword, PasswordLimits::Minimal());
}

// Writes the fixture into a new SQLite database file.
inline void WriteFixture(const std::string& path) {
  store::CreateSqliteDatabase(path);
  WriteFixtureTo("sqlite:" + path);
}

// Options for a test server on the database: a free port, a fixed "today",
// the fast password limits.
inline ServerOptions TestOptions(const std::string& db_path) {
  ServerOptions options;
  options.connection_string = "sqlite:" + db_path;
  options.host = "127.0.0.1";
  options.port = 0;
  options.secret = RandomSecret();
  options.leader_duties = ParseDutyList("1,2,3");
  options.password_limits = PasswordLimits::Minimal();
  options.today = [] { return DateTime::FromCivil(2001, 12, 5); };
  return options;
}

// A WebServer serving in a background thread until destroyed.
class RunningServer {
 public:
  explicit RunningServer(ServerOptions options)
      : server_(std::make_unique<WebServer>(std::move(options))) {
    port_ = server_->Bind();
    thread_ = std::thread([this] { server_->Listen(); });
  }
  ~RunningServer() {
    server_->Stop();
    thread_.join();
  }
  int port() const { return port_; }

 private:
  std::unique_ptr<WebServer> server_;
  int port_ = 0;
  std::thread thread_;
};

// One browser: keeps the cookies the server sets and sends them back. A
// `source` address (127.0.0.2, ...: Linux routes all of 127/8 locally)
// makes it another client to the server's per-address rules.
class Browser {
 public:
  explicit Browser(int port, const std::string& source = "") : client_(port, source) {}

  Result Get(const std::string& path) { return Keep(client_.Get(path, CookieHeaders())); }

  Result Post(const std::string& path, const Params& form) {
    return Keep(client_.Post(path, form, CookieHeaders()));
  }

  // Signs in through the form; returns the reply to the form's POST.
  Result SignIn(const std::string& person, const std::string& password,
                const std::string& next = "") {
    const Result form = Get("/login");
    EXPECT_TRUE(form && form->status == 200);
    Params fields{{"signin", form ? FieldValue(form->body, "signin") : ""},
                  {"person", person},
                  {"password", password}};
    if (!next.empty()) fields.emplace("next", next);
    return Post("/login", fields);
  }

  std::map<std::string, std::string>& cookies() { return cookies_; }

  // The value of the first hidden field of that name in a page.
  static std::string FieldValue(const std::string& page, const std::string& name) {
    const std::regex pattern("name=\"" + name + "\" value=\"([^\"]*)\"");
    std::smatch match;
    return std::regex_search(page, match, pattern) ? match[1].str() : std::string();
  }

 private:
  Headers CookieHeaders() const {
    std::string header;
    for (const auto& [name, value] : cookies_) {
      if (!header.empty()) header += "; ";
      header += name + "=" + value;
    }
    return header.empty() ? Headers{} : Headers{{"Cookie", header}};
  }

  Result Keep(Result result) {
    if (!result) return result;
    const std::size_t count = result->get_header_value_count("Set-Cookie");
    for (std::size_t i = 0; i < count; ++i) {
      const std::string header = result->get_header_value("Set-Cookie", i);
      const std::size_t equals = header.find('=');
      const std::size_t end = header.find(';');
      const std::string name = header.substr(0, equals);
      const std::string value = header.substr(equals + 1, end - equals - 1);
      if (value.empty() || header.find("Max-Age=0") != std::string::npos) {
        cookies_.erase(name);
      } else {
        cookies_[name] = value;
      }
    }
    return result;
  }

  HttpClient client_;
  std::map<std::string, std::string> cookies_;
};

}  // namespace ostrand::web::testing
