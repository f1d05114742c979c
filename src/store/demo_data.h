// Demo data for the schedule tables: three systems (departments) of about
// forty persons with Chinese names and duties, the four kinds of place and a
// dozen places, and plans over the current year and the next. The generator
// is a pure function of a seed and today's date, so the same seed on the same
// year gives the same rows on every machine and library version.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/date.h"
#include "store/plan_flags.h"

namespace ostrand::store {

// A row of personDuty. A smaller id is a more senior duty: leader lists order
// by dutyID.
struct DemoDuty {
  std::int64_t id;
  std::string name;

  friend bool operator==(const DemoDuty&, const DemoDuty&) = default;
};

// A department's name, which the web host keeps (hostDepartment).
struct DemoDepartment {
  std::int64_t id;
  std::string name;

  friend bool operator==(const DemoDepartment&, const DemoDepartment&) = default;
};

// A row of person.
struct DemoPerson {
  std::int64_t id;
  std::string name;
  std::int64_t duty_id;
  std::int64_t system_id;

  friend bool operator==(const DemoPerson&, const DemoPerson&) = default;
};

// A row of planAddrType: 1 本单位, 2 北京, 3 京外, 4 国外.
struct DemoPlaceKind {
  std::int64_t id;
  std::string name;

  friend bool operator==(const DemoPlaceKind&, const DemoPlaceKind&) = default;
};

// A row of planAddr; kind_id names its planAddrType.
struct DemoPlace {
  std::int64_t id;
  std::string name;
  std::int64_t kind_id;

  friend bool operator==(const DemoPlace&, const DemoPlace&) = default;
};

// A row of personPlan. kind_id always equals the kind of place_id. An empty
// detail or addition is stored as NULL. flag_id is kSharedPlanFlag or
// kPrivatePlanFlag.
struct DemoPlan {
  std::int64_t id;
  std::int64_t person_id;
  DateTime start;
  DateTime end;  // after start
  std::int64_t kind_id;
  std::int64_t place_id;
  std::string detail;
  std::int64_t type_id;
  std::string content;
  std::string addition;
  std::int64_t flag_id;

  friend bool operator==(const DemoPlan&, const DemoPlan&) = default;
};

// Duties 1 to 3 (局长, 副局长, 处长) lead: their holders are the ones a host
// lets see the leader summaries.
inline constexpr std::int64_t kLastLeadingDuty = 3;
inline bool IsLeadingDuty(std::int64_t duty_id) {
  return duty_id >= 1 && duty_id <= kLastLeadingDuty;
}

// Every row of the demo database, in the order it is written.
struct DemoData {
  std::vector<DemoDuty> duties;
  std::vector<DemoDepartment> departments;  // the systems the persons belong to
  std::vector<DemoPerson> persons;
  std::vector<DemoPlaceKind> place_kinds;
  std::vector<DemoPlace> places;
  std::vector<DemoPlan> plans;
  // The person a host offers as its demo sign-in: person 1, the 局长 of
  // system 1, who sees both his or her own plans and the leader summaries.
  std::int64_t demo_account = 0;

  friend bool operator==(const DemoData&, const DemoData&) = default;
};

// The demo rows for `seed`. Plans cover the year of `today` and the next one
// (today's month and day are not used), with three to five plans starting in
// each month of each person: meetings on working days and trips of several
// days that never overlap for one person, some crossing a month end and some the year
// end, about a quarter of them private. Every month of the demo account
// holds at least one shared and one private plan. Throws Error when `today`
// lies so late that the plans would leave the calendar.
DemoData GenerateDemoData(std::uint64_t seed, const DateTime& today);

// The ids of every demo person: the hook through which a host gives the demo
// persons a sign-in.
std::vector<std::int64_t> DemoPersonIds(const DemoData& data);

// The person row of the demo account. Throws Error when the data has no such
// person.
const DemoPerson& DemoAccount(const DemoData& data);

}  // namespace ostrand::store
