// Lifecycle, connection, debug trace and week arithmetic of Schedulers. The
// display members live beside this file, one file per area.
#include "component/schedulers.h"

#include "calendar/week.h"
#include "core/error.h"
#include "host/memory_context.h"

namespace ostrand {
namespace {

constexpr std::string_view kTraceOpen = "<span id=debugID style='display:none'>";
constexpr std::string_view kTraceClose = "</span>";
constexpr std::string_view kOpenedMessage = "##调试信息:打开数据库 OK!<br>\r\n";
constexpr std::string_view kClosedMessage = "##调试信息:关闭数据库 OK!<br>\r\n";
constexpr std::string_view kDebugMessage = "##调试信息:进入调试模式<br>\r\n";

}  // namespace

Schedulers::Schedulers(std::shared_ptr<const host::Clock> clock)
    : clock_(clock ? std::move(clock) : std::make_shared<host::SystemClock>()) {}

Schedulers::~Schedulers() = default;

Value Schedulers::strURL() const { return Value::Text(strURL_); }

void Schedulers::set_strURL(const Value& value) { strURL_ = value.ToTextStrict("strURL"); }

Value Schedulers::OnStartPage(const Value& sc) {
  const auto* context =
      sc.kind() == Kind::kObject ? dynamic_cast<const host::ScriptingContext*>(sc.object().get())
                                 : nullptr;
  if (context == nullptr) {
    throw Error("OnStartPage needs the page's scripting context, not " +
                std::string(KindName(sc.kind())));
  }
  response_ = context->response();
  request_ = context->request();
  server_ = context->server();
  application_ = context->application();
  session_ = context->session();
  if (!request_) throw Error("no page request held: cannot read the server variable URL");
  strURL_ = request_->ServerVariable("URL").ToText();
  bDebug_ = false;
  return Value();
}

void Schedulers::Init(const Value& ConnStr) {
  strConn_ = ConnStr.ToTextStrict("connection string");
  openDB();
}

void Schedulers::openDB() {
  // The connection held before is released without an explicit close.
  objConn_ = std::make_unique<store::PlanStore>();
  objConn_->Open(strConn_);
  DebugPrint(Value::Text(std::string(kOpenedMessage)));
}

void Schedulers::DebugMode() {
  bDebug_ = true;
  DebugPrint(Value::Text(std::string(kDebugMessage)));
}

Value Schedulers::OnEndPage() {
  session().Set("strURL", Value::Text(strURL_));
  response_.reset();
  request_.reset();
  server_.reset();
  application_.reset();
  session_.reset();
  CloseDB();
  return Value();
}

void Schedulers::CloseDB() {
  if (objConn_) {
    objConn_->Close();
    objConn_.reset();
  }
  // The page objects are released before the connection is closed, so the
  // closing trace has nowhere to go at page end and is dropped then.
  if (bDebug_ && response_) DebugPrint(Value::Text(std::string(kClosedMessage)));
}

void Schedulers::DebugPrint(const Value& message) {
  if (!bDebug_) return;
  std::string trace;
  trace.reserve(kTraceOpen.size() + kTraceClose.size() + 64);
  trace += kTraceOpen;
  trace += message.ToText();
  trace += kTraceClose;
  response().Write(trace);
}

host::Response& Schedulers::response() const {
  if (!response_) throw Error("no page response held (OnStartPage has not run)");
  return *response_;
}

host::Session& Schedulers::session() const {
  if (!session_) throw Error("no page session held (OnStartPage has not run)");
  return *session_;
}

store::QuerySource& Schedulers::connection() const {
  if (!objConn_) throw Error("no database connection (Init has not run)");
  return *objConn_;
}

Value Schedulers::session_item(std::string_view key) const { return session().Get(key); }

Value Schedulers::GetFirstMonday(const Value& dtDate) { return calendar::GetFirstMonday(dtDate); }
Value Schedulers::CountWeek(const Value& dtDate) { return calendar::CountWeek(dtDate); }
Value Schedulers::GetPrevMonday(const Value& dtDate) { return calendar::GetPrevMonday(dtDate); }

}  // namespace ostrand
