#include "web/admin/persons_page.h"

#include <optional>
#include <string>
#include <vector>

#include "core/date_text.h"
#include "core/html.h"
#include "exports/staff_csv.h"
#include "web/admin/admin_routes.h"
#include "web/data/audit_log.h"
#include "web/data/mail_settings.h"
#include "web/data/person_registry.h"
#include "web/data/plan_changes.h"
#include "web/data/persons.h"
#include "web/data/staff_import.h"
#include "web/auth/sign_in.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/html_form.h"
#include "web/pages/list_paging.h"
#include "web/pages/mail_address_form.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {
namespace {

using enum MessageId;

// What the list shows, read from the query.
struct ListQuery {
  std::string name_part;
  std::optional<std::int64_t> department;
  std::optional<std::int64_t> duty;
  bool retired = false;
  std::int64_t page = 1;
  std::size_t size = kDefaultPageSize;
};

std::optional<std::int64_t> OptionalId(const FormFields& fields, std::string_view name) {
  const std::string text = FieldOrEmpty(fields, name);
  if (text.empty()) return std::nullopt;
  return ReadPersonIdValue(name, text);
}

ListQuery ReadListQuery(const FormFields& query) {
  const ListAsk ask = ReadListAsk(query);
  ListQuery list;
  list.name_part = ask.filter.name_part;
  list.department = OptionalId(query, "department");
  list.duty = ask.filter.duty_id;
  list.retired = FieldOrEmpty(query, "retired") == "1";
  list.page = ask.page;
  list.size = ask.size;
  return list;
}

// The list's link with the query, `page` and `size` (left out at the
// default).
std::string ListLink(const ListQuery& list, std::int64_t page, std::size_t size) {
  const std::string department = list.department ? std::to_string(*list.department) : "";
  const std::string duty = list.duty ? std::to_string(*list.duty) : "";
  const std::string page_text = std::to_string(page);
  return http::LinkWithQuery(kAdminPersonsPath, {{"q", list.name_part},
                                                 {"department", department},
                                                 {"duty", duty},
                                                 {"retired", list.retired ? "1" : ""},
                                                 {"page", page_text}}) +
         (size == kDefaultPageSize ? "" : "&size=" + std::to_string(size));
}

std::string ChoiceName(Language language, const std::vector<Choice>& choices,
                       std::optional<std::int64_t> id, MessageId unnamed) {
  if (!id) return "";
  for (const Choice& c : choices) {
    if (c.id == *id && !c.name.empty()) return c.name;
  }
  return Format(language, unnamed, {std::to_string(*id)});
}

void AppendChoices(std::string& out, Language language, std::string_view caption,
                   std::string_view name, const std::vector<Choice>& choices,
                   std::optional<std::int64_t> selected, std::optional<MessageId> any,
                   MessageId unnamed) {
  AppendSelectStart(out, caption, name, any ? "" : "required");
  if (any) AppendOption(out, "", Text(language, *any), !selected);
  for (const Choice& c : choices) {
    AppendOption(out, std::to_string(c.id),
                 c.name.empty() ? Format(language, unnamed, {std::to_string(c.id)}) : c.name,
                 selected == c.id);
  }
  AppendSelectEnd(out);
}

void AppendHeading(std::string& out, std::string_view text) {
  out += "<h1>";
  AppendEscapedHtml(out, text);
  out += "</h1>\n";
}

void AppendNotice(std::string& out, std::string_view text) {
  out += "<p class=\"notice\" role=\"status\">";
  AppendEscapedHtml(out, text);
  out += "</p>\n";
}

void AppendErrors(std::string& out, const std::vector<std::string>& errors) {
  if (errors.empty()) return;
  out += "<ul class=\"error\" role=\"alert\">\n";
  for (const std::string& e : errors) {
    out += "<li>";
    AppendEscapedHtml(out, e);
    out += "</li>\n";
  }
  out += "</ul>\n";
}

void AppendLink(std::string& out, std::string_view href, std::string_view caption) {
  out += "<a href=\"";
  AppendEscapedHtml(out, href);
  out += "\">";
  AppendEscapedHtml(out, caption);
  out += "</a>";
}

std::string PersonLink(std::int64_t id) {
  const std::string text = std::to_string(id);
  return http::LinkWithQuery(kAdminPersonsPath, {{"person", text}});
}

PageReply Page(PageRequest& request, std::string_view title, const std::string& body,
               int status = 200) {
  std::string out;
  out.reserve(body.size() + 4096);
  AppendPageStart(out, request.language, title, &request.visitor, request.here);
  out += "<div class=\"admin persons\">\n";
  out += body;
  out += "</div>\n";
  AppendPageEnd(out);
  return PageReply{status, std::move(out)};
}

std::optional<MessageId> NoticeOf(std::string_view done) {
  if (done == "added") return kPersonsAdded;
  if (done == "saved") return kPersonsSaved;
  if (done == "unchanged") return kPersonsUnchanged;
  if (done == "retired") return kPersonsRetiredNotice;
  if (done == "reinstated") return kPersonsReinstatedNotice;
  if (done == "mail-saved") return kMailAddressSavedNotice;
  if (done == "mail-removed") return kMailAddressRemovedNotice;
  return std::nullopt;
}

// ---- the list ----

PageReply CsvDownload(PageRequest& request) {
  PageReply reply(200, exports::WriteStaffCsv(StaffRecords(request.db)));
  reply.content_type = "text/csv; charset=utf-8";
  reply.headers.push_back({"Content-Disposition", "attachment; filename=\"persons.csv\""});
  return reply;
}

PageReply ListPage(PageRequest& request) {
  const Language language = request.language;
  const auto text = [language](MessageId id) { return Text(language, id); };
  const ListQuery list = ReadListQuery(request.query);
  const std::vector<Choice> departments = DepartmentChoices(request.db);
  const std::vector<Choice> duties = DutyChoices(request.db);
  PersonQuery query;
  query.name_part = list.name_part;
  query.department_id = list.department;
  query.duty_id = list.duty;
  query.include_retired = list.retired;
  query.limit = list.size;
  query.offset = static_cast<std::size_t>(list.page - 1) * list.size;
  PersonList found = SearchPersons(request.db, query);
  PageWindow window = WindowOf(list.page, list.size, found.total);
  if (window.offset() != query.offset) {
    // A page past the end shows the last one.
    query.offset = window.offset();
    found = SearchPersons(request.db, query);
    window = WindowOf(list.page, list.size, found.total);
  }

  std::string out;
  AppendHeading(out, text(kAdminPersonsTitle));
  out += "<p class=\"admin-actions\">";
  AppendLink(out, http::LinkWithQuery(kAdminPersonsPath, {{"new", "1"}}), text(kPersonsAddLink));
  out += " · ";
  AppendLink(out, kAdminPersonImportPath, text(kPersonsImportLink));
  out += " · ";
  AppendLink(out, http::LinkWithQuery(kAdminPersonsPath, {{"format", "csv"}}),
             text(kPersonsDownloadCsv));
  out += "</p>\n";

  AppendFormStart(out, "get", kAdminPersonsPath, "person-search");
  out += "\n";
  AppendLabelledInput(out, text(kPersonsName), "search", "q", list.name_part);
  AppendChoices(out, language, text(kPersonsDepartment), "department", departments,
                list.department, kPersonsAll, kPersonsUnnamedDepartment);
  AppendChoices(out, language, text(kPersonsDuty), "duty", duties, list.duty, kPersonsAll,
                kPersonsUnnamedDuty);
  AppendLabelledInput(out, text(kPersonsIncludeRetired), "checkbox", "retired", "1",
                      list.retired ? "checked" : "");
  if (list.size != kDefaultPageSize) AppendHiddenField(out, "size", std::to_string(list.size));
  AppendSubmitButton(out, text(kPersonsSearch));
  out += "\n</form>\n";

  if (found.persons.empty()) {
    out += "<p>";
    AppendEscapedHtml(out, text(kPersonsNone));
    out += "</p>\n";
  } else {
    const std::string first = std::to_string(query.offset + 1);
    const std::string last = std::to_string(query.offset + found.persons.size());
    out += "<table class=\"persons\">\n<caption>";
    AppendEscapedHtml(out, Format(language, kPersonsCount,
                                  {std::to_string(found.total), first, last}));
    out += "</caption>\n<thead><tr>";
    for (const MessageId heading :
         {kPersonsNumber, kPersonsName, kPersonsDepartment, kPersonsDuty, kPersonsStatus}) {
      out += "<th scope=\"col\">";
      AppendEscapedHtml(out, text(heading));
      out += "</th>";
    }
    out += "</tr></thead>\n<tbody>\n";
    for (const ListedPerson& person : found.persons) {
      out += "<tr><td>";
      out += std::to_string(person.id);
      out += "</td><th scope=\"row\">";
      AppendLink(out, PersonLink(person.id), person.name);
      out += "</th><td>";
      AppendEscapedHtml(out, person.department_name.empty() && person.department_id
                                 ? Format(language, kPersonsUnnamedDepartment,
                                          {std::to_string(*person.department_id)})
                                 : person.department_name);
      out += "</td><td>";
      AppendEscapedHtml(out, person.duty_name);
      out += "</td><td>";
      AppendEscapedHtml(out, person.retired_at ? Format(language, kPersonsRetiredOn,
                                                        {DateText(*person.retired_at)})
                                               : std::string(text(kPersonsCurrent)));
      out += "</td></tr>\n";
    }
    out += "</tbody>\n</table>\n";
  }
  if (window.pages > 1 || list.size != kDefaultPageSize) {
    AppendPager(out, language, window, [&list](std::int64_t page, std::size_t size) {
      return ListLink(list, page, size);
    });
  }
  return Page(request, text(kAdminPersonsTitle), out);
}

// ---- the forms ----

struct FormValues {
  std::string name;
  std::optional<std::int64_t> duty;
  std::optional<std::int64_t> department;
};

void AppendPersonForm(std::string& out, PageRequest& request, std::string_view action,
                      std::optional<std::int64_t> person_id, const FormValues& values,
                      MessageId button) {
  const Language language = request.language;
  AppendFormStart(out, "post", kAdminPersonsPath, "person-form");
  out += "\n";
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "action", action);
  if (person_id) AppendHiddenField(out, "person", std::to_string(*person_id));
  out += "\n";
  AppendLabelledInput(out, Text(language, kPersonsName), "text", "name", values.name,
                      "required maxlength=\"100\" autocomplete=\"off\"");
  AppendChoices(out, language, Text(language, kPersonsDepartment), "department",
                DepartmentChoices(request.db), values.department, std::nullopt,
                kPersonsUnnamedDepartment);
  AppendChoices(out, language, Text(language, kPersonsDuty), "duty", DutyChoices(request.db),
                values.duty, std::nullopt, kPersonsUnnamedDuty);
  AppendSubmitButton(out, Text(language, button));
  out += "\n</form>\n";
}

