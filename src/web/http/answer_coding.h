// Whether an answer goes out compressed, and in which coding: the one place
// that decides, for every route that allows it (the route table of
// server.cpp), static files included.
//
// An answer is compressed when
// - the client asked for a coding we offer (accept_encoding.h),
// - its type compresses (CompressibleType: text, JSON, calendars, CSV, SVG,
//   XML; not images, spreadsheets or archives),
// - its body has at least kSmallestEncodedBody bytes (any size when the
//   client refused identity),
// - it is a whole body: a request with Range is answered unencoded (and,
//   where the route serves ranges, 206 as always), a 206 is left alone,
// - its handler did not choose a coding itself (a Content-Encoding header).
// Every answer of a type that compresses says `Vary: Accept-Encoding`, the
// unencoded ones too, and so does a 304. An encoded answer's entity tag is
// the unencoded one with the coding added inside the quotes ("abc" becomes
// "abc-zstd"), so that caches keep the two apart; NoneMatchHolds
// (conditional.h) takes either form.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "web/http/accept_encoding.h"
#include "web/http/request.h"
#include "web/http/response.h"

namespace ostrand::web::http {

// Below this many bytes a body goes unencoded: the coding's frame and the
// header would eat most of what it saves.
inline constexpr std::size_t kSmallestEncodedBody = 1024;

// Whether answers of this Content-Type ("text/html; charset=utf-8") are
// worth compressing: text/*, application/json, application/javascript,
// application/xml, text/calendar, image/svg+xml and any type ending in
// +json or +xml. Parameters and case are ignored.
bool CompressibleType(std::string_view content_type);

// What a request says about the coding of its answer, read when it arrives
// (the request itself then moves on to its handler).
struct AskedCoding {
  CodingChoice choice;  // from Accept-Encoding
  bool range = false;   // it has a Range header: the answer stays unencoded
  std::string if_none_match;

  static AskedCoding Of(const Request& request);
};

// Precompressed bytes of a static body in a coding, or nothing when there
// are none; the bytes must outlive every response.
using PrecompressedBody = std::function<std::optional<std::string_view>(ContentCoding)>;

// Gives `response` the coding the request asks for where it pays (see
// above): encodes the body with the streaming encoder (Effort::kAnswer),
// or, when `precompressed` has bytes for the coding, sends those without a
// copy; sets Content-Encoding, adds Vary, marks the ETag, and drops
// Accept-Ranges from an encoded answer (ranges are of the unencoded bytes).
// The unencoded body is released once the encoded one is built. Throws
// Error when an encoder fails.
void EncodeAnswer(const AskedCoding& asked, Response& response,
                  const PrecompressedBody& precompressed = {});

// The entity tag of the answer in `coding`: `etag` ("abc" or W/"abc") with
// "-" and the coding's name added before the closing quote; `etag` itself
// for kIdentity or when it is no entity tag.
std::string CodedEntityTag(std::string_view etag, ContentCoding coding);

// The opaque part of an entity tag without the mark of a coding that
// CodedEntityTag adds ("abc" of "abc-gzip"), or `opaque` as it is.
std::string_view UncodedOpaqueTag(std::string_view opaque);

}  // namespace ostrand::web::http
