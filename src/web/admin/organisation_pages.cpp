#include "web/admin/organisation_pages.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/html.h"
#include "web/admin/admin_routes.h"
#include "web/data/audit_log.h"
#include "web/data/organisation.h"
#include "web/http/request_values.h"
#include "web/i18n/http_error.h"
#include "web/pages/html_form.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {
namespace {

// What a page shows above its tables: a notice after a change, or why the
// change asked for was refused.
struct Outcome {
  std::optional<MessageId> notice;
  std::string refusal;
};

using Body = std::function<void(std::string& out, PageRequest& request)>;

std::string_view Say(const PageRequest& request, MessageId id) {
  return Text(request.language, id);
}

void AppendText(std::string& out, const PageRequest& request, MessageId id) {
  AppendEscapedHtml(out, Say(request, id));
}

// The whole page: the frame, the heading, the outcome, an introduction and
// the page's tables and forms.
PageReply AdminPage(PageRequest& request, MessageId title, MessageId intro, const Outcome& outcome,
                    const Body& body, int status = 200) {
  std::string out;
  out.reserve(16384);
  AppendPageStart(out, request.language, Say(request, title), &request.visitor, request.here);
  out += "<div class=\"admin org\">\n<h1>";
  AppendText(out, request, title);
  out += "</h1>\n";
  if (outcome.notice) {
    out += "<p class=\"notice\" role=\"status\">";
    AppendText(out, request, *outcome.notice);
    out += "</p>\n";
  }
  if (!outcome.refusal.empty()) {
    out += "<p class=\"error\" role=\"alert\">";
    AppendEscapedHtml(out, outcome.refusal);
    out += "</p>\n";
  }
  out += "<p>";
  AppendText(out, request, intro);
  out += "</p>\n";
  body(out, request);
  out += "</div>\n";
  AppendPageEnd(out);
  return PageReply{status, std::move(out)};
}

// The notice a "done" query value asks for.
Outcome DoneOutcome(const PageRequest& request) {
  const std::string done = FieldOrEmpty(request.query, "done");
  Outcome outcome;
  if (done == "added") outcome.notice = MessageId::kOrgDoneAdded;
  if (done == "renamed") outcome.notice = MessageId::kOrgDoneRenamed;
  if (done == "removed") outcome.notice = MessageId::kOrgDoneRemoved;
  if (done == "moved") outcome.notice = MessageId::kOrgDoneMoved;
  if (done == "saved") outcome.notice = MessageId::kOrgDoneSaved;
  return outcome;
}

// The names of a refusal, joined as the language lists them.
std::string NameList(const PageRequest& request, const OrgConflict& conflict) {
  std::string list;
  for (const std::string& name : conflict.examples) {
    if (!list.empty()) list += Say(request, MessageId::kOrgNameSeparator);
    list += name;
  }
  if (conflict.count > static_cast<std::int64_t>(conflict.examples.size())) {
    list += Say(request, MessageId::kOrgNameSeparator);
    list += "…";
  }
  return list;
}

std::string RefusalText(const PageRequest& request, const OrgConflict& conflict,
                        MessageId held_by) {
  const Language language = request.language;
  switch (conflict.why) {
    case OrgConflictKind::kNameTaken:
      return Format(language, MessageId::kOrgNameTaken, {conflict.name});
    case OrgConflictKind::kHeldByPersons:
      return Format(language, held_by,
                    {conflict.name, std::to_string(conflict.count), NameList(request, conflict)});
    case OrgConflictKind::kUsedByPlans:
      return Format(language, MessageId::kPlaceUsedByPlans,
                    {conflict.name, std::to_string(conflict.count), conflict.latest_day});
  }
  return conflict.message_text();
}

// Runs the change a POST asks for; 303 back to `path` with the notice its
// name gives, or the page again with the refusal: 400 for a name that does
// not read, 409 for a conflict. Anything else propagates to the runner.
PageReply Submit(PageRequest& request, std::string_view path, MessageId title, MessageId intro,
                 MessageId held_by, const Body& body,
                 const std::function<std::string_view()>& change) {
  Outcome outcome;
  int status = 200;
  try {
    const std::string_view done = change();
    return PageReply{303, {}, std::string(path) + "?done=" + std::string(done)};
  } catch (const OrgConflict& conflict) {
    outcome.refusal = RefusalText(request, conflict, held_by);
    status = 409;
  } catch (const HttpError& error) {
    if (error.status() != 400) throw;
    outcome.refusal = Render(request.language, error.message());
    status = 400;
  }
  return AdminPage(request, title, intro, outcome, body, status);
}

// ---- Form pieces

std::int64_t FormId(const PageRequest& request, std::string_view name = "id") {
  return ReadPersonIdValue(name, FieldOrEmpty(request.form, std::string(name)));
}

std::string FormName(const PageRequest& request, std::size_t max) {
  std::optional<std::string> name = ReadOrgName(FieldOrEmpty(request.form, "name"), max);
  if (!name) throw HttpError(400, {MessageId::kOrgNameInvalid, {std::to_string(max)}});
  return std::move(*name);
}

// <form method="post" action="PATH" class="inline"> with the CSRF token,
// the action and the id (when not 0).
void AppendPostStart(std::string& out, const PageRequest& request, std::string_view path,
                     std::string_view action, std::optional<std::int64_t> id = std::nullopt) {
  AppendFormStart(out, "post", path, "inline");
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "action", action);
  if (id) AppendHiddenField(out, "id", std::to_string(*id));
}

