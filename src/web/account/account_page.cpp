#include "web/account/account_page.h"

#include <algorithm>
#include <vector>

#include "core/date_text.h"
#include "core/html.h"
#include "web/auth/accounts.h"
#include "web/auth/personal_tokens.h"
#include "web/auth/session_records.h"
#include "web/auth/sign_in.h"
#include "web/data/accounts_table.h"
#include "web/data/mail_settings.h"
#include "web/data/plan_changes.h"
#include "web/data/second_factor_table.h"
#include "web/data/sessions_table.h"
#include "web/data/tokens_table.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/html_form.h"
#include "web/pages/mail_address_form.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {
namespace {

std::string UtcText(const DateTime& t) { return MinuteText(t) + " UTC"; }

void AppendCell(std::string& out, std::string_view text) {
  out += "<td>";
  AppendEscapedHtml(out, text);
  out += "</td>";
}

void AppendActionForm(std::string& out, const PageRequest& request, std::string_view action,
                      std::string_view caption, std::string_view session_key = {}) {
  AppendFormStart(out, "post", kAccountPath, "token-action");
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "action", action);
  if (!session_key.empty()) AppendHiddenField(out, "session", session_key);
  AppendSubmitButton(out, caption);
  out += "</form>";
}

void AppendPasswordSection(std::string& out, const PageRequest& request,
                           const std::optional<std::string>& problem) {
  const Language language = request.language;
  out += "<section class=\"password\">\n<h2>";
  AppendEscapedHtml(out, Text(language, MessageId::kPasswordHeading));
  out += "</h2>\n";
  if (problem) {
    out += "<p class=\"error\" role=\"alert\">";
    AppendEscapedHtml(out, *problem);
    out += "</p>\n";
  }
  out += "<p>";
  AppendEscapedHtml(
      out, Format(language, MessageId::kPasswordRulesNote, {std::to_string(kShortestPassword)}));
  out += "</p>\n";
  AppendFormStart(out, "post", kAccountPath, "password-form");
  out += '\n';
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "action", "password");
  AppendLabelledInput(out, Text(language, MessageId::kCurrentPassword), "password", "current",
                      std::nullopt, "autocomplete=\"current-password\" required");
  AppendLabelledInput(out, Text(language, MessageId::kNewPassword), "password", "password",
                      std::nullopt, "autocomplete=\"new-password\" required");
  AppendLabelledInput(out, Text(language, MessageId::kRepeatPassword), "password", "repeat",
                      std::nullopt, "autocomplete=\"new-password\" required");
  AppendSubmitButton(out, Text(language, MessageId::kChangePasswordButton));
  out += "\n</form>\n</section>\n";
}

void AppendSecondFactorSection(std::string& out, const PageRequest& request) {
  const Language language = request.language;
  out += "<section class=\"second-factor\">\n<h2>";
  AppendEscapedHtml(out, Text(language, MessageId::kSecondFactorTitle));
  out += "</h2>\n<p>";
  const std::optional<StoredSecondFactor> factor =
      FindSecondFactor(request.db, request.visitor.person.id);
  if (factor && factor->confirmed) {
    AppendEscapedHtml(out, Format(language, MessageId::kSecondFactorOn,
                                  {factor->confirmed_at ? UtcText(*factor->confirmed_at)
                                                        : std::string("?")}));
  } else {
    AppendEscapedHtml(out, Text(language, MessageId::kSecondFactorOff));
  }
  out += "</p>\n<p><a href=\"";
  AppendEscapedHtml(out, kSecondFactorAccountPath);
  out += "\">";
  AppendEscapedHtml(out, Text(language, MessageId::kSecondFactorManage));
  out += "</a></p>\n</section>\n";
}

