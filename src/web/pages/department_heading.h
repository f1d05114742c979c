// The name of the visitor's department beside the heading of the pages
// that show the whole department (the leader pages, who is away, the
// summary over months): host text around the component's fragments, never
// inside them.
#pragma once

#include <string>

#include "web/pages/page_request.h"

namespace ostrand::web {

// Appends <span class="department"> · NAME</span> (kTitleOfDepartment) when
// the visitor's department has a name (data/organisation.h), nothing
// otherwise. Throws the database's Error.
void AppendDepartmentOfVisitor(std::string& out, const PageRequest& request);

}  // namespace ostrand::web