void AppendActionButton(std::string& out, PageRequest& request, std::string_view action,
                        std::int64_t person_id, MessageId button) {
  AppendFormStart(out, "post", kAdminPersonsPath, "person-action");
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "action", action);
  AppendHiddenField(out, "person", std::to_string(person_id));
  AppendSubmitButton(out, Text(request.language, button));
  out += "</form>\n";
}

PageReply AddPage(PageRequest& request, const FormValues& values,
                  const std::vector<std::string>& errors = {}, int status = 200) {
  const std::string_view title = Text(request.language, kPersonsAddTitle);
  std::string out;
  AppendHeading(out, title);
  AppendErrors(out, errors);
  AppendPersonForm(out, request, "add", std::nullopt, values, kPersonsAddButton);
  out += "<p>";
  AppendLink(out, kAdminPersonsPath, Text(request.language, kPersonsBackToList));
  out += "</p>\n";
  return Page(request, title, out, status);
}

// The person's mail address and the language of the mails: `shown` as
// posted when it was refused, else as stored.
void AppendMailSection(std::string& out, PageRequest& request, const Person& person,
                       const std::optional<MailAddress>& shown) {
  const Language language = request.language;
  out += "<section class=\"mail-address\">\n<h2>";
  AppendEscapedHtml(out, Text(language, kMailHeading));
  out += "</h2>\n";
  AppendFormStart(out, "post", kAdminPersonsPath, "person-mail");
  out += "\n";
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "action", "mail");
  AppendHiddenField(out, "person", std::to_string(person.id));
  out += "\n";
  AppendMailAddressFields(out, language,
                          shown ? *shown : MailAddressOf(request.db, person.id).value_or(MailAddress{}));
  out += "<p>";
  AppendEscapedHtml(out, Text(language, kMailAddressNote));
  out += "</p>\n";
  AppendSubmitButton(out, Text(language, kMailAddressSave));
  out += "\n</form>\n</section>\n";
}