void AppendSessionsSection(std::string& out, const PageRequest& request) {
  const Language language = request.language;
  const std::string own_key = SessionKey(request.visitor.session->Get("rnd").ToText());
  const std::vector<StoredSession> sessions =
      OpenStoredSessionsOf(request.db, request.visitor.person.id, UtcNow());
  out += "<section class=\"sessions\">\n<h2>";
  AppendEscapedHtml(out, Text(language, MessageId::kSessionsHeading));
  out += "</h2>\n<table class=\"sessions\">\n<tr>";
  for (const MessageId column :
       {MessageId::kSessionStarted, MessageId::kSessionLastSeen, MessageId::kSessionAddress,
        MessageId::kSessionDevice, MessageId::kActions}) {
    out += "<th scope=\"col\">";
    AppendEscapedHtml(out, Text(language, column));
    out += "</th>";
  }
  out += "</tr>\n";
  bool others = false;
  for (const StoredSession& session : sessions) {
    const bool own = session.key == own_key;
    others = others || !own;
    out += own ? "<tr class=\"this-session\">" : "<tr>";
    AppendCell(out, UtcText(session.started_at));
    AppendCell(out, UtcText(session.last_seen_at));
    AppendCell(out, session.address);
    AppendCell(out, session.agent);
    out += "<td>";
    if (own) {
      AppendEscapedHtml(out, Text(language, MessageId::kThisSession));
    } else {
      AppendActionForm(out, request, "end-session", Text(language, MessageId::kEndSession),
                       session.key);
    }
    out += "</td></tr>\n";
  }
  out += "</table>\n";
  if (others) {
    AppendActionForm(out, request, "end-others", Text(language, MessageId::kEndOtherSessions));
    out += '\n';
  }
  out += "</section>\n";
}

void AppendTokensSection(std::string& out, const PageRequest& request) {
  const Language language = request.language;
  const std::int64_t self = request.visitor.person.id;
  out += "<section class=\"tokens\">\n<h2>";
  AppendEscapedHtml(out, Text(language, MessageId::kTokensHeading));
  out += "</h2>\n<p>";
  const std::optional<StoredToken> feed = FindStoredToken(request.db, self, "feed");
  if (feed && feed->created_at) {
    AppendEscapedHtml(out,
                      Format(language, MessageId::kFeedTokenMadeAt, {UtcText(*feed->created_at)}));
  } else {
    AppendEscapedHtml(out, Text(language, MessageId::kNoFeedToken));
  }
  out += "</p>\n";
  AppendActionForm(out, request, "reset-feed", Text(language, MessageId::kResetFeedButton));
  out += "\n<p>";
  const std::optional<DateTime> api = PersonalTokens::ApiTokenMade(request.db, self);
  if (api) {
    AppendEscapedHtml(out, Format(language, MessageId::kApiTokenMadeAt, {UtcText(*api)}));
  } else {
    AppendEscapedHtml(out, Text(language, MessageId::kNoApiToken));
  }
  out += "</p>\n";
  if (api) {
    AppendActionForm(out, request, "revoke-api-token", Text(language, MessageId::kRevokeApiToken));
    out += '\n';
  }
  out += "</section>\n";
}

// The mails one may ask for here: every person the first, a leader the
// others too.
struct MailChoiceCaption {
  std::string_view choice;
  MessageId caption;
  bool leaders_only;
};
constexpr MailChoiceCaption kMailChoiceCaptions[] = {
    {kMailChanges, MessageId::kMailChoiceChanges, false},
    {kMailWeeklySummary, MessageId::kMailChoiceWeekly, true},
    {kMailAwayList, MessageId::kMailChoiceAway, true},
};

// What the mail section shows: as stored, or as posted when refused.
struct MailForm {
  MailAddress address;
  std::vector<std::string> choices;
  std::optional<std::string> problem;
};

MailForm StoredMailForm(const PageRequest& request) {
  const std::int64_t self = request.visitor.person.id;
  return {MailAddressOf(request.db, self).value_or(MailAddress{}), MailChoicesOf(request.db, self),
          std::nullopt};
}

