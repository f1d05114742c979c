// Schedulers: the schedule renderer. A page creates one instance per request
// and drives it: OnStartPage with the page's scripting context, Init with a
// connection string, DebugMode when wanted, any number of display members
// whose returned HTML fragments the page writes, then OnEndPage.
//
// Every parameter is a host value that the member never changes; every
// failure throws ostrand::Error and returns no partial fragment, while what
// the member did before the failing step stays done. An instance serves one
// page at a time on one thread; it holds no state shared with other
// instances.
#pragma once

#include <memory>
#include <string>

#include "core/value.h"
#include "host/page_context.h"
#include "store/plan_store.h"

namespace ostrand {

namespace views {
class KeptMonthCells;
}

class Schedulers {
 public:
  // The clock gives the links' time stamps; null means the system clock.
  explicit Schedulers(std::shared_ptr<const host::Clock> clock = nullptr);
  ~Schedulers();
  Schedulers(const Schedulers&) = delete;
  Schedulers& operator=(const Schedulers&) = delete;

  // --- Lifecycle, connection and debug trace ---

  // The path of the current page; every link the display members build
  // starts with it. Writing needs a value that has text (null is an error).
  Value strURL() const;
  void set_strURL(const Value& value);

  // Takes the page objects from `sc` (a value holding a
  // host::ScriptingContext), stores the request's server variable "URL" in
  // strURL and turns debug mode off. Returns the empty value.
  Value OnStartPage(const Value& sc);
  // Stores the connection string's text and calls openDB.
  void Init(const Value& ConnStr);
  // Replaces the held connection with a new one opened with the stored
  // connection string. On failure the new, unopened connection stays held.
  void openDB();
  // Turns debug mode on and writes the entering-debug trace.
  void DebugMode();
  // Writes strURL into the Session item "strURL", releases the page objects
  // and closes the connection. Returns the empty value.
  Value OnEndPage();

  // --- Page furniture ---
  void SetDispStyle(const Value& nType);
  Value DispScript(const Value& pID);

  // --- Week arithmetic ---
  Value GetFirstMonday(const Value& dtDate);
  Value CountWeek(const Value& dtDate);
  Value GetPrevMonday(const Value& dtDate);

  // --- Plan data ---
  Value GetPersonDay(const Value& dt, const Value& personID);
  Value GetPersonDay2(const Value& dt, const Value& personID);
  Value GetName(const Value& pID);

  // --- Personal views ---
  Value DispMonthHeader();
  Value DispMonthContent(const Value& dtDate, const Value& pID);
  Value DispMonth(const Value& dtDate, const Value& pID);
  Value DispWeek(const Value& dtDate, const Value& pID);

  // --- Leader summaries ---
  Value DispLeaderMonthHeader(const Value& dtDate);
  Value DispLeaderMonthContent(const Value& dtDate, const Value& strCond);
  Value DispLeaderMonth(const Value& dtDate, const Value& strCond);
  Value DispPersonMonth(const Value& dtDate, const Value& pID);
  Value DispLeaderWeekHeader(const Value& dtDate);
  Value DispLeaderWeekContent(const Value& dtDate, const Value& strCond);
  Value DispLeaderWeek(const Value& dtDate, const Value& strCond);
  Value DispPersonWeek(const Value& dtDate, const Value& pID);

  // --- Navigation ---
  Value DispMonthSelect(const Value& dtDate, const Value& pID);
  Value DispWeekSelect(const Value& dtDate, const Value& pID);
  Value DispSwitch(const Value& dtDate, const Value& pID, const Value& strWhich);

  // For C++ hosts (no member of the table): DispLeaderMonth appended to
  // `out`, each person's cells taken from `kept` where it holds them and
  // offered to it otherwise (views::AppendLeaderMonthContent); the same
  // bytes as DispLeaderMonth. Throws as DispLeaderMonth; `out` may then
  // hold part of the summary.
  void AppendLeaderMonth(std::string& out, const Value& dtDate, const Value& strCond,
                         views::KeptMonthCells* kept);

  // Whether debug mode is on (for hosts and tests).
  bool debug() const { return bDebug_; }
  // The stored connection string (for hosts and tests).
  const std::string& connection_string() const { return strConn_; }
  // Whether a connection object is held, and whether it is open.
  bool holds_connection() const { return objConn_ != nullptr; }
  bool connection_open() const { return objConn_ && objConn_->IsOpen(); }

 private:
  // Closes and releases the held connection; writes the closing trace
  // while debug mode is on and a Response is held.
  void CloseDB();
  // Writes the message inside a hidden span while debug mode is on.
  void DebugPrint(const Value& message);

  // The held page objects and connection; each throws Error naming what is
  // missing when the object is not held.
  host::Response& response() const;
  host::Session& session() const;
  store::QuerySource& connection() const;
  const host::Clock& clock() const { return *clock_; }
  // Text of the Session item `key` (empty when never set).
  Value session_item(std::string_view key) const;

  std::string strURL_;
  bool bDebug_ = false;
  std::shared_ptr<host::Response> response_;
  std::shared_ptr<host::Request> request_;
  std::shared_ptr<host::Session> session_;
  std::shared_ptr<host::Application> application_;
  std::shared_ptr<host::Server> server_;
  std::unique_ptr<store::PlanStore> objConn_;
  std::string strConn_;
  std::shared_ptr<const host::Clock> clock_;
};

}  // namespace ostrand