PageReply EditPage(PageRequest& request, const Person& person, const FormValues& values,
                   const std::vector<std::string>& errors = {}, int status = 200,
                   const std::optional<MailAddress>& mail = std::nullopt) {
  const Language language = request.language;
  const std::string title = Format(language, kPersonsEditTitle, {person.name});
  std::string out;
  AppendHeading(out, title);
  if (const std::optional<MessageId> notice = NoticeOf(FieldOrEmpty(request.query, "done"))) {
    AppendNotice(out, Text(language, *notice));
  }
  AppendErrors(out, errors);
  out += "<p>";
  AppendEscapedHtml(out, Format(language, kPersonsNumberIs, {std::to_string(person.id)}));
  out += "</p>\n";
  AppendPersonForm(out, request, "edit", person.id, values, kPersonsSaveButton);
  AppendMailSection(out, request, person, mail);

  out += "<section class=\"retirement\">\n<h2>";
  AppendEscapedHtml(out, Text(language, kPersonsRetirementHeading));
  out += "</h2>\n<p>";
  const std::optional<DateTime> retired = RetiredAt(request.db, person.id);
  if (retired) {
    AppendEscapedHtml(out, Format(language, kPersonsRetiredOn, {DateText(*retired)}));
    out += "</p>\n";
    AppendActionButton(out, request, "reinstate", person.id, kPersonsReinstateButton);
  } else {
    AppendEscapedHtml(out, Text(language, kPersonsRetireNote));
    out += "</p>\n";
    AppendActionButton(out, request, "retire", person.id, kPersonsRetireButton);
  }
  out += "</section>\n<p>";
  AppendLink(out, http::LinkWithQuery(kAdminAccessPath, {{"person", std::to_string(person.id)}}),
             Text(language, kPersonsAccessLink));
  out += " · ";
  AppendLink(out, kAdminPersonsPath, Text(language, kPersonsBackToList));
  out += "</p>\n";
  return Page(request, title, out, status);
}