// <button type="submit" aria-label="LABEL">CAPTION</button>
void AppendButton(std::string& out, std::string_view caption, std::string_view label = {}) {
  out += "<button type=\"submit\"";
  if (!label.empty()) {
    out += " aria-label=\"";
    AppendEscapedHtml(out, label);
    out += '"';
  }
  out += '>';
  AppendEscapedHtml(out, caption);
  out += "</button>";
}

// A text field without a visible caption, named by its aria-label.
void AppendNameInput(std::string& out, std::string_view value, std::size_t max,
                     std::string_view label) {
  out += "<input type=\"text\" name=\"name\" required maxlength=\"" + std::to_string(max) +
         "\" value=\"";
  AppendEscapedHtml(out, value);
  out += "\" aria-label=\"";
  AppendEscapedHtml(out, label);
  out += "\">";
}

// A cell with a form that renames `what` (`label` names it for the field).
void AppendRenameCell(std::string& out, const PageRequest& request, std::string_view path,
                      std::int64_t id, std::string_view name, std::size_t max,
                      std::string_view label) {
  out += "<td>";
  AppendPostStart(out, request, path, "rename", id);
  AppendNameInput(out, name, max, Format(request.language, MessageId::kOrgNameOf, {label}));
  AppendButton(out, Say(request, MessageId::kOrgRename));
  out += "</form></td>\n";
}

void AppendRemoveForm(std::string& out, const PageRequest& request, std::string_view path,
                      std::int64_t id, std::string_view label) {
  AppendPostStart(out, request, path, "remove", id);
  AppendButton(out, Say(request, MessageId::kOrgRemove),
               Format(request.language, MessageId::kOrgRemoveOf, {label}));
  out += "</form>";
}

void AppendTableStart(std::string& out, const PageRequest& request, MessageId caption,
                      std::initializer_list<MessageId> columns) {
  out += "<table class=\"admin-table\">\n<caption>";
  AppendText(out, request, caption);
  out += "</caption>\n<thead><tr>";
  for (const MessageId column : columns) {
    out += "<th scope=\"col\">";
    AppendText(out, request, column);
    out += "</th>";
  }
  out += "</tr></thead>\n<tbody>\n";
}

void AppendAddForm(std::string& out, const PageRequest& request, std::string_view path,
                   MessageId heading, std::size_t max, const std::function<void()>& more = {}) {
  out += "<section class=\"admin-add\">\n<h2>";
  AppendText(out, request, heading);
  out += "</h2>\n";
  AppendPostStart(out, request, path, "add");
  out += '\n';
  AppendLabelledInput(out, Say(request, MessageId::kOrgNewName), "text", "name", "",
                      "required maxlength=\"" + std::to_string(max) + "\"");
  if (more) more();
  AppendSubmitButton(out, Say(request, MessageId::kOrgAdd));
  out += "\n</form>\n</section>\n";
}

