#include "web/pages/department_heading.h"

#include <optional>

#include "core/html.h"
#include "web/data/organisation.h"
#include "web/i18n/messages.h"

namespace ostrand::web {

void AppendDepartmentOfVisitor(std::string& out, const PageRequest& request) {
  const std::optional<std::int64_t> system = request.visitor.person.system_id;
  if (!system) return;
  const std::optional<std::string> name = DepartmentName(request.db, *system);
  if (!name || name->empty()) return;
  out += "<span class=\"department\">";
  AppendEscapedHtml(out, Format(request.language, MessageId::kTitleOfDepartment, {*name}));
  out += "</span>";
}

}  // namespace ostrand::web
