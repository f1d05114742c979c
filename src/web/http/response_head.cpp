#include "web/http/response_head.h"

#include <algorithm>
#include <ctime>

#include "core/date_text.h"
#include "web/http/status.h"

namespace ostrand::web::http {

bool SafeHeaderText(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t') || byte == 0x7f;
  });
}

void AppendHeaderLine(std::string& out, std::string_view name, std::string_view value) {
  out += name;
  out += ": ";
  out += value;
  out += "\r\n";
}

// Formatted once a second per thread.
std::string_view DateLine() {
  thread_local std::time_t shown = -1;
  thread_local char line[64];
  thread_local std::size_t length = 0;
  const std::time_t now = std::time(nullptr);
  if (now != shown) {
    // Rewritten in place, so that a view of the last line stays valid.
    length = ("Date: " + HttpDateText(DateTime::FromUnixSeconds(now)) + "\r\n")
                 .copy(line, sizeof line);
    shown = now;
  }
  return std::string_view(line, length);
}

void WriteResponseHead(std::string& out, const Response& response,
                       std::string_view site_header_lines, ConnectionLine connection) {
  out.clear();
  out += "HTTP/1.1 ";
  out += std::to_string(response.status);
  out += ' ';
  out += ReasonPhrase(response.status);
  out += "\r\n";
  out += DateLine();
  if (!response.content_type().empty()) {
    AppendHeaderLine(out, "Content-Type", response.content_type());
  }
  // A 304 has no content, and its length would be that of the 200.
  if (response.status != 304) {
    AppendHeaderLine(out, "Content-Length", std::to_string(response.body().size()));
  }
  out += site_header_lines;
  for (const Header& header : response.headers) AppendHeaderLine(out, header.name, header.value);
  switch (connection) {
    case ConnectionLine::kClose:
      out += "Connection: close\r\n";
      break;
    case ConnectionLine::kKeepAlive:
      out += "Connection: keep-alive\r\n";
      break;
    case ConnectionLine::kNone:
      break;
  }
  out += "\r\n";
}

std::string BusyReply(const Response& busy, std::string_view site_header_lines) {
  std::string reply = "HTTP/1.1 503 Service Unavailable\r\n";
  if (!busy.content_type().empty()) {
    AppendHeaderLine(reply, "Content-Type", busy.content_type());
  }
  AppendHeaderLine(reply, "Content-Length", std::to_string(busy.body().size()));
  AppendHeaderLine(reply, "Retry-After", "5");
  reply += site_header_lines;
  reply += "Connection: close\r\n\r\n";
  reply += busy.body();
  return reply;
}

}  // namespace ostrand::web::http
