#include "web/data/plan_rows.h"

#include <array>

#include "plans/plan_record.h"
#include "store/engine_sql.h"
#include "store/sql_param.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

// Where the entry's columns start in a hostDeletedPlan row.
constexpr std::size_t kPlanColumnCount = 12;

// The columns the host writes, in the order of PlanValues.
constexpr std::array<std::string_view, 8> kWrittenColumns = {
    "planStartTime",  "planEndTime", "planAddrTypeID", "planAddrID",
    "planAddrDetail", "planContent", "planAddition",   "planFlagID"};

}  // namespace

std::string PlanSelect(store::Engine engine, std::string_view table) {
  const std::string t(table);
  std::string sql = "SELECT " + t + ".planID, " + store::TimeText(engine, t + ".planStartTime") +
                    ", " + store::TimeText(engine, t + ".planEndTime") + ", " + t +
                    ".planAddrTypeID, " + t +
                    ".planAddrID, planAddrType.planAddrTypeName, planAddr.planAddrName, " + t +
                    ".planAddrDetail, " + t + ".planContent, " + t + ".planAddition, " + t +
                    ".planFlagID, " + t + ".personID ";
  if (table == "hostDeletedPlan") {
    sql += ", hostDeletedPlan.deletedID, " + store::TimeText(engine, "hostDeletedPlan.deletedAt") +
           " ";
  }
  sql += "FROM " + t + " LEFT JOIN planAddrType ON planAddrType.planAddrTypeID = " + t +
         ".planAddrTypeID LEFT JOIN planAddr ON planAddr.planAddrID = " + t + ".planAddrID ";
  return sql;
}

StoredPlan ReadPlan(const store::RecordSet& row) {
  StoredPlan plan;
  plan.id = Int(row, 0);
  plan.start_text = Text(row, 1);
  plan.end_text = Text(row, 2);
  plan.start = store::ReadStoredDateTime(plan.start_text);
  plan.end = store::ReadStoredDateTime(plan.end_text);
  plan.kind_id = OptionalInt(row, 3);
  plan.place_id = OptionalInt(row, 4);
  plan.kind_name = Text(row, 5);
  plan.place_name = Text(row, 6);
  plan.detail = OptionalText(row, 7);
  plan.content = OptionalText(row, 8);
  plan.addition = OptionalText(row, 9);
  plan.flag = OptionalInt(row, 10);
  plan.person_id = Int(row, 11);
  return plan;
}

std::vector<StoredPlan> ReadPlans(store::RecordSet rows) {
  std::vector<StoredPlan> plans;
  for (; !rows.Eof(); rows.MoveNext()) plans.push_back(ReadPlan(rows));
  return plans;
}

std::vector<store::SqlParam> PlanValues(const PlanInput& plan) {
  return {store::SqlParam::Timestamp(plan.start),       store::SqlParam::Timestamp(plan.end),
          store::SqlParam::Integer(plan.kind_id),       store::SqlParam::Integer(plan.place_id),
          store::SqlParam::OptionalText(plan.detail),   store::SqlParam::OptionalText(plan.content),
          store::SqlParam::OptionalText(plan.addition), store::SqlParam::Integer(plan.flag)};
}

std::string InsertPlanSql() {
  std::string sql = "INSERT INTO personPlan (";
  std::string values = "VALUES (";
  for (const std::string_view column : kWrittenColumns) {
    sql += column;
    sql += ", ";
    values += "?, ";
  }
  return sql + "personID) " + values + "?)";
}

std::string UpdatePlanSql() {
  std::string sql = "UPDATE personPlan SET ";
  for (std::size_t i = 0; i < kWrittenColumns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += kWrittenColumns[i];
    sql += " = ?";
  }
  return sql + " WHERE personID = ? AND planID = ?";
}

PlanDates DatesOf(const StoredPlan& plan) {
  return {plans::RequirePlanTime(plan.start, plan.id, "planStartTime", plan.start_text),
          plans::RequirePlanTime(plan.end, plan.id, "planEndTime", plan.end_text)};
}

std::int64_t ReadDeletedId(const store::RecordSet& row) { return Int(row, kPlanColumnCount); }

std::optional<DateTime> ReadDeletedAt(const store::RecordSet& row) {
  return store::ReadStoredDateTime(Text(row, kPlanColumnCount + 1));
}

}  // namespace ostrand::web
