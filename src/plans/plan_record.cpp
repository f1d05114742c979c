#include "plans/plan_record.h"

#include <cmath>

#include "core/error.h"
#include "core/text.h"
#include "plans/plan_select.h"
#include "plans/sql_values.h"
#include "store/plan_flags.h"

namespace ostrand::plans {
namespace {

std::optional<std::int64_t> WholeNumber(const Value& v) {
  if (v.is_null() || v.is_empty() || !v.ReadsAsNumber()) return std::nullopt;
  const double n = v.ToNumber();
  if (n != std::floor(n) || std::fabs(n) > 9.0e15) return std::nullopt;
  return static_cast<std::int64_t>(n);
}

DateTime PlanTime(const store::RecordSet& rs, std::string_view column, std::int64_t id) {
  const Value& v = rs.Field(column);
  const bool reads = !v.is_null() && !v.is_empty() && v.ReadsAsDate();
  return RequirePlanTime(reads ? std::optional<DateTime>(v.ToDate()) : std::nullopt, id, column,
                         reads ? std::string() : v.ToText());
}

}  // namespace

DateTime RequirePlanTime(const std::optional<DateTime>& read, std::int64_t plan_id,
                         std::string_view column, std::string_view stored) {
  if (read) return *read;
  throw Error("plan " + std::to_string(plan_id) + " has no " + std::string(column) + " date ('" +
              std::string(stored) + "')");
}

std::vector<PlanRecord> LoadPlans(store::QuerySource& db, const Value& personID,
                                  const DateTime& first, const DateTime& last, PlanSet which) {
  std::string sql = PeriodPlanSql(IdForSql(personID, "person id"), first.DateOnly().ToText(),
                                  last.DateOnly().ToText());
  if (which == PlanSet::kShared) sql += " and planFlagID=1";
  sql += " order by planStartTime, planID";

  store::RecordSet rs = db.Query(sql);
  std::vector<PlanRecord> plans;
  plans.reserve(rs.row_count());
  for (; !rs.Eof(); rs.MoveNext()) {
    PlanRecord plan;
    plan.id = WholeNumber(rs.Field("planID")).value_or(0);
    plan.start = PlanTime(rs, "planStartTime", plan.id);
    plan.end = PlanTime(rs, "planEndTime", plan.id);
    plan.kind_id = WholeNumber(rs.Field("Type1ID"));
    plan.kind = TrimBlanks(rs.Field("Type1").ToText());
    plan.place = TrimBlanks(rs.Field("Type2").ToText());
    plan.detail = rs.Field("planAddrDetail").ToText();
    plan.content = rs.Field("planContent").ToText();
    plan.addition = rs.Field("planAddition").ToText();
    plan.shared = WholeNumber(rs.Field("planFlagID")) == store::kSharedPlanFlag;
    plans.push_back(std::move(plan));
  }
  return plans;
}

std::optional<std::string> LoadPersonName(store::QuerySource& db, const Value& personID) {
  const store::RecordSet rs =
      db.Query("select personName from person where personID=" + IdForSql(personID, "person id"));
  if (rs.Eof()) return std::nullopt;
  return rs.Field(std::size_t{0}).ToText();
}

}  // namespace ostrand::plans
