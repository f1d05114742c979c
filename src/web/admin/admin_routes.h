// The administration pages under /admin/: who may open them, which page
// answers which path, and the audit record each action writes. Every
// request under the folder, whatever its path and method, reaches
// ServeAdministration, which refuses a visitor who is no administrator
// before it looks at anything else, so that a refusal tells nothing about
// which pages exist.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "web/data/audit_log.h"
#include "web/pages/page_request.h"
#include "web/pages/page_runner.h"

namespace ostrand::web {

// The methods an administration page answers (HEAD with GET).
enum AdminMethods : unsigned { kAdminGet = 1, kAdminPost = 2 };

struct AdminRoute {
  std::string_view path;  // exactly this path
  unsigned methods;       // AdminMethods
  PageFunction page;
};

// Every administration page, the index at kAdminFolder first.
const std::vector<AdminRoute>& AdminRoutes();

// The page for any request under kAdminFolder: throws HttpError 403 for a
// visitor who is no administrator (every path and method alike), 404 for a
// path no route serves, 405 (with Allow) for a method its route does not
// take; otherwise what the route's page returns or throws. A POST's CSRF
// token has been checked by the page runner already.
PageReply ServeAdministration(PageRequest& request);

// The audit record of an action of the request's visitor: now (UTC), the
// visitor as actor, the request's address.
AuditRecord AuditOf(const PageRequest& request, std::string_view kind,
                    std::optional<std::int64_t> subject, std::string detail);

}  // namespace ostrand::web
