#include "web/data/persons.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kPersonColumns =
    "SELECT personID, personName, dutyID, systemID FROM person ";

Person ReadPerson(const Statement& row) {
  Person person;
  person.id = row.Int(0);
  person.name = row.Text(1);
  if (!row.IsNull(2)) person.duty_id = row.Int(2);
  if (!row.IsNull(3)) person.system_id = row.Int(3);
  return person;
}

std::vector<Person> ReadPersons(Statement& query) {
  std::vector<Person> persons;
  while (query.Step()) persons.push_back(ReadPerson(query));
  return persons;
}

}  // namespace

std::optional<Person> FindPerson(HostDatabase& db, std::int64_t id) {
  Statement query = db.Prepare(std::string(kPersonColumns) + "WHERE personID = ?");
  query.Bind(1, id);
  if (!query.Step()) return std::nullopt;
  return ReadPerson(query);
}

std::vector<Person> FindPersonsByName(HostDatabase& db, std::string_view name) {
  Statement query =
      db.Prepare(std::string(kPersonColumns) + "WHERE personName = ? ORDER BY personID");
  query.Bind(1, name);
  return ReadPersons(query);
}

std::vector<Person> PersonsOfSystem(HostDatabase& db, std::int64_t system_id) {
  Statement query = db.Prepare(std::string(kPersonColumns) +
                               "WHERE systemID = ? ORDER BY dutyID IS NULL, dutyID, personID");
  query.Bind(1, system_id);
  return ReadPersons(query);
}

}  // namespace ostrand::web
