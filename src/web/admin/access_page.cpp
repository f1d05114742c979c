#include "web/admin/access_page.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/date_text.h"
#include "core/html.h"
#include "web/admin/admin_routes.h"
#include "web/auth/accounts.h"
#include "web/auth/invitations.h"
#include "web/auth/session_records.h"
#include "web/auth/signin_gate.h"
#include "web/data/accounts_table.h"
#include "web/data/admins_table.h"
#include "web/data/audit_log.h"
#include "web/data/mail_settings.h"
#include "web/data/outbox.h"
#include "web/data/plan_changes.h"
#include "web/data/second_factor_table.h"
#include "web/data/sessions_table.h"
#include "web/data/tokens_table.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/html_form.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_paths.h"
#include "web/pages/subscribe_page.h"

namespace ostrand::web {
namespace {

Person RequirePerson(const PageRequest& request, const FormFields& fields) {
  const std::int64_t id = ReadPersonIdValue("person", FieldOrEmpty(fields, "person"));
  std::optional<Person> person = FindPerson(request.db, id);
  if (!person) throw HttpError(404, {MessageId::kNoSuchPerson, {std::to_string(id)}});
  return std::move(*person);
}

void AppendLine(std::string& out, std::string_view text) {
  out += "<li>";
  AppendEscapedHtml(out, text);
  out += "</li>\n";
}

void AppendAction(std::string& out, const PageRequest& request, const Person& person,
                  std::string_view action, MessageId caption) {
  AppendFormStart(out, "post", kAdminAccessPath, "token-action");
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "person", std::to_string(person.id));
  AppendHiddenField(out, "action", action);
  AppendSubmitButton(out, Text(request.language, caption));
  out += "</form>\n";
}

std::string UtcText(const DateTime& t) { return MinuteText(t) + " UTC"; }

PageReply PickerPage(PageRequest& request) {
  const Language language = request.language;
  std::string out;
  AppendPageStart(out, language, Text(language, MessageId::kAdminAccessTitle), &request.visitor,
                  request.here);
  out += "<div class=\"access\">\n<h1>";
  AppendEscapedHtml(out, Text(language, MessageId::kAdminAccessTitle));
  out += "</h1>\n";
  AppendFormStart(out, "get", kAdminAccessPath, "person-picker");
  out += '\n';
  AppendLabelledInput(out, Text(language, MessageId::kAccessPersonNumber), "text", "person",
                      std::nullopt, "inputmode=\"numeric\" required");
  AppendSubmitButton(out, Text(language, MessageId::kAccessShow));
  out += "\n</form>\n</div>\n";
  AppendPageEnd(out);
  return PageReply{200, std::move(out), {}};
}

PageReply AccessPage(PageRequest& request, const Person& person, std::optional<MessageId> notice,
                     const std::string& invitation_link, std::string_view mailed_to = {}) {
  const Language language = request.language;
  const auto text = [language](MessageId id) { return Text(language, id); };
  const bool has_password = StoredPasswordHash(request.db, person.id).has_value();
  const std::optional<StoredToken> invitation =
      FindStoredToken(request.db, person.id, kInvitationPurpose);
  const std::size_t sessions = OpenStoredSessionsOf(request.db, person.id, UtcNow()).size();
  const bool admin = IsAdministrator(request.db, person.id);
  const bool second_factor = HasConfirmedSecondFactor(request.db, person.id);

  std::string out;
  out.reserve(4096);
  const std::string title = Format(language, MessageId::kAccessTitle, {person.name});
  AppendPageStart(out, language, title, &request.visitor, request.here);
  out += "<div class=\"access\">\n<h1>";
  AppendEscapedHtml(out, title);
  out += "</h1>\n";
  if (notice) {
    out += "<p class=\"notice\" role=\"status\">";
    AppendEscapedHtml(out, text(*notice));
    out += "</p>\n";
  }
  if (!invitation_link.empty()) {
    out += "<section class=\"invitation-link\">\n<p>";
    AppendEscapedHtml(out, Format(language, MessageId::kInvitationMadeNotice,
                                  {person.name, std::to_string(kInvitationDays)}));
    out += "</p>\n<p><input type=\"text\" readonly class=\"feed-url invite-url\" aria-label=\"";
    AppendEscapedHtml(out, text(MessageId::kInvitationLinkLabel));
    out += "\" value=\"";
    AppendEscapedHtml(out, invitation_link);
    out += "\"></p>\n";
    if (!mailed_to.empty()) {
      out += "<p class=\"notice invitation-mailed\">";
      AppendEscapedHtml(out, Format(language, MessageId::kInvitationMailedNotice, {mailed_to}));
      out += "</p>\n";
    }
    out += "</section>\n";
  }
  out += "<ul class=\"access-state\">\n";
  AppendLine(out,
             text(has_password ? MessageId::kAccessHasPassword : MessageId::kAccessNoPassword));
  if (invitation && invitation->created_at) {
    AppendLine(out, Format(language, MessageId::kAccessInvitationOpen,
                           {UtcText(invitation->created_at->AddDays(kInvitationDays))}));
  } else {
    AppendLine(out, text(MessageId::kAccessNoInvitation));
  }
  AppendLine(out, Format(language, MessageId::kAccessSessions, {std::to_string(sessions)}));
  AppendLine(out, text(admin ? MessageId::kAccessIsAdmin : MessageId::kAccessNotAdmin));
  AppendLine(out, text(second_factor ? MessageId::kAccessHasSecondFactor
                                     : MessageId::kAccessNoSecondFactor));
  out += "</ul>\n<div class=\"access-actions\">\n";
  AppendAction(out, request, person, "invite",
               has_password ? MessageId::kResetAccess : MessageId::kMakeInvitation);
  AppendAction(out, request, person, "end-sessions", MessageId::kEndPersonSessions);
  AppendAction(out, request, person, "lift-throttle", MessageId::kLiftThrottle);
  AppendAction(out, request, person, admin ? "revoke-admin" : "grant-admin",
               admin ? MessageId::kRevokeAdmin : MessageId::kGrantAdmin);
  if (second_factor) {
    AppendAction(out, request, person, "remove-second-factor",
                 MessageId::kRemovePersonSecondFactor);
  }
  out += "</div>\n</div>\n";
  AppendPageEnd(out);
  PageReply reply{200, std::move(out), {}};
  // A page holding an invitation link is never kept.
  if (!invitation_link.empty()) reply.headers.push_back({"Cache-Control", "no-store"});
  return reply;
}

PageReply Back(const Person& person, std::string_view done) {
  return PageReply{303,
                   {},
                   http::LinkWithQuery(kAdminAccessPath,
                                       {{"person", std::to_string(person.id)}, {"done", done}})};
}

}  // namespace

