#include "plans/person_day.h"

#include "core/html.h"
#include "core/text.h"
#include "plans/day_query.h"
#include "plans/place_kind.h"
#include "plans/sql_values.h"

namespace ostrand::plans {

std::string GetPersonDay(store::QuerySource& db, const Value& dt, const Value& personID,
                         const Value& viewerID) {
  const std::string id = IdForSql(personID, "person id");
  const std::string day = DateForSql(dt, "date");
  const bool own = SameWholeNumber(personID, viewerID);

  std::string sql = DayPlanSql(id, day);
  if (!own) sql += " and planFlagID=1";
  sql += " Order by planstartTime ";

  store::RecordSet rs = db.Query(sql);
  std::string out;
  out.reserve(rs.row_count() * 128);
  for (int n = 1; !rs.Eof(); ++n, rs.MoveNext()) {
    out += "<span class=sch";
    out += std::to_string(PlaceKind(rs.Field("Type1ID")));
    out += " style='width:100%;'> ";
    out += std::to_string(n);
    out += '.';
    AppendEscapedHtml(out, TrimBlanks(rs.Field("Type2").ToText()));
    if (own) {
      AppendEscapedHtml(out, rs.Field("planAddrDetail").ToText());
      out += ':';
      AppendEscapedHtml(out, rs.Field("planContent").ToText());
      AppendEscapedHtml(out, rs.Field("planAddition").ToText());
    }
    out += "&nbsp;</span>||";
  }
  return out;
}

}  // namespace ostrand::plans
