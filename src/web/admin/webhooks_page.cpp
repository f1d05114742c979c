#include "web/admin/webhooks_page.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/date_text.h"
#include "core/html.h"
#include "core/text.h"
#include "web/admin/admin_routes.h"
#include "web/auth/webhook_signature.h"
#include "web/data/audit_log.h"
#include "web/data/organisation.h"
#include "web/data/outbox.h"
#include "web/data/plan_changes.h"
#include "web/data/webhooks_table.h"
#include "web/http/receiver_address.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/html_form.h"
#include "web/pages/list_paging.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {
namespace {

using enum MessageId;

constexpr std::size_t kLongestName = 100;
// The deliveries a receiver's page shows at first.
constexpr std::size_t kDeliveriesPerPage = 25;
// How the administration page names itself in the outbox's leases.
constexpr std::string_view kOutboxOwner = "administration page";

struct KindCaption {
  std::string_view kind;
  MessageId caption;
};
constexpr KindCaption kKindCaptions[] = {
    {kPlanAdded, kWebhookKindPlanAdded},       {kPlanChanged, kWebhookKindPlanChanged},
    {kPlanDeleted, kWebhookKindPlanDeleted},   {kPlanRestored, kWebhookKindPlanRestored},
    {kPersonAdded, kWebhookKindPersonAdded},   {kPersonRetired, kWebhookKindPersonRetired},
    {kAwayToday, kWebhookKindAwayToday},
};

std::string KindCaptionOf(Language language, std::string_view kind) {
  for (const auto& [name, caption] : kKindCaptions) {
    if (name == kind) return std::string(Text(language, caption));
  }
  return std::string(kind);
}

bool IsWebhookKind(std::string_view kind) {
  return std::find(std::begin(kWebhookKinds), std::end(kWebhookKinds), kind) !=
         std::end(kWebhookKinds);
}

std::string UtcText(const std::optional<DateTime>& t) {
  return t ? MinuteText(*t) + " UTC" : std::string();
}

std::string ReceiverLink(std::int64_t id, std::string_view done = {}) {
  const std::string text = std::to_string(id);
  if (done.empty()) return http::LinkWithQuery(kAdminWebhooksPath, {{"receiver", text}});
  return http::LinkWithQuery(kAdminWebhooksPath, {{"receiver", text}, {"done", done}});
}

void AppendHeading(std::string& out, std::string_view text) {
  out += "<h1>";
  AppendEscapedHtml(out, text);
  out += "</h1>\n";
}

void AppendParagraph(std::string& out, std::string_view text, std::string_view attributes = {}) {
  out += "<p";
  if (!attributes.empty()) {
    out += ' ';
    out += attributes;
  }
  out += '>';
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

void AppendCell(std::string& out, std::string_view text) {
  out += "<td>";
  AppendEscapedHtml(out, text);
  out += "</td>";
}

PageReply Page(PageRequest& request, std::string_view title, const std::string& body,
               int status = 200) {
  std::string out;
  out.reserve(body.size() + 4096);
  AppendPageStart(out, request.language, title, &request.visitor, request.here);
  out += "<div class=\"admin webhooks\">\n";
  out += body;
  out += "</div>\n";
  AppendPageEnd(out);
  return PageReply{status, std::move(out)};
}

// The captions of a receiver's settings, as the list and the page of a
// receiver set by the flags show them.
struct SettingTexts {
  std::string kinds, format, entries, away, state, origin;
};

SettingTexts TextsOf(Language language, const Webhook& w) {
  SettingTexts t;
  for (const std::string& kind : w.kinds) {
    if (!t.kinds.empty()) t.kinds += ", ";
    t.kinds += KindCaptionOf(language, kind);
  }
  t.format = std::string(Text(language, w.format == kWebhookFormatChat ? kWebhookFormatChatCaption
                                                                        : kWebhookFormatJsonCaption));
  t.entries = std::string(Text(language, w.sees_private ? kWebhookWithPrivate : kWebhookSharedOnly));
  t.away = w.away_hour ? Format(language, kWebhookHour, {std::to_string(*w.away_hour)})
                       : std::string(Text(language, kWebhookNoAwayHour));
  t.state = std::string(Text(language, w.active ? kWebhookOn : kWebhookOff));
  t.origin = std::string(Text(language, w.origin == kWebhookOriginCommandLine
                                            ? kWebhookByCommandLine
                                            : kWebhookByAdmin));
  return t;
}

constexpr MessageId kSettingColumns[] = {kWebhookKindsColumn,     kWebhookFormat, kWebhookPrivate,
                                         kWebhookAwayHour,  kWebhookActive, kWebhookOrigin};

void AppendSettingCells(std::string& out, const SettingTexts& t) {
  for (const std::string* text : {&t.kinds, &t.format, &t.entries, &t.away, &t.state, &t.origin}) {
    AppendCell(out, *text);
  }
}

bool FromFlags(const Webhook& w) { return w.origin == kWebhookOriginCommandLine; }

// ---- reading a form ----

// The values of the receiver's form as posted (or as stored), kept as
// typed so that a form answered again shows them.
struct FormValues {
  std::string name;
  std::string url;
  std::vector<std::string> kinds;
  bool sees_private = false;
  std::string format{kWebhookFormatJson};
  std::string away_hour;
  std::string secret;  // only on the add form
};

FormValues ValuesOf(const Webhook& w) {
  FormValues v;
  v.name = w.name;
  v.url = w.url;
  v.kinds = w.kinds;
  v.sees_private = w.sees_private;
  v.format = w.format;
  v.away_hour = w.away_hour ? std::to_string(*w.away_hour) : "";
  return v;
}

FormValues PostedValues(const FormFields& form) {
  FormValues v;
  v.name = FieldOrEmpty(form, "name");
  v.url = FieldOrEmpty(form, "url");
  const auto [first, last] = form.equal_range("kind");
  for (auto it = first; it != last; ++it) v.kinds.push_back(it->second);
  v.sees_private = FieldOrEmpty(form, "private") == "1";
  v.format = FieldOrEmpty(form, "format");
  v.away_hour = std::string(TrimBlanks(FieldOrEmpty(form, "away_hour")));
  v.secret = std::string(TrimBlanks(FieldOrEmpty(form, "secret")));
  return v;
}

MessageId AddressMessage(http::ReceiverAddressProblem problem) {
  switch (problem) {
    case http::ReceiverAddressProblem::kEmpty:
      return kWebhookAddressEmpty;
    case http::ReceiverAddressProblem::kTooLong:
      return kWebhookAddressTooLong;
    case http::ReceiverAddressProblem::kCharacters:
      return kWebhookAddressCharacters;
    case http::ReceiverAddressProblem::kScheme:
      return kWebhookAddressScheme;
    case http::ReceiverAddressProblem::kFragment:
      return kWebhookAddressFragment;
    case http::ReceiverAddressProblem::kUserInfo:
      return kWebhookAddressUserInfo;
    case http::ReceiverAddressProblem::kNoHost:
      return kWebhookAddressNoHost;
    case http::ReceiverAddressProblem::kBadHost:
      break;
  }
  return kWebhookAddressBadHost;
}

// Checks the posted values into `w` (its id, secret, state and origin
// untouched); the messages of what breaks a rule, in the language.
std::vector<std::string> CheckInto(PageRequest& request, const FormValues& v, Webhook& w) {
  const Language language = request.language;
  std::vector<std::string> errors;
  if (const std::optional<std::string> name = ReadOrgName(v.name, kLongestName)) {
    w.name = *name;
  } else {
    errors.push_back(Format(language, kWebhookBadName, {std::to_string(kLongestName)}));
  }
  const http::ReceiverAddress address = http::ReadReceiverAddress(v.url);
  if (address.problem) {
    errors.push_back(Format(language, AddressMessage(*address.problem),
                            {std::to_string(http::kLongestReceiverAddress)}));
  } else {
    w.url = address.address;
  }
  w.kinds.clear();
  // In the order of kWebhookKinds, each once, whatever order they came in.
  for (const std::string& kind : v.kinds) {
    if (!IsWebhookKind(kind)) {
      errors.push_back(Format(language, kWebhookUnknownKind, {ShortDetail(kind, 32)}));
    }
  }
  for (const std::string_view kind : kWebhookKinds) {
    if (std::find(v.kinds.begin(), v.kinds.end(), kind) != v.kinds.end()) w.kinds.emplace_back(kind);
  }
  if (v.kinds.empty()) errors.emplace_back(Text(language, kWebhookNoKinds));
  w.sees_private = v.sees_private;
  if (v.format == kWebhookFormatJson || v.format == kWebhookFormatChat) {
    w.format = v.format;
  } else {
    errors.push_back(Format(language, kWebhookBadFormat, {ShortDetail(v.format, 32)}));
  }
  w.away_hour.reset();
  if (!v.away_hour.empty()) {
    const std::optional<std::int64_t> hour = ReadWholeNumber(v.away_hour, 23);
    if (hour) {
      w.away_hour = static_cast<int>(*hour);
    } else {
      errors.push_back(Format(language, kWebhookBadHour, {ShortDetail(v.away_hour, 32)}));
    }
  }
  if (w.Wants(kAwayToday) && v.away_hour.empty()) {
    errors.emplace_back(Text(language, kWebhookAwayNeedsHour));
  }
  return errors;
}

// Whether another receiver than `except` has the address: a second one
// would get every event twice (and a form posted again adds none).
bool AddressTaken(store::Connection& db, std::string_view url, std::int64_t except) {
  const std::vector<Webhook> all = ListWebhooks(db);
  return std::any_of(all.begin(), all.end(),
                     [&](const Webhook& w) { return w.url == url && w.id != except; });
}

// The secret pasted, or a new one; nothing (and the message) for a paste
// that is no secret.
std::optional<std::string> SecretOf(Language language, const std::string& pasted,
                                    std::vector<std::string>& errors) {
  if (pasted.empty()) return NewWebhookSecret();
  if (IsWebhookSecret(pasted)) return pasted;
  errors.emplace_back(Text(language, kWebhookBadSecret));
  return std::nullopt;
}

// What the audit record says of a receiver: never the secret.
std::string Described(std::string_view what, const Webhook& w) {
  std::string kinds;
  for (const std::string& kind : w.kinds) {
    if (!kinds.empty()) kinds += ',';
    kinds += kind;
  }
  return ShortDetail(std::string(what) + " receiver " + std::to_string(w.id) + " " + w.name +
                         "; " + w.url + "; " + kinds + "; " + w.format +
                         (w.sees_private ? "; private" : "") +
                         (w.away_hour ? "; away at " + std::to_string(*w.away_hour) : ""),
                     kAuditDetailLimit);
}

// ---- the forms ----

void AppendReceiverForm(std::string& out, const PageRequest& request, std::string_view action,
                        std::optional<std::int64_t> id, const FormValues& v, MessageId button) {
  const Language language = request.language;
  AppendFormStart(out, "post", kAdminWebhooksPath, "webhook-form");
  out += '\n';
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "action", action);
  if (id) AppendHiddenField(out, "receiver", std::to_string(*id));
  out += '\n';
  AppendLabelledInput(out, Text(language, kWebhookName), "text", "name", v.name,
                      "required maxlength=\"100\" autocomplete=\"off\"");
  AppendLabelledInput(out, Text(language, kWebhookAddress), "url", "url", v.url,
                      "required maxlength=\"2000\" size=\"60\" autocomplete=\"off\" "
                      "placeholder=\"https://\"");
  out += "<fieldset class=\"webhook-kinds\"><legend>";
  AppendEscapedHtml(out, Text(language, kWebhookKindsLegend));
  out += "</legend>\n";
  for (const auto& [kind, caption] : kKindCaptions) {
    const bool checked = std::find(v.kinds.begin(), v.kinds.end(), kind) != v.kinds.end();
    out += "<label><input type=\"checkbox\" name=\"kind\" value=\"";
    AppendEscapedHtml(out, kind);
    out += checked ? "\" checked> " : "\"> ";
    AppendEscapedHtml(out, Text(language, caption));
    out += " <code>";
    AppendEscapedHtml(out, kind);
    out += "</code></label><br>\n";
  }
  out += "</fieldset>\n";
  AppendLabelledInput(out, Text(language, kWebhookPrivateLabel), "checkbox", "private", "1",
                      v.sees_private ? "checked" : "");
  AppendSelectStart(out, Text(language, kWebhookFormat), "format");
  AppendOption(out, kWebhookFormatJson, Text(language, kWebhookFormatJsonCaption),
               v.format != kWebhookFormatChat);
  AppendOption(out, kWebhookFormatChat, Text(language, kWebhookFormatChatCaption),
               v.format == kWebhookFormatChat);
  AppendSelectEnd(out);
  AppendSelectStart(out, Text(language, kWebhookAwayHourLabel), "away_hour");
  AppendOption(out, "", Text(language, kWebhookNoAwayHour), v.away_hour.empty());
  for (int hour = 0; hour < 24; ++hour) {
    const std::string value = std::to_string(hour);
    AppendOption(out, value, Format(language, kWebhookHour, {value}), v.away_hour == value);
  }
  AppendSelectEnd(out);
  if (!id) {
    AppendLabelledInput(out, Text(language, kWebhookSecretPaste), "text", "secret", v.secret,
                        "autocomplete=\"off\" spellcheck=\"false\" size=\"50\"");
  }
  AppendSubmitButton(out, Text(language, button));
  out += "\n</form>\n";
}

void AppendActionButton(std::string& out, const PageRequest& request, std::string_view action,
                        std::int64_t id, MessageId caption,
                        std::initializer_list<std::pair<std::string_view, std::string>> extra = {}) {
  AppendFormStart(out, "post", kAdminWebhooksPath, "webhook-action");
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "action", action);
  AppendHiddenField(out, "receiver", std::to_string(id));
  for (const auto& [name, value] : extra) AppendHiddenField(out, name, value);
  AppendSubmitButton(out, Text(request.language, caption));
  out += "</form>";
}

