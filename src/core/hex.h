// The one writer of bytes as hexadecimal digits: percent-encoding and log
// escapes (upper case), hashes, tokens and secrets (lower case).
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace ostrand {

enum class HexCase { kUpper, kLower };

// Appends the two digits of `byte`, the high one first ("3F" or "3f").
inline void AppendHexByte(std::string& out, unsigned char byte, HexCase letters) {
  const char* const digits =
      letters == HexCase::kUpper ? "0123456789ABCDEF" : "0123456789abcdef";
  out += digits[byte >> 4];
  out += digits[byte & 15];
}

// The bytes as two digits each, in order: 2 * bytes.size() characters.
inline std::string HexText(std::span<const unsigned char> bytes, HexCase letters) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const unsigned char byte : bytes) AppendHexByte(out, byte, letters);
  return out;
}

}  // namespace ostrand
