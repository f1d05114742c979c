#include "feeds/ical_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/error.h"

namespace ostrand::feeds::ical {

void Setup() {
  static std::once_flag once;
  std::call_once(once, [] { icalerror_set_errors_are_fatal(0); });
}

std::unique_lock<std::mutex> LockZones() {
  static std::mutex mutex;
  Setup();
  return std::unique_lock<std::mutex>(mutex);
}

icaltimetype ToIcal(const DateTime& t) {
  icaltimetype out = icaltime_null_time();
  out.year = t.year();
  out.month = t.month();
  out.day = t.day_of_month();
  out.hour = t.hour();
  out.minute = t.minute();
  out.second = t.second();
  out.is_date = 0;
  return out;
}

icaltimetype ToIcalUtc(const DateTime& t) {
  icaltimetype out = ToIcal(t);
  out.zone = icaltimezone_get_utc_timezone();
  return out;
}

namespace {

// Hands libical the text piece by piece, as fgets would: up to size - 1
// bytes, ending after a line feed. libical's own string reader looks for
// the end of the line again at every piece, so a long line cost its
// length squared; here each byte is looked at once.
char* NextPiece(char* out, std::size_t size, void* data) {
  std::string_view& rest = *static_cast<std::string_view*>(data);
  if (rest.empty() || size < 2) return nullptr;
  std::size_t n = std::min(rest.size(), size - 1);
  if (const void* feed = std::memchr(rest.data(), '\n', n)) {
    n = static_cast<std::size_t>(static_cast<const char*>(feed) - rest.data()) + 1;
  }
  std::memcpy(out, rest.data(), n);
  out[n] = '\0';
  rest.remove_prefix(n);
  return out;
}

struct ParserFree {
  void operator()(icalparser* parser) const { icalparser_free(parser); }
};

}  // namespace

Component Parse(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  const std::unique_ptr<icalparser, ParserFree> parser(icalparser_new());
  if (!parser) return nullptr;
  icalparser_set_gen_data(parser.get(), &text);
  return ical::Component(icalparser_parse(parser.get(), NextPiece));
}

std::string ToText(icalcomponent* c) {
  char* text = icalcomponent_as_ical_string_r(c);
  if (text == nullptr) throw Error("cannot write the calendar");
  std::string out(text);
  std::free(text);
  return out;
}

}  // namespace ostrand::feeds::ical
