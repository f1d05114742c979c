// The view switch: the six view codes, the empty result for anything else,
// the link's stamp and escaping.
#include <string>

#include "navigation_test_page.h"

namespace ostrand::testing_page {
namespace {

// The tab bar of the personal week view for person 12 on 2001-12-5, with
// "rnd" = 7 and the clock at 45296.78.
const std::string kWeekBar =
    "<table width='100%' border='0' cellpadding='0' cellspacing='0'>\r\n"
    "<tr><th nowrap class='td2'><a href='personMonth.asp?personID="
    "12&dt=2001-12-5&t=45296.78& rnd=7'>&nbsp;月计划</a></th>\r\n"
    "<th  class='td2'><img src='../Images/niuban.gif' width='22' height='22'></th>\r\n"
    "<th class='schh' nowrap> &nbsp;周计划</th>\r\n"
    "<th class='schh'><img src='../Images/niuban.gif' width='22' height='22'></th>\r\n"
    "<th width='100%'>&nbsp;</th>\r\n"
    "</tr>\r\n"
    "</table>\r\n";

// The same for the personal month view.
const std::string kMonthBar =
    "<table width='100%' border='0' cellpadding='0' cellspacing='0'>\r\n"
    "<tr><th nowrap class='schh'>&nbsp;月计划</th>\r\n"
    "<th  class='schh'><img src='../Images/niuban.gif' width='22' height='22'></th>\r\n"
    "<th class='td2' nowrap><a href='personWeek.asp?personID="
    "12&dt=2001-12-5&t=45296.78& rnd=7'> &nbsp;周计划</a></th>\r\n"
    "<th class='td2'><img src='../Images/niuban.gif' width='22' height='22'></th>\r\n"
    "<th width='100%'>&nbsp;</th>\r\n"
    "</tr>\r\n"
    "</table>\r\n";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

class NavigationViewSwitch : public FurniturePage {
 protected:
  void SetUp() override { session_->Set("rnd", Value::Int32(7)); }
  Value Switch(const Value& which) {
    return object_->DispSwitch(Value::Text("2001-12-5"), Value::Int32(12), which);
  }
};

TEST_F(NavigationViewSwitch, PersonalWeekAndMonthBarsAreByteExact) {
  Start();
  EXPECT_EQ(Switch(Value::Text("w")), Value::Text(kWeekBar));
  EXPECT_EQ(Switch(Value::Text("m")), Value::Text(kMonthBar));
}

TEST_F(NavigationViewSwitch, LeaderCodesChangeOnlyTheLinkedPageAndTheCurrentCaption) {
  Start();
  const std::string lm = Replaced(Replaced(kMonthBar, "personWeek.asp", "leaderWeek.asp"),
                                  "'schh'>&nbsp;月计划", "'schh'>&nbsp;月汇总");
  EXPECT_EQ(Switch(Value::Text("lm")), Value::Text(lm));
  EXPECT_EQ(Switch(Value::Text("lm2")),
            Value::Text(Replaced(lm, "leaderWeek.asp", "leader2Week.asp")));

  const std::string lw = Replaced(Replaced(kWeekBar, "personMonth.asp", "leaderMonth.asp"),
                                  "nowrap> &nbsp;周计划", "nowrap> &nbsp;周汇总");
  EXPECT_EQ(Switch(Value::Text("lw")), Value::Text(lw));
  EXPECT_EQ(Switch(Value::Text("lw2")),
            Value::Text(Replaced(lw, "leaderMonth.asp", "leader2Month.asp")));
  EXPECT_EQ(session_->reads("rnd"), 4);
}

TEST_F(NavigationViewSwitch, AnyOtherCodeGivesTheEmptyValueAndReadsNothing) {
  clock_ = std::make_shared<SteppingClock>(0.0f);
  Start();
  for (const Value& which : {Value::Text("M"), Value::Text("m "), Value::Text(" w"),
                             Value::Text("LW"), Value::Text("lm3"), Value::Text(""), Value(),
                             Value::Null(), Value::Int32(1), Value::Double(0)}) {
    SCOPED_TRACE(which.ToText());
    const Value result = Switch(which);
    EXPECT_TRUE(result.is_empty()) << KindName(result.kind());
  }
  EXPECT_EQ(session_->reads("rnd"), 0);
  // The clock was not read either: the first link after all this carries 0.
  EXPECT_NE(Switch(Value::Text("m")).text().find("&t=0& rnd=7'"), std::string::npos);

  // Without a page (no session held) an unknown code still is no failure.
  Schedulers bare;
  EXPECT_TRUE(bare.DispSwitch(Value(), Value(), Value::Text("x")).is_empty());
  EXPECT_NE(ErrorOf([&] { bare.DispSwitch(Value(), Value(), Value::Text("w")); }), "(no error)");
}

TEST_F(NavigationViewSwitch, LinkCarriesItsValuesAsTheyCome) {
  Start();
  session_->Set("rnd", Value());
  const std::string bar =
      object_->DispSwitch(Value::Text("next week"), Value(), Value::Text("lw")).text();
  // dtDate goes in unchanged (it need not be a date); an empty pID and a
  // missing "rnd" leave their places empty.
  EXPECT_NE(bar.find("leaderMonth.asp?personID=&dt=next week&t=45296.78& rnd='>&nbsp;月计划"),
            std::string::npos)
      << bar;
}

TEST_F(NavigationViewSwitch, RequestValuesAreEscapedInTheLink) {
  Start();
  session_->Set("rnd", Value::Text("7'><b>"));
  const std::string bar =
      object_->DispSwitch(Value::Text("2001-12-5'<i>"), Value::Text("12&x=1"), Value::Text("m"))
          .text();
  EXPECT_NE(bar.find("personWeek.asp?personID=12&amp;x=1&dt=2001-12-5&#39;&lt;i&gt;&t=45296.78"
                     "& rnd=7&#39;&gt;&lt;b&gt;'> &nbsp;周计划"),
            std::string::npos)
      << bar;
}

}  // namespace
}  // namespace ostrand::testing_page
