// The HTML page around the component's fragments: an HTML5 document with
// the host stylesheet, a navigation bar for the signed-in person, and the
// error pages. Every text written here goes through core/html.h.
#pragma once

#include <string>
#include <string_view>

#include "web/auth/visitor.h"

namespace ostrand::web {

// Path of the host stylesheet.
inline constexpr std::string_view kHostStylesheet = "/static/ostrand.css";

// Appends the document head, the body opening and, when a visitor is
// given, the navigation bar (their name, their pages, the leader pages when
// allowed, and the sign-out button carrying the CSRF token); then opens
// <main>.
void AppendPageStart(std::string& out, std::string_view title, const Visitor* visitor);

// Closes <main>, the body and the document.
void AppendPageEnd(std::string& out);

// A whole error page: the status with its reason as the heading, and the
// message below it.
std::string ErrorPage(int status, std::string_view message, const Visitor* visitor);

// The reason phrase of the statuses the host answers with.
std::string_view StatusReason(int status);

}  // namespace ostrand::web
