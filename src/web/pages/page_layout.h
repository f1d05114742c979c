// The HTML page around the component's fragments: an HTML5 document in the
// request's language with the host stylesheet, a link that skips to the
// content, the language switch, a navigation bar for the signed-in person,
// and the error pages (which failure answers which: error_answer.h). Every
// text written here comes from the message catalogue (i18n/messages.h) and
// goes through core/html.h.
#pragma once

#include <string>
#include <string_view>

#include "web/auth/visitor.h"
#include "web/http/response.h"
#include "web/i18n/messages.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {

// Appends the document head (lang set to the language), the body opening,
// the skip link, the header with the language switch (a link to the other
// language that comes back to `here`, the page's own path and query; the
// home page when empty) and, when a visitor is given, the navigation bar
// (their name, their pages, the leader pages when allowed, and the
// sign-out button carrying the CSRF token); then opens <main id="main">.
void AppendPageStart(std::string& out, Language language, std::string_view title,
                     const Visitor* visitor, std::string_view here = {});

// Closes <main>, the body and the document.
void AppendPageEnd(std::string& out);

// A whole error page: the status with its reason as the heading, and the
// message below it. For a 5xx with an incident number, the page shows the
// number (the cause is for the log only).
std::string ErrorPage(Language language, int status, std::string_view message,
                      const Visitor* visitor, std::string_view incident = {});

// The content type of every page.
inline constexpr std::string_view kHtml = "text/html; charset=utf-8";

// The Content-Security-Policy of every page: everything from this host
// only, no plugins, no <base>, no framing, forms posting here only; the
// only inline code allowed are the component's style element and the style
// attributes it writes, by their hashes (computed once).
std::string_view PagePolicy();
// The policy of a page that carries the component's day script (the
// personal month and week): as PagePolicy, but inline script may run. That
// script holds the session's token and the time it was written, and its
// onclick handlers name each day shown, so no hash made in advance can
// match them.
std::string_view ComponentScriptPolicy();
// Gives an HTML answer ComponentScriptPolicy in place of PagePolicy; other
// answers (redirects, downloads) stay as they are.
void AllowComponentScript(http::Response& response);

// A page as a response: the status, kHtml, never cached, PagePolicy.
http::Response HtmlPage(int status, std::string body);

// The 404 page of an address that leads nowhere: the same for every such
// address, so that it tells nothing about why.
http::Response NotFoundResponse(Language language);

}  // namespace ostrand::web
