// Late binding of Schedulers: the member table, lookup, invoke and creation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component/member_table.h"
#include "core/error.h"
#include "test_support.h"

namespace ostrand {
namespace {

// The message of the Error that `action` throws; "(no error)" when none.
template <typename F>
std::string ErrorOf(F&& action) {
  return test_support::ErrorOf(action, "(no error)");
}

TEST(ComponentMemberTable, RowsInInterfaceOrderWithTheirDispatchIds) {
  struct Row {
    const char* name;
    DispId dispid;
  };
  const Row expected[] = {
      {"strURL", 0x40030008},
      {"strURL", 0x40030008},
      {"openDB", 0x60030000},
      {"Init", 0x60030002},
      {"OnStartPage", 0x60030003},
      {"OnEndPage", 0x60030004},
      {"DebugMode", 0x60030005},
      {"SetDispStyle", 0x60030007},
      {"GetPersonDay", 0x60030008},
      {"GetPersonDay2", 0x60030009},
      {"DispLeaderMonthContent", 0x6003000a},
      {"DispLeaderWeekContent", 0x6003000b},
      {"DispPersonMonth", 0x6003000c},
      {"DispPersonWeek", 0x6003000d},
      {"GetName", 0x6003000e},
      {"DispMonthSelect", 0x6003000f},
      {"DispWeekSelect", 0x60030010},
      {"DispSwitch", 0x60030011},
      {"DispMonthHeader", 0x60030012},
      {"DispLeaderWeekHeader", 0x60030013},
      {"DispLeaderMonthHeader", 0x60030014},
      {"DispMonth", 0x60030015},
      {"DispLeaderWeek", 0x60030016},
      {"DispLeaderMonth", 0x60030017},
      {"DispWeek", 0x60030018},
      {"DispMonthContent", 0x60030019},
      {"GetFirstMonday", 0x6003001a},
      {"CountWeek", 0x6003001b},
      {"GetPrevMonday", 0x6003001c},
      {"DispScript", 0x6003001d},
  };
  const auto members = Members();
  ASSERT_EQ(members.size(), std::size(expected));
  for (std::size_t i = 0; i < members.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(members[i].name, expected[i].name);
    EXPECT_EQ(members[i].dispid, expected[i].dispid);
  }
  EXPECT_EQ(members[0].invoke, InvokeKind::kPropertyGet);
  EXPECT_EQ(members[0].result, ResultKind::kText);
  EXPECT_EQ(members[1].invoke, InvokeKind::kPropertyPut);
  EXPECT_EQ(members[1].result, ResultKind::kNone);
  for (std::size_t i = 2; i < members.size(); ++i) {
    EXPECT_EQ(members[i].invoke, InvokeKind::kMethod) << members[i].name;
  }
}

TEST(ComponentMemberTable, ParametersAndResults) {
  auto params = [](std::string_view name, InvokeKind kind = InvokeKind::kMethod) {
    std::vector<std::pair<std::string, bool>> out;
    const Member* m = FindMember(name, kind);
    if (m == nullptr) return out;
    for (const Parameter& p : m->parameters) out.emplace_back(std::string(p.name), p.by_ref);
    return out;
  };
  using V = std::vector<std::pair<std::string, bool>>;
  EXPECT_EQ(params("strURL", InvokeKind::kPropertyGet), V{});
  EXPECT_EQ(params("strURL", InvokeKind::kPropertyPut).size(), 1u);
  EXPECT_FALSE(params("strURL", InvokeKind::kPropertyPut).at(0).second);
  EXPECT_EQ(params("Init"), (V{{"ConnStr", true}}));
  EXPECT_EQ(params("OnStartPage"), (V{{"sc", true}}));
  EXPECT_EQ(params("DispSwitch"), (V{{"dtDate", true}, {"pID", true}, {"strWhich", true}}));
  EXPECT_EQ(params("GetPersonDay"), (V{{"dt", true}, {"personID", true}}));
  EXPECT_EQ(params("DispLeaderMonth"), (V{{"dtDate", true}, {"strCond", true}}));
  for (const char* by_value : {"DispLeaderWeekHeader", "DispLeaderMonthHeader", "GetFirstMonday",
                               "CountWeek", "GetPrevMonday"}) {
    EXPECT_EQ(params(by_value), (V{{"dtDate", false}})) << by_value;
  }
  for (const char* none : {"openDB", "Init", "DebugMode", "SetDispStyle"}) {
    EXPECT_EQ(FindMember(none)->result, ResultKind::kNone) << none;
  }
  EXPECT_EQ(FindMember("OnEndPage")->result, ResultKind::kVariant);
  EXPECT_EQ(FindMember("DispScript")->result, ResultKind::kVariant);
}

TEST(ComponentMemberTable, LookupIgnoresCaseAndSkipsThePrivateMembers) {
  EXPECT_EQ(FindMember("getprevmonday"), FindMember(0x6003001c));
  EXPECT_EQ(FindMember("DISPLEADERWEEK")->dispid, 0x60030016u);
  EXPECT_EQ(FindMember("strurl", InvokeKind::kPropertyPut), &Members()[1]);
  EXPECT_EQ(FindMember(0x40030008, InvokeKind::kPropertyGet), &Members()[0]);
  // The property is no method, the methods no property.
  EXPECT_EQ(FindMember("strURL"), nullptr);
  EXPECT_EQ(FindMember(0x6003001c, InvokeKind::kPropertyGet), nullptr);
  // CloseDB and DebugPrint hold 0x60030001 and 0x60030006 but are private.
  for (const char* hidden : {"CloseDB", "DebugPrint"}) EXPECT_EQ(FindMember(hidden), nullptr);
  for (DispId unused : {0x60030001u, 0x60030006u, 0x6003001eu}) {
    EXPECT_EQ(FindMember(unused), nullptr) << std::hex << unused;
  }
  EXPECT_EQ(FindMember("GetPrevMonday "), nullptr);
}

TEST(ComponentMemberTable, InvokeByNameAndById) {
  Schedulers object;
  const Value wednesday = Value::Text("2001-12-12 14:30");
  const Value by_name = InvokeByName(object, "getPREVmonday", std::span(&wednesday, 1));
  EXPECT_EQ(by_name.ToText(), "2001-12-10 14:30:00");
  EXPECT_EQ(InvokeById(object, 0x6003001c, InvokeKind::kMethod, std::span(&wednesday, 1)), by_name);
  EXPECT_EQ(InvokeByName(object, "CountWeek", std::span(&wednesday, 1)), Value::Int16(3));
  EXPECT_EQ(InvokeByName(object, "GetFirstMonday", std::span(&wednesday, 1)).kind(), Kind::kDate);

  // strURL: no argument reads the property, one argument writes it.
  const Value url = Value::Text("/p.asp");
  EXPECT_EQ(InvokeByName(object, "StrUrl", std::span(&url, 1)), Value());
  EXPECT_EQ(InvokeByName(object, "strURL", {}), url);
  const Value other = Value::Text("/q.asp");
  InvokeById(object, 0x40030008, InvokeKind::kPropertyPut, std::span(&other, 1));
  EXPECT_EQ(InvokeById(object, 0x40030008, InvokeKind::kPropertyGet, {}), other);
}

TEST(ComponentMemberTable, InvokeErrorsNameTheProblem) {
  Schedulers object;
  EXPECT_EQ(ErrorOf([&] { InvokeByName(object, "CloseDB", {}); }), "unknown member 'CloseDB'");
  EXPECT_EQ(ErrorOf([&] { InvokeByName(object, "DebugPrint", {}); }),
            "unknown member 'DebugPrint'");
  EXPECT_EQ(ErrorOf([&] { InvokeById(object, 0x60030006, InvokeKind::kMethod, {}); }),
            "unknown dispatch id 0x60030006");

  const Value two[] = {Value::Text("2001-12-12"), Value::Text("x")};
  EXPECT_EQ(ErrorOf([&] { InvokeByName(object, "GetPrevMonday", two); }),
            "GetPrevMonday takes 1 argument, not 2");
  EXPECT_EQ(ErrorOf([&] { InvokeByName(object, "DispSwitch", std::span(two, 1)); }),
            "DispSwitch takes 3 arguments, not 1");
  EXPECT_EQ(ErrorOf([&] { InvokeByName(object, "strURL", two); }),
            "strURL takes 1 argument, not 2");
  EXPECT_EQ(object.strURL(), Value::Text(""));
}

TEST(ComponentMemberTable, CreateObjectByProgrammaticName) {
  EXPECT_NE(CreateObject("ostrandSchedulerS.Schedulers"), nullptr);
  EXPECT_NE(CreateObject("OSTRANDSCHEDULERS.SCHEDULERS"), nullptr);
  EXPECT_EQ(ErrorOf([] { CreateObject("ostrandSchedulers.Scheduler"); }),
            "unknown class 'ostrandSchedulers.Scheduler'");
  EXPECT_NE(ErrorOf([] { CreateObject(""); }), "(no error)");
}

}  // namespace
}  // namespace ostrand
