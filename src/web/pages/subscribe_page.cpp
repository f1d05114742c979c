#include "web/pages/subscribe_page.h"

#include <sodium.h>

#include <climits>
#include <optional>
#include <vector>

#include "core/date_text.h"
#include "core/html.h"
#include "core/text.h"
#include "web/pages/feed_address.h"
#include "web/auth/app_passwords.h"
#include "web/auth/personal_tokens.h"
#include "web/auth/session_cookie.h"
#include "web/auth/sign_in.h"
#include "web/data/persons.h"
#include "web/data/plan_changes.h"
#include "web/http/cookies.h"
#include "web/http/request_values.h"
#include "web/http/site_address.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/html_form.h"
#include "web/pages/page_audit.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {
namespace {

// Opens a section of the page: its class, its heading and the note under
// it. The caller closes it.
void AppendSectionHead(std::string& out, std::string_view section_class, std::string_view heading,
                       std::string_view note) {
  out += "<section class=\"";
  out += section_class;
  out += "\">\n<h2>";
  AppendEscapedHtml(out, heading);
  out += "</h2>\n<p>";
  AppendEscapedHtml(out, note);
  out += "</p>\n";
}

// What the tag of a new token's cookie covers.
std::string NewTokenTag(const SecretKey& key, std::string_view fields, NewSecret kind) {
  std::string message = kind == NewSecret::kApiToken ? "new-api-token\n" : "new-app-password\n";
  message += fields;
  unsigned char tag[crypto_auth_BYTES];
  crypto_auth(tag, reinterpret_cast<const unsigned char*>(message.data()), message.size(),
              key.data());
  return UrlSafeBase64(std::string_view(reinterpret_cast<const char*>(tag), sizeof tag));
}

bool UrlSafeToken(std::string_view text) {
  if (text.empty() || text.size() > 128) return false;
  for (const char c : text) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

// One feed: a heading, what it shows, and its two addresses.
void AppendFeed(std::string& out, std::string_view heading, std::string_view note,
                const std::string& base, const std::string& path) {
  const std::string address = base + path;
  const std::string webcal = "webcal://" + address.substr(address.find("//") + 2);
  AppendSectionHead(out, "feed", heading, note);
  out += "<dl class=\"feed-urls\">\n<dt>";
  AppendEscapedHtml(out, address.substr(0, address.find(':')));
  out += "</dt>\n<dd><input type=\"text\" readonly class=\"feed-url\" aria-label=\"";
  AppendEscapedHtml(out, heading);
  out += "\" value=\"";
  AppendEscapedHtml(out, address);
  out += "\"></dd>\n<dt>webcal</dt>\n<dd><a class=\"webcal\" href=\"";
  AppendEscapedHtml(out, webcal);
  out += "\">";
  AppendEscapedHtml(out, webcal);
  out += "</a></dd>\n</dl>\n</section>\n";
}

void AppendActionForm(std::string& out, const PageRequest& request, std::string_view action,
                      MessageId caption) {
  AppendFormStart(out, "post", kSubscribePath, "token-action");
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "action", action);
  AppendSubmitButton(out, Text(request.language, caption));
  out += "</form>\n";
}

std::string UtcText(const DateTime& t) { return MinuteText(t) + " UTC"; }

void AppendCell(std::string& out, std::string_view text) {
  out += "<td>";
  AppendEscapedHtml(out, text);
  out += "</td>";
}

// A new secret shown once: "LABEL <code>SECRET</code> HINT".
void AppendNewSecret(std::string& out, std::string_view label, std::string_view secret,
                     std::string_view hint) {
  out += "<p class=\"new-token\">";
  AppendEscapedHtml(out, label);
  out += "<code>";
  AppendEscapedHtml(out, secret);
  out += "</code>";
  AppendEscapedHtml(out, hint);
  out += "</p>\n";
}

// The app passwords: the list with a revoke button each, the form that
// makes one, the new one once, and what a calendar program is set up with.
void AppendAppPasswords(std::string& out, const PageRequest& request, const std::string& base,
                        const std::string& new_password) {
  const Language language = request.language;
  const auto text = [language](MessageId id) { return Text(language, id); };
  AppendSectionHead(out, "app-passwords", text(MessageId::kAppPasswordsHeading), text(MessageId::kAppPasswordsNote));
  if (!new_password.empty()) {
    AppendNewSecret(out, text(MessageId::kNewAppPasswordLabel), new_password,
                    text(MessageId::kNewAppPasswordHint));
  }
  const std::vector<AppPasswordInfo> passwords =
      ListAppPasswords(request.db, request.visitor.person.id);
  if (passwords.empty()) {
    out += "<p>";
    AppendEscapedHtml(out, text(MessageId::kNoAppPasswords));
    out += "</p>\n";
  } else {
    out += "<table class=\"app-passwords\">\n<tr>";
    for (const MessageId column :
         {MessageId::kAppPasswordNameColumn, MessageId::kAppPasswordMadeColumn,
          MessageId::kAppPasswordUsedColumn, MessageId::kActions}) {
      out += "<th scope=\"col\">";
      AppendEscapedHtml(out, text(column));
      out += "</th>";
    }
    out += "</tr>\n";
    for (const AppPasswordInfo& password : passwords) {
      out += "<tr>";
      AppendCell(out, password.name);
      AppendCell(out, UtcText(password.created_at));
      AppendCell(out, password.last_used ? UtcText(*password.last_used)
                                         : text(MessageId::kAppPasswordNeverUsed));
      out += "<td>";
      AppendFormStart(out, "post", kSubscribePath, "token-action");
      AppendHiddenField(out, "csrf", request.visitor.csrf_token);
      AppendHiddenField(out, "action", "revoke-app-password");
      AppendHiddenField(out, "name", password.name);
      AppendSubmitButton(out, text(MessageId::kRevokeAppPassword));
      out += "</form></td></tr>\n";
    }
    out += "</table>\n";
  }
  AppendFormStart(out, "post", kSubscribePath, "new-app-password");
  out += '\n';
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "action", "new-app-password");
  AppendLabelledInput(out, text(MessageId::kAppPasswordNameLabel), "text", "name",
                      std::string_view(), "maxlength=\"" +
                                              std::to_string(kAppPasswordNameLimit) + "\"");
  AppendSubmitButton(out, text(MessageId::kMakeAppPassword));
  out += "\n</form>\n<h3>";
  AppendEscapedHtml(out, text(MessageId::kCalendarAppHeading));
  out += "</h3>\n<p>";
  AppendEscapedHtml(out, text(MessageId::kCalendarAppNote));
  out += "</p>\n<dl class=\"feed-urls calendar-app\">\n<dt>";
  const std::string server = base + std::string(kDavFolder);
  AppendEscapedHtml(out, text(MessageId::kCalendarAppServer));
  out += "</dt>\n<dd><input type=\"text\" readonly class=\"feed-url dav-url\" aria-label=\"";
  AppendEscapedHtml(out, text(MessageId::kCalendarAppServer));
  out += "\" value=\"";
  AppendEscapedHtml(out, server);
  out += "\"></dd>\n<dt>";
  AppendEscapedHtml(out, text(MessageId::kCalendarAppUser));
  out += "</dt>\n<dd><code class=\"dav-user\">";
  AppendEscapedHtml(out, std::to_string(request.visitor.person.id));
  out += "</code></dd>\n<dt>";
  AppendEscapedHtml(out, text(MessageId::kCalendarAppPassword));
  out += "</dt>\n<dd>";
  AppendEscapedHtml(out, text(MessageId::kCalendarAppPasswordValue));
  out += "</dd>\n</dl>\n<p>";
  AppendEscapedHtml(out, Format(language, MessageId::kCalendarAppDiscovery, {base}));
  out += "</p>\n</section>\n";
}

