#include "navigation/week_select.h"

#include "calendar/week.h"
#include "navigation/picker_link.h"

namespace ostrand::navigation {
namespace {

constexpr std::string_view kMonthBack =
    "'>&nbsp;<img src='../Images/jian3.gif'  border='0' align='absmiddle'></a> ";
constexpr std::string_view kWeekBack =
    "'>&nbsp;<img src='../Images/jian1.gif'  border='0' align='absmiddle'>&nbsp;</a> ";
constexpr std::string_view kWeekForward =
    "'>&nbsp;<img src='../Images/jian2.gif'  border='0' align='absmiddle'></a> ";
constexpr std::string_view kMonthForward =
    "'>&nbsp;<img src='../Images/jian4.gif'  border='0' align='absmiddle'>&nbsp;</a> ";

// The longest steps of the picker: a month either way (a week's step is
// always shorter).
constexpr int kMonth = 1;

}  // namespace

std::string DispWeekSelect(std::string_view url, const Value& dtDate, const Value& pID,
                           const LinkStamp& stamp) {
  // Every date is worked out before the first link, so a bad date fails
  // before anything is read for the links.
  const DateTime shown = dtDate.ToDate();
  const DateTime month_back = shown.AddMonths(-kMonth);
  const DateTime week_back = shown.AddDays(-7);
  const DateTime week_forward = shown.AddDays(7);
  const DateTime month_forward = shown.AddMonths(kMonth);
  const std::string person = pID.ToText();

  std::string out;
  out.reserve(4 * (url.size() + person.size() + 160) + 24);
  AppendPickerLink(out, url, person, month_back, stamp, kMonthBack);
  AppendPickerLink(out, url, person, week_back, stamp, kWeekBack);
  out += std::to_string(shown.year());
  out += "年";
  out += std::to_string(shown.month());
  out += "月第";
  out += calendar::CountWeek(dtDate).ToText();
  out += "周";
  AppendPickerLink(out, url, person, week_forward, stamp, kWeekForward);
  AppendPickerLink(out, url, person, month_forward, stamp, kMonthForward);
  return out;
}

DayRange WeekSelectDays() {
  // Month steps clamp the day of month: 9999-11-30 steps to 9999-12-30.
  return DayRange{DateTime::Earliest().AddMonths(kMonth), DateTime::Latest().AddMonths(-kMonth)};
}

}  // namespace ostrand::navigation
