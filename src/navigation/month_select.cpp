#include "navigation/month_select.h"

#include "navigation/picker_link.h"

namespace ostrand::navigation {
namespace {

constexpr std::string_view kYearBack =
    "'>&nbsp;<img src='../Images/jian3.gif'  border='0' align='absmiddle'></a>";
constexpr std::string_view kMonthBack =
    "'>&nbsp;<img src='../Images/jian1.gif'  border='0' align='absmiddle'>&nbsp;</a>";
constexpr std::string_view kMonthForward =
    "'>&nbsp;<img src='../Images/jian2.gif'  border='0' align='absmiddle'></a>";
constexpr std::string_view kYearForward =
    "'>&nbsp;<img src='../Images/jian4.gif'  border='0' align='absmiddle'>&nbsp;</a>";

// The longest step of the picker, a year either way.
constexpr int kYear = 12;

}  // namespace

std::string DispMonthSelect(std::string_view url, const Value& dtDate, const Value& pID,
                            const LinkStamp& stamp) {
  // Every date is worked out before the first link, so a bad date fails
  // before anything is read for the links.
  const DateTime shown = dtDate.ToDate();
  const DateTime previous = shown.AddMonths(-1);
  const DateTime next = shown.AddMonths(1);
  const DateTime year_back = shown.AddMonths(-kYear);
  const DateTime year_forward = shown.AddMonths(kYear);
  const std::string person = pID.ToText();

  std::string out;
  out.reserve(4 * (url.size() + person.size() + 160) + 16);
  AppendPickerLink(out, url, person, year_back, stamp, kYearBack);
  AppendPickerLink(out, url, person, previous, stamp, kMonthBack);
  out += std::to_string(shown.year());
  out += "年";
  out += std::to_string(shown.month());
  out += "月";
  AppendPickerLink(out, url, person, next, stamp, kMonthForward);
  AppendPickerLink(out, url, person, year_forward, stamp, kYearForward);
  return out;
}

DayRange MonthSelectDays() {
  // Month steps clamp the day of month, so every day of those months works.
  return DayRange{DateTime::Earliest().AddMonths(kYear), DateTime::Latest().AddMonths(-kYear)};
}

}  // namespace ostrand::navigation
