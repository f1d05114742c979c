#include "web/data/organisation.h"

#include <algorithm>
#include <array>
#include <memory>
#include <tuple>
#include <utility>

#include "core/date_text.h"
#include "core/text.h"
#include "core/utf8.h"
#include "store/engine_sql.h"
#include "store/sql_param.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

using store::SqlParam;

// How many persons a refusal names before "...".
constexpr std::size_t kExamplesShown = 5;

std::string Quoted(std::string_view text) { return "'" + CleanText(text.substr(0, 300)) + "'"; }

// The name as stored, or Error naming what was given.
std::string CheckedName(std::string_view what, std::string_view text, std::size_t max) {
  std::optional<std::string> name = ReadOrgName(text, max);
  if (!name) {
    throw Error(std::string(what) + " name " + Quoted(text) + " is empty, longer than " +
                    std::to_string(max) + " characters or holds a control character",
                ErrorKind::kBadInput);
  }
  return std::move(*name);
}

[[noreturn]] void ThrowNotFound(std::string_view what, std::int64_t id) {
  throw Error("no " + std::string(what) + " " + std::to_string(id), ErrorKind::kNotFound);
}

// Refuses `name` when another row of `table` than `own_id` holds it (within
// `scope`, extra conditions bound by `scope_params`).
void RequireFreeName(store::Connection& db, std::string_view what, std::string_view table,
                     std::string_view id_column, std::string_view name_column,
                     const std::string& name, std::int64_t own_id, std::string_view scope = {},
                     std::vector<SqlParam> params = {}) {
  params.insert(params.begin(), {SqlParam::Text(name), SqlParam::Integer(own_id)});
  const store::RecordSet rows = db.Query("SELECT 1 FROM " + std::string(table) + " WHERE " +
                                             std::string(name_column) + " = ? AND " +
                                             std::string(id_column) + " <> ?" + std::string(scope),
                                         params);
  if (rows.Eof()) return;
  throw OrgConflict(OrgConflictKind::kNameTaken, name, 0, {}, {},
                    "a " + std::string(what) + " named " + name + " exists already");
}

// One above the highest id of `table`. The row holding the highest is
// locked and the highest read again, so that a writer that waited for a
// second one's lock sees that one's new row.
std::int64_t NextId(store::Connection& db, std::string_view table, std::string_view column) {
  const std::string sql = "SELECT MAX(" + std::string(column) + ") FROM " + std::string(table);
  std::optional<std::int64_t> highest = OptionalInt(db.Query(sql), 0);
  if (highest) {
    store::LockRow(db, table, column, *highest);
    highest = OptionalInt(db.Query(sql), 0);
  }
  return highest.value_or(0) + 1;
}

// Whether a row of `table` has that id; locks it until the commit.
bool LockExisting(store::Connection& db, std::string_view table, std::string_view column,
                  std::int64_t id) {
  store::LockRow(db, table, column, id);
  const std::array params{SqlParam::Integer(id)};
  return !db.Query("SELECT 1 FROM " + std::string(table) + " WHERE " + std::string(column) +
                       " = ?",
                   params)
              .Eof();
}

// The names of the persons whose `column` is `id`, by id (retired persons
// included: they stay in person).
std::vector<std::string> PersonNamesWith(store::Connection& db, std::string_view column,
                                         std::int64_t id) {
  const std::array params{SqlParam::Integer(id)};
  std::vector<std::string> names;
  for (store::RecordSet rows = db.Query(
           "SELECT personName FROM person WHERE " + std::string(column) + " = ? ORDER BY personID",
           params);
       !rows.Eof(); rows.MoveNext()) {
    names.push_back(Text(rows, 0));
  }
  return names;
}

// Refuses the removal of `what` while persons hold it.
void RequireNoPersons(store::Connection& db, std::string_view what, const std::string& name,
                      std::string_view column, std::int64_t id, std::string_view verb) {
  std::vector<std::string> names = PersonNamesWith(db, column, id);
  if (names.empty()) return;
  const auto count = static_cast<std::int64_t>(names.size());
  std::string message = std::string(what) + " " + name + " " + std::string(verb) + " " +
                        std::to_string(count) + (count == 1 ? " person: " : " persons: ");
  if (names.size() > kExamplesShown) names.resize(kExamplesShown);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) message += ", ";
    message += names[i];
  }
  if (count > static_cast<std::int64_t>(names.size())) message += ", ...";
  throw OrgConflict(OrgConflictKind::kHeldByPersons, name, count, std::move(names), {}, message);
}

