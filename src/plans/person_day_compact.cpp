#include "plans/person_day_compact.h"

#include <string_view>

#include "core/html.h"
#include "core/text.h"
#include "plans/day_query.h"
#include "plans/place_kind.h"
#include "plans/sql_values.h"

namespace ostrand::plans {
namespace {

std::string_view CompactClass(int kind) {
  switch (kind) {
    case 2:
      return "Beijing";
    case 3:
      return "Outside";
    case 4:
      return "Aboad";
    default:
      return "Office";
  }
}

}  // namespace

std::string GetPersonDay2(store::QuerySource& db, const Value& dt, const Value& personID) {
  const std::string id = IdForSql(personID, "person id");
  const std::string day = DateForSql(dt, "date");

  std::string sql = DayPlanSql(id, day);
  sql += " and planFlagID=1";
  sql += " Order by planstartTime ";

  store::RecordSet rs = db.Query(sql);
  std::string_view css;
  std::string title;
  for (int n = 1; !rs.Eof(); ++n, rs.MoveNext()) {
    css = CompactClass(PlaceKind(rs.Field("Type1ID")));
    title += std::to_string(n);
    title += '.';
    AppendEscapedHtml(title, TrimBlanks(rs.Field("Type1").ToText()));
    title += ':';
    AppendEscapedHtml(title, TrimBlanks(rs.Field("Type2").ToText()));
  }

  std::string out;
  out.reserve(title.size() + 64);
  out += "<span class=";
  out += css;
  out += " title='";
  out += title;
  out += "'>&nbsp;&nbsp;</span>";
  return out;
}

}  // namespace ostrand::plans
