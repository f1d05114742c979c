#include "web/data/staff_import.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <optional>
#include <unordered_map>

#include "core/error.h"
#include "core/text.h"
#include "store/sql_param.h"
#include "web/data/person_registry.h"
#include "web/data/outbox.h"
#include "web/data/plan_events.h"
#include "web/data/row_values.h"

namespace ostrand::web {
namespace {

using store::SqlParam;

struct Stored {
  std::string name;
  std::optional<std::int64_t> duty_id;
  std::optional<std::int64_t> department_id;
};

// A refused record: why, its values, and the reason in English.
struct Refused {
  StaffRefusal refusal;
  std::vector<std::string> values;
  std::string reason;
};

[[noreturn]] void Refuse(StaffRefusal refusal, std::vector<std::string> values,
                         std::string reason) {
  throw Refused{refusal, std::move(values), std::move(reason)};
}

// Ids and names of departments or duties, for reading a field as either.
class Names {
 public:
  Names(std::string_view what, StaffRefusal none, StaffRefusal several,
        const std::vector<Choice>& choices)
      : what_(what), none_(none), several_(several) {
    for (const Choice& c : choices) {
      ids_.emplace(c.id, c.name);
      if (!c.name.empty()) by_name_[c.name].push_back(c.id);
    }
  }

  // The id that `text` names; refuses the record when it names none.
  std::int64_t Find(const std::string& text) const {
    if (const auto id = ReadWholeNumber(text, std::numeric_limits<std::int64_t>::max());
        id && ids_.contains(*id)) {
      return *id;
    }
    const auto named = by_name_.find(text);
    if (named == by_name_.end()) {
      Refuse(none_, {text}, "there is no " + std::string(what_) + " '" + text + "'");
    }
    if (named->second.size() > 1) {
      const std::string count = std::to_string(named->second.size());
      Refuse(several_, {count, text},
             count + " " + std::string(what_) + "s are named '" + text + "': give the number");
    }
    return named->second.front();
  }

  // How the file writes the id: its name when that names it alone.
  std::string Written(std::optional<std::int64_t> id) const {
    if (!id) return "";
    const auto found = ids_.find(*id);
    if (found != ids_.end() && !found->second.empty() &&
        by_name_.at(found->second).size() == 1 && !ReadWholeNumber(found->second, std::numeric_limits<std::int64_t>::max())) {
      return found->second;
    }
    return std::to_string(*id);
  }

  std::string Shown(std::int64_t id) const {
    const auto found = ids_.find(id);
    return found == ids_.end() || found->second.empty() ? std::to_string(id)
                                                        : found->second + " (" +
                                                              std::to_string(id) + ")";
  }

 private:
  std::string_view what_;
  StaffRefusal none_;
  StaffRefusal several_;
  std::map<std::int64_t, std::string> ids_;
  std::unordered_map<std::string, std::vector<std::int64_t>> by_name_;
};

std::map<std::int64_t, Stored> StoredPersons(store::Connection& db) {
  std::map<std::int64_t, Stored> persons;
  for (store::RecordSet rows =
           db.Query("SELECT personID, personName, dutyID, systemID FROM person");
       !rows.Eof(); rows.MoveNext()) {
    persons.emplace(Int(rows, 0), Stored{Text(rows, 1), OptionalInt(rows, 2), OptionalInt(rows, 3)});
  }
  return persons;
}

class Matcher {
 public:
  explicit Matcher(store::Connection& db)
      : persons_(StoredPersons(db)),
        departments_("department", StaffRefusal::kNoSuchDepartment,
                     StaffRefusal::kSeveralDepartments, DepartmentChoices(db)),
        duties_("duty", StaffRefusal::kNoSuchDuty, StaffRefusal::kSeveralDuties,
                DutyChoices(db)) {
    for (const auto& [id, person] : persons_) by_name_[person.name].push_back(id);
  }

  StaffEntry Match(const plans::StaffRecord& record) {
    StaffEntry entry;
    entry.line = record.line;
    try {
      MatchPerson(record, entry);
    } catch (Refused& refused) {
      entry.action = StaffAction::kRefused;
      entry.refusal = refused.refusal;
      entry.values = std::move(refused.values);
      entry.reason = std::move(refused.reason);
    }
    return entry;
  }

