#include "web/data/calendar_objects.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <set>
#include <sodium.h>
#include <utility>

#include "core/date_text.h"
#include "core/hex.h"
#include "core/sodium_start.h"
#include "core/text.h"
#include "core/utf8.h"
#include "feeds/event_object.h"
#include "feeds/feed_source.h"
#include "feeds/ical_feed.h"
#include "store/engine_sql.h"
#include "web/data/audit_log.h"
#include "web/data/organisation.h"
#include "web/data/persons.h"
#include "web/data/outbox.h"
#include "web/data/plan_changes.h"
#include "web/data/plan_events.h"
#include "web/data/plan_repository.h"
#include "web/data/row_values.h"
#include "web/data/sync_token.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kOwnSegment = "own";
constexpr std::string_view kPersonPrefix = "person-";
constexpr std::string_view kDepartmentSegment = "department";
constexpr std::string_view kDepartment2Segment = "department2";
constexpr std::string_view kPlanPrefix = "plan-";
constexpr std::string_view kObjectSuffix = ".ics";
// The longest resource name stored (hostCalendarObject.objectName).
constexpr std::size_t kMaxObjectName = 255;
// hostSetting's row with the highest change number pruned: older tokens no
// longer read.
constexpr std::string_view kChangeFloorSetting = "calendarChangeFloor";
constexpr std::string_view kAuditPut = audit::kCalendarPut;
constexpr std::string_view kAuditDelete = audit::kCalendarDelete;

// The component's plan readers over this connection, translated as a
// PlanStore does, but never from the result cache: a write's own
// transaction must read what it wrote.
class ConnectionSource final : public store::QuerySource {
 public:
  explicit ConnectionSource(store::Connection& db) : db_(db) {}
  store::RecordSet Query(const std::string& tsql) override {
    const store::Connection::ComponentQuery& query = db_.Prepared(tsql);
    return db_.Query(*query.sql, query.params);
  }

 private:
  store::Connection& db_;
};

std::string EntityTag(std::string_view bytes) {
  StartSodium();
  std::array<unsigned char, crypto_hash_sha256_BYTES> hash{};
  crypto_hash_sha256(hash.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                     bytes.size());
  return "\"" + HexText(std::span(hash.data(), 16), HexCase::kLower) + "\"";
}

std::string PlanName(std::int64_t plan_id) {
  return std::string(kPlanPrefix) + std::to_string(plan_id) + std::string(kObjectSuffix);
}

// The plan id of a name "plan-<id>.ics", or nothing.
std::optional<std::int64_t> PlanIdOfName(std::string_view name) {
  if (!name.starts_with(kPlanPrefix) || !name.ends_with(kObjectSuffix)) return std::nullopt;
  name.remove_prefix(kPlanPrefix.size());
  name.remove_suffix(kObjectSuffix.size());
  return ReadWholeNumber(name, std::numeric_limits<std::int64_t>::max());
}

bool IsPlainName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxObjectName && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string_view::npos && IsValidUtf8(name) &&
         !HasControlCharacter(name);
}

// A calendar object a client put, with its plans by recurrence id.
struct StoredObject {
  std::int64_t id = 0;
  std::string name;
  std::string uid;
  std::string text;
  std::map<std::string, std::int64_t> plans;  // recurrence id -> plan id
};

// One resource as GET gives it, and the days its plans cover.
struct Entry {
  std::string name;
  std::string text;
  std::string etag;
  std::vector<std::pair<DateTime, DateTime>> spans;
  std::optional<std::int64_t> object_id;   // a client's object
  std::vector<std::int64_t> plan_ids;      // its live plans
  bool shared = false;                     // one of them is shared
};

// Everything a calendar shows now, by name.
struct Snapshot {
  std::vector<Entry> entries;
  std::vector<std::int64_t> persons;  // whose changes it shows

  const Entry* Find(std::string_view name) const {
    const auto found = std::lower_bound(
        entries.begin(), entries.end(), name,
        [](const Entry& entry, std::string_view key) { return entry.name < key; });
    return found != entries.end() && found->name == name ? &*found : nullptr;
  }
};

