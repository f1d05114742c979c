// SqlParam: a value bound to a '?' placeholder of a statement. Every
// backend binds each kind in its own way (SQLite stores dates as text,
// PostgreSQL and ODBC receive them as dates), so callers never format
// values into SQL texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/date.h"

namespace ostrand::store {

class SqlParam {
 public:
  enum class Kind { kNull, kInteger, kReal, kText, kDate, kTimestamp };

  static SqlParam Null() { return SqlParam(Kind::kNull); }
  static SqlParam Integer(std::int64_t i) {
    SqlParam p(Kind::kInteger);
    p.integer_ = i;
    return p;
  }
  static SqlParam Real(double d) {
    SqlParam p(Kind::kReal);
    p.real_ = d;
    return p;
  }
  static SqlParam Text(std::string text) {
    SqlParam p(Kind::kText);
    p.text_ = std::move(text);
    return p;
  }
  // The text, or NULL when there is none.
  static SqlParam OptionalText(const std::optional<std::string>& text) {
    return text ? Text(*text) : Null();
  }
  // A calendar date; the time of day is dropped.
  static SqlParam Date(const DateTime& date) {
    SqlParam p(Kind::kDate);
    p.date_ = date.DateOnly();
    return p;
  }
  // A date with its time of day (whole seconds).
  static SqlParam Timestamp(const DateTime& date) {
    SqlParam p(Kind::kTimestamp);
    p.date_ = date;
    return p;
  }

  Kind kind() const { return kind_; }
  std::int64_t integer() const { return integer_; }
  double real() const { return real_; }
  const std::string& text() const { return text_; }
  const DateTime& date() const { return date_; }

  friend bool operator==(const SqlParam&, const SqlParam&) = default;

 private:
  explicit SqlParam(Kind kind) : kind_(kind) {}

  Kind kind_;
  std::int64_t integer_ = 0;
  double real_ = 0;
  std::string text_;
  DateTime date_;
};

// "YYYY-MM-DD", zero-padded: how a date is stored and bound as text.
std::string StorageDateText(const DateTime& date);
// "YYYY-MM-DD HH:MM:SS", zero-padded: how a date and time is stored and
// bound as text (the form db/schema.sql describes).
std::string StorageDateTimeText(const DateTime& date);
// The text a date or timestamp parameter is bound as where a backend takes
// text: StorageDateText or StorageDateTimeText.
std::string DateParamText(const SqlParam& param);

}  // namespace ostrand::store

namespace ostrand::store {

// Reads a date as databases hand it out: the forms of DateTime::Parse, and
// also with a fraction of a second (dropped), as ODBC drivers and
// PostgreSQL may write it. Nothing when the text is no such date.
std::optional<DateTime> ReadStoredDateTime(std::string_view text);

}  // namespace ostrand::store
