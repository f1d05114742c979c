// The access log: one line per request, in text or as one JSON object per
// line, written whole (lines of parallel requests never interleave).
//
// Text:  2024-05-06T07:08:09.123Z 127.0.0.1 GET /schedule/personMonth.asp?dt=2001-12-5 200
// 8765 1.2ms 2
//        (the last field is the signed-in person's id, "-" when nobody is
//        signed in; a failure adds ` incident=1A2B3C4D error="the cause"`)
// JSON:  {"time":"2024-05-06T07:08:09.123Z","client":"127.0.0.1","method":"GET",
//         "target":"/schedule/...","status":200,"bytes":8765,"ms":1.2,"person":2}
//        (with "incident" and "error" after a failure; person null when none)
//
// The target is logged percent-decoded, then every text field goes through
// the log escaper (log_text.h): control characters, blanks, quotes and
// malformed UTF-8 come out as %XX, so no request can break or forge a line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace ostrand::web::http {

enum class LogFormat { kText, kJson };

// Reads "text" or "json". Throws Error naming anything else.
LogFormat ParseLogFormat(std::string_view name);

struct LogEntry {
  std::chrono::system_clock::time_point time;  // when the request arrived
  std::string_view client;                     // the client's address
  std::string_view method;
  std::string_view target;  // as sent, percent-encoded
  int status = 0;
  std::size_t bytes = 0;    // body bytes sent
  double milliseconds = 0;  // from the request's arrival to its last byte sent
  std::optional<std::int64_t> person;
  std::string_view incident;  // empty: none
  std::string_view cause;     // the failure behind the incident
};

// The line (ending in "\n") for the entry.
std::string FormatLogLine(const LogEntry& entry, LogFormat format);

// "2024-05-06T07:08:09.123Z": the time in UTC, to the millisecond.
std::string IsoTime(std::chrono::system_clock::time_point time);

class AccessLog {
 public:
  // Writes to `out`, which must outlive the log; null: nowhere.
  AccessLog(std::ostream* out, LogFormat format) : out_(out), format_(format) {}
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  bool enabled() const { return out_ != nullptr; }
  // Formats and writes the line, then flushes. Safe from any thread.
  void Write(const LogEntry& entry);

 private:
  std::ostream* out_;
  LogFormat format_;
  std::mutex mutex_;
};

}  // namespace ostrand::web::http