// ---- Departments

std::string DepartmentLabel(const PageRequest& request, const Department& department) {
  if (!department.name.empty()) return department.name;
  return Format(request.language, MessageId::kDepartmentNumbered,
                {std::to_string(department.id)});
}

void DepartmentsBody(std::string& out, PageRequest& request) {
  AppendTableStart(out, request, MessageId::kAdminDepartmentsTitle,
                   {MessageId::kOrgColumnNumber, MessageId::kOrgColumnName,
                    MessageId::kOrgColumnPersons, MessageId::kOrgColumnActions});
  for (const Department& department : Departments(request.db)) {
    const std::string label = DepartmentLabel(request, department);
    out += "<tr><td>" + std::to_string(department.id) + "</td>\n";
    AppendRenameCell(out, request, kAdminDepartmentsPath, department.id, department.name,
                     kMaxOrgName, label);
    out += "<td>" + std::to_string(department.persons) + "</td>\n<td>";
    AppendRemoveForm(out, request, kAdminDepartmentsPath, department.id, label);
    out += "</td></tr>\n";
  }
  out += "</tbody>\n</table>\n";
  AppendAddForm(out, request, kAdminDepartmentsPath, MessageId::kAddDepartmentHeading,
                kMaxOrgName);
}

// ---- Duties

void DutiesBody(std::string& out, PageRequest& request) {
  AppendTableStart(out, request, MessageId::kAdminDutiesTitle,
                   {MessageId::kOrgColumnOrder, MessageId::kOrgColumnName,
                    MessageId::kOrgColumnLeads, MessageId::kOrgColumnPersons,
                    MessageId::kOrgColumnActions});
  const std::vector<Duty> duties = Duties(request.db);
  for (std::size_t i = 0; i < duties.size(); ++i) {
    const Duty& duty = duties[i];
    const std::string position = std::to_string(i + 1);
    out += "<tr><td>" + position + "</td>\n";
    AppendRenameCell(out, request, kAdminDutiesPath, duty.id, duty.name, kMaxOrgName, duty.name);
    out += "<td>";
    AppendPostStart(out, request, kAdminDutiesPath, "leads", duty.id);
    out += "<label><input type=\"checkbox\" name=\"leads\" value=\"1\"";
    if (duty.leads) out += " checked";
    out += "> ";
    AppendEscapedHtml(out, Format(request.language, MessageId::kOrgLeadsOf, {duty.name}));
    out += "</label> ";
    AppendButton(out, Say(request, MessageId::kOrgSave),
                 Format(request.language, MessageId::kOrgSaveLeadsOf, {duty.name}));
    out += "</form></td>\n<td>" + std::to_string(duty.persons) + "</td>\n<td>";
    if (i > 0) {
      AppendPostStart(out, request, kAdminDutiesPath, "move", duty.id);
      AppendHiddenField(out, "position", std::to_string(i));
      AppendButton(out, Say(request, MessageId::kOrgMoveUp),
                   Format(request.language, MessageId::kOrgMoveUpOf, {duty.name}));
      out += "</form>";
    }
    if (i + 1 < duties.size()) {
      AppendPostStart(out, request, kAdminDutiesPath, "move", duty.id);
      AppendHiddenField(out, "position", std::to_string(i + 2));
      AppendButton(out, Say(request, MessageId::kOrgMoveDown),
                   Format(request.language, MessageId::kOrgMoveDownOf, {duty.name}));
      out += "</form>";
    }
    AppendRemoveForm(out, request, kAdminDutiesPath, duty.id, duty.name);
    out += "</td></tr>\n";
  }
  out += "</tbody>\n</table>\n";
  AppendAddForm(out, request, kAdminDutiesPath, MessageId::kAddDutyHeading, kMaxOrgName, [&] {
    out += "<label><input type=\"checkbox\" name=\"leads\" value=\"1\"> ";
    AppendText(out, request, MessageId::kOrgColumnLeads);
    out += "</label><br>\n";
  });
}

