#include "web/admin/identities_page.h"

#include <optional>
#include <string>
#include <vector>

#include "core/date_text.h"
#include "core/html.h"
#include "core/text.h"
#include "web/admin/admin_routes.h"
#include "web/data/audit_log.h"
#include "web/data/identities.h"
#include "web/data/person_registry.h"
#include "web/data/plan_changes.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/html_form.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {
namespace {

constexpr std::size_t kRowsPerPage = 50;

void AppendCell(std::string& out, std::string_view text) {
  out += "<td>";
  AppendEscapedHtml(out, text);
  out += "</td>";
}

void AppendRowForm(std::string& out, const PageRequest& request, const IdentityRow& row) {
  const Language language = request.language;
  out += "<td>";
  AppendFormStart(out, "post", kAdminIdentitiesPath, "identity-link");
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "identity", row.key);
  AppendHiddenField(out, "action", "link");
  AppendLabelledInput(out, Text(language, MessageId::kIdentityLinkTo), "text", "person",
                      std::nullopt, "inputmode=\"numeric\" required size=\"6\"");
  AppendSubmitButton(out, Text(language, MessageId::kIdentityLink));
  out += "</form>";
  if (row.person_id) {
    AppendFormStart(out, "post", kAdminIdentitiesPath, "identity-unlink");
    AppendHiddenField(out, "csrf", request.visitor.csrf_token);
    AppendHiddenField(out, "identity", row.key);
    AppendHiddenField(out, "action", "unlink");
    AppendSubmitButton(out, Text(language, MessageId::kIdentityUnlink));
    out += "</form>";
  }
  out += "</td>";
}

std::string PersonCaption(PageRequest& request, const IdentityRow& row) {
  if (!row.person_id) return std::string(Text(request.language, MessageId::kIdentityWaiting));
  const std::optional<Person> person = FindPerson(request.db, *row.person_id);
  const std::string number = "#" + std::to_string(*row.person_id);
  return person ? person->name + " (" + number + ")" : number;
}

PageReply Back(std::string_view done) {
  return PageReply{303, {}, http::LinkWithQuery(kAdminIdentitiesPath, {{"done", done}})};
}

// A short description of the identity for the audit record.
std::string Described(const IdentityRow& row) {
  return ShortDetail(row.subject + " @ " + row.issuer, kAuditDetailLimit);
}

}  // namespace