// ---- the pages ----

PageReply ListPage(PageRequest& request) {
  const Language language = request.language;
  const auto text = [language](MessageId id) { return Text(language, id); };
  const std::vector<Webhook> receivers = ListWebhooks(request.db);
  std::string out;
  AppendHeading(out, text(kAdminWebhooksTitle));
  if (FieldOrEmpty(request.query, "done") == "removed") {
    AppendParagraph(out, text(kWebhookRemovedNotice), "class=\"notice\" role=\"status\"");
  }
  AppendParagraph(out, text(kWebhooksIntro));
  out += "<p class=\"admin-actions\">";
  AppendLink(out, http::LinkWithQuery(kAdminWebhooksPath, {{"new", "1"}}), text(kWebhooksAddLink));
  out += "</p>\n";
  if (receivers.empty()) {
    AppendParagraph(out, text(kWebhooksNone));
    return Page(request, text(kAdminWebhooksTitle), out);
  }
  out += "<table class=\"webhooks\">\n<thead><tr>";
  for (const MessageId column : {kWebhookName, kWebhookAddress}) {
    out += "<th scope=\"col\">";
    AppendEscapedHtml(out, text(column));
    out += "</th>";
  }
  for (const MessageId column : kSettingColumns) {
    out += "<th scope=\"col\">";
    AppendEscapedHtml(out, text(column));
    out += "</th>";
  }
  out += "</tr></thead>\n<tbody>\n";
  for (const Webhook& w : receivers) {
    out += w.active ? "<tr>" : "<tr class=\"inactive\">";
    out += "<th scope=\"row\">";
    AppendLink(out, ReceiverLink(w.id), w.name);
    out += "</th>";
    AppendCell(out, w.url);
    AppendSettingCells(out, TextsOf(language, w));
    out += "</tr>\n";
  }
  out += "</tbody>\n</table>\n";
  return Page(request, text(kAdminWebhooksTitle), out);
}

