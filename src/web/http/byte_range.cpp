#include "web/http/byte_range.h"

#include <optional>

#include "core/text.h"

namespace ostrand::web::http {
namespace {

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Decimal digits as a number; numbers beyond 18 digits read as the largest
// size, which lies beyond the end of any file.
std::optional<std::size_t> ReadNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::size_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  if (text.size() > 18) return static_cast<std::size_t>(-1);
  for (const char c : text) value = value * 10 + static_cast<std::size_t>(c - '0');
  return value;
}

}  // namespace

RangeAnswer AnswerRange(std::string_view header, std::size_t size) {
  constexpr std::string_view kUnit = "bytes=";
  const RangeAnswer whole{};
  header = TrimSpaces(header);
  if (!StartsWithNoCase(header, kUnit)) return whole;
  const std::string_view spec = TrimSpaces(header.substr(kUnit.size()));
  if (spec.find(',') != std::string_view::npos) return whole;
  const std::size_t dash = spec.find('-');
  if (dash == std::string_view::npos) return whole;
  const std::string_view from = TrimSpaces(spec.substr(0, dash));
  const std::string_view to = TrimSpaces(spec.substr(dash + 1));

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
