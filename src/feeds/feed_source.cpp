#include "feeds/feed_source.h"

#include <string>

#include "views/leader_rows.h"

namespace ostrand::feeds {

std::optional<plans::PersonPlans> LoadPerson(store::QuerySource& db, std::int64_t person_id,
                                             FeedView view, const FeedRange& range) {
  // As text, an id keeps every digit (a double would round beyond 2^53).
  const Value id = Value::Text(std::to_string(person_id));
  std::optional<std::string> name = plans::LoadPersonName(db, id);
  if (!name) return std::nullopt;
  const plans::PlanSet which =
      view == FeedView::kOwn ? plans::PlanSet::kAll : plans::PlanSet::kShared;
  return plans::PersonPlans{person_id, std::move(*name),
                            plans::LoadPlans(db, id, range.first, range.last, which)};
}

std::vector<plans::PersonPlans> LoadDepartment(store::QuerySource& db, const Value& systemID,
                                               const Value& strCond, const FeedRange& range) {
  std::vector<plans::PersonPlans> persons;
  views::ForEachListedPerson(db, systemID, strCond, [&](const Value& id, const Value& name) {
    plans::PersonPlans person;
    person.person_id = static_cast<std::int64_t>(id.ToNumber());
    person.name = name.ToText();
    person.plans = plans::LoadPlans(db, id, range.first, range.last, plans::PlanSet::kShared);
    persons.push_back(std::move(person));
  });
  return persons;
}

}  // namespace ostrand::feeds
