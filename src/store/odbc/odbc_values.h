// How the ODBC backend (store/odbc/odbc_connection.h) maps values: the
// text of wide columns (UTF-16) as UTF-8, a column's SQL type to the way it
// is read, and a statement value to the storage and binding it needs.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <vector>

#include "store/dialect.h"
#include "store/sql_param.h"

namespace ostrand::store::odbc {

// UTF-16 as ODBC's SQLWCHAR gives it, as UTF-8; an unpaired surrogate
// becomes U+FFFD.
std::string Utf8FromUtf16(const std::vector<SQLWCHAR>& units);

// What a column is read as.
enum class Reading { kInteger, kReal, kDecimal, kDate, kWideText, kText, kBinary };

// The reading of a column the driver describes as `type`; any type not
// named is read as text.
Reading ReadingOf(SQLSMALLINT type);

// The storage a bound value needs until the statement has run.
struct BoundValue {
  std::int64_t integer = 0;
  double real = 0;
  std::string text;
  SQL_TIMESTAMP_STRUCT timestamp{};
  SQL_DATE_STRUCT date{};
  SQLLEN indicator = 0;
};

// Binds `param` as parameter `number` (from 1) of `handle`, kept in
// `value`, which must outlive the statement's execution. Dates go to SQLite
// as the text it stores (`engine`), to every other engine as ODBC dates and
// timestamps. Returns the driver's answer; the caller reports a failure.
SQLRETURN BindValue(SQLHSTMT handle, SQLUSMALLINT number, const SqlParam& param, Engine engine,
                    BoundValue& value);

// Binds value.text as UTF-8 of SQL type `type`.
SQLRETURN BindText(SQLHSTMT handle, SQLUSMALLINT number, BoundValue& value, SQLSMALLINT type);

}  // namespace ostrand::store::odbc