PageReply AddPage(PageRequest& request, const FormValues& values,
                  const std::vector<std::string>& errors = {}, int status = 200) {
  const std::string_view title = Text(request.language, kWebhookAddTitle);
  std::string out;
  AppendHeading(out, title);
  AppendErrors(out, errors);
  AppendReceiverForm(out, request, "add", std::nullopt, values, kWebhookAddButton);
  out += "<p>";
  AppendLink(out, kAdminWebhooksPath, Text(request.language, kWebhookBackToList));
  out += "</p>\n";
  return Page(request, title, out, status);
}

std::optional<MessageId> NoticeOf(std::string_view done) {
  if (done == "added") return kWebhookAddedNotice;
  if (done == "saved") return kWebhookSavedNotice;
  if (done == "off") return kWebhookOffNotice;
  if (done == "on") return kWebhookOnNotice;
  if (done == "resent") return kWebhookResentNotice;
  return std::nullopt;
}

std::string DeliveryStatusText(Language language, const Delivery& d) {
  if (d.status == "delivered") return std::string(Text(language, kDeliveryDone));
  if (d.status == "failed") return std::string(Text(language, kDeliveryFailed));
  if (d.status == "pending") {
    return d.next_attempt_at ? Format(language, kDeliveryNextAttempt, {UtcText(d.next_attempt_at)})
                             : std::string(Text(language, kDeliveryPending));
  }
  return d.status;
}

