// Navigation and page furniture members of Schedulers: pickers, view tabs,
// stylesheet and client script.
#include "component/not_implemented.h"
#include "component/schedulers.h"

namespace ostrand {

void Schedulers::SetDispStyle(const Value&) { ThrowNotImplemented("SetDispStyle"); }
Value Schedulers::DispScript(const Value&) { ThrowNotImplemented("DispScript"); }
Value Schedulers::DispMonthSelect(const Value&, const Value&) { ThrowNotImplemented("DispMonthSelect"); }
Value Schedulers::DispWeekSelect(const Value&, const Value&) { ThrowNotImplemented("DispWeekSelect"); }
Value Schedulers::DispSwitch(const Value&, const Value&, const Value&) { ThrowNotImplemented("DispSwitch"); }

}  // namespace ostrand
