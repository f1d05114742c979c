#include "web/data/persons.h"

#include <algorithm>
#include <array>
#include <tuple>

#include "plans/retired.h"
#include "web/data/organisation.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kPersonColumns =
    "SELECT personID, personName, dutyID, systemID FROM person ";

Person ReadPerson(const store::RecordSet& row) {
  Person person;
  person.id = Int(row, 0);
  person.name = Text(row, 1);
  person.duty_id = OptionalInt(row, 2);
  person.system_id = OptionalInt(row, 3);
  return person;
}

std::vector<Person> ReadPersons(store::RecordSet rows) {
  std::vector<Person> persons;
  for (; !rows.Eof(); rows.MoveNext()) persons.push_back(ReadPerson(rows));
  return persons;
}

}  // namespace

std::optional<Person> FindPerson(store::Connection& db, std::int64_t id) {
  const std::array params{store::SqlParam::Integer(id)};
  const store::RecordSet rows =
      db.QueryStored(std::string(kPersonColumns) + "WHERE personID = ?", params);
  if (rows.Eof()) return std::nullopt;
  return ReadPerson(rows);
}

std::vector<Person> FindPersonsByName(store::Connection& db, std::string_view name) {
  const std::array params{store::SqlParam::Text(std::string(name))};
  return ReadPersons(
      db.Query(std::string(kPersonColumns) + "WHERE personName = ? ORDER BY personID", params));
}

std::shared_ptr<const std::vector<Person>> PersonsOfSystem(store::Connection& db,
                                                           std::int64_t system_id) {
  // Every personal page lists these: sorted here rather than by the
  // database's sorter, which cost more than reading the rows.
  return db.KeptValue<std::vector<Person>>(
      "persons of system " + std::to_string(system_id), [&db, system_id] {
        const std::array params{store::SqlParam::Integer(system_id)};
        std::vector<Person> persons = ReadPersons(db.QueryStored(
            std::string(kPersonColumns) + "WHERE systemID = ? AND " + plans::NotRetired("personID"),
            params));
        SortByDuty(db, persons);
        return persons;
      });
}

}  // namespace ostrand::web
