#include "web/pages/page_audit.h"

#include <utility>

#include "web/data/plan_changes.h"

namespace ostrand::web {

AuditRecord VisitorAudit(const PageRequest& request, std::string_view kind,
                         std::optional<std::int64_t> subject, std::string detail) {
  AuditRecord record;
  record.at = UtcNow();
  record.actor = request.visitor.person.id;
  record.kind = std::string(kind);
  record.subject = subject;
  record.detail = std::move(detail);
  if (request.http != nullptr) record.address = request.http->remote_address;
  return record;
}

}  // namespace ostrand::web
