// The host's plan columns, in one place: the column list and joins every
// host query of plans selects (the editor, the deleted plans, the
// department's tables) and the reader of its rows, and the columns the host
// writes and keeps of a deleted plan. A plan column is added here (PlanInput,
// StoredPlan and the functions below); plan_repository.cpp only composes
// these. The component's own plan texts are plans/plan_select.h.
//
// Reading keeps what is stored: a time that reads as no date keeps its text
// (the editor shows it, so that it can be corrected or deleted). Where a
// plan is needed with its dates, DatesOf asks for them and throws as the
// component's plan reader does (plans::RequirePlanTime).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "store/dialect.h"
#include "store/plan_flags.h"
#include "store/record_set.h"
#include "store/sql_param.h"

namespace ostrand::web {

// What the host writes of a plan (the editor, import-plans).
struct PlanInput {
  DateTime start;
  DateTime end;
  std::int64_t kind_id = 0;
  std::int64_t place_id = 0;
  std::optional<std::string> detail;
  std::optional<std::string> content;
  std::optional<std::string> addition;
  std::int64_t flag = store::kSharedPlanFlag;
};

// A plan as stored. Times that do not read as dates keep only their text.
struct StoredPlan {
  std::int64_t id = 0;
  std::string start_text;
  std::string end_text;
  std::optional<DateTime> start;
  std::optional<DateTime> end;
  std::optional<std::int64_t> kind_id;
  std::optional<std::int64_t> place_id;
  std::string kind_name;   // empty when the kind is unknown
  std::string place_name;  // empty when the place is unknown
  std::optional<std::string> detail;
  std::optional<std::string> content;
  std::optional<std::string> addition;
  std::optional<std::int64_t> flag;
  std::int64_t person_id = 0;
};

// "SELECT <the plan columns> FROM <table> LEFT JOIN <kind> LEFT JOIN
// <place> ", ready for its WHERE. `table` is personPlan, or hostDeletedPlan,
// whose entry id and time follow the plan columns (ReadDeletedEntry).
std::string PlanSelect(store::Engine engine, std::string_view table = "personPlan");

// One row of a PlanSelect. Throws Error naming the column when an id holds
// no whole number (or the plan's or person's id is NULL).
StoredPlan ReadPlan(const store::RecordSet& row);
// Every row of a PlanSelect, in their order. Throws as ReadPlan.
std::vector<StoredPlan> ReadPlans(store::RecordSet rows);

// The plan's start and end. Throws Error naming the plan and the stored
// text when either reads as no date, as plans::LoadPlans does.
struct PlanDates {
  DateTime start;
  DateTime end;
};
PlanDates DatesOf(const StoredPlan& plan);

// The plan's values in the order of the columns of InsertPlanSql and
// UpdatePlanSql (the person's and plan's ids follow them there).
std::vector<store::SqlParam> PlanValues(const PlanInput& plan);
// "INSERT INTO personPlan (<written columns>, personID) VALUES (?, ...)".
std::string InsertPlanSql();
// "UPDATE personPlan SET <written columns> = ? ... WHERE personID = ? AND
// planID = ?".
std::string UpdatePlanSql();
// The columns a deleted plan keeps besides its id, alike in personPlan and
// hostDeletedPlan.
inline constexpr std::string_view kKeptPlanColumns =
    "personID, planStartTime, planEndTime, planAddrTypeID, planAddrID, planAddrDetail, "
    "planTypeID, planContent, planAddition, planFlagID";

// The entry id and deletion time of a hostDeletedPlan row of PlanSelect;
// no time when the stored one reads as no date. Throws as ReadPlan.
std::int64_t ReadDeletedId(const store::RecordSet& row);
std::optional<DateTime> ReadDeletedAt(const store::RecordSet& row);

}  // namespace ostrand::web
