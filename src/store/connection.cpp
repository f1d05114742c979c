#include "store/connection.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "core/error.h"
#include "core/text.h"
#include "store/database_error.h"
#include "store/literal_lifting.h"
#include "store/sql_lexer.h"

namespace ostrand::store {

const Connection::ComponentQuery& Connection::Prepared(const std::string& tsql) {
  if (const auto found = prepared_.find(tsql); found != prepared_.end()) return found->second;
  LiftedQuery lifted = LiftLiterals(tsql);
  std::shared_ptr<const std::string> sql;
  if (const auto found = translated_.find(lifted.shape); found != translated_.end()) {
    sql = found->second;
  } else {
    sql = std::make_shared<const std::string>(
        TranslateTsql(lifted.shape, engine(), has_day_start_function()));
    if (translated_.size() >= kStatementCacheSize) translated_.clear();
    translated_.emplace(std::move(lifted.shape), sql);
  }
  if (prepared_.size() >= kComponentTextCacheSize) prepared_.clear();
  return prepared_.emplace(tsql, ComponentQuery{std::move(sql), std::move(lifted.params)})
      .first->second;
}

std::int64_t Connection::InsertReturningId(std::string_view insert_sql,
                                           std::span<const SqlParam> params,
                                           std::string_view id_column) {
  std::string sql(insert_sql);
  if (engine() == Engine::kSqlServer) {
    // T-SQL names the output between the column list and VALUES.
    std::size_t values = std::string::npos;
    for (const SqlToken& t : TokenizeSql(sql)) {
      if (t.kind == SqlTokenKind::kIdentifier && EqualsNoCase(t.text, "values")) {
        values = static_cast<std::size_t>(t.text.data() - sql.data());
        break;
      }
    }
    if (values == std::string::npos) {
      throw Error("no VALUES in insert '" + sql + "'");
    }
    sql.insert(values, "OUTPUT INSERTED." + std::string(id_column) + " ");
  } else {
    sql += " RETURNING ";
    sql += id_column;
  }
  RecordSet rows = Query(sql, params);
  if (rows.Eof()) {
    throw DatabaseError::Statement("the insert returned no " + std::string(id_column), sql);
  }
  const std::optional<std::int64_t> id = ExactInteger(rows.Field(std::size_t{0}));
  if (!id) {
    throw DatabaseError::Statement(
        "the insert returned " + rows.Field(std::size_t{0}).ToText() + " as its id", sql);
  }
  return *id;
}

Value IntegerValue(std::int64_t i) {
  if (i >= std::numeric_limits<std::int32_t>::min() &&
      i <= std::numeric_limits<std::int32_t>::max()) {
    return Value::Int32(static_cast<std::int32_t>(i));
  }
  constexpr std::int64_t kFifteenDigits = 999'999'999'999'999;
  if (i >= -kFifteenDigits && i <= kFifteenDigits) return Value::Double(static_cast<double>(i));
  return Value::Text(std::to_string(i));
}

std::optional<std::int64_t> ExactInteger(const Value& value) {
  switch (value.kind()) {
    case Kind::kInt16:
    case Kind::kInt32:
      return static_cast<std::int64_t>(value.ToNumber());
    case Kind::kDouble: {
      const double d = value.ToNumber();
      if (std::trunc(d) != d || std::fabs(d) > 9.007199254740992e15) return std::nullopt;
      return static_cast<std::int64_t>(d);
    }
    case Kind::kText: {
      const std::string& text = value.text();
      std::int64_t i = 0;
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), i);
      if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
      }
      return i;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace ostrand::store