void AppendDeliveries(std::string& out, PageRequest& request, const Webhook& w) {
  const Language language = request.language;
  const auto text = [language](MessageId id) { return Text(language, id); };
  const ListAsk ask = ReadListAsk(request.query);
  const std::size_t size = FindField(request.query, "size") ? ask.size : kDeliveriesPerPage;
  const std::int64_t total = CountDeliveriesOfReceiver(request.db, w.id);
  const PageWindow window = WindowOf(ask.page, size, total);
  const std::vector<Delivery> deliveries =
      DeliveriesOfReceiver(request.db, w.id, window.offset(), window.size);
  out += "<section class=\"deliveries\">\n<h2>";
  AppendEscapedHtml(out, text(kDeliveriesHeading));
  out += "</h2>\n";
  if (deliveries.empty()) {
    AppendParagraph(out, text(kDeliveriesNone));
    out += "</section>\n";
    return;
  }
  out += "<table class=\"deliveries\">\n<thead><tr>";
  for (const MessageId column :
       {kDeliveryMade, kDeliveryEvent, kDeliveryStatus, kDeliveryAttempts, kDeliveryLastStatus,
        kDeliveryLastError, kDeliveryDelivered, kActions}) {
    out += "<th scope=\"col\">";
    AppendEscapedHtml(out, text(column));
    out += "</th>";
  }
  out += "</tr></thead>\n<tbody>\n";
  for (const Delivery& d : deliveries) {
    out += "<tr class=\"";
    AppendEscapedHtml(out, d.status);
    out += "\">";
    AppendCell(out, UtcText(d.created_at));
    AppendCell(out, d.events.empty() ? std::string() : KindCaptionOf(language, d.events.front().kind));
    AppendCell(out, DeliveryStatusText(language, d));
    AppendCell(out, std::to_string(d.attempts));
    AppendCell(out, d.last_status ? std::to_string(*d.last_status) : std::string());
    AppendCell(out, ShortDetail(d.last_error, 300));
    AppendCell(out, UtcText(d.delivered_at));
    out += "<td>";
    if (d.status != "pending") {
      AppendActionButton(out, request, "resend", w.id, kDeliveryResend,
                         {{"delivery", std::to_string(d.id)}});
    }
    out += "</td></tr>\n";
  }
  out += "</tbody>\n</table>\n";
  if (window.pages > 1 || size != kDeliveriesPerPage) {
    const std::int64_t id = w.id;
    AppendPager(
        out, language, window,
        [id](std::int64_t page, std::size_t page_size) {
          const std::string receiver = std::to_string(id);
          const std::string page_text = std::to_string(page);
          const std::string size_text = std::to_string(page_size);
          return http::LinkWithQuery(kAdminWebhooksPath,
                                     {{"receiver", receiver}, {"page", page_text}, {"size", size_text}});
        },
        kDeliveriesShown);
  }
  out += "</section>\n";
}

