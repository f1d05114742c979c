// Leader summary members of Schedulers: month and week tables of a system.
// The contents read the Session item "systemID" for the person list; the
// week rows also read "personID" (the viewer) and hand each person's SQL
// text to the debug trace, while the month rows trace nothing.
#include "component/schedulers.h"
#include "views/leader_month.h"
#include "views/leader_week.h"

namespace ostrand {

Value Schedulers::DispLeaderMonthHeader(const Value& dtDate) {
  return Value::Text(views::DispLeaderMonthHeader(dtDate));
}

Value Schedulers::DispLeaderMonthContent(const Value& dtDate, const Value& strCond) {
  const Value system = session_item("systemID");
  return Value::Text(views::DispLeaderMonthContent(connection(), dtDate, strCond, system));
}

Value Schedulers::DispLeaderMonth(const Value& dtDate, const Value& strCond) {
  std::string out;
  AppendLeaderMonth(out, dtDate, strCond, nullptr);
  return Value::Text(std::move(out));
}

void Schedulers::AppendLeaderMonth(std::string& out, const Value& dtDate, const Value& strCond,
                                   views::KeptMonthCells* kept) {
  out += views::DispLeaderMonthHeader(dtDate);
  const Value system = session_item("systemID");
  views::AppendLeaderMonthContent(out, connection(), dtDate, strCond, system, kept);
}

Value Schedulers::DispPersonMonth(const Value& dtDate, const Value& pID) {
  return Value::Text(views::DispPersonMonth(connection(), dtDate, pID));
}

Value Schedulers::DispLeaderWeekHeader(const Value& dtDate) {
  return Value::Text(views::DispLeaderWeekHeader(dtDate));
}

Value Schedulers::DispLeaderWeekContent(const Value& dtDate, const Value& strCond) {
  const Value system = session_item("systemID");
  const Value viewer = session_item("personID");
  const auto trace = [this](const std::string& sql) { DebugPrint(Value::Text(sql)); };
  return Value::Text(
      views::DispLeaderWeekContent(connection(), dtDate, strCond, system, viewer, trace));
}

Value Schedulers::DispLeaderWeek(const Value& dtDate, const Value& strCond) {
  const Value header = DispLeaderWeekHeader(dtDate);
  const Value content = DispLeaderWeekContent(dtDate, strCond);
  return Value::Text(header.text() + content.text());
}

Value Schedulers::DispPersonWeek(const Value& dtDate, const Value& pID) {
  const Value viewer = session_item("personID");
  const auto trace = [this](const std::string& sql) { DebugPrint(Value::Text(sql)); };
  return Value::Text(views::DispPersonWeek(connection(), dtDate, pID, viewer, trace));
}

}  // namespace ostrand