PageReply SubscribePage(PageRequest& request, const std::optional<std::string>& notice,
                        const std::string& new_api_token, const std::string& new_app_password,
                        int status) {
  const Visitor& visitor = request.visitor;
  const Language language = request.language;
  const auto text = [language](MessageId id) { return Text(language, id); };
  // The colleague whose feed the picker shows.
  std::optional<Person> colleague;
  if (const std::optional<std::string> text = FindField(request.query, "personID");
      text && !text->empty()) {
    const std::int64_t id = ReadPersonIdValue("personID", *text);
    colleague = FindPerson(request.db, id);
    if (!colleague) throw HttpError(404, {MessageId::kNoSuchPerson, {std::to_string(id)}});
    RequireSameSystem(visitor, *colleague);
  }
  const PersonalTokens tokens(request.options.secret);
  const std::string token = tokens.FeedToken(request.db, visitor.person.id);
  const std::string base = SiteBase(request);

  std::string out;
  out.reserve(8192);
  AppendPageStart(out, language, text(MessageId::kSubscribeTitle), &visitor, request.here);
  out += "<div class=\"subscribe\">\n<h1>";
  AppendEscapedHtml(out, text(MessageId::kSubscribeTitle));
  out += "</h1>\n";
  if (notice) {
    out += "<p class=\"notice\" role=\"status\">";
    AppendEscapedHtml(out, *notice);
    out += "</p>\n";
  }
  out += "<p>";
  AppendEscapedHtml(out, text(MessageId::kSubscribeIntro));
  out += "</p>\n";
  AppendFeed(out, text(MessageId::kFeedOwn), text(MessageId::kFeedOwnNote), base,
             FeedPath(token, FeedKind::kOwn));

  out += "<section class=\"feed colleague\">\n<h2>";
  AppendEscapedHtml(out, text(MessageId::kFeedColleagues));
  out += "</h2>\n";
  AppendFormStart(out, "get", kSubscribePath, "person-picker");
  out += '\n';
  AppendSelectStart(out, text(MessageId::kPersonPicker), "personID");
  const std::shared_ptr<const std::vector<Person>> persons =
      visitor.person.system_id ? PersonsOfSystem(request.db, *visitor.person.system_id)
                               : std::make_shared<const std::vector<Person>>();
  for (const Person& person : *persons) {
    if (person.id == visitor.person.id) continue;
    AppendOption(out, std::to_string(person.id), person.name,
                 colleague && colleague->id == person.id);
  }
  AppendSelectEnd(out);
  AppendSubmitButton(out, text(MessageId::kShowAddress));
  out += "\n</form>\n</section>\n";
  if (colleague) {
    AppendFeed(out, Format(language, MessageId::kFeedOfPerson, {colleague->name}),
               text(MessageId::kFeedColleagueNote), base,
               FeedPath(token, FeedKind::kColleague, colleague->id));
  }
  if (visitor.leader) {
    AppendFeed(out, text(MessageId::kFeedDepartment), text(MessageId::kFeedDepartmentNote), base,
               FeedPath(token, FeedKind::kDepartment));
    AppendFeed(out, text(MessageId::kFeedDepartment2), text(MessageId::kFeedDepartment2Note), base,
               FeedPath(token, FeedKind::kDepartment2));
  }
  AppendSectionHead(out, "reset", text(MessageId::kResetFeedHeading), text(MessageId::kResetFeedNote));
  AppendActionForm(out, request, "reset-feed", MessageId::kResetFeedButton);
  out += "</section>\n";

  AppendSectionHead(out, "api-token", text(MessageId::kApiTokenHeading), text(MessageId::kApiTokenNote));
  if (!new_api_token.empty()) {
    AppendNewSecret(out, text(MessageId::kNewApiTokenLabel), new_api_token,
                    text(MessageId::kNewApiTokenHint));
  }
  const std::optional<DateTime> made = PersonalTokens::ApiTokenMade(request.db, visitor.person.id);
  out += "<p>";
  if (made) {
    AppendEscapedHtml(out, Format(language, MessageId::kApiTokenMadeAt, {UtcText(*made)}));
  } else {
    AppendEscapedHtml(out, text(MessageId::kNoApiToken));
  }
  out += "</p>\n";
  AppendActionForm(out, request, "new-api-token", MessageId::kMakeApiToken);
  if (made) AppendActionForm(out, request, "revoke-api-token", MessageId::kRevokeApiToken);
  out += "</section>\n";
  AppendAppPasswords(out, request, base, new_app_password);
  out += "</div>\n";
  AppendPageEnd(out);
  return PageReply{status, std::move(out), {}};
}

}  // namespace