// The page of one receiver; `secret` when it was just made (the one answer
// that shows it).
PageReply ReceiverPage(PageRequest& request, const Webhook& w, const FormValues& values,
                       const std::vector<std::string>& errors = {}, int status = 200,
                       const std::string& secret = {}) {
  const Language language = request.language;
  const auto text = [language](MessageId id) { return Text(language, id); };
  const std::string title = Format(language, kWebhookEditTitle, {w.name});
  std::string out;
  AppendHeading(out, title);
  if (const std::optional<MessageId> notice = NoticeOf(FieldOrEmpty(request.query, "done"))) {
    AppendParagraph(out, text(*notice), "class=\"notice\" role=\"status\"");
  }
  if (!secret.empty()) {
    out += "<section class=\"webhook-secret\">\n<p class=\"notice\" role=\"status\">";
    AppendEscapedHtml(out, Format(language, kWebhookSecretShown, {w.name}));
    out += "</p>\n<p><input type=\"text\" readonly class=\"feed-url webhook-secret-value\" "
           "aria-label=\"";
    AppendEscapedHtml(out, text(kWebhookSecretField));
    out += "\" value=\"";
    AppendEscapedHtml(out, secret);
    out += "\"></p>\n</section>\n";
  }
  AppendErrors(out, errors);
  if (FromFlags(w)) {
    AppendParagraph(out, text(kWebhookCommandLineNote), "class=\"note\"");
    out += "<table class=\"webhook-settings\">\n<tbody>\n";
    const SettingTexts t = TextsOf(language, w);
    const std::pair<MessageId, const std::string*> rows[] = {
        {kWebhookName, &w.name},         {kWebhookAddress, &w.url},
        {kWebhookKindsColumn, &t.kinds},       {kWebhookFormat, &t.format},
        {kWebhookPrivate, &t.entries},   {kWebhookAwayHour, &t.away},
        {kWebhookActive, &t.state},      {kWebhookOrigin, &t.origin}};
    for (const auto& [caption, value] : rows) {
      out += "<tr><th scope=\"row\">";
      AppendEscapedHtml(out, text(caption));
      out += "</th>";
      AppendCell(out, *value);
      out += "</tr>\n";
    }
    out += "</tbody>\n</table>\n";
  } else {
    AppendReceiverForm(out, request, "edit", w.id, values, kWebhookSaveButton);
    out += "<section class=\"webhook-new-secret\">\n<h2>";
    AppendEscapedHtml(out, text(kWebhookSecretHeading));
    out += "</h2>\n";
    AppendParagraph(out, text(kWebhookSecretNote));
    AppendFormStart(out, "post", kAdminWebhooksPath, "webhook-action");
    AppendHiddenField(out, "csrf", request.visitor.csrf_token);
    AppendHiddenField(out, "action", "new-secret");
    AppendHiddenField(out, "receiver", std::to_string(w.id));
    AppendLabelledInput(out, text(kWebhookSecretPaste), "text", "secret", "",
                        "autocomplete=\"off\" spellcheck=\"false\" size=\"50\"");
    AppendSubmitButton(out, text(kWebhookNewSecretButton));
    out += "</form>\n</section>\n";
  }
  out += "<div class=\"admin-actions\">";
  AppendActionButton(out, request, w.active ? "switch-off" : "switch-on", w.id,
                     w.active ? kWebhookSwitchOff : kWebhookSwitchOn);
  if (!FromFlags(w)) {
    out += ' ';
    AppendLink(out,
               http::LinkWithQuery(kAdminWebhooksPath,
                                   {{"receiver", std::to_string(w.id)}, {"remove", "1"}}),
               text(kWebhookRemoveLink));
  }
  out += "</div>\n";
  AppendDeliveries(out, request, w);
  out += "<p>";
  AppendLink(out, kAdminWebhooksPath, text(kWebhookBackToList));
  out += "</p>\n";
  PageReply reply = Page(request, title, out, status);
  if (!secret.empty()) reply.headers.push_back({"Cache-Control", "no-store"});
  return reply;
}

