#include "web/pages/page_layout.h"

#include "core/html.h"

namespace ostrand::web {
namespace {

struct NavLink {
  std::string_view href;
  std::string_view caption;
  bool leader_only;
};

constexpr NavLink kNavLinks[] = {
    {"/schedule/personMonth.asp", "月计划", false},
    {"/schedule/personWeek.asp", "周计划", false},
    {"/schedule/leaderMonth.asp", "部门汇总", true},
    {"/schedule/leader2Month.asp", "部门汇总二", true},
};

void AppendNav(std::string& out, const Visitor& visitor) {
  out += "<nav class=\"site-nav\">\n<span class=\"who\">";
  AppendEscapedHtml(out, visitor.person.name);
  out += "</span>\n";
  for (const NavLink& link : kNavLinks) {
    if (link.leader_only && !visitor.leader) continue;
    out += "<a href=\"";
    out += link.href;
    out += "\">";
    out += link.caption;
    out += "</a>\n";
  }
  out += "<form class=\"signout\" method=\"post\" action=\"/logout\">";
  out += "<input type=\"hidden\" name=\"csrf\" value=\"";
  AppendEscapedHtml(out, visitor.csrf_token);
  out += "\"><button type=\"submit\">退出</button></form>\n</nav>\n";
}

}  // namespace

void AppendPageStart(std::string& out, std::string_view title, const Visitor* visitor) {
  out += "<!doctype html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n";
  out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  AppendEscapedHtml(out, title);
  out += " - 人员日程</title>\n<link rel=\"stylesheet\" href=\"";
  out += kHostStylesheet;
  out += "\">\n</head>\n<body>\n";
  if (visitor != nullptr) AppendNav(out, *visitor);
  out += "<main>\n";
}

void AppendPageEnd(std::string& out) { out += "</main>\n</body>\n</html>\n"; }

std::string_view StatusReason(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 413:
      return "Payload Too Large";
    default:
      return status >= 500 ? "Internal Server Error" : "Error";
  }
}

std::string ErrorPage(int status, std::string_view message, const Visitor* visitor) {
  const std::string heading = std::to_string(status) + " " + std::string(StatusReason(status));
  std::string out;
  out.reserve(1024 + message.size());
  AppendPageStart(out, heading, visitor);
  out += "<div class=\"error-page\">\n<h1>";
  AppendEscapedHtml(out, heading);
  out += "</h1>\n<p class=\"error\">";
  AppendEscapedHtml(out, message);
  out += "</p>\n<p><a href=\"/schedule/personMonth.asp\">返回我的月计划</a></p>\n</div>\n";
  AppendPageEnd(out);
  return out;
}

}  // namespace ostrand::web
