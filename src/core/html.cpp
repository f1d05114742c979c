#include "core/html.h"

#include <array>

#include "core/utf8.h"

namespace ostrand {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// The bytes AppendEscapedHtml does not copy as they are: the markup
// characters, line breaks, C0 controls and DEL, and 0xC2, which may begin
// a C1 control.
constexpr std::array<bool, 256> kHtmlSpecial = [] {
  std::array<bool, 256> special{};
  for (int c = 0; c < 0x20; ++c) special[c] = c != '\t';
  for (const unsigned char c : {'&', '<', '>', '"', '\'', '\x7f', '\xc2'}) special[c] = true;
  return special;
}();

}  // namespace

void AppendEscapedHtml(std::string& out, std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    // The run of bytes copied as they are goes in at once.
    std::size_t end = i;
    while (end < text.size() && !kHtmlSpecial[static_cast<unsigned char>(text[end])]) ++end;
    out.append(text.data() + i, end - i);
    if (end == text.size()) break;
    i = end;
    switch (text[i]) {
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
          out += kReplacementCharacter;
          i += control - 1;
        } else {
          out.push_back(text[i]);
        }
    }
    ++i;
  }
}

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendEscapedHtml(out, text);
  return out;
}

void AppendXmlText(std::string& out, std::string_view text) {
  while (!text.empty()) {
    const char c = text.front();
    const std::size_t length = Utf8SequenceLength(text);
    if (length == 0) {
      out += kReplacementCharacter;
      text.remove_prefix(1);
      continue;
    }
    if (length > 1) {
      out += text.substr(0, length);
      text.remove_prefix(length);
      continue;
    }
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
      case '\r':
        out += "&#13;";
        break;
      case '\t':
      case '\n':
        out += c;
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          out += kReplacementCharacter;
        } else {
          out += c;
        }
    }
    text.remove_prefix(1);
  }
}

std::string XmlText(std::string_view text) {
  std::string out;
  AppendXmlText(out, text);
  return out;
}

}  // namespace ostrand
