// Plan data members of Schedulers: day cells and person name.
#include "component/not_implemented.h"
#include "component/schedulers.h"

namespace ostrand {

Value Schedulers::GetPersonDay(const Value&, const Value&) { ThrowNotImplemented("GetPersonDay"); }
Value Schedulers::GetPersonDay2(const Value&, const Value&) { ThrowNotImplemented("GetPersonDay2"); }
Value Schedulers::GetName(const Value&) { ThrowNotImplemented("GetName"); }

}  // namespace ostrand
