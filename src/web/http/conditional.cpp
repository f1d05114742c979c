#include "web/http/conditional.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "core/date_text.h"
#include "core/text.h"
#include "web/http/answer_coding.h"

namespace ostrand::web::http {
namespace {

constexpr std::array<std::string_view, 7> kLongDays = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Reads text left to right; every reader returns false and stays put on a
// mismatch.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool Literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  // Exactly `count` digits.
  bool Digits(int count, int& value) {
    const auto width = static_cast<std::size_t>(count);
    if (at_ + width > text_.size()) return false;
    const std::optional<std::int64_t> n = ReadWholeNumber(text_.substr(at_, width), 9999);
    if (!n) return false;
    value = static_cast<int>(*n);
    at_ += width;
    return true;
  }
  // One of the words; `index` its position.
  template <std::size_t N>
  bool OneOf(const std::array<std::string_view, N>& words, int& index) {
    for (std::size_t i = 0; i < N; ++i) {
      if (Literal(words[i])) {
        index = static_cast<int>(i);
        return true;
      }
    }
    return false;
  }
  bool Clock(int& hour, int& minute, int& second) {
    return Digits(2, hour) && Literal(":") && Digits(2, minute) && Literal(":") &&
           Digits(2, second);
  }
  bool Done() const { return at_ == text_.size(); }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

std::optional<DateTime> Make(int year, int month, int day, int hour, int minute, int second,
                             int weekday) {
  if (year < 100 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
      hour > 23 || minute > 59 || second > 60) {
    return std::nullopt;
  }
  const DateTime t = DateTime::FromCivil(year, month, day, hour, minute, std::min(second, 59));
  // Weekdays of DateTime count Sunday as 1.
  if (t.weekday() - 1 != weekday) return std::nullopt;
  return t;
}

// The opaque part of an entity tag ("abc" of W/"abc"), or nothing when the
// text is no entity tag.
std::optional<std::string_view> Opaque(std::string_view tag) {
  if (tag.starts_with("W/")) tag.remove_prefix(2);
  if (tag.size() < 2 || tag.front() != '"' || tag.back() != '"') return std::nullopt;
  tag = tag.substr(1, tag.size() - 2);
  for (const char c : tag) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u == '"' || u < 0x21 || u == 0x7F) return std::nullopt;
  }
  return tag;
}

}  // namespace

std::string HttpDate(const DateTime& utc) { return HttpDateText(utc); }

std::optional<DateTime> ReadHttpDate(std::string_view text) {
  int weekday = 0, day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
  {
    Reader r(text);  // Sun, 06 Nov 1994 08:49:37 GMT
    if (r.OneOf(kHttpWeekdays, weekday) && r.Literal(", ") && r.Digits(2, day) && r.Literal(" ") &&
        r.OneOf(kHttpMonths, month) && r.Literal(" ") && r.Digits(4, year) && r.Literal(" ") &&
        r.Clock(hour, minute, second) && r.Literal(" GMT") && r.Done()) {
      return Make(year, month + 1, day, hour, minute, second, weekday);
    }
  }
  {
    Reader r(text);  // Sunday, 06-Nov-94 08:49:37 GMT
    if (r.OneOf(kLongDays, weekday) && r.Literal(", ") && r.Digits(2, day) && r.Literal("-") &&
        r.OneOf(kHttpMonths, month) && r.Literal("-") && r.Digits(2, year) && r.Literal(" ") &&
        r.Clock(hour, minute, second) && r.Literal(" GMT") && r.Done()) {
      return Make(year < 70 ? 2000 + year : 1900 + year, month + 1, day, hour, minute, second,
                  weekday);
    }
  }
  {
    Reader r(text);  // Sun Nov  6 08:49:37 1994
    if (r.OneOf(kHttpWeekdays, weekday) && r.Literal(" ") && r.OneOf(kHttpMonths, month) && r.Literal(" ") &&
        (r.Digits(2, day) || (r.Literal(" ") && r.Digits(1, day))) && r.Literal(" ") &&
        r.Clock(hour, minute, second) && r.Literal(" ") && r.Digits(4, year) && r.Done()) {
      return Make(year, month + 1, day, hour, minute, second, weekday);
    }
  }
  return std::nullopt;
}

bool NoneMatchHolds(std::string_view if_none_match, std::string_view etag) {
  const std::optional<std::string_view> wanted = Opaque(etag);
  const std::string_view list = TrimSpacesAndTabs(if_none_match);
  if (list == "*") return !etag.empty();
  if (!wanted) return false;
  bool found = false;
  std::size_t from = 0;
  while (from <= list.size()) {
    const std::size_t comma = std::min(list.find(',', from), list.size());
    const std::string_view item = TrimSpacesAndTabs(list.substr(from, comma - from));
    if (!item.empty()) {
      const std::optional<std::string_view> tag = Opaque(item);
      if (!tag) return false;
      // The tag of an encoded answer names the same version (answer_coding.h).
      found = found || *tag == *wanted || UncodedOpaqueTag(*tag) == *wanted;
    }
    from = comma + 1;
  }
  return found;
}

bool IsNotModified(const Request& request, std::string_view etag,
                   const std::optional<DateTime>& last_modified) {
  const std::string_view none_match = request.HeaderValue("If-None-Match");
  if (!none_match.empty()) return NoneMatchHolds(none_match, etag);
  const std::string_view since = request.HeaderValue("If-Modified-Since");
  if (since.empty() || !last_modified) return false;
  const std::optional<DateTime> date = ReadHttpDate(TrimSpacesAndTabs(since));
  return date && !(*date < *last_modified);
}

}  // namespace ostrand::web::http
