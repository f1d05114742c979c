#include "web/http/access_log.h"

#include <cstdio>
#include <ctime>

#include "core/error.h"
#include "web/http/log_text.h"
#include "web/http/url.h"

namespace ostrand::web::http {
namespace {

void AppendMilliseconds(std::string& out, double ms) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", ms < 0 ? 0.0 : ms);
  out += buffer;
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
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch - seconds).count();
  const std::time_t whole = static_cast<std::time_t>(seconds.count());
  std::tm utc{};
  gmtime_r(&whole, &utc);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(millis));
  return buffer;
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

void AccessLog::Write(const LogEntry& entry) {
  if (out_ == nullptr) return;
  const std::string line = FormatLogLine(entry, format_);
  const std::lock_guard<std::mutex> lock(mutex_);
  out_->write(line.data(), static_cast<std::streamsize>(line.size()));
  out_->flush();
}

}  // namespace ostrand::web::http