PageReply ShowIdentities(PageRequest& request) {
  const Language language = request.language;
  const auto text = [language](MessageId id) { return Text(language, id); };
  std::size_t page = 1;
  if (const std::string asked = FieldOrEmpty(request.query, "page"); !asked.empty()) {
    const std::optional<std::int64_t> number = ReadWholeNumber(asked, 1000000);
    if (!number || *number < 1) throw HttpError(400, {MessageId::kNotANumber, {"page", asked}});
    page = static_cast<std::size_t>(*number);
  }
  // One row more than shown tells whether a next page exists.
  std::vector<IdentityRow> rows =
      ListIdentities(request.db, std::nullopt, (page - 1) * kRowsPerPage, kRowsPerPage + 1);
  const bool more = rows.size() > kRowsPerPage;
  if (more) rows.pop_back();

  std::string out;
  out.reserve(8192);
  AppendPageStart(out, language, text(MessageId::kAdminIdentitiesTitle), &request.visitor,
                  request.here);
  out += "<div class=\"identities\">\n<h1>";
  AppendEscapedHtml(out, text(MessageId::kAdminIdentitiesTitle));
  out += "</h1>\n";
  const std::string done = FieldOrEmpty(request.query, "done");
  if (done == "linked" || done == "unlinked") {
    out += "<p class=\"notice\" role=\"status\">";
    AppendEscapedHtml(out, text(done == "linked" ? MessageId::kIdentityLinkedNotice
                                                 : MessageId::kIdentityUnlinkedNotice));
    out += "</p>\n";
  }
  out += "<p>";
  AppendEscapedHtml(out, text(MessageId::kIdentitiesIntro));
  out += "</p>\n";
  if (rows.empty()) {
    out += "<p>";
    AppendEscapedHtml(out, text(MessageId::kIdentitiesNone));
    out += "</p>\n";
  } else {
    out += "<table class=\"identities\">\n<thead><tr>";
    for (const MessageId column :
         {MessageId::kIdentityColumnPerson, MessageId::kIdentityColumnName,
          MessageId::kIdentityColumnIssuer, MessageId::kIdentityColumnSubject,
          MessageId::kIdentityColumnLastSeen, MessageId::kIdentityColumnChange}) {
      out += "<th scope=\"col\">";
      AppendEscapedHtml(out, text(column));
      out += "</th>";
    }
    out += "</tr></thead>\n<tbody>\n";
    for (const IdentityRow& row : rows) {
      out += row.person_id ? "<tr>" : "<tr class=\"waiting\">";
      out += "<th scope=\"row\">";
      AppendEscapedHtml(out, PersonCaption(request, row));
      out += "</th>";
      AppendCell(out, row.display_name.empty() || row.display_name == row.claim
                          ? row.claim
                          : row.claim + " (" + row.display_name + ")");
      AppendCell(out, row.issuer);
      AppendCell(out, row.subject);
      AppendCell(out, MinuteText(row.last_seen));
      AppendRowForm(out, request, row);
      out += "</tr>\n";
    }
    out += "</tbody>\n</table>\n";
  }
  if (page > 1 || more) {
    out += "<nav class=\"pages\">";
    if (page > 1) {
      out += "<a rel=\"prev\" href=\"";
      AppendEscapedHtml(out, http::LinkWithQuery(kAdminIdentitiesPath,
                                                 {{"page", std::to_string(page - 1)}}));
      out += "\">";
      AppendEscapedHtml(out, text(MessageId::kPersonsPrevious));
      out += "</a> ";
    }
    if (more) {
      out += "<a rel=\"next\" href=\"";
      AppendEscapedHtml(out, http::LinkWithQuery(kAdminIdentitiesPath,
                                                 {{"page", std::to_string(page + 1)}}));
      out += "\">";
      AppendEscapedHtml(out, text(MessageId::kPersonsNext));
      out += "</a>";
    }
    out += "</nav>\n";
  }
  out += "</div>\n";
  AppendPageEnd(out);
  return PageReply{200, std::move(out), {}};
}

PageReply SubmitIdentities(PageRequest& request) {
  const std::string key = FieldOrEmpty(request.form, "identity");
  const std::string action = FieldOrEmpty(request.form, "action");
  if (action != "link" && action != "unlink") {
    throw HttpError(400, {MessageId::kUnknownAction, {action.substr(0, 32)}});
  }
  store::Connection& db = request.db;
  std::optional<std::int64_t> person;
  if (action == "link") {
    person = ReadPersonIdValue("person", FieldOrEmpty(request.form, "person"));
    if (!FindPerson(db, *person)) {
      throw HttpError(404, {MessageId::kNoSuchPerson, {std::to_string(*person)}});
    }
    if (RetiredAt(db, *person)) {
      throw HttpError(400, {MessageId::kIdentityRetiredPerson, {std::to_string(*person)}});
    }
  }
  store::Transaction transaction(db);
  const std::optional<IdentityRow> row = FindIdentity(db, key);
  if (!row) throw HttpError(404, {MessageId::kNoSuchIdentity, {key.substr(0, 64)}});
  LinkIdentity(db, key, person);
  if (person) {
    RecordAudit(db, AuditOf(request, audit::kIdentityLinked, *person, Described(*row)));
  } else if (row->person_id) {
    RecordAudit(db, AuditOf(request, audit::kIdentityUnlinked, *row->person_id, Described(*row)));
  }
  transaction.Commit();
  return Back(person ? "linked" : "unlinked");
}

}  // namespace ostrand::web
