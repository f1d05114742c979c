// The registry of persons as an administrator keeps it: adding a person,
// changing a person's name, duty and department, retiring and reinstating,
// and the paged list of persons with their duty and department names.
//
// A person is never deleted. A new person's id lies above every id ever
// used for a person (kept or deleted by SQL): the persons, their plans,
// accounts, tokens, app passwords, sessions, plan changes and deleted plans, the
// administrators, the retired persons, the identities of providers and
// directories, the second factors and recovery codes, the audit records, and the high
// water mark in the settings (kPersonIdHighWater), which each add raises
// in its own transaction. Two servers adding at once wait for each other
// on that setting's row, so that no id is given twice.
//
// A retired person (a row of hostRetiredPerson, plans/retired.h) keeps the
// plans; retiring ends in the same transaction everything the person could
// open: every hostToken row (feed and API tokens, invitations), the app
// passwords of calendar programs, the sessions (the person's session generation is raised, the hostSession
// rows are marked ended).
//
// Every write runs in a transaction of its own and calls the caller's
// `within` (the audit record of the action) inside it before the commit,
// so that the action and its record are one write. Values are bound. Errors
// are Error of kind kBadInput (a name, duty or department that breaks the
// rules, the value named), kNotFound (no such person), kConflict (retiring
// a retired person, reinstating a current one), or what the database
// throws (DatabaseError; nothing is then written).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

// The setting that holds the highest person id ever given.
inline constexpr std::string_view kPersonIdHighWater = "personIdHighWater";
// The most characters of a person's name.
inline constexpr std::size_t kMaxPersonNameLength = 100;

// What an administrator sets of a person.
struct PersonFields {
  std::string name;
  std::int64_t duty_id = 0;        // a personDuty row
  std::int64_t department_id = 0;  // the component's systemID
};

// The name as it is stored: without the blanks around it. Throws Error
// (kBadInput) naming the name when it is empty, no UTF-8, holds a control
// character (tab and line breaks included) or is longer than
// kMaxPersonNameLength characters.
std::string CheckedPersonName(std::string_view name);

// Whether a department exists: it has a name (hostDepartment) or a person.
bool DepartmentExists(store::Connection& db, std::int64_t department_id);
// Whether a duty exists (a personDuty row).
bool DutyExists(store::Connection& db, std::int64_t duty_id);

// The fields with the name checked (CheckedPersonName); throws Error
// (kBadInput) naming the duty or department that does not exist.
PersonFields CheckedPersonFields(store::Connection& db, const PersonFields& fields);

// Called inside a write's transaction with the person's id.
using WithinWrite = std::function<void(std::int64_t person_id)>;

// Makes sure the high water setting exists, in a transaction of its own (a
// second server making it at the same time is no failure). AddPerson and
// the staff import call it before their transaction.
void EnsurePersonIdCounter(store::Connection& db);

// Inside the caller's write transaction (after EnsurePersonIdCounter):
// holds the high water setting until the commit, raises it by `count` and
// returns the first of the `count` new ids, which lie above every id ever
// used (see above).
std::int64_t ReservePersonIds(store::Connection& db, std::int64_t count);

// Adds a person with checked `fields` and returns the new id.
std::int64_t AddPerson(store::Connection& db, const PersonFields& fields,
                       const WithinWrite& within = {});

// Sets the person's name, duty and department (checked). Returns false,
// writing nothing and not calling `within`, when they are as stored.
// Throws Error (kNotFound) when there is no such person.
bool EditPerson(store::Connection& db, std::int64_t person_id, const PersonFields& fields,
                const WithinWrite& within = {});

// Retires the person at `now` (by the administrator `by`, if known) and
// ends what the person could open (see above). Throws Error kNotFound for
// no such person, kConflict when the person has retired already.
void RetirePerson(store::Connection& db, std::int64_t person_id, std::optional<std::int64_t> by,
                  const DateTime& now, const WithinWrite& within = {});

// Makes a retired person current again. The person signs in anew (the
// ended sessions and tokens stay ended). Throws Error kNotFound for no
// such person, kConflict when the person has not retired.
void ReinstatePerson(store::Connection& db, std::int64_t person_id,
                     const WithinWrite& within = {});

// When the person retired, or nothing for a current person (or none).
std::optional<DateTime> RetiredAt(store::Connection& db, std::int64_t person_id);

// A person as the administration lists show it.
struct ListedPerson {
  std::int64_t id = 0;
  std::string name;
  std::optional<std::int64_t> duty_id;
  std::string duty_name;  // empty when the duty has no name or row
  std::optional<std::int64_t> department_id;
  std::string department_name;  // empty when the department has no name
  std::optional<DateTime> retired_at;
};

// What the list asks for: persons whose name contains `name_part`
// (as PersonFilter matches it; empty: everybody), of one department and duty when
// given, retired persons only when `include_retired`; `limit` rows from
// `offset` (limit 0: all).
struct PersonQuery {
  std::string name_part;
  std::optional<std::int64_t> department_id;
  std::optional<std::int64_t> duty_id;
  bool include_retired = false;
  std::size_t offset = 0;
  std::size_t limit = 0;
};

struct PersonList {
  std::vector<ListedPerson> persons;  // by department, duty order, id
  std::int64_t total = 0;             // the persons matching, every page
};

// The persons matching `query`, ordered by department, then duty (the
// duty's order of hostDuty, else its id), then id.
PersonList SearchPersons(store::Connection& db, const PersonQuery& query);

// A department or duty as a picker offers it.
struct Choice {
  std::int64_t id = 0;
  std::string name;  // empty when it has none
};

// Every department (named in hostDepartment or holding a person), by id.
std::vector<Choice> DepartmentChoices(store::Connection& db);
// Every duty of personDuty, by the duty order (hostDuty, else the id).
std::vector<Choice> DutyChoices(store::Connection& db);

}  // namespace ostrand::web
