// Whether a request's head delimits its body soundly. A body whose end the
// server and a proxy in front of it could see differently lets its bytes
// pass as a second request, so anything but one plain reading is refused.
#pragma once

#include <string_view>
#include <vector>

namespace ostrand::web::http {

enum class Framing {
  kSound,        // no Transfer-Encoding, or exactly "chunked" (any case)
  kMalformed,    // answer 400 and close
  kUnsupported,  // codings before the final "chunked" (gzip, ...): answer 501 and close
};

// Judges the Transfer-Encoding fields of a request (each field's value, in
// the order sent), given whether a Content-Length came too and whether the
// request is HTTP/1.0. Sound only when there is no Transfer-Encoding, or
// when an HTTP/1.1 request without Content-Length names `chunked` as its
// one coding; a list that does not read as codings (a quoted `"chunked"`,
// an empty list), a last coding other than `chunked`, `chunked` twice, a
// Content-Length beside it or HTTP/1.0 is malformed. Never throws.
Framing JudgeFraming(const std::vector<std::string_view>& transfer_encodings,
                     bool has_content_length, bool http10);

}  // namespace ostrand::web::http
