#include "web/pages/page_layout.h"

#include "core/html.h"
#include "web/http/incident.h"
#include "web/http/status.h"
#include "web/pages/html_form.h"

namespace ostrand::web {
namespace {

struct NavLink {
  std::string_view href;
  std::string_view caption;
  bool leader_only;
};

constexpr NavLink kNavLinks[] = {
    {kPersonMonthPath, "月计划", false},
    {kPersonWeekPath, "周计划", false},
    {kLeaderMonthPath, "部门汇总", true},
    {kLeader2MonthPath, "部门汇总二", true},
    {kSubscribePath, "订阅日历", false},
};

void AppendNav(std::string& out, const Visitor& visitor) {
  out += "<nav class=\"site-nav\">\n<span class=\"who\">";
  AppendEscapedHtml(out, visitor.person.name);
  out += "</span>\n";
  for (const NavLink& link : kNavLinks) {
    if (link.leader_only && !visitor.leader) continue;
    out += "<a href=\"";
    AppendEscapedHtml(out, link.href);
    out += "\">";
    out += link.caption;
    out += "</a>\n";
  }
  AppendFormStart(out, "post", kSignOutPath, "signout");
  AppendHiddenField(out, "csrf", visitor.csrf_token);
  AppendSubmitButton(out, "退出");
  out += "</form>\n</nav>\n";
}

}  // namespace

void AppendPageStart(std::string& out, std::string_view title, const Visitor* visitor) {
  out += "<!doctype html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n";
  out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  AppendEscapedHtml(out, title);
  out += " - 人员日程</title>\n<link rel=\"stylesheet\" href=\"";
  AppendEscapedHtml(out, kHostStylesheet);
  out += "\">\n</head>\n<body>\n";
  if (visitor != nullptr) AppendNav(out, *visitor);
  out += "<main>\n";
}

void AppendPageEnd(std::string& out) { out += "</main>\n</body>\n</html>\n"; }

std::string ErrorPage(int status, std::string_view message, const Visitor* visitor,
                      std::string_view incident) {
  const std::string heading =
      std::to_string(status) + " " + std::string(http::ReasonPhrase(status));
  std::string out;
  out.reserve(1024 + message.size());
  AppendPageStart(out, heading, visitor);
  out += "<div class=\"error-page\">\n<h1>";
  AppendEscapedHtml(out, heading);
  out += "</h1>\n<p class=\"error\">";
  AppendEscapedHtml(out, message);
  out += "</p>\n";
  if (!incident.empty()) {
    out += "<p class=\"incident\">事件编号：<code>";
    AppendEscapedHtml(out, incident);
    out += "</code>（联系管理员时请提供）</p>\n";
  }
  out += "<p><a href=\"";
  AppendEscapedHtml(out, kHomePage);
  out += "\">返回我的月计划</a></p>\n</div>\n";
  AppendPageEnd(out);
  return out;
}

http::Response HtmlPage(int status, std::string body) {
  http::Response response(status, kHtml, std::move(body));
  response.AddHeader("Cache-Control", "no-store");
  return response;
}

http::Response ErrorResponse(const HttpError& error, const Visitor* visitor) {
  if (error.status() < 500) {
    return HtmlPage(error.status(), ErrorPage(error.status(), error.what(), visitor));
  }
  const std::string incident = http::NewIncidentNumber();
  http::Response response =
      HtmlPage(error.status(), ErrorPage(error.status(), error.what(), visitor, incident));
  if (error.status() == 503) response.AddHeader("Retry-After", "5");
  response.incident = incident;
  response.cause = error.cause().empty() ? std::string(error.what()) : error.cause();
  return response;
}

http::Response NotFoundResponse() {
  return HtmlPage(404, ErrorPage(404, "找不到这个页面。", nullptr));
}

http::Response FailureResponse(std::string_view cause, const Visitor* visitor) {
  const std::string incident = http::NewIncidentNumber();
  http::Response response = HtmlPage(500, ErrorPage(500, kSomethingWentWrong, visitor, incident));
  response.incident = incident;
  response.cause = cause;
  return response;
}

}  // namespace ostrand::web
