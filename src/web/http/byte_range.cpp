#include "web/http/byte_range.h"

#include <cstdint>
#include <optional>

#include "core/text.h"

namespace ostrand::web::http {
namespace {

// Decimal digits as a number; a number beyond 63 bits reads as the largest,
// which lies beyond the end of any file.
std::optional<std::size_t> ReadNumber(std::string_view text) {
  const std::optional<std::int64_t> value = ReadWholeNumberUpTo(text, INT64_MAX);
  if (!value) return std::nullopt;
  return static_cast<std::size_t>(*value);
}

}  // namespace

RangeAnswer AnswerRange(std::string_view header, std::size_t size) {
  constexpr std::string_view kUnit = "bytes=";
  const RangeAnswer whole{};
  header = TrimSpacesAndTabs(header);
  if (!StartsWithNoCase(header, kUnit)) return whole;
  const std::string_view byte_range = TrimSpacesAndTabs(header.substr(kUnit.size()));
  if (byte_range.find(',') != std::string_view::npos) return whole;
  const std::size_t dash = byte_range.find('-');
  if (dash == std::string_view::npos) return whole;
  const std::string_view from = TrimSpacesAndTabs(byte_range.substr(0, dash));
  const std::string_view to = TrimSpacesAndTabs(byte_range.substr(dash + 1));

  RangeAnswer answer;
  if (from.empty()) {
    // A suffix: the last N bytes.
    const std::optional<std::size_t> length = ReadNumber(to);
    if (!length) return whole;
    if (*length == 0 || size == 0) return {RangeAnswer::Kind::kUnsatisfiable, 0, 0};
    answer.first = *length >= size ? 0 : size - *length;
    answer.last = size - 1;
  } else {
    const std::optional<std::size_t> first = ReadNumber(from);
    if (!first) return whole;
    std::optional<std::size_t> last;
    if (!to.empty()) {
      last = ReadNumber(to);
      if (!last || *last < *first) return whole;
    }
    if (*first >= size) return {RangeAnswer::Kind::kUnsatisfiable, 0, 0};
    answer.first = *first;
    answer.last = last && *last < size ? *last : size - 1;
  }
  answer.kind = RangeAnswer::Kind::kPart;
  return answer;
}

}  // namespace ostrand::web::http
