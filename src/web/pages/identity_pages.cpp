#include "web/pages/identity_pages.h"

#include <string>

#include "core/html.h"
#include "web/i18n/messages.h"
#include "web/pages/language_switch.h"
#include "web/pages/page_layout.h"

namespace ostrand::web {

http::Response UnlinkedIdentityAnswer(Language language, std::string_view who) {
  std::string out;
  const std::string_view title = Text(language, MessageId::kIdentityUnlinkedTitle);
  AppendPageStart(out, language, title, nullptr, kSignInPath);
  out += "<h1>";
  AppendEscapedHtml(out, title);
  out += "</h1>\n<p>";
  AppendEscapedHtml(out, Format(language, MessageId::kIdentityUnlinkedText, {who}));
  out += "</p>\n";
  AppendPageEnd(out);
  http::Response response = HtmlPage(403, std::move(out));
  VaryByLanguage(response);
  return response;
}

}  // namespace ostrand::web
