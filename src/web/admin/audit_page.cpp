#include "web/admin/audit_page.h"

#include <algorithm>

#include "core/date_text.h"
#include "core/html.h"
#include "core/text.h"
#include "exports/csv.h"
#include "web/data/persons.h"
#include "web/http/request_error.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/html_form.h"
#include "web/pages/page_layout.h"

namespace ostrand::web {
namespace {

// The records a CSV download reads from the database at a time.
constexpr std::int64_t kCsvBatch = 1000;

std::string PersonText(Language language, const std::optional<std::int64_t>& id,
                       const std::string& name) {
  if (!id) return "";
  if (name.empty()) return Format(language, MessageId::kAuditFormerPerson, {std::to_string(*id)});
  return Format(language, MessageId::kAuditPersonName, {name, std::to_string(*id)});
}

void AppendCell(std::string& out, std::string_view text) {
  out += "<td>";
  AppendEscapedHtml(out, text);
  out += "</td>";
}

// The link to another page of the same listing.
std::string PageLink(const AuditQuery& query, std::int64_t page) {
  const std::string from = query.from ? DateText(*query.from) : "";
  const std::string to = query.to ? DateText(*query.to) : "";
  const std::string number = std::to_string(page);
  return http::LinkWithQuery(kAdminAuditPath, {{"person", query.person},
                                               {"kind", query.kind},
                                               {"from", from},
                                               {"to", to},
                                               {"page", number}});
}

void AppendFilterForm(std::string& out, Language language, const AuditQuery& query) {
  out += "<form class=\"audit-filter\" method=\"get\" action=\"";
  AppendEscapedHtml(out, kAdminAuditPath);
  out += "\" role=\"search\" aria-label=\"";
  AppendEscapedHtml(out, Text(language, MessageId::kAuditFilter));
  out += "\">\n";
  AppendLabelledInput(out, Text(language, MessageId::kAuditFilterPerson), "text", "person",
                      query.person);
  AppendSelectStart(out, Text(language, MessageId::kAuditFilterKind), "kind");
  AppendOption(out, "", Text(language, MessageId::kAuditEveryKind), query.kind.empty());
  for (const std::string_view kind : audit::kKinds) {
    AppendOption(out, kind, AuditKindCaption(language, kind), query.kind == kind);
  }
  AppendSelectEnd(out);
  AppendLabelledInput(out, Text(language, MessageId::kAuditFilterFrom), "date", "from",
                      query.from ? DateText(*query.from) : "");
  AppendLabelledInput(out, Text(language, MessageId::kAuditFilterTo), "date", "to",
                      query.to ? DateText(*query.to) : "");
  AppendSubmitButton(out, Text(language, MessageId::kAuditShow));
  out += "\n</form>\n";
}

struct KindCaption {
  std::string_view kind;
  MessageId caption;
};
constexpr KindCaption kKindCaptions[] = {
    {audit::kSignIn, MessageId::kAuditKindSignIn},
    {audit::kSignInFailed, MessageId::kAuditKindSignInFailed},
    {audit::kSignInThrottled, MessageId::kAuditKindSignInThrottled},
    {audit::kSignOut, MessageId::kAuditKindSignOut},
    {audit::kPasswordChanged, MessageId::kAuditKindPasswordChanged},
    {audit::kTokenChanged, MessageId::kAuditKindTokenChanged},
    {audit::kAdminGranted, MessageId::kAuditKindAdminGranted},
    {audit::kAdminRevoked, MessageId::kAuditKindAdminRevoked},
    {audit::kPersonAdded, MessageId::kAuditKindPersonAdded},
    {audit::kPersonChanged, MessageId::kAuditKindPersonChanged},
    {audit::kPersonRetired, MessageId::kAuditKindPersonRetired},
    {audit::kPersonReinstated, MessageId::kAuditKindPersonReinstated},
    {audit::kPersonsImported, MessageId::kAuditKindPersonsImported},
    {audit::kDepartmentChanged, MessageId::kAuditKindDepartmentChanged},
    {audit::kDutyChanged, MessageId::kAuditKindDutyChanged},
    {audit::kPlaceChanged, MessageId::kAuditKindPlaceChanged},
    {audit::kInvitationMade, MessageId::kAuditKindInvitationMade},
    {audit::kSessionsEnded, MessageId::kAuditKindSessionsEnded},
    {audit::kThrottleLifted, MessageId::kAuditKindThrottleLifted},
    {audit::kIdentityLinked, MessageId::kAuditKindIdentityLinked},
    {audit::kIdentityUnlinked, MessageId::kAuditKindIdentityUnlinked},
    {audit::kSecondFactorEnrolled, MessageId::kAuditKindSecondFactorEnrolled},
    {audit::kSecondFactorRemoved, MessageId::kAuditKindSecondFactorRemoved},
    {audit::kRecoveryCodesMade, MessageId::kAuditKindRecoveryCodesMade},
    {audit::kCalendarPut, MessageId::kAuditKindCalendarPut},
    {audit::kCalendarDelete, MessageId::kAuditKindCalendarDelete},
    {audit::kWebhookChanged, MessageId::kAuditKindWebhookChanged},
    {audit::kDeliveryResent, MessageId::kAuditKindDeliveryResent},
    {audit::kMailSettingsChanged, MessageId::kAuditKindMailSettingsChanged},
};

constexpr MessageId kColumns[] = {MessageId::kAuditWhen,   MessageId::kAuditWho,
                                  MessageId::kAuditWhat,   MessageId::kAuditWhom,
                                  MessageId::kAuditDetail, MessageId::kAuditAddress};

}  // namespace

AuditQuery ReadAuditQuery(const FormFields& query) {
  AuditQuery read;
  read.person = ShortDetail(TrimBlanks(FieldOrEmpty(query, "person")), kTypedNameLimit);
  const std::string kind(TrimBlanks(FieldOrEmpty(query, "kind")));
  if (!kind.empty()) {
    if (!IsAuditKind(kind)) {
      throw HttpError(400, {MessageId::kAuditUnknownKind, {ShortDetail(kind, 32)}});
    }
    read.kind = kind;
  }
  if (const std::string from(TrimBlanks(FieldOrEmpty(query, "from"))); !from.empty()) {
    read.from = ReadDayValue("from", from);
  }
  if (const std::string to(TrimBlanks(FieldOrEmpty(query, "to"))); !to.empty()) {
    read.to = ReadDayValue("to", to);
  }
  if (const std::string page(TrimBlanks(FieldOrEmpty(query, "page"))); !page.empty()) {
    const std::optional<std::int64_t> number = ReadWholeNumber(page, kLargestExactId);
    if (!number || *number < 1) {
      throw http::RequestError(http::RequestError::Rule::kNotANumber, {"page", ShortDetail(page, 32)},
                               "page '" + ShortDetail(page, 32) + "' is not a page number");
    }
    read.page = *number;
  }
  read.csv = FieldOrEmpty(query, "download") == "csv";
  return read;
}

std::string AuditKindCaption(Language language, std::string_view kind) {
  for (const auto& [name, caption] : kKindCaptions) {
    if (name == kind) return std::string(Text(language, caption));
  }
  return std::string(kind);
}

std::string AuditCsv(Language language, const std::vector<StoredAudit>& records) {
  std::string out(exports::kUtf8Bom);
  exports::AppendCsvRecord(
      out, {std::string(Text(language, MessageId::kAuditWhen)),
            std::string(Text(language, MessageId::kAuditWhoNumber)),
            std::string(Text(language, MessageId::kAuditWho)),
            std::string(Text(language, MessageId::kAuditKindCode)),
            std::string(Text(language, MessageId::kAuditWhat)),
            std::string(Text(language, MessageId::kAuditWhomNumber)),
            std::string(Text(language, MessageId::kAuditWhom)),
            std::string(Text(language, MessageId::kAuditDetail)),
            std::string(Text(language, MessageId::kAuditAddress))});
  const auto id = [](const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : std::string();
  };
  for (const StoredAudit& stored : records) {
    const AuditRecord& r = stored.record;
    exports::AppendCsvRecord(out, {IsoUtcText(r.at), id(r.actor), stored.actor_name, r.kind,
                                   AuditKindCaption(language, r.kind), id(r.subject),
                                   stored.subject_name, r.detail, r.address});
  }
  return out;
}

PageReply ShowAuditLog(PageRequest& request) {
  const Language language = request.language;
  const AuditQuery query = ReadAuditQuery(request.query);
  AuditFilter filter{{}, query.kind, query.from, query.to};
  bool nobody = false;
  if (!query.person.empty()) {
    if (const std::optional<std::int64_t> id = ReadWholeNumber(query.person, kLargestExactId)) {
      filter.persons.push_back(*id);
    } else {
      for (const Person& person : FindPersonsByName(request.db, query.person)) {
        filter.persons.push_back(person.id);
      }
      nobody = filter.persons.empty();
    }
  }
  if (query.csv) {
    std::vector<StoredAudit> records;
    if (!nobody) {
      for (std::int64_t skip = 0;; skip += kCsvBatch) {
        std::vector<StoredAudit> batch = ListAudit(request.db, filter, skip, kCsvBatch);
        std::move(batch.begin(), batch.end(), std::back_inserter(records));
        if (static_cast<std::int64_t>(batch.size()) < kCsvBatch) break;
      }
    }
    PageReply reply;
    reply.body = AuditCsv(language, records);
    reply.content_type = "text/csv; charset=utf-8";
    reply.headers.push_back({"Content-Disposition", "attachment; filename=\"audit.csv\""});
    return reply;
  }

  const std::int64_t total = nobody ? 0 : CountAudit(request.db, filter);
  const std::int64_t pages = std::max<std::int64_t>(1, (total + kAuditPageRows - 1) / kAuditPageRows);
  const std::int64_t page = std::min(query.page, pages);
  const std::vector<StoredAudit> records =
      nobody ? std::vector<StoredAudit>{}
             : ListAudit(request.db, filter, (page - 1) * kAuditPageRows, kAuditPageRows);

  std::string out;
  out.reserve(16384);
  AppendPageStart(out, language, Text(language, MessageId::kAdminAuditTitle), &request.visitor,
                  request.here);
  out += "<div class=\"page-head\">\n<h1>";
  AppendEscapedHtml(out, Text(language, MessageId::kAdminAuditTitle));
  out += "</h1>\n</div>\n";
  AppendFilterForm(out, language, query);
  if (nobody) {
    out += "<p class=\"notice\" role=\"status\">";
    AppendEscapedHtml(out, Format(language, MessageId::kAuditNoSuchPerson, {query.person}));
    out += "</p>\n";
  }
  out += "<p class=\"downloads\"><a href=\"";
  {
    const std::string from = query.from ? DateText(*query.from) : "";
    const std::string to = query.to ? DateText(*query.to) : "";
    AppendEscapedHtml(out, http::LinkWithQuery(kAdminAuditPath, {{"person", query.person},
                                                                 {"kind", query.kind},
                                                                 {"from", from},
                                                                 {"to", to},
                                                                 {"download", "csv"}}));
  }
  out += "\" download>";
  AppendEscapedHtml(out, Text(language, MessageId::kAuditDownloadCsv));
  out += "</a></p>\n";
  const std::string count = Format(language, MessageId::kAuditCount, {std::to_string(total)});
  if (records.empty()) {
    out += "<p class=\"empty\">";
    AppendEscapedHtml(out, Text(language, MessageId::kAuditNone));
    out += "</p>\n";
  } else {
    out += "<div class=\"wide\">\n<table class=\"day-plans audit\">\n<caption>";
    AppendEscapedHtml(out, count);
    out += "</caption>\n<tr>";
    for (const MessageId column : kColumns) {
      out += "<th scope=\"col\">";
      AppendEscapedHtml(out, Text(language, column));
      out += "</th>";
    }
    out += "</tr>\n";
    for (const StoredAudit& stored : records) {
      const AuditRecord& r = stored.record;
      out += "<tr>";
      AppendCell(out, DateTimeText(r.at));
      AppendCell(out, PersonText(language, r.actor, stored.actor_name));
      AppendCell(out, AuditKindCaption(language, r.kind));
      AppendCell(out, PersonText(language, r.subject, stored.subject_name));
      AppendCell(out, r.detail);
      AppendCell(out, r.address);
      out += "</tr>\n";
    }
    out += "</table>\n</div>\n";
  }
  if (pages > 1) {
    out += "<nav class=\"pager\" aria-label=\"";
    AppendEscapedHtml(out, Text(language, MessageId::kAuditPages));
    out += "\"><p>";
    if (page > 1) {
      out += "<a rel=\"prev\" href=\"";
      AppendEscapedHtml(out, PageLink(query, page - 1));
      out += "\">";
      AppendEscapedHtml(out, Text(language, MessageId::kAuditNewer));
      out += "</a> ";
    }
    AppendEscapedHtml(out, Format(language, MessageId::kAuditPageOf,
                                  {std::to_string(page), std::to_string(pages)}));
    if (page < pages) {
      out += " <a rel=\"next\" href=\"";
      AppendEscapedHtml(out, PageLink(query, page + 1));
      out += "\">";
      AppendEscapedHtml(out, Text(language, MessageId::kAuditOlder));
      out += "</a>";
    }
    out += "</p></nav>\n";
  }
  AppendPageEnd(out);
  return PageReply{200, std::move(out), {}};
}

}  // namespace ostrand::web
