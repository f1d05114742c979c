#include "web/pages/deleted_page.h"

#include <cstdio>

#include "core/html.h"
#include "web/data/plan_repository.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/pages/html_form.h"
#include "web/pages/page_layout.h"

namespace ostrand::web {
namespace {

std::string TimeText(const std::optional<DateTime>& time, const std::string& stored) {
  if (!time) return stored;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", time->year(), time->month(),
                time->day_of_month(), time->hour(), time->minute());
  return text;
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
  std::string out;
  out.reserve(4096);
  AppendPageStart(out, "最近删除", &visitor);
  out += "<div class=\"page-head\">\n<h1>最近删除的日程</h1>\n</div>\n<p>删除的日程保留 ";
  out += std::to_string(kKeepDeletedDays);
  out += " 天，其间可以恢复。</p>\n";
  if (deleted.empty()) {
    out += "<p class=\"empty\">没有最近删除的日程。</p>\n";
  } else {
    out +=
        "<table class=\"day-plans deleted-plans\">\n<tr><th>删除时间</th><th>开始</th><th>结束</th>"
        "<th>地点</th><th>内容</th><th>类型</th><th></th></tr>\n";
    for (const DeletedPlan& entry : deleted) {
      const StoredPlan& plan = entry.plan;
      out += "<tr>";
      AppendCell(out, TimeText(entry.deleted_at, ""));
      AppendCell(out, TimeText(plan.start, plan.start_text));
      AppendCell(out, TimeText(plan.end, plan.end_text));
      AppendCell(out, plan.place_name.empty() ? plan.kind_name : plan.place_name);
      AppendCell(out, plan.content.value_or(""));
      AppendCell(out, plan.flag == kSharedPlan ? "共享" : "个人");
      // Restored on its day, where the editor then shows it.
      const DateTime day = plan.start ? plan.start->DateOnly() : TodayOf(request.options);
      out += "<td class=\"actions\">";
      AppendFormStart(out, "post",
                      http::LinkWithQuery(kEditorPath, {{"personID", std::to_string(visitor.person.id)},
                                                        {"dt", IsoDate(day)}}));
      AppendHiddenField(out, "csrf", visitor.csrf_token);
      AppendHiddenField(out, "action", "restore");
      AppendHiddenField(out, "deletedID", std::to_string(entry.deleted_id));
      AppendSubmitButton(out, "恢复");
      out += "</form></td></tr>\n";
    }
    out += "</table>\n";
  }
  AppendPageEnd(out);
  return PageReply{200, std::move(out), {}};
}

}  // namespace ostrand::web
