#include "web/pages/deleted_page.h"

#include "core/date_text.h"
#include "core/html.h"
#include "web/data/plan_repository.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/pages/html_form.h"
#include "web/pages/page_layout.h"

namespace ostrand::web {
namespace {

std::string TimeText(const std::optional<DateTime>& time, const std::string& stored) {
  return time ? MinuteText(*time) : stored;
}

void AppendCell(std::string& out, std::string_view text) {
  out += "<td>";
  AppendEscapedHtml(out, text);
  out += "</td>";
}

}  // namespace

PageReply RenderDeletedPlans(PageRequest& request) {
  const Visitor& visitor = request.visitor;
  const std::vector<DeletedPlan> deleted =
      PlanRepository(request.db).RecentlyDeleted(visitor.person.id);
  const Language language = request.language;
  std::string out;
  out.reserve(4096);
  AppendPageStart(out, language, Text(language, MessageId::kRecentlyDeleted), &visitor,
                  request.here);
  out += "<div class=\"page-head\">\n<h1>";
  AppendEscapedHtml(out, Text(language, MessageId::kDeletedTitle));
  out += "</h1>\n</div>\n<p>";
  AppendEscapedHtml(out, Format(language, MessageId::kDeletedKept,
                                {std::to_string(kKeepDeletedDays)}));
  out += "</p>\n";
  if (deleted.empty()) {
    out += "<p class=\"empty\">";
    AppendEscapedHtml(out, Text(language, MessageId::kNoDeletedPlans));
    out += "</p>\n";
  } else {
    out += "<table class=\"day-plans deleted-plans\">\n<tr>";
    for (const MessageId column : {MessageId::kDeletedAt, MessageId::kStart, MessageId::kEnd,
                                   MessageId::kPlace, MessageId::kContent, MessageId::kFlag,
                                   MessageId::kActions}) {
      out += "<th scope=\"col\">";
      AppendEscapedHtml(out, Text(language, column));
      out += "</th>";
    }
    out += "</tr>\n";
    for (const DeletedPlan& entry : deleted) {
      const StoredPlan& plan = entry.plan;
      out += "<tr>";
      AppendCell(out, TimeText(entry.deleted_at, ""));
      AppendCell(out, TimeText(plan.start, plan.start_text));
      AppendCell(out, TimeText(plan.end, plan.end_text));
      AppendCell(out, plan.place_name.empty() ? plan.kind_name : plan.place_name);
      AppendCell(out, plan.content.value_or(""));
      AppendCell(out, Text(language, plan.flag == store::kSharedPlanFlag ? MessageId::kShared
                                                              : MessageId::kPrivate));
      // Restored on its day, where the editor then shows it.
      const DateTime day = plan.start ? plan.start->DateOnly() : TodayOf(request.options);
      out += "<td class=\"actions\">";
      AppendFormStart(out, "post",
                      http::LinkWithQuery(kEditorPath, {{"personID", std::to_string(visitor.person.id)},
                                                        {"dt", IsoDate(day)}}));
      AppendHiddenField(out, "csrf", visitor.csrf_token);
      AppendHiddenField(out, "action", "restore");
      AppendHiddenField(out, "deletedID", std::to_string(entry.deleted_id));
      AppendSubmitButton(out, Text(language, MessageId::kRestore));
      out += "</form></td></tr>\n";
    }
    out += "</table>\n";
  }
  AppendPageEnd(out);
  return PageReply{200, std::move(out), {}};
}

}  // namespace ostrand::web