PageReply RemovePage(PageRequest& request, const Webhook& w) {
  const Language language = request.language;
  const std::string title = Format(language, kWebhookRemoveTitle, {w.name});
  std::string out;
  AppendHeading(out, title);
  AppendParagraph(out, w.url);
  AppendParagraph(out, Text(language, kWebhookRemoveNote));
  out += "<div class=\"admin-actions\">";
  AppendActionButton(out, request, "remove", w.id, kWebhookRemoveButton, {{"confirm", "1"}});
  out += ' ';
  AppendLink(out, ReceiverLink(w.id), Text(language, kWebhookKeep));
  out += "</div>\n";
  return Page(request, title, out);
}

Webhook RequireReceiver(PageRequest& request, const FormFields& fields) {
  const std::int64_t id = ReadPersonIdValue("receiver", FieldOrEmpty(fields, "receiver"));
  std::optional<Webhook> w = FindWebhook(request.db, id);
  if (!w) throw HttpError(404, {kNoSuchWebhook, {std::to_string(id)}});
  return std::move(*w);
}

void RequireSetHere(const Webhook& w) {
  if (FromFlags(w)) throw HttpError(400, {kWebhookSetByFlags, {std::to_string(w.id)}});
}

}  // namespace

PageReply ShowWebhooks(PageRequest& request) {
  if (FieldOrEmpty(request.query, "new") == "1") return AddPage(request, {});
  if (FindField(request.query, "receiver")) {
    const Webhook w = RequireReceiver(request, request.query);
    if (FieldOrEmpty(request.query, "remove") == "1" && !FromFlags(w)) {
      return RemovePage(request, w);
    }
    return ReceiverPage(request, w, ValuesOf(w));
  }
  return ListPage(request);
}

