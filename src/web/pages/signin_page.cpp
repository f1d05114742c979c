#include "web/pages/signin_page.h"

#include "core/html.h"
#include "web/pages/page_layout.h"

namespace ostrand::web {

std::string SignInPage(std::string_view signin_token, std::string_view next,
                       std::string_view person, std::string_view message) {
  std::string out;
  out.reserve(2048);
  AppendPageStart(out, "登录", nullptr);
  out += "<div class=\"signin\">\n<h1>人员日程</h1>\n";
  if (!message.empty()) {
    out += "<p class=\"error\">";
    AppendEscapedHtml(out, message);
    out += "</p>\n";
  }
  out +=
      "<form method=\"post\" action=\"/login\">\n<input type=\"hidden\" name=\"signin\" value=\"";
  AppendEscapedHtml(out, signin_token);
  out += "\">\n<input type=\"hidden\" name=\"next\" value=\"";
  AppendEscapedHtml(out, next);
  out += "\">\n<label>人员编号或姓名 <input type=\"text\" name=\"person\" value=\"";
  AppendEscapedHtml(out, person);
  out += "\" autocomplete=\"username\" required autofocus></label>\n";
  out +=
      "<label>密码 <input type=\"password\" name=\"password\" "
      "autocomplete=\"current-password\" required></label>\n";
  out += "<button type=\"submit\">登录</button>\n</form>\n</div>\n";
  AppendPageEnd(out);
  return out;
}

std::string SignOutPage(const Visitor& visitor) {
  std::string out;
  AppendPageStart(out, "退出", &visitor);
  out += "<div class=\"signin\">\n<p>";
  AppendEscapedHtml(out, visitor.person.name);
  out += "，要退出登录吗？</p>\n<form method=\"post\" action=\"/logout\">";
  out += "<input type=\"hidden\" name=\"csrf\" value=\"";
  AppendEscapedHtml(out, visitor.csrf_token);
  out += "\"><button type=\"submit\">退出</button></form>\n</div>\n";
  AppendPageEnd(out);
  return out;
}

std::pair<int, std::string> SignInRefusal(const SignInOutcome& outcome) {
  switch (outcome.status) {
    case SignInOutcome::Status::kThrottled:
      return {429,
              "尝试次数过多，请 " + std::to_string(outcome.retry_after.count()) + " 秒后再试。"};
    case SignInOutcome::Status::kBusy:
      return {503, std::string(kSignInBusy)};
    default:
      return {403, std::string(kSignInFailed)};
  }
}

std::string SafeNextPage(std::string_view next) {
  constexpr std::string_view kPrefix = "/schedule/";
  const bool local =
      next.starts_with(kPrefix) && next.find_first_of("\\\r\n") == std::string_view::npos;
  return local ? std::string(next) : std::string("/schedule/personMonth.asp");
}

}  // namespace ostrand::web
