// The day editor's page (web/pages/editor_page.h) as HTML: the day's plans
// with their overlaps, the notices of what was just done, the delete
// confirmation, the copy form and the plan form. Internal to the editor.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "web/data/plan_repository.h"
#include "web/pages/editor_form.h"
#include "web/pages/page_request.h"

namespace ostrand::web::editor {

// Everything the day page shows besides the day's plans.
struct EditorView {
  PlanFields fields;                    // the plan form
  std::vector<std::string> messages;    // what is wrong with the plan form
  std::vector<std::string> notices;     // what was just done
  std::vector<std::string> warnings;    // plans that overlap
  std::optional<DeletedPlan> undo;      // the delete just done, offered for undoing
  std::optional<StoredPlan> confirm;    // the plan whose delete is to be confirmed
  std::optional<StoredPlan> copy;       // the plan the copy form copies
  CopyFields copy_fields;
  std::vector<std::string> copy_messages;
  int status = 200;
};

// The page of the target's day: the day's plans, places and kinds read
// through `request.db`, the rest from `view`, with view.status. Throws what
// the database throws.
PageReply EditorPage(PageRequest& request, const EditorTarget& target, const EditorView& view);

}  // namespace ostrand::web::editor