void Record(store::Connection& db, AuditRecord& audit, std::string detail) {
  audit.detail = std::move(detail);
  RecordAudit(db, audit);
}

std::map<std::int64_t, std::int64_t> PersonCounts(store::Connection& db, std::string_view column) {
  std::map<std::int64_t, std::int64_t> counts;
  const std::string c(column);
  for (store::RecordSet rows = db.Query("SELECT " + c + ", COUNT(*) FROM person WHERE " + c +
                                        " IS NOT NULL GROUP BY " + c);
       !rows.Eof(); rows.MoveNext()) {
    counts[Int(rows, 0)] = Int(rows, 1);
  }
  return counts;
}

void StoreDepartmentName(store::Connection& db, std::int64_t id, const std::string& name) {
  const std::array update{SqlParam::Text(name), SqlParam::Integer(id)};
  const std::array insert{SqlParam::Integer(id), SqlParam::Text(name)};
  store::UpdateOrInsert(db, "UPDATE hostDepartment SET departmentName = ? WHERE systemID = ?",
                        update,
                        "INSERT INTO hostDepartment (systemID, departmentName) VALUES (?, ?)",
                        insert);
}

// ---- Duties

struct StoredDuty {
  std::int64_t order = 0;
  bool leads = false;
};

std::map<std::int64_t, StoredDuty> StoredDuties(store::Connection& db) {
  std::map<std::int64_t, StoredDuty> stored;
  for (store::RecordSet rows = db.QueryStored("SELECT dutyID, dutyOrder, leads FROM hostDuty");
       !rows.Eof(); rows.MoveNext()) {
    stored[Int(rows, 0)] = {Int(rows, 1), Int(rows, 2) != 0};
  }
  return stored;
}

void StoreDuty(store::Connection& db, std::int64_t id, std::int64_t order, bool leads) {
  const std::array update{SqlParam::Integer(order), SqlParam::Integer(leads ? 1 : 0),
                          SqlParam::Integer(id)};
  const std::array insert{SqlParam::Integer(id), SqlParam::Integer(order),
                          SqlParam::Integer(leads ? 1 : 0)};
  store::UpdateOrInsert(db, "UPDATE hostDuty SET dutyOrder = ?, leads = ? WHERE dutyID = ?",
                        update, "INSERT INTO hostDuty (dutyID, dutyOrder, leads) VALUES (?, ?, ?)",
                        insert);
}

const Duty& FindDuty(const std::vector<Duty>& duties, std::int64_t id) {
  const auto it = std::find_if(duties.begin(), duties.end(), [id](const Duty& d) {
    return d.id == id;
  });
  if (it == duties.end()) ThrowNotFound("duty", id);
  return *it;
}

std::string LeadsText(bool leads) { return leads ? "leads" : "does not lead"; }

// ---- Places

std::string PlaceKindName(store::Connection& db, std::int64_t kind_id) {
  const std::array params{SqlParam::Integer(kind_id)};
  const store::RecordSet rows =
      db.Query("SELECT planAddrTypeName FROM planAddrType WHERE planAddrTypeID = ?", params);
  if (rows.Eof()) ThrowNotFound("kind of place", kind_id);
  return Text(rows, 0);
}

Place FindPlace(store::Connection& db, std::int64_t place_id) {
  if (!LockExisting(db, "planAddr", "planAddrID", place_id)) ThrowNotFound("place", place_id);
  const std::array params{SqlParam::Integer(place_id)};
  const store::RecordSet rows = db.Query(
      "SELECT planAddrID, planAddrName, planAddrTypeID FROM planAddr WHERE planAddrID = ?",
      params);
  return {Int(rows, 0), Text(rows, 1), OptionalInt(rows, 2)};
}

std::vector<SqlParam> KindScope(const std::optional<std::int64_t>& kind_id) {
  if (!kind_id) return {};
  return {SqlParam::Integer(*kind_id)};
}
std::string_view KindScopeSql(const std::optional<std::int64_t>& kind_id) {
  return kind_id ? " AND planAddrTypeID = ?" : " AND planAddrTypeID IS NULL";
}

}  // namespace

std::optional<std::string> ReadOrgName(std::string_view text, std::size_t max_characters) {
  const std::string_view name = TrimWhitespace(text);
  if (name.empty() || !IsValidUtf8(name) || HasControlCharacter(name) ||
      name.find('\t') != std::string_view::npos || CountCharacters(name) > max_characters) {
    return std::nullopt;
  }
  return std::string(name);
}

