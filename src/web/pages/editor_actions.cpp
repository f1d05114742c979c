#include "web/pages/editor_actions.h"

#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/utf8.h"
#include "web/data/plan_series.h"
#include "web/i18n/http_error.h"
#include "web/pages/editor_text.h"

namespace ostrand::web::editor {
namespace {

// How many of the copies overlap a plan the person had before.
std::int64_t OverlappingCopies(PlanRepository& plans, std::int64_t person_id,
                               const std::vector<PlanInput>& copies) {
  if (copies.empty()) return 0;
  const std::vector<StoredPlan> existing =
      plans.PlansBetween(person_id, copies.front().start, copies.back().end);
  std::int64_t count = 0;
  for (const PlanInput& copy : copies) {
    StoredPlan probe;
    probe.start = copy.start;
    probe.end = copy.end;
    for (const StoredPlan& plan : existing) {
      if (Overlap(probe, plan)) {
        ++count;
        break;
      }
    }
  }
  return count;
}

}  // namespace

bool EverySeriesPlan(const PageRequest& request) {
  return FieldOrEmpty(request.form, "scope") == "series";
}

feeds::TimeZone PlansZone(const PageRequest& request) {
  return request.options.time_zone ? *request.options.time_zone : feeds::TimeZone::System();
}

feeds::EventLimits SeriesLimits(const PageRequest& request) {
  feeds::EventLimits limits;
  limits.max_plan_days = request.options.max_plan_days;
  limits.max_instances = request.options.max_series_plans;
  return limits;
}

// The person's plan of that id, or HttpError 404.
StoredPlan RequirePlan(PlanRepository& plans, const EditorTarget& target, std::int64_t plan_id) {
  std::optional<StoredPlan> plan = plans.FindPlan(target.person_id, plan_id);
  if (!plan) throw HttpError(404, {MessageId::kNoSuchPlan, {}});
  return std::move(*plan);
}

// The notices that the query of a page reached after a write asks for.
void ReadNoticeQuery(PageRequest& request, const EditorTarget& target, PlanRepository& plans,
                     EditorView& view) {
  const Language language = request.language;
  const auto with_overlaps = [&](std::int64_t plan_id, MessageId notice) {
    view.notices.push_back(Say(language, notice));
    if (const std::optional<StoredPlan> plan = plans.FindPlan(target.person_id, plan_id)) {
      if (auto warning = OverlapWarning(language, plans.Overlapping(target.person_id, *plan))) {
        view.warnings.push_back(*warning);
      }
    }
  };
  if (const std::optional<std::int64_t> saved = ReadIdField(request.query, "saved")) {
    with_overlaps(*saved, MessageId::kSaved);
  }
  if (const std::optional<std::int64_t> restored = ReadIdField(request.query, "restored")) {
    with_overlaps(*restored, MessageId::kRestored);
  }
  if (const std::optional<std::int64_t> deleted = ReadIdField(request.query, "deleted")) {
    if (std::optional<DeletedPlan> entry = plans.FindDeleted(target.person_id, *deleted)) {
      view.notices.push_back(
          Format(language, MessageId::kDeletedPlan, {PlanLabel(language, entry->plan)}));
      view.undo = std::move(entry);
    }
  }
  if (const std::optional<std::int64_t> copied = ReadIdField(request.query, "copied")) {
    view.notices.push_back(Format(language, MessageId::kCopiedDays, {std::to_string(*copied)}));
    const std::optional<std::int64_t> overlapping = ReadIdField(request.query, "overlapping");
    if (overlapping && *overlapping > 0) {
      view.warnings.push_back(
          Format(language, MessageId::kCopiesOverlap, {std::to_string(*overlapping)}));
    }
  }
}

PageReply Save(PageRequest& request, const EditorTarget& target, PlanRepository& plans,
               std::optional<std::int64_t> plan_id) {
  EditorView view;
  view.fields = FieldsOfForm(request.form);
  auto checked = CheckFields(request.language, view.fields, plans.PlaceKinds(), plans.Places(),
                             request.options.max_plan_days);
  if (auto* messages = std::get_if<std::vector<std::string>>(&checked)) {
    view.messages = std::move(*messages);
    view.status = 400;
    // Shown again as a page can carry them: bytes that are no UTF-8 as
    // U+FFFD, control characters left out.
    for (std::string* field : {&view.fields.start, &view.fields.end, &view.fields.detail,
                               &view.fields.content, &view.fields.addition}) {
      *field = CleanText(*field);
    }
    return EditorPage(request, target, view);
  }
  const PlanInput& plan = std::get<PlanInput>(checked);
  const std::size_t limit = request.options.max_plans_per_day;
  const PlanWrite write =
      !plan_id ? plans.Add(target.person_id, plan, limit)
      : EverySeriesPlan(request)
          ? UpdateSeries(request.db, PlansZone(request), target.person_id, *plan_id, plan,
                         SeriesLimits(request), limit, request.visitor.person.id)
          : plans.Update(target.person_id, *plan_id, plan, limit);
  if (write.full_day) {
    view.messages = {FullDayMessage(request.language, *write.full_day, limit)};
    view.status = 400;
    return EditorPage(request, target, view);
  }
  if (write.plan_id == 0) throw HttpError(404, {MessageId::kNoSuchPlan, {}});
  // Back to the plan's first day, which lists it with the notice.
  const EditorTarget shown{target.person_id, plan.start.DateOnly()};
  return PageReply{
      303, {}, EditorAddress(shown, shown.day, {{"saved", std::to_string(write.plan_id)}})};
}

PageReply Copy(PageRequest& request, const EditorTarget& target, PlanRepository& plans,
               std::optional<std::int64_t> plan_id) {
  if (!plan_id) throw HttpError(400, {MessageId::kCopyWithoutPlan, {}});
  EditorView view;
  view.copy = RequirePlan(plans, target, *plan_id);
  view.copy_fields = CopyFieldsOfForm(request.form);
  view.fields = DefaultFields(target.day, plans.PlaceKinds());
  auto copies = PlanCopies(request, *view.copy, view.copy_fields);
  if (auto* messages = std::get_if<std::vector<std::string>>(&copies)) {
    view.copy_messages = std::move(*messages);
    view.status = 400;
    return EditorPage(request, target, view);
  }
  const std::vector<PlanInput>& planned = std::get<std::vector<PlanInput>>(copies);
  const std::int64_t overlapping = OverlappingCopies(plans, target.person_id, planned);
  const std::size_t limit = request.options.max_plans_per_day;
  const PlanWrite write = plans.AddAll(target.person_id, planned, limit);
  if (write.full_day) {
    view.copy_messages = {Format(request.language, MessageId::kNothingCopied,
                                 {FullDayMessage(request.language, *write.full_day, limit)})};
    view.status = 400;
    return EditorPage(request, target, view);
  }
  return PageReply{303,
                   {},
                   EditorAddress(target, target.day,
                                 {{"copied", std::to_string(planned.size())},
                                  {"overlapping", std::to_string(overlapping)}})};
}

PageReply Restore(PageRequest& request, const EditorTarget& target, PlanRepository& plans) {
  const std::optional<std::int64_t> deleted_id = ReadIdField(request.form, "deletedID");
  if (!deleted_id) throw HttpError(400, {MessageId::kRestoreWithoutEntry, {}});
  const std::optional<DeletedPlan> entry = plans.FindDeleted(target.person_id, *deleted_id);
  const Message gone{MessageId::kDeletedGone, {std::to_string(kKeepDeletedDays)}};
  if (!entry) throw HttpError(404, gone);
  const std::size_t limit = request.options.max_plans_per_day;
  const PlanWrite write = plans.Restore(target.person_id, *deleted_id, limit);
  if (write.full_day) {
    EditorView view;
    view.fields = DefaultFields(target.day, plans.PlaceKinds());
    view.messages = {Format(request.language, MessageId::kCannotRestore,
                            {FullDayMessage(request.language, *write.full_day, limit),
                             PlanLabel(request.language, entry->plan)})};
    view.status = 400;
    return EditorPage(request, target, view);
  }
  if (write.plan_id == 0) throw HttpError(404, gone);
  const EditorTarget shown{target.person_id,
                           entry->plan.start ? entry->plan.start->DateOnly() : target.day};
  return PageReply{
      303, {}, EditorAddress(shown, shown.day, {{"restored", std::to_string(write.plan_id)}})};
}

}  // namespace ostrand::web::editor