Person RequirePerson(PageRequest& request, std::string_view field, const FormFields& fields) {
  const std::int64_t id = ReadPersonIdValue(field, FieldOrEmpty(fields, field));
  std::optional<Person> person = FindPerson(request.db, id);
  if (!person) throw HttpError(404, {kNoSuchPerson, {std::to_string(id)}});
  return std::move(*person);
}

FormValues ValuesOf(const Person& person) {
  return {person.name, person.duty_id, person.system_id};
}

// The form's values, and what breaks a rule, in the visitor's language.
struct PostedPerson {
  FormValues values;
  std::vector<std::string> errors;
  PersonFields fields;
};

PostedPerson ReadPostedPerson(PageRequest& request) {
  const Language language = request.language;
  PostedPerson posted;
  posted.values.name = FieldOrEmpty(request.form, "name");
  posted.values.department = OptionalId(request.form, "department");
  posted.values.duty = OptionalId(request.form, "duty");
  try {
    posted.fields.name = CheckedPersonName(posted.values.name);
  } catch (const Error&) {
    posted.errors.push_back(Format(language, kPersonsBadName,
                                   {std::to_string(kMaxPersonNameLength)}));
  }
  if (!posted.values.department || !DepartmentExists(request.db, *posted.values.department)) {
    posted.errors.emplace_back(Text(language, kPersonsNoSuchDepartment));
  }
  if (!posted.values.duty || !DutyExists(request.db, *posted.values.duty)) {
    posted.errors.emplace_back(Text(language, kPersonsNoSuchDuty));
  }
  posted.fields.department_id = posted.values.department.value_or(0);
  posted.fields.duty_id = posted.values.duty.value_or(0);
  return posted;
}