std::string SiteBase(const ServerOptions& options, std::string_view host_header,
                     std::string_view local_port) {
  if (!options.public_url.empty()) return options.public_url;
  std::optional<std::string> host = http::ReadHostHeader(host_header);
  if (!host) {
    host = http::ReadHostHeader(options.host + ":" +
                                (local_port.empty() ? std::string("80") : std::string(local_port)));
  }
  return "http://" + host.value_or("localhost");
}

std::string SiteBase(const PageRequest& request) {
  const auto host_header = request.server_variables.find("HTTP_HOST");
  const auto port = request.server_variables.find("SERVER_PORT");
  return SiteBase(request.options,
                  host_header != request.server_variables.end() ? host_header->second : "",
                  port != request.server_variables.end() ? port->second : "");
}

std::string SealNewToken(const SecretKey& key, std::int64_t person, std::string_view token,
                         std::int64_t expires, NewSecret kind) {
  std::string fields = std::to_string(person) + "." + std::to_string(expires) + ".";
  fields += token;
  return fields + "." + NewTokenTag(key, fields, kind);
}

std::optional<std::string> OpenNewToken(const SecretKey& key, std::string_view value,
                                        std::int64_t person, std::int64_t now, NewSecret kind) {
  const std::size_t last_dot = value.rfind('.');
  if (last_dot == std::string_view::npos) return std::nullopt;
  const std::string_view fields = value.substr(0, last_dot);
  std::vector<std::string_view> parts;
  for (std::string_view rest = fields;;) {
    const std::size_t dot = rest.find('.');
    parts.push_back(rest.substr(0, dot));
    if (dot == std::string_view::npos) break;
    rest.remove_prefix(dot + 1);
  }
  if (parts.size() != 3 || !UrlSafeToken(parts[2])) return std::nullopt;
  const std::optional<std::int64_t> owner = ReadWholeNumber(parts[0], kLargestExactId);
  const std::optional<std::int64_t> expires = ReadWholeNumber(parts[1], INT64_MAX);
  if (!owner || !expires || *owner != person || *expires <= now ||
      *expires - now > kNewTokenCookieLifetime) {
    return std::nullopt;
  }
  if (!SameText(value.substr(last_dot + 1), NewTokenTag(key, fields, kind))) return std::nullopt;
  return std::string(parts[2]);
}

