// The page lifecycle of Schedulers: page objects, connection, debug trace.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "component/schedulers.h"
#include "core/error.h"
#include "host/memory_context.h"
#include "store/schema.h"
#include "test_support.h"

namespace ostrand {
namespace fs = std::filesystem;
namespace {

const std::string kDebugTrace =
    "<span id=debugID style='display:none'>##调试信息:进入调试模式<br>\r\n</span>";
const std::string kOpenTrace =
    "<span id=debugID style='display:none'>##调试信息:打开数据库 OK!<br>\r\n</span>";

// The message of the Error that `action` throws; "(no error)" when none.
template <typename F>
std::string ErrorOf(F&& action) {
  return test_support::ErrorOf(action, "(no error)");
}

// One page over in-memory objects and a fresh SQLite database file.
class ComponentLifecycle : public ::testing::Test {
 protected:
  void SetUp() override { store::CreateSqliteDatabase(DbPath("plans.db")); }

  std::string DbPath(const std::string& name) const { return dir_.File(name); }
  Value Conn(const std::string& name = "plans.db") const {
    return Value::Text("sqlite:" + DbPath(name));
  }
  Value Context() const {
    return Value::Object(std::make_shared<host::MemoryContext>(response_, request_, session_));
  }

  test_support::TempDir dir_;
  std::shared_ptr<host::MemoryResponse> response_ = std::make_shared<host::MemoryResponse>();
  std::shared_ptr<host::MemoryRequest> request_ =
      std::make_shared<host::MemoryRequest>("/Sched/leaderMonth.asp");
  std::shared_ptr<host::MemorySession> session_ = std::make_shared<host::MemorySession>();
  Schedulers object_;
};

TEST_F(ComponentLifecycle, DebugModeBeforeInitTracesBothInOrder) {
  object_.OnStartPage(Context());
  object_.DebugMode();
  object_.Init(Conn());
  EXPECT_EQ(response_->text(), kDebugTrace + kOpenTrace);
  EXPECT_TRUE(object_.connection_open());
}

TEST_F(ComponentLifecycle, DebugModeAfterInitTracesOnlyItself) {
  object_.OnStartPage(Context());
  object_.Init(Conn());
  object_.DebugMode();
  EXPECT_EQ(response_->text(), kDebugTrace);
}

TEST_F(ComponentLifecycle, DebugModeTwiceWritesTwice) {
  object_.OnStartPage(Context());
  object_.DebugMode();
  object_.DebugMode();
  EXPECT_EQ(response_->text(), kDebugTrace + kDebugTrace);
}

TEST_F(ComponentLifecycle, WholePageWithoutDebugModeWritesNothing) {
  EXPECT_EQ(object_.OnStartPage(Context()), Value());
  object_.Init(Conn());
  object_.openDB();
  EXPECT_EQ(object_.OnEndPage(), Value());
  EXPECT_EQ(response_->text(), "");
  EXPECT_FALSE(object_.holds_connection());
}

TEST_F(ComponentLifecycle, EveryPageStartsWithDebugModeOff) {
  object_.OnStartPage(Context());
  object_.DebugMode();
  object_.OnEndPage();
  // Debug mode outlives the page, but the next page turns it off.
  EXPECT_TRUE(object_.debug());
  object_.OnStartPage(Context());
  EXPECT_FALSE(object_.debug());
  response_->Clear();
  object_.Init(Conn());
  EXPECT_EQ(response_->text(), "");
}

TEST_F(ComponentLifecycle, PageEndWithDebugOnClosesWithoutWritingAfterRelease) {
  object_.OnStartPage(Context());
  object_.DebugMode();
  object_.Init(Conn());
  object_.OnEndPage();
  EXPECT_EQ(response_->text(), kDebugTrace + kOpenTrace);
  EXPECT_FALSE(object_.holds_connection());
  EXPECT_EQ(session_->Get("strURL"), Value::Text("/Sched/leaderMonth.asp"));
}

TEST_F(ComponentLifecycle, StrUrlIsTheReportedPathAndReachesTheSession) {
  request_ = std::make_shared<host::MemoryRequest>("/a b/Person Month.asp");
  object_.OnStartPage(Context());
  EXPECT_EQ(object_.strURL(), Value::Text("/a b/Person Month.asp"));
  // OnEndPage without any Init: nothing to close, the item is still written.
  EXPECT_EQ(object_.OnEndPage(), Value());
  EXPECT_EQ(session_->Get("strURL"), Value::Text("/a b/Person Month.asp"));
}

TEST_F(ComponentLifecycle, StrUrlWrittenByThePageWins) {
  object_.OnStartPage(Context());
  object_.set_strURL(Value::Int32(42));
  EXPECT_EQ(object_.strURL(), Value::Text("42"));
  object_.set_strURL(Value::Text("/mine.asp"));
  EXPECT_NE(ErrorOf([&] { object_.set_strURL(Value::Null()); }), "(no error)");
  EXPECT_EQ(object_.strURL(), Value::Text("/mine.asp"));
  object_.OnEndPage();
  EXPECT_EQ(session_->Get("strURL"), Value::Text("/mine.asp"));
  // strURL outlives the page until the next OnStartPage reads the URL again.
  EXPECT_EQ(object_.strURL(), Value::Text("/mine.asp"));
  object_.OnStartPage(Context());
  EXPECT_EQ(object_.strURL(), Value::Text("/Sched/leaderMonth.asp"));
}

TEST_F(ComponentLifecycle, InitStoresTheTextOfANumber) {
  object_.OnStartPage(Context());
  EXPECT_NE(ErrorOf([&] { object_.Init(Value::Double(12.5)); }), "(no error)");
  EXPECT_EQ(object_.connection_string(), "12.5");
}

TEST_F(ComponentLifecycle, SecondInitReplacesTheFirstConnection) {
  store::CreateSqliteDatabase(DbPath("other.db"));
  object_.OnStartPage(Context());
  object_.Init(Conn());
  object_.Init(Conn("other.db"));
  EXPECT_EQ(object_.connection_string(), "sqlite:" + DbPath("other.db"));
  EXPECT_TRUE(object_.connection_open());
  // A failing third Init leaves its own unopened connection, not the second.
  EXPECT_NE(ErrorOf([&] { object_.Init(Conn("missing.db")); }), "(no error)");
  EXPECT_TRUE(object_.holds_connection());
  EXPECT_FALSE(object_.connection_open());
}

TEST_F(ComponentLifecycle, OpenDbBeforeInitHasNoConnectionString) {
  object_.OnStartPage(Context());
  object_.DebugMode();
  response_->Clear();
  EXPECT_EQ(ErrorOf([&] { object_.openDB(); }), "no connection string");
  EXPECT_TRUE(object_.holds_connection());
  EXPECT_FALSE(object_.connection_open());
  // The open failed, so no open trace was written.
  EXPECT_EQ(response_->text(), "");
}

TEST_F(ComponentLifecycle, InitWithNullFailsBeforeStoringAnything) {
  object_.OnStartPage(Context());
  object_.Init(Conn());
  EXPECT_NE(ErrorOf([&] { object_.Init(Value::Null()); }), "(no error)");
  EXPECT_EQ(object_.connection_string(), Conn().text());
  EXPECT_TRUE(object_.connection_open());
}

TEST_F(ComponentLifecycle, RefusedConnectionStaysHeldUnopenedUntilPageEnd) {
  object_.OnStartPage(Context());
  const std::string message = ErrorOf([&] { object_.Init(Conn("missing.db")); });
  EXPECT_NE(message.find("missing.db"), std::string::npos) << message;
  EXPECT_EQ(object_.connection_string(), Conn("missing.db").text());
  EXPECT_TRUE(object_.holds_connection());
  EXPECT_FALSE(object_.connection_open());
  // A later Init with a good string recovers.
  object_.Init(Conn());
  EXPECT_TRUE(object_.connection_open());
  object_.OnEndPage();
  EXPECT_FALSE(object_.holds_connection());
}

TEST_F(ComponentLifecycle, PageEndAfterRefusedConnectionCompletes) {
  object_.OnStartPage(Context());
  EXPECT_NE(ErrorOf([&] { object_.Init(Value::Text("")); }), "(no error)");
  EXPECT_EQ(object_.OnEndPage(), Value());
  EXPECT_FALSE(object_.holds_connection());
  EXPECT_EQ(session_->Get("strURL"), Value::Text("/Sched/leaderMonth.asp"));
}

TEST_F(ComponentLifecycle, MembersNeedingPageObjectsFailCleanlyOutsideAPage) {
  // Before OnStartPage and after OnEndPage no Response or Session is held.
  EXPECT_NE(ErrorOf([&] { object_.DebugMode(); }), "(no error)");
  EXPECT_NE(ErrorOf([&] { object_.OnEndPage(); }), "(no error)");
  object_.OnStartPage(Context());
  object_.OnEndPage();
  EXPECT_NE(ErrorOf([&] { object_.DebugMode(); }), "(no error)");
  EXPECT_EQ(response_->text(), "");
}

TEST_F(ComponentLifecycle, OnStartPageNeedsAScriptingContext) {
  EXPECT_NE(ErrorOf([&] { object_.OnStartPage(Value::Text("ctx")); }), "(no error)");
  EXPECT_NE(ErrorOf([&] { object_.OnStartPage(Value()); }), "(no error)");
  // A context without a request cannot supply the URL.
  const Value no_request =
      Value::Object(std::make_shared<host::MemoryContext>(response_, nullptr, session_));
  EXPECT_NE(ErrorOf([&] { object_.OnStartPage(no_request); }), "(no error)");
}

}  // namespace
}  // namespace ostrand
