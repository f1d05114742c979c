// The content codings an answer may go out in, and the reader of a
// request's Accept-Encoding header (RFC 9110, section 12.5.3) that picks
// one of them. A plain function on text, so that any header can be thrown
// at it.
#pragma once

#include <span>
#include <string_view>

namespace ostrand::web::http {

enum class ContentCoding { kIdentity, kZstd, kBrotli, kGzip };

// The coding's token as Content-Encoding names it ("zstd", "br", "gzip";
// "identity").
std::string_view CodingName(ContentCoding coding);

// The codings the server compresses with, in the order it prefers them
// when a client weighs several alike: zstd (least CPU for its size), then
// brotli, then gzip.
std::span<const ContentCoding> OfferedCodings();

// What a request's Accept-Encoding allows.
struct CodingChoice {
  // The coding to use: the offered one the client weighs highest (ties go
  // to the earlier in `offered`), or kIdentity when it accepts none.
  ContentCoding coding = ContentCoding::kIdentity;
  // False when the client refused the unencoded form ("identity;q=0", or
  // "*;q=0" without an entry for identity): it then asks for a coding even
  // where one would not pay. The answer still goes unencoded when no
  // offered coding is acceptable.
  bool identity_acceptable = true;
};

// Reads `header` (the field's value without its name, e.g. "gzip, br;q=0.8,
// *;q=0"): a comma list of codings, each with an optional weight "q=" 0..1
// with at most three decimals. Codings are compared without regard to case,
// "x-gzip" is gzip, the first entry of a coding counts; an entry that does
// not read (a bad weight, a parameter other than q) is skipped. An empty
// header (or none) accepts only identity. Never fails.
CodingChoice ChooseCoding(std::string_view header,
                          std::span<const ContentCoding> offered = OfferedCodings());

}  // namespace ostrand::web::http
