#include "assets/client_script.h"

#include <string_view>

namespace ostrand::assets {
namespace {

constexpr std::string_view kOpening = "<script language='javascript'>\r\n function manage(dt){\r\n";
constexpr std::string_view kClosing = "}\r\n</script>\r\n";

}  // namespace

std::string DispScript(const Value& pID, const Value& signedInPersonID,
                       const std::function<Value()>& read_rnd, const host::Clock& clock) {
  std::string out;
  out.reserve(kOpening.size() + kClosing.size() + 96);
  out += kOpening;
  if (SameWholeNumber(pID, signedInPersonID)) {
    out += "     location.href='manage.asp?personID=";
    out += pID.ToText();
    out += "&dt='+dt+'&rnd=";
    out += read_rnd().ToText();
    out += "&t=";
    out += Value::Single(clock.SecondsSinceMidnight()).ToText();
    out += "';";
  }
  out += kClosing;
  return out;
}

}  // namespace ostrand::assets
