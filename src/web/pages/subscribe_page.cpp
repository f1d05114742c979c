#include "web/pages/subscribe_page.h"

#include <cstdio>
#include <optional>

#include "core/html.h"
#include "web/api/feed_address.h"
#include "web/auth/personal_tokens.h"
#include "web/data/persons.h"
#include "web/http/http_error.h"
#include "web/http/request_values.h"
#include "web/http/site_address.h"
#include "web/http/url.h"
#include "web/pages/html_form.h"
#include "web/pages/page_layout.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kTitle = "订阅日历";

// The start of every absolute address the page shows.
std::string SiteBase(const PageRequest& request) {
  if (!request.options.public_url.empty()) return request.options.public_url;
  const auto host_header = request.server_variables.find("HTTP_HOST");
  std::optional<std::string> host;
  if (host_header != request.server_variables.end()) host = http::ReadHostHeader(host_header->second);
  if (!host) {
    const auto port = request.server_variables.find("SERVER_PORT");
    host = http::ReadHostHeader(request.options.host + ":" +
                                (port != request.server_variables.end() ? port->second : "80"));
  }
  return "http://" + host.value_or("localhost");
}

// One feed: a heading, what it shows, and its two addresses.
void AppendFeed(std::string& out, std::string_view heading, std::string_view note,
                const std::string& base, const std::string& path) {
  const std::string address = base + path;
  const std::string webcal = "webcal://" + address.substr(address.find("//") + 2);
  out += "<section class=\"feed\">\n<h2>";
  AppendEscapedHtml(out, heading);
  out += "</h2>\n<p>";
  AppendEscapedHtml(out, note);
  out += "</p>\n<dl class=\"feed-urls\">\n<dt>";
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
                      std::string_view caption) {
  AppendFormStart(out, "post", kSubscribePath, "token-action");
  AppendHiddenField(out, "csrf", request.visitor.csrf_token);
  AppendHiddenField(out, "action", action);
  AppendSubmitButton(out, caption);
  out += "</form>\n";
}

std::string UtcText(const DateTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d UTC", t.year(), t.month(),
                t.day_of_month(), t.hour(), t.minute());
  return text;
}

