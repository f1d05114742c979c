#include "store/odbc/odbc_values.h"

#include <algorithm>

#include "core/date.h"

namespace ostrand::store::odbc {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string Utf8FromUtf16(const std::vector<SQLWCHAR>& units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

Reading ReadingOf(SQLSMALLINT type) {
  switch (type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return Reading::kInteger;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Reading::kReal;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return Reading::kDecimal;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIMESTAMP:
      return Reading::kDate;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return Reading::kWideText;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return Reading::kBinary;
    default:
      return Reading::kText;
  }
}

SQLRETURN BindValue(SQLHSTMT handle, SQLUSMALLINT number, const SqlParam& param, Engine engine,
                    BoundValue& value) {
  SQLRETURN rc = SQL_SUCCESS;
  switch (param.kind()) {
    case SqlParam::Kind::kNull:
      value.indicator = SQL_NULL_DATA;
      rc = SQLBindParameter(handle, number, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0,
                            nullptr, 0, &value.indicator);
      break;
    case SqlParam::Kind::kInteger:
      value.integer = param.integer();
      rc = SQLBindParameter(handle, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                            &value.integer, 0, nullptr);
      break;
    case SqlParam::Kind::kReal:
      value.real = param.real();
      rc = SQLBindParameter(handle, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                            &value.real, 0, nullptr);
      break;
    case SqlParam::Kind::kText:
      value.text = param.text();
      rc = BindText(handle, number, value, SQL_VARCHAR);
      break;
    case SqlParam::Kind::kDate:
    case SqlParam::Kind::kTimestamp:
      if (engine == Engine::kSqlite) {
        // SQLite keeps dates as text: the same text as when reached directly.
        value.text = DateParamText(param);
        rc = BindText(handle, number, value, SQL_VARCHAR);
      } else if (param.kind() == SqlParam::Kind::kDate) {
        const CivilDate civil = param.date().civil();
        value.date = {static_cast<SQLSMALLINT>(civil.year),
                      static_cast<SQLUSMALLINT>(civil.month),
                      static_cast<SQLUSMALLINT>(civil.day)};
        rc = SQLBindParameter(handle, number, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10,
                              0, &value.date, 0, nullptr);
      } else {
        const DateTime& d = param.date();
        const CivilDate civil = d.civil();
        value.timestamp = {static_cast<SQLSMALLINT>(civil.year),
                           static_cast<SQLUSMALLINT>(civil.month),
                           static_cast<SQLUSMALLINT>(civil.day),
                           static_cast<SQLUSMALLINT>(d.hour()),
                           static_cast<SQLUSMALLINT>(d.minute()),
                           static_cast<SQLUSMALLINT>(d.second()),
                           0};
        rc = SQLBindParameter(handle, number, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP,
                              SQL_TYPE_TIMESTAMP, 19, 0, &value.timestamp, 0, nullptr);
      }
      break;
  }
  return rc;
}

SQLRETURN BindText(SQLHSTMT handle, SQLUSMALLINT number, BoundValue& value,
                          SQLSMALLINT type) {
  value.indicator = static_cast<SQLLEN>(value.text.size());
  const SQLULEN size = std::max<SQLULEN>(value.text.size(), 1);
  return SQLBindParameter(handle, number, SQL_PARAM_INPUT, SQL_C_CHAR, type, size, 0,
                          value.text.data(), static_cast<SQLLEN>(value.text.size()),
                          &value.indicator);
}

}  // namespace ostrand::store::odbc
