#include "web/data/holiday_table.h"

#include <array>
#include <optional>
#include <set>

#include "store/connection.h"

namespace ostrand::holidays {
namespace {

std::optional<DateTime> DateOf(const Value& value) {
  if (value.is_date()) return value.date().DateOnly();
  if (!value.is_text()) return std::nullopt;
  const std::optional<DateTime> date = store::ReadStoredDateTime(value.text());
  if (!date) return std::nullopt;
  return date->DateOnly();
}

// Deletes the entry of the day; true when there was one.
bool DeleteDay(store::Connection& db, const DateTime& date) {
  const std::array key{store::SqlParam::Date(date)};
  return db.Execute("DELETE FROM hostHoliday WHERE holidayDate = ?", key) > 0;
}

void InsertDay(store::Connection& db, const Holiday& day) {
  const std::array row{store::SqlParam::Date(day.date), store::SqlParam::Text(day.name),
                       store::SqlParam::Integer(day.day_off ? 1 : 0),
                       store::SqlParam::Integer(day.demo ? 1 : 0)};
  db.Execute("INSERT INTO hostHoliday (holidayDate, holidayName, dayOff, demo) VALUES (?, ?, ?, ?)",
             row);
}

}  // namespace

std::vector<Holiday> HolidaysBetween(store::Connection& db, const DateTime& first,
                                     const DateTime& last) {
  const std::array range{store::SqlParam::Date(first), store::SqlParam::Date(last)};
  std::vector<Holiday> days;
  for (store::RecordSet rows = db.QueryStored(
           "SELECT holidayDate, holidayName, dayOff, demo FROM hostHoliday "
           "WHERE holidayDate >= ? AND holidayDate <= ? ORDER BY holidayDate",
           range);
       !rows.Eof(); rows.MoveNext()) {
    const std::optional<DateTime> date = DateOf(rows.Field(std::size_t{0}));
    const std::optional<std::int64_t> off = store::ExactInteger(rows.Field(std::size_t{2}));
    if (!date || !off) continue;
    const std::optional<std::int64_t> demo = store::ExactInteger(rows.Field(std::size_t{3}));
    days.push_back(
        Holiday{*date, rows.Field(std::size_t{1}).ToText(), *off != 0, demo && *demo != 0});
  }
  return days;
}

HolidayImport ImportHolidays(store::Connection& db, const std::vector<Holiday>& days) {
  HolidayImport done;
  std::set<int> years;
  for (const Holiday& day : days) years.insert(day.date.year());
  store::Transaction transaction(db);
  for (const int year : years) {
    const std::array range{store::SqlParam::Date(DateTime::FromCivil(year, 1, 1)),
                           store::SqlParam::Date(DateTime::FromCivil(year, 12, 31))};
    done.demo_removed += static_cast<std::size_t>(db.Execute(
        "DELETE FROM hostHoliday WHERE demo <> 0 AND holidayDate >= ? AND holidayDate <= ?",
        range));
  }
  for (const Holiday& day : days) {
    if (DeleteDay(db, day.date)) ++done.replaced;
    Holiday real = day;
    real.demo = false;
    InsertDay(db, real);
    ++done.written;
  }
  transaction.Commit();
  return done;
}

void WriteHolidays(store::Connection& db, const std::vector<Holiday>& days) {
  for (const Holiday& day : days) {
    DeleteDay(db, day.date);
    InsertDay(db, day);
  }
}

}  // namespace ostrand::holidays
