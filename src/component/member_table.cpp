#include "component/member_table.h"

#include <array>
#include <cstdio>

#include "core/error.h"
#include "core/text.h"

namespace ostrand {
namespace {

using P = Parameter;
constexpr std::array<P, 0> kNone{};
constexpr std::array<P, 1> kNewValue{{{"value", false}}};
constexpr std::array<P, 1> kConnStr{{{"ConnStr", true}}};
constexpr std::array<P, 1> kSc{{{"sc", true}}};
constexpr std::array<P, 1> kNType{{{"nType", true}}};
constexpr std::array<P, 2> kDtPersonId{{{"dt", true}, {"personID", true}}};
constexpr std::array<P, 2> kDateCond{{{"dtDate", true}, {"strCond", true}}};
constexpr std::array<P, 2> kDatePid{{{"dtDate", true}, {"pID", true}}};
constexpr std::array<P, 1> kPid{{{"pID", true}}};
constexpr std::array<P, 3> kDatePidWhich{{{"dtDate", true}, {"pID", true}, {"strWhich", true}}};
constexpr std::array<P, 1> kDateByValue{{{"dtDate", false}}};

using Args = std::span<const Value>;
constexpr InvokeKind kMethod = InvokeKind::kMethod;

const std::array<Member, 30> kMembers{{
    {"strURL", 0x40030008, InvokeKind::kPropertyGet, kNone, ResultKind::kText,
     [](Schedulers& o, Args) { return o.strURL(); }},
    {"strURL", 0x40030008, InvokeKind::kPropertyPut, kNewValue, ResultKind::kNone,
     [](Schedulers& o, Args a) { o.set_strURL(a[0]); return Value(); }},
    {"openDB", 0x60030000, kMethod, kNone, ResultKind::kNone,
     [](Schedulers& o, Args) { o.openDB(); return Value(); }},
    {"Init", 0x60030002, kMethod, kConnStr, ResultKind::kNone,
     [](Schedulers& o, Args a) { o.Init(a[0]); return Value(); }},
    {"OnStartPage", 0x60030003, kMethod, kSc, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.OnStartPage(a[0]); }},
    {"OnEndPage", 0x60030004, kMethod, kNone, ResultKind::kVariant,
     [](Schedulers& o, Args) { return o.OnEndPage(); }},
    {"DebugMode", 0x60030005, kMethod, kNone, ResultKind::kNone,
     [](Schedulers& o, Args) { o.DebugMode(); return Value(); }},
    {"SetDispStyle", 0x60030007, kMethod, kNType, ResultKind::kNone,
     [](Schedulers& o, Args a) { o.SetDispStyle(a[0]); return Value(); }},
    {"GetPersonDay", 0x60030008, kMethod, kDtPersonId, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.GetPersonDay(a[0], a[1]); }},
    {"GetPersonDay2", 0x60030009, kMethod, kDtPersonId, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.GetPersonDay2(a[0], a[1]); }},
    {"DispLeaderMonthContent", 0x6003000a, kMethod, kDateCond, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispLeaderMonthContent(a[0], a[1]); }},
    {"DispLeaderWeekContent", 0x6003000b, kMethod, kDateCond, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispLeaderWeekContent(a[0], a[1]); }},
    {"DispPersonMonth", 0x6003000c, kMethod, kDatePid, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispPersonMonth(a[0], a[1]); }},
    {"DispPersonWeek", 0x6003000d, kMethod, kDatePid, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispPersonWeek(a[0], a[1]); }},
    {"GetName", 0x6003000e, kMethod, kPid, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.GetName(a[0]); }},
    {"DispMonthSelect", 0x6003000f, kMethod, kDatePid, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispMonthSelect(a[0], a[1]); }},
    {"DispWeekSelect", 0x60030010, kMethod, kDatePid, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispWeekSelect(a[0], a[1]); }},
    {"DispSwitch", 0x60030011, kMethod, kDatePidWhich, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispSwitch(a[0], a[1], a[2]); }},
    {"DispMonthHeader", 0x60030012, kMethod, kNone, ResultKind::kVariant,
     [](Schedulers& o, Args) { return o.DispMonthHeader(); }},
    {"DispLeaderWeekHeader", 0x60030013, kMethod, kDateByValue, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispLeaderWeekHeader(a[0]); }},
    {"DispLeaderMonthHeader", 0x60030014, kMethod, kDateByValue, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispLeaderMonthHeader(a[0]); }},
    {"DispMonth", 0x60030015, kMethod, kDatePid, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispMonth(a[0], a[1]); }},
    {"DispLeaderWeek", 0x60030016, kMethod, kDateCond, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispLeaderWeek(a[0], a[1]); }},
    {"DispLeaderMonth", 0x60030017, kMethod, kDateCond, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispLeaderMonth(a[0], a[1]); }},
    {"DispWeek", 0x60030018, kMethod, kDatePid, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispWeek(a[0], a[1]); }},
    {"DispMonthContent", 0x60030019, kMethod, kDatePid, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispMonthContent(a[0], a[1]); }},
    {"GetFirstMonday", 0x6003001a, kMethod, kDateByValue, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.GetFirstMonday(a[0]); }},
    {"CountWeek", 0x6003001b, kMethod, kDateByValue, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.CountWeek(a[0]); }},
    {"GetPrevMonday", 0x6003001c, kMethod, kDateByValue, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.GetPrevMonday(a[0]); }},
    {"DispScript", 0x6003001d, kMethod, kPid, ResultKind::kVariant,
     [](Schedulers& o, Args a) { return o.DispScript(a[0]); }},
}};

Value Call(const Member& m, Schedulers& object, std::span<const Value> args) {
  if (args.size() != m.parameters.size()) {
    throw Error(std::string(m.name) + " takes " + std::to_string(m.parameters.size()) +
                " argument" + (m.parameters.size() == 1 ? "" : "s") + ", not " +
                std::to_string(args.size()));
  }
  return m.call(object, args);
}

}  // namespace

std::span<const Member> Members() { return kMembers; }

const Member* FindMember(std::string_view name, InvokeKind invoke) {
  for (const Member& m : kMembers) {
    if (m.invoke == invoke && EqualsNoCase(m.name, name)) return &m;
  }
  return nullptr;
}

const Member* FindMember(DispId dispid, InvokeKind invoke) {
  for (const Member& m : kMembers) {
    if (m.invoke == invoke && m.dispid == dispid) return &m;
  }
  return nullptr;
}

Value InvokeByName(Schedulers& object, std::string_view name, std::span<const Value> args) {
  const Member* m = FindMember(name, InvokeKind::kMethod);
  if (m == nullptr) {
    m = FindMember(name, args.empty() ? InvokeKind::kPropertyGet : InvokeKind::kPropertyPut);
  }
  if (m == nullptr) throw Error("unknown member '" + std::string(name) + "'");
  return Call(*m, object, args);
}

Value InvokeById(Schedulers& object, DispId dispid, InvokeKind invoke,
                 std::span<const Value> args) {
  const Member* m = FindMember(dispid, invoke);
  if (m == nullptr) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%08x", dispid);
    throw Error(std::string("unknown dispatch id ") + buf);
  }
  return Call(*m, object, args);
}

std::unique_ptr<Schedulers> CreateObject(std::string_view programmatic_name,
                                         std::shared_ptr<const host::Clock> clock) {
  if (!EqualsNoCase(programmatic_name, kProgrammaticName)) {
    throw Error("unknown class '" + std::string(programmatic_name) + "'");
  }
  return std::make_unique<Schedulers>(std::move(clock));
}

}  // namespace ostrand