PageReply ShowSubscribe(PageRequest& request) {
  const std::string done = FieldOrEmpty(request.query, "done");
  std::optional<MessageId> notice;
  if (done == "reset") notice = MessageId::kFeedWasReset;
  if (done == "revoked") notice = MessageId::kApiTokenRevoked;
  if (done == "made") notice = MessageId::kApiTokenMade;
  if (done == "app-made") notice = MessageId::kAppPasswordMade;
  if (done == "app-revoked") notice = MessageId::kAppPasswordRevoked;
  // A new token or app password is shown on the first page after the POST
  // only.
  const auto opened = [&request](std::string_view cookie_name, NewSecret kind,
                                 bool& seen) -> std::string {
    const std::optional<std::string_view> cookie =
        request.http ? http::FindRequestCookie(*request.http, cookie_name) : std::nullopt;
    if (!cookie) return {};
    seen = true;
    return OpenNewToken(request.options.secret, *cookie, request.visitor.person.id, UnixNow(),
                        kind)
        .value_or("");
  };
  bool token_cookie = false;
  bool password_cookie = false;
  const std::string token = opened(kNewTokenCookieName, NewSecret::kApiToken, token_cookie);
  const std::string password =
      opened(kNewAppPasswordCookieName, NewSecret::kAppPassword, password_cookie);
  PageReply reply = SubscribePage(
      request, notice ? std::optional<std::string>(std::string(Text(request.language, *notice))) : std::nullopt,
      token, password, 200);
  if (token_cookie) {
    reply.headers.push_back(
        {"Set-Cookie", http::SetCookieValue(kNewTokenCookieName, "", kSubscribePath, 0)});
  }
  if (password_cookie) {
    reply.headers.push_back(
        {"Set-Cookie", http::SetCookieValue(kNewAppPasswordCookieName, "", kSubscribePath, 0)});
  }
  return reply;
}

