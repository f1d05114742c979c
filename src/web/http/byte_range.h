// The Range header of a GET for a file: what part of the file to send.
// One range is served; a request for several ranges gets the whole file, so
// that a short request can never ask for an answer many times the file's
// size.
#pragma once

#include <cstddef>
#include <string_view>

namespace ostrand::web::http {

struct RangeAnswer {
  enum class Kind {
    kWhole,          // 200 with the whole file
    kPart,           // 206 with bytes first..last
    kUnsatisfiable,  // 416: the range starts beyond the end
  };
  Kind kind = Kind::kWhole;
  std::size_t first = 0;  // kPart: the first byte sent
  std::size_t last = 0;   // kPart: the last byte sent (inclusive)
};

// The answer to the Range header `header` (without its name, e.g.
// "bytes=0-99", "bytes=-500", "bytes=100-") for a file of `size` bytes:
// - one range: kPart, its end clamped to the file; kUnsatisfiable when it
//   starts at or beyond the end, or is a suffix of zero bytes (or the file
//   is empty);
// - an empty header, another unit, a malformed range, a last byte before
//   the first, or more than one range: kWhole.
// Never fails.
RangeAnswer AnswerRange(std::string_view header, std::size_t size);

}  // namespace ostrand::web::http
