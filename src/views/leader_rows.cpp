#include "views/leader_rows.h"

#include "core/error.h"
#include "core/html.h"
#include "core/text.h"
#include "plans/leader_list.h"
#include "plans/sql_values.h"

namespace ostrand::views {

std::string PersonListSql(std::string_view system_id, std::string_view condition) {
  constexpr std::string_view kSelect =
      " select person.personID,person.personName,person.dutyID,personDuty.dutyName from ";
  constexpr std::string_view kOrder = " order by person.dutyID ";
  std::string sql;
  sql.reserve(kSelect.size() + system_id.size() + condition.size() + kOrder.size() + 96);
  sql += kSelect;
  sql += plans::LeaderListFrom(system_id, condition);
  sql += kOrder;
  return sql;
}

void ForEachListedPerson(store::QuerySource& db, const Value& systemID, const Value& strCond,
                         const std::function<void(const Value& id, const Value& name)>& each) {
  const std::string system_id = plans::IdForSql(systemID, "system id");
  const std::string condition = strCond.ToText();
  // An empty condition would leave "and" dangling in the SQL; say so plainly
  // instead of passing on the database's syntax error.
  if (TrimBlanks(condition).empty()) {
    throw Error(
        "empty person condition (strCond): the page must give an SQL condition such as 1=1");
  }

  store::RecordSet persons = db.Query(PersonListSql(system_id, condition));
  for (; !persons.Eof(); persons.MoveNext()) {
    each(persons.Field(std::size_t{0}), persons.Field(std::size_t{1}));
  }
}

std::string DispLeaderRows(store::QuerySource& db, const Value& systemID, const Value& strCond,
                           const PersonCells& cells) {
  std::string out;
  ForEachListedPerson(db, systemID, strCond, [&](const Value& id, const Value& name) {
    const std::string row_cells = cells(id);
    if (out.empty()) out.reserve(row_cells.size() * 48);
    AppendLeaderRow(out, name, row_cells);
  });
  return out;
}

void AppendLeaderRowStart(std::string& out, const Value& name) {
  out += "<tr><td class=td2 nowrap>";
  if (name.is_text()) {
    AppendEscapedHtml(out, name.text());
  } else {
    AppendEscapedHtml(out, name.ToText());
  }
  out += "</td>";
}

void AppendLeaderRow(std::string& out, const Value& name, std::string_view cells) {
  AppendLeaderRowStart(out, name);
  out += cells;
  out += kLeaderRowEnd;
}

}  // namespace ostrand::views
