#include "web/auth/visitor.h"

#include "web/i18n/http_error.h"

namespace ostrand::web {

bool IsLeader(const Person& person, const std::set<std::int64_t>& leader_duties) {
  return person.duty_id && leader_duties.contains(*person.duty_id);
}

void RequireSameSystem(const Visitor& visitor, const Person& shown) {
  if (!visitor.person.system_id || shown.system_id != visitor.person.system_id) {
    throw HttpError(403, {MessageId::kOnlyOwnDepartment, {}});
  }
}

void RequireLeader(const Visitor& visitor) {
  if (!visitor.leader) throw HttpError(403, {MessageId::kLeadersOnly, {}});
}

void RequireAdministrator(const Visitor& visitor) {
  if (!visitor.admin) throw HttpError(403, {MessageId::kAdministratorsOnly, {}});
}

void RequireSelf(const Visitor& visitor, std::int64_t person_id) {
  if (visitor.person.id != person_id) throw HttpError(403, {MessageId::kOnlyOwnPlans, {}});
}

}  // namespace ostrand::web
