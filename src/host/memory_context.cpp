#include "host/memory_context.h"

#include <chrono>
#include <ctime>

namespace ostrand::host {
namespace {

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

Value MemoryRequest::ServerVariable(std::string_view name) const {
  if (AsciiLower(name) == "url") return Value::Text(url_);
  return Value::Text("");
}

Value MemorySession::Get(std::string_view key) const {
  const auto it = items_.find(AsciiLower(key));
  return it == items_.end() ? Value() : it->second.value;
}

void MemorySession::Set(std::string_view key, const Value& value) {
  auto [it, inserted] = items_.try_emplace(AsciiLower(key), Item{std::string(key), value});
  if (!inserted) it->second.value = value;
}

float SystemClock::SecondsSinceMidnight() const {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) %
                  std::chrono::seconds(1);
  // Centisecond resolution, as the host's timer reports it.
  const long centis = static_cast<long>(ms.count()) / 10;
  return static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) +
         static_cast<float>(centis) / 100.0f;
}

}  // namespace ostrand::host