 private:
  // The id the field names, or the person's own when it is empty.
  static std::int64_t Field(const Names& names, const std::string& text,
                            std::optional<std::int64_t> kept, StaffRefusal when_none,
                            const char* reason) {
    if (!text.empty()) return names.Find(text);
    if (!kept) Refuse(when_none, {}, reason);
    return *kept;
  }

  static std::string CheckedName(const std::string& name) {
    try {
      return CheckedPersonName(name);
    } catch (const Error& e) {
      Refuse(StaffRefusal::kBadName, {name}, e.message_text());
    }
  }

  void MatchPerson(const plans::StaffRecord& record, StaffEntry& entry) {
    const std::string name = record.name.empty() ? "" : CheckedName(record.name);
    const Stored* stored = nullptr;
    if (!record.number.empty()) {
      const auto id = ReadWholeNumber(record.number, std::numeric_limits<std::int64_t>::max());
      if (!id) {
        Refuse(StaffRefusal::kBadNumber, {record.number},
               "'" + record.number + "' is no person number");
      }
      const auto found = persons_.find(*id);
      if (found == persons_.end()) {
        Refuse(StaffRefusal::kNoSuchPerson, {record.number},
               "there is no person " + record.number +
                   " (a new person is added by name, without a number)");
      }
      entry.person_id = *id;
      stored = &found->second;
    } else {
      if (name.empty()) {
        Refuse(StaffRefusal::kNoNumberOrName, {}, "the record gives neither a number nor a name");
      }
      const auto named = by_name_.find(name);
      if (named != by_name_.end() && named->second.size() > 1) {
        const std::string count = std::to_string(named->second.size());
        Refuse(StaffRefusal::kSeveralNamed, {count, name},
               count + " persons are named '" + name + "': give the number");
      }
      if (named != by_name_.end()) {
        entry.person_id = named->second.front();
        stored = &persons_.at(entry.person_id);
      } else if (const auto earlier = new_names_.find(name); earlier != new_names_.end()) {
        const std::string line = std::to_string(earlier->second);
        Refuse(StaffRefusal::kNameAddedBefore, {line},
               "line " + line + " adds a person of this name already");
      }
    }
    if (stored) {
      if (const auto earlier = seen_.find(entry.person_id); earlier != seen_.end()) {
        const std::string id = std::to_string(entry.person_id);
        const std::string line = std::to_string(earlier->second);
        Refuse(StaffRefusal::kPersonOnEarlierLine, {id, line},
               "person " + id + " is on line " + line + " already");
      }
    }

    const std::int64_t department =
        Field(departments_, record.department, stored ? stored->department_id : std::nullopt,
              StaffRefusal::kNeedsDepartment, "the record needs a department");
    const std::int64_t duty =
        Field(duties_, record.duty, stored ? stored->duty_id : std::nullopt,
              StaffRefusal::kNeedsDuty, "the record needs a duty");

    entry.name = name.empty() ? stored->name : name;
    entry.department_id = department;
    entry.duty_id = duty;
    if (!stored) {
      entry.action = StaffAction::kAdd;
      new_names_.emplace(entry.name, record.line);
      return;
    }
    seen_.emplace(entry.person_id, record.line);
    std::string changes;
    const auto note = [&](std::string what) {
      if (!changes.empty()) changes += "; ";
      changes += what;
    };
    entry.name_changed = entry.name != stored->name;
    entry.department_changed = stored->department_id != department;
    entry.duty_changed = stored->duty_id != duty;
    if (entry.name_changed) note("name " + stored->name + " → " + entry.name);
    if (entry.department_changed) {
      note("department " +
           (stored->department_id ? departments_.Shown(*stored->department_id) : "-") + " → " +
           departments_.Shown(department));
    }
    if (entry.duty_changed) {
      note("duty " + (stored->duty_id ? duties_.Shown(*stored->duty_id) : "-") + " → " +
           duties_.Shown(duty));
    }
    entry.action = changes.empty() ? StaffAction::kUnchanged : StaffAction::kChange;
    entry.reason = std::move(changes);
  }

