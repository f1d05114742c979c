#include "plans/person_name.h"

#include <string_view>

#include "core/html.h"
#include "plans/sql_values.h"

namespace ostrand::plans {
namespace {

constexpr std::string_view kNameSelect =
    "select personName,personDuty.dutyName from person,personDuty where person.dutyID = "
    "personDuty.dutyID AND personID=";
constexpr std::string_view kUnnamed = "未名";

}  // namespace

std::string GetName(store::QuerySource& db, const Value& pID) {
  std::string sql(kNameSelect);
  sql += IdForSql(pID, "person id");

  const store::RecordSet rs = db.Query(sql);
  if (rs.Eof()) return std::string(kUnnamed);
  // Read by position: the first row's name and duty.
  std::string out = EscapeHtml(rs.Field(std::size_t{0}).ToText());
  out += '-';
  AppendEscapedHtml(out, rs.Field(std::size_t{1}).ToText());
  return out;
}

}  // namespace ostrand::plans
