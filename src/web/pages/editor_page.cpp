#include "web/pages/editor_page.h"

#include <algorithm>
#include <optional>

#include "web/data/plan_repository.h"
#include "web/data/plan_series.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/editor_actions.h"
#include "web/pages/editor_form.h"
#include "web/pages/editor_text.h"
#include "web/pages/editor_view.h"
#include "web/pages/schedule_pages.h"

// The form reading and checking (editor_form), the HTML (editor_view) and
// the actions (editor_actions) have files of their own.
namespace ostrand::web {

using namespace editor;

std::string ReturnAddress(const host::Session& session, std::int64_t person_id,
                          const DateTime& day) {
  const Value held = session.Get("strURL");
  const ViewPage* page = FindViewPage(held.is_text() ? held.text() : std::string_view());
  if (page == nullptr) page = &ViewPages().front();
  // A day the page cannot show opens it on the nearest one it can.
  const DayRange showable = ShowableDays(*page);
  const DateTime shown = std::clamp(day.DateOnly(), showable.first, showable.last);
  return http::LinkWithQuery(page->path,
                             {{"personID", std::to_string(person_id)}, {"dt", IsoDate(shown)}});
}

PageReply ShowEditor(PageRequest& request) {
  const EditorTarget target = ReadTarget(request);
  PlanRepository plans(request.db);
  EditorView view;
  ReadNoticeQuery(request, target, plans, view);
  if (const std::optional<std::int64_t> plan_id = ReadIdField(request.query, "planID")) {
    view.fields = FieldsOfPlan(RequirePlan(plans, target, *plan_id));
  } else {
    view.fields = DefaultFields(target.day, plans.PlaceKinds());
  }
  if (const std::optional<std::int64_t> doomed = ReadIdField(request.query, "delete")) {
    view.confirm = RequirePlan(plans, target, *doomed);
  }
  if (const std::optional<std::int64_t> copied = ReadIdField(request.query, "copy")) {
    view.copy = RequirePlan(plans, target, *copied);
    view.copy_fields = DefaultCopyFields(*view.copy, target.day);
  }
  return EditorPage(request, target, view);
}

PageReply SubmitEditor(PageRequest& request) {
  const EditorTarget target = ReadTarget(request);
  const std::string action = FieldOrEmpty(request.form, "action");
  PlanRepository plans(request.db);
  plans.set_actor(request.visitor.person.id);
  const std::optional<std::int64_t> plan_id = ReadIdField(request.form, "planID");

  if (action == "delete") {
    if (!plan_id) throw HttpError(400, {MessageId::kDeleteWithoutPlan, {}});
    const std::optional<std::int64_t> deleted =
        EverySeriesPlan(request) ? RemoveSeries(request.db, target.person_id, *plan_id, LocalNow(),
                                                request.visitor.person.id)
                                 : plans.Remove(target.person_id, *plan_id, LocalNow());
    if (!deleted) throw HttpError(404, {MessageId::kNoSuchPlan, {}});
    return PageReply{
        303, {}, EditorAddress(target, target.day, {{"deleted", std::to_string(*deleted)}})};
  }
  if (action == "save") return Save(request, target, plans, plan_id);
  if (action == "copy") return Copy(request, target, plans, plan_id);
  if (action == "restore") return Restore(request, target, plans);
  throw HttpError(400, {MessageId::kUnknownAction, {action}});
}

}  // namespace ostrand::web
