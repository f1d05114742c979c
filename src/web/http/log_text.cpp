#include "web/http/log_text.h"

#include <cstddef>

namespace ostrand::web::http {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendEscapedByte(std::string& out, unsigned char u) {
  out += '%';
  out += kHex[u >> 4];
  out += kHex[u & 15];
}

bool IsContinuation(unsigned char u) { return (u & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 character of two or more bytes that
// starts `text` (RFC 3629: no overlong forms, no surrogates, nothing beyond
// U+10FFFF), or 0.
std::size_t MultiByteLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(byte(i))) return 0;
  }
  // U+0080..U+009F are control characters too.
  if (lead == 0xC2 && byte(1) <= 0x9F) return 0;
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