// ---- Departments

std::vector<Department> Departments(store::Connection& db) {
  std::map<std::int64_t, Department> departments;
  for (store::RecordSet rows =
           db.Query("SELECT systemID, departmentName FROM hostDepartment");
       !rows.Eof(); rows.MoveNext()) {
    const std::int64_t id = Int(rows, 0);
    departments[id] = {id, Text(rows, 1), 0};
  }
  for (const auto& [id, count] : PersonCounts(db, "systemID")) {
    Department& department = departments[id];
    department.id = id;
    department.persons = count;
  }
  std::vector<Department> list;
  for (auto& entry : departments) list.push_back(std::move(entry.second));
  return list;
}

std::optional<std::string> DepartmentName(store::Connection& db, std::int64_t system_id) {
  const std::array params{SqlParam::Integer(system_id)};
  const store::RecordSet rows =
      db.QueryStored("SELECT departmentName FROM hostDepartment WHERE systemID = ?", params);
  if (rows.Eof()) return std::nullopt;
  return Text(rows, 0);
}

std::int64_t AddDepartment(store::Connection& db, std::string_view name, AuditRecord audit) {
  const std::string checked = CheckedName("department", name, kMaxOrgName);
  store::Transaction transaction(db);
  // Persons may name departments that have no name yet: the new id lies
  // above theirs too.
  const std::int64_t named = NextId(db, "hostDepartment", "systemID");
  const std::int64_t id =
      std::max(named, OptionalInt(db.Query("SELECT MAX(systemID) FROM person"), 0).value_or(0) + 1);
  RequireFreeName(db, "department", "hostDepartment", "systemID", "departmentName", checked, id);
  const std::array params{SqlParam::Integer(id), SqlParam::Text(checked)};
  db.Execute("INSERT INTO hostDepartment (systemID, departmentName) VALUES (?, ?)", params);
  Record(db, audit, "department " + std::to_string(id) + " added: " + checked);
  transaction.Commit();
  return id;
}

void RenameDepartment(store::Connection& db, std::int64_t system_id, std::string_view name,
                      AuditRecord audit) {
  const std::string checked = CheckedName("department", name, kMaxOrgName);
  store::Transaction transaction(db);
  const std::optional<std::string> old = DepartmentName(db, system_id);
  if (!old && PersonNamesWith(db, "systemID", system_id).empty()) {
    ThrowNotFound("department", system_id);
  }
  RequireFreeName(db, "department", "hostDepartment", "systemID", "departmentName", checked,
                  system_id);
  StoreDepartmentName(db, system_id, checked);
  Record(db, audit,
         "department " + std::to_string(system_id) + " renamed: " + old.value_or("") + " -> " +
             checked);
  transaction.Commit();
}

void RemoveDepartment(store::Connection& db, std::int64_t system_id, AuditRecord audit) {
  store::Transaction transaction(db);
  const bool named = LockExisting(db, "hostDepartment", "systemID", system_id);
  const std::string name = DepartmentName(db, system_id).value_or(std::to_string(system_id));
  RequireNoPersons(db, "department", name, "systemID", system_id, "has");
  if (!named) ThrowNotFound("department", system_id);
  const std::array params{SqlParam::Integer(system_id)};
  db.Execute("DELETE FROM hostDepartment WHERE systemID = ?", params);
  Record(db, audit, "department " + std::to_string(system_id) + " removed: " + name);
  transaction.Commit();
}

// ---- Duties

std::vector<Duty> Duties(store::Connection& db) {
  const std::map<std::int64_t, StoredDuty> stored = StoredDuties(db);
  const std::map<std::int64_t, std::int64_t> persons = PersonCounts(db, "dutyID");
  std::vector<Duty> duties;
  for (store::RecordSet rows = db.Query("SELECT dutyID, dutyName FROM personDuty"); !rows.Eof();
       rows.MoveNext()) {
    Duty duty;
    duty.id = Int(rows, 0);
    duty.name = Text(rows, 1);
    const auto row = stored.find(duty.id);
    duty.order = row != stored.end() ? row->second.order : duty.id;
    duty.leads = row != stored.end() ? row->second.leads : store::IsLeadingDuty(duty.id);
    const auto count = persons.find(duty.id);
    duty.persons = count != persons.end() ? count->second : 0;
    duties.push_back(std::move(duty));
  }
  std::sort(duties.begin(), duties.end(), [](const Duty& a, const Duty& b) {
    return std::tie(a.order, a.id) < std::tie(b.order, b.id);
  });
  return duties;
}

