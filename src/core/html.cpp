#include "core/html.h"

#include "core/utf8.h"

namespace ostrand {

void AppendEscapedHtml(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      case '\n':
      case '\r':
        out.push_back(' ');
        break;
      default:
        if (const std::size_t control = ControlCharacterLength(text.substr(i))) {
          out += "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER
          i += control - 1;
        } else {
          out.push_back(c);
        }
    }
  }
}

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendEscapedHtml(out, text);
  return out;
}

}  // namespace ostrand
