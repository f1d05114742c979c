#include "web/data/person_registry.h"

#include <array>

#include "core/error.h"
#include "core/text.h"
#include "core/utf8.h"
#include "plans/retired.h"
#include "store/database_error.h"
#include "store/engine_sql.h"
#include "store/sql_param.h"
#include "web/data/accounts_table.h"
#include "web/data/person_filter.h"
#include "web/data/persons.h"
#include "web/data/outbox.h"
#include "web/data/plan_events.h"
#include "web/data/row_values.h"
#include "web/data/settings.h"

namespace ostrand::web {
namespace {

using store::SqlParam;

std::string IdText(std::int64_t id) { return std::to_string(id); }

Error NoSuchPerson(std::int64_t id) {
  return Error("no person with id " + IdText(id), ErrorKind::kNotFound);
}

bool AnyRow(store::Connection& db, std::string_view sql, std::span<const SqlParam> params) {
  return !db.Query(sql, params).Eof();
}

// The highest id any table has ever given a person, and the high water
// mark; 0 in a database without persons.
std::int64_t HighestPersonId(store::Connection& db) {
  const std::array params{SqlParam::Text(std::string(kPersonIdHighWater))};
  const store::RecordSet rows = db.Query(
      "SELECT MAX(m) FROM ("
      "SELECT MAX(personID) AS m FROM person UNION ALL "
      "SELECT MAX(personID) FROM personPlan UNION ALL "
      "SELECT MAX(personID) FROM hostAccount UNION ALL "
      "SELECT MAX(personID) FROM hostToken UNION ALL "
      "SELECT MAX(personID) FROM hostAppPassword UNION ALL "
      "SELECT MAX(personID) FROM hostPlanChange UNION ALL "
      "SELECT MAX(personID) FROM hostDeletedPlan UNION ALL "
      "SELECT MAX(personID) FROM hostSession UNION ALL "
      "SELECT MAX(personID) FROM hostRetiredPerson UNION ALL "
      "SELECT MAX(personID) FROM hostAdmin UNION ALL "
      "SELECT MAX(personID) FROM hostIdentity UNION ALL "
      "SELECT MAX(personID) FROM hostSecondFactor UNION ALL "
      "SELECT MAX(personID) FROM hostRecoveryCode UNION ALL "
      "SELECT MAX(subjectID) FROM hostAudit UNION ALL "
      "SELECT MAX(actorID) FROM hostAudit UNION ALL "
      "SELECT MAX(value) FROM hostSetting WHERE name = ?) ids",
      params);
  return rows.Eof() ? 0 : OptionalInt(rows, 0).value_or(0);
}

// Runs `write` in a transaction, with `within` before the commit.
template <typename Write>
void InTransaction(store::Connection& db, std::int64_t person_id, const WithinWrite& within,
                   Write write) {
  store::Transaction transaction(db);
  write();
  if (within) within(person_id);
  transaction.Commit();
}

}  // namespace

std::string CheckedPersonName(std::string_view name) {
  const std::string_view trimmed = TrimWhitespace(name);
  if (trimmed.empty()) throw Error("a person's name must not be empty", ErrorKind::kBadInput);
  if (!IsValidUtf8(trimmed)) {
    throw Error("the name '" + CleanText(trimmed) + "' is no UTF-8 text", ErrorKind::kBadInput);
  }
  if (HasControlCharacter(trimmed) || trimmed.find('\t') != std::string_view::npos) {
    throw Error("the name '" + CleanText(trimmed) + "' holds a control character",
                ErrorKind::kBadInput);
  }
  if (CountCharacters(trimmed) > kMaxPersonNameLength) {
    throw Error("the name '" + std::string(trimmed) + "' is longer than " +
                    std::to_string(kMaxPersonNameLength) + " characters",
                ErrorKind::kBadInput);
  }
  return std::string(trimmed);
}

bool DepartmentExists(store::Connection& db, std::int64_t department_id) {
  const std::array params{SqlParam::Integer(department_id), SqlParam::Integer(department_id)};
  return AnyRow(db,
                "SELECT 1 FROM hostDepartment WHERE systemID = ? UNION ALL "
                "SELECT 1 FROM person WHERE systemID = ?",
                params);
}

bool DutyExists(store::Connection& db, std::int64_t duty_id) {
  const std::array params{SqlParam::Integer(duty_id)};
  return AnyRow(db, "SELECT 1 FROM personDuty WHERE dutyID = ?", params);
}

PersonFields CheckedPersonFields(store::Connection& db, const PersonFields& fields) {
  PersonFields checked = fields;
  checked.name = CheckedPersonName(fields.name);
  if (!DutyExists(db, fields.duty_id)) {
    throw Error("there is no duty " + IdText(fields.duty_id), ErrorKind::kBadInput);
  }
  if (!DepartmentExists(db, fields.department_id)) {
    throw Error("there is no department " + IdText(fields.department_id), ErrorKind::kBadInput);
  }
  return checked;
}

void EnsurePersonIdCounter(store::Connection& db) {
  if (ReadSetting(db, kPersonIdHighWater)) return;
  try {
    store::Transaction transaction(db);
    SetSettingOnce(db, kPersonIdHighWater, HighestPersonId(db));
    transaction.Commit();
  } catch (const store::DatabaseError& e) {
    // Another server made it first: the key refused this one.
    if (e.unavailable()) throw;
  }
}

std::int64_t ReservePersonIds(store::Connection& db, std::int64_t count) {
  const std::array name{SqlParam::Text(std::string(kPersonIdHighWater))};
  // The update holds the setting's row until the commit (SQLite's write
  // transaction holds the whole database): a second adder waits here and
  // then sees the ids this one gave.
  store::UpdateOrInsert(db, "UPDATE hostSetting SET value = value WHERE name = ?", name,
                        "INSERT INTO hostSetting (name, value) VALUES (?, 0)", name);
  const std::int64_t first = HighestPersonId(db) + 1;
  const std::array raise{SqlParam::Integer(first + count - 1), name[0]};
  db.Execute("UPDATE hostSetting SET value = ? WHERE name = ?", raise);
  return first;
}

std::int64_t AddPerson(store::Connection& db, const PersonFields& fields,
                       const WithinWrite& within) {
  const PersonFields checked = CheckedPersonFields(db, fields);
  EnsurePersonIdCounter(db);
  store::Transaction transaction(db);
  const std::int64_t id = ReservePersonIds(db, 1);
  const std::array row{SqlParam::Integer(id), SqlParam::Text(checked.name),
                       SqlParam::Integer(checked.duty_id),
                       SqlParam::Integer(checked.department_id)};
  db.Execute("INSERT INTO person (personID, personName, dutyID, systemID) VALUES (?, ?, ?, ?)",
             row);
  AddPersonEvent(db, kPersonAdded, id, std::nullopt);
  if (within) within(id);
  transaction.Commit();
  return id;
}

bool EditPerson(store::Connection& db, std::int64_t person_id, const PersonFields& fields,
                const WithinWrite& within) {
  const std::optional<Person> stored = FindPerson(db, person_id);
  if (!stored) throw NoSuchPerson(person_id);
  const PersonFields checked = CheckedPersonFields(db, fields);
  if (stored->name == checked.name && stored->duty_id == checked.duty_id &&
      stored->system_id == checked.department_id) {
    return false;
  }
  const std::array row{SqlParam::Text(checked.name), SqlParam::Integer(checked.duty_id),
                       SqlParam::Integer(checked.department_id), SqlParam::Integer(person_id)};
  InTransaction(db, person_id, within, [&] {
    db.Execute("UPDATE person SET personName = ?, dutyID = ?, systemID = ? WHERE personID = ?",
               row);
  });
  return true;
}

void RetirePerson(store::Connection& db, std::int64_t person_id, std::optional<std::int64_t> by,
                  const DateTime& now, const WithinWrite& within) {
  const std::array id{SqlParam::Integer(person_id)};
  InTransaction(db, person_id, within, [&] {
    if (!AnyRow(db, "SELECT 1 FROM person WHERE personID = ?", id)) throw NoSuchPerson(person_id);
    // Two administrators retiring the person at once: the second waits.
    store::LockRow(db, "person", "personID", person_id);
    if (AnyRow(db, "SELECT 1 FROM hostRetiredPerson WHERE personID = ?", id)) {
      throw Error("person " + IdText(person_id) + " has retired already", ErrorKind::kConflict);
    }
    const std::array row{id[0], SqlParam::Timestamp(now), by ? SqlParam::Integer(*by) : SqlParam::Null()};
    db.Execute("INSERT INTO hostRetiredPerson (personID, retiredAt, retiredBy) VALUES (?, ?, ?)",
               row);
    db.Execute("DELETE FROM hostToken WHERE personID = ?", id);
    db.Execute("DELETE FROM hostAppPassword WHERE personID = ?", id);
    RaisePersonGeneration(db, person_id);
    const std::array ended{SqlParam::Timestamp(now), id[0]};
    db.Execute("UPDATE hostSession SET endedAt = ? WHERE personID = ? AND endedAt IS NULL", ended);
    AddPersonEvent(db, kPersonRetired, person_id, by);
  });
}

void ReinstatePerson(store::Connection& db, std::int64_t person_id, const WithinWrite& within) {
  const std::array id{SqlParam::Integer(person_id)};
  InTransaction(db, person_id, within, [&] {
    if (db.Execute("DELETE FROM hostRetiredPerson WHERE personID = ?", id) > 0) return;
    if (!AnyRow(db, "SELECT 1 FROM person WHERE personID = ?", id)) throw NoSuchPerson(person_id);
    throw Error("person " + IdText(person_id) + " has not retired", ErrorKind::kConflict);
  });
}

std::optional<DateTime> RetiredAt(store::Connection& db, std::int64_t person_id) {
  const std::array id{SqlParam::Integer(person_id)};
  const store::RecordSet rows =
      db.Query("SELECT " + store::TimeText(db.engine(), "retiredAt") +
                   " FROM hostRetiredPerson WHERE personID = ?",
               id);
  if (rows.Eof()) return std::nullopt;
  // A time that reads as no date still marks the person retired.
  return store::ReadStoredDateTime(Text(rows, 0)).value_or(DateTime());
}

PersonList SearchPersons(store::Connection& db, const PersonQuery& query) {
  std::string where = " WHERE 1 = 1";
  std::vector<SqlParam> params;
  if (query.department_id) {
    where += " AND person.systemID = ?";
    params.push_back(SqlParam::Integer(*query.department_id));
  }
  AppendPersonFilter({query.name_part, query.duty_id}, where, params);
  if (!query.include_retired) where += " AND " + plans::NotRetired("person.personID");

  PersonList list;
  const store::RecordSet count = db.Query("SELECT COUNT(*) FROM person" + where, params);
  list.total = Int(count, 0);

  std::string sql =
      "SELECT person.personID, person.personName, person.dutyID, personDuty.dutyName, "
      "person.systemID, hostDepartment.departmentName, " +
      store::TimeText(db.engine(), "hostRetiredPerson.retiredAt") +
      " FROM person"
      " LEFT JOIN personDuty ON personDuty.dutyID = person.dutyID"
      " LEFT JOIN hostDuty ON hostDuty.dutyID = person.dutyID"
      " LEFT JOIN hostDepartment ON hostDepartment.systemID = person.systemID"
      " LEFT JOIN hostRetiredPerson ON hostRetiredPerson.personID = person.personID" +
      where +
      " ORDER BY person.systemID, COALESCE(hostDuty.dutyOrder, person.dutyID), person.personID";
  if (query.limit > 0) sql += store::RowWindow(db.engine(), query.offset, query.limit);
  for (store::RecordSet rows = db.Query(sql, params); !rows.Eof(); rows.MoveNext()) {
    ListedPerson person;
    person.id = Int(rows, 0);
    person.name = Text(rows, 1);
    person.duty_id = OptionalInt(rows, 2);
    person.duty_name = Text(rows, 3);
    person.department_id = OptionalInt(rows, 4);
    person.department_name = Text(rows, 5);
    if (const std::optional<std::string> retired = OptionalText(rows, 6)) {
      person.retired_at = store::ReadStoredDateTime(*retired).value_or(DateTime());
    }
    list.persons.push_back(std::move(person));
  }
  return list;
}

std::vector<Choice> DepartmentChoices(store::Connection& db) {
  std::vector<Choice> choices;
  for (store::RecordSet rows = db.Query(
           "SELECT ids.systemID, hostDepartment.departmentName FROM ("
           "SELECT systemID FROM person WHERE systemID IS NOT NULL UNION "
           "SELECT systemID FROM hostDepartment) ids "
           "LEFT JOIN hostDepartment ON hostDepartment.systemID = ids.systemID "
           "ORDER BY ids.systemID");
       !rows.Eof(); rows.MoveNext()) {
    choices.push_back({Int(rows, 0), Text(rows, 1)});
  }
  return choices;
}

std::vector<Choice> DutyChoices(store::Connection& db) {
  std::vector<Choice> choices;
  for (store::RecordSet rows = db.Query(
           "SELECT personDuty.dutyID, personDuty.dutyName FROM personDuty "
           "LEFT JOIN hostDuty ON hostDuty.dutyID = personDuty.dutyID "
           "ORDER BY COALESCE(hostDuty.dutyOrder, personDuty.dutyID), personDuty.dutyID");
       !rows.Eof(); rows.MoveNext()) {
    choices.push_back({Int(rows, 0), Text(rows, 1)});
  }
  return choices;
}

}  // namespace ostrand::web
