#include <gtest/gtest.h>

#include "core/error.h"
#include "core/html.h"
#include "core/utf8.h"
#include "core/value.h"

namespace ostrand {
namespace {

DateTime D(int y, int m, int d, int hh = 0, int mi = 0, int ss = 0) {
  return DateTime::FromCivil(y, m, d, hh, mi, ss);
}

TEST(ValueText, ScalarsAndSpecialValues) {
  EXPECT_EQ(Value().ToText(), "");
  EXPECT_EQ(Value::Null().ToText(), "");
  EXPECT_EQ(Value::Bool(true).ToText(), "True");
  EXPECT_EQ(Value::Bool(false).ToText(), "False");
  EXPECT_EQ(Value::Int16(-12).ToText(), "-12");
  EXPECT_EQ(Value::Int32(2147483647).ToText(), "2147483647");
  EXPECT_EQ(Value::Text(" a b ").ToText(), " a b ");
}

TEST(ValueText, DoublesShortestUpTo15Digits) {
  EXPECT_EQ(Value::Double(12).ToText(), "12");
  EXPECT_EQ(Value::Double(12.5).ToText(), "12.5");
  EXPECT_EQ(Value::Double(0.1).ToText(), "0.1");
  EXPECT_EQ(Value::Double(-0.0).ToText(), "0");
  EXPECT_EQ(Value::Double(-3.75).ToText(), "-3.75");
  EXPECT_EQ(Value::Double(1.0 / 3).ToText(), "0.333333333333333");
  EXPECT_EQ(Value::Double(0.1 + 0.2).ToText(), "0.3");
  EXPECT_EQ(Value::Double(123456789012345).ToText(), "123456789012345");
  EXPECT_EQ(Value::Double(1e15).ToText(), "1E+15");
  EXPECT_EQ(Value::Double(0.00001).ToText(), "0.00001");
  EXPECT_EQ(Value::Double(0.0000015).ToText(), "1.5E-06");
  EXPECT_EQ(Value::Double(-2.5e20).ToText(), "-2.5E+20");
  EXPECT_EQ(Value::Double(1e100).ToText(), "1E+100");
}

TEST(ValueText, SinglesShortestUpTo7Digits) {
  EXPECT_EQ(Value::Single(45296.78f).ToText(), "45296.78");
  EXPECT_EQ(Value::Single(45296.0f).ToText(), "45296");
  EXPECT_EQ(Value::Single(0.1f).ToText(), "0.1");
  EXPECT_EQ(Value::Single(86399.99f).ToText(), "86399.99");
  EXPECT_EQ(Value::Single(-1.5f).ToText(), "-1.5");
}

TEST(ValueText, DatesWithAndWithoutTime) {
  EXPECT_EQ(Value::Date(D(2001, 12, 5)).ToText(), "2001-12-5");
  EXPECT_EQ(Value::Date(D(2001, 12, 12, 14, 30)).ToText(), "2001-12-12 14:30:00");
  EXPECT_EQ(Value::Date(D(2001, 12, 12, 9, 5)).ToText(), "2001-12-12 9:05:00");
  EXPECT_EQ(Value::Date(D(2001, 1, 1, 0, 0, 1)).ToText(), "2001-1-1 0:00:01");
  EXPECT_EQ(Value::Date(DateTime()).ToText(), "1899-12-30");
  EXPECT_EQ(Value::Date(D(100, 1, 1)).ToText(), "0100-1-1");
}

TEST(ValueText, NullIsAnErrorWhereTextIsRequired) {
  EXPECT_THROW(Value::Null().ToTextStrict("connection string"), Error);
  EXPECT_EQ(Value::Double(7).ToTextStrict("x"), "7");
}

TEST(ValueNumber, ReadsNumbersAndNumericText) {
  EXPECT_EQ(Value().ToNumber(), 0);
  EXPECT_EQ(Value::Bool(true).ToNumber(), -1);
  EXPECT_EQ(Value::Text("12").ToNumber(), 12);
  EXPECT_EQ(Value::Text(" 12. ").ToNumber(), 12);
  EXPECT_EQ(Value::Text(".5").ToNumber(), 0.5);
  EXPECT_EQ(Value::Text("-12.50").ToNumber(), -12.5);
  EXPECT_EQ(Value::Text("+3").ToNumber(), 3);
  EXPECT_EQ(Value::Text("1e3").ToNumber(), 1000);
  EXPECT_EQ(Value::Text("2.5E-1").ToNumber(), 0.25);
  EXPECT_EQ(Value::Date(D(2001, 12, 5, 12)).ToNumber(), 37230.5);
}

TEST(ValueNumber, RejectsTextThatIsNotANumber) {
  for (const char* bad : {"", " ", "abc", "1 or 1=1", "12abc", ".", "-", "1e", "1e+", "0x10",
                          "1,5", "1..2", "inf", "nan", "1e999", "12 34"}) {
    EXPECT_THROW(Value::Text(bad).ToNumber(), Error) << bad;
    EXPECT_FALSE(Value::Text(bad).ReadsAsNumber()) << bad;
  }
  EXPECT_THROW(Value::Null().ToNumber(), Error);
  try {
    Value::Text("abc").ToNumber();
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("'abc'"), std::string::npos);
  }
}

TEST(ValueNumber, WholeNumberComparison) {
  EXPECT_TRUE(SameWholeNumber(Value::Double(12.7), Value::Text("12")));
  EXPECT_TRUE(SameWholeNumber(Value::Double(7.9), Value::Int32(7)));
  EXPECT_TRUE(SameWholeNumber(Value(), Value::Double(0.5)));
  EXPECT_FALSE(SameWholeNumber(Value::Double(-0.5), Value()));  // floor(-0.5) is -1
  EXPECT_FALSE(SameWholeNumber(Value::Null(), Value::Null()));
  EXPECT_FALSE(SameWholeNumber(Value::Int32(12), Value::Text("13")));
  EXPECT_THROW(SameWholeNumber(Value::Int32(12), Value::Text("x")), Error);
}

TEST(ValueDate, ReadsDateTextAndNumbers) {
  EXPECT_EQ(Value::Text("2001-12-5").ToDate(), D(2001, 12, 5));
  EXPECT_EQ(Value::Text(" 2001/12/05 ").ToDate(), D(2001, 12, 5));
  EXPECT_EQ(Value::Text("2001-12-12 14:30").ToDate(), D(2001, 12, 12, 14, 30));
  EXPECT_EQ(Value::Text("2001-12-12T9:05:07").ToDate(), D(2001, 12, 12, 9, 5, 7));
  EXPECT_EQ(Value::Text("2000-02-29").ToDate(), D(2000, 2, 29));
  EXPECT_EQ(Value().ToDate(), DateTime());
  EXPECT_EQ(Value::Double(37230.75).ToDate(), D(2001, 12, 5, 18));
  EXPECT_EQ(Value::Double(-1.25).ToDate(), D(1899, 12, 29, 6));
  EXPECT_EQ(Value::Int32(2).ToDate(), D(1900, 1, 1));
  // A time within half a second of midnight rounds forward to the next
  // day's midnight, for negative serials too (-1.999999999 is 29 Dec 1899
  // at 23:59:59.9999, so 30 Dec 1899).
  EXPECT_EQ(Value::Double(37230.999999999).ToDate(), D(2001, 12, 6));
  EXPECT_EQ(Value::Double(-1.999999999).ToDate(), D(1899, 12, 30));
  EXPECT_EQ(Value::Double(-0.999999999).ToDate(), D(1899, 12, 31));
}

TEST(ValueDate, RejectsTextThatIsNotADate) {
  for (const char* bad : {"", "abc", "2001-13-45", "2001-2-29", "1900-2-29", "01-12-5",
                          "2001-12", "2001-12-5 25:00", "2001-12-5 12:5", "2001-12-5 12:30:60",
                          "2001-12/5", "2001-12-5x", "0099-12-31", "2001-012-5"}) {
    EXPECT_THROW(Value::Text(bad).ToDate(), Error) << bad;
  }
  EXPECT_THROW(Value::Null().ToDate(), Error);
  EXPECT_THROW(Value::Double(1e9).ToDate(), Error);
  try {
    Value::Text("2001-13-45").ToDate();
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot read '2001-13-45' as a date");
  }
}

TEST(DateTimeSteps, MonthStepsClampAndKeepTime) {
  EXPECT_EQ(D(2002, 1, 31).AddMonths(-1), D(2001, 12, 31));
  EXPECT_EQ(D(2002, 1, 31).AddMonths(1), D(2002, 2, 28));
  EXPECT_EQ(D(2004, 1, 31).AddMonths(1), D(2004, 2, 29));
  EXPECT_EQ(D(2000, 2, 29).AddMonths(12), D(2001, 2, 28));
  EXPECT_EQ(D(2000, 2, 29).AddMonths(48), D(2004, 2, 29));
  EXPECT_EQ(D(2001, 3, 31, 8, 15).AddMonths(-1), D(2001, 2, 28, 8, 15));
  EXPECT_EQ(D(2001, 12, 15).AddMonths(1), D(2002, 1, 15));
  EXPECT_EQ(D(2002, 1, 15).AddMonths(-13), D(2000, 12, 15));
  EXPECT_THROW(D(9999, 12, 1).AddMonths(1), Error);
  EXPECT_THROW(D(100, 1, 1).AddMonths(-1), Error);
}

TEST(DateTimeSteps, DayStepsAndWeekdays) {
  EXPECT_EQ(D(2001, 12, 29, 14, 30).AddDays(7), D(2002, 1, 5, 14, 30));
  EXPECT_EQ(D(2000, 3, 1).AddDays(-1), D(2000, 2, 29));
  EXPECT_EQ(DateTime().weekday(), 7);        // Saturday
  EXPECT_EQ(D(2001, 12, 3).weekday(), 2);    // Monday
  EXPECT_EQ(D(2001, 12, 2).weekday(), 1);    // Sunday
  EXPECT_EQ(D(1899, 12, 25).weekday(), 2);   // before the zero date
  EXPECT_EQ(D(100, 1, 1).weekday(), D(100, 1, 8).weekday());
  EXPECT_THROW(D(9999, 12, 31).AddDays(1), Error);
}

TEST(Html, EscapesTheFiveCharacters) {
  EXPECT_EQ(EscapeHtml("<script>alert('x&y')</script>\""),
            "&lt;script&gt;alert(&#39;x&amp;y&#39;)&lt;/script&gt;&quot;");
  EXPECT_EQ(EscapeHtml("北京 plain text"), "北京 plain text");
}

TEST(Html, ControlCharactersAreReplacedNeverWritten) {
  using namespace std::string_literals;
  EXPECT_EQ(EscapeHtml("a\0b\x1b[31m\x7f|\xc2\x85|\xc2\x9f|\t|\r\n"s),
            "a\uFFFDb\uFFFD[31m\uFFFD|\uFFFD|\uFFFD|\t|  ");
  // Characters near them are ordinary text: no-break space, é, U+2028.
  EXPECT_EQ(EscapeHtml("\xc2\xa0 \xc3\xa9 \xe2\x80\xa8 \xc2"),
            "\xc2\xa0 \xc3\xa9 \xe2\x80\xa8 \xc2");
  EXPECT_TRUE(HasControlCharacter("x\ny"));
  EXPECT_TRUE(HasControlCharacter("\xc2\x80"));
  EXPECT_FALSE(HasControlCharacter("tab\tis fine 北京"));
}

}  // namespace
}  // namespace ostrand