// The person's objects with their plans; with `texts`, their calendar
// texts too (else ObjectText reads one).
std::vector<StoredObject> LoadObjects(store::Connection& db, std::int64_t person_id,
                                      bool texts = false) {
  const std::array person{store::SqlParam::Integer(person_id)};
  std::vector<StoredObject> objects;
  std::map<std::int64_t, std::size_t> by_id;
  for (store::RecordSet rows = db.Query(
           texts ? "SELECT objectID, objectName, uid, calendarText FROM hostCalendarObject "
                   "WHERE personID = ? ORDER BY objectID"
                 : "SELECT objectID, objectName, uid FROM hostCalendarObject "
                   "WHERE personID = ? ORDER BY objectID",
           person);
       !rows.Eof(); rows.MoveNext()) {
    by_id[Int(rows, 0)] = objects.size();
    objects.push_back(
        {Int(rows, 0), Text(rows, 1), Text(rows, 2), texts ? Text(rows, 3) : std::string(), {}});
  }
  for (store::RecordSet rows = db.Query(
           "SELECT hostObjectPlan.objectID, hostObjectPlan.recurrenceID, hostObjectPlan.planID "
           "FROM hostObjectPlan JOIN hostCalendarObject "
           "ON hostCalendarObject.objectID = hostObjectPlan.objectID "
           "WHERE hostCalendarObject.personID = ?",
           person);
       !rows.Eof(); rows.MoveNext()) {
    const auto found = by_id.find(Int(rows, 0));
    if (found != by_id.end()) objects[found->second].plans[Text(rows, 1)] = Int(rows, 2);
  }
  return objects;
}

std::string ObjectText(store::Connection& db, std::int64_t object_id) {
  const std::array id{store::SqlParam::Integer(object_id)};
  const store::RecordSet row =
      db.Query("SELECT calendarText FROM hostCalendarObject WHERE objectID = ?", id);
  return row.Eof() ? std::string() : Text(row, 0);
}

std::int64_t ChangeFloor(store::Connection& db) {
  const std::array name{store::SqlParam::Text(std::string(kChangeFloorSetting))};
  const store::RecordSet row = db.Query("SELECT value FROM hostSetting WHERE name = ?", name);
  return row.Eof() ? 0 : Int(row, 0);
}

// The site's latest change number; 0 before the first, the floor when
// every change kept was pruned.
std::int64_t LatestChangeNumber(store::Connection& db) {
  const store::RecordSet row = db.Query("SELECT MAX(changeNumber) FROM hostCalendarChange");
  const std::int64_t latest = row.Eof() ? 0 : OptionalInt(row, 0).value_or(0);
  return std::max(latest, ChangeFloor(db));
}

feeds::FeedView ViewOf(CalendarKind kind) {
  switch (kind) {
    case CalendarKind::kOwn:
      return feeds::FeedView::kOwn;
    case CalendarKind::kColleague:
      return feeds::FeedView::kColleague;
    default:
      return feeds::FeedView::kDepartment;
  }
}

std::string DayText(const DateTime& day) { return DateTimeText(day).substr(0, 10); }

}  // namespace

CalendarObjects::CalendarObjects(store::Connection& db, const feeds::TimeZone& zone,
                                 const CalendarSettings& settings, std::int64_t viewer)
    : db_(db), zone_(zone), settings_(settings), viewer_(viewer) {}

namespace {

// The plans of one calendar, read and written as GET gives them.
class CalendarReader {
 public:
  CalendarReader(store::Connection& db, const feeds::TimeZone& zone,
                 const CalendarSettings& settings)
      : db_(db), zone_(zone), settings_(settings) {}

  feeds::FeedRange Range() const { return {settings_.first_day, settings_.last_day}; }

