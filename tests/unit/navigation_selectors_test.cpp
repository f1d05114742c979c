// The month and week pickers: link dates, captions, stamps and escaping.
#include <string>
#include <vector>

#include "navigation_test_page.h"

namespace ostrand::testing_page {
namespace {

using Strings = std::vector<std::string>;

const std::string kLinkStart = "<a href='/Sched/personMonth.asp?personID=12&dt=";

class NavigationSelectors : public FurniturePage {};

TEST_F(NavigationSelectors, MonthPickerIsByteExact) {
  session_->Set("rnd", Value::Int32(7));
  const Value result = Start().DispMonthSelect(D(2001, 12, 5), Value::Int32(12));
  ASSERT_TRUE(result.is_text());
  EXPECT_EQ(result.text(),
            kLinkStart +
                "2000-12-5&t=45296.78&rnd=7'>&nbsp;<img src='../Images/jian3.gif'  border='0' "
                "align='absmiddle'></a>" +
                kLinkStart +
                "2001-11-5&t=45296.78&rnd=7'>&nbsp;<img src='../Images/jian1.gif'  border='0' "
                "align='absmiddle'>&nbsp;</a>"
                "2001年12月" +
                kLinkStart +
                "2002-1-5&t=45296.78&rnd=7'>&nbsp;<img src='../Images/jian2.gif'  border='0' "
                "align='absmiddle'></a>" +
                kLinkStart +
                "2002-12-5&t=45296.78&rnd=7'>&nbsp;<img src='../Images/jian4.gif'  border='0' "
                "align='absmiddle'>&nbsp;</a>");
}

TEST_F(NavigationSelectors, WeekPickerIsByteExactWithASpaceAfterEachLink) {
  session_->Set("rnd", Value::Int32(7));
  const Value result = Start().DispWeekSelect(Value::Text("2001-12-5"), Value::Int32(12));
  ASSERT_TRUE(result.is_text());
  EXPECT_EQ(result.text(),
            kLinkStart +
                "2001-11-5&t=45296.78&rnd=7'>&nbsp;<img src='../Images/jian3.gif'  border='0' "
                "align='absmiddle'></a> " +
                kLinkStart +
                "2001-11-28&t=45296.78&rnd=7'>&nbsp;<img src='../Images/jian1.gif'  border='0' "
                "align='absmiddle'>&nbsp;</a> "
                "2001年12月第2周" +
                kLinkStart +
                "2001-12-12&t=45296.78&rnd=7'>&nbsp;<img src='../Images/jian2.gif'  border='0' "
                "align='absmiddle'></a> " +
                kLinkStart +
                "2002-1-5&t=45296.78&rnd=7'>&nbsp;<img src='../Images/jian4.gif'  border='0' "
                "align='absmiddle'>&nbsp;</a> ");
}

TEST_F(NavigationSelectors, MonthStepsClampToShorterMonthsAndKeepTheTimeOfDay) {
  Schedulers& page = Start();
  const Value pid = Value::Int32(12);

  const std::string jan31 = page.DispMonthSelect(D(2002, 1, 31), pid).text();
  EXPECT_EQ(QueryValues(jan31, "&dt="),
            (Strings{"2001-1-31", "2001-12-31", "2002-2-28", "2003-1-31"}));
  EXPECT_NE(jan31.find("</a>2002年1月<a"), std::string::npos);

  const std::string leap = page.DispMonthSelect(Value::Text("2000/2/29"), pid).text();
  EXPECT_EQ(QueryValues(leap, "&dt="),
            (Strings{"1999-2-28", "2000-1-29", "2000-3-29", "2001-2-28"}));
  EXPECT_NE(leap.find("2000年2月"), std::string::npos);

  const std::string timed = page.DispMonthSelect(D(2001, 3, 31, 9, 5), pid).text();
  EXPECT_EQ(QueryValues(timed, "&dt="), (Strings{"2000-3-31 9:05:00", "2001-2-28 9:05:00",
                                                 "2001-4-30 9:05:00", "2002-3-31 9:05:00"}));
}

TEST_F(NavigationSelectors, WeekStepsCrossMonthsWhileTheCaptionKeepsTheShownMonth) {
  Schedulers& page = Start();
  const Value pid = Value::Int32(12);

  const std::string dec29 = page.DispWeekSelect(D(2001, 12, 29), pid).text();
  EXPECT_EQ(QueryValues(dec29, "&dt="),
            (Strings{"2001-11-29", "2001-12-22", "2002-1-5", "2002-1-29"}));
  EXPECT_NE(dec29.find("</a> 2001年12月第5周<a"), std::string::npos);

  const std::string jan31 = page.DispWeekSelect(D(2002, 1, 31, 14, 30), pid).text();
  EXPECT_EQ(QueryValues(jan31, "&dt="), (Strings{"2001-12-31 14:30:00", "2002-1-24 14:30:00",
                                                 "2002-2-7 14:30:00", "2002-2-28 14:30:00"}));
  EXPECT_NE(jan31.find("2002年1月第5周"), std::string::npos);

  const std::string first = page.DispWeekSelect(D(2001, 10, 1), pid).text();
  EXPECT_NE(first.find("2001年10月第1周"), std::string::npos);
}

TEST_F(NavigationSelectors, EachLinkReadsTheClockAndRndAfresh) {
  clock_ = std::make_shared<SteppingClock>(100.0f);
  Schedulers& page = Start();
  session_->Set("rnd", Value::Text("a"));

  const std::string month = page.DispMonthSelect(D(2001, 12, 5), Value::Int32(12)).text();
  EXPECT_EQ(QueryValues(month, "&t="), (Strings{"100", "101", "102", "103"}));
  EXPECT_EQ(session_->reads("rnd"), 4);

  const std::string week = page.DispWeekSelect(D(2001, 12, 5), Value::Int32(12)).text();
  EXPECT_EQ(QueryValues(week, "&t="), (Strings{"104", "105", "106", "107"}));
  EXPECT_EQ(session_->reads("rnd"), 8);
}

TEST_F(NavigationSelectors, MissingRndAndEmptyUrlLeaveTheirPlacesEmpty) {
  Schedulers& page = Start();
  page.set_strURL(Value::Text(""));
  for (const std::string& picker : {page.DispMonthSelect(D(2001, 12, 5), Value()).text(),
                                    page.DispWeekSelect(D(2001, 12, 5), Value()).text()}) {
    SCOPED_TRACE(picker);
    EXPECT_EQ(Occurrences(picker, "&rnd='>"), 4);
    EXPECT_EQ(Occurrences(picker, "<a href='?personID=&dt="), 4);
    EXPECT_EQ(picker.find("& rnd"), std::string::npos);
  }
}

TEST_F(NavigationSelectors, RequestValuesAreEscapedInTheLinks) {
  session_->Set("rnd", Value::Text("7'><script>&"));
  Schedulers& page = Start("/x.asp?a=1&b='<b>'");
  const Value pid = Value::Text("12' onclick='x");
  for (const std::string& picker : {page.DispMonthSelect(D(2001, 12, 5), pid).text(),
                                    page.DispWeekSelect(D(2001, 12, 5), pid).text()}) {
    SCOPED_TRACE(picker);
    EXPECT_EQ(Occurrences(picker,
                          "<a href='/x.asp?a=1&amp;b=&#39;&lt;b&gt;&#39;?personID="
                          "12&#39; onclick=&#39;x&dt="),
              4);
    EXPECT_EQ(Occurrences(picker, "&rnd=7&#39;&gt;&lt;script&gt;&amp;'>&nbsp;<img"), 4);
    EXPECT_EQ(picker.find("<script>"), std::string::npos);
    EXPECT_EQ(picker.find("<b>"), std::string::npos);
  }
}

TEST_F(NavigationSelectors, DatesThatDoNotReadAsDatesFailBeforeAnythingIsRead) {
  Schedulers& page = Start();
  const Value pid = Value::Int32(12);
  for (const Value& bad :
       {Value::Text("abc"), Value::Text("2001-13-45"), Value::Text(""), Value::Null()}) {
    SCOPED_TRACE(bad.ToText());
    EXPECT_NE(ErrorOf([&] { page.DispMonthSelect(bad, pid); }).find("as a date"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { page.DispWeekSelect(bad, pid); }).find("as a date"), std::string::npos);
  }
  EXPECT_NE(
      ErrorOf([&] { page.DispMonthSelect(Value::Text("2001-13-45"), pid); }).find("2001-13-45"),
      std::string::npos);
  // Steps that leave the calendar's range fail as well.
  EXPECT_NE(ErrorOf([&] { page.DispMonthSelect(D(9999, 3, 1), pid); }), "(no error)");
  EXPECT_NE(ErrorOf([&] { page.DispWeekSelect(D(100, 1, 3), pid); }), "(no error)");
  EXPECT_EQ(session_->reads("rnd"), 0);
}

}  // namespace
}  // namespace ostrand::testing_page