  std::map<std::int64_t, Stored> persons_;
  std::unordered_map<std::string, std::vector<std::int64_t>> by_name_;
  Names departments_;
  Names duties_;
  std::map<std::int64_t, int> seen_;                // person: line
  std::unordered_map<std::string, int> new_names_;  // name added: line
};

void Write(store::Connection& db, StaffImportReport& report,
           const std::function<void(const StaffImportReport&)>& within) {
  EnsurePersonIdCounter(db);
  store::Transaction transaction(db);
  std::int64_t next =
      report.added > 0 ? ReservePersonIds(db, static_cast<std::int64_t>(report.added)) : 0;
  for (StaffEntry& entry : report.entries) {
    if (entry.action == StaffAction::kAdd) {
      entry.person_id = next++;
      const std::array row{SqlParam::Integer(entry.person_id), SqlParam::Text(entry.name),
                           SqlParam::Integer(entry.duty_id),
                           SqlParam::Integer(entry.department_id)};
      db.Execute(
          "INSERT INTO person (personID, personName, dutyID, systemID) VALUES (?, ?, ?, ?)", row);
      AddPersonEvent(db, kPersonAdded, entry.person_id, std::nullopt);
    } else if (entry.action == StaffAction::kChange) {
      const std::array row{SqlParam::Text(entry.name), SqlParam::Integer(entry.duty_id),
                           SqlParam::Integer(entry.department_id),
                           SqlParam::Integer(entry.person_id)};
      db.Execute("UPDATE person SET personName = ?, dutyID = ?, systemID = ? WHERE personID = ?",
                 row);
    }
  }
  report.written = true;
  if (within) within(report);
  transaction.Commit();
}

}  // namespace

StaffImportReport ImportStaff(store::Connection& db, const plans::StaffFile& file, bool apply,
                              const std::function<void(const StaffImportReport&)>& within) {
  StaffImportReport report;
  Matcher matcher(db);
  for (const plans::StaffRecord& record : file.records) {
    report.entries.push_back(matcher.Match(record));
  }
  for (const plans::ImportProblem& problem : file.problems) {
    StaffEntry entry;
    entry.line = problem.line;
    entry.refusal = StaffRefusal::kFileProblem;
    entry.reason = problem.reason;
    report.entries.push_back(std::move(entry));
  }
  std::stable_sort(report.entries.begin(), report.entries.end(),
                   [](const StaffEntry& a, const StaffEntry& b) { return a.line < b.line; });
  for (const StaffEntry& entry : report.entries) {
    switch (entry.action) {
      case StaffAction::kAdd:
        ++report.added;
        break;
      case StaffAction::kChange:
        ++report.changed;
        break;
      case StaffAction::kUnchanged:
        ++report.unchanged;
        break;
      case StaffAction::kRefused:
        ++report.refused;
        break;
    }
  }
  if (apply && report.refused == 0 && report.added + report.changed > 0) {
    try {
      Write(db, report, within);
    } catch (...) {
      report.written = false;
      for (StaffEntry& entry : report.entries) {
        if (entry.action == StaffAction::kAdd) entry.person_id = 0;
      }
      throw;
    }
  }
  return report;
}

std::vector<plans::StaffRecord> StaffRecords(store::Connection& db) {
  const Names departments("department", StaffRefusal::kNoSuchDepartment,
                          StaffRefusal::kSeveralDepartments, DepartmentChoices(db));
  const Names duties("duty", StaffRefusal::kNoSuchDuty, StaffRefusal::kSeveralDuties,
                     DutyChoices(db));
  PersonQuery everybody;
  everybody.include_retired = true;
  std::vector<plans::StaffRecord> records;
  for (const ListedPerson& person : SearchPersons(db, everybody).persons) {
    plans::StaffRecord record;
    record.number = std::to_string(person.id);
    record.name = person.name;
    record.department = departments.Written(person.department_id);
    record.duty = duties.Written(person.duty_id);
    if (person.retired_at) record.retired = store::StorageDateText(*person.retired_at);
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace ostrand::web