  // With `only`, the texts and tags of those names alone are written; the
  // other entries keep their plans, for a write that asks for one object.
  Snapshot Load(const CalendarInfo& calendar, const std::set<std::string>* only = nullptr) {
    ConnectionSource source(db_);
    Snapshot snapshot;
    std::vector<plans::PersonPlans> persons;
    if (calendar.kind == CalendarKind::kOwn || calendar.kind == CalendarKind::kColleague) {
      const feeds::FeedView view = ViewOf(calendar.kind);
      std::optional<plans::PersonPlans> person =
          feeds::LoadPerson(source, calendar.person_id, view, Range());
      if (!person) throw Error("no person " + std::to_string(calendar.person_id), ErrorKind::kNotFound);
      persons.push_back(std::move(*person));
    } else {
      const std::optional<Person> viewer = FindPerson(db_, calendar.person_id);
      const std::optional<std::string>& condition =
          calendar.kind == CalendarKind::kDepartment ? settings_.leader_condition
                                                     : settings_.leader2_condition;
      if (!viewer || !viewer->system_id || !condition) {
        throw Error("no department list for person " + std::to_string(calendar.person_id),
                    ErrorKind::kNotFound);
      }
      persons = feeds::LoadDepartment(source, Value::Text(std::to_string(*viewer->system_id)),
                                      Value::Text(*condition), Range());
    }
    AddRecordedChanges(db_, persons);
    for (const plans::PersonPlans& person : persons) snapshot.persons.push_back(person.person_id);

    std::vector<StoredObject> objects;
    std::map<std::int64_t, std::pair<std::size_t, std::string>> object_of_plan;
    if (calendar.kind == CalendarKind::kOwn) {
      objects = LoadObjects(db_, calendar.person_id, only == nullptr);
      for (std::size_t i = 0; i < objects.size(); ++i) {
        for (const auto& [recurrence, plan_id] : objects[i].plans) {
          object_of_plan[plan_id] = {i, recurrence};
        }
      }
    }
    std::vector<std::vector<feeds::EventInstance>> instances(objects.size());
    std::vector<Entry> object_entries(objects.size());
    const feeds::FeedView view = ViewOf(calendar.kind);
    for (const plans::PersonPlans& person : persons) {
      for (const plans::PlanRecord& plan : person.plans) {
        if (view != feeds::FeedView::kOwn && !plan.shared) continue;
        const auto in_object = object_of_plan.find(plan.id);
        if (in_object != object_of_plan.end()) {
          const std::size_t index = in_object->second.first;
          instances[index].push_back({in_object->second.second, plan});
          Entry& entry = object_entries[index];
          entry.spans.emplace_back(plan.start, plan.end);
          entry.plan_ids.push_back(plan.id);
          entry.shared = entry.shared || plan.shared;
          continue;
        }
        feeds::FeedRequest request;
        request.view = view;
        request.persons.push_back({person.person_id, person.name, {plan}});
        request.range = Range();
        request.uid_domain = settings_.uid_domain;
        Entry entry;
        entry.name = PlanName(plan.id);
        if (!only || only->contains(entry.name)) entry.text = feeds::WriteCalendar(request, zone_);
        entry.spans.emplace_back(plan.start, plan.end);
        entry.plan_ids.push_back(plan.id);
        entry.shared = plan.shared;
        snapshot.entries.push_back(std::move(entry));
      }
    }
    for (std::size_t i = 0; i < objects.size(); ++i) {
      // An object whose plans were all deleted in the editor is gone for
      // the client until one of them is restored.
      if (instances[i].empty()) continue;
      Entry& entry = object_entries[i];
      entry.name = objects[i].name;
      entry.object_id = objects[i].id;
      if (!only) {
        entry.text = feeds::WriteEventObject(objects[i].text, instances[i], zone_);
      } else if (only->contains(entry.name)) {
        entry.text =
            feeds::WriteEventObject(ObjectText(db_, objects[i].id), instances[i], zone_);
      }
      snapshot.entries.push_back(std::move(entry));
    }
    for (Entry& entry : snapshot.entries) {
      if (!only || only->contains(entry.name)) entry.etag = EntityTag(entry.text);
    }
    std::sort(snapshot.entries.begin(), snapshot.entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return snapshot;
  }

 private:
  store::Connection& db_;
  const feeds::TimeZone& zone_;
  const CalendarSettings& settings_;
};

// The state of a calendar as its tags name it.
void Describe(CalendarInfo& calendar, const Snapshot& snapshot, std::int64_t latest,
              const CalendarSettings& settings) {
  std::string listing;
  for (const Entry& entry : snapshot.entries) {
    listing += entry.name;
    listing += ' ';
    listing += entry.etag;
    listing += '\n';
  }
  const std::string hash = EntityTag(listing);
  calendar.ctag = std::to_string(latest) + "-" + hash.substr(1, hash.size() - 2);
  calendar.sync_token = MakeSyncToken(settings.site_uri, settings.uid_domain, latest);
}

// What a plan of a client's event becomes in the store.
struct PlaceChoice {
  std::vector<PlaceKind> kinds;
  std::vector<Place> places;
  std::int64_t default_kind = 0;
};

PlaceChoice LoadPlaceChoice(store::Connection& db, std::int64_t person_id) {
  PlanRepository repository(db);
  PlaceChoice choice;
  choice.kinds = repository.PlaceKinds();
  choice.places = repository.Places();
  if (choice.kinds.empty()) {
    throw feeds::ConditionError("the schedule has no kind of place for a plan", 403, "");
  }
  choice.default_kind = choice.kinds.front().id;
  const std::array person{store::SqlParam::Integer(person_id)};
  for (store::RecordSet rows = db.Query(
           "SELECT planAddrTypeID, COUNT(*) FROM personPlan "
           "WHERE personID = ? AND planAddrTypeID IS NOT NULL "
           "GROUP BY planAddrTypeID ORDER BY COUNT(*) DESC, planAddrTypeID",
           person);
       !rows.Eof(); rows.MoveNext()) {
    const std::int64_t kind = Int(rows, 0);
    if (std::any_of(choice.kinds.begin(), choice.kinds.end(),
                    [&](const PlaceKind& k) { return k.id == kind; })) {
      choice.default_kind = kind;
      break;
    }
  }
  return choice;
}

std::optional<std::string> Optional(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

// The plan as the store keeps it: the kind and place named by the event
// when the schedule has them (case and blanks aside); else the person's
// usual kind, and the kind's first place with the unknown place name kept
// as the detail when the event gives none.
PlanInput ResolvePlan(const plans::PlanRecord& plan, const PlaceChoice& choice) {
  const std::string_view kind_name = TrimBlanks(plan.kind);
  const std::string_view place_name = TrimBlanks(plan.place);
  std::optional<std::int64_t> kind;
  if (!kind_name.empty()) {
    for (const PlaceKind& k : choice.kinds) {
      if (EqualsNoCase(TrimBlanks(k.name), kind_name)) {
        kind = k.id;
        break;
      }
    }
  }
  std::optional<std::int64_t> place;
  if (!place_name.empty()) {
    for (const Place& p : choice.places) {
      if (!EqualsNoCase(TrimBlanks(p.name), place_name)) continue;
      if (kind && p.kind_id && *p.kind_id != *kind) continue;
      place = p.id;
      if (!kind) kind = p.kind_id;
      break;
    }
  }
  if (!kind) kind = choice.default_kind;
  PlanInput input;
  input.start = plan.start;
  input.end = plan.end;
  input.kind_id = *kind;
  input.detail = Optional(plan.detail);
  input.content = Optional(plan.content);
  input.addition = Optional(plan.addition);
  input.flag = plan.shared ? store::kSharedPlanFlag : store::kPrivatePlanFlag;
  if (!place) {
    for (const Place& p : choice.places) {
      if (p.kind_id == *kind) {
        place = p.id;
        break;
      }
    }
    if (!place) {
      std::string kind_label;
      for (const PlaceKind& k : choice.kinds) {
        if (k.id == *kind) kind_label = k.name;
      }
      throw feeds::ConditionError("the kind of place '" + kind_label + "' has no place", 403, "");
    }
    if (!place_name.empty() && !input.detail) input.detail = std::string(place_name);
  }
  input.place_id = *place;
  return input;
}

void CheckConditions(const WriteConditions& conditions, const Entry* current) {
  if (conditions.if_none_match_any && current) {
    throw feeds::ConditionError("the resource exists already (If-None-Match: *)", 412, "");
  }
  if (conditions.if_match) {
    if (!current) {
      throw feeds::ConditionError("no resource matches If-Match " + *conditions.if_match, 412,
                                  "");
    }
    if (*conditions.if_match != "*" && *conditions.if_match != current->etag) {
      throw feeds::ConditionError("the resource changed: its tag is " + current->etag +
                                      ", not " + *conditions.if_match,
                                  412, "");
    }
  }
}

void RequireWritable(const CalendarInfo& calendar, std::int64_t viewer) {
  if (calendar.kind != CalendarKind::kOwn || calendar.person_id != viewer) {
    throw feeds::ConditionError("the calendar '" + calendar.segment + "' is read-only", 403, "");
  }
}

}  // namespace

namespace {

// The calendars of the viewer, without their tags.
std::vector<CalendarInfo> ListCalendars(store::Connection& db, const CalendarSettings& settings,
                                        std::int64_t viewer_id) {
  std::vector<CalendarInfo> calendars;
  const std::optional<Person> viewer = FindPerson(db, viewer_id);
  if (!viewer) return calendars;
  CalendarInfo own;
  own.kind = CalendarKind::kOwn;
  own.person_id = viewer_id;
  own.segment = kOwnSegment;
  own.display_name = viewer->name;
  own.writable = true;
  calendars.push_back(std::move(own));
  if (viewer->system_id) {
    const std::shared_ptr<const std::vector<Person>> colleagues =
        PersonsOfSystem(db, *viewer->system_id);
    for (const Person& person : *colleagues) {
      if (person.id == viewer_id) continue;
      CalendarInfo colleague;
      colleague.kind = CalendarKind::kColleague;
      colleague.person_id = person.id;
      colleague.segment = std::string(kPersonPrefix) + std::to_string(person.id);
      colleague.display_name = person.name;
      calendars.push_back(std::move(colleague));
    }
    const std::string department = DepartmentName(db, *viewer->system_id).value_or("");
    const auto add_list = [&](CalendarKind kind, std::string_view segment,
                              const std::optional<std::string>& condition) {
      if (!condition) return;
      CalendarInfo list;
      list.kind = kind;
      list.person_id = viewer_id;
      list.segment = segment;
      list.display_name = department.empty() ? std::string(segment) : department;
      if (kind == CalendarKind::kDepartment2) list.display_name += " (2)";
      calendars.push_back(std::move(list));
    };
    add_list(CalendarKind::kDepartment, kDepartmentSegment, settings.leader_condition);
    add_list(CalendarKind::kDepartment2, kDepartment2Segment, settings.leader2_condition);
  }
  return calendars;
}

}  // namespace

std::vector<CalendarInfo> CalendarObjects::Calendars() {
  std::vector<CalendarInfo> calendars = ListCalendars(db_, settings_, viewer_);
  const std::int64_t latest = LatestChangeNumber(db_);
  CalendarReader reader(db_, zone_, settings_);
  for (CalendarInfo& calendar : calendars) {
    Describe(calendar, reader.Load(calendar), latest, settings_);
  }
  return calendars;
}

std::optional<CalendarInfo> CalendarObjects::FindCalendar(std::string_view segment,
                                                          CalendarTags tags) {
  // Only the names Calendars gives are found, so a retired colleague or a
  // person of another department is no calendar of the viewer's.
  const bool known = segment == kOwnSegment || segment == kDepartmentSegment ||
                     segment == kDepartment2Segment ||
                     (segment.starts_with(kPersonPrefix) &&
                      ReadWholeNumber(segment.substr(kPersonPrefix.size()),
                                      std::numeric_limits<std::int64_t>::max()));
  if (!known) return std::nullopt;
  for (CalendarInfo& calendar : ListCalendars(db_, settings_, viewer_)) {
    if (calendar.segment != segment) continue;
    if (tags == CalendarTags::kLeftOut) return std::move(calendar);
    const std::int64_t latest = LatestChangeNumber(db_);
    Describe(calendar, CalendarReader(db_, zone_, settings_).Load(calendar), latest, settings_);
    return std::move(calendar);
  }
  return std::nullopt;
}

std::vector<ObjectTag> CalendarObjects::Objects(
    const CalendarInfo& calendar, std::optional<std::pair<DateTime, DateTime>> days) {
  const Snapshot snapshot = CalendarReader(db_, zone_, settings_).Load(calendar);
  std::vector<ObjectTag> tags;
  for (const Entry& entry : snapshot.entries) {
    if (days) {
      const feeds::FeedRange range{days->first.DateOnly(), days->second.DateOnly()};
      if (std::none_of(entry.spans.begin(), entry.spans.end(),
                       [&](const auto& span) { return range.Covers(span.first, span.second); })) {
        continue;
      }
    }
    tags.push_back({entry.name, entry.etag});
  }
  return tags;
}

std::vector<CalendarObject> CalendarObjects::Fetch(const CalendarInfo& calendar,
                                                   std::span<const std::string> names) {
  const std::set<std::string> asked(names.begin(), names.end());
  const Snapshot snapshot = CalendarReader(db_, zone_, settings_).Load(calendar, &asked);
  std::vector<CalendarObject> objects;
  for (const std::string& name : names) {
    if (const Entry* entry = snapshot.Find(name)) {
      objects.push_back({entry->name, entry->etag, entry->text});
    }
  }
  return objects;
}

ObjectChanges CalendarObjects::ChangesSince(const CalendarInfo& calendar, std::string_view token) {
  ObjectChanges changes;
  const std::int64_t latest = LatestChangeNumber(db_);
  std::optional<std::int64_t> since;
  if (!token.empty()) {
    since = ReadSyncToken(token, settings_.uid_domain);
    if (!since || *since > latest || *since < ChangeFloor(db_)) {
      throw feeds::ConditionError("the sync token is unknown or too old", 403,
                                  "valid-sync-token");
    }
  }
  const Snapshot snapshot = CalendarReader(db_, zone_, settings_).Load(calendar);
  changes.sync_token = MakeSyncToken(settings_.site_uri, settings_.uid_domain, latest);
  if (!since) {
    for (const Entry& entry : snapshot.entries) changes.changed.push_back({entry.name, entry.etag});
    return changes;
  }
  const bool own = calendar.kind == CalendarKind::kOwn;
  std::set<std::string> names;
  for (const std::int64_t person : snapshot.persons) {
    const std::array params{store::SqlParam::Integer(person), store::SqlParam::Integer(*since),
                            store::SqlParam::Integer(latest)};
    for (store::RecordSet rows = db_.Query(
             std::string("SELECT planID, objectName FROM hostCalendarChange "
                         "WHERE personID = ? AND changeNumber > ? AND changeNumber <= ?") +
                 (own ? "" : " AND seenByColleagues = 1"),
             params);
         !rows.Eof(); rows.MoveNext()) {
      const std::optional<std::int64_t> plan = OptionalInt(rows, 0);
      const std::optional<std::string> object = OptionalText(rows, 1);
      if (own && object) {
        names.insert(*object);
      } else if (plan) {
        names.insert(PlanName(*plan));
      }
    }
  }
  for (const std::string& name : names) {
    if (const Entry* entry = snapshot.Find(name)) {
      changes.changed.push_back({entry->name, entry->etag});
    } else {
      changes.removed.push_back(name);
    }
  }
  return changes;
}

ObjectWrite CalendarObjects::Put(const CalendarInfo& calendar, std::string_view name,
                                 std::string_view text, const WriteConditions& conditions) {
  RequireWritable(calendar, viewer_);
  if (!IsPlainName(name)) {
    throw feeds::ConditionError("the resource name '" + CleanText(Utf8Prefix(name, 80)) +
                                    "' is not a plain file name",
                                400, "");
  }
  const feeds::EventObject event = feeds::ReadEventObject(
      text, zone_, {settings_.max_plan_days, settings_.max_instances});
  for (const feeds::EventInstance& instance : event.instances) {
    const DateTime& start = instance.plan.start;
    const DateTime& end = instance.plan.end;
    if (start.day() < settings_.first_day.day() || end.day() > settings_.last_day.day()) {
      throw feeds::ConditionError("the plan of " + DayText(start) + " to " + DayText(end) +
                                      " lies outside the days " + DayText(settings_.first_day) +
                                      " to " + DayText(settings_.last_day),
                                  403, "");
    }
  }
  const PlaceChoice choice = LoadPlaceChoice(db_, viewer_);
  std::vector<PlanInput> inputs;
  for (const feeds::EventInstance& instance : event.instances) {
    inputs.push_back(ResolvePlan(instance.plan, choice));
  }

  PlanRepository repository(db_);
  repository.set_actor(viewer_);
  store::Transaction transaction(db_);
  repository.LockPerson(viewer_);
  CalendarReader reader(db_, zone_, settings_);
  const std::string name_text(name);
  const std::set<std::string> only{name_text};
  const Snapshot before = reader.Load(calendar, &only);
  const Entry* current = before.Find(name_text);
  CheckConditions(conditions, current);

  std::vector<StoredObject> objects = LoadObjects(db_, viewer_);
  const bool named_object = std::any_of(objects.begin(), objects.end(),
                                        [&](const StoredObject& o) { return o.name == name_text; });
  if (const std::optional<std::int64_t> named_plan = PlanIdOfName(name_text);
      named_plan && !current && !named_object) {
    // A name of a plan that is not there yet would later stand for two
    // resources: the client's and the plan's.
    std::int64_t largest = 0;
    for (store::RecordSet rows = db_.Query("SELECT MAX(planID) FROM personPlan UNION ALL "
                                           "SELECT MAX(planID) FROM hostDeletedPlan");
         !rows.Eof(); rows.MoveNext()) {
      largest = std::max(largest, OptionalInt(rows, 0).value_or(0));
    }
    if (*named_plan > largest) {
      throw feeds::ConditionError("the name '" + name_text + "' is kept for the plans", 403, "");
    }
  }
  const auto live = [&](const StoredObject& object) {
    const Entry* entry = before.Find(object.name);
    return entry && entry->object_id == object.id;
  };
  std::optional<StoredObject> existing;
  for (StoredObject& object : objects) {
    if (object.name == name_text) {
      existing = object;
    } else if (object.uid == event.uid) {
      if (live(object)) {
        throw feeds::ConditionError("the UID '" + event.uid + "' belongs to '" + object.name + "'",
                                    409, "no-uid-conflict");
      }
      // An object none of whose plans is left holds its UID no longer.
      const std::array id{store::SqlParam::Integer(object.id)};
      db_.Execute("DELETE FROM hostObjectPlan WHERE objectID = ?", id);
      db_.Execute("DELETE FROM hostCalendarObject WHERE objectID = ?", id);
    }
  }
  // The plans the event takes over, by recurrence id: an object's live
  // plans, or the one plan a "plan-<id>.ics" named.
  std::map<std::string, std::int64_t> old_plans;
  std::set<std::int64_t> live_ids;
  if (current) live_ids.insert(current->plan_ids.begin(), current->plan_ids.end());
  if (existing) {
    for (const auto& [recurrence, plan_id] : existing->plans) {
      if (live_ids.contains(plan_id)) old_plans[recurrence] = plan_id;
    }
  } else if (current && !current->object_id && current->plan_ids.size() == 1) {
    const bool has_single = std::any_of(
        event.instances.begin(), event.instances.end(),
        [](const feeds::EventInstance& instance) { return instance.recurrence_id.empty(); });
    old_plans[has_single ? std::string() : event.instances.front().recurrence_id] =
        current->plan_ids.front();
  }
  const DateTime now = UtcNow();
  bool seen = current && current->shared;

  // The object row first, so that every change recorded below names it.
  std::int64_t object_id = 0;
  if (existing) {
    object_id = existing->id;
    const std::array params{store::SqlParam::Text(event.uid), store::SqlParam::Text(event.kept),
                            store::SqlParam::Timestamp(now), store::SqlParam::Integer(object_id)};
    db_.Execute(
        "UPDATE hostCalendarObject SET uid = ?, calendarText = ?, changedAt = ? WHERE objectID = ?",
        params);
    const std::array id{store::SqlParam::Integer(object_id)};
    db_.Execute("DELETE FROM hostObjectPlan WHERE objectID = ?", id);
  } else {
    const std::array params{store::SqlParam::Integer(viewer_), store::SqlParam::Text(name_text),
                            store::SqlParam::Text(event.uid), store::SqlParam::Text(event.kept),
                            store::SqlParam::Timestamp(now), store::SqlParam::Timestamp(now)};
    object_id = db_.InsertReturningId(
        "INSERT INTO hostCalendarObject (personID, objectName, uid, calendarText, createdAt, "
        "changedAt) VALUES (?, ?, ?, ?, ?, ?)",
        params, "objectID");
  }
  const auto link = [&](std::int64_t plan_id, const std::string& recurrence) {
    const std::array params{store::SqlParam::Integer(plan_id), store::SqlParam::Integer(object_id),
                            store::SqlParam::Text(recurrence)};
    db_.Execute("DELETE FROM hostObjectPlan WHERE planID = ?", std::span(params).first(1));
    db_.Execute("INSERT INTO hostObjectPlan (planID, objectID, recurrenceID) VALUES (?, ?, ?)",
                params);
  };

  // Plans the event no longer has go first, so that the limit counts the
  // day as it will be.
  std::set<std::string> kept_recurrences;
  for (const feeds::EventInstance& instance : event.instances) {
    kept_recurrences.insert(instance.recurrence_id);
  }
  for (const auto& [recurrence, plan_id] : old_plans) {
    if (!kept_recurrences.contains(recurrence)) repository.MoveToDeleted(viewer_, plan_id, now);
  }
  for (std::size_t i = 0; i < event.instances.size(); ++i) {
    const feeds::EventInstance& instance = event.instances[i];
    const PlanInput& input = inputs[i];
    const auto old = old_plans.find(instance.recurrence_id);
    const std::int64_t except = old != old_plans.end() ? old->second : 0;
    if (const std::optional<DateTime> full =
            repository.FirstFullDay(viewer_, input.start.DateOnly(), input.end.DateOnly(),
                                    settings_.max_plans_per_day, except)) {
      throw feeds::ConditionError("on " + DayText(*full) + " the person has " +
                                      std::to_string(settings_.max_plans_per_day) +
                                      " plans already, the most a day may hold",
                                  403, "");
    }
    const bool shared = input.flag == store::kSharedPlanFlag;
    seen = seen || shared;
    if (except != 0) {
      std::vector<store::SqlParam> params = PlanValues(input);
      params.push_back(store::SqlParam::Integer(viewer_));
      params.push_back(store::SqlParam::Integer(except));
      db_.Execute(UpdatePlanSql(), params);
      link(except, instance.recurrence_id);
      const bool was_shared = current && current->shared;
      RecordPlanChange(db_, viewer_, except, was_shared || shared, now);
      if (const std::optional<StoredPlan> stored = repository.FindPlan(viewer_, except)) {
        AddPlanEvent(db_, kPlanChanged, *stored, viewer_);
      }
    } else {
      std::vector<store::SqlParam> params = PlanValues(input);
      params.push_back(store::SqlParam::Integer(viewer_));
      const std::int64_t plan_id = db_.InsertReturningId(InsertPlanSql(), params, "planID");
      link(plan_id, instance.recurrence_id);
      RecordNewPlan(db_, viewer_, plan_id, shared, now);
      if (const std::optional<StoredPlan> stored = repository.FindPlan(viewer_, plan_id)) {
        AddPlanEvent(db_, kPlanAdded, *stored, viewer_);
      }
    }
  }
  RecordObjectChange(db_, viewer_, object_id, name_text, seen, now);
  RecordAudit(db_, {now, viewer_, std::string(kAuditPut), viewer_,
                    name_text + ": " + std::to_string(event.instances.size()) + " plan(s)",
                    settings_.address});
  const Snapshot after = reader.Load(calendar, &only);
  const Entry* written = after.Find(name_text);
  ObjectWrite write;
  write.etag = written ? written->etag : EntityTag(event.kept);
  write.created = current == nullptr;
  transaction.Commit();
  return write;
}

void CalendarObjects::Remove(const CalendarInfo& calendar, std::string_view name,
                             const WriteConditions& conditions) {
  RequireWritable(calendar, viewer_);
  PlanRepository repository(db_);
  repository.set_actor(viewer_);
  store::Transaction transaction(db_);
  repository.LockPerson(viewer_);
  const std::string name_text(name);
  const std::set<std::string> only{name_text};
  const Snapshot snapshot = CalendarReader(db_, zone_, settings_).Load(calendar, &only);
  const Entry* current = snapshot.Find(name_text);
  CheckConditions(conditions, current);
  if (!current) {
    throw Error("no calendar object '" + CleanText(Utf8Prefix(name, 80)) + "'",
                ErrorKind::kNotFound);
  }
  const DateTime now = UtcNow();
  for (const std::int64_t plan_id : current->plan_ids) {
    repository.MoveToDeleted(viewer_, plan_id, now);
  }
  if (current->object_id) {
    // A restored plan of a removed object comes back as a plan of its own.
    const std::array id{store::SqlParam::Integer(*current->object_id)};
    db_.Execute("DELETE FROM hostObjectPlan WHERE objectID = ?", id);
    db_.Execute("DELETE FROM hostCalendarObject WHERE objectID = ?", id);
    RecordObjectChange(db_, viewer_, *current->object_id, name_text, current->shared, now);
  }
  RecordAudit(db_, {now, viewer_, std::string(kAuditDelete), viewer_,
                    name_text + ": " + std::to_string(current->plan_ids.size()) + " plan(s)",
                    settings_.address});
  transaction.Commit();
}

}  // namespace ostrand::web
