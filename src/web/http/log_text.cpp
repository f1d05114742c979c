#include "web/http/log_text.h"

#include <cstddef>

#include "core/hex.h"
#include "core/utf8.h"

namespace ostrand::web::http {
namespace {

void AppendEscapedByte(std::string& out, unsigned char u) {
  out += '%';
  AppendHexByte(out, u, HexCase::kUpper);
}

// The length of the well-formed UTF-8 character of two or more bytes that
// starts `text` (RFC 3629: no overlong forms, no surrogates, nothing beyond
// U+10FFFF), or 0.
std::size_t MultiByteLength(std::string_view text) {
  const std::size_t length = Utf8SequenceLength(text);
  if (length < 2) return 0;
  // U+0080..U+009F are control characters too.
  if (ControlCharacterLength(text) != 0) return 0;
  return length;
}

}  // namespace

void AppendLogText(std::string& out, std::string_view text, bool keep_spaces) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto u = static_cast<unsigned char>(text[i]);
    if (u >= 0x80) {
      const std::size_t length = MultiByteLength(text.substr(i));
      if (length == 0) {
        AppendEscapedByte(out, u);
        ++i;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    const bool plain = u > 0x20 && u != 0x7F && u != '%' && u != '"' && u != '\\';
    if (plain || (u == ' ' && keep_spaces)) {
      out += static_cast<char>(u);
    } else {
      AppendEscapedByte(out, u);
    }
    ++i;
  }
}

std::string LogText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendLogText(out, text);
  return out;
}

}  // namespace ostrand::web::http
