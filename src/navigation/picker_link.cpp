#include "navigation/picker_link.h"

#include "core/html.h"

namespace ostrand::navigation {

void AppendPickerLink(std::string& out, std::string_view url, std::string_view person,
                      const DateTime& date, const LinkStamp& stamp, std::string_view closing) {
  out += "<a href='";
  AppendEscapedHtml(out, url);
  out += "?personID=";
  AppendEscapedHtml(out, person);
  out += "&dt=";
  out += date.ToText();  // digits, '-', ' ' and ':' only
  out += "&t=";
  out += TimeStampText(stamp.clock);
  out += "&rnd=";
  AppendEscapedHtml(out, stamp.rnd().ToText());
  out += closing;
}

}  // namespace ostrand::navigation