std::string FieldsDetail(const PersonFields& fields) {
  return "name " + fields.name + "; department " + std::to_string(fields.department_id) +
         "; duty " + std::to_string(fields.duty_id);
}

PageReply Redirect(std::int64_t person_id, std::string_view done) {
  const std::string id = std::to_string(person_id);
  return PageReply(303, "", http::LinkWithQuery(kAdminPersonsPath, {{"person", id}, {"done", done}}));
}

PageReply Post(PageRequest& request) {
  const std::string action = FieldOrEmpty(request.form, "action");
  if (action == "add") {
    PostedPerson posted = ReadPostedPerson(request);
    if (!posted.errors.empty()) return AddPage(request, posted.values, posted.errors, 400);
    const std::int64_t id = AddPerson(request.db, posted.fields, [&](std::int64_t added) {
      RecordAudit(request.db,
                  AuditOf(request, audit::kPersonAdded, added, FieldsDetail(posted.fields)));
    });
    return Redirect(id, "added");
  }
  const Person person = RequirePerson(request, "person", request.form);
  if (action == "edit") {
    PostedPerson posted = ReadPostedPerson(request);
    if (!posted.errors.empty()) return EditPage(request, person, posted.values, posted.errors, 400);
    const bool changed = EditPerson(request.db, person.id, posted.fields, [&](std::int64_t id) {
      RecordAudit(request.db,
                  AuditOf(request, audit::kPersonChanged, id, FieldsDetail(posted.fields)));
    });
    return Redirect(person.id, changed ? "saved" : "unchanged");
  }
  if (action == "mail") {
    const PostedMailAddress posted = ReadMailAddressFields(request.form, request.language);
    if (posted.problem) {
      return EditPage(request, person, ValuesOf(person), {*posted.problem}, 400, posted.value);
    }
    // SetMailAddress is a transaction of its own; the record follows it.
    SetMailAddress(request.db, person.id, posted.value.address, posted.value.language, UtcNow());
    RecordAudit(request.db,
                AuditOf(request, audit::kMailSettingsChanged, person.id,
                        posted.value.address.empty()
                            ? std::string("mail address removed")
                            : "mail address " + posted.value.address + " (" +
                                  posted.value.language + ")"));
    return Redirect(person.id, posted.value.address.empty() ? "mail-removed" : "mail-saved");
  }
  if (action == "retire" || action == "reinstate") {
    const bool retire = action == "retire";
    const auto record = [&](std::int64_t id) {
      RecordAudit(request.db, AuditOf(request, retire ? audit::kPersonRetired
                                                      : audit::kPersonReinstated,
                                      id, person.name));
    };
    try {
      if (retire) {
        RetirePerson(request.db, person.id, request.visitor.person.id,
                     DateTime::FromUnixSeconds(UnixNow()), record);
      } else {
        ReinstatePerson(request.db, person.id, record);
      }
    } catch (const Error& e) {
      if (e.kind() != ErrorKind::kConflict) throw;
      throw HttpError(409, {retire ? kPersonsAlreadyRetired : kPersonsNotRetired,
                            {std::to_string(person.id)}});
    }
    return Redirect(person.id, retire ? "retired" : "reinstated");
  }
  throw HttpError(400, {kUnknownAction, {action.substr(0, 32)}});
}

