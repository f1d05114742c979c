#include "store/sqlite/day_start.h"

#include <optional>
#include <string_view>

#include "core/date.h"

namespace ostrand::store {
namespace {

// The Julian day number of the zero date of DateTime (30 December 1899).
constexpr double kJulianDayOfZeroDate = 2415018.5;

// Two or four ASCII digits at `at`, or -1.
int Digits(std::string_view text, std::size_t at, std::size_t count) {
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The day serial of a text in the stored form, or nothing for any other text.
std::optional<std::int64_t> StoredDay(std::string_view text) {
  if (text.size() != 10 && text.size() != 19) return std::nullopt;
  if (text[4] != '-' || text[7] != '-') return std::nullopt;
  const int year = Digits(text, 0, 4);
  const int month = Digits(text, 5, 2);
  const int day = Digits(text, 8, 2);
  if (year < 100 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    return std::nullopt;
  }
  if (text.size() == 19) {
    if (text[10] != ' ' || text[13] != ':' || text[16] != ':') return std::nullopt;
    const int hour = Digits(text, 11, 2);
    const int minute = Digits(text, 14, 2);
    const int second = Digits(text, 17, 2);
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
      return std::nullopt;
    }
  }
  return DateTime::FromCivil(year, month, day).day();
}

// julianday(argument, 'start of day') by SQLite itself.
void SqliteDayStart(sqlite3_context* context, sqlite3_value* argument) {
  sqlite3* const db = sqlite3_context_db_handle(context);
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db, "SELECT julianday(?1, 'start of day')", -1, &statement, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_bind_value(statement, 1, argument);
  if (rc == SQLITE_OK) rc = sqlite3_step(statement);
  if (rc == SQLITE_ROW) {
    sqlite3_result_value(context, sqlite3_column_value(statement, 0));
  } else {
    sqlite3_result_error(context, sqlite3_errmsg(db), -1);
  }
  sqlite3_finalize(statement);
}

void DayStart(sqlite3_context* context, int, sqlite3_value** arguments) {
  sqlite3_value* const argument = arguments[0];
  if (sqlite3_value_type(argument) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return;
  }
  if (sqlite3_value_type(argument) == SQLITE_TEXT) {
    const unsigned char* raw = sqlite3_value_text(argument);
    const std::string_view text(reinterpret_cast<const char*>(raw),
                                static_cast<std::size_t>(sqlite3_value_bytes(argument)));
    if (const std::optional<std::int64_t> day = StoredDay(text)) {
      sqlite3_result_double(context, static_cast<double>(*day) + kJulianDayOfZeroDate);
      return;
    }
  }
  SqliteDayStart(context, argument);
}

}  // namespace

int RegisterDayStart(sqlite3* db) {
  return sqlite3_create_function_v2(db, "ostrand_day_start", 1,
                                    SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                    nullptr, DayStart, nullptr, nullptr, nullptr);
}

}  // namespace ostrand::store
