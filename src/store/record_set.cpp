#include "store/record_set.h"

#include <utility>

#include "core/error.h"
#include "core/text.h"

namespace ostrand::store {

RecordSet::RecordSet(std::vector<std::string> columns, std::vector<std::vector<Value>> rows)
    : columns_(std::move(columns)), rows_(std::move(rows)) {
  // A short row would make Field read past its end; refuse it here.
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    if (rows_[r].size() != columns_.size()) {
      throw Error("row " + std::to_string(r) + " has " + std::to_string(rows_[r].size()) +
                  " values for " + std::to_string(columns_.size()) + " columns");
    }
  }
}

void RecordSet::MoveNext() {
  if (Eof()) throw Error("MoveNext: no current row is left in the record set");
  ++position_;
}

const std::vector<Value>& RecordSet::CurrentRow() const {
  if (Eof()) throw Error("no current row is left in the record set");
  return rows_[position_];
}

const Value& RecordSet::Field(std::string_view name) const {
  // Look the column up first so that a misspelt name is reported as such
  // even on an exhausted record set.
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsNoCase(columns_[i], name)) {
      if (Eof()) {
        throw Error("field '" + std::string(name) + "': no current row is left in the record set");
      }
      return rows_[position_][i];
    }
  }
  throw Error("no column named '" + std::string(name) + "' in the record set");
}

const Value& RecordSet::Field(std::size_t index) const {
  if (index >= columns_.size()) {
    throw Error("column index " + std::to_string(index) + " is out of range (" +
                std::to_string(columns_.size()) + " columns)");
  }
  return CurrentRow()[index];
}

void RecordSet::Close() {
  rows_.clear();
  position_ = 0;
}

}  // namespace ostrand::store