// ---- the import ----

std::string EntryReason(Language language, const StaffEntry& entry) {
  const auto value = [&](std::size_t i) -> std::string_view {
    return i < entry.values.size() ? std::string_view(entry.values[i]) : std::string_view();
  };
  switch (entry.refusal) {
    case StaffRefusal::kNone:
      break;
    case StaffRefusal::kFileProblem:
      return entry.reason;
    case StaffRefusal::kBadNumber:
      return Format(language, kImportBadNumber, {value(0)});
    case StaffRefusal::kNoSuchPerson:
      return Format(language, kImportNoSuchPerson, {value(0)});
    case StaffRefusal::kNoNumberOrName:
      return std::string(Text(language, kImportNoNumberOrName));
    case StaffRefusal::kBadName:
      return Format(language, kPersonsBadName, {std::to_string(kMaxPersonNameLength)});
    case StaffRefusal::kSeveralNamed:
      return Format(language, kImportSeveralNamed, {value(0), value(1)});
    case StaffRefusal::kNameAddedBefore:
      return Format(language, kImportNameAddedBefore, {value(0)});
    case StaffRefusal::kPersonOnEarlierLine:
      return Format(language, kImportPersonOnEarlierLine, {value(0), value(1)});
    case StaffRefusal::kNoSuchDepartment:
      return Format(language, kImportNoSuchDepartment, {value(0)});
    case StaffRefusal::kSeveralDepartments:
      return Format(language, kImportSeveralDepartments, {value(0), value(1)});
    case StaffRefusal::kNoSuchDuty:
      return Format(language, kImportNoSuchDuty, {value(0)});
    case StaffRefusal::kSeveralDuties:
      return Format(language, kImportSeveralDuties, {value(0), value(1)});
    case StaffRefusal::kNeedsDepartment:
      return std::string(Text(language, kImportNeedsDepartment));
    case StaffRefusal::kNeedsDuty:
      return std::string(Text(language, kImportNeedsDuty));
  }
  if (entry.action != StaffAction::kChange) return "";
  std::string changes;
  for (const auto& [changed, id] : {std::pair{entry.name_changed, kPersonsName},
                                    std::pair{entry.department_changed, kPersonsDepartment},
                                    std::pair{entry.duty_changed, kPersonsDuty}}) {
    if (!changed) continue;
    if (!changes.empty()) changes += Text(language, kImportListSeparator);
    changes += Text(language, id);
  }
  return Format(language, kImportChanges, {changes});
}

MessageId ActionCaption(StaffAction action) {
  switch (action) {
    case StaffAction::kAdd:
      return kImportAdd;
    case StaffAction::kChange:
      return kImportChange;
    case StaffAction::kUnchanged:
      return kImportUnchanged;
    case StaffAction::kRefused:
      break;
  }
  return kImportRefused;
}

