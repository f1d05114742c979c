#include "web/http/access_log.h"

#include <ctime>
#include <limits>

#include "core/date_text.h"
#include "core/error.h"
#include "web/http/log_text.h"
#include "web/http/url.h"
#include "web/http/worker_pool.h"

namespace ostrand::web::http {
namespace {

// "12.3": milliseconds to a tenth.
void AppendMilliseconds(std::string& out, double ms) {
  const long long tenths = ms > 0 ? static_cast<long long>(ms * 10 + 0.5) : 0;
  out += std::to_string(tenths / 10);
  out += '.';
  out += static_cast<char>('0' + tenths % 10);
}

// A quoted JSON string of text that has been through the log escaper.
void AppendJsonText(std::string& out, std::string_view name, std::string_view text, bool spaces) {
  out += ",\"";
  out += name;
  out += "\":\"";
  AppendLogText(out, text, spaces);
  out += '"';
}

}  // namespace

LogFormat ParseLogFormat(std::string_view name) {
  if (name == "text") return LogFormat::kText;
  if (name == "json") return LogFormat::kJson;
  throw Error("unknown log format '" + std::string(name) + "' (text or json)");
}

std::string IsoTime(std::chrono::system_clock::time_point time) {
  const auto since_epoch = time.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since_epoch);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch - seconds).count();
  // The date and time to the second, formatted once a second per thread.
  thread_local std::time_t shown = std::numeric_limits<std::time_t>::min();
  thread_local std::string prefix;
  const std::time_t whole = static_cast<std::time_t>(seconds.count());
  if (whole != shown) {
    prefix = IsoDateTimeText(DateTime::FromUnixSeconds(whole)) + ".";
    shown = whole;
  }
  std::string text(prefix);
  text += static_cast<char>('0' + millis / 100);
  text += static_cast<char>('0' + millis / 10 % 10);
  text += static_cast<char>('0' + millis % 10);
  text += 'Z';
  return text;
}

std::string FormatLogLine(const LogEntry& entry, LogFormat format) {
  const std::string target = PercentDecode(entry.target, false);
  std::string line;
  line.reserve(160 + target.size() + entry.cause.size());
  if (format == LogFormat::kJson) {
    line += "{\"time\":\"";
    line += IsoTime(entry.time);
    line += '"';
    AppendJsonText(line, "client", entry.client, false);
    AppendJsonText(line, "method", entry.method, false);
    AppendJsonText(line, "target", target, false);
    line += ",\"status\":" + std::to_string(entry.status);
    line += ",\"bytes\":" + std::to_string(entry.bytes);
    line += ",\"ms\":";
    AppendMilliseconds(line, entry.milliseconds);
    line += ",\"person\":";
    line += entry.person ? std::to_string(*entry.person) : std::string("null");
    if (!entry.incident.empty()) {
      AppendJsonText(line, "incident", entry.incident, false);
      AppendJsonText(line, "error", entry.cause, true);
    }
    line += "}\n";
    return line;
  }
  line += IsoTime(entry.time);
  line += ' ';
  AppendLogText(line, entry.client);
  line += ' ';
  AppendLogText(line, entry.method);
  line += ' ';
  AppendLogText(line, target);
  line += ' ';
  line += std::to_string(entry.status);
  line += ' ';
  line += std::to_string(entry.bytes);
  line += ' ';
  AppendMilliseconds(line, entry.milliseconds);
  line += "ms ";
  line += entry.person ? std::to_string(*entry.person) : std::string("-");
  if (!entry.incident.empty()) {
    line += " incident=";
    AppendLogText(line, entry.incident);
    line += " error=\"";
    AppendLogText(line, entry.cause, true);
    line += '"';
  }
  line += '\n';
  return line;
}

namespace {

// A queue this long is written at once, without waiting for kLogDelay.
constexpr std::size_t kBatchBytes = 64 * 1024;
// A queue this long is written by the next request itself: the output is
// slower than the answers, and memory stays bounded.
constexpr std::size_t kMostQueued = 1024 * 1024;

}  // namespace

AccessLog::AccessLog(std::ostream* out, LogFormat format) : out_(out), format_(format) {
  if (out_ != nullptr) writer_ = std::thread([this] { Drain(); });
}

AccessLog::~AccessLog() {
  if (!writer_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  writer_.join();
  Flush();
}

void AccessLog::Write(const LogEntry& entry) {
  if (out_ == nullptr) return;
  const std::string line = FormatLogLine(entry, format_);
  bool first = false;
  std::size_t queued = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    first = queued_.empty();
    queued_ += line;
    queued = queued_.size();
  }
  // The writer sleeps until a batch begins, and is woken early for a full one.
  if (first || queued >= kBatchBytes) wake_.notify_one();
  if (queued >= kMostQueued) Flush();
}

void AccessLog::Flush() {
  if (out_ == nullptr) return;
  const std::lock_guard<std::mutex> writing(write_mutex_);
  std::string batch;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    batch.swap(queued_);
  }
  if (batch.empty()) return;
  out_->write(batch.data(), static_cast<std::streamsize>(batch.size()));
  out_->flush();
}

void AccessLog::Drain() {
  BlockStopSignals();
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
    if (stopping_) return;
    // Let the batch gather.
    wake_.wait_for(lock, kLogDelay, [this] { return stopping_ || queued_.size() >= kBatchBytes; });
    lock.unlock();
    Flush();
    lock.lock();
  }
}

}  // namespace ostrand::web::http
