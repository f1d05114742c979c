// Plan data members of Schedulers: day cells and person name. Each member
// reads what its area function needs from the page (the signed-in person)
// and hands it on with the connection.
#include "component/schedulers.h"
#include "plans/person_day.h"
#include "plans/person_day_compact.h"
#include "plans/person_name.h"

namespace ostrand {

Value Schedulers::GetPersonDay(const Value& dt, const Value& personID) {
  const Value viewer = session_item("personID");
  return Value::Text(plans::GetPersonDay(connection(), dt, personID, viewer));
}

Value Schedulers::GetPersonDay2(const Value& dt, const Value& personID) {
  return Value::Text(plans::GetPersonDay2(connection(), dt, personID));
}

Value Schedulers::GetName(const Value& pID) {
  return Value::Text(plans::GetName(connection(), pID));
}

}  // namespace ostrand
