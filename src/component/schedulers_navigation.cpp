// Navigation and page furniture members of Schedulers: pickers, view tabs,
// stylesheet and client script. Each member reads what its area needs from
// the page (strURL, Session items, the clock) and hands it on.
#include "assets/client_script.h"
#include "assets/stylesheet.h"
#include "component/schedulers.h"
#include "navigation/link_stamp.h"
#include "navigation/month_select.h"
#include "navigation/view_switch.h"
#include "navigation/week_select.h"

namespace ostrand {

void Schedulers::SetDispStyle(const Value& nType) {
  // Written also when empty: the page sees one write per call.
  response().Write(assets::StyleTextFor(nType));
}

Value Schedulers::DispScript(const Value& pID) {
  const Value signed_in = session_item("personID");
  return Value::Text(assets::DispScript(
      pID, signed_in, [this] { return session_item("rnd"); }, clock()));
}

Value Schedulers::DispMonthSelect(const Value& dtDate, const Value& pID) {
  const navigation::RndReader rnd = [this] { return session_item("rnd"); };
  return Value::Text(navigation::DispMonthSelect(strURL_, dtDate, pID, {clock(), rnd}));
}

Value Schedulers::DispWeekSelect(const Value& dtDate, const Value& pID) {
  const navigation::RndReader rnd = [this] { return session_item("rnd"); };
  return Value::Text(navigation::DispWeekSelect(strURL_, dtDate, pID, {clock(), rnd}));
}

Value Schedulers::DispSwitch(const Value& dtDate, const Value& pID, const Value& strWhich) {
  const navigation::RndReader rnd = [this] { return session_item("rnd"); };
  return navigation::DispSwitch(dtDate, pID, strWhich, {clock(), rnd});
}

}  // namespace ostrand
