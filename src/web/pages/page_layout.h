// The HTML page around the component's fragments: an HTML5 document with
// the host stylesheet, a navigation bar for the signed-in person, and the
// error pages. Every text written here goes through core/html.h.
#pragma once

#include <string>
#include <string_view>

#include "web/auth/visitor.h"
#include "web/http/http_error.h"
#include "web/http/response.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {

// Appends the document head, the body opening and, when a visitor is
// given, the navigation bar (their name, their pages, the leader pages when
// allowed, and the sign-out button carrying the CSRF token); then opens
// <main>.
void AppendPageStart(std::string& out, std::string_view title, const Visitor* visitor);

// Closes <main>, the body and the document.
void AppendPageEnd(std::string& out);

// A whole error page: the status with its reason as the heading, and the
// message below it. For a 5xx with an incident number, the page shows the
// number (the cause is for the log only).
std::string ErrorPage(int status, std::string_view message, const Visitor* visitor,
                      std::string_view incident = {});

// The content type of every page.
inline constexpr std::string_view kHtml = "text/html; charset=utf-8";

// A page as a response: the status, kHtml, never cached.
http::Response HtmlPage(int status, std::string body);

// The answer to an HttpError: its error page. A 5xx gets a fresh incident
// number on the page and the error's cause in the log; a 503 asks to retry
// in a few seconds.
http::Response ErrorResponse(const HttpError& error, const Visitor* visitor);

// The 404 page of an address that leads nowhere: the same for every such
// address, so that it tells nothing about why.
http::Response NotFoundResponse();

// A 500 page with a fresh incident number; `cause` (a member's message, a
// database error) goes to the access log only.
http::Response FailureResponse(std::string_view cause, const Visitor* visitor);

// The message of a 500 page: something went wrong, and the incident number
// to quote.
inline constexpr std::string_view kSomethingWentWrong = "出了点问题，页面没能打开。请稍后再试。";
// The message of a 503 page when the server has too much to do.
inline constexpr std::string_view kServerBusy = "服务器正忙，请稍后再试。";

}  // namespace ostrand::web