// Every page asks whether its visitor leads and most sort persons by duty:
// both are kept with the duties' rows while the database is unchanged.
std::set<std::int64_t> LeadingDutiesInDatabase(store::Connection& db) {
  return *db.KeptValue<std::set<std::int64_t>>("leading duties", [&db] {
    std::set<std::int64_t> leading;
    for (std::int64_t duty = 1; store::IsLeadingDuty(duty); ++duty) leading.insert(duty);
    for (const auto& [id, duty] : StoredDuties(db)) {
      if (duty.leads) {
        leading.insert(id);
      } else {
        leading.erase(id);
      }
    }
    return leading;
  });
}

std::shared_ptr<const std::map<std::int64_t, std::int64_t>> DutyRanks(store::Connection& db) {
  return db.KeptValue<std::map<std::int64_t, std::int64_t>>("duty ranks", [&db] {
    std::map<std::int64_t, std::int64_t> ranks;
    for (const auto& [id, duty] : StoredDuties(db)) ranks[id] = duty.order;
    return ranks;
  });
}

void SortByDuty(store::Connection& db, std::vector<Person>& persons) {
  const std::shared_ptr<const std::map<std::int64_t, std::int64_t>> kept = DutyRanks(db);
  const std::map<std::int64_t, std::int64_t>& ranks = *kept;
  const auto key = [&ranks](const Person& p) {
    std::int64_t rank = 0;
    if (p.duty_id) {
      const auto it = ranks.find(*p.duty_id);
      rank = it != ranks.end() ? it->second : *p.duty_id;
    }
    return std::make_tuple(!p.duty_id, rank, p.duty_id.value_or(0), p.id);
  };
  std::stable_sort(persons.begin(), persons.end(),
                   [&key](const Person& a, const Person& b) { return key(a) < key(b); });
}

std::int64_t AddDuty(store::Connection& db, std::string_view name, bool leads, AuditRecord audit) {
  const std::string checked = CheckedName("duty", name, kMaxOrgName);
  store::Transaction transaction(db);
  const std::int64_t id = NextId(db, "personDuty", "dutyID");
  RequireFreeName(db, "duty", "personDuty", "dutyID", "dutyName", checked, id);
  const std::vector<Duty> duties = Duties(db);
  const std::int64_t order = duties.empty() ? 1 : duties.back().order + 1;
  const std::array params{SqlParam::Integer(id), SqlParam::Text(checked)};
  db.Execute("INSERT INTO personDuty (dutyID, dutyName) VALUES (?, ?)", params);
  StoreDuty(db, id, order, leads);
  Record(db, audit, "duty " + std::to_string(id) + " added: " + checked + ", " + LeadsText(leads));
  transaction.Commit();
  return id;
}

void RenameDuty(store::Connection& db, std::int64_t duty_id, std::string_view name,
                AuditRecord audit) {
  const std::string checked = CheckedName("duty", name, kMaxOrgName);
  store::Transaction transaction(db);
  if (!LockExisting(db, "personDuty", "dutyID", duty_id)) ThrowNotFound("duty", duty_id);
  const std::string old = FindDuty(Duties(db), duty_id).name;
  RequireFreeName(db, "duty", "personDuty", "dutyID", "dutyName", checked, duty_id);
  const std::array params{SqlParam::Text(checked), SqlParam::Integer(duty_id)};
  db.Execute("UPDATE personDuty SET dutyName = ? WHERE dutyID = ?", params);
  Record(db, audit, "duty " + std::to_string(duty_id) + " renamed: " + old + " -> " + checked);
  transaction.Commit();
}