PageReply ImportPage(PageRequest& request, const std::string& csv,
                     const std::optional<StaffImportReport>& report, int status = 200) {
  const Language language = request.language;
  const auto text = [language](MessageId id) { return Text(language, id); };
  std::string out;
  AppendHeading(out, text(kImportTitle));
  out += "<p>";
  AppendEscapedHtml(out, text(kImportIntro));
  out += "</p>\n<p>";
  AppendEscapedHtml(out, text(kImportAllOrNothing));
  out += "</p>\n";
  if (report) {
    AppendNotice(out, Format(language, report->written ? kImportSummaryWritten : kImportSummary,
                             {std::to_string(report->added), std::to_string(report->changed),
                              std::to_string(report->unchanged), std::to_string(report->refused)}));
    out += "<table class=\"import-report\">\n<thead><tr>";
    for (const MessageId heading : {kImportLine, kImportAction, kPersonsNumber, kPersonsName,
                                    kPersonsDepartment, kPersonsDuty, kImportReason}) {
      out += "<th scope=\"col\">";
      AppendEscapedHtml(out, text(heading));
      out += "</th>";
    }
    out += "</tr></thead>\n<tbody>\n";
    const std::vector<Choice> departments = DepartmentChoices(request.db);
    const std::vector<Choice> duties = DutyChoices(request.db);
    for (const StaffEntry& entry : report->entries) {
      const bool refused = entry.action == StaffAction::kRefused;
      out += refused ? "<tr class=\"refused\"><td>" : "<tr><td>";
      out += std::to_string(entry.line);
      out += "</td><td>";
      AppendEscapedHtml(out, text(ActionCaption(entry.action)));
      out += "</td><td>";
      if (entry.person_id > 0) out += std::to_string(entry.person_id);
      out += "</td><td>";
      AppendEscapedHtml(out, entry.name);
      out += "</td><td>";
      if (!refused) {
        AppendEscapedHtml(out, ChoiceName(language, departments, entry.department_id,
                                          kPersonsUnnamedDepartment));
      }
      out += "</td><td>";
      if (!refused) {
        AppendEscapedHtml(out, ChoiceName(language, duties, entry.duty_id, kPersonsUnnamedDuty));
      }
      out += "</td><td>";
      AppendEscapedHtml(out, EntryReason(language, entry));
      out += "</td></tr>\n";
    }
    out += "</tbody>\n</table>\n";
  }
  AppendFormStart(out, "post", kAdminPersonImportPath, "person-import");
  out += "\n";
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  out += "\n";
  AppendLabelledTextArea(out, text(kImportText), "staff-csv", "csv", csv, 16, 80, "required");
  out += "\n<p>";
  AppendSubmitButton(out, "action", "dry-run", text(kImportDryRun));
  out += ' ';
  AppendSubmitButton(out, "action", "apply", text(kImportApply));
  out += "</p>\n</form>\n<p>";
  AppendLink(out, kAdminPersonsPath, text(kPersonsBackToList));
  out += "</p>\n";
  return Page(request, text(kImportTitle), out, status);
}

}  // namespace

PageReply PersonsPage(PageRequest& request) {
  if (request.http && request.http->method == "POST") return Post(request);
  if (FieldOrEmpty(request.query, "format") == "csv") return CsvDownload(request);
  if (FieldOrEmpty(request.query, "new") == "1") return AddPage(request, {});
  if (FindField(request.query, "person")) {
    const Person person = RequirePerson(request, "person", request.query);
    return EditPage(request, person, ValuesOf(person));
  }
  return ListPage(request);
}

PageReply PersonImportPage(PageRequest& request) {
  if (!request.http || request.http->method != "POST") return ImportPage(request, "", std::nullopt);
  const std::string csv = FieldOrEmpty(request.form, "csv");
  const bool apply = FieldOrEmpty(request.form, "action") == "apply";
  const StaffImportReport report =
      ImportStaff(request.db, exports::ReadStaffCsv(csv), apply, [&](const StaffImportReport& r) {
        RecordAudit(request.db, AuditOf(request, audit::kPersonsImported, std::nullopt,
                                        std::to_string(r.added) + " added, " +
                                            std::to_string(r.changed) + " changed"));
      });
  return ImportPage(request, csv, report, apply && report.refused > 0 ? 400 : 200);
}

}  // namespace ostrand::web
