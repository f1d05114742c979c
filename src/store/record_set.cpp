#include "store/record_set.h"

#include <utility>

#include "core/error.h"
#include "core/text.h"

namespace ostrand::store {

RecordSet::RecordSet(std::vector<std::string> columns, std::vector<std::vector<Value>> rows) {
  // A short row would make Field read past its end; refuse it here.
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (rows[r].size() != columns.size()) {
      throw Error("row " + std::to_string(r) + " has " + std::to_string(rows[r].size()) +
                  " values for " + std::to_string(columns.size()) + " columns");
    }
  }
  table_ = std::make_shared<const Table>(Table{std::move(columns), std::move(rows)});
}

RecordSet::RecordSet(std::shared_ptr<const Table> table) : table_(std::move(table)) {}

const std::vector<std::string>& RecordSet::columns() const {
  static const std::vector<std::string> none;
  return table_ ? table_->columns : none;
}

void RecordSet::MoveNext() {
  if (Eof()) throw Error("MoveNext: no current row is left in the record set");
  ++position_;
}

const std::vector<Value>& RecordSet::CurrentRow() const {
  if (Eof()) throw Error("no current row is left in the record set");
  return table_->rows[position_];
}

const Value& RecordSet::Field(std::string_view name) const {
  // Look the column up first so that a misspelt name is reported as such
  // even on an exhausted record set.
  const std::vector<std::string>& names = columns();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (EqualsNoCase(names[i], name)) {
      if (Eof()) {
        throw Error("field '" + std::string(name) + "': no current row is left in the record set");
      }
      return table_->rows[position_][i];
    }
  }
  throw Error("no column named '" + std::string(name) + "' in the record set");
}

const Value& RecordSet::Field(std::size_t index) const {
  if (index >= column_count()) {
    throw Error("column index " + std::to_string(index) + " is out of range (" +
                std::to_string(column_count()) + " columns)");
  }
  return CurrentRow()[index];
}

void RecordSet::Close() {
  // The column names stay, as they did when the rows were dropped in place.
  if (table_ && !table_->rows.empty()) {
    table_ = std::make_shared<const Table>(Table{table_->columns, {}});
  }
  position_ = 0;
}

}  // namespace ostrand::store
