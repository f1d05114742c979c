#include "web/pages/signin_page.h"

#include "core/html.h"
#include "web/auth/accounts.h"
#include "web/pages/html_form.h"
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
  AppendFormStart(out, "post", kSignInPath);
  out += '\n';
  AppendHiddenField(out, "signin", signin_token);
  out += '\n';
  AppendHiddenField(out, "next", next);
  out += '\n';
  AppendLabelledInput(out, "人员编号或姓名", "text", "person", person,
                      "autocomplete=\"username\" required autofocus");
  AppendLabelledInput(out, "密码", "password", "password", std::nullopt,
                      "autocomplete=\"current-password\" required");
  AppendSubmitButton(out, "登录");
  out += "\n</form>\n</div>\n";
  AppendPageEnd(out);
  return out;
}

std::string SignOutPage(const Visitor& visitor) {
  std::string out;
  AppendPageStart(out, "退出", &visitor);
  out += "<div class=\"signin\">\n<p>";
  AppendEscapedHtml(out, visitor.person.name);
  out += "，要退出登录吗？</p>\n";
  AppendFormStart(out, "post", kSignOutPath);
  AppendHiddenField(out, "csrf", visitor.csrf_token);
  AppendSubmitButton(out, "退出");
  out += "</form>\n</div>\n";
  AppendPageEnd(out);
  return out;
}

PageReply SignOut(PageRequest& request, bool confirmed) {
  if (!confirmed) return PageReply{200, SignOutPage(request.visitor), {}};
  // The session ends for good (with the person's other sessions: they
  // share the generation), and the cookie expires instead of renewing.
  EndSessionsOf(request.db, request.visitor.person.id);
  request.visitor.expires = 0;
  return PageReply{303, {}, std::string(kSignInPath)};
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
  const bool local =
      next.starts_with(kScheduleFolder) && next.find_first_of("\\\r\n") == std::string_view::npos;
  return local ? std::string(next) : std::string(kHomePage);
}

}  // namespace ostrand::web
