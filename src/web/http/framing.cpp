#include "web/http/framing.h"

#include <string>

#include "core/text.h"

namespace ostrand::web::http {
namespace {

// A token character of HTTP field values.
bool IsTokenChar(char c) {
  if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!IsTokenChar(c)) return false;
  }
  return true;
}

}  // namespace

Framing JudgeFraming(const std::vector<std::string_view>& transfer_encodings,
                     bool has_content_length, bool http10) {
  if (transfer_encodings.empty()) return Framing::kSound;
  if (http10 || has_content_length) return Framing::kMalformed;
  // The codings of every field, in order; parameters (";q=...") name no
  // coding we decode, so a coding with one is as unknown as gzip.
  std::size_t codings = 0;
  std::size_t chunked_at = 0;  // 1 + the position of "chunked", 0: none
  bool unknown = false;
  for (const std::string_view field : transfer_encodings) {
    for (const std::string_view raw : SplitList(field, ',')) {
      const std::string_view item = TrimWhitespace(raw);
      if (item.empty()) continue;  // empty list elements do not count
      const std::size_t semicolon = item.find(';');
      const std::string_view name = TrimWhitespace(item.substr(0, semicolon));
      if (!IsToken(name)) return Framing::kMalformed;
      ++codings;
      if (EqualsNoCase(name, "chunked")) {
        if (chunked_at != 0 || semicolon != std::string_view::npos) return Framing::kMalformed;
        chunked_at = codings;
      } else {
        unknown = true;
      }
    }
  }
  if (codings == 0 || chunked_at != codings) return Framing::kMalformed;
  return unknown ? Framing::kUnsupported : Framing::kSound;
}

}  // namespace ostrand::web::http