void MoveDuty(store::Connection& db, std::int64_t duty_id, std::int64_t position,
              AuditRecord audit) {
  store::Transaction transaction(db);
  if (!LockExisting(db, "personDuty", "dutyID", duty_id)) ThrowNotFound("duty", duty_id);
  std::vector<Duty> duties = Duties(db);
  const auto from = std::find_if(duties.begin(), duties.end(),
                                 [duty_id](const Duty& d) { return d.id == duty_id; });
  const Duty moved = *from;
  duties.erase(from);
  const auto to = static_cast<std::size_t>(
      std::clamp<std::int64_t>(position, 1, static_cast<std::int64_t>(duties.size()) + 1) - 1);
  duties.insert(duties.begin() + static_cast<std::ptrdiff_t>(to), moved);
  // Every duty gets its place stored, so that the order no longer depends
  // on the ids of duties that had none.
  for (std::size_t i = 0; i < duties.size(); ++i) {
    StoreDuty(db, duties[i].id, static_cast<std::int64_t>(i + 1), duties[i].leads);
  }
  Record(db, audit,
         "duty " + std::to_string(duty_id) + " (" + moved.name + ") moved to " +
             std::to_string(to + 1));
  transaction.Commit();
}

void SetDutyLeads(store::Connection& db, std::int64_t duty_id, bool leads, AuditRecord audit) {
  store::Transaction transaction(db);
  if (!LockExisting(db, "personDuty", "dutyID", duty_id)) ThrowNotFound("duty", duty_id);
  const Duty duty = FindDuty(Duties(db), duty_id);
  StoreDuty(db, duty_id, duty.order, leads);
  Record(db, audit, "duty " + std::to_string(duty_id) + " (" + duty.name + ") " + LeadsText(leads));
  transaction.Commit();
}

void RemoveDuty(store::Connection& db, std::int64_t duty_id, AuditRecord audit) {
  store::Transaction transaction(db);
  if (!LockExisting(db, "personDuty", "dutyID", duty_id)) ThrowNotFound("duty", duty_id);
  const std::string name = FindDuty(Duties(db), duty_id).name;
  RequireNoPersons(db, "duty", name, "dutyID", duty_id, "is held by");
  const std::array params{SqlParam::Integer(duty_id)};
  db.Execute("DELETE FROM hostDuty WHERE dutyID = ?", params);
  db.Execute("DELETE FROM personDuty WHERE dutyID = ?", params);
  Record(db, audit, "duty " + std::to_string(duty_id) + " removed: " + name);
  transaction.Commit();
}

// ---- Places

std::vector<PlaceKind> PlaceKindsOf(store::Connection& db) {
  std::vector<PlaceKind> kinds;
  for (store::RecordSet rows = db.Query(
           "SELECT planAddrTypeID, planAddrTypeName FROM planAddrType ORDER BY planAddrTypeID");
       !rows.Eof(); rows.MoveNext()) {
    kinds.push_back({Int(rows, 0), Text(rows, 1)});
  }
  return kinds;
}

std::vector<Place> PlacesOf(store::Connection& db) {
  std::vector<Place> places;
  for (store::RecordSet rows = db.Query("SELECT planAddrID, planAddrName, planAddrTypeID FROM "
                                        "planAddr ORDER BY planAddrTypeID, planAddrID");
       !rows.Eof(); rows.MoveNext()) {
    places.push_back({Int(rows, 0), Text(rows, 1), OptionalInt(rows, 2)});
  }
  return places;
}

void RenamePlaceKind(store::Connection& db, std::int64_t kind_id, std::string_view name,
                     AuditRecord audit) {
  const std::string checked = CheckedName("kind of place", name, kMaxOrgName);
  store::Transaction transaction(db);
  if (!LockExisting(db, "planAddrType", "planAddrTypeID", kind_id)) {
    ThrowNotFound("kind of place", kind_id);
  }
  const std::string old = PlaceKindName(db, kind_id);
  RequireFreeName(db, "kind of place", "planAddrType", "planAddrTypeID", "planAddrTypeName",
                  checked, kind_id);
  const std::array params{SqlParam::Text(checked), SqlParam::Integer(kind_id)};
  db.Execute("UPDATE planAddrType SET planAddrTypeName = ? WHERE planAddrTypeID = ?", params);
  Record(db, audit,
         "kind of place " + std::to_string(kind_id) + " renamed: " + old + " -> " + checked);
  transaction.Commit();
}

std::int64_t AddPlace(store::Connection& db, std::string_view name, std::int64_t kind_id,
                      AuditRecord audit) {
  const std::string checked = CheckedName("place", name, kMaxPlaceName);
  store::Transaction transaction(db);
  const std::string kind = PlaceKindName(db, kind_id);
  const std::int64_t id = NextId(db, "planAddr", "planAddrID");
  RequireFreeName(db, "place", "planAddr", "planAddrID", "planAddrName", checked, id,
                  KindScopeSql(kind_id), KindScope(kind_id));
  const std::array params{SqlParam::Integer(id), SqlParam::Text(checked),
                          SqlParam::Integer(kind_id)};
  db.Execute("INSERT INTO planAddr (planAddrID, planAddrName, planAddrTypeID) VALUES (?, ?, ?)",
             params);
  Record(db, audit, "place " + std::to_string(id) + " added: " + checked + " (" + kind + ")");
  transaction.Commit();
  return id;
}

