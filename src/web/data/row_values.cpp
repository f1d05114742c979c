#include "web/data/row_values.h"

#include "core/error.h"
#include "store/connection.h"
#include "store/sql_param.h"

namespace ostrand::web {

std::optional<std::int64_t> OptionalInt(const store::RecordSet& row, std::size_t column) {
  const Value& value = row.Field(column);
  if (value.is_null()) return std::nullopt;
  if (const std::optional<std::int64_t> i = store::ExactInteger(value)) return i;
  throw Error("column '" + row.columns()[column] + "' holds '" + value.ToText() +
              "', which is no whole number");
}

std::int64_t Int(const store::RecordSet& row, std::size_t column) {
  if (const std::optional<std::int64_t> i = OptionalInt(row, column)) return *i;
  throw Error("column '" + row.columns()[column] + "' is empty");
}

std::string Text(const store::RecordSet& row, std::size_t column) {
  const Value& value = row.Field(column);
  if (value.is_date()) return store::StorageDateTimeText(value.date());
  return value.ToText();
}

std::optional<std::string> OptionalText(const store::RecordSet& row, std::size_t column) {
  if (row.Field(column).is_null()) return std::nullopt;
  return Text(row, column);
}

}  // namespace ostrand::web