PageReply SubmitSubscribe(PageRequest& request) {
  const std::string action = FieldOrEmpty(request.form, "action");
  const std::int64_t self = request.visitor.person.id;
  if (action == "reset-feed") {
    PersonalTokens(request.options.secret).ResetFeedToken(request.db, self);
    RecordAudit(request.db, VisitorAudit(request, audit::kTokenChanged, self, "feed reset"));
    return PageReply{303, {}, http::LinkWithQuery(kSubscribePath, {{"done", "reset"}})};
  }
  if (action == "revoke-api-token") {
    PersonalTokens::RevokeApiToken(request.db, self);
    RecordAudit(request.db, VisitorAudit(request, audit::kTokenChanged, self, "API token revoked"));
    return PageReply{303, {}, http::LinkWithQuery(kSubscribePath, {{"done", "revoked"}})};
  }
  if (action == "new-api-token") {
    const std::string token = PersonalTokens::NewApiToken(request.db, self);
    RecordAudit(request.db, VisitorAudit(request, audit::kTokenChanged, self, "API token made"));
    const std::int64_t expires = UnixNow() + kNewTokenCookieLifetime;
    PageReply reply{303, {}, http::LinkWithQuery(kSubscribePath, {{"done", "made"}})};
    reply.headers.push_back(
        {"Set-Cookie", http::SetCookieValue(kNewTokenCookieName,
                                            SealNewToken(request.options.secret, self, token,
                                                         expires),
                                            kSubscribePath, kNewTokenCookieLifetime)});
    return reply;
  }
  if (action == "new-app-password") {
    const std::string asked = FieldOrEmpty(request.form, "name");
    std::string name;
    std::string password;
    try {
      name = AppPasswordName(request.db, self, asked);
      password = CreateAppPassword(request.db, self, name, UtcNow());
    } catch (const Error& e) {
      if (e.kind() == ErrorKind::kConflict) {
        return SubscribePage(request, std::string(Text(request.language, MessageId::kAppPasswordNameTaken)), "",
                             "", 409);
      }
      if (e.kind() == ErrorKind::kBadInput) {
        return SubscribePage(request,
                             Format(request.language, MessageId::kAppPasswordNameBad,
                                    {std::to_string(kAppPasswordNameLimit)}),
                             "", "", 400);
      }
      throw;
    }
    RecordAudit(request.db,
                VisitorAudit(request, audit::kTokenChanged, self, "app password made: " + name));
    const std::int64_t expires = UnixNow() + kNewTokenCookieLifetime;
    PageReply reply{303, {}, http::LinkWithQuery(kSubscribePath, {{"done", "app-made"}})};
    reply.headers.push_back(
        {"Set-Cookie",
         http::SetCookieValue(kNewAppPasswordCookieName,
                              SealNewToken(request.options.secret, self, password, expires,
                                           NewSecret::kAppPassword),
                              kSubscribePath, kNewTokenCookieLifetime)});
    return reply;
  }
  if (action == "revoke-app-password") {
    const std::string name = FieldOrEmpty(request.form, "name");
    if (!RevokeAppPassword(request.db, self, name)) {
      return SubscribePage(request, std::string(Text(request.language, MessageId::kAppPasswordGone)), "", "",
                           404);
    }
    RecordAudit(request.db, VisitorAudit(request, audit::kTokenChanged, self,
                                         "app password revoked: " + std::string(TrimWhitespace(name))));
    return PageReply{303, {}, http::LinkWithQuery(kSubscribePath, {{"done", "app-revoked"}})};
  }
  throw HttpError(400, {MessageId::kUnknownAction, {action.substr(0, 32)}});
}

}  // namespace ostrand::web
