// Personal view members of Schedulers: month grid and week table.
#include "component/not_implemented.h"
#include "component/schedulers.h"

namespace ostrand {

Value Schedulers::DispMonthHeader() { ThrowNotImplemented("DispMonthHeader"); }
Value Schedulers::DispMonthContent(const Value&, const Value&) { ThrowNotImplemented("DispMonthContent"); }
Value Schedulers::DispMonth(const Value&, const Value&) { ThrowNotImplemented("DispMonth"); }
Value Schedulers::DispWeek(const Value&, const Value&) { ThrowNotImplemented("DispWeek"); }

}  // namespace ostrand
