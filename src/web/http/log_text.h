// The one escaper for text that goes into a log line (request targets,
// methods, error messages): whatever a request sends, a log line stays one
// line of valid UTF-8 whose fields cannot be forged.
#pragma once

#include <string>
#include <string_view>

namespace ostrand::web::http {

// Appends `text` with these bytes written as %XX: control characters
// (C0, DEL and the C1 range U+0080..U+009F), '%', '"', '\' and every byte
// that is not part of a well-formed UTF-8 character; also the space unless
// `keep_spaces` (for a quoted message). Everything else, multi-byte
// characters included, is kept. The result needs no further escaping inside
// a JSON string.
void AppendLogText(std::string& out, std::string_view text, bool keep_spaces = false);

// The escaped copy of `text`, spaces escaped too.
std::string LogText(std::string_view text);

}  // namespace ostrand::web::http