bool Holds(const std::vector<std::string>& list, std::string_view item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

void AppendMailSection(std::string& out, const PageRequest& request, const MailForm& form) {
  const Language language = request.language;
  out += "<section class=\"mail\">\n<h2>";
  AppendEscapedHtml(out, Text(language, MessageId::kMailHeading));
  out += "</h2>\n";
  if (form.problem) {
    out += "<p class=\"error\" role=\"alert\">";
    AppendEscapedHtml(out, *form.problem);
    out += "</p>\n";
  }
  AppendFormStart(out, "post", kAccountPath, "mail-form");
  out += '\n';
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "action", "mail");
  AppendMailAddressFields(out, language, form.address);
  out += "<fieldset class=\"mail-choices\"><legend>";
  AppendEscapedHtml(out, Text(language, MessageId::kMailChoicesLegend));
  out += "</legend>\n";
  for (const MailChoiceCaption& c : kMailChoiceCaptions) {
    if (c.leaders_only && !request.visitor.leader) continue;
    out += "<label><input type=\"checkbox\" name=\"mail_choice\" value=\"";
    AppendEscapedHtml(out, c.choice);
    out += Holds(form.choices, c.choice) ? "\" checked> " : "\"> ";
    AppendEscapedHtml(out, Text(language, c.caption));
    out += "</label><br>\n";
  }
  out += "</fieldset>\n";
  if (form.address.address.empty() && !form.choices.empty()) {
    out += "<p class=\"note\">";
    AppendEscapedHtml(out, Text(language, MessageId::kMailNeedsAddress));
    out += "</p>\n";
  }
  AppendSubmitButton(out, Text(language, MessageId::kMailSaveButton));
  out += "\n</form>\n</section>\n";
}

PageReply RenderAccount(PageRequest& request, const std::optional<std::string>& problem,
                        const MailForm& mail, int status);

// Saves the address and the choices posted. The leader's mails are
// refused to anybody else (403); a person who no longer leads keeps them
// as they are stored, since the form no longer shows them.
PageReply SubmitMail(PageRequest& request) {
  const std::int64_t self = request.visitor.person.id;
  const bool leader = request.visitor.leader;
  const PostedMailAddress posted = ReadMailAddressFields(request.form, request.language);
  std::vector<std::string> asked;
  const auto [first, last] = request.form.equal_range("mail_choice");
  for (auto it = first; it != last; ++it) {
    const auto known = std::find_if(std::begin(kMailChoiceCaptions), std::end(kMailChoiceCaptions),
                                    [&](const MailChoiceCaption& c) { return c.choice == it->second; });
    if (known == std::end(kMailChoiceCaptions)) {
      throw HttpError(400, {MessageId::kUnknownAction, {ShortDetail(it->second, 32)}});
    }
    if (known->leaders_only && !leader) throw HttpError(403, {MessageId::kMailLeaderOnly, {}});
    asked.push_back(it->second);
  }
  if (posted.problem) {
    return RenderAccount(request, std::nullopt, {posted.value, asked, posted.problem}, 400);
  }
  const MailForm stored = StoredMailForm(request);
  const DateTime now = UtcNow();
  std::string detail;
  if (posted.value.address != stored.address.address ||
      (!posted.value.address.empty() && posted.value.language != stored.address.language)) {
    // In a transaction of its own, as each choice below.
    SetMailAddress(request.db, self, posted.value.address, posted.value.language, now);
    detail = posted.value.address.empty()
                 ? std::string("mail address removed")
                 : "mail address " + posted.value.address + " (" + posted.value.language + ")";
  }
  for (const MailChoiceCaption& c : kMailChoiceCaptions) {
    if (c.leaders_only && !leader) continue;
    const bool wanted = Holds(asked, c.choice);
    if (wanted == Holds(stored.choices, c.choice)) continue;
    SetMailChoice(request.db, self, c.choice, wanted, now);
    if (!detail.empty()) detail += "; ";
    detail += (wanted ? "asked for " : "took back ") + std::string(c.choice);
  }
  if (!detail.empty()) {
    RecordAudit(request.db, OwnAudit(request, audit::kMailSettingsChanged, detail));
  }
  return PageReply{303, {}, http::LinkWithQuery(kAccountPath, {{"done", "mail"}})};
}

PageReply Done(std::string_view what) {
  return PageReply{303, {}, http::LinkWithQuery(kAccountPath, {{"done", what}})};
}

}  // namespace

AuditRecord OwnAudit(const PageRequest& request, std::string_view kind, std::string_view detail) {
  const std::int64_t self = request.visitor.person.id;
  return AuditRecord{UtcNow(),
                     self,
                     std::string(kind),
                     self,
                     std::string(detail),
                     request.http ? request.http->remote_address : std::string()};
}

