// The tables of the schedule database and their keys: the five the
// component reads and the web host's own (accounts, settings, tokens, the
// record of plan changes, holidays, deleted plans, administrators, retired
// persons, department names, duty order, sessions, the audit log, identities,
// second factors, recovery codes, sign-ins under way). The schema
// scripts in db/ create them; the checks and the demo writer name them from
// here.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace ostrand::store {

struct ScheduleTable {
  std::string_view name;
  std::string_view key;  // the primary key column
};

// In the order a writer fills them (a plan's person, place and kind first).
inline constexpr std::array<ScheduleTable, 21> kScheduleTables = {{
    {"personDuty", "dutyID"},
    {"person", "personID"},
    {"planAddrType", "planAddrTypeID"},
    {"planAddr", "planAddrID"},
    {"personPlan", "planID"},
    {"hostAccount", "personID"},
    {"hostSetting", "name"},
    {"hostToken", "tokenHash"},
    {"hostPlanChange", "planID"},
    {"hostHoliday", "holidayDate"},
    {"hostDeletedPlan", "deletedID"},
    {"hostAdmin", "personID"},
    {"hostRetiredPerson", "personID"},
    {"hostDepartment", "systemID"},
    {"hostDuty", "dutyID"},
    {"hostSession", "sessionKey"},
    {"hostAudit", "auditID"},
    {"hostIdentity", "identityKey"},
    {"hostSecondFactor", "personID"},
    {"hostRecoveryCode", "codeHash"},
    {"hostSignInState", "stateHash"},
}};

// The five tables the component reads: the first five.
inline constexpr std::size_t kComponentTableCount = 5;

// The key column of the table of that name (compared without regard to
// ASCII case), or nothing when it is no schedule table.
std::optional<std::string_view> KeyColumnOf(std::string_view table);

}  // namespace ostrand::store
