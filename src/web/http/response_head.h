// The head of an HTTP/1.1 response as the server writes it: the status
// line, the Date line (formatted once a second per thread), the framing
// headers, the site's own and the response's headers. Plain functions on
// text, for the connections of http_server.cpp.
#pragma once

#include <string>
#include <string_view>

#include "web/http/response.h"

namespace ostrand::web::http {

// Whether a response header's name or value may be sent as it is: no
// control character (a line break would start a header of its own) but
// the tab.
bool SafeHeaderText(std::string_view text);

// Appends "NAME: VALUE\r\n".
void AppendHeaderLine(std::string& out, std::string_view name, std::string_view value);

// "Date: Mon, 06 May 2024 07:08:09 GMT\r\n", now; the view lives until the
// calling thread asks again.
std::string_view DateLine();

// How the head ends the exchange: nothing said (HTTP/1.1 keeps the
// connection open), "Connection: close", or "Connection: keep-alive" (for
// an HTTP/1.0 client that stays).
enum class ConnectionLine { kNone, kClose, kKeepAlive };

// Replaces `out` with the response's head up to its empty line:
// Content-Type when it has one, Content-Length but for a 304,
// `site_header_lines` (whole lines, ready to send), the response's headers
// (which the caller has checked with SafeHeaderText) and the connection
// line.
void WriteResponseHead(std::string& out, const Response& response,
                       std::string_view site_header_lines, ConnectionLine connection);

// The whole answer (head and body) sent to a connection beyond the limit:
// `busy` as a 503 that asks to retry in five seconds and closes.
std::string BusyReply(const Response& busy, std::string_view site_header_lines);

}  // namespace ostrand::web::http
