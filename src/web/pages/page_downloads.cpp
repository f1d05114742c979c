#include "web/pages/page_downloads.h"

#include "calendar/week.h"
#include "core/date_text.h"
#include "core/html.h"
#include "exports/csv_export.h"
#include "exports/grid.h"
#include "exports/xlsx_export.h"
#include "store/plan_store.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"

namespace ostrand::web {
namespace {

struct DownloadFormat {
  std::string_view name;  // the query value and the file's extension
  MessageId caption;
  std::string_view content_type;
};

constexpr DownloadFormat kFormats[] = {
    {"csv", MessageId::kDownloadCsv, "text/csv; charset=utf-8"},
    {"xlsx", MessageId::kDownloadXlsx,
     "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
};

bool IsLeaderPage(ViewKind kind) {
  return kind != ViewKind::kPersonMonth && kind != ViewKind::kPersonWeek;
}

bool IsWeek(ViewKind kind) {
  return kind == ViewKind::kLeaderWeek || kind == ViewKind::kLeader2Week;
}

// The file's name without its extension: the page's name, the person on a
// personal page, and the month (or the week's Monday).
std::string FileStem(const ViewPage& page, const Person& shown, const DateTime& day) {
  std::string stem(page.path.substr(page.path.rfind('/') + 1));
  stem = stem.substr(0, stem.find('.'));
  if (!IsLeaderPage(page.kind)) stem += "-" + std::to_string(shown.id);
  if (IsWeek(page.kind)) {
    return stem + "-" + DateText(calendar::GetPrevMonday(Value::Date(day)).ToDate());
  }
  return stem + "-" + MonthText(day);
}

}  // namespace

bool OffersDownloads(const ViewPage& page) { return page.kind != ViewKind::kPersonWeek; }

void AppendDownloadLinks(std::string& out, Language language, const ViewPage& page,
                         const Person& shown, const DateTime& day) {
  if (!OffersDownloads(page)) return;
  const std::string id = std::to_string(shown.id);
  const std::string dt = IsoDate(day);
  out += "<p class=\"downloads\">";
  bool first = true;
  for (const DownloadFormat& format : kFormats) {
    if (!first) out += ' ';
    first = false;
    const std::string link =
        IsLeaderPage(page.kind)
            ? http::LinkWithQuery(page.path, {{"dt", dt}, {"format", format.name}})
            : http::LinkWithQuery(page.path,
                                  {{"personID", id}, {"dt", dt}, {"format", format.name}});
    out += "<a href=\"";
    AppendEscapedHtml(out, link);
    out += "\" download>";
    AppendEscapedHtml(out, Text(language, format.caption));
    out += "</a>";
  }
  out += "</p>\n";
}

bool WantsDownload(const PageRequest& request) {
  return FindField(request.query, "format").has_value();
}

PageReply DownloadViewPage(const ViewPage& page, PageRequest& request) {
  const std::string wanted = FieldOrEmpty(request.query, "format");
  const DownloadFormat* format = nullptr;
  for (const DownloadFormat& f : kFormats) {
    if (f.name == wanted) format = &f;
  }
  if (format == nullptr) {
    throw HttpError(400, {MessageId::kNotADownloadFormat, {wanted.substr(0, 16)}});
  }
  if (!OffersDownloads(page)) throw HttpError(400, {MessageId::kNoDownload, {}});
  const Person shown = ShownPerson(page, request);
  const DateTime day = ShownDay(page, request);

  // The component's queries, on the request's connection.
  store::PlanStore store;
  store.Open(request.databases.connection_string());
  const Value dt = Value::Date(day);
  const Value viewer = IdValue(request.visitor.person.id);
  exports::Grid grid;
  if (page.kind == ViewKind::kPersonMonth) {
    grid = exports::PersonMonthGrid(store, dt, IdValue(shown.id), viewer);
  } else {
    const bool second = page.kind == ViewKind::kLeader2Month || page.kind == ViewKind::kLeader2Week;
    const Value cond = Value::Text(LeaderCondition(request.options, second));
    if (!request.visitor.person.system_id) throw HttpError(403, {MessageId::kNoDepartment, {}});
    const Value system = IdValue(*request.visitor.person.system_id);
    grid = IsWeek(page.kind) ? exports::LeaderWeekGrid(store, dt, cond, system, viewer)
                             : exports::LeaderMonthGrid(store, dt, cond, system);
  }
  PageReply reply;
  reply.body = format->name == "csv" ? exports::WriteGridCsv(grid) : exports::WriteGridXlsx(grid);
  reply.content_type = format->content_type;
  reply.headers.push_back({"Content-Disposition", "attachment; filename=\"" +
                                                      FileStem(page, shown, day) + "." +
                                                      std::string(format->name) + "\""});
  return reply;
}

}  // namespace ostrand::web