// ---- Places

// <select name="kind"> of the kinds, `chosen` selected; named by `label`
// when given (in a table cell), else inside a visible label.
void AppendKindSelect(std::string& out, const PageRequest& request,
                      const std::vector<PlaceKind>& kinds, std::optional<std::int64_t> chosen,
                      std::string_view label) {
  if (label.empty()) {
    AppendSelectStart(out, Say(request, MessageId::kOrgColumnKind), "kind");
  } else {
    out += "<select name=\"kind\" aria-label=\"";
    AppendEscapedHtml(out, label);
    out += "\">\n";
  }
  for (const PlaceKind& kind : kinds) {
    AppendOption(out, std::to_string(kind.id), kind.name, chosen && *chosen == kind.id);
  }
  if (label.empty()) {
    AppendSelectEnd(out);
  } else {
    out += "</select>";
  }
}

void PlacesBody(std::string& out, PageRequest& request) {
  const std::vector<PlaceKind> kinds = PlaceKindsOf(request.db);
  AppendTableStart(out, request, MessageId::kAdminPlaceKindsHeading,
                   {MessageId::kOrgColumnNumber, MessageId::kOrgColumnName});
  for (const PlaceKind& kind : kinds) {
    out += "<tr><td>" + std::to_string(kind.id) + "</td>\n<td>";
    AppendPostStart(out, request, kAdminPlacesPath, "rename-kind", kind.id);
    AppendNameInput(out, kind.name, kMaxOrgName,
                    Format(request.language, MessageId::kOrgNameOf, {kind.name}));
    AppendButton(out, Say(request, MessageId::kOrgRename));
    out += "</form></td></tr>\n";
  }
  out += "</tbody>\n</table>\n";

  AppendTableStart(out, request, MessageId::kAdminPlacesHeading,
                   {MessageId::kOrgColumnNumber, MessageId::kOrgColumnName,
                    MessageId::kOrgColumnKind, MessageId::kOrgColumnActions});
  for (const Place& place : PlacesOf(request.db)) {
    out += "<tr><td>" + std::to_string(place.id) + "</td>\n";
    AppendRenameCell(out, request, kAdminPlacesPath, place.id, place.name, kMaxPlaceName,
                     place.name);
    out += "<td>";
    AppendPostStart(out, request, kAdminPlacesPath, "kind", place.id);
    AppendKindSelect(out, request, kinds, place.kind_id,
                     Format(request.language, MessageId::kOrgKindOf, {place.name}));
    AppendButton(out, Say(request, MessageId::kOrgSave),
                 Format(request.language, MessageId::kOrgSaveKindOf, {place.name}));
    out += "</form></td>\n<td>";
    AppendRemoveForm(out, request, kAdminPlacesPath, place.id, place.name);
    out += "</td></tr>\n";
  }
  out += "</tbody>\n</table>\n";
  AppendAddForm(out, request, kAdminPlacesPath, MessageId::kAddPlaceHeading, kMaxPlaceName,
                [&] { AppendKindSelect(out, request, kinds, std::nullopt, {}); });
}

[[noreturn]] void UnknownAction() { throw HttpError(400, {MessageId::kOrgUnknownAction, {}}); }

bool IsPost(const PageRequest& request) {
  return request.http != nullptr && request.http->method == "POST";
}

PageReply ShowDepartments(PageRequest& request) {
  return AdminPage(request, MessageId::kAdminDepartmentsTitle, MessageId::kAdminDepartmentsIntro,
                   DoneOutcome(request), DepartmentsBody);
}

