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
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>

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

// Lines are queued and written by the log's own thread, a batch at a time
// and at most kLogDelay after they were queued, so that a busy server makes
// one write for many answers rather than one each. Lines keep their order.
// A process that dies loses at most the lines of that last moment.
inline constexpr std::chrono::milliseconds kLogDelay{20};

class AccessLog {
 public:
  // Writes to `out`, which must outlive the log; null: nowhere (and no
  // thread is started).
  AccessLog(std::ostream* out, LogFormat format);
  // Writes what is still queued.
  ~AccessLog();
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  bool enabled() const { return out_ != nullptr; }
  // Formats the line and queues it. Safe from any thread. When `out` cannot
  // keep up and about a megabyte waits, the caller writes the queue itself.
  void Write(const LogEntry& entry);
  // Writes every line queued so far to `out` and flushes it.
  void Flush();

 private:
  void Drain();  // the log's own thread

  std::ostream* out_;
  LogFormat format_;
  std::mutex write_mutex_;  // held while the queue goes out, so that batches keep their order
  std::mutex mutex_;        // guards queued_ and stopping_
  std::condition_variable wake_;
  std::string queued_;
  bool stopping_ = false;
  std::thread writer_;
};

}  // namespace ostrand::web::http
