// Personal view members of Schedulers: month grid and week table. The month
// content hands its SQL text to the debug trace; the week reads the
// signed-in person once for its seven day cells.
#include "component/schedulers.h"
#include "views/personal_month.h"
#include "views/personal_week.h"

namespace ostrand {

Value Schedulers::DispMonthHeader() { return Value::Text(views::DispMonthHeader()); }

Value Schedulers::DispMonthContent(const Value& dtDate, const Value& pID) {
  const Value viewer = session_item("personID");
  const views::SqlTrace trace = [this](const std::string& sql) { DebugPrint(Value::Text(sql)); };
  return Value::Text(views::DispMonthContent(connection(), dtDate, pID, viewer, trace));
}

Value Schedulers::DispMonth(const Value& dtDate, const Value& pID) {
  const Value header = DispMonthHeader();
  const Value content = DispMonthContent(dtDate, pID);
  return Value::Text(header.text() + content.text());
}

Value Schedulers::DispWeek(const Value& dtDate, const Value& pID) {
  const Value viewer = session_item("personID");
  return Value::Text(views::DispWeek(connection(), dtDate, pID, viewer));
}

}  // namespace ostrand
