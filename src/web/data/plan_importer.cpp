#include "web/data/plan_importer.h"

#include <algorithm>
#include <map>

#include "core/date_text.h"
#include "core/error.h"
#include "core/text.h"
#include "web/data/persons.h"
#include "web/data/plan_repository.h"

namespace ostrand::web {
namespace {

std::string TimeText(const DateTime& t) { return MinuteText(t); }

std::string Describe(const plans::PlanRecord& plan) {
  std::string out = TimeText(plan.start) + " – " + TimeText(plan.end);
  for (const std::string* text : {&plan.kind, &plan.place, &plan.content}) {
    if (text->empty()) continue;
    out += ' ';
    out += text->substr(0, 120);
  }
  if (!plan.shared) out += "（个人）";
  for (char& c : out) {
    if (c == '\n' || c == '\t') c = ' ';
  }
  return out;
}

std::string ChangedText(const std::vector<std::string>& flattened) {
  if (flattened.empty()) return {};
  std::string out = "line breaks in ";
  for (std::size_t i = 0; i < flattened.size(); ++i) {
    if (i > 0) out += i + 1 == flattened.size() ? " and " : ", ";
    out += flattened[i];
  }
  return out + " replaced by spaces";
}

std::optional<std::string> NullWhenEmpty(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

// What makes two plans the same plan for the importer.
struct PlanKey {
  std::int64_t start_day;
  std::int32_t start_seconds;
  std::int64_t end_day;
  std::int32_t end_seconds;
  std::int64_t kind_id;
  std::int64_t place_id;
  std::string detail;
  std::string content;
  std::string addition;
  std::int64_t flag;
  friend auto operator<=>(const PlanKey&, const PlanKey&) = default;
};

PlanKey KeyOf(const PlanInput& plan) {
  return {plan.start.day(),       plan.start.seconds(),   plan.end.day(),
          plan.end.seconds(),     plan.kind_id,           plan.place_id,
          plan.detail.value_or(""), plan.content.value_or(""), plan.addition.value_or(""),
          plan.flag};
}

// The plans of one day and more, counted per day.
class DayCounts {
 public:
  void Add(const DateTime& start, const DateTime& end) {
    for (std::int64_t day = start.day(); day <= end.day(); ++day) ++counts_[day];
  }
  // The first day from start to end that holds `limit` plans already.
  std::optional<std::int64_t> FirstFull(const DateTime& start, const DateTime& end,
                                        std::size_t limit) const {
    for (auto it = counts_.lower_bound(start.day()); it != counts_.end() && it->first <= end.day();
         ++it) {
      if (it->second >= limit) return it->first;
    }
    return std::nullopt;
  }

 private:
  std::map<std::int64_t, std::size_t> counts_;
};

}  // namespace

ImportReport ImportPlans(store::Connection& db, const plans::ImportResult& read,
                         const ImportSettings& settings) {
  const std::optional<Person> person = FindPerson(db, settings.person_id);
  if (!person) throw Error("no person with id " + std::to_string(settings.person_id));
  ImportReport report;
  report.person_name = person->name;
  PlanRepository repository(db);
  const std::vector<PlaceKind> kinds = repository.PlaceKinds();
  const std::vector<Place> places = repository.Places();
  const auto kind_named = [&](std::string_view name) -> const PlaceKind* {
    for (const PlaceKind& k : kinds) {
      if (TrimBlanks(k.name) == name) return &k;
    }
    return nullptr;
  };
  const auto place_named = [&](std::string_view name,
                               std::optional<std::int64_t> kind) -> const Place* {
    const Place* found = nullptr;
    for (const Place& p : places) {
      if (TrimBlanks(p.name) != name) continue;
      if (!kind || p.kind_id == kind) return &p;
      if (found == nullptr) found = &p;
    }
    return found;
  };
  const Place* default_place = nullptr;
  if (settings.default_place) {
    default_place = place_named(TrimBlanks(*settings.default_place), std::nullopt);
    if (default_place == nullptr) {
      throw Error("no place named '" + *settings.default_place + "' (table planAddr)");
    }
  }

  // The span of the file's plans, for the plans the person has already.
  std::optional<DateTime> first, last;
  for (const plans::ImportedPlan& p : read.plans) {
    if (!first || p.plan.start < *first) first = p.plan.start;
    if (!last || *last < p.plan.end) last = p.plan.end;
  }

  const auto decide = [&](bool writing) {
    report.added.clear();
    report.skipped.clear();
    for (const plans::ImportProblem& problem : read.problems) {
      report.skipped.push_back({problem.line, "", problem.reason, ""});
    }
    DayCounts counts;
    std::map<PlanKey, int> known;  // the plans there are, with the line that gave each
    std::vector<PlanInput> stored_plans;
    if (first) {
      for (const StoredPlan& stored : repository.PlansBetween(person->id, *first, *last)) {
        if (!stored.start || !stored.end || *stored.end < *stored.start) continue;
        // Only the file's days are counted, however long the plan.
        counts.Add(std::max(*stored.start, first->DateOnly()),
                   std::min(*stored.end, *last));
        PlanInput input{*stored.start,
                        *stored.end,
                        stored.kind_id.value_or(0),
                        stored.place_id.value_or(0),
                        stored.detail,
                        stored.content,
                        stored.addition,
                        stored.flag.value_or(0)};
        known.emplace(KeyOf(input), 0);
        stored_plans.push_back(std::move(input));
      }
    }
    for (const plans::ImportedPlan& imported : read.plans) {
      const plans::PlanRecord& plan = imported.plan;
      ImportEntry entry{imported.line, Describe(plan), "", ChangedText(imported.flattened)};
      const auto skip = [&](std::string reason) {
        entry.reason = std::move(reason);
        report.skipped.push_back(std::move(entry));
      };
      if (!imported.person.empty() && TrimBlanks(imported.person) != TrimBlanks(person->name)) {
        skip("the row is " + imported.person.substr(0, 60) + "'s, not " + person->name + "'s");
        continue;
      }
      std::optional<std::int64_t> kind_id;
      if (!plan.kind.empty()) {
        const PlaceKind* kind = kind_named(plan.kind);
        if (kind == nullptr) {
          skip("no kind of place named '" + plan.kind.substr(0, 60) + "' (table planAddrType)");
          continue;
        }
        kind_id = kind->id;
      }
      const Place* place = nullptr;
      if (!plan.place.empty()) {
        place = place_named(plan.place, kind_id);
        if (place == nullptr) {
          skip("no place named '" + plan.place.substr(0, 60) + "' (table planAddr)");
          continue;
        }
      } else if (default_place != nullptr) {
        place = default_place;
      } else if (kind_id) {
        for (const Place& p : places) {
          if (p.kind_id == kind_id) {
            place = &p;
            break;
          }
        }
        if (place == nullptr) {
          skip("names no place, and no place is of the kind " + plan.kind + " (give --place)");
          continue;
        }
      } else {
        skip("names neither a kind of place nor a place (give --place)");
        continue;
      }
      if (!kind_id) kind_id = place->kind_id;
      if (!kind_id) {
        skip("the place '" + place->name + "' has no kind of place");
        continue;
      }
      const std::int64_t days = plan.end.day() - plan.start.day() + 1;
      if (days > settings.max_plan_days) {
        skip("covers " + std::to_string(days) + " days, more than " +
             std::to_string(settings.max_plan_days));
        continue;
      }
      const PlanInput input{plan.start,
                            plan.end,
                            *kind_id,
                            place->id,
                            NullWhenEmpty(plan.detail),
                            NullWhenEmpty(plan.content),
                            NullWhenEmpty(plan.addition),
                            plan.shared ? store::kSharedPlanFlag : store::kPrivatePlanFlag};
      // A spreadsheet grid gives a day's plans without their times: one the
      // person has on that day with the same kind, content, flag (and
      // place, when the cell names one) is the same plan.
      if (!imported.person.empty() &&
          std::any_of(stored_plans.begin(), stored_plans.end(), [&](const PlanInput& s) {
            return s.start.DateOnly() <= plan.start && plan.start <= s.end &&
                   s.kind_id == input.kind_id && s.content == input.content &&
                   s.flag == input.flag && (plan.place.empty() || s.place_id == input.place_id);
          })) {
        skip("the person has this plan already");
        continue;
      }
      const auto [at, fresh] = known.emplace(KeyOf(input), imported.line);
      if (!fresh) {
        skip(at->second == 0 ? "the person has this plan already"
                             : "the same plan as line " + std::to_string(at->second));
        continue;
      }
      if (const std::optional<std::int64_t> full =
              counts.FirstFull(plan.start, plan.end, settings.max_plans_per_day)) {
        known.erase(at);
        skip(TimeText(DateTime::FromSerial(*full)).substr(0, 10) + " has " +
             std::to_string(settings.max_plans_per_day) + " plans already");
        continue;
      }
      counts.Add(plan.start, plan.end);
      if (writing) repository.Insert(person->id, input);
      report.added.push_back(std::move(entry));
    }
    const auto by_line = [](const ImportEntry& a, const ImportEntry& b) { return a.line < b.line; };
    std::stable_sort(report.skipped.begin(), report.skipped.end(), by_line);
  };

  if (!settings.apply) {
    decide(false);
    return report;
  }
  // Decided again inside the transaction, against the plans as they are
  // while it holds the person.
  store::Transaction transaction(db);
  repository.LockPerson(person->id);
  decide(true);
  transaction.Commit();
  report.written = true;
  return report;
}

}  // namespace ostrand::web
