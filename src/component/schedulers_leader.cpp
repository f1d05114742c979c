// Leader summary members of Schedulers: month and week tables of a system.
#include "component/not_implemented.h"
#include "component/schedulers.h"

namespace ostrand {

Value Schedulers::DispLeaderMonthHeader(const Value&) { ThrowNotImplemented("DispLeaderMonthHeader"); }
Value Schedulers::DispLeaderMonthContent(const Value&, const Value&) { ThrowNotImplemented("DispLeaderMonthContent"); }
Value Schedulers::DispLeaderMonth(const Value&, const Value&) { ThrowNotImplemented("DispLeaderMonth"); }
Value Schedulers::DispPersonMonth(const Value&, const Value&) { ThrowNotImplemented("DispPersonMonth"); }
Value Schedulers::DispLeaderWeekHeader(const Value&) { ThrowNotImplemented("DispLeaderWeekHeader"); }
Value Schedulers::DispLeaderWeekContent(const Value&, const Value&) { ThrowNotImplemented("DispLeaderWeekContent"); }
Value Schedulers::DispLeaderWeek(const Value&, const Value&) { ThrowNotImplemented("DispLeaderWeek"); }
Value Schedulers::DispPersonWeek(const Value&, const Value&) { ThrowNotImplemented("DispPersonWeek"); }

}  // namespace ostrand