PageReply ShowAccess(PageRequest& request) {
  if (FieldOrEmpty(request.query, "person").empty()) return PickerPage(request);
  const Person person = RequirePerson(request, request.query);
  const std::string done = FieldOrEmpty(request.query, "done");
  std::optional<MessageId> notice;
  if (done == "sessions") notice = MessageId::kPersonSessionsEnded;
  if (done == "throttle") notice = MessageId::kThrottleLiftedNotice;
  if (done == "granted") notice = MessageId::kAdminGrantedNotice;
  if (done == "revoked") notice = MessageId::kAdminRevokedNotice;
  if (done == "second-factor") notice = MessageId::kPersonSecondFactorRemoved;
  return AccessPage(request, person, notice, "");
}

PageReply SubmitAccess(PageRequest& request) {
  const Person person = RequirePerson(request, request.form);
  const std::string action = FieldOrEmpty(request.form, "action");
  const DateTime now = UtcNow();
  store::Connection& db = request.db;
  if (action == "invite") {
    store::Transaction transaction(db);
    const bool reset = StoredPasswordHash(db, person.id).has_value();
    const std::string token = MakeInvitation(db, person.id, now);
    RecordAudit(db, AuditOf(request, audit::kInvitationMade, person.id,
                            reset ? "access reset" : "invitation"));
    const std::string link =
        SiteBase(request) + http::LinkWithQuery(kInvitePath, {{"token", token}});
    // With a mail server and an address, the link goes out by mail too:
    // queued with the invitation, so that neither is kept without the other.
    std::string mailed_to;
    if (request.options.mail) {
      if (const std::optional<MailAddress> address = MailAddressOf(db, person.id)) {
        NewEvent mail;
        mail.kind = reset ? kMailReset : kMailInvitation;
        mail.person_id = person.id;
        mail.actor_id = request.visitor.person.id;
        mail.shared = false;
        mail.body = nlohmann::json{{"link", link}}.dump();
        mail.at = now;
        AddEvent(db, mail);
        mailed_to = address->address;
      }
    }
    transaction.Commit();
    return AccessPage(request, person, std::nullopt, link, mailed_to);
  }
  if (action == "end-sessions") {
    store::Transaction transaction(db);
    RaisePersonGeneration(db, person.id);
    EndSessionRecordsOf(db, person.id);
    RecordAudit(db, AuditOf(request, audit::kSessionsEnded, person.id, "every session"));
    transaction.Commit();
    return Back(person, "sessions");
  }
  if (action == "lift-throttle") {
    store::Transaction transaction(db);
    LiftSignInThrottle(db, person.id);
    RecordAudit(db, AuditOf(request, audit::kThrottleLifted, person.id, ""));
    transaction.Commit();
    return Back(person, "throttle");
  }
  if (action == "grant-admin") {
    store::Transaction transaction(db);
    if (GrantAdministrator(db, person.id, request.visitor.person.id, now)) {
      RecordAudit(db, AuditOf(request, audit::kAdminGranted, person.id, ""));
    }
    transaction.Commit();
    return Back(person, "granted");
  }
  if (action == "revoke-admin") {
    store::Transaction transaction(db);
    const std::vector<std::int64_t> admins = Administrators(db);
    if (admins.size() == 1 && admins.front() == person.id) {
      throw HttpError(400, {MessageId::kLastAdministrator, {}});
    }
    if (RevokeAdministrator(db, person.id)) {
      RecordAudit(db, AuditOf(request, audit::kAdminRevoked, person.id, ""));
    }
    transaction.Commit();
    return Back(person, "revoked");
  }
  if (action == "remove-second-factor") {
    // A lost phone: the person signs in with the password alone until
    // enrolling again.
    store::Transaction transaction(db);
    if (RemoveSecondFactor(db, person.id)) {
      RecordAudit(db,
                  AuditOf(request, audit::kSecondFactorRemoved, person.id, "by an administrator"));
    }
    transaction.Commit();
    return Back(person, "second-factor");
  }
  throw HttpError(400, {MessageId::kUnknownAction, {action.substr(0, 32)}});
}

}  // namespace ostrand::web
