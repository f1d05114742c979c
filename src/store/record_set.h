// RecordSet: the rows of one query, read fully into memory when the query
// ran, walked forward one row at a time. Because nothing stays open in the
// database, any number of record sets of one connection can be walked at
// once. The rows themselves are immutable and may be shared: record sets
// copied from one another, or handed out again by a connection's result
// cache, read the same rows, each with its own position.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/value.h"

namespace ostrand::store {

class RecordSet {
 public:
  RecordSet() = default;
  // The rows, each holding one value per column. Throws Error for a row of
  // another length.
  RecordSet(std::vector<std::string> columns, std::vector<std::vector<Value>> rows);

  // The immutable part of a record set: its column names and rows.
  struct Table {
    std::vector<std::string> columns;
    std::vector<std::vector<Value>> rows;
  };
  // A record set over rows read before (null reads as no rows and no
  // columns), positioned on the first row.
  explicit RecordSet(std::shared_ptr<const Table> table);
  // The rows this record set reads, for a cache to keep.
  const std::shared_ptr<const Table>& table() const { return table_; }

  // True when no current row is left (at once for an empty result).
  bool Eof() const { return position_ >= row_count(); }
  // Advances to the next row. Throws Error at the end of data.
  void MoveNext();
  // The value of the named column (compared without regard to ASCII case) in
  // the current row. Throws Error naming the column when there is no such
  // column, or when no current row is left.
  const Value& Field(std::string_view name) const;
  // The value of the column at a 0-based position. Throws Error when out of
  // range or at the end of data.
  const Value& Field(std::size_t index) const;

  std::size_t column_count() const { return columns().size(); }
  const std::vector<std::string>& columns() const;
  std::size_t row_count() const { return table_ ? table_->rows.size() : 0; }
  // Drops the rows; Eof holds afterwards.
  void Close();

 private:
  const std::vector<Value>& CurrentRow() const;

  std::shared_ptr<const Table> table_;
  std::size_t position_ = 0;
};

// What the renderers query: runs one SQL text (in the SQL Server dialect the
// component writes) and returns all its rows. Throws Error with the
// database's message when the query fails or no connection is open.
class QuerySource {
 public:
  virtual ~QuerySource() = default;
  virtual RecordSet Query(const std::string& tsql) = 0;
};

}  // namespace ostrand::store
