#include "core/utf8.h"

#include <algorithm>

namespace ostrand {
namespace {

bool IsForbiddenControl(unsigned char c) {
  return (c < 0x20 && c != '\t' && c != '\n') || c == 0x7F;
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
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
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

bool IsValidUtf8(std::string_view text) {
  while (!text.empty()) {
    const std::size_t n = Utf8SequenceLength(text);
    if (n == 0) return false;
    text.remove_prefix(n);
  }
  return true;
}

void AppendCleanText(std::string& out, std::string_view text) {
  while (!text.empty()) {
    const std::size_t n = Utf8SequenceLength(text);
    if (n == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      text.remove_prefix(1);
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(text.front());
    if (c == '\r') {
      out += '\n';
      if (text.size() > 1 && text[1] == '\n') text.remove_prefix(1);
    } else if (n > 1 || !IsForbiddenControl(c)) {
      out.append(text.substr(0, n));
    }
    text.remove_prefix(n);
  }
}

std::string CleanText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendCleanText(out, text);
  return out;
}

int FirstForbiddenControl(std::string_view text) {
  for (const char c : text) {
    if (IsForbiddenControl(static_cast<unsigned char>(c))) return static_cast<unsigned char>(c);
  }
  return -1;
}

std::size_t CountCharacters(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace ostrand

namespace ostrand {

std::string_view Utf8Prefix(std::string_view text, std::size_t max_bytes) {
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t length = std::max<std::size_t>(1, Utf8SequenceLength(text.substr(end)));
    if (end + length > max_bytes) break;
    end += length;
  }
  return text.substr(0, end);
}

}  // namespace ostrand