PageReply SubmitWebhooks(PageRequest& request) {
  const std::string action = FieldOrEmpty(request.form, "action");
  store::Connection& db = request.db;
  const DateTime now = UtcNow();
  if (action == "add") {
    const FormValues values = PostedValues(request.form);
    Webhook w;
    std::vector<std::string> errors = CheckInto(request, values, w);
    const std::optional<std::string> secret = SecretOf(request.language, values.secret, errors);
    if (errors.empty() && AddressTaken(db, w.url, 0)) {
      errors.emplace_back(Text(request.language, kWebhookAddressTaken));
    }
    if (!errors.empty()) return AddPage(request, values, errors, 400);
    w.secret = *secret;
    {
      store::Transaction transaction(db);
      w.id = InsertWebhook(db, w, now);
      RecordAudit(db, AuditOf(request, audit::kWebhookChanged, std::nullopt, Described("added", w)));
      transaction.Commit();
    }
    request.query = {{"done", "added"}};
    return ReceiverPage(request, w, ValuesOf(w), {}, 200, w.secret);
  }
  Webhook w = RequireReceiver(request, request.form);
  if (action == "edit") {
    RequireSetHere(w);
    const FormValues values = PostedValues(request.form);
    Webhook changed = w;
    std::vector<std::string> errors = CheckInto(request, values, changed);
    if (errors.empty() && AddressTaken(db, changed.url, w.id)) {
      errors.emplace_back(Text(request.language, kWebhookAddressTaken));
    }
    if (!errors.empty()) return ReceiverPage(request, w, values, errors, 400);
    store::Transaction transaction(db);
    UpdateWebhook(db, changed);
    RecordAudit(db, AuditOf(request, audit::kWebhookChanged, std::nullopt, Described("changed", changed)));
    transaction.Commit();
    return PageReply(303, "", ReceiverLink(w.id, "saved"));
  }
  if (action == "new-secret") {
    RequireSetHere(w);
    std::vector<std::string> errors;
    const std::string pasted(TrimBlanks(FieldOrEmpty(request.form, "secret")));
    const std::optional<std::string> secret = SecretOf(request.language, pasted, errors);
    if (!secret) return ReceiverPage(request, w, ValuesOf(w), errors, 400);
    w.secret = *secret;
    store::Transaction transaction(db);
    UpdateWebhook(db, w);
    RecordAudit(db, AuditOf(request, audit::kWebhookChanged, std::nullopt, Described("new secret of", w)));
    transaction.Commit();
    return ReceiverPage(request, w, ValuesOf(w), {}, 200, w.secret);
  }
  if (action == "switch-off" || action == "switch-on") {
    w.active = action == "switch-on";
    store::Transaction transaction(db);
    UpdateWebhook(db, w);
    RecordAudit(db, AuditOf(request, audit::kWebhookChanged, std::nullopt,
                            Described(w.active ? "switched on" : "switched off", w)));
    transaction.Commit();
    return PageReply(303, "", ReceiverLink(w.id, w.active ? "on" : "off"));
  }
  if (action == "remove") {
    RequireSetHere(w);
    if (FieldOrEmpty(request.form, "confirm") != "1") return RemovePage(request, w);
    // RemoveWebhook is a transaction of its own; the record follows it.
    if (RemoveWebhook(db, w.id)) {
      RecordAudit(db, AuditOf(request, audit::kWebhookChanged, std::nullopt, Described("removed", w)));
    }
    return PageReply(303, "", http::LinkWithQuery(kAdminWebhooksPath, {{"done", "removed"}}));
  }
  if (action == "resend") {
    const std::int64_t id = ReadPersonIdValue("delivery", FieldOrEmpty(request.form, "delivery"));
    const std::optional<Delivery> delivery = FindDelivery(db, id);
    if (!delivery || delivery->channel != "webhook" || delivery->receiver_id != w.id ||
        delivery->status == "pending" || !Outbox(db, std::string(kOutboxOwner)).Resend(id, now)) {
      throw HttpError(409, {kNoSuchEndedDelivery, {std::to_string(id)}});
    }
    RecordAudit(db, AuditOf(request, audit::kDeliveryResent, std::nullopt,
                            ShortDetail("delivery " + std::to_string(id) + " to receiver " +
                                            std::to_string(w.id) + " " + w.name,
                                        kAuditDetailLimit)));
    return PageReply(303, "", ReceiverLink(w.id, "resent"));
  }
  throw HttpError(400, {kUnknownAction, {action.substr(0, 32)}});
}

}  // namespace ostrand::web