PageReply SubscribePage(PageRequest& request, std::string_view notice,
                        const std::string& new_api_token, int status) {
  const Visitor& visitor = request.visitor;
  // The colleague whose feed the picker shows.
  std::optional<Person> colleague;
  if (const std::optional<std::string> text = FindField(request.query, "personID");
      text && !text->empty()) {
    const std::int64_t id = ReadPersonIdValue("personID", *text);
    colleague = FindPerson(request.db, id);
    if (!colleague) throw HttpError(404, "没有编号为 " + std::to_string(id) + " 的人员。");
    RequireSameSystem(visitor, *colleague);
  }
  const PersonalTokens tokens(request.options.secret);
  const std::string token = tokens.FeedToken(request.db, visitor.person.id);
  const std::string base = SiteBase(request);

  std::string out;
  out.reserve(8192);
  AppendPageStart(out, kTitle, &visitor);
  out += "<div class=\"subscribe\">\n<h1>订阅日历</h1>\n";
  if (!notice.empty()) {
    out += "<p class=\"notice\" role=\"status\">";
    AppendEscapedHtml(out, notice);
    out += "</p>\n";
  }
  out += "<p>把下面的地址添加到日历程序（Outlook、Thunderbird、苹果日历、手机日历等）"
         "的“订阅日历”或“从网络添加日历”中，日程会自动更新，订阅的日程不会把您显示为忙碌。"
         "这些地址无需登录即可打开，请像密码一样保管；泄露后请重置。</p>\n";
  AppendFeed(out, "我的日程", "自己的全部计划，含个人计划的内容。", base,
             FeedPath(token, FeedKind::kOwn));

  out += "<section class=\"feed colleague\">\n<h2>同事的日程</h2>\n";
  AppendFormStart(out, "get", kSubscribePath, "person-picker");
  out += '\n';
  AppendSelectStart(out, "人员", "personID");
  const std::vector<Person> persons = visitor.person.system_id
                                          ? PersonsOfSystem(request.db, *visitor.person.system_id)
                                          : std::vector<Person>{};
  for (const Person& person : persons) {
    if (person.id == visitor.person.id) continue;
    AppendOption(out, std::to_string(person.id), person.name,
                 colleague && colleague->id == person.id);
  }
  AppendSelectEnd(out);
  AppendSubmitButton(out, "显示地址");
  out += "\n</form>\n</section>\n";
  if (colleague) {
    AppendFeed(out, colleague->name + "的日程", "只含共享的计划，只显示地点。", base,
               FeedPath(token, FeedKind::kColleague, colleague->id));
  }
  if (visitor.leader) {
    AppendFeed(out, "部门日程", "部门汇总中各人员共享的计划（“姓名: 地点”）。", base,
               FeedPath(token, FeedKind::kDepartment));
    AppendFeed(out, "部门日程二", "部门汇总二中各人员共享的计划。", base,
               FeedPath(token, FeedKind::kDepartment2));
  }
  out += "<section class=\"reset\">\n<h2>重置订阅地址</h2>\n"
         "<p>重置后，上面所有的旧地址立即失效，已订阅的日历需用新地址重新订阅。</p>\n";
  AppendActionForm(out, request, "reset-feed", "重置订阅地址");
  out += "</section>\n";

  out += "<section class=\"api-token\">\n<h2>接口令牌</h2>\n"
         "<p>自己的程序可以用接口令牌读取 JSON 接口（/api/v1/plans、/api/v1/department），"
         "请求头写 Authorization: Bearer 令牌。令牌只在生成时显示一次。</p>\n";
  if (!new_api_token.empty()) {
    out += "<p class=\"new-token\">新令牌：<code>";
    AppendEscapedHtml(out, new_api_token);
    out += "</code>（请现在复制，离开本页后不再显示）</p>\n";
  }
  const std::optional<DateTime> made = PersonalTokens::ApiTokenMade(request.db, visitor.person.id);
  out += "<p>";
  if (made) {
    out += "当前令牌生成于 ";
    AppendEscapedHtml(out, UtcText(*made));
    out += "。生成新令牌后，旧令牌立即失效。";
  } else {
    out += "尚未生成令牌。";
  }
  out += "</p>\n";
  AppendActionForm(out, request, "new-api-token", "生成新令牌");
  if (made) AppendActionForm(out, request, "revoke-api-token", "作废令牌");
  out += "</section>\n</div>\n";
  AppendPageEnd(out);
  return PageReply{status, std::move(out), {}};
}

}  // namespace

PageReply ShowSubscribe(PageRequest& request) {
  const std::string done = FieldOrEmpty(request.query, "done");
  std::string_view notice;
  if (done == "reset") notice = "订阅地址已重置，旧地址已失效。";
  if (done == "revoked") notice = "接口令牌已作废。";
  return SubscribePage(request, notice, {}, 200);
}

PageReply SubmitSubscribe(PageRequest& request) {
  const std::string action = FieldOrEmpty(request.form, "action");
  const std::int64_t self = request.visitor.person.id;
  if (action == "reset-feed") {
    PersonalTokens(request.options.secret).ResetFeedToken(request.db, self);
    return PageReply{303, {}, http::LinkWithQuery(kSubscribePath, {{"done", "reset"}})};
  }
  if (action == "revoke-api-token") {
    PersonalTokens::RevokeApiToken(request.db, self);
    return PageReply{303, {}, http::LinkWithQuery(kSubscribePath, {{"done", "revoked"}})};
  }
  if (action == "new-api-token") {
    const std::string token = PersonalTokens::NewApiToken(request.db, self);
    return SubscribePage(request, "已生成新的接口令牌。", token, 200);
  }
  throw HttpError(400, "unknown action '" + action.substr(0, 32) + "'");
}

}  // namespace ostrand::web
