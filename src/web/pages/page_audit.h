// The audit record of something the visitor of a page did (sign-out, a
// token change, an administration action): now in UTC, the visitor as
// actor, the client's address as the access log has it (trusted proxies
// honoured, http/forwarded.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "web/data/audit_log.h"
#include "web/pages/page_request.h"

namespace ostrand::web {

// The record; nothing is written. The address is empty when the request
// has no HTTP request behind it (a page called directly).
AuditRecord VisitorAudit(const PageRequest& request, std::string_view kind,
                         std::optional<std::int64_t> subject, std::string detail);

}  // namespace ostrand::web
