#include "navigation/view_switch.h"

#include <array>
#include <string>
#include <string_view>

#include "core/html.h"

namespace ostrand::navigation {
namespace {

constexpr std::string_view kCrLf = "\r\n";

// One view code: whether it is a month view, the opening of its link up to
// "personID=", and its current tab.
struct ViewCode {
  std::string_view which;
  bool month;
  std::string_view link_opening;
  std::string_view current_tab;
};

constexpr std::array<ViewCode, 6> kCodes = {{
    {"m", true, "<th class='td2' nowrap><a href='personWeek.asp?personID=",
     "<tr><th nowrap class='schh'>&nbsp;月计划</th>"},
    {"lm", true, "<th class='td2' nowrap><a href='leaderWeek.asp?personID=",
     "<tr><th nowrap class='schh'>&nbsp;月汇总</th>"},
    {"lm2", true, "<th class='td2' nowrap><a href='leader2Week.asp?personID=",
     "<tr><th nowrap class='schh'>&nbsp;月汇总</th>"},
    {"w", false, "<tr><th nowrap class='td2'><a href='personMonth.asp?personID=",
     "<th class='schh' nowrap> &nbsp;周计划</th>"},
    {"lw", false, "<tr><th nowrap class='td2'><a href='leaderMonth.asp?personID=",
     "<th class='schh' nowrap> &nbsp;周汇总</th>"},
    {"lw2", false, "<tr><th nowrap class='td2'><a href='leader2Month.asp?personID=",
     "<th class='schh' nowrap> &nbsp;周汇总</th>"},
}};

constexpr std::string_view kTableOpen =
    "<table width='100%' border='0' cellpadding='0' cellspacing='0'>";
constexpr std::string_view kTableClose = "<th width='100%'>&nbsp;</th>\r\n</tr>\r\n</table>\r\n";

// Month views: the link to the week view follows the current tab.
constexpr std::string_view kMonthLinkClosing = "'> &nbsp;周计划</a></th>";
constexpr std::string_view kAfterMonthCurrent =
    "<th  class='schh'><img src='../Images/niuban.gif' width='22' height='22'></th>";
constexpr std::string_view kAfterMonthLink =
    "<th class='td2'><img src='../Images/niuban.gif' width='22' height='22'></th>";

// Week views: the link to the month view comes first.
constexpr std::string_view kWeekLinkClosing = "'>&nbsp;月计划</a></th>";
constexpr std::string_view kAfterWeekLink =
    "<th  class='td2'><img src='../Images/niuban.gif' width='22' height='22'></th>";
constexpr std::string_view kAfterWeekCurrent =
    "<th class='schh'><img src='../Images/niuban.gif' width='22' height='22'></th>";

const ViewCode* FindCode(const Value& strWhich) {
  if (!strWhich.is_text()) return nullptr;
  for (const ViewCode& code : kCodes) {
    if (strWhich.text() == code.which) return &code;
  }
  return nullptr;
}

void AppendLine(std::string& out, std::string_view line) {
  out += line;
  out += kCrLf;
}

// The link tab: opening, person, date, time stamp, "rnd", closing, CR LF.
// The key of "rnd" is written "& rnd=", with a space after the ampersand,
// unlike the pickers' "&rnd=".
void AppendLinkTab(std::string& out, std::string_view opening, const Value& dtDate,
                   const Value& pID, const LinkStamp& stamp, std::string_view closing) {
  out += opening;
  AppendEscapedHtml(out, pID.ToText());
  out += "&dt=";
  AppendEscapedHtml(out, dtDate.ToText());
  out += "&t=";
  out += TimeStampText(stamp.clock);
  out += "& rnd=";
  AppendEscapedHtml(out, stamp.rnd().ToText());
  out += closing;
  out += kCrLf;
}

}  // namespace

Value DispSwitch(const Value& dtDate, const Value& pID, const Value& strWhich,
                 const LinkStamp& stamp) {
  const ViewCode* const code = FindCode(strWhich);
  if (code == nullptr) return Value();

  std::string out;
  out.reserve(640);
  AppendLine(out, kTableOpen);
  if (code->month) {
    AppendLine(out, code->current_tab);
    AppendLine(out, kAfterMonthCurrent);
    AppendLinkTab(out, code->link_opening, dtDate, pID, stamp, kMonthLinkClosing);
    AppendLine(out, kAfterMonthLink);
  } else {
    AppendLinkTab(out, code->link_opening, dtDate, pID, stamp, kWeekLinkClosing);
    AppendLine(out, kAfterWeekLink);
    AppendLine(out, code->current_tab);
    AppendLine(out, kAfterWeekCurrent);
  }
  out += kTableClose;
  return Value::Text(std::move(out));
}

}  // namespace ostrand::navigation