std::optional<std::string> RefuseNewPassword(Language language, std::string_view password,
                                             std::string_view repeat, const Person& person) {
  if (const std::optional<PasswordProblem> problem =
          JudgeNewPassword(password, person.id, person.name)) {
    switch (*problem) {
      case PasswordProblem::kTooShort:
        return Format(language, MessageId::kPasswordTooShort, {std::to_string(kShortestPassword)});
      case PasswordProblem::kNameOrNumber:
        return std::string(Text(language, MessageId::kPasswordIsName));
      case PasswordProblem::kTooCommon:
        return std::string(Text(language, MessageId::kPasswordTooCommon));
    }
  }
  if (password != repeat) return std::string(Text(language, MessageId::kPasswordsDiffer));
  return std::nullopt;
}

PageReply AccountPage(PageRequest& request, std::optional<std::string> problem, int status) {
  return RenderAccount(request, problem, StoredMailForm(request), status);
}

namespace {

PageReply RenderAccount(PageRequest& request, const std::optional<std::string>& problem,
                        const MailForm& mail, int status) {
  const Language language = request.language;
  const std::string done = FieldOrEmpty(request.query, "done");
  std::optional<MessageId> notice;
  if (done == "password") notice = MessageId::kPasswordChanged;
  if (done == "session") notice = MessageId::kSessionEnded;
  if (done == "others") notice = MessageId::kOtherSessionsEnded;
  if (done == "reset") notice = MessageId::kFeedWasReset;
  if (done == "revoked") notice = MessageId::kApiTokenRevoked;
  if (done == "mail") notice = MessageId::kMailSettingsSavedNotice;
  std::string out;
  out.reserve(8192);
  AppendPageStart(out, language, Text(language, MessageId::kAccountTitle), &request.visitor,
                  request.here);
  out += "<div class=\"account\">\n<h1>";
  AppendEscapedHtml(out, Text(language, MessageId::kAccountTitle));
  out += "</h1>\n";
  if (notice && !problem && !mail.problem) {
    out += "<p class=\"notice\" role=\"status\">";
    AppendEscapedHtml(out, Text(language, *notice));
    out += "</p>\n";
  }
  AppendPasswordSection(out, request, problem);
  AppendSecondFactorSection(out, request);
  AppendSessionsSection(out, request);
  AppendMailSection(out, request, mail);
  AppendTokensSection(out, request);
  out += "</div>\n";
  AppendPageEnd(out);
  return PageReply{status, std::move(out), {}};
}

}  // namespace

PageReply ShowAccount(PageRequest& request) { return AccountPage(request, std::nullopt, 200); }

PageReply SubmitAccount(PageRequest& request) {
  const std::string action = FieldOrEmpty(request.form, "action");
  Visitor& visitor = request.visitor;
  const std::int64_t self = visitor.person.id;
  if (action == "end-session") {
    const std::string key = FieldOrEmpty(request.form, "session");
    store::Transaction transaction(request.db);
    if (!EndStoredSession(request.db, self, key, UtcNow())) {
      throw HttpError(404, {MessageId::kNoSuchSession, {}});
    }
    RecordAudit(request.db, OwnAudit(request, audit::kSessionsEnded, "one own session"));
    transaction.Commit();
    return Done("session");
  }
  if (action == "end-others") {
    // The generation ends sessions that have no record yet too; this one
    // is issued anew under the raised generation.
    const std::string rnd = visitor.session->Get("rnd").ToText();
    store::Transaction transaction(request.db);
    RaisePersonGeneration(request.db, self);
    EndSessionRecordsOf(request.db, self, rnd);
    RecordAudit(request.db, OwnAudit(request, audit::kSessionsEnded, "all other own sessions"));
    transaction.Commit();
    if (const std::optional<SessionGeneration> generation =
            CurrentSessionGeneration(request.db, self)) {
      ReissueSession(visitor, *generation);
    }
    return Done("others");
  }
  if (action == "reset-feed") {
    PersonalTokens(request.options.secret).ResetFeedToken(request.db, self);
    RecordAudit(request.db, OwnAudit(request, audit::kTokenChanged, "feed address reset"));
    return Done("reset");
  }
  if (action == "mail") return SubmitMail(request);
  if (action == "revoke-api-token") {
    if (PersonalTokens::RevokeApiToken(request.db, self)) {
      RecordAudit(request.db, OwnAudit(request, audit::kTokenChanged, "API token revoked"));
    }
    return Done("revoked");
  }
  throw HttpError(400, {MessageId::kUnknownAction, {action.substr(0, 32)}});
}

}  // namespace ostrand::web
