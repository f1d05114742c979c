// What the day editor (web/pages/editor_page.h) does when a form is
// posted: save a plan (new or changed), copy one over days, restore a
// deleted one; and the notices a page reached after a write shows. Each
// action answers with the editor page again (status 400 and the messages)
// when the input is wrong or the day is full, else with a redirect (303)
// to the editor of the plan's day that names what was done. Internal to the
// editor; the CSRF token has been checked before these run.
#pragma once

#include <cstdint>
#include <optional>

#include "feeds/event_object.h"
#include "feeds/time_zone.h"
#include "web/data/plan_repository.h"
#include "web/pages/editor_form.h"
#include "web/pages/editor_view.h"
#include "web/pages/page_request.h"

namespace ostrand::web::editor {

// Whether the posted form asks to change or delete every plan of the
// plan's series ("scope" "series") rather than the plan alone.
bool EverySeriesPlan(const PageRequest& request);
// The zone of the plans' times, and the bounds of a series' plans.
feeds::TimeZone PlansZone(const PageRequest& request);
feeds::EventLimits SeriesLimits(const PageRequest& request);

// The person's plan of that id, or HttpError 404.
StoredPlan RequirePlan(PlanRepository& plans, const EditorTarget& target, std::int64_t plan_id);

// The notices and warnings that the query's saved, restored, deleted,
// copied and overlapping items ask for. Throws HttpError 400 for an item
// that is no id.
void ReadNoticeQuery(PageRequest& request, const EditorTarget& target, PlanRepository& plans,
                     EditorView& view);

// Saves the posted plan form as a new plan, or over the plan `plan_id`
// (HttpError 404 when the person has no such plan).
PageReply Save(PageRequest& request, const EditorTarget& target, PlanRepository& plans,
               std::optional<std::int64_t> plan_id);

// Copies the plan `plan_id` as the copy form asks (HttpError 400 without
// one, 404 for a plan the person does not have).
PageReply Copy(PageRequest& request, const EditorTarget& target, PlanRepository& plans,
               std::optional<std::int64_t> plan_id);

// Restores the deleted plan the form's deletedID names (HttpError 400
// without one, 404 when it is gone).
PageReply Restore(PageRequest& request, const EditorTarget& target, PlanRepository& plans);

}  // namespace ostrand::web::editor
