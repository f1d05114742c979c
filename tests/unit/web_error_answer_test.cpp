// The one answer to every failure (pages/error_answer.h) and the route
// table's 405: status by kind, page or JSON, language, incident numbers.
#include "web/pages/error_answer.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "store/database_error.h"
#include "test_support.h"
#include "web/http/request_error.h"
#include "web/i18n/http_error.h"

namespace ostrand::web {
namespace {

using test_support::Contains;

template <class E>
http::Response Answer(E error, Language language = Language::kEnglish,
                      AnswerForm form = AnswerForm::kPage) {
  return ErrorAnswer(std::make_exception_ptr(std::move(error)), language, nullptr, form);
}

TEST(ErrorAnswer, EachKindHasItsStatusAndOnlyFaultsAnIncident) {
  struct Case {
    ErrorKind kind;
    int status;
    bool incident;
  };
  for (const Case& c : {Case{ErrorKind::kBadInput, 400, false}, Case{ErrorKind::kNotFound, 404, false},
                        Case{ErrorKind::kForbidden, 403, false}, Case{ErrorKind::kConflict, 409, false},
                        Case{ErrorKind::kBusy, 503, false}, Case{ErrorKind::kUnavailable, 503, true},
                        Case{ErrorKind::kInternal, 500, true}}) {
    for (const AnswerForm form : {AnswerForm::kPage, AnswerForm::kJson}) {
      const http::Response response = Answer(Error("the cause", c.kind), Language::kEnglish, form);
      EXPECT_EQ(response.status, c.status);
      EXPECT_EQ(!response.incident.empty(), c.incident) << c.status;
      EXPECT_EQ(response.cause, c.incident ? "the cause" : "") << c.status;
      if (c.incident) {
        EXPECT_TRUE(Contains(response.body(), response.incident));
      }
      // The cause of a fault is for the log only.
      if (c.status >= 500) {
        EXPECT_FALSE(Contains(response.body(), "the cause"));
      }
      bool retry = false;
      for (const http::Header& header : response.headers) retry |= header.name == "Retry-After";
      EXPECT_EQ(retry, c.status == 503) << c.status;
    }
  }
  const http::Response unknown = ErrorAnswer(std::make_exception_ptr(42), Language::kEnglish, nullptr);
  EXPECT_EQ(unknown.status, 500);
  EXPECT_EQ(unknown.cause, "unknown failure");
  EXPECT_EQ(Answer(std::runtime_error("boom")).cause, "boom");
  EXPECT_EQ(Answer(store::DatabaseError::Unavailable("gone")).status, 503);
  EXPECT_EQ(Answer(store::DatabaseError::Statement("no such table", "SELECT 1")).status, 500);
}

TEST(ErrorAnswer, PagesSpeakTheVisitorsLanguageAndProgramsGetJson) {
  const HttpError missing(ErrorKind::kNotFound, {MessageId::kNoSuchPerson, {"7"}});
  EXPECT_EQ(missing.status(), 404);
  const http::Response zh = Answer(missing, Language::kChinese);
  EXPECT_EQ(zh.content_type(), "text/html; charset=utf-8");
  EXPECT_TRUE(Contains(zh.body(), Format(Language::kChinese, MessageId::kNoSuchPerson, {"7"})));
  EXPECT_TRUE(Contains(zh.body(), "lang=\"zh"));
  const http::Response json = Answer(missing, Language::kChinese, AnswerForm::kJson);
  EXPECT_EQ(json.content_type(), "application/json; charset=utf-8");
  EXPECT_EQ(json.body(), "{\"error\":\"" + Format(Language::kEnglish, MessageId::kNoSuchPerson, {"7"}) +
                             "\"}\n");

  // A value of the request that does not read, from the HTTP layer below.
  const http::RequestError bad(http::RequestError::Rule::kNotADate, {"dt", "x"}, "dt 'x' is not a date.");
  const http::Response page = Answer(bad, Language::kChinese);
  EXPECT_EQ(page.status, 400);
  EXPECT_TRUE(Contains(page.body(), Format(Language::kChinese, MessageId::kNotADate, {"dt", "x"})));

  // A program's message is kept whole, a NUL it quotes written as %00.
  const http::Response quoted =
      Answer(Error(std::string("list 'a\0b'", 10), ErrorKind::kBadInput), Language::kEnglish,
             AnswerForm::kJson);
  EXPECT_EQ(quoted.body(), "{\"error\":\"list 'a%00b'\"}\n");
}

TEST(Routes, AnotherMethodGetsOne405WithTheMethodsOfThePath) {
  testing::TempDir dir;
  const std::string db = dir.File("routes.db");
  testing::WriteFixture(db);
  testing::RunningServer server(testing::TestOptions(db));
  testing::HttpClient client(server.port());
  for (const auto& [method, path, allow] :
       {std::tuple{"PUT", "/schedule/manage.asp", "GET, HEAD, POST"},
        std::tuple{"DELETE", "/login", "GET, HEAD, POST"},
        std::tuple{"POST", "/feeds/anything", "GET, HEAD"},
        std::tuple{"POST", "/schedule/personWeek.asp", "GET, HEAD"}}) {
    const testing::Result result = client.Send(method, path);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 405) << method << " " << path;
    EXPECT_EQ(result->get_header_value("Allow"), allow) << path;
  }
  const testing::Result nowhere = client.Send("PUT", "/nowhere");
  ASSERT_TRUE(nowhere);
  EXPECT_EQ(nowhere->status, 404);
}

TEST(Routes, AServerThatCannotListenSaysWhy) {
  testing::TempDir dir;
  const std::string db = dir.File("listen.db");
  testing::WriteFixture(db);
  // Holds a loopback port, listening, for the test's length.
  const int taken = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(taken, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(taken, 1), 0);
  ASSERT_EQ(::getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const int port = ntohs(address.sin_port);

  ServerOptions options = testing::TestOptions(db);
  options.port = port;
  WebServer server(std::move(options));
  const std::string where = "127.0.0.1:" + std::to_string(port);
  try {
    server.Bind();
    ADD_FAILURE() << "bound a port in use";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot listen on " + where + ": Address already in use");
  }
  try {
    server.Listen();
    ADD_FAILURE() << "served without an address";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot serve on " + where + ": the address is not bound");
  }
  ::close(taken);
}

}  // namespace
}  // namespace ostrand::web