PageReply SubmitDepartments(PageRequest& request) {
  return Submit(request, kAdminDepartmentsPath, MessageId::kAdminDepartmentsTitle,
                MessageId::kAdminDepartmentsIntro, MessageId::kDepartmentHasPersons,
                DepartmentsBody, [&request]() -> std::string_view {
                  const std::string action = FieldOrEmpty(request.form, "action");
                  const auto record = [&request] {
                    return AuditOf(request, audit::kDepartmentChanged, std::nullopt, {});
                  };
                  if (action == "add") {
                    AddDepartment(request.db, FormName(request, kMaxOrgName), record());
                    return "added";
                  }
                  if (action == "rename") {
                    RenameDepartment(request.db, FormId(request), FormName(request, kMaxOrgName),
                                     record());
                    return "renamed";
                  }
                  if (action == "remove") {
                    RemoveDepartment(request.db, FormId(request), record());
                    return "removed";
                  }
                  UnknownAction();
                });
}

PageReply ShowDuties(PageRequest& request) {
  return AdminPage(request, MessageId::kAdminDutiesTitle, MessageId::kAdminDutiesIntro,
                   DoneOutcome(request), DutiesBody);
}

PageReply SubmitDuties(PageRequest& request) {
  return Submit(request, kAdminDutiesPath, MessageId::kAdminDutiesTitle,
                MessageId::kAdminDutiesIntro, MessageId::kDutyHeldByPersons, DutiesBody,
                [&request]() -> std::string_view {
                  const std::string action = FieldOrEmpty(request.form, "action");
                  const auto record = [&request] {
                    return AuditOf(request, audit::kDutyChanged, std::nullopt, {});
                  };
                  const bool leads = FieldOrEmpty(request.form, "leads") == "1";
                  if (action == "add") {
                    AddDuty(request.db, FormName(request, kMaxOrgName), leads, record());
                    return "added";
                  }
                  if (action == "rename") {
                    RenameDuty(request.db, FormId(request), FormName(request, kMaxOrgName),
                               record());
                    return "renamed";
                  }
                  if (action == "move") {
                    MoveDuty(request.db, FormId(request), FormId(request, "position"), record());
                    return "moved";
                  }
                  if (action == "leads") {
                    SetDutyLeads(request.db, FormId(request), leads, record());
                    return "saved";
                  }
                  if (action == "remove") {
                    RemoveDuty(request.db, FormId(request), record());
                    return "removed";
                  }
                  UnknownAction();
                });
}

PageReply ShowPlaces(PageRequest& request) {
  return AdminPage(request, MessageId::kAdminPlacesTitle, MessageId::kAdminPlacesIntro,
                   DoneOutcome(request), PlacesBody);
}

PageReply SubmitPlaces(PageRequest& request) {
  return Submit(request, kAdminPlacesPath, MessageId::kAdminPlacesTitle,
                MessageId::kAdminPlacesIntro, MessageId::kDutyHeldByPersons, PlacesBody,
                [&request]() -> std::string_view {
                  const std::string action = FieldOrEmpty(request.form, "action");
                  const auto record = [&request] {
                    return AuditOf(request, audit::kPlaceChanged, std::nullopt, {});
                  };
                  if (action == "add") {
                    AddPlace(request.db, FormName(request, kMaxPlaceName),
                             FormId(request, "kind"), record());
                    return "added";
                  }
                  if (action == "rename") {
                    RenamePlace(request.db, FormId(request), FormName(request, kMaxPlaceName),
                                record());
                    return "renamed";
                  }
                  if (action == "rename-kind") {
                    RenamePlaceKind(request.db, FormId(request), FormName(request, kMaxOrgName),
                                    record());
                    return "renamed";
                  }
                  if (action == "kind") {
                    SetPlaceKind(request.db, FormId(request), FormId(request, "kind"), record());
                    return "saved";
                  }
                  if (action == "remove") {
                    RemovePlace(request.db, FormId(request), record());
                    return "removed";
                  }
                  UnknownAction();
                });
}

}  // namespace

PageReply DepartmentsPage(PageRequest& request) {
  return IsPost(request) ? SubmitDepartments(request) : ShowDepartments(request);
}

PageReply DutiesPage(PageRequest& request) {
  return IsPost(request) ? SubmitDuties(request) : ShowDuties(request);
}

PageReply PlacesPage(PageRequest& request) {
  return IsPost(request) ? SubmitPlaces(request) : ShowPlaces(request);
}

}  // namespace ostrand::web
