// The day editor's forms (web/pages/editor_page.h): whose day it shows,
// the plan form's and the copy form's fields as typed, as stored or as
// first shown, and the checks that turn them into plans to write. Internal
// to the editor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/date.h"
#include "plans/plan_import.h"
#include "web/data/plan_repository.h"
#include "web/http/form_fields.h"
#include "web/i18n/messages.h"
#include "web/pages/page_request.h"

namespace ostrand::web::editor {

// The longest detail, content or addition, in characters. Every view and
// summary repeats a plan's text on each day it covers, so one unbounded
// field could swell every page that shows it.
constexpr std::size_t kMaxTextLength = plans::kMaxPlanTextLength;

// The longest stretch of days a plan is copied over at once.
constexpr std::int64_t kMaxCopyDays = 366;

// Whose day the editor shows; the visitor's own only.
struct EditorTarget {
  std::int64_t person_id = 0;
  DateTime day;
};

// The form's fields as typed (or as stored, or the defaults of a new plan).
struct PlanFields {
  std::string plan_id;
  std::string start;
  std::string end;
  std::string kind;
  std::string place;
  std::string detail;
  std::string content;
  std::string addition;
  std::string flag;
};

// The copy form's fields: the plan, the first and last day, the weekdays
// (1 Monday .. 7 Sunday) and whether days off are left out.
struct CopyFields {
  std::string plan_id;
  std::string from;
  std::string to;
  std::set<int> weekdays;
  bool skip_days_off = true;
};

// The person and day of the query: the visitor's own (HttpError 403 for
// another person), today when dt is missing. Throws HttpError 400 for a
// personID or dt that does not read.
EditorTarget ReadTarget(PageRequest& request);

// An id of the query or form, or nothing when the field is missing or
// empty. Throws HttpError 400 naming the field when it is no id.
std::optional<std::int64_t> ReadIdField(const FormFields& fields, std::string_view name);

// The fields of a new plan on `day`: 9:00 to 17:30, the first kind, shared.
PlanFields DefaultFields(const DateTime& day, const std::vector<PlaceKind>& kinds);
// The fields of a stored plan; a time that does not read stays as stored.
PlanFields FieldsOfPlan(const StoredPlan& plan);
// The fields as the plan form posted them (missing ones empty).
PlanFields FieldsOfForm(const FormFields& form);

// The copy form as the editor first shows it: the week after the plan's
// day, Monday to Friday, days off left out.
CopyFields DefaultCopyFields(const StoredPlan& plan, const DateTime& day);
// The fields as the copy form posted them; a weekday that is not 1..7 is
// left out.
CopyFields CopyFieldsOfForm(const FormFields& form);

// The message for a date or time of the form that does not read: `bad`,
// or the range of the pages when the year lies outside it.
std::string UnreadableTime(Language language, MessageId bad, const std::string& text);

// The plan the fields describe, or the messages (in `language`) that say
// what is wrong. Never throws for what the visitor typed.
std::variant<PlanInput, std::vector<std::string>> CheckFields(Language language,
                                                              const PlanFields& fields,
                                                              const std::vector<PlaceKind>& kinds,
                                                              const std::vector<Place>& places,
                                                              std::int64_t max_plan_days);

// The copies of `plan` the copy form asks for (days off of the request's
// holiday calendar left out when asked), or the messages that say what is
// wrong.
std::variant<std::vector<PlanInput>, std::vector<std::string>> PlanCopies(
    PageRequest& request, const StoredPlan& plan, const CopyFields& fields);

}  // namespace ostrand::web::editor
