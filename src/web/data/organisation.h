// The organisation the schedule is kept for, as an administrator keeps it:
// the departments (person.systemID) and their names (hostDepartment), the
// duties (personDuty) with their order and whether they lead (hostDuty),
// the places (planAddr) and the names of the kinds of place (planAddrType).
// The component reads personDuty, planAddr and planAddrType itself, so a
// rename shows on its pages at once.
//
// Every write runs in its own transaction on the caller's connection (no
// transaction may be open), binds every value, and records `audit` in that
// transaction with its detail set to what changed (the caller fills when,
// who, the kind and the address). A new id is one above the highest in
// use, read again under a lock of the row holding it, so that two
// administrators adding at once get two ids.
//
// Every function throws DatabaseError when the database refuses; the
// writes throw Error of kind kBadInput for a name that CheckedName refuses
// (naming it), kNotFound naming the id that does not exist, and OrgConflict
// (kind kConflict) for a name already taken or a removal of something still
// in use; nothing is written then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "store/connection.h"
#include "store/demo_data.h"
#include "web/data/audit_log.h"
#include "web/data/persons.h"
#include "web/data/plan_repository.h"

namespace ostrand::web {

// Names of departments, duties and kinds of place hold at most this many
// characters; place names kMaxPlaceName.
inline constexpr std::size_t kMaxOrgName = 100;
inline constexpr std::size_t kMaxPlaceName = 200;

// A name as an administrator typed it, as it is stored: without the blanks
// around it; nothing when it is then empty, longer than `max_characters`,
// not UTF-8 or holds a control character (tab included).
std::optional<std::string> ReadOrgName(std::string_view text, std::size_t max_characters);

// What OrgConflict reports.
enum class OrgConflictKind {
  kNameTaken,      // another one of the same sort has that name
  kHeldByPersons,  // a duty or department of persons (retired ones too)
  kUsedByPlans,    // a place that plans name
  kUsedByDeletedPlans,  // a place that plans deleted lately name (they can be restored)
};

// Refusal of a write that clashes with what is stored. Its message names
// the thing and where it is used ("duty 处长 is held by 3 persons: 张三, 李四,
// 王五"); the fields let a page say the same in its language.
class OrgConflict : public Error {
 public:
  OrgConflict(OrgConflictKind why, std::string name, std::int64_t count,
              std::vector<std::string> examples, std::string latest_day, std::string message)
      : Error(message, ErrorKind::kConflict),
        why(why),
        name(std::move(name)),
        count(count),
        examples(std::move(examples)),
        latest_day(std::move(latest_day)) {}

  OrgConflictKind why;
  std::string name;                   // the thing's (or the taken) name
  std::int64_t count = 0;             // persons or plans using it
  std::vector<std::string> examples;  // the first few persons' names
  std::string latest_day;             // the latest plan's start day, YYYY-MM-DD
};

// ---- Departments

struct Department {
  std::int64_t id = 0;
  std::string name;  // empty when the department has no name yet
  std::int64_t persons = 0;  // retired persons included
};

// Every department, by id: those with a name and those that persons name.
std::vector<Department> Departments(store::Connection& db);

// The department's name, or nothing when it has none. Read through the
// connection's cache of stored reads (Connection::QueryStored).
std::optional<std::string> DepartmentName(store::Connection& db, std::int64_t system_id);

// Adds a department of that name; returns its id.
std::int64_t AddDepartment(store::Connection& db, std::string_view name, AuditRecord audit);
// Names a department anew (also one that persons name but that had no
// name).
void RenameDepartment(store::Connection& db, std::int64_t system_id, std::string_view name,
                      AuditRecord audit);
// Removes a department that no person belongs to.
void RemoveDepartment(store::Connection& db, std::int64_t system_id, AuditRecord audit);

// ---- Duties

struct Duty {
  std::int64_t id = 0;
  std::string name;
  std::int64_t order = 0;  // the stored order, else the id
  bool leads = false;      // the stored choice, else the built-in default
  std::int64_t persons = 0;
};

// Every duty, the most senior first: by order, then by id.
std::vector<Duty> Duties(store::Connection& db);

// The duties that lead: those stored as leading, and those without a
// stored choice whose id is a built-in leading duty (store::IsLeadingDuty),
// so that a database nobody configured leads as before. Kept with the
// connection's stored reads (store::Connection::KeptValue) while the
// database is unchanged; cheap enough for every request.
std::set<std::int64_t> LeadingDutiesInDatabase(store::Connection& db);

// The rank of each duty with a stored order (smaller is more senior); a
// duty missing here ranks by its id. Kept as LeadingDutiesInDatabase is:
// the map is shared, never changed.
std::shared_ptr<const std::map<std::int64_t, std::int64_t>> DutyRanks(store::Connection& db);

// Sorts persons the most senior duty first (by DutyRanks), persons
// without a duty last, then by id.
void SortByDuty(store::Connection& db, std::vector<Person>& persons);

// Adds a duty after the last one; returns its id.
std::int64_t AddDuty(store::Connection& db, std::string_view name, bool leads, AuditRecord audit);
void RenameDuty(store::Connection& db, std::int64_t duty_id, std::string_view name,
                AuditRecord audit);
// Moves the duty to `position` in the order (1 is the most senior; beyond
// the ends counts as the end) and stores the order of every duty.
void MoveDuty(store::Connection& db, std::int64_t duty_id, std::int64_t position,
              AuditRecord audit);
void SetDutyLeads(store::Connection& db, std::int64_t duty_id, bool leads, AuditRecord audit);
// Removes a duty that no person holds.
void RemoveDuty(store::Connection& db, std::int64_t duty_id, AuditRecord audit);

// ---- Places and their kinds

// The kinds of place, by id.
std::vector<PlaceKind> PlaceKindsOf(store::Connection& db);
// Every place, by kind, then by id.
std::vector<Place> PlacesOf(store::Connection& db);

// Renames one of the kinds of place (there are no others to add).
void RenamePlaceKind(store::Connection& db, std::int64_t kind_id, std::string_view name,
                     AuditRecord audit);
// Adds a place of an existing kind; returns its id. A name is taken only
// within its kind.
std::int64_t AddPlace(store::Connection& db, std::string_view name, std::int64_t kind_id,
                      AuditRecord audit);
void RenamePlace(store::Connection& db, std::int64_t place_id, std::string_view name,
                 AuditRecord audit);
// Files the place under another kind. The plans made there keep the kind
// they were stored with.
void SetPlaceKind(store::Connection& db, std::int64_t place_id, std::int64_t kind_id,
                  AuditRecord audit);
// Removes a place that no plan names, nor a plan deleted within
// kKeepDeletedDays before `audit.at` (which can still be restored).
void RemovePlace(store::Connection& db, std::int64_t place_id, AuditRecord audit);

// ---- The demo

// What `ostrand demo-db` keeps of the demo's organisation: each demo duty's
// order and leading as the built-in default has them (局长, 副局长 and 处长
// lead) and the demo departments' names, over whatever rows those ids had.
// Runs in the caller's transaction; records no audit.
void WriteDemoOrganisation(store::Connection& db, const store::DemoData& data);

}  // namespace ostrand::web