void RenamePlace(store::Connection& db, std::int64_t place_id, std::string_view name,
                 AuditRecord audit) {
  const std::string checked = CheckedName("place", name, kMaxPlaceName);
  store::Transaction transaction(db);
  const Place place = FindPlace(db, place_id);
  RequireFreeName(db, "place", "planAddr", "planAddrID", "planAddrName", checked, place_id,
                  KindScopeSql(place.kind_id), KindScope(place.kind_id));
  const std::array params{SqlParam::Text(checked), SqlParam::Integer(place_id)};
  db.Execute("UPDATE planAddr SET planAddrName = ? WHERE planAddrID = ?", params);
  Record(db, audit,
         "place " + std::to_string(place_id) + " renamed: " + place.name + " -> " + checked);
  transaction.Commit();
}

void SetPlaceKind(store::Connection& db, std::int64_t place_id, std::int64_t kind_id,
                  AuditRecord audit) {
  store::Transaction transaction(db);
  const Place place = FindPlace(db, place_id);
  const std::string kind = PlaceKindName(db, kind_id);
  RequireFreeName(db, "place", "planAddr", "planAddrID", "planAddrName", place.name, place_id,
                  KindScopeSql(kind_id), KindScope(kind_id));
  const std::array params{SqlParam::Integer(kind_id), SqlParam::Integer(place_id)};
  db.Execute("UPDATE planAddr SET planAddrTypeID = ? WHERE planAddrID = ?", params);
  Record(db, audit,
         "place " + std::to_string(place_id) + " (" + place.name + ") filed under " + kind);
  transaction.Commit();
}

void RemovePlace(store::Connection& db, std::int64_t place_id, AuditRecord audit) {
  store::Transaction transaction(db);
  const Place place = FindPlace(db, place_id);
  const std::array params{SqlParam::Integer(place_id)};
  const store::RecordSet use = db.Query(
      "SELECT COUNT(*), " + store::TimeText(db.engine(), "MAX(planStartTime)") +
          " FROM personPlan WHERE planAddrID = ?",
      params);
  const std::int64_t count = Int(use, 0);
  if (count > 0) {
    const std::string latest_text = Text(use, 1);
    const std::optional<DateTime> latest = store::ReadStoredDateTime(latest_text);
    const std::string day = latest ? DateText(*latest) : latest_text.substr(0, 10);
    throw OrgConflict(OrgConflictKind::kUsedByPlans, place.name, count, {}, day,
                      "place " + place.name + " is used by " + std::to_string(count) +
                          (count == 1 ? " plan" : " plans") + ", the latest on " + day);
  }
  // A plan deleted lately can be restored: its place must stay. Deleted
  // plans are stamped in local time, the audit in UTC: a day more covers
  // any zone.
  const std::array recent{SqlParam::Integer(place_id),
                          SqlParam::Timestamp(audit.at.AddDays(-(kKeepDeletedDays + 1)))};
  const std::int64_t deleted = Int(
      db.Query("SELECT COUNT(*) FROM hostDeletedPlan WHERE planAddrID = ? AND deletedAt >= ?",
               recent),
      0);
  if (deleted > 0) {
    throw OrgConflict(OrgConflictKind::kUsedByDeletedPlans, place.name, deleted, {}, {},
                      "place " + place.name + " is used by " + std::to_string(deleted) +
                          (deleted == 1 ? " plan" : " plans") +
                          " deleted lately, which can still be restored");
  }
  db.Execute("DELETE FROM planAddr WHERE planAddrID = ?", params);
  Record(db, audit, "place " + std::to_string(place_id) + " removed: " + place.name);
  transaction.Commit();
}

void WriteDemoOrganisation(store::Connection& db, const store::DemoData& data) {
  for (const store::DemoDuty& duty : data.duties) {
    StoreDuty(db, duty.id, duty.id, store::IsLeadingDuty(duty.id));
  }
  for (const store::DemoDepartment& department : data.departments) {
    StoreDepartmentName(db, department.id, department.name);
  }
}

}  // namespace ostrand::web
