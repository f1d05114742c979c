#include "plans/sql_values.h"

#include "core/error.h"

namespace ostrand::plans {
namespace {

std::string Shown(const Value& v) {
  switch (v.kind()) {
    case Kind::kEmpty:
      return "(empty)";
    case Kind::kNull:
      return "(null)";
    case Kind::kObject:
      return "(object)";
    default:
      return v.ToText();
  }
}

}  // namespace

std::string IdForSql(const Value& id, std::string_view what) {
  const bool ok = (id.is_numeric() && id.kind() != Kind::kBool) ||
                  (id.is_text() && id.ReadsAsNumber());
  if (!ok) throw Error("invalid " + std::string(what) + " '" + Shown(id) + "'");
  return id.ToText();
}

std::string DateForSql(const Value& date, std::string_view what) {
  const bool ok = date.is_date() || (date.is_text() && date.ReadsAsDate());
  if (!ok) throw Error("invalid " + std::string(what) + " '" + Shown(date) + "'");
  return date.ToText();
}

}  // namespace ostrand::plans
